#pragma once

#include "cssurls.h"
#include "fragmentlocaliser.h"
#include "picturechoice.h"

#include <map>
#include <random>
#include <string>
#include <vector>

// What the fragment reader found, and the storing of the pictures it found:
// the rewrite of a fragment as a list of edits applied at the end.

// A replacement of text[begin, end); an insertion when both are equal.
struct Edit
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string text;
};

// The text with the edits made; edits never overlap.
std::string Applied(const std::string &text, std::vector<Edit> edits);

// An attribute value of a picture that will name the stored file.
struct ValueSlot
{
    std::size_t begin = 0;
    std::size_t end = 0;
    char quote = 0;
    bool candidates = false; // a srcset: the file name and the chosen descriptor
};

struct Picture
{
    std::vector<ValueSlot> slots;
    std::size_t nameEnd = 0; // where a missing src is added
    bool needsSource = false;
    bool hasChoice = false;
    PictureCandidate chosen;
    std::string address; // the chosen candidate, absolute; empty when it cannot be resolved
};

// Style text that names pictures: a style attribute's value (decoded) or the
// content of a <style> element (as written).
struct CssBlock
{
    std::size_t begin = 0;
    std::size_t end = 0;
    bool attribute = false;
    char quote = 0;
    std::string text;
    std::vector<CssUrl> urls;
    std::vector<int> pictures; // for each url, its picture, or -1 for none (inline data)
};

// Stores the pictures of one kind, reserving their names in document order
// first, each address once, and adds the edits that point them at their files.
class PictureStore
{
public:
    PictureStore(const CaptureContext &context, const PageAddress &page, std::string dayFolder);

    // references gets, for each picture, "images/" and its file name ("images/"
    // alone when it failed), or empty for one with nothing to store.
    void store(const std::vector<Picture> &pictures, std::vector<Edit> &edits, std::vector<std::string> &references);
    CaptureOutcome outcome() const { return {m_total, m_stored}; }

private:
    const CaptureContext &m_context;
    const FetchOptions m_options;
    const bool m_localSource;
    const std::string m_dayFolder;
    std::mt19937 m_random;
    std::map<std::string, std::string> m_referenceOf; // of the addresses already stored or failed
    int m_done = 0;
    int m_total = 0;
    int m_stored = 0;
};

// The edit that points a style block's url()s at their pictures' references;
// none when it names no picture.
void AddCssEdit(const CssBlock &block, const std::vector<std::string> &references, std::vector<Edit> &edits);
