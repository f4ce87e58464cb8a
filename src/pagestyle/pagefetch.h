#pragma once

#include "picturefetcher.h"

#include <string>

// One web page or style sheet read into memory, under the limits pictures have.
struct FetchedText
{
    bool ok = false;
    std::string address;     // where it was read from at last (after redirects)
    std::string contentType; // the server's Content-Type, or empty
    std::string body;
};

// Reads an http or https address with the options' time-outs, size and
// redirect limits, sending referer (when not empty) and the browser's
// User-Agent. Only a whole 2xx answer counts. The capture's deadline bounds
// the request too; a cancelled or ended capture reads nothing.
FetchedText FetchText(const std::string &address, const std::string &referer, const FetchOptions &options);
