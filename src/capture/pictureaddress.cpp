#include "pictureaddress.h"

#include "addressresolver.h"
#include "capturetext.h"
#include "htmltext.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// One part of a parsed address as libcurl writes it (escapes kept), or empty.
std::string PartOf(CURLU *url, CURLUPart part)
{
    char *text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || !text)
        return {};
    std::string value(text);
    curl_free(text);
    return value;
}

// The authority (user, password, host, port) is everything up to the first
// "/" after the scheme; the path and the last segment are taken as written.
void SplitWebAddress(const std::string &address, std::size_t hostStart, const char *defaultPort, AddressParts &parts)
{
    if (address.size() < hostStart)
        return;
    const std::size_t slash = Pos("/", address, hostStart);
    if (slash == 0)
        return;
    parts.path = address.substr(slash - 1);
    parts.lastSegment = address.substr(address.rfind('/') + 1);
    const std::string authority = address.substr(0, slash - 1) + "/";
    if (authority.find('\0') != std::string::npos)
        return;
    CURLU *url = curl_url();
    if (!url)
        return;
    if (curl_url_set(url, CURLUPART_URL, authority.c_str(), 0) == CURLUE_OK) {
        parts.host = PartOf(url, CURLUPART_HOST);
        const std::string zone = PartOf(url, CURLUPART_ZONEID);
        if (!zone.empty() && !parts.host.empty() && parts.host.back() == ']')
            parts.host.insert(parts.host.size() - 1, "%25" + zone);
        parts.port = PartOf(url, CURLUPART_PORT);
        if (parts.port.empty())
            parts.port = defaultPort;
        parts.user = PartOf(url, CURLUPART_USER);
        parts.password = PartOf(url, CURLUPART_PASSWORD);
    }
    curl_url_cleanup(url);
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

// Escapes decoded into the bytes they stand for.
std::string PercentDecoded(const std::string &text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// Percent escapes decoded ("%E4%B8%AD" is a Chinese name), unless the result
// would not be readable text; the name is then kept as it is.
std::string DecodedPercentEscapes(const std::string &text)
{
    if (text.find('%') == std::string::npos)
        return text;
    const std::string decoded = PercentDecoded(text);
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

std::string RequestAddress(const AddressParts &parts)
{
    if (parts.kind != HttpAddress && parts.kind != HttpsAddress)
        return {};
    const bool secure = parts.kind == HttpsAddress;
    std::string address = secure ? "https://" : "http://";
    if (!parts.user.empty() || !parts.password.empty())
        address += parts.user + (parts.password.empty() ? "" : ":" + parts.password) + "@";
    const std::string port = parts.port.empty() ? (secure ? "443" : "80") : parts.port;
    return address + parts.host + ":" + port + EscapedAsInAddresses(parts.path);
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

namespace {

// Claims a free name in folder for stem + numbers + extension with claim, which
// answers 0 when the name is now this picture's, or the errno of its failure.
template <typename Claim>
std::string ClaimFreeName(const std::string &folder, const PictureName &name, std::mt19937 &random, Claim claim)
{
    std::uniform_int_distribution<int> draw(0, 999);
    const long long limit = NameLimit(folder);
    std::string numbers; // appended to the stem while the name is taken
    for (;;) {
        // The stem gives way, so that the extension and the numbers always fit.
        const long long room = limit - static_cast<long long>(name.extension.size() + numbers.size());
        if (room < 0)
            return {};
        const std::string path = folder + FittedTo(name.stem, room) + numbers + name.extension;
        // A zero byte would cut the name the system sees short of the one referenced.
        if (path.find('\0') != std::string::npos)
            return {};
        const int error = claim(path);
        if (error == 0)
            return path;
        // EISDIR: an empty name points at the images folder itself, which is taken too.
        if (error != EEXIST && error != EISDIR)
            return {};
        numbers += std::to_string(draw(random));
    }
}

} // namespace

std::string ReservePictureFile(const std::string &imagesFolder, const PictureName &name, std::mt19937 &random)
{
    return ClaimFreeName(imagesFolder, name, random, [](const std::string &path) {
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0)
            return errno;
        if (::close(file) == 0)
            return 0;
        const int error = errno;
        ::unlink(path.c_str());
        return error == EEXIST ? EIO : error;
    });
}

std::string MovedToExtension(const std::string &path, const std::string &extension, std::mt19937 &random)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || extension.empty())
        return path;
    const std::string moved = ClaimFreeName(path.substr(0, slash + 1), {path.substr(slash + 1), extension}, random,
                                            [&](const std::string &to) {
                                                // A new hard link fails on a taken name instead of replacing it; the
                                                // old name goes once the new one holds the picture.
                                                if (::link(path.c_str(), to.c_str()) != 0)
                                                    return errno;
                                                ::unlink(path.c_str());
                                                return 0;
                                            });
    return moved.empty() ? path : moved;
}

std::string ExtensionOfType(const std::string &contentType)
{
    const std::string type = LowerAscii(TrimmedAddress(contentType.substr(0, contentType.find(';'))));
    static const std::pair<std::string_view, std::string_view> extensions[] = {
        {"image/webp", ".webp"}, {"image/avif", ".avif"},  {"image/svg+xml", ".svg"},
        {"image/png", ".png"},   {"image/apng", ".png"},   {"image/jpeg", ".jpg"},
        {"image/jpg", ".jpg"},   {"image/pjpeg", ".jpg"},  {"image/gif", ".gif"},
        {"image/bmp", ".bmp"},   {"image/x-icon", ".ico"}, {"image/vnd.microsoft.icon", ".ico"}};
    for (const auto &[known, extension] : extensions) {
        if (type == known)
            return std::string(extension);
    }
    return {};
}

std::string ImagesFolderOf(const std::string &dayFolder)
{
    return dayFolder + "/images/";
}
