#pragma once

#include <string>
#include <string_view>

namespace spreadsheet {

// Workbook files store a block of similar formulas once ("shared formula"): the other cells
// carry only the master's text, which must be moved by their offset from the master.
class SharedFormula {
 public:
  // Moves every relative A1 reference (A1, $A1, A$1, A:A, 1:1) of an A1-style formula by the
  // given rows and columns; absolute parts, texts in quotes and sheet names stay. A reference
  // moved off the 65,536 × 256 sheet becomes "#REF!".
  static std::string Shift(std::string_view formula, int rowOffset, int columnOffset);
};

}  // namespace spreadsheet
