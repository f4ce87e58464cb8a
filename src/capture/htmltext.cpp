#include "htmltext.h"

#include "capturetext.h"

#include <libxml/HTMLparser.h>

#include <string>

namespace {

// The length of the well-formed UTF-8 sequence at i and its code point; 0 when
// the bytes there are not one.
std::size_t Utf8Sequence(std::string_view text, std::size_t i, unsigned long &codePoint)
{
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
        codePoint = byte;
        return 1;
    }
    const std::size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                               : byte >= 0xE0 && byte <= 0xEF ? 3
                               : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    codePoint = byte & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next >> 6) != 0x2)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (overlong || surrogate || codePoint > 0x10FFFF)
        return 0;
    return length;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlphanumeric(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A named reference at text[i] ("&", a name, ";"): its length and code point,
// or 0. Names are those of HTML 4 (libxml2's table) and XML's "apos"; the
// semicolon is required, so that "&copy" inside an address stays as written.
std::size_t NamedReference(std::string_view text, std::size_t i, unsigned long &codePoint)
{
    constexpr std::size_t LongestName = 32;
    std::size_t at = i + 1;
    while (at < text.size() && at - i - 1 <= LongestName && IsAlphanumeric(text[at]))
        ++at;
    const std::size_t nameLength = at - i - 1;
    if (nameLength == 0 || nameLength > LongestName || at >= text.size() || text[at] != ';')
        return 0;
    const std::string name(text.substr(i + 1, nameLength));
    if (name == "apos") {
        codePoint = '\'';
        return nameLength + 2;
    }
    const htmlEntityDesc *entity = htmlEntityLookup(reinterpret_cast<const xmlChar *>(name.c_str()));
    if (!entity)
        return 0;
    codePoint = entity->value;
    return nameLength + 2;
}

// A numeric reference at text[i] ("&#" or "&#x" and digits, ";" optional):
// its length and code point, or 0.
std::size_t NumericReference(std::string_view text, std::size_t i, unsigned long &codePoint)
{
    std::size_t at = i + 2;
    const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
    if (hex)
        ++at;
    const std::size_t digits = at;
    unsigned long value = 0;
    while (at < text.size() && (hex ? HexDigitValue(text[at]) >= 0 : IsDigit(text[at]))) {
        value = value * (hex ? 16 : 10) + static_cast<unsigned long>(hex ? HexDigitValue(text[at]) : text[at] - '0');
        if (value > 0x10FFFF)
            value = 0x110000; // stays out of range however many digits follow
        ++at;
    }
    if (at == digits)
        return 0;
    if (at < text.size() && text[at] == ';')
        ++at;
    codePoint = value;
    return at - i;
}

bool IsTitleSpace(unsigned long c)
{
    return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFFFC;
}

} // namespace

void AppendUtf8(std::string &out, unsigned long c)
{
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsValidUtf8(std::string_view text)
{
    unsigned long ignored = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8Sequence(text, i, ignored);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string DecodeCharacterReferences(std::string_view text)
{
    if (text.find('&') == std::string_view::npos)
        return std::string(text);
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            decoded += text[i];
            continue;
        }
        unsigned long codePoint = 0;
        if (i + 1 < text.size() && text[i + 1] == '#') {
            if (const std::size_t length = NumericReference(text, i, codePoint)) {
                AppendUtf8(decoded, codePoint);
                i += length - 1;
                continue;
            }
        }
        if (const std::size_t length = NamedReference(text, i, codePoint)) {
            AppendUtf8(decoded, codePoint);
            i += length - 1;
            continue;
        }
        decoded += '&';
    }
    return decoded;
}

std::string EncodeAttributeValue(std::string_view value, char quote)
{
    // Without quotes an empty value would let the next attribute take its place.
    if (quote == 0 && value.empty())
        return "\"\"";
    std::string encoded;
    encoded.reserve(value.size() + 8);
    for (const char c : value) {
        switch (c) {
        case '&':
            encoded += "&amp;";
            break;
        case '"':
            encoded += quote == '\'' ? "\"" : "&quot;";
            break;
        case '\'':
            encoded += quote == '"' ? "'" : "&#39;";
            break;
        default:
            // Without quotes a value ends at white space or ">".
            if (quote == 0 && (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == '>')) {
                encoded += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
            } else {
                encoded += c;
            }
        }
    }
    return encoded;
}

std::string CleanTitle(std::string_view text)
{
    const std::string decoded = DecodeCharacterReferences(text);
    std::string clean;
    clean.reserve(decoded.size());
    bool pendingSpace = false;
    for (std::size_t i = 0; i < decoded.size();) {
        unsigned long codePoint = 0;
        std::size_t length = Utf8Sequence(decoded, i, codePoint);
        if (length == 0) { // a broken byte reads as the replacement character
            codePoint = 0xFFFD;
            length = 1;
        }
        if (IsTitleSpace(codePoint)) {
            pendingSpace = !clean.empty();
        } else {
            if (pendingSpace)
                clean += ' ';
            pendingSpace = false;
            if (codePoint == 0xFFFD && length == 1)
                AppendUtf8(clean, codePoint);
            else
                clean.append(decoded, i, length);
        }
        i += length;
    }
    return clean;
}
