#pragma once

#include "workbook/NumberText.h"

namespace gaocheng {

// metres × 1000, rounded to 10⁻⁶ mm so that binary noise of the product goes (1.001 m gives
// 1001 mm, not 1000.9999999999999).
inline double MillimetresOf(double metres) { return spreadsheet::NumberText::FieldBookRound(metres * 1000, 6); }

// The reading of a length in metres as recorded: whole millimetres, halves to even, taken
// from MillimetresOf (so 0.2000000000000028 m is 200 mm).
inline double WholeMillimetresOf(double metres) { return spreadsheet::NumberText::RoundHalfEven(MillimetresOf(metres)); }

// The whole-millimetre readings a draw between two lengths in metres may give: the low bound
// rounded up, the high bound down, both after MillimetresOf. Empty when Low > High.
struct MillimetreBand {
  double Low = 0;
  double High = 0;
  bool Empty() const { return Low > High; }
};
MillimetreBand WholeMillimetreBand(double lowMetres, double highMetres);

// What the book writes, by the field-book rounding (NumberText::FieldBookRound): metres to
// 1 µm, millimetres (after any × 1000) to 0.001 mm.
inline double RoundToMillionths(double value) { return spreadsheet::NumberText::FieldBookRound(value, 6); }
inline double RoundToThousandths(double value) { return spreadsheet::NumberText::FieldBookRound(value, 3); }

}  // namespace gaocheng
