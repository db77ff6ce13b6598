#pragma once

#include <string>

#include "workbook/Workbook.h"

namespace spreadsheet {

// Writes a workbook as a package file at `path` (which it creates or truncates). A workbook
// read from a file is written as that file's package with only what changed rewritten: each
// changed sheet's cells (sheetData and dimension), columns, merges or layout (page setup,
// print titles, frozen pane), the styles the model added appended to the styles part, the
// active tab, and the calculation chain dropped when cells changed (spreadsheet programs
// rebuild it); every other entry is copied as stored. Rewritten rows and columns keep what the
// file held on them beyond the model (hidden, outline levels, row styles, …; see SheetExtras),
// by their numbers in the file. A workbook made here is written into a new minimal package the
// same way. The result is read back and checked (ZipWriter::Check). Throws SpreadsheetError
// 1004 without the file's name (a sheet added after reading, a write error with its reason, a
// bad value naming sheet and cell).
class PackageWriter {
 public:
  static void Write(const Workbook& wb, const std::string& path);
};

}  // namespace spreadsheet
