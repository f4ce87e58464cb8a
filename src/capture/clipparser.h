#pragma once

#include "fragmentlocaliser.h"

#include <string>
#include <string_view>

// What a dropped page selection gives a new note.
struct ClipParts
{
    std::string sourceAddress; // the page's address, or empty
    std::string title;         // the page title, or empty
    std::string body;          // the body element, localised
};

// Dropped "HTML Format" bytes made into clip text: cut at the first zero byte,
// and every no-break space (C2 A0) made an ordinary space. UTF-8 stays UTF-8.
std::string PrepareClipText(std::string_view bytes);

// The source address the clip's header names ("SourceURL:"), or empty.
std::string SourceAddressOf(const std::string &clipText);

// Finds the source address in the header, cuts out the body element by its
// markers and localises it (LocaliseFragment), then finds the title (cleaned
// with CleanTitle). Works by exact marker search; blocks until every picture
// has been fetched or the capture ended.
ClipParts ParseClip(const std::string &clipText, const CaptureContext &context);
