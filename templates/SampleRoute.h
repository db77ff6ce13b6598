#pragma once

#include "workbook/Workbook.h"

namespace templates {

// A realistic road route for trying the program: chainages K1+000 to K1+260 every 20 m, each
// with its left edge, centre line and right edge (±12.5 m), design elevations on a 1.8 % grade
// with a 2 % crossfall, a few measured elevations, between BM1 and BM2; the project's fields
// filled but 复核.
class SampleRoute {
 public:
  static constexpr int kStations = 14;
  static constexpr double kHalfWidth = 12.5;  // m

  // Writes the route into "数据输入" of a workbook made by TemplateWorkbook::Build; throws
  // spreadsheet::SpreadsheetError 9 when the sheet is missing.
  static void Fill(spreadsheet::Workbook& workbook);
  // TemplateWorkbook::Build with the route filled in.
  static spreadsheet::Workbook Build();
};

}  // namespace templates
