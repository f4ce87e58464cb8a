#include "pictureaddress.h"

#include "capturetext.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

void SplitWebAddress(const std::string &address, std::size_t hostStart, const char *defaultPort, AddressParts &parts)
{
    if (address.size() < hostStart)
        return;
    const std::size_t slash = Pos("/", address, hostStart);
    if (slash == 0)
        return;
    parts.host = Copy(address, static_cast<long long>(hostStart), static_cast<long long>(slash - hostStart));
    const std::size_t colon = Pos(":", parts.host);
    if (colon >= 2) {
        parts.port = Copy(parts.host, static_cast<long long>(colon) + 1, static_cast<long long>(parts.host.size()));
        parts.host = Copy(parts.host, 1, static_cast<long long>(colon) - 1);
    } else {
        parts.port = defaultPort;
    }
    parts.path = address.substr(slash - 1);
    parts.lastSegment = address.substr(address.rfind('/') + 1);
}

// An empty port ("host:/…") takes the scheme's default.
bool IsPortText(const std::string &port)
{
    if (port.empty())
        return true;
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int value = std::stoi(port);
    return value >= 1 && value <= 65535;
}

// Percent escapes of a web address decoded ("%E4%B8%AD" is a Chinese name),
// unless the result would not be readable text; the name is then kept as it is.
std::string DecodedPercentEscapes(const std::string &text)
{
    if (text.find('%') == std::string::npos)
        return text;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    // Only well-formed UTF-8 without control characters is taken: no overlong
    // forms, no surrogates, nothing above U+10FFFF.
    for (std::size_t i = 0; i < decoded.size();) {
        const auto byte = static_cast<unsigned char>(decoded[i]);
        const std::size_t length = byte < 0x80                    ? 1
                                   : byte >= 0xC2 && byte <= 0xDF ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || i + length > decoded.size() || (length == 1 && (byte < 0x20 || byte == 0x7F)))
            return text;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(decoded[i + k]) >> 6) != 0x2)
                return text;
        }
        const auto second = static_cast<unsigned char>(length > 1 ? decoded[i + 1] : 0);
        if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second >= 0xA0) || (byte == 0xF0 && second < 0x90) ||
            (byte == 0xF4 && second >= 0x90))
            return text;
        i += length;
    }
    return decoded;
}

void ReplaceForbidden(std::string &stem)
{
    for (char &c : stem) {
        switch (c) {
        case '\\':
        case '/':
        case '*':
        case '?':
        case '|':
        case ':':
        case '"':
        case '<':
        case '>':
        // The note refers to the file by a relative address, in which these would
        // start an escape or a fragment and name another file.
        case '%':
        case '#':
        case '&': // addresses arrive escaped in the markup (&amp;), references too
            c = '-';
            break;
        default:
            break;
        }
    }
}

} // namespace

AddressParts SplitAddress(const std::string &address)
{
    AddressParts parts;
    if (StartsWith(address, "http://")) {
        parts.kind = HttpAddress;
        SplitWebAddress(address, 8, "80", parts);
    } else if (StartsWith(address, "https://")) {
        parts.kind = HttpsAddress;
        SplitWebAddress(address, 9, "443", parts);
    } else if (StartsWith(address, "file://")) {
        parts.kind = FileAddress;
        // Here the third slash of "file:///" is the root of the absolute path, so
        // the path starts at it (position 8) rather than after it.
        parts.path = address.substr(7);
        parts.lastSegment = address.substr(address.find_last_of("/\\") + 1);
    }
    return parts;
}

bool IsFetchable(const AddressParts &parts)
{
    switch (parts.kind) {
    case HttpAddress:
    case HttpsAddress:
        return !parts.host.empty() && IsPortText(parts.port);
    case FileAddress:
        return !parts.path.empty();
    default:
        return false;
    }
}

PictureName LocalPictureName(const AddressParts &parts)
{
    std::string segment = parts.lastSegment;
    std::string query;
    if (parts.kind == HttpAddress || parts.kind == HttpsAddress) {
        const std::size_t mark = segment.find('?');
        if (mark != std::string::npos) {
            query = segment.substr(mark);
            segment.erase(mark);
        }
    }

    PictureName name;
    const std::size_t dot = segment.rfind('.');
    if (dot != std::string::npos && segment.find_first_of("\\:", dot) == std::string::npos)
        name.extension = segment.substr(dot);
    // Up to the first occurrence of the extension's text, which is not always the last dot.
    name.stem = name.extension.empty() ? segment : segment.substr(0, segment.find(name.extension));
    name.stem += query;
    if (parts.kind == HttpAddress || parts.kind == HttpsAddress)
        name.stem = DecodedPercentEscapes(name.stem);
    ReplaceForbidden(name.stem);
    for (char &c : name.extension) {
        if (c == '%' || c == '#' || c == '?')
            c = '-';
    }
    return name;
}

std::string ReservePictureFile(const std::string &imagesFolder, const PictureName &name, std::mt19937 &random)
{
    std::uniform_int_distribution<int> draw(0, 999);
    std::string stem = name.stem;
    for (;;) {
        const std::string path = imagesFolder + stem + name.extension;
        // A zero byte would cut the name the system sees short of the one referenced.
        if (path.find('\0') != std::string::npos)
            return {};
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0) {
            ::close(file);
            return path;
        }
        // EISDIR: an empty name points at the images folder itself, which is taken too.
        if (errno != EEXIST && errno != EISDIR)
            return {};
        stem += std::to_string(draw(random));
    }
}

std::string ImagesFolderOf(const std::string &dayFolder)
{
    return dayFolder + "/images/";
}
