#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The url(…) references of style text, read as a browser's CSS tokenizer reads
// them, so that the pictures a page's styles show can be stored with the note.

struct CssUrl
{
    std::size_t begin = 0; // the "u" of url(
    std::size_t end = 0;   // one past the ")"
    std::string address;   // escapes decoded, white space around it dropped
};

// Every url(…) of the text in order, quoted ("…", '…') or not, with any letter
// case of "url". Comments and strings are passed over, so are the url() of
// @import rules (style sheets, not pictures) and malformed ones (a quote or
// white space inside an unquoted address, an unclosed string or parenthesis).
std::vector<CssUrl> CssUrls(std::string_view css);

// url("address") as style text holds it; the address must hold no double quote,
// backslash or line break (the names of stored pictures never do).
std::string CssUrlText(std::string_view address);
