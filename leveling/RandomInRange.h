#pragma once

#include <cstdint>
#include <random>
#include <string_view>

namespace gaocheng {

// One engine per generation run: the application seeds it from std::random_device, the
// command line and the tests from a given seed.
using RandomEngine = std::mt19937_64;

// floor(u * (high - low + 1) + low) in double precision, u a single-precision draw with
// 0 <= u < 1. With low <= high every whole number of [low, high] is equally likely; with
// low > high the result lies in [high + 1, low].
std::int32_t RandomInRange(std::int32_t low, std::int32_t high, RandomEngine& engine);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double value);

// RoundHalfEven as a 32-bit whole number; throws LevelingError 6 (overflow) naming `what`
// and the value when it does not fit (NaN and infinities included).
std::int32_t ToWholeNumber(double value, std::string_view what);

}  // namespace gaocheng
