#include "picturestore.h"

#include "addressresolver.h"
#include "htmltext.h"
#include "pictureaddress.h"

#include <algorithm>
#include <cstdio>

namespace {

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

// The fetch options of a capture: its deadline fixed, and the page as Referer
// unless the caller named one.
FetchOptions CaptureOptions(const CaptureContext &context, const PageAddress &page)
{
    FetchOptions options = WithDeadline(context.fetch);
    if (options.referer.empty())
        options.referer = RefererOf(TrimmedAddress(page.source));
    return options;
}

} // namespace

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

PictureStore::PictureStore(const CaptureContext &context, const PageAddress &page, std::string dayFolder)
    : m_context(context)
    , m_options(CaptureOptions(context, page))
    , m_localSource(SchemeOf(TrimmedAddress(page.source)) == "file")
    , m_dayFolder(std::move(dayFolder))
    , m_random(std::random_device{}())
{
}

void PictureStore::store(const std::vector<Picture> &pictures, std::vector<Edit> &edits,
                         std::vector<std::string> &references)
{
    std::vector<PictureJob> jobs;
    std::map<std::string, std::size_t> jobOf; // address to its job in this batch
    for (const Picture &picture : pictures) {
        if (!picture.hasChoice || m_referenceOf.count(picture.address) || jobOf.count(picture.address))
            continue;
        PictureJob job;
        job.address = picture.address;
        const AddressParts parts = SplitAddress(job.address);
        // A local file is copied only for a page that is a local file itself.
        const bool allowed = parts.kind != FileAddress || m_localSource;
        if (allowed && IsFetchable(parts) && !m_dayFolder.empty()) {
            const PictureName name = LocalPictureName(parts);
            job.localPath = ReservePictureFile(ImagesFolderOf(m_dayFolder), name, m_random);
            job.extensionFromType = name.extension.empty();
        }
        jobOf.emplace(job.address, jobs.size());
        jobs.push_back(std::move(job));
    }

    if (!jobs.empty()) {
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
    }
    for (const PictureJob &job : jobs) {
        std::string reference = "images/";
        if (job.stored) {
            reference += job.localPath.substr(job.localPath.rfind('/') + 1);
            ++m_stored;
        } else if (!job.localPath.empty()) {
            // Whoever stored them, a failed picture leaves no reserved file behind.
            std::remove(job.localPath.c_str());
        }
        m_referenceOf.emplace(job.address, std::move(reference));
    }

    references.assign(pictures.size(), std::string());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const Picture &picture = pictures[i];
        if (!picture.hasChoice)
            continue;
        const std::string &reference = m_referenceOf[picture.address];
        const bool stored = reference != "images/";
        references[i] = reference;
        std::string described = SrcsetAddress(reference);
        if (stored && !picture.chosen.descriptor.empty())
            described += " " + picture.chosen.descriptor;
        for (const ValueSlot &slot : picture.slots)
            edits.push_back(
                {slot.begin, slot.end, EncodeAttributeValue(slot.candidates ? described : reference, slot.quote)});
        if (picture.needsSource && stored)
            edits.push_back(
                {picture.nameEnd, picture.nameEnd, " src=\"" + EncodeAttributeValue(reference, '"') + "\""});
    }
}

void AddCssEdit(const CssBlock &block, const std::vector<std::string> &references, std::vector<Edit> &edits)
{
    std::string text;
    std::size_t copied = 0;
    bool changed = false;
    for (std::size_t i = 0; i < block.urls.size(); ++i) {
        const int picture = block.pictures[i];
        if (picture < 0 || references[static_cast<std::size_t>(picture)].empty())
            continue;
        const CssUrl &url = block.urls[i];
        text.append(block.text, copied, url.begin - copied);
        text += CssUrlText(references[static_cast<std::size_t>(picture)]);
        copied = url.end;
        changed = true;
    }
    if (!changed)
        return;
    text.append(block.text, copied, std::string::npos);
    edits.push_back({block.begin, block.end, block.attribute ? EncodeAttributeValue(text, block.quote) : text});
}
