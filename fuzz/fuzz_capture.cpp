// libFuzzer target for the capture core: ParseClip with its three localisation
// passes, the link pass alone, address splitting and naming, and the note file
// rewrite. Pictures never go to the network: a stand-in storer writes a tiny
// file for every other picture and fails the rest.

#include "capturetext.h"
#include "clipparser.h"
#include "fragmentlocaliser.h"
#include "noterelativiser.h"
#include "pictureaddress.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
    Check(parts.sourceAddress.size() <= input.size() && parts.title.size() <= input.size(), "pieces of the text");
    lastDone = -1;
    ParseClip(PrepareClipText(input), context);

    // Without bases a link target has nothing to be resolved against.
    Check(LocaliseLinks(input, "", "") == input, "links without bases stay as they are");
    LocaliseLinks(input, "http://h", "http://h/d/");

    const AddressParts address = SplitAddress(input);
    const PictureName name = LocalPictureName(address);
    Check(name.stem.find_first_of("/\\*?|:\"<>") == std::string::npos, "stem holds no forbidden character");
    Check(name.extension.find('/') == std::string::npos, "extension stays in the images folder");

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
