#pragma once

#include <string>
#include <string_view>

namespace spreadsheet {

// Every way a number becomes text and a text a number, in one place, as named policies; the
// layers above (number formats, the grid, the route, the field book, the command line) pick the
// policy that belongs to their use and never write numbers themselves. It sits in the workbook
// layer because typing (CellInput) is the lowest user of it; number formats build on its
// decimal rounding.
//
// Two rounding rules, no more:
// - text shows a number from its decimal value of 15 significant digits, rounded half away
//   from zero to the places shown (as spreadsheets show numbers: 0.0625 under "0.000" is 0.063);
// - values the field book writes round halves to the even neighbour (FieldBookRound).
class NumberText {
 public:
  // The number rule: blanks (space, tab) around, an optional sign, digits with an optional
  // decimal point and fraction (".5" and "5." too), an optional exponent. Empty or blank text,
  // "nan", "inf", "0x10", "1,5" and values above the range of a double are not numbers; values
  // too small for a double ("1e-400") read as zero. Locale-free. On success `value` is the
  // parsed value, unrounded; on failure it is left alone.
  static bool Read(std::string_view text, double& value);
  // Typing into a cell: the number rule, and a typed "-0" is 0 (a cell never holds -0).
  static bool ReadTyped(std::string_view text, double& value);
  // Route reading: a text cell of the route (an elevation typed as text, the shown text of an
  // offset) is a number by the number rule, unrounded, as the user sees it in the sheet.
  static bool ReadRoute(std::string_view text, double& value) { return Read(text, value); }

  // General display, as a cell under the General format shows a number: up to 11 significant
  // digits, exponent form ("1.23457E+11", "1E-10") outside 1e-9 <= |x| < 1e11 or when the
  // digits before the point exceed 11. "#NUM!" for NaN and infinities; -0 shows "0".
  static std::string GeneralDisplay(double value);
  // Edit text: the text that reads back as the value, for the cell editor and for messages
  // that name a value: at most 15 significant digits, no trailing zeros, exponent form
  // ("1E-07", "1.5E+15") below 1E-05 and from 1E+15 on. -0 gives "0"; NaN and infinities
  // give "nan", "inf", "-inf".
  static std::string EditText(double value);
  // Field-book text of a distance: |value| with at most `decimals` places (the pattern
  // "0.###" for three), trailing zeros and point dropped (2.50 -> "2.5", 5 -> "5").
  static std::string FieldBookDecimals(double value, int decimals);
  // Field-book rounding of a value written into the book: to 10^-decimals of its unit, halves to
  // even, the double nearest to the rounded decimal (0 <= decimals <= 6; free of binary noise:
  // 1.001 * 1000 is 1001).
  static double FieldBookRound(double value, int decimals);
  // Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2); no -0.
  static double RoundHalfEven(double value);

  // The decimal value of a finite non-negative number: the whole number `digits` (no leading
  // or trailing zeros, empty for 0) times 10^exponent, of at most 15 significant digits.
  struct Decimal {
    std::string digits;
    int exponent = 0;
  };
  static Decimal DecimalOf(double magnitude);
  // A decimal rounded half away from zero to `decimals` places (>= 0).
  struct Fixed {
    std::string integer;   // no leading zeros; empty when the whole part is 0
    std::string fraction;  // exactly `decimals` digits
  };
  static Fixed Round(const Decimal& decimal, int decimals);
  // "1.2345E+05"-style exponent form of a finite non-zero value with at most `decimals` places
  // in the mantissa, trailing zeros dropped, the exponent signed and of at least two digits.
  static std::string Scientific(double value, int decimals);
};

}  // namespace spreadsheet
