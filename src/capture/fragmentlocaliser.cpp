#include "fragmentlocaliser.h"

#include "addressresolver.h"
#include "capturetext.h"
#include "htmltags.h"
#include "htmltext.h"
#include "pictureaddress.h"
#include "picturechoice.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

// A replacement of text[begin, end); an insertion when both are equal.
struct Edit
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string text;
};

// An attribute value of a picture that will name the stored file.
struct ValueSlot
{
    std::size_t begin = 0;
    std::size_t end = 0;
    char quote = 0;
    bool candidates = false; // a srcset: the file name and the chosen descriptor
};

struct Picture
{
    std::vector<ValueSlot> slots;
    std::size_t nameEnd = 0; // where a missing src is added
    bool needsSource = false;
    bool hasChoice = false;
    PictureCandidate chosen;
    std::string address; // the chosen candidate, absolute; empty when it cannot be resolved
};

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

    std::vector<Edit> linkEdits;    // link targets resolved, <base> elements emptied
    std::vector<Edit> orphanEdits;  // web addresses of sources that belong to no stored picture
    std::vector<Picture> images;    // img elements in document order
    std::vector<Picture> vmlImages; // v:imagedata elements in document order

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
    void choose(Picture &picture, const std::vector<PictureCandidate> &candidates) const;
    void closeGroup();
    void neutralise(const std::vector<ValueSlot> &slots);

    const std::string &m_text;
    BaseAddress m_base;
    const bool m_localPage;
    bool m_inGroup = false;
    PictureGroup m_group;
};

void FragmentReader::read()
{
    TagScanner scanner(m_text);
    HtmlTag tag;
    while (scanner.next(tag)) {
        if (tag.closing) {
            if (tag.is("picture"))
                closeGroup();
        } else if (tag.is("a") || tag.is("area") || tag.is("base")) {
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
        } else {
            readEmbedded(tag);
        }
    }
    closeGroup();
    // A picture with nothing to store keeps no web address that a source of its
    // <picture> named.
    for (const Picture &picture : images) {
        if (!picture.hasChoice)
            neutralise(picture.slots);
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
    const std::string address = TrimmedAddress(picture.chosen.address);
    // Absolute web addresses are taken as the page gave them, which keeps the
    // names of their files; anything else is resolved as a browser would.
    picture.address =
        StartsWith(address, "http://") || StartsWith(address, "https://") ? address : m_base.resolve(address);
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
        const bool local = document ? LowerAscii(value).find("file:") != std::string::npos
                                    : SchemeOf(value) == "file" ||
                                          (SchemeOf(value).empty() && SchemeOf(m_base.resolve(value)) == "file");
        if (local)
            linkEdits.push_back({attribute.valueBegin, attribute.valueEnd, EncodeAttributeValue("", attribute.quote)});
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

// A reference as a srcset holds it: white space and commas there separate the
// candidates, so a name's spaces and commas are escaped (a name never holds "%").
std::string SrcsetAddress(const std::string &reference)
{
    std::string address;
    address.reserve(reference.size());
    for (const char c : reference) {
        if (c == ' ')
            address += "%20";
        else if (c == ',')
            address += "%2C";
        else
            address += c;
    }
    return address;
}

std::string Applied(const std::string &text, std::vector<Edit> edits)
{
    if (edits.empty())
        return text;
    std::stable_sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) { return a.begin < b.begin; });
    std::string output;
    output.reserve(text.size() + text.size() / 8);
    std::size_t copied = 0;
    for (const Edit &edit : edits) {
        if (edit.begin < copied)
            continue; // never happens: the reader gives every value to one owner
        output.append(text, copied, edit.begin - copied);
        output += edit.text;
        copied = edit.end;
    }
    output.append(text, copied, std::string::npos);
    return output;
}

// Stores the pictures of one kind, reserving their names in document order
// first, and adds the edits that point them at their files.
class PictureStore
{
public:
    PictureStore(const CaptureContext &context, const PageAddress &page, std::string dayFolder)
        : m_context(context)
        , m_options(WithDeadline(context.fetch))
        , m_localSource(SchemeOf(TrimmedAddress(page.source)) == "file")
        , m_dayFolder(std::move(dayFolder))
        , m_random(std::random_device{}())
    {
    }

    void store(const std::vector<Picture> &pictures, std::vector<Edit> &edits);
    CaptureOutcome outcome() const { return {m_total, m_stored}; }

private:
    const CaptureContext &m_context;
    const FetchOptions m_options;
    const bool m_localSource;
    const std::string m_dayFolder;
    std::mt19937 m_random;
    int m_done = 0;
    int m_total = 0;
    int m_stored = 0;
};

void PictureStore::store(const std::vector<Picture> &pictures, std::vector<Edit> &edits)
{
    std::vector<PictureJob> jobs;
    std::vector<const Picture *> owners;
    for (const Picture &picture : pictures) {
        if (!picture.hasChoice)
            continue;
        PictureJob job;
        job.address = picture.address;
        const AddressParts parts = SplitAddress(job.address);
        // A local file is copied only for a page that is a local file itself.
        const bool allowed = parts.kind != FileAddress || m_localSource;
        if (allowed && IsFetchable(parts) && !m_dayFolder.empty())
            job.localPath = ReservePictureFile(ImagesFolderOf(m_dayFolder), LocalPictureName(parts), m_random);
        jobs.push_back(std::move(job));
        owners.push_back(&picture);
    }
    if (jobs.empty())
        return;

    m_total += static_cast<int>(jobs.size());
    if (m_context.progress)
        m_context.progress(m_done, m_total);
    const JobFinished finished = [this](std::size_t) {
        ++m_done;
        if (m_context.progress)
            m_context.progress(m_done, m_total);
    };
    if (m_context.storePictures)
        m_context.storePictures(jobs, m_options, finished);
    else
        FetchPictures(jobs, m_options, finished);

    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const PictureJob &job = jobs[i];
        const Picture &picture = *owners[i];
        std::string reference = "images/";
        if (job.stored) {
            reference += job.localPath.substr(job.localPath.rfind('/') + 1);
            ++m_stored;
        } else if (!job.localPath.empty()) {
            // Whoever stored them, a failed picture leaves no reserved file behind.
            std::remove(job.localPath.c_str());
        }
        std::string described = SrcsetAddress(reference);
        if (job.stored && !picture.chosen.descriptor.empty())
            described += " " + picture.chosen.descriptor;
        for (const ValueSlot &slot : picture.slots)
            edits.push_back(
                {slot.begin, slot.end, EncodeAttributeValue(slot.candidates ? described : reference, slot.quote)});
        if (picture.needsSource && job.stored)
            edits.push_back(
                {picture.nameEnd, picture.nameEnd, " src=\"" + EncodeAttributeValue(reference, '"') + "\""});
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
    // Ordinary pictures first, then the picture data of Office documents: the
    // order in which their names are taken.
    PictureStore store(context, page, std::move(dayFolder));
    store.store(reader.images, edits);
    store.store(reader.vmlImages, edits);
    if (context.outcome)
        *context.outcome = store.outcome();
    return Applied(fragment, std::move(edits));
}
