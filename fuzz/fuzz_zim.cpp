// libFuzzer target for the Zim wiki converter: any page converts without a
// fault into well-formed UTF-8 that holds no element but the converter's own
// and no address but the ones it was given or web ones, read back with the
// capture core's tag reader.

#include "htmltags.h"
#include "htmltext.h"
#include "zimconverter.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool SafeAddress(const std::string &value)
{
    for (const char *allowed :
         {"http://", "https://", "ftp://", "mailto:", "#", "../01-02-2023/", "images/0123.png", "attaches/file.pdf"}) {
        if (value.rfind(allowed, 0) == 0)
            return true;
    }
    return false;
}

void Check(const std::string &html)
{
    static const char *const Own[] = {"h1",  "h2",  "h3",   "h4",  "h5", "p",  "br", "b",     "i", "s",  "mark",
                                      "sup", "sub", "code", "pre", "ul", "ol", "li", "input", "a", "img"};
    TagScanner scanner(html);
    HtmlTag tag;
    while (scanner.next(tag)) {
        bool own = false;
        for (const char *name : Own)
            own = own || tag.is(name);
        if (!own)
            std::abort();
        for (const TagAttribute &attribute : tag.attributes) {
            if (SameName(attribute.name, "href") || SameName(attribute.name, "src")) {
                const std::string value = DecodeCharacterReferences(
                    std::string_view(html).substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
                if (!SafeAddress(value))
                    std::abort();
            } else if (!SameName(attribute.name, "width") && !SameName(attribute.name, "height") &&
                       !SameName(attribute.name, "type") && !SameName(attribute.name, "checked") &&
                       !SameName(attribute.name, "id")) {
                std::abort();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const ZimPageText page = SplitZimHeaders(text);
    const std::string html = ConvertZimWiki(page.body, [](ZimReference kind, const std::string &target) {
        if (target.empty() || target[0] == 'x')
            return std::string();
        return kind == ZimReference::Page      ? std::string("../01-02-2023/010220230900000000.html")
               : kind == ZimReference::Picture ? std::string("images/0123.png")
                                               : std::string("attaches/file.pdf");
    });
    Check(html);
    if (!IsValidUtf8(html))
        std::abort();
    return 0;
}
