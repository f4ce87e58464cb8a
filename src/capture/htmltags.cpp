#include "htmltags.h"

#include <array>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Elements whose content is text, not markup: a "<img" in a script is no picture.
constexpr std::array<std::string_view, 8> RawTextElements{"script", "style",  "textarea", "title",
                                                          "xmp",    "iframe", "noembed",  "noframes"};

} // namespace

bool SameName(std::string_view name, std::string_view lowerName)
{
    if (name.size() != lowerName.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (Folded(name[i]) != lowerName[i])
            return false;
    }
    return true;
}

bool HtmlTag::is(std::string_view lowerName) const
{
    return SameName(name, lowerName);
}

const TagAttribute *HtmlTag::find(std::string_view lowerName) const
{
    for (const TagAttribute &attribute : attributes) {
        if (SameName(attribute.name, lowerName))
            return &attribute;
    }
    return nullptr;
}

bool TagScanner::next(HtmlTag &tag)
{
    const std::size_t size = m_text.size();
    while (m_position < size) {
        const std::size_t open = m_text.find('<', m_position);
        if (open == std::string_view::npos || open + 1 >= size)
            break;
        const char after = m_text[open + 1];
        if (m_text.compare(open, 4, "<!--") == 0) {
            // "<!-->" and "<!--->" end where they begin.
            std::size_t close = m_text.find("-->", open + 2);
            if (close == std::string_view::npos)
                break;
            m_position = close + 3;
        } else if (after == '!' || after == '?') {
            const std::size_t close = m_text.find('>', open + 2);
            if (close == std::string_view::npos)
                break;
            m_position = close + 1;
        } else if (after == '/') {
            if (open + 2 < size && IsLetter(m_text[open + 2]))
                return readTag(open, tag);
            const std::size_t close = m_text.find('>', open + 2);
            if (close == std::string_view::npos)
                break;
            m_position = close + 1;
        } else if (IsLetter(after)) {
            return readTag(open, tag);
        } else {
            m_position = open + 1;
        }
    }
    m_position = size;
    return false;
}

bool TagScanner::readTag(std::size_t open, HtmlTag &tag)
{
    const std::size_t size = m_text.size();
    tag.begin = open;
    tag.closing = m_text[open + 1] == '/';
    tag.attributes.clear();
    std::size_t at = open + (tag.closing ? 2 : 1);
    const std::size_t nameBegin = at;
    while (at < size && !IsSpace(m_text[at]) && m_text[at] != '/' && m_text[at] != '>')
        ++at;
    tag.name = m_text.substr(nameBegin, at - nameBegin);
    tag.nameEnd = at;

    for (;;) {
        while (at < size && (IsSpace(m_text[at]) || m_text[at] == '/'))
            ++at;
        if (at >= size)
            break;
        if (m_text[at] == '>') {
            tag.end = at + 1;
            m_position = tag.end;
            if (tag.closing) {
                tag.attributes.clear(); // an end tag's attributes mean nothing
            } else {
                for (const std::string_view raw : RawTextElements) {
                    if (tag.is(raw)) {
                        skipRawText(raw);
                        break;
                    }
                }
            }
            return true;
        }

        TagAttribute attribute;
        const std::size_t attributeBegin = at;
        ++at; // the first character belongs to the name, even "="
        while (at < size && !IsSpace(m_text[at]) && m_text[at] != '/' && m_text[at] != '>' && m_text[at] != '=')
            ++at;
        attribute.name = m_text.substr(attributeBegin, at - attributeBegin);
        std::size_t afterName = at;
        while (afterName < size && IsSpace(m_text[afterName]))
            ++afterName;
        if (afterName < size && m_text[afterName] == '=') {
            at = afterName + 1;
            while (at < size && IsSpace(m_text[at]))
                ++at;
            if (at >= size)
                break;
            attribute.hasValue = true;
            if (m_text[at] == '"' || m_text[at] == '\'') {
                attribute.quote = m_text[at];
                const std::size_t close = m_text.find(attribute.quote, at + 1);
                if (close == std::string_view::npos)
                    break;
                attribute.valueBegin = at + 1;
                attribute.valueEnd = close;
                at = close + 1;
            } else if (m_text[at] == '>') {
                attribute.valueBegin = attribute.valueEnd = at; // "a=>": an empty value
            } else {
                attribute.valueBegin = at;
                while (at < size && !IsSpace(m_text[at]) && m_text[at] != '>')
                    ++at;
                attribute.valueEnd = at;
            }
        }
        tag.attributes.push_back(attribute);
    }
    // Cut off by the end of the text: a browser drops such a tag.
    m_position = size;
    return false;
}

void TagScanner::skipRawText(std::string_view lowerName)
{
    const std::size_t size = m_text.size();
    for (std::size_t at = m_text.find("</", m_position); at != std::string_view::npos; at = m_text.find("</", at + 2)) {
        const std::size_t after = at + 2 + lowerName.size();
        if (after < size && SameName(m_text.substr(at + 2, lowerName.size()), lowerName) &&
            (IsSpace(m_text[after]) || m_text[after] == '/' || m_text[after] == '>')) {
            m_position = at;
            return;
        }
    }
    m_position = size;
}
