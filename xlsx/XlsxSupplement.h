#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "workbook/PrintSetup.h"

namespace spreadsheet {

// What orcus 0.17 does not pass on, read straight from a workbook file's XML: the wrap flag
// of each cell format, column default formats, the page setup, and the exact text of every
// number (orcus's own number parser can miss the last bit of 17-digit values), inline
// texts and the active sheet tab.
struct XlsxSupplement {
  struct Number {
    int row;
    int column;
    double value;
  };
  struct Text {
    long row;  // may lie beyond the sheet
    long column;
    std::string value;
  };
  struct Sheet {
    std::map<int, std::uint32_t> columnFormats;  // column → the file's cell format (xf) index
    PrintSetup print;                            // repeated rows are not read here
    std::vector<Number> numbers;                 // cells inside the 65,536 × 256 sheet only
    std::vector<Text> inlineTexts;               // <c t="inlineStr">, which orcus skips
  };

  std::vector<bool> wrapByFormat;  // by xf index
  std::vector<Sheet> sheets;       // in workbook order
  std::optional<std::size_t> activeSheet;

  // Parts it cannot find are left at their defaults; a file that is no zip archive throws
  // SpreadsheetError 1004 (orcus has normally refused such a file before).
  static XlsxSupplement Read(const std::string& path);
};

}  // namespace spreadsheet
