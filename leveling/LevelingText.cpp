#include "leveling/LevelingText.h"

#include "workbook/NumberText.h"

namespace gaocheng {

std::string FormatOffset(std::string_view text) {
  if (text.empty()) return std::string();
  const std::string trimmed = TrimSpaces(text);
  double x = 0;
  if (!spreadsheet::NumberText::ReadRoute(trimmed, x)) return trimmed;
  if (x < 0) return "左" + spreadsheet::NumberText::FieldBookDecimals(x, 3) + "米";
  if (x > 0) return "右" + spreadsheet::NumberText::FieldBookDecimals(x, 3) + "米";
  return "中";
}

std::string RemoveSpaces(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != ' ') out += c;
  }
  return out;
}

std::string TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  const std::size_t last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

std::string CutToCharacters(std::string_view text, std::size_t count) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A byte that is not a continuation byte (10xxxxxx) starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (characters == count) return std::string(text.substr(0, i));
      ++characters;
    }
  }
  return std::string(text);
}

}  // namespace gaocheng
