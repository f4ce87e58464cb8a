#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The marker arithmetic of the capture code: 1-based positions, 0 for "not found".

// Position of the first needle at or after position from (1-based), or 0.
std::size_t Pos(std::string_view needle, std::string_view text, std::size_t from = 1);
// count characters from start; a start below 1 counts as 1, a count of 0 or less gives
// nothing, and the copy stops at the end of the text.
std::string Copy(std::string_view text, long long start, long long count);
// A copy with only A-Z folded, so positions in both are the same.
std::string LowerAscii(std::string_view text);
bool StartsWith(std::string_view text, std::string_view prefix);
// The value of a hexadecimal digit, or -1 for any other character.
int HexDigitValue(char c);
