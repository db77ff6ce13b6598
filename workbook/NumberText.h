#pragma once

#include <string>
#include <string_view>

namespace spreadsheet {

// The one rule for what reads as a number, in cells typed into the grid, the route and the
// settings: blanks (space, tab) around, an optional sign,
// digits with an optional decimal point and fraction (".5" and "5." too), an optional
// exponent. Empty or blank text, "nan", "inf", "0x10", "1,5" and values above the range of
// a double are not numbers; values too small for a double ("1e-400") read as zero.
// Independent of the C locale. On success `value` is the parsed value, unrounded.
bool ParseDecimal(std::string_view text, double& value);

// General decimal form as a spreadsheet shows it: at most 15 significant digits, no
// trailing zeros, point separator; exponent form ("1E-07", "1.5E+15") below 1E-05 and from
// 1E+15 on. Negative zero gives "0".
std::string FormatGeneral(double value);

}  // namespace spreadsheet
