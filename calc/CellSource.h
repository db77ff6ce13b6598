#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "calc/Value.h"
#include "workbook/CellAddress.h"

namespace spreadsheet::calc {

// Where a formula reads the cells it refers to. Sheets are numbered from 0.
class CellSource {
 public:
  virtual ~CellSource() = default;

  // The sheet of that name, compared case-insensitively (ASCII letters), or nullopt.
  virtual std::optional<std::size_t> FindSheet(std::string_view name) const = 0;
  // The value of a cell (a formula cell's current result); empty outside the used area.
  virtual Value CellValue(std::size_t sheet, CellAddress at) const = 0;
  // One past the last row (column) that may hold a value on the sheet: ranges are read only
  // up to there, so a whole-column reference costs the used rows, not 65,536.
  virtual int RowExtent(std::size_t sheet) const = 0;
  virtual int ColumnExtent(std::size_t sheet) const = 0;
};

}  // namespace spreadsheet::calc
