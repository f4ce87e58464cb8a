#include "fragmentlocaliser.h"

#include "capturetext.h"
#include "pictureaddress.h"

#include <array>
#include <cstdio>
#include <random>
#include <string_view>

namespace {

struct PassMarkers
{
    std::string_view opener;     // lower case, with its trailing space
    std::string_view elementEnd; // lower case
    std::string_view lowerAttribute;
    std::string_view upperAttribute;
    std::array<std::string_view, 6> absolutePrefixes;
};

constexpr PassMarkers LinkPass{
    "<a ", "</a>", "href=\"", "HREF=\"", {"http://", "https://", "HTTP://", "HTTPS://", "", ""}};
constexpr PassMarkers PicturePass{
    "<img ", ">", "src=\"", "SRC=\"", {"http://", "https://", "HTTP://", "HTTPS://", "file://", "FILE://"}};
constexpr PassMarkers VmlPicturePass{
    "<v:imagedata ", ">", "src=\"", "SRC=\"", {"http://", "https://", "file:///", "HTTP://", "HTTPS://", "FILE:///"}};

// One element found by a pass, as 0-based offsets into the pass's input.
struct Element
{
    std::size_t begin = 0;
    std::size_t end = 0; // one past the element end marker
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
    bool hasValue = false;
};

// Finds the pass's elements in order. The opener and the element end are
// searched in a lower-case copy; the attribute in the element as written.
std::vector<Element> FindElements(const std::string &input, const PassMarkers &markers)
{
    const std::string lower = LowerAscii(input);
    std::vector<Element> elements;
    std::size_t scan = 0;
    for (;;) {
        const std::size_t opener = lower.find(markers.opener, scan);
        if (opener == std::string::npos)
            break;
        // Searched from the opener, also for links: a stray "</a>" before the
        // opener would otherwise give an empty element and copy text twice.
        const std::size_t endMarker = lower.find(markers.elementEnd, opener);
        // No end: the rest of the text stays as it is.
        if (endMarker == std::string::npos)
            break;

        Element element;
        element.begin = opener;
        element.end = endMarker + markers.elementEnd.size();
        const std::string_view text(input.data() + element.begin, element.end - element.begin);
        std::size_t attribute = text.find(markers.lowerAttribute);
        if (attribute == std::string_view::npos)
            attribute = text.find(markers.upperAttribute);
        if (attribute != std::string_view::npos) {
            const std::size_t valueBegin = attribute + markers.lowerAttribute.size();
            const std::size_t closingQuote = text.find('"', valueBegin);
            // An empty value or one whose quote is not closed inside the element is left alone.
            if (closingQuote != std::string_view::npos && closingQuote > valueBegin) {
                element.hasValue = true;
                element.valueBegin = element.begin + valueBegin;
                element.valueEnd = element.begin + closingQuote;
            }
        }
        elements.push_back(element);
        scan = element.end;
    }
    return elements;
}

bool IsAbsolute(std::string_view value, const PassMarkers &markers)
{
    for (const std::string_view prefix : markers.absolutePrefixes) {
        if (!prefix.empty() && StartsWith(value, prefix))
            return true;
    }
    return false;
}

std::string Resolve(const std::string &value, const std::string &hostBase, const std::string &folderBase)
{
    const std::string &base = StartsWith(value, "/") ? hostBase : folderBase;
    return base + value;
}

// The address a pass works with: the value itself when absolute, else resolved.
std::string TargetOf(const std::string &input, const Element &element, const PassMarkers &markers,
                     const std::string &hostBase, const std::string &folderBase)
{
    std::string value = input.substr(element.valueBegin, element.valueEnd - element.valueBegin);
    return IsAbsolute(value, markers) ? value : Resolve(value, hostBase, folderBase);
}

// Copies the input with the value of each element that has a replacement put in.
std::string Rewrite(const std::string &input, const std::vector<Element> &elements,
                    const std::vector<const std::string *> &replacements)
{
    std::string output;
    output.reserve(input.size() + input.size() / 8);
    std::size_t copied = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!replacements[i])
            continue;
        output.append(input, copied, elements[i].valueBegin - copied);
        output += *replacements[i];
        copied = elements[i].valueEnd;
    }
    output.append(input, copied, std::string::npos);
    return output;
}

std::string WithoutEscapedAmpersands(const std::string &address)
{
    std::string plain;
    plain.reserve(address.size());
    for (std::size_t i = 0; i < address.size(); ++i) {
        plain += address[i];
        if (address.compare(i, 5, "&amp;") == 0)
            i += 4;
    }
    return plain;
}

class PictureLocaliser
{
public:
    PictureLocaliser(const CaptureContext &context, std::string dayFolder)
        : m_context(context)
        , m_dayFolder(std::move(dayFolder))
        , m_random(std::random_device{}())
    {
    }

    std::string run(const std::string &input, const PassMarkers &markers, const std::string &hostBase,
                    const std::string &folderBase);

private:
    const CaptureContext &m_context;
    std::string m_dayFolder;
    std::mt19937 m_random;
    int m_done = 0;
    int m_total = 0;
};

// Scans first, reserves the file names in document order, then fetches (several
// at a time) and rewrites: the names come out as if fetched one after another.
std::string PictureLocaliser::run(const std::string &input, const PassMarkers &markers, const std::string &hostBase,
                                  const std::string &folderBase)
{
    const std::vector<Element> elements = FindElements(input, markers);
    std::vector<PictureJob> jobs;
    std::vector<std::size_t> jobOfElement(elements.size(), SIZE_MAX);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!elements[i].hasValue)
            continue;
        // A picture carried in the address itself is already offline; fetching it
        // is impossible and would lose it.
        if (LowerAscii(std::string_view(input).substr(
                elements[i].valueBegin, std::min<std::size_t>(5, elements[i].valueEnd - elements[i].valueBegin))) ==
            "data:")
            continue;
        PictureJob job;
        job.address = TargetOf(input, elements[i], markers, hostBase, folderBase);
        // The markup escapes "&" in attribute values; the server is asked for the address itself.
        job.address = WithoutEscapedAmpersands(job.address);
        const AddressParts parts = SplitAddress(job.address);
        if (IsFetchable(parts) && !m_dayFolder.empty())
            job.localPath = ReservePictureFile(ImagesFolderOf(m_dayFolder), LocalPictureName(parts), m_random);
        jobOfElement[i] = jobs.size();
        jobs.push_back(std::move(job));
    }
    if (jobs.empty())
        return input;

    m_total += static_cast<int>(jobs.size());
    if (m_context.progress)
        m_context.progress(m_done, m_total);
    const JobFinished finished = [this](std::size_t) {
        ++m_done;
        if (m_context.progress)
            m_context.progress(m_done, m_total);
    };
    if (m_context.storePictures)
        m_context.storePictures(jobs, m_context.fetch, finished);
    else
        FetchPictures(jobs, m_context.fetch, finished);

    std::vector<std::string> references;
    references.reserve(jobs.size());
    for (const PictureJob &job : jobs) {
        std::string reference = "images/";
        if (job.stored)
            reference += job.localPath.substr(job.localPath.rfind('/') + 1);
        // Whoever stored them, a failed picture leaves no reserved file behind.
        else if (!job.localPath.empty())
            std::remove(job.localPath.c_str());
        references.push_back(std::move(reference));
    }
    std::vector<const std::string *> replacements(elements.size(), nullptr);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (jobOfElement[i] != SIZE_MAX)
            replacements[i] = &references[jobOfElement[i]];
    }
    return Rewrite(input, elements, replacements);
}

} // namespace

std::string LocaliseLinks(const std::string &text, const std::string &hostBase, const std::string &folderBase)
{
    const std::vector<Element> elements = FindElements(text, LinkPass);
    std::vector<std::string> targets(elements.size());
    std::vector<const std::string *> replacements(elements.size(), nullptr);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (!elements[i].hasValue)
            continue;
        targets[i] = TargetOf(text, elements[i], LinkPass, hostBase, folderBase);
        replacements[i] = &targets[i];
    }
    return Rewrite(text, elements, replacements);
}

std::string LocaliseFragment(const std::string &fragment, const std::string &hostBase, const std::string &folderBase,
                             const CaptureContext &context)
{
    std::string dayFolder = context.dayFolder ? context.dayFolder() : std::string();
    PictureLocaliser pictures(context, std::move(dayFolder));
    const std::string linked = LocaliseLinks(fragment, hostBase, folderBase);
    const std::string pictured = pictures.run(linked, PicturePass, hostBase, folderBase);
    return pictures.run(pictured, VmlPicturePass, hostBase, folderBase);
}
