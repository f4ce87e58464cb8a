#include "capturetext.h"

std::size_t Pos(std::string_view needle, std::string_view text, std::size_t from)
{
    if (from < 1)
        from = 1;
    if (from > text.size())
        return 0;
    const std::size_t found = text.find(needle, from - 1);
    return found == std::string_view::npos ? 0 : found + 1;
}

std::string Copy(std::string_view text, long long start, long long count)
{
    if (start < 1)
        start = 1;
    if (count <= 0 || start > static_cast<long long>(text.size()))
        return {};
    return std::string(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
