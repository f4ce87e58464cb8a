#include "fragmentlocaliser.h"

#include "addressresolver.h"
#include "capturetext.h"
#include "htmltags.h"
#include "htmltext.h"
#include "pictureaddress.h"
#include "picturechoice.h"
#include "picturestore.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

// A <picture> being read: its <source> elements, and the img they belong to.
struct PictureGroup
{
    std::vector<ValueSlot> slots;
    std::vector<PictureCandidate> candidates; // of its sources, in order
    int image = -1;
};

bool IsUsableCandidate(const PictureCandidate &candidate)
{
    const std::string address = TrimmedAddress(candidate.address);
    // A picture carried in the address itself is already offline; fetching it is
    // impossible and would lose it.
    return !address.empty() && SchemeOf(address) != "data";
}

// Whether the note's view can show a source of this type: none given, or one
// of the common picture formats. A source of another format is not stored.
bool IsShowableType(const std::string &type)
{
    const std::string lower = LowerAscii(TrimmedAddress(type));
    if (lower.empty())
        return true;
    for (const std::string_view known :
         {"image/jpeg", "image/jpg", "image/pjpeg", "image/png", "image/apng", "image/gif", "image/webp", "image/avif",
          "image/svg+xml", "image/bmp", "image/x-icon"}) {
        if (lower == known)
            return true;
    }
    return false;
}

// The scan of a fragment: what each link and picture becomes.
class FragmentReader
{
public:
    FragmentReader(const std::string &text, const PageAddress &page)
        : m_text(text)
        , m_base(page.base)
        , m_localPage(SchemeOf(TrimmedAddress(page.source)) == "file")
    {
    }

    void read();

    std::vector<Edit> linkEdits;     // link targets resolved, <base> elements emptied
    std::vector<Edit> orphanEdits;   // web addresses of sources that belong to no stored picture
    std::vector<Edit> noscriptEdits; // noscript copies of lazy pictures removed
    std::vector<Picture> images;     // img, poster, SVG image and style pictures in document order
    std::vector<Picture> vmlImages;  // v:imagedata elements in document order
    std::vector<CssBlock> cssBlocks; // style text naming pictures of images

private:
    std::string valueOf(const TagAttribute &attribute) const
    {
        return DecodeCharacterReferences(
            std::string_view(m_text).substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
    }
    void addCandidates(const TagAttribute *attribute, bool srcset, std::vector<PictureCandidate> &out) const;
    void addSlots(const HtmlTag &tag, std::string_view lowerName, bool candidates, std::vector<ValueSlot> &out) const;
    void readLink(const HtmlTag &tag);
    void readImage(const HtmlTag &tag);
    void readSource(const HtmlTag &tag);
    void readVmlImage(const HtmlTag &tag);
    void readEmbedded(const HtmlTag &tag);
    void readSinglePicture(const HtmlTag &tag, std::initializer_list<std::string_view> attributes);
    void readStyle(std::size_t begin, std::size_t end, bool attribute, char quote);
    void choose(Picture &picture, const std::vector<PictureCandidate> &candidates) const;
    std::string absolute(const std::string &reference) const;
    bool namesLocalFile(const std::string &reference) const;
    void closeGroup();
    void neutralise(const std::vector<ValueSlot> &slots);
    void dropNoscriptCopies();

    // An img of a <noscript>: what a page without scripts shows in place of a lazy picture.
    struct NoscriptImage
    {
        std::size_t picture = 0;
        std::size_t begin = 0;
        std::size_t end = 0;
    };

    const std::string &m_text;
    BaseAddress m_base;
    const bool m_localPage;
    bool m_inGroup = false;
    PictureGroup m_group;
    int m_noscriptDepth = 0;
    std::vector<NoscriptImage> m_noscriptImages;
    std::set<std::string> m_lazyAddresses; // of lazily loaded pictures, absolute
};

void FragmentReader::read()
{
    TagScanner scanner(m_text);
    HtmlTag tag;
    std::size_t styleBegin = std::string::npos; // the text of an open <style> element
    while (scanner.next(tag)) {
        if (tag.closing) {
            if (tag.is("picture"))
                closeGroup();
            else if (tag.is("noscript") && m_noscriptDepth > 0)
                --m_noscriptDepth;
            else if (tag.is("style") && styleBegin != std::string::npos)
                readStyle(std::exchange(styleBegin, std::string::npos), tag.begin, false, 0);
            continue;
        }
        if (tag.is("a") || tag.is("area") || tag.is("base")) {
            readLink(tag);
        } else if (tag.is("img")) {
            readImage(tag);
        } else if (tag.is("source")) {
            if (!m_inGroup)
                readEmbedded(tag);
            readSource(tag);
        } else if (tag.is("picture")) {
            closeGroup();
            m_inGroup = true;
        } else if (tag.is("v:imagedata")) {
            readVmlImage(tag);
        } else if (tag.is("image")) {
            // SVG's picture element; SVG 2 reads href before xlink:href.
            readSinglePicture(tag, {"href", "xlink:href"});
        } else if (tag.is("video")) {
            // A web page's poster that names a local file is emptied with its sources.
            const TagAttribute *poster = tag.find("poster");
            if (m_localPage || !poster || !poster->hasValue || !namesLocalFile(valueOf(*poster))) {
                readSinglePicture(tag, {"poster"});
            } else {
                // Repeated posters are emptied too, so that none keeps an address.
                for (const TagAttribute &attribute : tag.attributes) {
                    if (attribute.hasValue && SameName(attribute.name, "poster") && !namesLocalFile(valueOf(attribute)))
                        linkEdits.push_back(
                            {attribute.valueBegin, attribute.valueEnd, EncodeAttributeValue("", attribute.quote)});
                }
            }
            readEmbedded(tag);
        } else {
            if (tag.is("noscript"))
                ++m_noscriptDepth;
            else if (tag.is("style"))
                styleBegin = tag.end; // its text runs to the </style> the scanner stops at
            readEmbedded(tag);
        }
        if (const TagAttribute *style = tag.find("style"); style && style->hasValue)
            readStyle(style->valueBegin, style->valueEnd, true, style->quote);
    }
    if (styleBegin != std::string::npos)
        readStyle(styleBegin, m_text.size(), false, 0);
    closeGroup();
    dropNoscriptCopies();
    // A picture with nothing to store keeps no web address that a source of its
    // <picture> named.
    for (const std::vector<Picture> *pictures : {&images, &vmlImages}) {
        for (const Picture &picture : *pictures) {
            if (!picture.hasChoice)
                neutralise(picture.slots);
        }
    }
}

void FragmentReader::addCandidates(const TagAttribute *attribute, bool srcset, std::vector<PictureCandidate> &out) const
{
    if (!attribute || !attribute->hasValue)
        return;
    std::vector<PictureCandidate> found;
    if (srcset)
        found = SrcsetCandidates(valueOf(*attribute));
    else
        found.push_back({valueOf(*attribute), {}});
    for (PictureCandidate &candidate : found) {
        if (IsUsableCandidate(candidate))
            out.push_back(std::move(candidate));
    }
}

void FragmentReader::addSlots(const HtmlTag &tag, std::string_view lowerName, bool candidates,
                              std::vector<ValueSlot> &out) const
{
    for (const TagAttribute &attribute : tag.attributes) {
        if (attribute.hasValue && SameName(attribute.name, lowerName))
            out.push_back({attribute.valueBegin, attribute.valueEnd, attribute.quote, candidates});
    }
}

void FragmentReader::readLink(const HtmlTag &tag)
{
    const TagAttribute *href = tag.find("href");
    if (!href || !href->hasValue)
        return;
    const std::string target = TrimmedAddress(valueOf(*href));
    if (target.empty())
        return;
    if (tag.is("base")) {
        // Left in the note it would move the note's own "images/…" references.
        linkEdits.push_back({href->valueBegin, href->valueEnd, EncodeAttributeValue("", href->quote)});
        return;
    }
    // A target that names its scheme is absolute and stays as written: mail,
    // script and other links are kept, only never opened by the program.
    if (!SchemeOf(target).empty())
        return;
    const std::string resolved = m_base.resolve(target);
    if (!resolved.empty())
        linkEdits.push_back({href->valueBegin, href->valueEnd, EncodeAttributeValue(resolved, href->quote)});
}

void FragmentReader::choose(Picture &picture, const std::vector<PictureCandidate> &candidates) const
{
    const int sharpest = SharpestCandidate(candidates);
    if (sharpest < 0)
        return;
    picture.hasChoice = true;
    picture.chosen = candidates[static_cast<std::size_t>(sharpest)];
    picture.address = absolute(picture.chosen.address);
}

std::string FragmentReader::absolute(const std::string &reference) const
{
    const std::string address = TrimmedAddress(reference);
    // Absolute web addresses are taken as the page gave them, which keeps the
    // names of their files; anything else is resolved as a browser would.
    return StartsWith(address, "http://") || StartsWith(address, "https://") ? address : m_base.resolve(address);
}

void FragmentReader::readImage(const HtmlTag &tag)
{
    Picture picture;
    picture.nameEnd = tag.nameEnd;
    picture.needsSource = tag.find("src") == nullptr;
    addSlots(tag, "src", false, picture.slots);
    addSlots(tag, "srcset", true, picture.slots);
    addSlots(tag, "data-src", false, picture.slots);
    addSlots(tag, "data-srcset", true, picture.slots);

    // A lazy loader puts data-src and data-srcset in place of the placeholder in
    // src (a pixel, nothing, a blurred preview): the page showed those.
    std::vector<PictureCandidate> candidates;
    addCandidates(tag.find("data-srcset"), true, candidates);
    addCandidates(tag.find("data-src"), false, candidates);
    if (!candidates.empty() && m_noscriptDepth == 0) {
        for (const PictureCandidate &candidate : candidates)
            m_lazyAddresses.insert(absolute(candidate.address));
    }
    if (candidates.empty()) {
        addCandidates(tag.find("srcset"), true, candidates);
        addCandidates(tag.find("src"), false, candidates);
    }
    // In a <picture> the page showed one of its sources or the img: the sharpest
    // of them all is kept.
    const bool grouped = m_inGroup && m_group.image < 0;
    if (grouped)
        candidates.insert(candidates.begin(), m_group.candidates.begin(), m_group.candidates.end());
    choose(picture, candidates);
    if (grouped) {
        m_group.image = static_cast<int>(images.size());
        picture.slots.insert(picture.slots.end(), m_group.slots.begin(), m_group.slots.end());
        m_group.slots.clear();
    }
    if (m_noscriptDepth > 0 && !grouped)
        m_noscriptImages.push_back({images.size(), tag.begin, tag.end});
    images.push_back(std::move(picture));
}

void FragmentReader::readSource(const HtmlTag &tag)
{
    std::vector<ValueSlot> slots;
    if (!m_inGroup) {
        // The src of a video or audio source is no picture; a srcset there is
        // meaningless, and is not left naming the web.
        addSlots(tag, "srcset", true, slots);
        addSlots(tag, "data-srcset", true, slots);
        neutralise(slots);
        return;
    }
    addSlots(tag, "srcset", true, slots);
    addSlots(tag, "data-srcset", true, slots);
    addSlots(tag, "src", false, slots);
    if (m_group.image < 0 && IsShowableType(tag.find("type") ? valueOf(*tag.find("type")) : std::string())) {
        const std::size_t before = m_group.candidates.size();
        addCandidates(tag.find("data-srcset"), true, m_group.candidates);
        if (m_group.candidates.size() == before)
            addCandidates(tag.find("srcset"), true, m_group.candidates);
    }
    if (m_group.image >= 0) {
        std::vector<ValueSlot> &owner = images[static_cast<std::size_t>(m_group.image)].slots;
        owner.insert(owner.end(), slots.begin(), slots.end());
    } else {
        m_group.slots.insert(m_group.slots.end(), slots.begin(), slots.end());
    }
}

void FragmentReader::readVmlImage(const HtmlTag &tag)
{
    Picture picture;
    addSlots(tag, "src", false, picture.slots);
    std::vector<PictureCandidate> candidates;
    addCandidates(tag.find("src"), false, candidates);
    choose(picture, candidates);
    vmlImages.push_back(std::move(picture));
}

bool FragmentReader::namesLocalFile(const std::string &reference) const
{
    const std::string value = TrimmedAddress(reference);
    return SchemeOf(value) == "file" || (SchemeOf(value).empty() && SchemeOf(m_base.resolve(value)) == "file");
}

// Frames, media, embedded objects and image buttons load what their src,
// data or poster names when the note is shown. As with pictures, a local file
// is shown only from a page that is a local file itself; a web page's
// reference to one is emptied.
void FragmentReader::readEmbedded(const HtmlTag &tag)
{
    if (m_localPage)
        return;
    for (const TagAttribute &attribute : tag.attributes) {
        if (!attribute.hasValue)
            continue;
        const bool document = SameName(attribute.name, "srcdoc");
        if (!document && !SameName(attribute.name, "src") && !SameName(attribute.name, "data") &&
            !SameName(attribute.name, "poster"))
            continue;
        const std::string value = TrimmedAddress(valueOf(attribute));
        // A framed document of its own may name local files anywhere inside.
        const bool local = document ? LowerAscii(value).find("file:") != std::string::npos : namesLocalFile(value);
        if (local)
            linkEdits.push_back({attribute.valueBegin, attribute.valueEnd, EncodeAttributeValue("", attribute.quote)});
    }
}

// A picture that one attribute names (the first of those given that is set),
// every one of which then names the stored file.
void FragmentReader::readSinglePicture(const HtmlTag &tag, std::initializer_list<std::string_view> attributes)
{
    Picture picture;
    std::vector<PictureCandidate> candidates;
    for (const std::string_view name : attributes) {
        addSlots(tag, name, false, picture.slots);
        if (candidates.empty())
            addCandidates(tag.find(name), false, candidates);
    }
    if (picture.slots.empty())
        return;
    choose(picture, candidates);
    images.push_back(std::move(picture));
}

// Every url() of style text is a picture of its own (inline data stays as written).
void FragmentReader::readStyle(std::size_t begin, std::size_t end, bool attribute, char quote)
{
    CssBlock block;
    block.begin = begin;
    block.end = end;
    block.attribute = attribute;
    block.quote = quote;
    const std::string_view raw = std::string_view(m_text).substr(begin, end - begin);
    block.text = attribute ? DecodeCharacterReferences(raw) : std::string(raw);
    block.urls = CssUrls(block.text);
    bool pictures = false;
    for (const CssUrl &url : block.urls) {
        Picture picture;
        if (IsUsableCandidate({url.address, {}}))
            choose(picture, {{url.address, {}}});
        block.pictures.push_back(picture.hasChoice ? static_cast<int>(images.size()) : -1);
        if (picture.hasChoice) {
            images.push_back(std::move(picture));
            pictures = true;
        }
    }
    if (pictures)
        cssBlocks.push_back(std::move(block));
}

// A <noscript> copy of a lazy picture would show it twice in the note, which
// runs no scripts: the copy goes.
void FragmentReader::dropNoscriptCopies()
{
    for (const NoscriptImage &copy : m_noscriptImages) {
        Picture &picture = images[copy.picture];
        if (!picture.hasChoice || !m_lazyAddresses.count(picture.address))
            continue;
        picture = Picture();
        noscriptEdits.push_back({copy.begin, copy.end, {}});
        // Nothing inside the removed tag is rewritten any more.
        const auto inside = [&](const auto &item) { return item.begin >= copy.begin && item.begin < copy.end; };
        linkEdits.erase(std::remove_if(linkEdits.begin(), linkEdits.end(), inside), linkEdits.end());
        orphanEdits.erase(std::remove_if(orphanEdits.begin(), orphanEdits.end(), inside), orphanEdits.end());
        for (CssBlock &block : cssBlocks) {
            if (!inside(block))
                continue;
            for (int &owned : block.pictures) {
                if (owned >= 0)
                    images[static_cast<std::size_t>(owned)] = Picture();
                owned = -1;
            }
        }
    }
}

void FragmentReader::closeGroup()
{
    // A <picture> without an img shows nothing; its sources keep no web address.
    neutralise(m_group.slots);
    m_group = PictureGroup();
    m_inGroup = false;
}

void FragmentReader::neutralise(const std::vector<ValueSlot> &slots)
{
    for (const ValueSlot &slot : slots) {
        std::vector<PictureCandidate> found;
        const std::string value =
            DecodeCharacterReferences(std::string_view(m_text).substr(slot.begin, slot.end - slot.begin));
        if (slot.candidates)
            found = SrcsetCandidates(value);
        else
            found.push_back({value, {}});
        if (std::any_of(found.begin(), found.end(), IsUsableCandidate))
            orphanEdits.push_back({slot.begin, slot.end, EncodeAttributeValue("images/", slot.quote)});
    }
}

} // namespace

PageAddress PageAddressOf(const std::string &sourceAddress, std::string_view document)
{
    PageAddress page{sourceAddress, sourceAddress};
    TagScanner scanner(document);
    HtmlTag tag;
    while (scanner.next(tag)) {
        if (tag.closing || !tag.is("base"))
            continue;
        const TagAttribute *href = tag.find("href");
        if (!href || !href->hasValue)
            continue;
        // As a browser does: the first <base> with an href decides.
        const std::string target = TrimmedAddress(
            DecodeCharacterReferences(document.substr(href->valueBegin, href->valueEnd - href->valueBegin)));
        const std::string resolved = BaseAddress(sourceAddress).resolve(target);
        if (!resolved.empty())
            page.base = resolved;
        break;
    }
    return page;
}

std::string LocaliseLinks(const std::string &text, const PageAddress &page)
{
    FragmentReader reader(text, page);
    reader.read();
    return Applied(text, std::move(reader.linkEdits));
}

bool HasWebPictures(const std::string &fragment, const PageAddress &page)
{
    FragmentReader reader(fragment, page);
    reader.read();
    for (const std::vector<Picture> *pictures : {&reader.images, &reader.vmlImages}) {
        for (const Picture &picture : *pictures) {
            if (StartsWith(picture.address, "http://") || StartsWith(picture.address, "https://"))
                return true;
        }
    }
    return false;
}

std::string LocaliseFragment(const std::string &fragment, const PageAddress &page, const CaptureContext &context)
{
    std::string dayFolder = context.dayFolder ? context.dayFolder() : std::string();
    FragmentReader reader(fragment, page);
    reader.read();

    std::vector<Edit> edits = std::move(reader.linkEdits);
    edits.insert(edits.end(), reader.orphanEdits.begin(), reader.orphanEdits.end());
    edits.insert(edits.end(), reader.noscriptEdits.begin(), reader.noscriptEdits.end());
    // Ordinary pictures first, then the picture data of Office documents: the
    // order in which their names are taken.
    PictureStore store(context, page, std::move(dayFolder));
    std::vector<std::string> references;
    store.store(reader.images, edits, references);
    for (const CssBlock &block : reader.cssBlocks)
        AddCssEdit(block, references, edits);
    store.store(reader.vmlImages, edits, references);
    if (context.outcome)
        *context.outcome = store.outcome();
    return Applied(fragment, std::move(edits));
}
