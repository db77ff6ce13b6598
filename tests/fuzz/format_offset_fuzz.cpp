// The offset text of a route point from column B's displayed text: a number becomes
// 左/右 with |x| to three decimals and 米, or 中; anything else comes back trimmed.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/FuzzInput.h"
#include "leveling/LevelingText.h"
#include "workbook/NumberText.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;

namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool EndsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

void CheckOffset(std::string_view text) {
  const std::string offset = gaocheng::FormatOffset(text);
  if (text.empty()) {
    Require(offset.empty(), "empty stays empty");
    return;
  }
  const std::string trimmed = gaocheng::TrimSpaces(text);
  double x = 0;
  if (!spreadsheet::NumberText::Read(trimmed, x)) {
    Require(offset == trimmed, "other text comes back trimmed", text);
    return;
  }
  if (x == 0) {
    Require(offset == "中", "zero is the centre", text);
    return;
  }
  const std::string_view side = x < 0 ? "左" : "右";
  Require(StartsWith(offset, side) && EndsWith(offset, "米"), "side and unit", offset);
  const std::string_view number = std::string_view(offset).substr(side.size(), offset.size() - side.size() - 3);
  double shown = 0;
  Require(spreadsheet::NumberText::Read(number, shown) && shown >= 0, "a distance is shown", offset);
  const std::size_t point = number.find('.');
  Require(point == std::string_view::npos || (number.size() - point - 1 <= 3 && number.back() != '0'),
          "at most three decimals, no trailing zeros", offset);
  if (std::fabs(x) < 1e12) {
    // Half a millimetre from the fifteen-digit decimal a spreadsheet shows for x (30367.49549999997
    // shows as 30367.4955, so 30367.496), which lies up to half a unit of its last digit from x.
    Require(std::fabs(shown - std::fabs(x)) <= 0.0005 + 6e-15 * std::fabs(x), "rounded to the millimetre", offset);
  }
  Require(gaocheng::CutToCharacters(offset, 64).size() <= offset.size(), "cut is a prefix");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckOffset(std::string_view(reinterpret_cast<const char*>(data), size));
  // The same value as the cell's General text would show it, for any double.
  FuzzInput in(data, size);
  const double x = in.RawDouble();
  if (std::isfinite(x)) CheckOffset(spreadsheet::NumberText::EditText(x));
  return 0;
}
