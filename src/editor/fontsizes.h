#pragma once

// The HTML font size (1 to 7) for a size in points typed or chosen in the
// editor: 1-8 -> 1, 9-10 -> 2, 11-12 -> 3, 13-18 -> 4, 19-24 -> 5, 25-36 -> 6,
// anything larger, and 0 or below, -> 7.
int htmlFontSize(int points);
