#pragma once

#include "sheetview/PrintedPages.h"
#include "sheetview/ProfileChart.h"

namespace spreadsheet {

// The profile printed as one page: landscape A4, 12 mm margins, the chart filling the
// printable area.
class ChartPage : public PrintedPages {
 public:
  explicit ChartPage(ProfileChart chart);

  int Count() const override { return 1; }
  QPageLayout Layout() const override;
  QSizeF PaperSize() const override;
  QMarginsF Margins() const override;
  void Paint(QPainter& painter, int index) const override;

 private:
  ProfileChart chart_;
};

}  // namespace spreadsheet
