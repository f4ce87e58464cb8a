// libFuzzer target for the capture core: ParseClip with its link and picture
// localisation, the tag reader and attribute values, the CSS url() reader,
// address resolution,
// responsive picture choice, picture names and the note file rewrite. Pictures
// never go to the network: a stand-in storer writes a tiny file for every other
// picture and fails the rest.

#include "addressresolver.h"
#include "capturetext.h"
#include "clipparser.h"
#include "cssurls.h"
#include "fragmentlocaliser.h"
#include "htmltags.h"
#include "htmltext.h"
#include "noterelativiser.h"
#include "pictureaddress.h"
#include "picturechoice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace {

std::string g_dayFolder;
std::size_t g_storedPictures = 0;

void StoreEveryOther(std::vector<PictureJob> &jobs, const FetchOptions &, const JobFinished &finished)
{
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (!jobs[i].localPath.empty() && i % 2 == 0) {
            if (FILE *file = std::fopen(jobs[i].localPath.c_str(), "wb")) {
                std::fputs("GIF89a", file);
                jobs[i].stored = std::fclose(file) == 0;
                g_storedPictures += jobs[i].stored ? 1 : 0;
            }
        }
        if (finished)
            finished(i);
    }
}

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

void RemoveDayFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_dayFolder, ignored);
}

// An address a localised picture may still name: its stored file, the failure
// form "images/", an inline picture, or nothing.
bool StaysInTheNote(const std::string &address)
{
    const std::string trimmed = TrimmedAddress(address);
    return trimmed.empty() || StartsWith(trimmed, "images/") || SchemeOf(trimmed) == "data";
}

// After a capture no picture, srcset or <source> names anything outside the note.
void CheckPicturesStayInTheNote(const std::string &localised)
{
    TagScanner scanner(localised);
    HtmlTag tag;
    while (scanner.next(tag)) {
        if (tag.closing)
            continue;
        if (const TagAttribute *style = tag.find("style"); style && style->hasValue) {
            const std::string css = DecodeCharacterReferences(
                std::string_view(localised).substr(style->valueBegin, style->valueEnd - style->valueBegin));
            for (const CssUrl &url : CssUrls(css))
                Check(StaysInTheNote(url.address), "a style's url() names a stored file only");
        }
        if (tag.is("video") || tag.is("image")) {
            for (const TagAttribute &attribute : tag.attributes) {
                const bool picture = tag.is("video")
                                         ? SameName(attribute.name, "poster")
                                         : SameName(attribute.name, "href") || SameName(attribute.name, "xlink:href");
                if (picture && attribute.hasValue)
                    Check(StaysInTheNote(DecodeCharacterReferences(std::string_view(localised).substr(
                              attribute.valueBegin, attribute.valueEnd - attribute.valueBegin))),
                          "a poster or SVG picture names a stored file only");
            }
            continue;
        }
        const bool image = tag.is("img");
        if (!image && !tag.is("source") && !tag.is("v:imagedata"))
            continue;
        for (const TagAttribute &attribute : tag.attributes) {
            if (!attribute.hasValue)
                continue;
            const std::string value = DecodeCharacterReferences(
                std::string_view(localised).substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
            if ((image || tag.is("source")) &&
                (SameName(attribute.name, "srcset") || SameName(attribute.name, "data-srcset"))) {
                for (const PictureCandidate &candidate : SrcsetCandidates(value))
                    Check(StaysInTheNote(candidate.address), "srcset names a stored file only");
            } else if ((image && SameName(attribute.name, "data-src")) ||
                       (!tag.is("source") && SameName(attribute.name, "src"))) {
                Check(StaysInTheNote(value), "picture names a stored file only");
            }
        }
    }
}

// An encoded value reads back, in every quoting, as the value itself.
void CheckAttributeRoundTrip(const std::string &value)
{
    for (const char quote : {'"', '\'', '\0'}) {
        const std::string quoteText = quote ? std::string(1, quote) : std::string();
        const std::string markup =
            "<img alt=" + quoteText + EncodeAttributeValue(value, quote) + quoteText + " title=t>";
        TagScanner scanner(markup);
        HtmlTag tag;
        Check(scanner.next(tag) && tag.is("img"), "an encoded value keeps the tag whole");
        const TagAttribute *alt = tag.find("alt");
        Check(alt && alt->hasValue, "an encoded value stays the attribute's value");
        Check(DecodeCharacterReferences(
                  std::string_view(markup).substr(alt->valueBegin, alt->valueEnd - alt->valueBegin)) == value,
              "an encoded value reads back as itself");
        const TagAttribute *title = tag.find("title");
        Check(title && title->valueEnd - title->valueBegin == 1 && markup[title->valueBegin] == 't',
              "an encoded value leaves the next attribute alone");
    }
}

void CheckNames(const std::string &input)
{
    const PictureName name = LocalPictureName(SplitAddress(input));
    for (const std::string *piece : {&name.stem, &name.extension}) {
        Check(piece->find_first_of("/\\*?|:\"<>%#&") == std::string::npos, "name holds no forbidden character");
        Check(IsValidUtf8(*piece), "name is UTF-8");
        for (const char c : *piece)
            Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "name holds no control character");
    }
    // Long names are shortened to fit, keeping their extension.
    static std::mt19937 random(1);
    const std::string path = ReservePictureFile(ImagesFolderOf(g_dayFolder), name, random);
    if (!path.empty()) {
        const std::string fileName = path.substr(path.rfind('/') + 1);
        Check(fileName.size() <= 255, "name fits the file system");
        Check(fileName.size() >= name.extension.size() &&
                  fileName.compare(fileName.size() - name.extension.size(), std::string::npos, name.extension) == 0,
              "name keeps its extension");
        ::unlink(path.c_str());
    }
}

// The url()s found lie inside the text in order, each a function; an
// address written back by CssUrlText reads back as itself.
void CheckCssUrls(const std::string &input)
{
    std::size_t previousEnd = 0;
    for (const CssUrl &url : CssUrls(input)) {
        Check(url.begin >= previousEnd && url.begin + 5 <= url.end && url.end <= input.size(), "url()s in order");
        // The name may be escaped ("u\72l("), so only its parenthesis is sure.
        Check(input.find('(', url.begin) < url.end - 1 && input[url.end - 1] == ')', "a url() is spelled so");
        previousEnd = url.end;
        if (url.address.find_first_of("\"\\\n\r\f") != std::string::npos)
            continue;
        const std::vector<CssUrl> again = CssUrls(CssUrlText(url.address));
        Check(again.size() == 1 && again[0].address == url.address, "a written url() reads back");
    }
}

void CheckTitle(const std::string &input)
{
    const std::string title = CleanTitle(input);
    Check(IsValidUtf8(title), "title is UTF-8");
    Check(title.find("  ") == std::string::npos, "title has no runs of spaces");
    Check(title.empty() || (title.front() != ' ' && title.back() != ' '), "title is trimmed");
    for (const char c : title)
        Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "title holds no control character");
    Check(title.find("\xEF\xBF\xBC") == std::string::npos, "title holds no object replacement character");
}

void CheckResolution(const std::string &input)
{
    const std::size_t half = input.size() / 2;
    const std::string base = input.substr(0, half);
    const std::string reference = input.substr(half);
    for (const std::string &page : {base, std::string("http://h/d/p.html?q#f"), std::string("file:///d/p.html")}) {
        const std::string resolved = BaseAddress(page).resolve(reference);
        Check(resolved.empty() || !SchemeOf(resolved).empty(), "a resolved address is absolute");
        Check(resolved.find_first_of(" \t\r\n") == std::string::npos, "a resolved address holds no white space");
    }
    const std::vector<PictureCandidate> candidates = SrcsetCandidates(input);
    const int sharpest = SharpestCandidate(candidates);
    Check(sharpest >= -1 && sharpest < static_cast<int>(candidates.size()), "the chosen candidate is one of them");
    Check(candidates.empty() == (sharpest < 0), "a candidate is chosen when there is one");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every input makes and removes files: in memory that costs far less than on disk.
    std::string folder =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm/clipnest-fuzz-XXXXXX" : "/tmp/clipnest-fuzz-XXXXXX";
    if (!mkdtemp(folder.data()))
        std::abort();
    g_dayFolder = folder;
    std::filesystem::create_directory(g_dayFolder + "/images");
    std::atexit(RemoveDayFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);

    CaptureContext context;
    context.dayFolder = [] { return g_dayFolder; };
    context.storePictures = StoreEveryOther;
    int lastDone = -1;
    context.progress = [&lastDone](int done, int total) {
        Check(done >= 0 && done <= total && done >= lastDone, "progress counts");
        lastDone = done;
    };

    const ClipParts parts = ParseClip(input, context);
    Check(parts.sourceAddress.size() <= input.size(), "source is a piece of the text");
    lastDone = -1;
    ParseClip(PrepareClipText(input), context);

    for (const std::string &page : {std::string("http://h/d/p.html"), std::string("file:///d/p.html")}) {
        lastDone = -1;
        CheckPicturesStayInTheNote(LocaliseFragment(input, PageAddress{page, page}, context));
    }

    // Without a page address a link target has nothing to be resolved against;
    // only references to local files are emptied, base or not.
    const std::string lower = LowerAscii(input);
    Check(lower.find("<base") != std::string::npos || lower.find("file:") != std::string::npos ||
              LocaliseLinks(input, PageAddress{}) == input,
          "links without a base stay as they are");
    LocaliseLinks(input, PageAddress{"http://h/d/p.html", "http://h/d/p.html"});

    CheckAttributeRoundTrip(input);
    CheckNames(input);
    CheckCssUrls(input);
    CheckTitle(input);
    CheckResolution(input);

    Check(LowerAscii(input).find("file://") != std::string::npos || RelativiseNoteText(input, "/n/") == input,
          "text without a file address stays as it is");
    RelativiseNoteText(input, "/tmp/a b/");

    // Only stored pictures stay on disk: no reserved file of a failed one is left.
    std::error_code ignored;
    std::size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(g_dayFolder + "/images", ignored)) {
        std::filesystem::remove(entry.path(), ignored);
        ++files;
    }
    Check(files == g_storedPictures, "no file but the stored pictures");
    g_storedPictures = 0;
    return 0;
}
