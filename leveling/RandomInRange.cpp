#include "leveling/RandomInRange.h"

#include <cmath>
#include <string>

#include "leveling/LevelingError.h"
#include "workbook/NumberText.h"

namespace gaocheng {

std::uint64_t DrawSeed(std::random_device& device) {
  const std::uint64_t high = device() & 0xFFFFFFFFu;
  return high << 32 | (device() & 0xFFFFFFFFu);
}

std::int32_t ToWholeNumber(double value, std::string_view what) {
  const double whole = spreadsheet::NumberText::RoundHalfEven(value);
  if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) {
    throw LevelingError(LevelingError::kOverflow,
                        std::string(what) + " " + spreadsheet::NumberText::EditText(value) + " 超出可用范围");
  }
  return static_cast<std::int32_t>(whole);
}

}  // namespace gaocheng
