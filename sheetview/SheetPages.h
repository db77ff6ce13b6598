#pragma once

#include <QMarginsF>
#include <QSizeF>
#include <vector>

#include "workbook/Workbook.h"

class QPageLayout;
class QPainter;

namespace spreadsheet {

// The printed pages of one sheet on one paper, as its page setup says: header rows repeated on
// every page, manual page breaks, pages running down, then across (PageRows), each with the
// sheet's page header and footer in its margins ("第 N 页 共 M 页" centred in the bottom margin
// of a sheet that has neither). Working them out takes row heights and column widths only; a
// page is painted when asked for, so a preview paints only the pages it shows. A block of rows
// that follows an empty row (the check block under a field book) starts a new page rather than
// being split, unless it is longer than a page. Workbook and sheet must outlive the pages.
class SheetPages {
 public:
  // Throws SpreadsheetError 1004 naming the sheet when it holds nothing to print.
  SheetPages(const Workbook& workbook, const Worksheet& sheet, const QPageLayout& layout);

  int Count() const { return static_cast<int>(bands_.size() * rowPages_.size()); }
  // The whole paper and its margins in pixels at 96 dpi.
  QSizeF PaperSize() const { return paper_; }
  QMarginsF Margins() const { return margins_; }
  // The sheet rows of page `index` (0-based; pages run down, then across).
  const std::vector<int>& RowsOf(int index) const;
  // Paints page `index` with the painter's origin at the top-left corner of the printable
  // area and its unit a pixel at 96 dpi (the caller scales to its device).
  void Paint(QPainter& painter, int index) const;

 private:
  const Workbook& workbook_;
  const Worksheet& sheet_;
  QSizeF paper_;
  QMarginsF margins_;
  double fit_ = 1;  // below 1 when the sheet is scaled down to the pages' width
  bool centred_ = false;
  std::vector<std::pair<int, int>> bands_;  // first and last column of each band across
  std::vector<std::vector<int>> rowPages_;  // the rows of each page down
};

}  // namespace spreadsheet
