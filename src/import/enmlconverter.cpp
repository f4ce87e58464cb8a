#include "enmlconverter.h"

#include "htmltags.h"
#include "htmltext.h"

#include <algorithm>
#include <array>

namespace {

// Elements that go with everything inside them: they run code, load other
// documents or hold no text a reader of the note would miss.
constexpr std::array<std::string_view, 18> DroppedWithContent{
    "script",  "style",    "iframe",   "frame", "frameset", "object", "embed", "applet", "noscript",
    "noembed", "noframes", "template", "svg",   "math",     "head",   "title", "audio",  "video"};

// Elements that go while their content stays: forms and what only a page's
// own code or the head makes use of.
constexpr std::array<std::string_view, 12> DroppedTags{"form", "input", "button", "select", "option", "textarea",
                                                       "meta", "link",  "base",   "html",   "body",   "xmp"};

constexpr std::array<std::string_view, 12> VoidElements{"area",   "br",    "col", "hr",    "img",   "param",
                                                        "source", "track", "wbr", "input", "embed", "link"};

// Attributes whose value is an address.
constexpr std::array<std::string_view, 8> AddressAttributes{"href",   "src",  "background", "poster",
                                                            "action", "data", "cite",       "longdesc"};

bool Contains(const auto &names, std::string_view name)
{
    return std::any_of(names.begin(), names.end(), [&](std::string_view listed) { return SameName(name, listed); });
}

char Folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), Folded);
    return lower;
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == ':';
}

bool IsPlainName(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), IsNameCharacter);
}

// The address as a browser reads it for its scheme: without the blanks and
// control characters it ignores, in lower case.
std::string SchemeText(std::string_view address)
{
    std::string text;
    for (char c : address) {
        if (static_cast<unsigned char>(c) > 32)
            text += Folded(c);
    }
    return text;
}

// Links may lead to the web, to mail, to another note or within the note.
bool IsSafeLink(std::string_view address)
{
    const std::string text = SchemeText(address);
    for (std::string_view scheme : {"http://", "https://", "mailto:", "evernote:", "ftp://"}) {
        if (text.starts_with(scheme))
            return true;
    }
    return text.starts_with('#');
}

// Pictures come from the web or from the note's own images folder.
bool IsSafeSource(std::string_view address)
{
    const std::string text = SchemeText(address);
    return text.starts_with("http://") || text.starts_with("https://");
}

bool IsSafeStyle(std::string_view style)
{
    const std::string text = SchemeText(style);
    return text.find("url(") == std::string::npos && text.find("expression(") == std::string::npos &&
           text.find("@import") == std::string::npos;
}

std::string AttributeValue(std::string_view text, const TagAttribute &attribute)
{
    if (!attribute.hasValue)
        return {};
    return DecodeCharacterReferences(text.substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
}

void AppendAttribute(std::string &out, std::string_view name, std::string_view value)
{
    out += ' ';
    out += name;
    out += "=\"";
    out += EncodeAttributeValue(value, '"');
    out += '"';
}

bool SelfClosed(std::string_view text, const HtmlTag &tag)
{
    return tag.end >= 2 && text[tag.end - 2] == '/';
}

// Text between tags, with any "<" the tag reader did not take as a tag (a
// comment, a stray bracket) made plain text, so that a browser meets no markup
// here either.
void AppendText(std::string &out, std::string_view text)
{
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else
            out += c;
    }
}

class Converter
{
public:
    Converter(std::string_view enml, const EnmlMediaLookup &lookup)
        : m_text(enml)
        , m_lookup(lookup)
    {
    }

    EnmlConversion run();

private:
    void handle(const HtmlTag &tag);
    void copyTag(const HtmlTag &tag, std::string_view outputName);
    void media(const HtmlTag &tag);
    void todo(const HtmlTag &tag);
    void crypt(std::string_view cipher);
    void text(std::size_t begin, std::size_t end);

    std::string_view m_text;
    const EnmlMediaLookup &m_lookup;
    EnmlConversion m_result;
    std::string m_skipped; // the element being dropped with its content
    int m_skipDepth = 0;
    bool m_inCrypt = false;
    std::size_t m_cryptBegin = 0;
    HtmlTag m_cryptTag;
    bool m_inNoteLink = false;
    std::string m_linkText;
    bool m_ended = false;
};

EnmlConversion Converter::run()
{
    std::size_t position = 0;
    HtmlTag tag;
    {
        TagScanner finder(m_text);
        bool found = false;
        while (!found && finder.next(tag))
            found = !tag.closing && tag.is("en-note");
        if (found) {
            position = tag.begin;
        } else {
            m_result.broken = true;
        }
    }
    TagScanner scanner(m_text.substr(position));
    std::string_view rest = m_text.substr(position);
    std::size_t copied = 0;
    bool noteOpen = false;
    while (!m_ended && scanner.next(tag)) {
        text(position + copied, position + tag.begin);
        copied = tag.end;
        HtmlTag absolute = tag;
        absolute.begin += position;
        absolute.end += position;
        absolute.nameEnd += position;
        for (TagAttribute &attribute : absolute.attributes) {
            attribute.valueBegin += position;
            attribute.valueEnd += position;
        }
        if (absolute.is("en-note") && m_skipDepth == 0 && !m_inCrypt) {
            if (absolute.closing) {
                m_result.html += "</div>";
                m_ended = true;
            } else if (!noteOpen) {
                noteOpen = true;
                copyTag(absolute, "div");
                if (SelfClosed(m_text, absolute)) {
                    m_result.html += "</div>";
                    m_ended = true;
                }
            }
            continue;
        }
        handle(absolute);
    }
    if (!m_ended)
        text(position + copied, position + rest.size());
    if (m_inCrypt)
        crypt(m_text.substr(m_cryptBegin));
    if (noteOpen && !m_ended) {
        m_result.html += "</div>";
        m_result.broken = true;
    }
    m_result.html = RepairedUtf8(m_result.html);
    return std::move(m_result);
}

void Converter::text(std::size_t begin, std::size_t end)
{
    if (m_skipDepth > 0 || m_inCrypt || begin >= end)
        return;
    const std::string_view piece = m_text.substr(begin, end - begin);
    if (m_inNoteLink)
        m_linkText += piece;
    AppendText(m_result.html, piece);
}

void Converter::handle(const HtmlTag &tag)
{
    if (m_skipDepth > 0) {
        if (tag.is(m_skipped)) {
            if (tag.closing)
                --m_skipDepth;
            else if (!SelfClosed(m_text, tag))
                ++m_skipDepth;
        }
        return;
    }
    if (m_inCrypt) {
        if (tag.closing && tag.is("en-crypt")) {
            m_inCrypt = false;
            crypt(m_text.substr(m_cryptBegin, tag.begin - m_cryptBegin));
        }
        return;
    }
    if (!IsPlainName(tag.name))
        return;
    if (Contains(DroppedWithContent, tag.name)) {
        if (!tag.closing && !SelfClosed(m_text, tag)) {
            m_skipped = Lower(tag.name);
            m_skipDepth = 1;
        }
        return;
    }
    if (Contains(DroppedTags, tag.name))
        return;
    if (tag.is("en-media")) {
        if (!tag.closing)
            media(tag);
        return;
    }
    if (tag.is("en-todo")) {
        if (!tag.closing)
            todo(tag);
        return;
    }
    if (tag.is("en-crypt")) {
        if (!tag.closing) {
            if (SelfClosed(m_text, tag)) {
                m_cryptTag = tag;
                crypt({});
            } else {
                m_inCrypt = true;
                m_cryptTag = tag;
                m_cryptBegin = tag.end;
            }
        }
        return;
    }
    if (tag.name.starts_with("en-") || tag.name.starts_with("EN-"))
        return;
    if (tag.is("a")) {
        if (tag.closing && m_inNoteLink) {
            m_inNoteLink = false;
            m_result.noteLinks.back().text = CleanTitle(m_linkText);
        } else if (!tag.closing) {
            const TagAttribute *href = tag.find("href");
            const std::string guid = href ? NoteLinkGuid(AttributeValue(m_text, *href)) : std::string();
            if (!guid.empty() && !m_inNoteLink) {
                m_inNoteLink = true;
                m_linkText.clear();
                m_result.noteLinks.push_back({guid, {}});
            }
        }
    }
    copyTag(tag, tag.name);
}

void Converter::copyTag(const HtmlTag &tag, std::string_view outputName)
{
    std::string &out = m_result.html;
    const std::string name = Lower(outputName);
    if (tag.closing) {
        if (!Contains(VoidElements, name))
            out += "</" + name + ">";
        return;
    }
    out += '<';
    out += name;
    for (const TagAttribute &attribute : tag.attributes) {
        if (!IsPlainName(attribute.name))
            continue;
        const std::string attributeName = Lower(attribute.name);
        if (attributeName.starts_with("on") || attributeName == "srcset" || attributeName == "formaction" ||
            attributeName.starts_with("xmlns"))
            continue;
        const std::string value = AttributeValue(m_text, attribute);
        if (Contains(AddressAttributes, attributeName)) {
            const bool safe = attributeName == "href" ? IsSafeLink(value) : IsSafeSource(value);
            if (!safe || (attributeName != "href" && attributeName != "src"))
                continue;
        }
        if (attributeName == "style" && !IsSafeStyle(value))
            continue;
        AppendAttribute(out, attributeName, value);
    }
    out += '>';
    // XHTML's <div/> is an empty element; HTML would leave it open.
    if (SelfClosed(m_text, tag) && !Contains(VoidElements, name))
        out += "</" + name + ">";
}

void Converter::media(const HtmlTag &tag)
{
    const TagAttribute *hashAttribute = tag.find("hash");
    const std::string hash = hashAttribute ? Lower(AttributeValue(m_text, *hashAttribute)) : std::string();
    const EnmlMedia *media = hash.empty() ? nullptr : m_lookup(hash);
    std::string &out = m_result.html;
    if (!media) {
        if (std::find(m_result.missingHashes.begin(), m_result.missingHashes.end(), hash) ==
            m_result.missingHashes.end())
            m_result.missingHashes.push_back(hash);
        out += "<span class=\"en-missing\">[";
        out += EscapeHtmlText(hash.empty() ? std::string("?") : hash);
        out += "]</span>";
        return;
    }
    if (std::find(m_result.usedHashes.begin(), m_result.usedHashes.end(), hash) == m_result.usedHashes.end())
        m_result.usedHashes.push_back(hash);
    if (media->picture) {
        out += "<img";
        AppendAttribute(out, "src", media->reference);
        for (std::string_view kept : {"width", "height", "alt", "align", "style"}) {
            if (const TagAttribute *attribute = tag.find(kept)) {
                const std::string value = AttributeValue(m_text, *attribute);
                if (kept != "style" || IsSafeStyle(value))
                    AppendAttribute(out, kept, value);
            }
        }
        out += '>';
    } else {
        out += "<span class=\"en-attachment\">[";
        out += EscapeHtmlText(media->name);
        out += "]</span>";
    }
}

void Converter::todo(const HtmlTag &tag)
{
    const TagAttribute *checked = tag.find("checked");
    const bool ticked = checked && Lower(AttributeValue(m_text, *checked)) == "true";
    m_result.html += ticked ? "<input type=\"checkbox\" checked>" : "<input type=\"checkbox\">";
}

// An encrypted block cannot be read here; it stays whole in the note, shown as such.
void Converter::crypt(std::string_view cipher)
{
    std::string &out = m_result.html;
    out += "<span class=\"en-crypt\"";
    for (std::string_view kept : {"cipher", "length", "hint"}) {
        if (const TagAttribute *attribute = m_cryptTag.find(kept))
            AppendAttribute(out, std::string("data-") + std::string(kept), AttributeValue(m_text, *attribute));
    }
    std::string data;
    for (char c : cipher) {
        if (static_cast<unsigned char>(c) > 32)
            data += c;
    }
    AppendAttribute(out, "data-content", data);
    out += ">encrypted content</span>";
}

} // namespace

EnmlConversion ConvertEnml(std::string_view enml, const EnmlMediaLookup &lookup)
{
    return Converter(enml, lookup).run();
}

std::string NoteLinkGuid(std::string_view address)
{
    const std::string text = SchemeText(address);
    constexpr std::string_view Prefix = "evernote:///view/";
    if (!text.starts_with(Prefix))
        return {};
    // evernote:///view/<user>/<shard>/<note guid>/<note guid>/
    std::size_t begin = Prefix.size();
    for (int segment = 0; segment < 2; ++segment) {
        begin = text.find('/', begin);
        if (begin == std::string::npos)
            return {};
        ++begin;
    }
    const std::size_t end = std::min(text.find('/', begin), text.size());
    std::string guid = text.substr(begin, end - begin);
    const bool plain = !guid.empty() && std::all_of(guid.begin(), guid.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-';
    });
    return plain ? guid : std::string();
}

std::string RelinkNotes(std::string_view html, const std::function<std::string(const EnmlNoteLink &link)> &addressOf)
{
    struct Edit
    {
        std::size_t begin;
        std::size_t end;
        std::string text;
    };
    std::vector<Edit> edits;
    TagScanner scanner(html);
    HtmlTag tag;
    const TagAttribute *open = nullptr;
    HtmlTag openTag;
    std::size_t textBegin = 0;
    std::string linkText;
    EnmlNoteLink link;
    while (scanner.next(tag)) {
        if (open) {
            linkText += html.substr(textBegin, tag.begin - textBegin);
            textBegin = tag.end;
            if (!(tag.closing && tag.is("a")))
                continue;
            link.text = CleanTitle(linkText);
            const std::string address = addressOf(link);
            if (!address.empty() && open->hasValue)
                edits.push_back({open->valueBegin, open->valueEnd, EncodeAttributeValue(address, open->quote)});
            open = nullptr;
            continue;
        }
        if (tag.closing || !tag.is("a"))
            continue;
        const TagAttribute *href = tag.find("href");
        if (!href)
            continue;
        link.guid = NoteLinkGuid(AttributeValue(html, *href));
        if (link.guid.empty())
            continue;
        openTag = tag;
        open = openTag.find("href");
        textBegin = tag.end;
        linkText.clear();
    }
    std::string out;
    std::size_t copied = 0;
    for (const Edit &edit : edits) {
        out += html.substr(copied, edit.begin - copied);
        out += edit.text;
        copied = edit.end;
    }
    out += html.substr(copied);
    return out;
}

std::string EscapeHtmlText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string RepairedUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
        if (length > 1 && i + length <= text.size() && IsValidUtf8(text.substr(i, length))) {
            out += text.substr(i, length);
            i += length;
        } else if (length == 1) {
            out += text[i++];
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}
