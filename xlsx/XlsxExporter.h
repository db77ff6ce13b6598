#pragma once

#include <string>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Writes a Workbook as an .xlsx file: values, formulas with their cached values, styles,
// column widths and default styles, row heights, merges, print setup and the active sheet.
// Numbers keep every bit. The file is written beside the target and renamed over it, so a
// failed save leaves any previous file untouched. Throws SpreadsheetError 1004 naming the
// path and the cause (folder not writable, disk full, target is a folder, a text longer than
// 32,767 characters, an invalid sheet name, a number that is NaN or infinite…). A byte of a
// text that starts no well-formed UTF-8 sequence is written as U+FFFD. Column widths are
// kept to the pixel (1/7 of a character), as spreadsheets store them.
class XlsxExporter {
 public:
  static void Save(const Workbook& wb, const std::string& path);
};

}  // namespace spreadsheet
