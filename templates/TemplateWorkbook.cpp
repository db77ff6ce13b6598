#include "templates/TemplateWorkbook.h"

#include <cstdint>
#include <string>

#include "leveling/ProjectFields.h"
#include "leveling/ProfileSheet.h"
#include "workbook/CellAddress.h"
#include "workbook/CellRange.h"
#include "workbook/CellStyle.h"

namespace templates {

namespace {

using spreadsheet::Border;
using spreadsheet::BorderStyle;
using spreadsheet::CellAddress;
using spreadsheet::CellRange;
using spreadsheet::CellStyle;
using spreadsheet::HorizontalAlignment;
using spreadsheet::VerticalAlignment;
using spreadsheet::Workbook;
using spreadsheet::Worksheet;

constexpr const char* kMetres = "0.000";
constexpr const char* kMillimetres = "0";
constexpr std::uint32_t kHeaderFill = 0xDDEBF7;  // pale blue, 0xRRGGBB

CellStyle Boxed(CellStyle style) {
  const Border thin{BorderStyle::Thin, 0x000000};
  style.left = style.right = style.top = style.bottom = thin;
  return style;
}

CellStyle Title() {
  CellStyle s;
  s.bold = true;
  s.fontSize = 16;
  s.horizontal = HorizontalAlignment::Center;
  s.vertical = VerticalAlignment::Center;
  return s;
}

CellStyle Header() {
  CellStyle s;
  s.bold = true;
  s.horizontal = HorizontalAlignment::Center;
  s.vertical = VerticalAlignment::Center;
  s.wrapText = true;
  s.fill = kHeaderFill;
  return Boxed(s);
}

// Cells above the field book that must not take the bordered column formats below them.
CellStyle Plain(HorizontalAlignment horizontal = HorizontalAlignment::General) {
  CellStyle s;
  s.horizontal = horizontal;
  s.vertical = VerticalAlignment::Center;
  return s;
}

CellStyle Body(const char* numberFormat, HorizontalAlignment horizontal) {
  CellStyle s;
  s.numberFormat = numberFormat;
  s.horizontal = horizontal;
  s.vertical = VerticalAlignment::Center;
  return Boxed(s);
}

// row and column 0-based.
void Put(Workbook& book, Worksheet& sheet, int row, int column, const std::string& text, const CellStyle& style) {
  const CellAddress a{row, column};
  if (!text.empty()) sheet.SetValue(a, text);
  sheet.SetStyle(a, book.InternStyle(style));
}

void Merge(Workbook& book, Worksheet& sheet, int firstRow, int firstColumn, int lastRow, int lastColumn,
           const std::string& text, const CellStyle& style) {
  for (int r = firstRow; r <= lastRow; ++r) {
    for (int c = firstColumn; c <= lastColumn; ++c) Put(book, sheet, r, c, {}, style);
  }
  Put(book, sheet, firstRow, firstColumn, text, style);
  sheet.AddMerge(CellRange::Normalised({firstRow, firstColumn}, {lastRow, lastColumn}));
}

// A4, one page wide, centred, rows firstRepeated..lastRepeated (0-based) printed on every page
// and the rows above `frozenRows` frozen on screen.
spreadsheet::PrintSetup& SetUpPages(Worksheet& sheet, int firstRepeated, int lastRepeated, int frozenRows) {
  auto& print = sheet.Print();
  print.paperSize = 9;
  print.repeatRowsFirst = firstRepeated;
  print.repeatRowsLast = lastRepeated;
  sheet.SetFrozen(spreadsheet::FrozenPane{frozenRows, 0});
  print.fitToWidth = 1;
  print.centerHorizontally = true;
  return print;
}

void BuildInputSheet(Workbook& book, Worksheet& sheet) {
  enum { A, B, C, D, E, F };
  Merge(book, sheet, 0, A, 0, F, "普通水准计算 数据输入", Title());
  sheet.SetRowHeight(0, 28);

  CellStyle note = Plain(HorizontalAlignment::Left);
  note.wrapText = true;
  note.vertical = VerticalAlignment::Top;
  Merge(book, sheet, 1, A, 2, F,
        "在E5、E6填写起始水准点的点名和高程，在F5、F6填写闭合水准点的点名和高程；"
        "从第8行起按观测顺序逐行填写测点，A列为空的行表示路线结束。"
        "F列实测高程留空时由程序按设计高程模拟。",
        note);
  sheet.SetRowHeight(1, 20);
  sheet.SetRowHeight(2, 20);

  Merge(book, sheet, 3, A, 5, C, "偏距：负值为左，正值为右，0为中桩（单位：米）", note);
  Put(book, sheet, 3, D, {}, Header());
  Put(book, sheet, 3, E, "起始水准点", Header());
  Put(book, sheet, 3, F, "闭合水准点", Header());
  Put(book, sheet, 4, D, "点名", Header());
  Put(book, sheet, 5, D, "高程(m)", Header());
  Put(book, sheet, 4, E, {}, Body("@", HorizontalAlignment::Center));
  Put(book, sheet, 4, F, {}, Body("@", HorizontalAlignment::Center));
  Put(book, sheet, 5, E, {}, Body(kMetres, HorizontalAlignment::Right));
  Put(book, sheet, 5, F, {}, Body(kMetres, HorizontalAlignment::Right));

  const int header = TemplateWorkbook::kInputHeaderRow - 1;
  const char* headers[] = {"测点", "偏距(m)", "备注1", "备注2", "设计高程(m)", "实测高程(m)"};
  for (int c = A; c <= F; ++c) Put(book, sheet, header, c, headers[c], Header());
  sheet.SetRowHeight(header, 22);

  // Route rows: the elevation columns show metres with three decimals wherever the user types.
  CellStyle metres = Plain(HorizontalAlignment::Right);
  metres.numberFormat = kMetres;
  sheet.SetColumnStyle(E, book.InternStyle(metres));
  sheet.SetColumnStyle(F, book.InternStyle(metres));
  // Rows 1–6 of E and F keep their own styles above; the blank ones must not look like elevations.
  for (int r = 0; r < header; ++r) {
    for (int c : {E, F}) {
      if (sheet.FindCell({r, c}) == nullptr) Put(book, sheet, r, c, {}, Plain());
    }
  }

  const double widths[] = {14, 10, 10, 10, 14, 14};
  for (int c = A; c <= F; ++c) sheet.SetColumnWidth(c, widths[c]);

  // The project's fields beside the route, one column apart from it: labels in H, values in I.
  enum { H = 7, I };
  Merge(book, sheet, 2, H, 2, I, "工程信息", Header());
  const char* fields[] = {"工程名称", "合同段", "仪器型号及编号", "天气", "观测", "记录", "计算", "复核", "日期"};
  for (int i = 0; i < 9; ++i) {
    Put(book, sheet, 3 + i, H, fields[i], Header());
    Put(book, sheet, 3 + i, I, {}, Body("@", HorizontalAlignment::Left));
  }
  sheet.SetColumnWidth(H, 15);
  sheet.SetColumnWidth(I, 28);

  SetUpPages(sheet, header, header, TemplateWorkbook::kInputHeaderRow);
}

void BuildOutputSheet(Workbook& book, Worksheet& sheet) {
  enum { A, B, C, D, E, F, G, H, I };
  Merge(book, sheet, 0, A, 0, H, "普通水准测量记录表", Title());
  sheet.SetRowHeight(0, 30);

  const CellStyle label = Plain(HorizontalAlignment::Right);
  const CellStyle blank = Plain(HorizontalAlignment::Left);
  Put(book, sheet, 1, A, "观测：", label);
  Put(book, sheet, 1, B, {}, blank);
  Put(book, sheet, 1, C, "记录：", label);
  Put(book, sheet, 1, D, {}, blank);
  Put(book, sheet, 1, E, "日期：", label);
  Put(book, sheet, 1, F, {}, blank);
  Put(book, sheet, 1, G, {}, blank);
  Put(book, sheet, 1, H, "闭合差限差(mm)", label);
  CellStyle tolerance = Plain(HorizontalAlignment::Left);
  tolerance.bold = true;
  Put(book, sheet, 1, I, {}, tolerance);
  sheet.SetRowHeight(1, 20);

  Merge(book, sheet, 2, A, 3, A, "测点", Header());
  Merge(book, sheet, 2, B, 2, D, "水准尺读数", Header());
  Put(book, sheet, 3, B, "后视", Header());
  Put(book, sheet, 3, C, "中视", Header());
  Put(book, sheet, 3, D, "前视", Header());
  Merge(book, sheet, 2, E, 3, E, "视线高(m)", Header());
  Merge(book, sheet, 2, F, 3, F, "实测高程/转点高程(m)", Header());
  Merge(book, sheet, 2, G, 3, G, "设计高程(m)", Header());
  Merge(book, sheet, 2, H, 3, H, "偏差(mm)", Header());
  sheet.SetRowHeight(2, 22);
  sheet.SetRowHeight(3, 22);

  // Column formats carry the field book's look down all rows, so a book of any length is
  // formatted without styling each written cell.
  sheet.SetColumnStyle(A, book.InternStyle(Body("General", HorizontalAlignment::Left)));
  const auto metres = book.InternStyle(Body(kMetres, HorizontalAlignment::Right));
  for (int c = B; c <= G; ++c) sheet.SetColumnStyle(c, metres);
  sheet.SetColumnStyle(H, book.InternStyle(Body(kMillimetres, HorizontalAlignment::Right)));

  // H is as wide as its label in H2, "闭合差限差(mm)", so the label never spills into G.
  const double widths[] = {20, 9, 9, 9, 10, 12, 10, 15, 12};
  for (int c = A; c <= I; ++c) sheet.SetColumnWidth(c, widths[c]);

  auto& print = SetUpPages(sheet, 2, 3, TemplateWorkbook::kOutputFirstRow - 1);
  print.marginLeft = print.marginRight = 0.5;
  print.header = gaocheng::FieldBookHeader({});
  print.footer = gaocheng::FieldBookFooter({});
}

void BuildObservationSheet(Workbook& book, Worksheet& sheet) {
  enum { A, B, C, D, E, F, G };
  Merge(book, sheet, 0, A, 0, G, "普通水准测量观测记录", Title());
  sheet.SetRowHeight(0, 28);
  Put(book, sheet, 1, A, "读数单位", Plain(HorizontalAlignment::Right));
  CellStyle unit = Plain(HorizontalAlignment::Center);
  unit.bold = true;
  Put(book, sheet, 1, B, "米", unit);
  CellStyle note = Plain(HorizontalAlignment::Left);
  Merge(book, sheet, 1, C, 1, G, "填“米”或“毫米”；视距以米计", note);
  sheet.SetRowHeight(1, 20);

  Merge(book, sheet, 2, A, 3, A, "测点", Header());
  Merge(book, sheet, 2, B, 2, D, "水准尺读数", Header());
  Put(book, sheet, 3, B, "后视", Header());
  Put(book, sheet, 3, C, "中视", Header());
  Put(book, sheet, 3, D, "前视", Header());
  Merge(book, sheet, 2, E, 2, F, "视距(m)", Header());
  Put(book, sheet, 3, E, "后视距", Header());
  Put(book, sheet, 3, F, "前视距", Header());
  Merge(book, sheet, 2, G, 3, G, "备注", Header());
  sheet.SetRowHeight(2, 22);
  sheet.SetRowHeight(3, 22);

  sheet.SetColumnStyle(A, book.InternStyle(Body("General", HorizontalAlignment::Left)));
  // Readings as read, to 0.1 mm; distances to 0.1 m.
  const auto readings = book.InternStyle(Body("0.0000", HorizontalAlignment::Right));
  for (int c = B; c <= D; ++c) sheet.SetColumnStyle(c, readings);
  const auto distances = book.InternStyle(Body("0.0", HorizontalAlignment::Right));
  sheet.SetColumnStyle(E, distances);
  sheet.SetColumnStyle(F, distances);
  sheet.SetColumnStyle(G, book.InternStyle(Body("General", HorizontalAlignment::Left)));
  const double widths[] = {16, 10, 10, 10, 9, 9, 16};
  for (int c = A; c <= G; ++c) sheet.SetColumnWidth(c, widths[c]);

  SetUpPages(sheet, 2, 3, 4);
}

void BuildResultSheet(Workbook& book, Worksheet& sheet) {
  enum { A, B, C, D, E, F };
  CellStyle heading = Plain(HorizontalAlignment::Left);
  heading.bold = true;
  Merge(book, sheet, 0, A, 0, F, {}, heading);
  sheet.SetRowHeight(0, 24);
  const char* headers[] = {"点名", "观测高程(m)", "改正数(mm)", "改正后高程(m)", "设计高程(m)", "偏差(mm)"};
  for (int c = A; c <= F; ++c) Put(book, sheet, 1, c, headers[c], Header());
  sheet.SetRowHeight(1, 22);
  sheet.SetColumnStyle(A, book.InternStyle(Body("General", HorizontalAlignment::Left)));
  const auto metres = book.InternStyle(Body(kMetres, HorizontalAlignment::Right));
  const auto millimetres = book.InternStyle(Body(kMillimetres, HorizontalAlignment::Right));
  sheet.SetColumnStyle(B, metres);
  sheet.SetColumnStyle(C, millimetres);
  sheet.SetColumnStyle(D, metres);
  sheet.SetColumnStyle(E, metres);
  sheet.SetColumnStyle(F, millimetres);
  const double widths[] = {20, 13, 11, 14, 13, 10};
  for (int c = A; c <= F; ++c) sheet.SetColumnWidth(c, widths[c]);

  SetUpPages(sheet, 1, 1, 2);
}

}  // namespace

Workbook TemplateWorkbook::Build() {
  Workbook book;
  BuildInputSheet(book, book.AddSheet(kInputSheet));
  BuildOutputSheet(book, book.AddSheet(kOutputSheet));
  BuildObservationSheet(book, book.AddSheet(kObservationSheet));
  BuildResultSheet(book, book.AddSheet(kResultSheet));
  // The generation adds the same sheet to a workbook that lacks it.
  const Workbook profile = gaocheng::ProfileSheetLayout();
  book.AddSheetCopy(profile, *profile.FindSheet(kProfileSheet));
  book.SetActiveSheet(0);
  book.SetModified(false);
  return book;
}

}  // namespace templates
