#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Reads .xlsx, .xltx and .xlsm workbooks (chosen by the file's extension): values, formulas
// with their cached values, number formats, fonts, borders, fills, alignment, column widths,
// row heights, merges, rows repeated on printed pages, sheet names and order, active sheet.
// Every failure throws SpreadsheetError 1004 naming the file and what is wrong with it,
// including a value beyond the 65,536 × 256 sheet (formatting out there is dropped).
class XlsxImporter {
 public:
  struct Limits {
    std::chrono::milliseconds time{10000};
    std::size_t memoryBytes = std::size_t{1} << 30;  // address space the read may add
  };

  // For any file a user names: the parser runs in a forked child within the limits, so a
  // hostile file that crashes, hangs or floods the parser ends in an error, not in our end.
  static Workbook Load(const std::string& path);
  static Workbook Load(const std::string& path, const Limits& limits);
  // The isolation itself, with any read in the child (LoadInProcess in the two above).
  using Reader = std::function<Workbook(const std::string& path)>;
  static Workbook Load(const std::string& path, const Limits& limits, const Reader& read);
  // The same read in this process: only for files this program wrote itself.
  static Workbook LoadInProcess(const std::string& path);
};

}  // namespace spreadsheet
