// libFuzzer target for the Markdown converter: any page, front matter and
// wiki-links included, converts without a fault into well-formed UTF-8 that
// holds no script, frame, plug-in, event handler or raw HTML of the page, and
// no address but the ones it was given, web ones and the page's own anchors.

#include "htmltags.h"
#include "htmltext.h"
#include "markdownconverter.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool SafeAddress(const std::string &value)
{
    if (value.empty() || value[0] == '#')
        return true;
    for (const char *allowed : {"../01-02-2023/", "images/0123.png", "attaches/file.pdf", "import-page:"}) {
        if (value.rfind(allowed, 0) == 0)
            return true;
    }
    // Any other address has a scheme, which may not be one that runs code.
    const size_t colon = value.find(':');
    if (colon == std::string::npos || value.find_first_of("/?#") < colon)
        return false;
    std::string scheme;
    for (char c : value.substr(0, colon))
        scheme += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return scheme != "javascript" && scheme != "vbscript" && scheme != "file" && scheme != "data";
}

void Check(const std::string &html)
{
    TagScanner scanner(html);
    HtmlTag tag;
    while (scanner.next(tag)) {
        for (const char *forbidden :
             {"script", "iframe", "object", "embed", "frame", "style", "base", "meta", "form", "svg", "math"}) {
            if (tag.is(forbidden))
                std::abort();
        }
        for (const TagAttribute &attribute : tag.attributes) {
            if (attribute.name.size() >= 2 && (attribute.name[0] == 'o' || attribute.name[0] == 'O') &&
                (attribute.name[1] == 'n' || attribute.name[1] == 'N'))
                std::abort();
            if (SameName(attribute.name, "href") || SameName(attribute.name, "src")) {
                const std::string value = DecodeCharacterReferences(
                    std::string_view(html).substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
                if (!SafeAddress(value))
                    std::abort();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const MarkdownPage page = SplitFrontMatter(text);
    const MarkdownConversion conversion =
        ConvertMarkdown(page.body, [](MarkdownReference kind, const std::string &target) {
            if (target.empty() || target[0] == 'x')
                return std::string();
            return kind == MarkdownReference::WikiLink ? std::string("import-page:Page.md")
                   : kind == MarkdownReference::Link   ? std::string("attaches/file.pdf")
                                                       : std::string("images/0123.png");
        });
    Check(conversion.html);
    if (!IsValidUtf8(conversion.html))
        std::abort();
    return 0;
}
