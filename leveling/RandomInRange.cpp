#include "leveling/RandomInRange.h"

#include <cmath>
#include <string>

#include "leveling/LevelingError.h"
#include "leveling/NumberText.h"

namespace gaocheng {

std::int32_t RandomInRange(std::int32_t low, std::int32_t high, RandomEngine& engine) {
  // The top 24 bits fill a float's mantissa exactly, so u never rounds up to 1.0f.
  const float u = static_cast<float>(engine() >> 40) * 0x1p-24f;
  const double span = static_cast<double>(high) - static_cast<double>(low) + 1.0;
  return static_cast<std::int32_t>(std::floor(static_cast<double>(u) * span + low));
}

double RoundHalfEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;  // exact: below and value share their magnitude
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1.0;
  return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

std::int32_t ToWholeNumber(double value, std::string_view what) {
  const double whole = RoundHalfEven(value);
  if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) {
    throw LevelingError(LevelingError::kOverflow,
                        std::string(what) + " " + FormatGeneral(value) + " 超出可用范围");
  }
  return static_cast<std::int32_t>(whole);
}

}  // namespace gaocheng
