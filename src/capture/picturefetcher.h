#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The User-Agent every request for a page's pictures and style sheets names:
// that of a current Firefox on Linux, since some servers refuse older browsers.
const char *BrowserUserAgent();

// Limits of one picture download; the defaults suit the program, tests shorten them.
struct FetchOptions
{
    long connectTimeoutMs = 10'000;
    long totalTimeoutMs = 30'000;
    long long maxBytes = 20LL * 1024 * 1024;
    long maxRedirects = 5;
    // Pictures fetched at the same time; 1 fetches them one after another.
    int maxParallel = 8;
    // The whole capture, every picture together (0: no limit). When it is over,
    // the pictures not stored yet fail, so a slow server cannot hold a drop up.
    long captureTimeoutMs = 90'000;
    // When the capture ends; set from captureTimeoutMs as the capture starts
    // unless given.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    // Asked while pictures are fetched, from the fetching thread; true ends the
    // capture, and the pictures not stored yet fail.
    std::function<bool()> cancelled;
    // The page the pictures belong to, sent as Referer (servers that refuse
    // pictures shown on other sites look at it); empty sends none.
    std::string referer;
};

// The options with the capture's deadline fixed from now, unless already set.
FetchOptions WithDeadline(FetchOptions options);
// Whether the capture of these options was cancelled or is past its deadline.
bool CaptureEnded(const FetchOptions &options);

// One picture of a fragment: where it comes from and the file reserved for it.
struct PictureJob
{
    std::string address;
    std::string localPath; // the reserved (empty) file; empty when the picture cannot be stored
    bool stored = false;   // the file holds the picture
    // The reserved name has no extension: once stored, the file is renamed to
    // take the one its Content-Type names, and localPath follows.
    bool extensionFromType = false;
};

// The Referer of a page's pictures: its address without fragment and
// credentials, as a browser sends it; empty for a page that is no web page.
std::string RefererOf(const std::string &pageAddress);

// Called once per job when it has ended, well or not, with the job's index.
using JobFinished = std::function<void(std::size_t job)>;

// Fills each job's reserved file: web addresses (http and https only) are
// downloaded, file addresses copied (regular files only, never with wider
// permissions than the original), up to options.maxParallel at a time. A
// picture counts only when it arrives whole with a 2xx status within the
// limits and every write succeeded; a job that fails, or is not done when the
// capture is cancelled or its deadline passes, has its file removed. Runs on
// the calling thread.
void FetchPictures(std::vector<PictureJob> &jobs, const FetchOptions &options, const JobFinished &finished = {});

// Stores one picture in dayFolder's "images" folder (dayFolder has no trailing
// "/") and returns the full local path, or empty when nothing was stored.
std::string FetchPicture(const std::string &address, const std::string &dayFolder, const FetchOptions &options = {});
