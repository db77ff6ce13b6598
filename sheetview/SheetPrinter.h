#pragma once

#include <optional>

#include "workbook/CellRange.h"
#include "workbook/Workbook.h"

class QPrinter;

namespace spreadsheet {
class ProfileChart;
}

namespace spreadsheet {

// Prints one sheet as its page setup says: paper and orientation, margins, header rows
// repeated on every page, grid lines only when asked for, borders, fills, fonts and merged
// cells as defined; the pages are SheetPages. Fitting to one page wide scales the sheet down
// when it is wider than the paper.
class SheetPrinter {
 public:
  // From A1 to the last row and column holding a value, a bordered or filled cell, or a merge;
  // nothing for a sheet without any.
  static std::optional<CellRange> PrintRange(const Workbook& workbook, const Worksheet& sheet);
  // Paper, orientation and margins of the printer from the sheet's setup.
  static void SetUpPage(const Worksheet& sheet, QPrinter& printer);
  // Sets up the page and paints the pages; returns how many. Throws SpreadsheetError 1004
  // naming the sheet when it holds nothing to print, or naming the output when the printer
  // cannot be opened.
  // The sheet "纵断面" prints as its chart, on one landscape A4 page.
  static int Print(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer);
  static int PrintChart(const ProfileChart& chart, QPrinter& printer);
};

}  // namespace spreadsheet
