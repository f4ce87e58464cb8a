#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// Reading the tags of page markup as a browser's tokenizer reads them: names in
// any letter case, attribute values in double quotes, single quotes or none.
// Offsets are 0-based into the scanned text, so callers can rewrite values in
// place and copy everything else byte for byte.

struct TagAttribute
{
    std::string_view name;      // as written
    std::size_t valueBegin = 0; // the value without its quotes
    std::size_t valueEnd = 0;
    char quote = 0;        // '"', '\'' or 0 (unquoted, or no value at all)
    bool hasValue = false; // false for a bare attribute such as "hidden"
};

struct HtmlTag
{
    std::size_t begin = 0;   // the "<"
    std::size_t end = 0;     // one past the ">"
    std::size_t nameEnd = 0; // one past the tag name, where an attribute may be added
    std::string_view name;   // as written
    bool closing = false;    // an end tag ("</a>")
    std::vector<TagAttribute> attributes;

    // Whether the tag name is lowerName, in any letter case.
    bool is(std::string_view lowerName) const;
    // The first attribute named lowerName in any letter case (a browser ignores
    // the later ones), or null.
    const TagAttribute *find(std::string_view lowerName) const;
};

// Walks the start and end tags of a text in document order. Comments, doctypes
// and the text of script, style, textarea, title and similar elements are no
// markup and are passed over. A tag cut off by the end of the text ends the walk.
class TagScanner
{
public:
    explicit TagScanner(std::string_view text)
        : m_text(text)
    {
    }

    // The next tag, or false at the end.
    bool next(HtmlTag &tag);

private:
    bool readTag(std::size_t open, HtmlTag &tag);
    void skipRawText(std::string_view lowerName);

    std::string_view m_text;
    std::size_t m_position = 0;
};

// Whether two names are the same when A-Z are folded.
bool SameName(std::string_view name, std::string_view lowerName);
