#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "workbook/CellRange.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

// Reads a workbook package (the bytes of an .xlsx, .xltx or .xlsm file) into a Workbook:
// cell values as the file stores them (numbers, shared, inline and formula texts with rich
// runs joined and phonetic runs left out, booleans as 1 and 0, error values, dates as serial
// numbers, formulas with their stored results or none), shared formulas moved to each cell,
// styles (one per cell format of the file, in order), column widths and styles, row heights,
// merges, page setup and print titles, the frozen pane and the active sheet. Chart sheets
// are no sheets of the model. The workbook keeps the bytes (its origin) for a later save.
// Throws SpreadsheetError 1004 without the file's name for a package it cannot read: a
// missing part or relationship, malformed XML, a <v> that is no whole well-formed number
// (naming sheet and cell), two sheets whose names differ only in case, a value beyond the
// 65,536 × 256 sheet in "数据输入" or "水准表" (formatting out there is dropped; another sheet
// leaves such values out and is marked clipped, so a save keeps its part as it was and refuses
// to rewrite its cells), an encrypted workbook and an OpenDocument file, each by name.
class XlsxReader {
 public:
  // Cells whose values and formulas are not read, their formats are: a caller that clears
  // their contents right away need not build them (nor have them checked). A shared formula
  // whose first cell lies there still reaches its cells outside. No sheet: every cell read.
  struct LeftOut {
    std::string sheet;
    CellRange area;
  };

  // A sheet of `halvesFrom` bytes of XML or more has its rows read in two halves at once
  // where its text allows it (xlsx/read/SheetCut.h); the workbook read is the same.
  static constexpr std::size_t kHalvesFrom = std::size_t{4} << 20;
  static Workbook Read(std::shared_ptr<const std::string> bytes, const LeftOut& leftOut = {},
                       std::size_t halvesFrom = kHalvesFrom);
  // Exact, locale-free: an optional sign ("+" too), digits, point, exponent, surrounded by
  // nothing but XML white space. False for "INF", "NaN", hexadecimal, "1,5" and overflow.
  static bool ParseNumber(std::string_view text, double& value);
};

}  // namespace spreadsheet
