#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string_view>

namespace gaocheng {

// One engine per generation run: the application seeds it from std::random_device, the
// command line and the tests from a given seed.
using RandomEngine = std::mt19937_64;

// One unsigned 64-bit seed from two 32-bit draws of the device; the engine of a run is
// RandomEngine(seed), so the seed reproduces the run.
std::uint64_t DrawSeed(std::random_device& device);

// floor(u * (high - low + 1) + low) in double precision, u a single-precision draw with
// 0 <= u < 1. With low <= high every whole number of [low, high] is equally likely; with
// low > high the result lies in [high + 1, low].
// Inline: the field book draws two readings per turning point.
inline std::int32_t RandomInRange(std::int32_t low, std::int32_t high, RandomEngine& engine) {
  // The top 24 bits fill a float's mantissa exactly, so u never rounds up to 1.0f.
  const float u = static_cast<float>(engine() >> 40) * 0x1p-24f;
  const double span = static_cast<double>(high) - static_cast<double>(low) + 1.0;
  const double x = static_cast<double>(u) * span + low;
  // floor(x) for |x| < 2^32: truncate, then step down when x was negative and not whole.
  const auto whole = static_cast<std::int64_t>(x);
  return static_cast<std::int32_t>(static_cast<double>(whole) > x ? whole - 1 : whole);
}

// NumberText::RoundHalfEven as a 32-bit whole number; throws LevelingError 6 (overflow) naming `what`
// and the value when it does not fit (NaN and infinities included).
std::int32_t ToWholeNumber(double value, std::string_view what);

}  // namespace gaocheng
