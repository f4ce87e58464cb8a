#pragma once

#include "picturefetcher.h"

#include <functional>
#include <string>
#include <string_view>
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

// How many pictures a capture found and how many it stored.
struct CaptureOutcome
{
    int pictures = 0;
    int stored = 0;
};

// What capturing needs from outside the text.
struct CaptureContext
{
    DayFolderProvider dayFolder;
    FetchOptions fetch;
    ProgressCallback progress;
    PictureStorer storePictures;
    CaptureOutcome *outcome = nullptr; // filled in when given
};

// Where a fragment came from.
struct PageAddress
{
    // The page's own address, or empty. Local files are copied into a note only
    // when this is a local file itself: a web page never reaches them.
    std::string source;
    // What relative references resolve against: the page, or its <base href>.
    std::string base;
};

// The page address of a document: its source, and as base the href of its
// first <base> element resolved against the source (the source itself when
// there is none).
PageAddress PageAddressOf(const std::string &sourceAddress, std::string_view document);

// Makes a page fragment stand on its own. Link targets (a and area href) are
// resolved against the page's base as a browser resolves them; links that name
// a scheme stay as written. Every picture (img, the sources of its <picture>,
// v:imagedata) is stored once, in the day folder's "images" folder: the lazy
// address (data-src, data-srcset) over a placeholder src, the sharpest srcset
// candidate over the others. Every src, srcset and data-src of the picture then
// names the stored file ("images/" + the file name, "images/" alone when it
// could not be stored), and <base> elements no longer move the note's own
// references. Everything else is copied byte for byte. Asks for the day folder
// once, pictures or not.
std::string LocaliseFragment(const std::string &fragment, const PageAddress &page, const CaptureContext &context);

// The links alone, resolved; nothing is fetched.
std::string LocaliseLinks(const std::string &text, const PageAddress &page);

// Whether the fragment has a picture that would be downloaded from the web.
bool HasWebPictures(const std::string &fragment, const PageAddress &page);
