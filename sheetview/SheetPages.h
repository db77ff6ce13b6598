#pragma once

#include <vector>

#include "sheetview/PrintedPages.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

// The printed pages of one sheet on one paper, as its page setup says: header rows repeated on
// every page, manual page breaks, pages running down, then across (PageRows), each with the
// sheet's page header and footer in its margins ("第 N 页 共 M 页" centred in the bottom margin
// of a sheet that has neither). Working them out takes row heights and column widths only; a
// page is painted when asked for, so a preview paints only the pages it shows. A block of rows
// that follows an empty row (the check block under a field book) starts a new page rather than
// being split, unless it is longer than a page. Workbook and sheet must outlive the pages.
class SheetPages : public PrintedPages {
 public:
  // Throws SpreadsheetError 1004 naming the sheet when it holds nothing to print.
  SheetPages(const Workbook& workbook, const Worksheet& sheet, const QPageLayout& layout);

  int Count() const override { return static_cast<int>(bands_.size() * rowPages_.size()); }
  QPageLayout Layout() const override { return layout_; }
  QSizeF PaperSize() const override { return paper_; }
  QMarginsF Margins() const override { return margins_; }
  // The sheet rows of page `index` (0-based; pages run down, then across).
  const std::vector<int>& RowsOf(int index) const;
  void Paint(QPainter& painter, int index) const override;

 private:
  const Workbook& workbook_;
  const Worksheet& sheet_;
  QPageLayout layout_;
  QSizeF paper_;
  QMarginsF margins_;
  double fit_ = 1;  // below 1 when the sheet is scaled down to the pages' width
  bool centred_ = false;
  std::vector<std::pair<int, int>> bands_;  // first and last column of each band across
  std::vector<std::vector<int>> rowPages_;  // the rows of each page down
};

}  // namespace spreadsheet
