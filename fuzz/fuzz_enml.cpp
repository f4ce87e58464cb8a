// libFuzzer target for the ENML converter: any input converts without a fault,
// and what comes out holds no element or attribute that could run code or
// reach outside the note, read back with the capture core's tag reader, also
// after the links between notes are pointed at their files.

#include "enmlconverter.h"
#include "htmltags.h"
#include "htmltext.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool SafeAddress(const std::string &value)
{
    std::string text;
    for (char c : value) {
        if (static_cast<unsigned char>(c) > 32)
            text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (const char *allowed : {"http://", "https://", "mailto:", "evernote:", "ftp://", "#", "images/0123.png",
                                "../01-02-2023/"}) {
        if (text.rfind(allowed, 0) == 0)
            return true;
    }
    return false;
}

void Check(const std::string &html)
{
    TagScanner scanner(html);
    HtmlTag tag;
    while (scanner.next(tag)) {
        for (const char *forbidden : {"script", "iframe", "object", "embed", "frame", "style", "base", "meta", "form"}) {
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
    const std::string enml(reinterpret_cast<const char *>(data), size);
    const EnmlMedia picture{true, "images/0123.png", {}};
    const EnmlMedia attachment{false, {}, "file.pdf"};
    const EnmlConversion conversion = ConvertEnml(enml, [&](const std::string &hash) -> const EnmlMedia * {
        if (hash.empty())
            return nullptr;
        return hash[0] == 'a' ? &picture : hash[0] == 'b' ? &attachment : nullptr;
    });
    Check(conversion.html);
    const std::string relinked = RelinkNotes(conversion.html, [](const EnmlNoteLink &link) {
        return link.text.empty() ? std::string() : "../01-02-2023/" + link.guid + ".html";
    });
    Check(relinked);
    if (!IsValidUtf8(conversion.html))
        std::abort();
    return 0;
}
