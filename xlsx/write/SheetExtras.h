#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/Worksheet.h"
#include "xlsx/splice/XmlSplice.h"

namespace spreadsheet {

// What a worksheet part holds on its rows, columns and cells beyond the model, for a rewrite
// of its cells or columns that keeps it: the attributes of each <row> but its number, spans
// and height (hidden, outline level, collapsed, row style, thick borders, other namespaces'),
// those of each <col> but its range, width and style (hidden, outline level, best fit, …),
// and the cells stored as booleans. Rows and columns as the file numbers them, 0-based; those
// beyond the sheet's 65,536 rows and 256 columns are left out. Attributes keep their text.
class SheetExtras {
 public:
  struct Row {
    int row = 0;
    std::string attributes;  // as written, each after a space: ` hidden="1" outlineLevel="2"`
  };

  SheetExtras() = default;  // nothing beyond the model: a sheet made here
  // From the elements of a part read as well formed; either may be null (not rewritten).
  SheetExtras(std::string_view xml, const XmlSpan* sheetData, const XmlSpan* cols);

  // Renumbers what was read to where its rows and columns stand in `now` after the rows and
  // columns inserted and deleted since reading; what was deleted goes.
  void FollowMoves(const Worksheet& now);

  const std::vector<Row>& Rows() const { return rows_; }  // ascending, each row once
  const std::string& Column(int column) const;             // "" when none
  bool WasBoolean(int row, int column) const;

 private:
  void ReadRows(std::string_view xml, const XmlSpan& sheetData);
  void ReadColumns(std::string_view xml, const XmlSpan& cols);

  std::vector<Row> rows_;
  std::vector<std::string> columns_;     // by column; empty when no column has any
  std::vector<std::uint32_t> booleans_;  // row << 8 | column, ascending
};

}  // namespace spreadsheet
