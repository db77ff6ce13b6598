#pragma once

#include "leveling/RandomInRange.h"

namespace gaocheng {

// metres × 1000, rounded to 10⁻⁶ mm so that binary noise of the product goes (1.001 m gives
// 1001 mm, not 1000.9999999999999).
inline double MillimetresOf(double metres) { return RoundHalfEven(metres * 1000 * 1e6) / 1e6; }

// The reading of a length in metres as recorded: whole millimetres, halves to even, taken
// from MillimetresOf (so 0.2000000000000028 m is 200 mm).
inline double WholeMillimetresOf(double metres) { return RoundHalfEven(MillimetresOf(metres)); }

// The whole-millimetre readings a draw between two lengths in metres may give: the low bound
// rounded up, the high bound down, both after MillimetresOf. Empty when Low > High.
struct MillimetreBand {
  double Low = 0;
  double High = 0;
  bool Empty() const { return Low > High; }
};
MillimetreBand WholeMillimetreBand(double lowMetres, double highMetres);

// The double nearest to `value` rounded to 10⁻⁶ of its unit, halves to even: metres to 1 µm,
// millimetres (after any × 1000) to 0.001 mm. What the book writes, free of binary noise.
// The whole number of steps is exact below 2^53 and the division by an exact power of ten is
// correctly rounded, so the result is the double nearest to the rounded decimal.
inline double RoundToMillionths(double value) { return RoundHalfEven(value * 1e6) / 1e6; }

// The same, for the thousandths of a millimetre value.
inline double RoundToThousandths(double value) { return RoundHalfEven(value * 1e3) / 1e3; }

}  // namespace gaocheng
