#pragma once

#include <QPageLayout>
#include <memory>
#include <optional>
#include <vector>

#include "sheetview/PrintedPages.h"
#include "workbook/CellRange.h"
#include "workbook/Workbook.h"

class QPrinter;

namespace spreadsheet {

// Prints one sheet as its page setup says: paper and orientation, margins, header rows
// repeated on every page, grid lines only when asked for, borders, fills, fonts and merged
// cells as defined; the pages are SheetPages. Fitting to one page wide scales the sheet down
// when it is wider than the paper. The sheet "纵断面" prints as its chart, on one landscape A4
// page (ChartPage).
class SheetPrinter {
 public:
  // From A1 to the last row and column holding a value, a bordered or filled cell, or a merge;
  // nothing for a sheet without any.
  static std::optional<CellRange> PrintRange(const Workbook& workbook, const Worksheet& sheet);
  // Paper, orientation and margins from the sheet's setup.
  static QPageLayout LayoutOf(const Worksheet& sheet);
  static void SetUpPage(const Worksheet& sheet, QPrinter& printer);
  // The pages `sheet` prints as; they keep references to workbook and sheet. Throws
  // SpreadsheetError 1004 naming the sheet when it holds nothing to print.
  static std::unique_ptr<PrintedPages> PagesOf(const Workbook& workbook, const Worksheet& sheet);
  // What "导出PDF" writes for the shown sheet: its pages, and after the field book "水准表" the
  // page of its profile when the workbook's "纵断面" holds rows (no such page for a workbook
  // without "纵断面" or before a generation). The book's page numbers count its own pages.
  static std::vector<std::unique_ptr<PrintedPages>> DocumentOf(const Workbook& workbook, const Worksheet& sheet);

  // Paints the pages of every part one after another into one print job, each part on its own
  // paper and orientation (a change of paper within a job needs Qt's PDF engine: PDF output or
  // CUPS); returns how many pages. Throws SpreadsheetError 1004 naming the output when the
  // printer cannot be opened.
  static int Print(const std::vector<const PrintedPages*>& parts, QPrinter& printer);
  // The pages of `sheet` (PagesOf); throws as PagesOf and the printing do.
  static int Print(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer);
  // The pages of DocumentOf(`sheet`) in one job.
  static int PrintDocument(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer);
};

}  // namespace spreadsheet
