#pragma once

#include <QMarginsF>
#include <QPageLayout>
#include <QSizeF>

class QPainter;

namespace spreadsheet {

// Pages ready to print or preview, all on one paper: a sheet's cells (SheetPages) or the
// profile's chart (ChartPage).
class PrintedPages {
 public:
  virtual ~PrintedPages() = default;

  virtual int Count() const = 0;
  // Paper, orientation and margins the printer is set to for these pages.
  virtual QPageLayout Layout() const = 0;
  // The whole paper and its margins in pixels at 96 dpi.
  virtual QSizeF PaperSize() const = 0;
  virtual QMarginsF Margins() const = 0;
  // Paints page `index` (0-based) with the painter's origin at the top-left corner of the
  // printable area and its unit a pixel at 96 dpi (the caller scales to its device).
  virtual void Paint(QPainter& painter, int index) const = 0;
};

}  // namespace spreadsheet
