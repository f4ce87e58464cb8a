#include "zimconverter.h"

#include "enmlconverter.h"

#include <cctype>

namespace {

constexpr int MaxNesting = 8;

std::string trimmed(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string attribute(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '"')
            out += "&quot;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool isWebAddress(std::string_view text)
{
    return startsWith(text, "http://") || startsWith(text, "https://") || startsWith(text, "ftp://") ||
           startsWith(text, "mailto:");
}

bool isFileReference(std::string_view text)
{
    return startsWith(text, "./") || startsWith(text, "../") || startsWith(text, "/") || startsWith(text, "~") ||
           startsWith(text, "file:");
}

class InlineWriter
{
public:
    explicit InlineWriter(const ZimAddressOf &addressOf)
        : m_addressOf(addressOf)
    {
    }

    std::string write(std::string_view text, int depth = 0) const
    {
        struct Style
        {
            const char *marker;
            const char *tag;
        };
        static const Style Styles[] = {{"**", "b"},    {"//", "i"},   {"~~", "s"},
                                       {"__", "mark"}, {"^{", "sup"}, {"_{", "sub"}};
        std::string out;
        for (size_t i = 0; i < text.size();) {
            const std::string_view rest = text.substr(i);
            if (startsWith(rest, "''")) {
                const size_t close = rest.find("''", 2);
                if (close != std::string_view::npos) {
                    out += "<code>" + EscapeHtmlText(rest.substr(2, close - 2)) + "</code>";
                    i += close + 2;
                    continue;
                }
            }
            if (startsWith(rest, "[[") || startsWith(rest, "{{")) {
                const bool picture = rest[0] == '{';
                const size_t close = rest.find(picture ? "}}" : "]]", 2);
                if (close != std::string_view::npos) {
                    const std::string_view inner = rest.substr(2, close - 2);
                    out += picture ? pictureHtml(inner) : linkHtml(inner);
                    i += close + 2;
                    continue;
                }
            }
            if ((i == 0 || std::isspace(static_cast<unsigned char>(text[i - 1]))) && isWebAddress(rest) &&
                !startsWith(rest, "mailto:")) {
                size_t end = 0;
                while (end < rest.size() && !std::isspace(static_cast<unsigned char>(rest[end])))
                    ++end;
                while (end > 0 && std::string_view(".,;:!?)'\"").find(rest[end - 1]) != std::string_view::npos)
                    --end;
                const std::string_view address = rest.substr(0, end);
                out += "<a href=\"" + attribute(address) + "\">" + EscapeHtmlText(address) + "</a>";
                i += end;
                continue;
            }
            bool styled = false;
            for (const Style &style : Styles) {
                if (depth >= MaxNesting || !startsWith(rest, style.marker))
                    continue;
                const bool braced = style.marker[1] == '{';
                const size_t close = rest.find(braced ? "}" : style.marker, 2);
                if (close == std::string_view::npos || close == 2)
                    continue;
                out += std::string("<") + style.tag + ">" + write(rest.substr(2, close - 2), depth + 1) + "</" +
                       style.tag + ">";
                i += close + (braced ? 1 : 2);
                styled = true;
                break;
            }
            if (styled)
                continue;
            out += EscapeHtmlText(rest.substr(0, 1));
            ++i;
        }
        return out;
    }

private:
    std::string linkHtml(std::string_view inner) const
    {
        const size_t bar = inner.find('|');
        const std::string target = trimmed(inner.substr(0, bar));
        const std::string shown = bar == std::string_view::npos ? target : trimmed(inner.substr(bar + 1));
        std::string address;
        if (isWebAddress(target) || (!target.empty() && target[0] == '#'))
            address = target;
        else if (target.find('@') != std::string::npos && target.find_first_of(" :/") == std::string::npos)
            address = "mailto:" + target;
        else if (!target.empty())
            address = m_addressOf(isFileReference(target) ? ZimReference::File : ZimReference::Page, target);
        if (address.empty())
            return EscapeHtmlText(shown);
        return "<a href=\"" + attribute(address) + "\">" + EscapeHtmlText(shown) + "</a>";
    }

    std::string pictureHtml(std::string_view inner) const
    {
        if (startsWith(inner, "id:")) // an anchor, which a link may lead to
            return "<a id=\"" + attribute(trimmed(inner.substr(3))) + "\"></a>";
        const size_t question = inner.find('?');
        const std::string path = trimmed(inner.substr(0, question));
        const std::string address = path.empty() ? std::string() : m_addressOf(ZimReference::Picture, path);
        if (address.empty())
            return EscapeHtmlText("{{" + std::string(inner) + "}}");
        std::string html = "<img src=\"" + attribute(address) + "\"";
        if (question != std::string_view::npos) {
            const std::string_view options = inner.substr(question + 1);
            for (const char *name : {"width", "height"}) {
                const size_t at = options.find(std::string(name) + "=");
                if (at == std::string_view::npos)
                    continue;
                std::string digits;
                for (size_t d = at + std::string_view(name).size() + 1;
                     d < options.size() && std::isdigit(static_cast<unsigned char>(options[d])); ++d)
                    digits += options[d];
                if (!digits.empty() && digits.size() < 6)
                    html += std::string(" ") + name + "=\"" + digits + "\"";
            }
        }
        return html + ">";
    }

    const ZimAddressOf &m_addressOf;
};

struct ListItem
{
    int depth = 0;
    bool numbered = false;
    std::string box; // "[ ]", "[*]", "[x]", "[>]", "[<]" or empty
    std::string_view text;
};

bool listItem(std::string_view line, ListItem &item)
{
    size_t at = 0;
    while (at < line.size() && line[at] == '\t')
        ++at;
    item.depth = int(at);
    const std::string_view rest = line.substr(at);
    if (startsWith(rest, "* ")) {
        item.text = rest.substr(2);
    } else if (rest.size() >= 4 && rest[0] == '[' && rest[2] == ']' && rest[3] == ' ' &&
               std::string_view(" *x><").find(rest[1]) != std::string_view::npos) {
        item.box = std::string(rest.substr(0, 3));
        item.text = rest.substr(4);
    } else {
        size_t digits = 0;
        while (digits < rest.size() && std::isalnum(static_cast<unsigned char>(rest[digits])) && digits < 4)
            ++digits;
        const bool number = digits > 0 && (std::isdigit(static_cast<unsigned char>(rest[0])) || digits == 1);
        if (!number || rest.substr(digits, 2) != ". ")
            return false;
        item.numbered = true;
        item.text = rest.substr(digits + 2);
    }
    return true;
}

class BlockWriter
{
public:
    explicit BlockWriter(const ZimAddressOf &addressOf)
        : m_inline(addressOf)
    {
    }

    std::string write(std::string_view wiki)
    {
        bool verbatim = false;
        std::string verbatimText;
        for (size_t from = 0; from < wiki.size();) {
            size_t end = wiki.find('\n', from);
            if (end == std::string_view::npos)
                end = wiki.size();
            std::string_view line = wiki.substr(from, end - from);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            from = end + 1;
            if (verbatim) {
                if (trimmed(line) == "'''") {
                    m_out += "<pre>" + EscapeHtmlText(verbatimText) + "</pre>\n";
                    verbatim = false;
                } else {
                    verbatimText += std::string(line) + "\n";
                }
                continue;
            }
            if (trimmed(line) == "'''") {
                endBlocks();
                verbatim = true;
                verbatimText.clear();
                continue;
            }
            ListItem item;
            if (headingLine(line))
                continue;
            if (listItem(line, item)) {
                endParagraph();
                addItem(item);
                continue;
            }
            if (trimmed(line).empty()) {
                endBlocks();
                continue;
            }
            endLists();
            m_paragraph.push_back(line);
        }
        if (verbatim) // never closed: what was written stays as text
            m_out += "<pre>" + EscapeHtmlText(verbatimText) + "</pre>\n";
        endBlocks();
        return m_out;
    }

private:
    bool headingLine(std::string_view line)
    {
        size_t marks = 0;
        while (marks < line.size() && line[marks] == '=')
            ++marks;
        if (marks < 2 || marks > 6 || marks >= line.size() || line[marks] != ' ')
            return false;
        std::string text = trimmed(line.substr(marks));
        while (!text.empty() && text.back() == '=')
            text.pop_back();
        endBlocks();
        const std::string level = std::to_string(7 - marks);
        m_out += "<h" + level + ">" + m_inline.write(trimmed(text)) + "</h" + level + ">\n";
        return true;
    }

    void addItem(const ListItem &item)
    {
        const int depth = std::min(item.depth, MaxNesting);
        while (int(m_lists.size()) > depth + 1)
            closeList();
        if (int(m_lists.size()) == depth + 1) {
            if (m_lists.back() != item.numbered)
                closeList();
            else
                m_out += "</li>\n";
        }
        while (int(m_lists.size()) < depth + 1) {
            m_out += item.numbered ? "<ol>\n" : "<ul>\n";
            m_lists.push_back(item.numbered);
        }
        m_out += "<li>";
        if (item.box.empty()) {
            m_out += m_inline.write(item.text);
            return;
        }
        const bool done = item.box == "[*]" || item.box == "[x]";
        m_out += done ? "<input type=\"checkbox\" checked>" : "<input type=\"checkbox\">";
        m_out += item.box == "[x]" ? "<s>" + m_inline.write(item.text) + "</s>" : m_inline.write(item.text);
    }

    void closeList()
    {
        m_out += m_lists.back() ? "</li>\n</ol>\n" : "</li>\n</ul>\n";
        m_lists.pop_back();
    }

    void endLists()
    {
        while (!m_lists.empty())
            closeList();
    }

    void endParagraph()
    {
        if (m_paragraph.empty())
            return;
        m_out += "<p>";
        for (size_t i = 0; i < m_paragraph.size(); ++i)
            m_out += (i ? "<br>\n" : "") + m_inline.write(m_paragraph[i]);
        m_out += "</p>\n";
        m_paragraph.clear();
    }

    void endBlocks()
    {
        endParagraph();
        endLists();
    }

    InlineWriter m_inline;
    std::string m_out;
    std::vector<bool> m_lists; // open lists, numbered or not
    std::vector<std::string_view> m_paragraph;
};

} // namespace

ZimPageText SplitZimHeaders(std::string_view text)
{
    ZimPageText page;
    page.body = text;
    if (!startsWith(text, "Content-Type:"))
        return page;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line = trimmed(text.substr(from, end - from));
        from = end + 1;
        if (line.empty())
            break;
        const size_t colon = line.find(':');
        if (colon != std::string::npos)
            page.headers.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    page.body = text.substr(std::min(from, text.size()));
    return page;
}

std::string ConvertZimWiki(std::string_view wiki, const ZimAddressOf &addressOf)
{
    return BlockWriter(addressOf).write(RepairedUtf8(wiki));
}
