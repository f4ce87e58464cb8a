#pragma once

#include <string>
#include <string_view>
#include <vector>

// Which of the addresses a responsive picture offers is stored.

struct PictureCandidate
{
    std::string address;    // as written in the markup (references decoded)
    std::string descriptor; // "800w", "2x", or empty (1x)
};

// The candidates of a srcset value, split as the HTML standard splits them:
// an address, then descriptors up to the next comma outside parentheses.
std::vector<PictureCandidate> SrcsetCandidates(std::string_view srcset);

// The sharpest candidate: the widest by its "w" descriptor when any has one,
// else the densest by "x" (no descriptor counts as 1x); the first of equals.
// The index, or -1 for an empty list.
int SharpestCandidate(const std::vector<PictureCandidate> &candidates);
