#include "fontsizes.h"

int htmlFontSize(int points)
{
    if (points <= 0)
        return 7;
    if (points <= 8)
        return 1;
    if (points <= 10)
        return 2;
    if (points <= 12)
        return 3;
    if (points <= 18)
        return 4;
    if (points <= 24)
        return 5;
    if (points <= 36)
        return 6;
    return 7;
}
