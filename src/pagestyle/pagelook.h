#pragma once

#include "picturefetcher.h"

#include <string>
#include <vector>

// What gives a page its look, as the page's own markup names it.
struct PageLookSources
{
    struct Sheet
    {
        bool linked = false; // a <link rel=stylesheet>: text is its absolute address
        std::string text;    // else the content of a <style> element
        std::string media;   // the element's media attribute, or empty
    };
    std::string title; // the first <title>'s text, references decoded, or empty
    std::string base;  // what the page's relative addresses resolve against
    std::vector<Sheet> sheets;
};

// Reads a page's markup (its charset from contentType, else from the page):
// its title and its style sheets in document order. Alternate and disabled
// sheets are left out.
PageLookSources LookSourcesOf(const std::string &html, const std::string &pageAddress, const std::string &contentType);

// A page's title and the text of its style sheets, each made to stand on its
// own (imports in place, addresses absolute) and wrapped in @media where the
// page gave them media.
struct PageLook
{
    bool read = false; // the page itself could be read
    std::string title;
    std::vector<std::string> sheets;
    std::string address;     // where the page was read at last (after redirects)
    std::string contentType; // the page's Content-Type
    std::string html;        // the page's own markup
};

// Reads the page at an http or https address and the sheets it links, with
// the options' limits, each request naming the page as Referer. Sheets that
// cannot be read are left out; a page that cannot be read gives nothing, and
// so does one whose text does not hold the beginning of mustShow's text, when
// mustShow is given.
PageLook ReadPageLook(const std::string &pageAddress, const FetchOptions &options,
                      const std::string &mustShow = std::string());

// The page a fragment was selected from, as the fragment's own links tell it
// where the browser did not: a browser writes a link to a place on the same
// page ("#part") as the page's address with that place. The address that most
// of the fragment's http and https links with a place name, or empty.
std::string PageAddressFromLinks(const std::string &fragment);

// Whether the page's text holds the beginning of the fragment's text (the
// first 80 characters or so), white space folded.
bool PageShowsFragment(const std::string &pageHtml, const std::string &contentType, const std::string &fragment);
