#pragma once

#include "picturefetcher.h"

#include <functional>
#include <string>
#include <vector>

// Pictures done so far and pictures found; may be called from any thread. The
// total grows once if picture data of Office documents (VML) turns up after the
// ordinary pictures.
using ProgressCallback = std::function<void(int done, int total)>;
// The current day folder without trailing "/", made on demand (the note file store's NewNoteLocation).
using DayFolderProvider = std::function<std::string()>;
// Fills the reserved files of the jobs and marks those stored, calling finished
// for each; FetchPictures unless a test or the fuzzer puts its own in.
using PictureStorer =
    std::function<void(std::vector<PictureJob> &jobs, const FetchOptions &options, const JobFinished &finished)>;

// What capturing needs from outside the text.
struct CaptureContext
{
    DayFolderProvider dayFolder;
    FetchOptions fetch;
    ProgressCallback progress;
    PictureStorer storePictures;
};

// Makes a page fragment stand on its own: relative link targets become absolute
// against the host base ("/…") or the folder base (anything else), and every
// picture is stored in the day folder's "images" folder with its reference
// rewritten to "images/" + the local file name ("images/" alone when it could
// not be stored). Asks for the day folder once, pictures or not.
std::string LocaliseFragment(const std::string &fragment, const std::string &hostBase, const std::string &folderBase,
                             const CaptureContext &context);

// The first pass alone: link targets made absolute; nothing is fetched.
std::string LocaliseLinks(const std::string &text, const std::string &hostBase, const std::string &folderBase);
