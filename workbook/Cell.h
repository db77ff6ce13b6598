#pragma once

#include <cstdint>

#include "workbook/CellValue.h"
#include "workbook/FormulaText.h"

namespace spreadsheet {

// A cell of a Worksheet. With a formula, value is its cached result; style indexes the
// workbook's style table (0 = default).
struct Cell {
  CellValue value;
  FormulaText formula;  // empty when the cell holds a plain value
  std::uint32_t style = 0;

  bool HasFormula() const { return !formula.empty(); }
};

}  // namespace spreadsheet
