#pragma once

#include <string>
#include <vector>

#include "workbook/CellRange.h"
#include "workbook/CellValue.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

// A rectangle of cells read in one call, row by row. Only the rows up to the sheet's last
// stored row are held: the cells of the rectangle below them are empty.
struct CellBlock {
  CellRange range;                 // the rectangle asked for
  int rows = 0;                    // rows held from range.first.row, at most range.RowCount()
  std::vector<CellValue> values;   // rows × range.ColumnCount(), as the sheet holds them
  std::vector<std::string> texts;  // the same cells as their number formats display them; empty unless asked for

  // Sheet coordinates (0-based, inside range): the value, or an empty one below the held rows.
  const CellValue& Value(int row, int column) const;
  // As Value, for a block read with its texts; "" below the held rows.
  const std::string& Text(int row, int column) const;
  // Whether rows beyond the held ones may hold anything: false when the sheet stops earlier.
  bool Complete() const { return rows == range.RowCount(); }
};

// The cells of `range` on `sheet`, visiting only the stored rows; with the displayed texts
// when `withTexts`.
CellBlock ReadCellBlock(const Workbook& workbook, const Worksheet& sheet, const CellRange& range, bool withTexts);

// The block of `columns` × values.size() / columns cells whose top left cell is `first`, with
// its bottom right corner. Throws SpreadsheetError 1004 when `columns` is not positive, the
// values do not fill whole rows, or the block runs past the sheet's last row or column.
CellRange RowsBlock(CellAddress first, int columns, std::size_t valueCount);

}  // namespace spreadsheet
