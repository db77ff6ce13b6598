#pragma once

#include "workbook/Workbook.h"

namespace spreadsheet {

// Digests of what a sheet holds, one per part of its file XML a save may have to rewrite:
// cells and row heights (sheetData), column widths and styles (cols), merges, and the layout
// (page setup, print titles, frozen pane). Equal digests mean unchanged, to 2⁻⁶⁴.
class SheetDigest {
 public:
  // `uncomputed`: set to whether a formula of the sheet has no result to store (NoStoredResult),
  // found in the same pass over the cells.
  static SheetOrigin Of(const Worksheet& sheet, std::string part, bool* uncomputed = nullptr);
};

}  // namespace spreadsheet
