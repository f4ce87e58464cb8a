#pragma once

#include <string>
#include <string_view>

// Text inside markup: character references, attribute values and titles (UTF-8).

// An attribute value or title as a browser reads it: numeric references and
// every named one of HTML (with its semicolon) decoded; anything else stays as
// written.
std::string DecodeCharacterReferences(std::string_view text);

// A value made fit to stand between the given quotes ('"', '\'', or 0 for an
// unquoted value) so that a browser reads it back as the same text. An empty
// unquoted value is written as "".
std::string EncodeAttributeValue(std::string_view value, char quote);

// A title as a person reads it: references decoded, control characters and
// object replacement characters (U+FFFC, one per picture) gone, every run of
// white space a single space, nothing around it.
std::string CleanTitle(std::string_view text);

// Whether the text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);
// Appends the UTF-8 form of a code point (U+FFFD for one that cannot be one).
void AppendUtf8(std::string &out, unsigned long codePoint);
