#include "appicon.h"

QIcon applicationIcon()
{
    return QIcon(QStringLiteral(":/icons/app.clipnest.Clipnest.svg"));
}
