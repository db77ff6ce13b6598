#pragma once

#include <string>
#include <string_view>

#include "CellValue.h"

namespace spreadsheet {

// The text a spreadsheet shows for a value under a number format code.
class NumberFormat {
 public:
  // Empty values show as "", texts as they are; numbers under the code. Unknown codes fall back to General.
  static std::string Display(const CellValue& value, std::string_view code);
  // General: up to 11 significant digits, scientific ("1.23457E+11") outside 1e-9 ≤ |x| < 1e11.
  static std::string General(double x);
};

}  // namespace spreadsheet
