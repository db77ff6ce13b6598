#pragma once

#include <string>
#include <string_view>

namespace spreadsheet {

// One cell, 0-based: row 0 is row "1", column 0 is column "A". Rows 0..65535, columns 0..255 ("A".."IV").
struct CellAddress {
  static constexpr int kMaxRows = 65536;
  static constexpr int kMaxColumns = 256;

  int row = 0;
  int column = 0;

  // "E5", "$E$5", "iv65536" (case-insensitive). Throws SpreadsheetError 1004 quoting the text
  // when it is no address or lies outside the sheet.
  static CellAddress Parse(std::string_view text);
  static std::string ColumnName(int column);  // 0 → "A", 255 → "IV"
  std::string ToString() const;                // "E5"

  friend bool operator==(const CellAddress&, const CellAddress&) = default;
};

}  // namespace spreadsheet
