#pragma once

#include <string>
#include <string_view>

#include "workbook/CellAddress.h"

namespace spreadsheet {

// A rectangular block, corners inclusive and normalised so that first <= last in both axes.
struct CellRange {
  CellAddress first;
  CellAddress last;

  // "A5:I65536" or a single cell "E5". Throws SpreadsheetError 1004 quoting the text otherwise.
  static CellRange Parse(std::string_view text);
  static CellRange Normalised(CellAddress a, CellAddress b);
  std::string ToString() const;
  bool Contains(const CellAddress& a) const {
    return a.row >= first.row && a.row <= last.row && a.column >= first.column && a.column <= last.column;
  }
  int RowCount() const { return last.row - first.row + 1; }
  int ColumnCount() const { return last.column - first.column + 1; }

  friend bool operator==(const CellRange&, const CellRange&) = default;
};

}  // namespace spreadsheet
