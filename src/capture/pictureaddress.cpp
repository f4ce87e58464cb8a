#include "pictureaddress.h"

#include "capturetext.h"
#include "htmltext.h"

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

// Percent escapes decoded ("%E4%B8%AD" is a Chinese name), unless the result
// would not be readable text; the name is then kept as it is.
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
    if (!IsValidUtf8(decoded))
        return text;
    for (const char c : decoded) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return text;
    }
    return decoded;
}

bool IsForbidden(char c)
{
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
        return true;
    default:
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    }
}

// Every character a file name cannot hold, and every byte that is not part of
// well-formed UTF-8, becomes "-": the name is valid text and the reference to it
// reads back as the name.
std::string SafeNamePiece(const std::string &piece)
{
    std::string safe;
    safe.reserve(piece.size());
    for (std::size_t i = 0; i < piece.size();) {
        const auto byte = static_cast<unsigned char>(piece[i]);
        if (byte < 0x80) {
            safe += IsForbidden(piece[i]) ? '-' : piece[i];
            ++i;
            continue;
        }
        std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if (i + length > piece.size() || !IsValidUtf8(std::string_view(piece).substr(i, length)))
            length = 0;
        if (length == 0) {
            safe += '-';
            ++i;
        } else {
            safe.append(piece, i, length);
            i += length;
        }
    }
    return safe;
}

// Escapes decoded into the bytes they stand for.
std::string PercentDecoded(const std::string &text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto hex = [&](std::size_t at) {
            const char c = text[at];
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (text[i] == '%' && i + 2 < text.size() && hex(i + 1) >= 0 && hex(i + 2) >= 0) {
            decoded += static_cast<char>(hex(i + 1) * 16 + hex(i + 2));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

constexpr std::size_t MaxExtensionBytes = 32;

// At most maxBytes of the text, cut where a character begins.
std::string FittedTo(const std::string &text, long long maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (static_cast<long long>(text.size()) <= maxBytes)
        return text;
    std::size_t cut = static_cast<std::size_t>(maxBytes);
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

// The longest file name the folder's file system takes, in bytes.
long long NameLimit(const std::string &folder)
{
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 && limit < 255 ? limit : 255;
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
        // the path starts at it (position 8) rather than after it; escapes in a
        // file address stand for the bytes of the file's name.
        parts.path = PercentDecoded(address.substr(7));
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
        // Only an absolute path: "file://.secret" or "file://../x" would be read
        // against whatever folder the program runs in.
        return StartsWith(parts.path, "/") && parts.path.find('\0') == std::string::npos;
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
    name.stem = SafeNamePiece(DecodedPercentEscapes(name.stem));
    name.extension = SafeNamePiece(name.extension);
    // A "dot and the rest" that long is no extension worth keeping apart.
    if (name.extension.size() > MaxExtensionBytes) {
        name.stem += name.extension;
        name.extension.clear();
    }
    return name;
}

std::string ReservePictureFile(const std::string &imagesFolder, const PictureName &name, std::mt19937 &random)
{
    std::uniform_int_distribution<int> draw(0, 999);
    const long long limit = NameLimit(imagesFolder);
    std::string numbers; // appended to the stem while the name is taken
    for (;;) {
        // The stem gives way, so that the extension and the numbers always fit.
        const long long room = limit - static_cast<long long>(name.extension.size() + numbers.size());
        if (room < 0)
            return {};
        const std::string path = imagesFolder + FittedTo(name.stem, room) + numbers + name.extension;
        // A zero byte would cut the name the system sees short of the one referenced.
        if (path.find('\0') != std::string::npos)
            return {};
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0) {
            if (::close(file) == 0)
                return path;
            ::unlink(path.c_str());
            return {};
        }
        // EISDIR: an empty name points at the images folder itself, which is taken too.
        if (errno != EEXIST && errno != EISDIR)
            return {};
        numbers += std::to_string(draw(random));
    }
}

std::string ImagesFolderOf(const std::string &dayFolder)
{
    return dayFolder + "/images/";
}
