#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Evernote's note markup (ENML, an XHTML dialect) turned into the body of a
// note file. Plain C++ on UTF-8 text, so that it can be fuzzed. The result is
// safe to show: scripts, frames, plug-ins and event handlers are gone, and links
// and picture addresses lead only to the web or inside the note's own folder.

// What an <en-media hash=…> stands for once its resource is stored.
struct EnmlMedia
{
    bool picture = false;  // shown in place; otherwise an attachment
    std::string reference; // a picture: its address relative to the note ("images/…")
    std::string name;      // an attachment: the stored copy's name, shown in the note
};

// A link to another note of the same export (evernote:///view/…).
struct EnmlNoteLink
{
    std::string guid; // the linked note's guid, in lower case
    std::string text; // the link's text, as a title would be cleaned
};

struct EnmlConversion
{
    std::string html;                       // the body's content
    std::vector<std::string> usedHashes;    // resources shown, in lower case, once each
    std::vector<std::string> missingHashes; // en-media whose resource is not there
    std::vector<EnmlNoteLink> noteLinks;
    bool broken = false; // no <en-note> element, or one never closed
};

// The stored resource of a hash (lower-case hex), or null when there is none.
using EnmlMediaLookup = std::function<const EnmlMedia *(const std::string &hash)>;

EnmlConversion ConvertEnml(std::string_view enml, const EnmlMediaLookup &lookup);

// The note's guid an evernote:///view/… address names, in lower case; empty
// for any other address.
std::string NoteLinkGuid(std::string_view address);

// The body with each link to another note pointed at the address the lookup
// answers for it (guid and link text); a link it answers empty for stays.
std::string RelinkNotes(std::string_view html, const std::function<std::string(const EnmlNoteLink &link)> &addressOf);

// Text made fit to stand in HTML as text: &, < and > escaped.
std::string EscapeHtmlText(std::string_view text);

// The text with every byte that is not part of well-formed UTF-8 replaced by U+FFFD.
std::string RepairedUtf8(std::string_view text);
