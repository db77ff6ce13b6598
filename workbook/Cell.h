#pragma once

#include <cstdint>

#include "workbook/CellValue.h"
#include "workbook/FormulaText.h"

namespace spreadsheet {

// A cell of a Worksheet. With a formula, value is its cached result; style indexes the
// workbook's style table (0 = default).
struct Cell {
  // The style lies in the value's tail padding (after the variant's index): 48 bytes a cell
  // instead of 56, on the million cells of a full book.
  [[no_unique_address]] CellValue value;
  std::uint32_t style = 0;
  FormulaText formula;  // empty when the cell holds a plain value

  bool HasFormula() const { return !formula.empty(); }
};
static_assert(sizeof(Cell) <= 48, "a cell keeps its style in the value's tail padding");

}  // namespace spreadsheet
