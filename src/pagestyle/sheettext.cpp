#include "sheettext.h"

#include "addressresolver.h"

#include <cctype>
#include <string_view>

namespace {

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word)
{
    if (text.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i])
            return false;
    }
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The end of a comment or string starting at at (just past it).
std::size_t SkipComment(std::string_view text, std::size_t at)
{
    const std::size_t end = text.find("*/", at + 2);
    return end == std::string_view::npos ? text.size() : end + 2;
}

// A quoted string from at (the quote): its value with escapes undone, and the
// position past its closing quote.
std::size_t ReadString(std::string_view text, std::size_t at, std::string &value)
{
    const char quote = text[at];
    std::size_t i = at + 1;
    while (i < text.size() && text[i] != quote && text[i] != '\n') {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '\n')
                value += text[i];
        } else {
            value += text[i];
        }
        ++i;
    }
    return i < text.size() && text[i] == quote ? i + 1 : i;
}

// What follows "url(" at at: the address and the position past ")", or npos
// when it is no url() token.
std::size_t ReadUrl(std::string_view text, std::size_t at, std::string &address)
{
    std::size_t i = at;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        i = ReadString(text, i, address);
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        return i < text.size() && text[i] == ')' ? i + 1 : std::string_view::npos;
    }
    while (i < text.size() && text[i] != ')') {
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        else if (text[i] == '"' || text[i] == '\'' || text[i] == '(')
            return std::string_view::npos;
        address += text[i];
        ++i;
    }
    while (!address.empty() && IsSpace(address.back()))
        address.pop_back();
    return i < text.size() ? i + 1 : std::string_view::npos;
}

std::string QuotedUrl(const std::string &address)
{
    std::string out = "url(\"";
    for (const char c : address) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n' || c == '\r')
            continue;
        out += c;
    }
    return out + "\")";
}

std::string Resolved(const std::string &reference, const BaseAddress &base)
{
    if (StartsWithNoCase(reference, 0, "data:"))
        return reference;
    return base.resolve(TrimmedAddress(reference));
}

} // namespace

std::string SelfContainedSheet(const std::string &sheetText, const BaseAddress &base, const SheetReader &read,
                               int depth)
{
    const std::string_view text(sheetText);
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            i = SkipComment(text, i);
            continue;
        }
        if (c == '"' || c == '\'') {
            std::string ignored;
            const std::size_t end = ReadString(text, i, ignored);
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        if ((c == 'u' || c == 'U') && StartsWithNoCase(text, i, "url(") &&
            (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '-'))) {
            std::string address;
            const std::size_t end = ReadUrl(text, i + 4, address);
            if (end != std::string_view::npos) {
                out += QuotedUrl(Resolved(address, base));
                i = end;
                continue;
            }
        }
        if (c == '@' && StartsWithNoCase(text, i, "@import")) {
            std::size_t j = i + 7;
            while (j < text.size() && IsSpace(text[j]))
                ++j;
            std::string address;
            std::size_t end = std::string_view::npos;
            if (j < text.size() && (text[j] == '"' || text[j] == '\''))
                end = ReadString(text, j, address);
            else if (StartsWithNoCase(text, j, "url("))
                end = ReadUrl(text, j + 4, address);
            const std::size_t ruleEnd = end == std::string_view::npos ? std::string_view::npos : text.find(';', end);
            if (ruleEnd != std::string_view::npos) {
                std::string media(text.substr(end, ruleEnd - end));
                while (!media.empty() && IsSpace(media.front()))
                    media.erase(media.begin());
                while (!media.empty() && IsSpace(media.back()))
                    media.pop_back();
                const std::string imported = Resolved(address, base);
                if (depth > 0 && !imported.empty() && read) {
                    const std::string sheet = read(imported);
                    if (!sheet.empty()) {
                        const std::string inlined = SelfContainedSheet(sheet, BaseAddress(imported), read, depth - 1);
                        if (media.empty() || media == "all")
                            out += inlined;
                        else
                            out += "@media " + media + " {\n" + inlined + "\n}";
                        out += '\n';
                    }
                }
                i = ruleEnd + 1;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}
