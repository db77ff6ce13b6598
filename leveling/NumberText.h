#pragma once

#include <string>

#include "workbook/NumberText.h"

namespace gaocheng {

// What reads as a number and its general text are the workbook's rule (workbook/NumberText.h).
using spreadsheet::FormatGeneral;
using spreadsheet::ParseDecimal;

// The pattern "0.###" on |value|: at least one integer digit, at most three decimals rounded
// half away from zero on the shortest decimal form (1.2345 -> "1.235"), no trailing zeros
// and no trailing point (2.50 -> "2.5", 5 -> "5").
std::string FormatUpToThreeDecimals(double value);

}  // namespace gaocheng
