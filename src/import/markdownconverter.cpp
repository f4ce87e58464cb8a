#include "markdownconverter.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <cctype>
#include <memory>

namespace {

const char WikiScheme[] = "wiki:";
const char EmbedScheme[] = "wiki-embed:";

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

std::string unquoted(std::string_view text)
{
    std::string value = trimmed(text);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

void addTags(std::string_view list, std::vector<std::string> &tags)
{
    std::string value = trimmed(list);
    if (value.size() >= 2 && value.front() == '[' && value.back() == ']')
        value = value.substr(1, value.size() - 2);
    size_t from = 0;
    while (from <= value.size()) {
        size_t comma = value.find(',', from);
        if (comma == std::string::npos)
            comma = value.size();
        std::string tag = unquoted(std::string_view(value).substr(from, comma - from));
        if (!tag.empty() && tag.front() == '#')
            tag.erase(0, 1);
        if (!tag.empty())
            tags.push_back(tag);
        from = comma + 1;
    }
}

bool isLineOf(std::string_view line, std::string_view marker)
{
    return trimmed(line) == marker;
}

// Writes a wiki-link as a Markdown link to an address of its own, so that
// the parser places it and the address lookup resolves it like any other.
std::string percentEncoded(std::string_view text)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += char(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string escapedMarkdown(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (std::ispunct(static_cast<unsigned char>(c)))
            out += '\\';
        out += c;
    }
    return out;
}

std::string wikiLinksAsLinks(std::string_view text)
{
    std::string out;
    bool inFence = false;
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t lineEnd = text.find('\n', lineStart);
        lineEnd = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
        const std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        const std::string start = trimmed(line);
        if (start.rfind("```", 0) == 0 || start.rfind("~~~", 0) == 0)
            inFence = !inFence;
        if (inFence || start.rfind("```", 0) == 0 || start.rfind("~~~", 0) == 0) {
            out += line;
            lineStart = lineEnd;
            continue;
        }
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '`') { // a code span stays as written
                size_t run = line.find_first_not_of('`', i);
                run = run == std::string_view::npos ? line.size() : run;
                const std::string ticks(run - i, '`');
                const size_t close = line.find(ticks, run);
                const size_t end = close == std::string_view::npos ? run : close + ticks.size();
                out += line.substr(i, end - i);
                i = end - 1;
                continue;
            }
            const bool embed = line.compare(i, 3, "![[") == 0;
            if (line.compare(i, 2, "[[") == 0 || embed) {
                const size_t open = i + (embed ? 3 : 2);
                const size_t close = line.find("]]", open);
                const std::string_view inner =
                    close == std::string_view::npos ? std::string_view() : line.substr(open, close - open);
                if (!inner.empty() && inner.find('[') == std::string_view::npos) {
                    const size_t bar = inner.find('|');
                    const std::string target = trimmed(inner.substr(0, bar));
                    const std::string shown = bar == std::string_view::npos ? target : trimmed(inner.substr(bar + 1));
                    out += std::string(embed ? "![" : "[") + escapedMarkdown(shown) + "](" +
                           (embed ? EmbedScheme : WikiScheme) + percentEncoded(target) + ")";
                    i = close + 1;
                    continue;
                }
            }
            out += line[i];
        }
        lineStart = lineEnd;
    }
    return out;
}

bool hasScheme(const std::string &url)
{
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0])))
        return false;
    for (char c : url) {
        if (c == ':')
            return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

// Moves the children of a node to where it stands and removes it.
void unwrap(cmark_node *node)
{
    while (cmark_node *child = cmark_node_first_child(node))
        cmark_node_insert_before(node, child);
    cmark_node_free(node);
}

struct Free
{
    void operator()(cmark_node *node) const { cmark_node_free(node); }
    void operator()(cmark_parser *parser) const { cmark_parser_free(parser); }
    void operator()(cmark_iter *iter) const { cmark_iter_free(iter); }
};

} // namespace

MarkdownPage SplitFrontMatter(std::string_view text)
{
    MarkdownPage page;
    page.body = text;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.remove_prefix(3);
    size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos || !isLineOf(text.substr(0, lineEnd), "---"))
        return page;
    MarkdownFrontMatter matter;
    std::string listKey;
    for (size_t from = lineEnd + 1; from < text.size(); from = lineEnd + 1) {
        lineEnd = text.find('\n', from);
        if (lineEnd == std::string_view::npos)
            lineEnd = text.size();
        const std::string_view line = text.substr(from, lineEnd - from);
        if (isLineOf(line, "---") || isLineOf(line, "...")) {
            page.frontMatter = matter;
            page.body = text.substr(std::min(lineEnd + 1, text.size()));
            return page;
        }
        const std::string item = trimmed(line);
        if (item.rfind("- ", 0) == 0 && listKey == "tags") {
            addTags(item.substr(2), matter.tags);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || line.empty() || std::isspace(static_cast<unsigned char>(line[0])))
            continue;
        std::string key = trimmed(line.substr(0, colon));
        for (char &c : key)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        const std::string_view value = line.substr(colon + 1);
        listKey = key;
        if (key == "title")
            matter.title = unquoted(value);
        else if (key == "created")
            matter.created = unquoted(value);
        else if (key == "tags")
            addTags(value, matter.tags);
    }
    return page; // never closed: not front matter after all
}

MarkdownConversion ConvertMarkdown(std::string_view markdown, const MarkdownAddressOf &addressOf)
{
    cmark_gfm_core_extensions_ensure_registered();
    const int options = CMARK_OPT_DEFAULT | CMARK_OPT_VALIDATE_UTF8;
    std::unique_ptr<cmark_parser, Free> parser(cmark_parser_new(options));
    for (const char *name : {"table", "strikethrough", "tasklist", "autolink"}) {
        if (cmark_syntax_extension *extension = cmark_find_syntax_extension(name))
            cmark_parser_attach_syntax_extension(parser.get(), extension);
    }
    const std::string text = wikiLinksAsLinks(markdown);
    cmark_parser_feed(parser.get(), text.data(), text.size());
    std::unique_ptr<cmark_node, Free> document(cmark_parser_finish(parser.get()));

    MarkdownConversion conversion;
    std::vector<cmark_node *> unwrapped;
    std::vector<std::pair<cmark_node *, std::string>> asLinks; // a page embedded: linked to instead
    std::vector<cmark_node *> rawHtml;
    {
        std::unique_ptr<cmark_iter, Free> iter(cmark_iter_new(document.get()));
        for (cmark_event_type event; (event = cmark_iter_next(iter.get())) != CMARK_EVENT_DONE;) {
            if (event != CMARK_EVENT_ENTER)
                continue;
            cmark_node *node = cmark_iter_get_node(iter.get());
            const cmark_node_type type = cmark_node_get_type(node);
            if (type == CMARK_NODE_HTML_BLOCK || type == CMARK_NODE_HTML_INLINE) {
                rawHtml.push_back(node);
                continue;
            }
            if (type != CMARK_NODE_LINK && type != CMARK_NODE_IMAGE)
                continue;
            const std::string url = cmark_node_get_url(node) ? cmark_node_get_url(node) : "";
            std::string address = url;
            const bool picture = type == CMARK_NODE_IMAGE;
            if (url.rfind(WikiScheme, 0) == 0) {
                address = addressOf(MarkdownReference::WikiLink, percentDecoded(url.substr(sizeof WikiScheme - 1)));
            } else if (url.rfind(EmbedScheme, 0) == 0) {
                address = addressOf(MarkdownReference::WikiEmbed, percentDecoded(url.substr(sizeof EmbedScheme - 1)));
            } else if (url.rfind("import-page:", 0) == 0) {
                address.clear(); // only the import itself links pages that way
            } else if (!url.empty() && url[0] != '#' && !hasScheme(url)) {
                const std::string path = url.substr(0, url.find_first_of("#?"));
                address =
                    addressOf(picture ? MarkdownReference::Picture : MarkdownReference::Link, percentDecoded(path));
            }
            if (address.empty() && !url.empty())
                unwrapped.push_back(node);
            else if (picture && address.rfind("import-page:", 0) == 0)
                asLinks.emplace_back(node, address);
            else
                cmark_node_set_url(node, address.c_str());
        }
    }
    for (cmark_node *node : unwrapped)
        unwrap(node);
    for (const auto &[image, address] : asLinks) {
        cmark_node *link = cmark_node_new(CMARK_NODE_LINK);
        cmark_node_set_url(link, address.c_str());
        while (cmark_node *child = cmark_node_first_child(image))
            cmark_node_append_child(link, child);
        cmark_node_replace(image, link);
        cmark_node_free(image);
    }
    conversion.rawHtmlLeftOut = !rawHtml.empty();
    for (cmark_node *node : rawHtml)
        cmark_node_free(node);
    char *html = cmark_render_html(document.get(), options, cmark_parser_get_syntax_extensions(parser.get()));
    conversion.html = html;
    free(html);
    return conversion;
}
