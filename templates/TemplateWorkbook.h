#pragma once

#include "workbook/Workbook.h"

namespace templates {

// The template workbook the program opens for "新建模板": the input sheet "数据输入" (benchmarks
// in E5/E6 and F5/F6, route rows from row 8 under the header in row 7, the project's fields in
// H4:I12 under "工程信息" in H3:I3) and the output sheet
// "水准表" (title, tolerance text in I2 with its label in H2, header rows 3 and 4, formats,
// borders and widths for the field book from row 5, A4 printing with rows 3–4 repeated, a page
// header with the project's labels and the footer "第 &P 页 共 &N 页").
// Elevations show in metres with three decimals, deviations in whole millimetres. Then the
// observation record "观测记录" (title, "读数单位" 米 in A2:B2, headers in rows 3–4, one row per
// point from row 5: 测点, 后视, 中视, 前视, 后视距, 前视距, 备注) and the results "成果表" (what
// was done in row 1, headers in row 2, points from row 3), and the profile "纵断面" (headers in row 4,
// rows from row 5 beside those of "水准表", two charts right of them).
class TemplateWorkbook {
 public:
  static constexpr const char* kInputSheet = "数据输入";
  static constexpr const char* kOutputSheet = "水准表";
  static constexpr int kInputHeaderRow = 7;   // 1-based, as the sheet shows it
  static constexpr int kOutputFirstRow = 5;
  static constexpr const char* kObservationSheet = "观测记录";
  static constexpr const char* kResultSheet = "成果表";
  static constexpr const char* kProfileSheet = "纵断面";

  // The empty template, "数据输入" active.
  static spreadsheet::Workbook Build();
};

}  // namespace templates
