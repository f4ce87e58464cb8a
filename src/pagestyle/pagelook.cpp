#include "pagelook.h"

#include "addressresolver.h"
#include "pagefetch.h"
#include "sheettext.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Attribute(xmlNode *node, const char *name)
{
    xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(name));
    if (!value)
        return {};
    std::string text(reinterpret_cast<const char *>(value));
    xmlFree(value);
    return text;
}

std::string Content(xmlNode *node)
{
    xmlChar *value = xmlNodeGetContent(node);
    if (!value)
        return {};
    std::string text(reinterpret_cast<const char *>(value));
    xmlFree(value);
    return text;
}

bool HasWord(const std::string &list, const std::string &word)
{
    std::size_t at = 0;
    const std::string lower = Lower(list);
    while (at < lower.size()) {
        while (at < lower.size() && std::isspace(static_cast<unsigned char>(lower[at])))
            ++at;
        std::size_t end = at;
        while (end < lower.size() && !std::isspace(static_cast<unsigned char>(lower[end])))
            ++end;
        if (lower.compare(at, end - at, word) == 0 && end > at)
            return true;
        at = end;
    }
    return false;
}

// The charset parameter of a Content-Type, or empty.
std::string CharsetOf(const std::string &contentType)
{
    const std::string lower = Lower(contentType);
    const std::size_t at = lower.find("charset=");
    if (at == std::string::npos)
        return {};
    std::string charset = contentType.substr(at + 8);
    charset = charset.substr(0, charset.find_first_of("; "));
    charset.erase(std::remove(charset.begin(), charset.end(), '"'), charset.end());
    return charset;
}

void Walk(xmlNode *node, PageLookSources &sources, const BaseAddress &page, std::string &baseHref)
{
    for (xmlNode *child = node; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        const std::string name = Lower(reinterpret_cast<const char *>(child->name));
        if (name == "title" && sources.title.empty()) {
            sources.title = Content(child);
        } else if (name == "base" && baseHref.empty()) {
            baseHref = Attribute(child, "href");
        } else if (name == "link") {
            const std::string rel = Attribute(child, "rel");
            if (HasWord(rel, "stylesheet") && !HasWord(rel, "alternate") &&
                !xmlHasProp(child, reinterpret_cast<const xmlChar *>("disabled"))) {
                const BaseAddress base(baseHref.empty() ? page.text() : page.resolve(TrimmedAddress(baseHref)));
                const std::string address = base.resolve(TrimmedAddress(Attribute(child, "href")));
                if (!address.empty())
                    sources.sheets.push_back({true, address, Attribute(child, "media")});
            }
        } else if (name == "style") {
            sources.sheets.push_back({false, Content(child), Attribute(child, "media")});
        } else if (name != "script" && name != "template") {
            Walk(child->children, sources, page, baseHref);
        }
    }
}

using Document = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

void Silently(void *, const char *, ...)
{
}

// A page in the charset its Content-Type names, else the one its markup names;
// a fragment is UTF-8. A page's broken bytes are no news for the log: libxml2
// reports them through its error function, which is this thread's own.
Document ParsedHtml(const std::string &html, const std::string &address, const std::string &contentType,
                    bool fragment = false)
{
    const std::string charset = fragment ? std::string("UTF-8") : CharsetOf(contentType);
    const xmlGenericErrorFunc reporter = xmlGenericError;
    void *const reporterContext = xmlGenericErrorContext;
    xmlSetGenericErrorFunc(nullptr, &Silently);
    const auto restore = [&] { xmlSetGenericErrorFunc(reporterContext, reporter); };
    Document document(htmlReadMemory(html.data(), static_cast<int>(std::min<std::size_t>(html.size(), INT32_MAX)),
                                     address.c_str(), charset.empty() ? nullptr : charset.c_str(),
                                     HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET),
                      &xmlFreeDoc);
    restore();
    return document;
}

// The text a reader sees, each run of white space one space, up to limit bytes.
void AppendText(xmlNode *node, std::string &text, std::size_t limit)
{
    for (xmlNode *child = node; child && text.size() < limit; child = child->next) {
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
            for (const xmlChar *c = child->content; c && *c && text.size() < limit; ++c) {
                const bool space = std::isspace(*c);
                if (space && (text.empty() || text.back() == ' '))
                    continue;
                text += space ? ' ' : static_cast<char>(*c);
            }
        } else if (child->type == XML_ELEMENT_NODE) {
            const std::string name = Lower(reinterpret_cast<const char *>(child->name));
            if (name == "script" || name == "style" || name == "head" || name == "template" || name == "noscript")
                continue;
            if (!text.empty() && text.back() != ' ')
                text += ' '; // elements apart, so that words of two blocks never run together
            AppendText(child->children, text, limit);
        }
    }
}

void CollectPlaces(xmlNode *node, std::map<std::string, int> &pages)
{
    for (xmlNode *child = node; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (Lower(reinterpret_cast<const char *>(child->name)) == "a") {
            const std::string href = TrimmedAddress(Attribute(child, "href"));
            const std::size_t place = href.find('#');
            const std::string scheme = SchemeOf(href);
            if (place != std::string::npos && place > 0 && (scheme == "http" || scheme == "https"))
                ++pages[href.substr(0, place)];
        }
        CollectPlaces(child->children, pages);
    }
}

} // namespace

PageLookSources LookSourcesOf(const std::string &html, const std::string &pageAddress, const std::string &contentType)
{
    PageLookSources sources;
    const BaseAddress page(pageAddress);
    sources.base = page.text();
    const Document document = ParsedHtml(html, pageAddress, contentType);
    if (!document)
        return sources;
    std::string baseHref;
    Walk(xmlDocGetRootElement(document.get()), sources, page, baseHref);
    if (!baseHref.empty()) {
        const std::string base = page.resolve(TrimmedAddress(baseHref));
        if (!base.empty())
            sources.base = base;
    }
    return sources;
}

std::string PageAddressFromLinks(const std::string &fragment)
{
    const Document document = ParsedHtml(fragment, std::string(), std::string(), true);
    if (!document)
        return {};
    std::map<std::string, int> pages;
    CollectPlaces(xmlDocGetRootElement(document.get()), pages);
    std::string best;
    int most = 0;
    for (const auto &[page, count] : pages) {
        if (count > most) {
            best = page;
            most = count;
        }
    }
    return best;
}

bool PageShowsFragment(const std::string &pageHtml, const std::string &contentType, const std::string &fragment)
{
    const Document selection = ParsedHtml(fragment, std::string(), std::string(), true);
    const Document page = ParsedHtml(pageHtml, std::string(), contentType);
    if (!selection || !page)
        return false;
    std::string wanted;
    AppendText(xmlDocGetRootElement(selection.get()), wanted, 80);
    while (!wanted.empty() && (wanted.back() == ' ' || (static_cast<unsigned char>(wanted.back()) & 0xC0) == 0x80))
        wanted.pop_back(); // never half a character at the end
    if (!wanted.empty() && static_cast<unsigned char>(wanted.back()) >= 0xC0)
        wanted.pop_back();
    while (!wanted.empty() && wanted.front() == ' ')
        wanted.erase(wanted.begin());
    if (wanted.size() < 8)
        return false; // too little to tell one page from another
    std::string text;
    AppendText(xmlDocGetRootElement(page.get()), text, std::string::npos);
    return text.find(wanted) != std::string::npos;
}

PageLook ReadPageLook(const std::string &pageAddress, const FetchOptions &givenOptions, const std::string &mustShow)
{
    PageLook look;
    const FetchOptions options = WithDeadline(givenOptions);
    const FetchedText page = FetchText(pageAddress, std::string(), options);
    if (!page.ok || (!mustShow.empty() && !PageShowsFragment(page.body, page.contentType, mustShow)))
        return look;
    look.read = true;
    look.address = page.address;
    look.contentType = page.contentType;
    look.html = page.body;
    const PageLookSources sources = LookSourcesOf(page.body, page.address, page.contentType);
    look.title = sources.title;
    const SheetReader read = [&](const std::string &address) {
        const FetchedText sheet = FetchText(address, page.address, options);
        return sheet.ok ? sheet.body : std::string();
    };
    for (const PageLookSources::Sheet &sheet : sources.sheets) {
        std::string text;
        if (sheet.linked)
            text = SelfContainedSheet(read(sheet.text), BaseAddress(sheet.text), read);
        else
            text = SelfContainedSheet(sheet.text, BaseAddress(sources.base), read);
        if (text.empty())
            continue;
        const std::string media = Lower(sheet.media);
        if (!media.empty() && media != "all")
            text = "@media " + sheet.media + " {\n" + text + "\n}";
        look.sheets.push_back(std::move(text));
    }
    return look;
}
