#include "pagelook.h"

#include "addressresolver.h"
#include "pagefetch.h"
#include "sheettext.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
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

} // namespace

PageLookSources LookSourcesOf(const std::string &html, const std::string &pageAddress, const std::string &contentType)
{
    PageLookSources sources;
    const BaseAddress page(pageAddress);
    sources.base = page.text();
    const std::string charset = CharsetOf(contentType);
    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document(
        htmlReadMemory(html.data(), static_cast<int>(std::min<std::size_t>(html.size(), INT32_MAX)),
                       pageAddress.c_str(), charset.empty() ? nullptr : charset.c_str(),
                       HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET),
        &xmlFreeDoc);
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

PageLook ReadPageLook(const std::string &pageAddress, const FetchOptions &givenOptions)
{
    PageLook look;
    const FetchOptions options = WithDeadline(givenOptions);
    const FetchedText page = FetchText(pageAddress, std::string(), options);
    if (!page.ok)
        return look;
    look.read = true;
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
