#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Pages of a Zim notebook (Zim's wiki syntax) turned into the body of a note
// file: headings, bold, italic, strike, highlight, verbatim, bullet, numbered
// and checkbox lists, links and pictures. Anything else stays as text, so
// nothing is lost; the result holds no markup the page did not ask for.
// Plain C++ on UTF-8 text, so that it can be fuzzed.

struct ZimPageText
{
    std::vector<std::pair<std::string, std::string>> headers; // "Creation-Date" → "2023-01-05T10:15:00+01:00"
    std::string_view body;
};

// Splits off the header lines a page file begins with (up to an empty line).
ZimPageText SplitZimHeaders(std::string_view text);

enum class ZimReference {
    Page,    // [[Page]], [[+Sub]], [[:Top:Page]], [[Page#anchor]]: the link as written
    File,    // [[./file.pdf]]: the path as written
    Picture, // {{./pic.png}}: the path as written, without "?width=…"
};

// The address in the note of what the page refers to; empty when there is
// none, and the link or picture stays as its text.
using ZimAddressOf = std::function<std::string(ZimReference kind, const std::string &target)>;

std::string ConvertZimWiki(std::string_view wiki, const ZimAddressOf &addressOf);
