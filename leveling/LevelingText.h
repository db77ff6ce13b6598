#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gaocheng {

// Offset text of a route point from the displayed text of column B: "" stays "", surrounding
// spaces go; a number x gives "左|x|米" (x < 0), "右x米" (x > 0) or "中" (x = 0), |x| written
// with the pattern "0.###"; any other text comes back trimmed (路边 -> 路边, "   " -> "").
std::string FormatOffset(std::string_view text);

// The text without any U+0020; tabs and U+3000 stay.
std::string RemoveSpaces(std::string_view text);

// The text without leading and trailing U+0020.
std::string TrimSpaces(std::string_view text);

// The first `count` characters (UTF-8 code points, not bytes) of the text.
std::string CutToCharacters(std::string_view text, std::size_t count);

}  // namespace gaocheng
