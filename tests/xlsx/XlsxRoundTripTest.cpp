#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "tests/xlsx/XlsxTestSupport.h"

namespace spreadsheet {
namespace {

using testing::TempDir;

CellAddress A(const char* text) { return CellAddress::Parse(text); }

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Workbook SaveAndLoad(const Workbook& wb, const TempDir& dir) {
  const std::string path = dir.File("roundtrip.xlsx");
  XlsxExporter::Save(wb, path);
  return XlsxImporter::Load(path);
}

const double kNumbers[] = {
    0.1 + 0.2,
    1e-300,
    -0.0,
    0.0,
    1.0 / 3.0,
    -2.5,
    123456789.12345679,
    98.667 - 1.456,
    5e-324,
    std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(),
    1e22,
    65535.0,
};

TEST(XlsxRoundTrip, NumbersKeepEveryBit) {
  TempDir dir;
  Workbook wb;
  Worksheet& ws = wb.AddSheet("Sheet1");
  for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
    ws.SetValue(CellAddress{static_cast<int>(i), 0}, kNumbers[i]);
    ws.SetFormula(CellAddress{static_cast<int>(i), 1}, "A" + std::to_string(i + 1) + "*1", kNumbers[i]);
  }
  const Workbook back = SaveAndLoad(wb, dir);
  const Worksheet& bs = back.SheetAt(0);
  for (std::size_t i = 0; i < std::size(kNumbers); ++i) {
    SCOPED_TRACE(i);
    for (int col = 0; col < 2; ++col) {
      const CellValue v = bs.Value(CellAddress{static_cast<int>(i), col});
      ASSERT_TRUE(IsNumber(v));
      EXPECT_TRUE(SameBits(std::get<double>(v), kNumbers[i])) << std::get<double>(v) << " vs " << kNumbers[i];
    }
    EXPECT_EQ(bs.FindCell(CellAddress{static_cast<int>(i), 1})->formula, "A" + std::to_string(i + 1) + "*1");
  }
}

TEST(XlsxRoundTrip, TextsAndFormulasWithCachedValues) {
  TempDir dir;
  const std::string longText = [] {
    std::string s;
    while (s.size() < 32000) s += "普通水准计算 ZD1 <&>\"' ";
    return s;
  }();
  Workbook wb;
  Worksheet& ws = wb.AddSheet("数据输入");
  ws.SetValue(A("A1"), std::string("普通水准计算"));
  ws.SetValue(A("A2"), longText);
  ws.SetValue(A("A3"), std::string("  leading and trailing  "));
  ws.SetValue(A("A4"), std::string("two\nlines"));
  ws.SetValue(A("A5"), std::string("<tag a=\"1\"> & 'q'"));
  ws.SetValue(A("A6"), std::string("0123"));
  ws.SetValue(A("A7"), std::string(""));
  ws.SetValue(A("IV65536"), std::string("corner"));
  ws.SetFormula(A("B1"), "\"A\"&\"B\"", std::string("AB"));
  ws.SetFormula(A("B2"), "ROUND(C2,3)", 1.235);
  ws.SetFormula(A("B3"), "IF(C3>0,\"右\",\"左\")", std::string("左"));
  ws.SetFormula(A("B4"), "SUM(C:C)", 0.0);

  const Workbook back = SaveAndLoad(wb, dir);
  const Worksheet& bs = back.SheetAt(0);
  EXPECT_EQ(bs.Name(), "数据输入");
  EXPECT_EQ(bs.Value(A("A1")), CellValue(std::string("普通水准计算")));
  EXPECT_EQ(bs.Value(A("A2")), CellValue(longText));
  EXPECT_EQ(bs.Value(A("A3")), CellValue(std::string("  leading and trailing  ")));
  EXPECT_EQ(bs.Value(A("A4")), CellValue(std::string("two\nlines")));
  EXPECT_EQ(bs.Value(A("A5")), CellValue(std::string("<tag a=\"1\"> & 'q'")));
  EXPECT_EQ(bs.Value(A("A6")), CellValue(std::string("0123")));
  // A file cannot hold an empty text constant: it comes back as an empty cell.
  EXPECT_TRUE(IsEmptyValue(bs.Value(A("A7"))));
  EXPECT_EQ(bs.Value(A("IV65536")), CellValue(std::string("corner")));
  const struct {
    const char* cell;
    const char* formula;
    CellValue cached;
  } formulas[] = {
      {"B1", "\"A\"&\"B\"", std::string("AB")},
      {"B2", "ROUND(C2,3)", 1.235},
      {"B3", "IF(C3>0,\"右\",\"左\")", std::string("左")},
      {"B4", "SUM(C:C)", 0.0},
  };
  for (const auto& f : formulas) {
    SCOPED_TRACE(f.cell);
    const Cell* c = bs.FindCell(A(f.cell));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->formula, f.formula);
    EXPECT_EQ(c->value, f.cached);
  }
  EXPECT_FALSE(back.IsModified());
}

TEST(XlsxRoundTrip, TextLongerThanACellHoldsIsAnError) {
  TempDir dir;
  Workbook wb;
  wb.AddSheet("S").SetValue(A("C7"), std::string(32768, 'x'));
  try {
    XlsxExporter::Save(wb, dir.File("long.xlsx"));
    FAIL() << "no error";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find("C7"), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find("long.xlsx"), std::string::npos) << e.Description();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("long.xlsx")));
}

TEST(XlsxRoundTrip, NumberFormatsBuiltInAndCustom) {
  const char* codes[] = {"General", "0",        "0.00",     "#,##0",     "#,##0.00",        "0%",
                         "0.00%",   "0.00E+00", "@",        "yyyy/m/d",  "0.000",           "0.###",
                         "0.0000",  "#,##0.000", "0.00_ ;[Red]\\-0.00\\ ", "[$-804]yyyy\"年\"m\"月\"d\"日\"", "0.000;-0.000;\"-\"",
                         "m/d/yy"};
  TempDir dir;
  Workbook wb;
  Worksheet& ws = wb.AddSheet("F");
  for (std::size_t i = 0; i < std::size(codes); ++i) {
    CellStyle s;
    s.numberFormat = codes[i];
    ws.SetValue(CellAddress{static_cast<int>(i), 0}, 1234.5678);
    ws.SetStyle(CellAddress{static_cast<int>(i), 0}, wb.InternStyle(s));
  }
  const Workbook back = SaveAndLoad(wb, dir);
  for (std::size_t i = 0; i < std::size(codes); ++i) {
    SCOPED_TRACE(codes[i]);
    const Worksheet& bs = back.SheetAt(0);
    EXPECT_EQ(back.Style(bs.StyleAt(CellAddress{static_cast<int>(i), 0})).numberFormat, codes[i]);
  }
}

CellStyle RichStyle() {
  CellStyle s;
  s.numberFormat = "0.000";
  s.fontName = "宋体";
  s.fontSize = 12;
  s.bold = true;
  s.italic = true;
  s.fontColor = 0xFF0000;
  s.horizontal = HorizontalAlignment::Center;
  s.vertical = VerticalAlignment::Center;
  s.left = {BorderStyle::Thin, 0};
  s.right = {BorderStyle::Medium, 0x00FF00};
  s.top = {BorderStyle::Double, 0x0000FF};
  s.bottom = {BorderStyle::Thick, 0};
  s.fill = 0xFFFF00;
  return s;
}

TEST(XlsxRoundTrip, StylesComeBackEqual) {
  std::vector<CellStyle> styles;
  styles.push_back(RichStyle());
  CellStyle boldOnly;
  boldOnly.bold = true;
  styles.push_back(boldOnly);
  CellStyle black;
  black.fontColor = 0x000000;
  black.fill = 0x000000;
  styles.push_back(black);
  CellStyle wrapped;
  wrapped.wrapText = true;
  wrapped.vertical = VerticalAlignment::Top;
  styles.push_back(wrapped);
  CellStyle sizeOnly;
  sizeOnly.fontSize = 9;
  sizeOnly.horizontal = HorizontalAlignment::Right;
  sizeOnly.vertical = VerticalAlignment::Top;
  styles.push_back(sizeOnly);
  for (BorderStyle b : {BorderStyle::Thin, BorderStyle::Medium, BorderStyle::Thick, BorderStyle::Dashed,
                        BorderStyle::Dotted, BorderStyle::Double, BorderStyle::Hair}) {
    CellStyle s;
    s.bottom = {b, 0x123456};
    s.horizontal = HorizontalAlignment::Left;
    styles.push_back(s);
  }

  TempDir dir;
  Workbook wb;
  Worksheet& ws = wb.AddSheet("S");
  for (std::size_t i = 0; i < styles.size(); ++i) {
    ws.SetStyle(CellAddress{static_cast<int>(i), 1}, wb.InternStyle(styles[i]));
    ws.SetValue(CellAddress{static_cast<int>(i), 0}, 1.0);
    ws.SetStyle(CellAddress{static_cast<int>(i), 0}, wb.InternStyle(styles[i]));
  }
  const Workbook back = SaveAndLoad(wb, dir);
  const Worksheet& bs = back.SheetAt(0);
  for (std::size_t i = 0; i < styles.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back.Style(bs.StyleAt(CellAddress{static_cast<int>(i), 0})), styles[i]);
    // A styled empty cell keeps its style.
    EXPECT_EQ(back.Style(bs.StyleAt(CellAddress{static_cast<int>(i), 1})), styles[i]);
  }
  EXPECT_EQ(bs.StyleAt(A("D1")), 0u);
}

TEST(XlsxRoundTrip, LayoutMergesColumnStylesAndSheetOrder) {
  TempDir dir;
  Workbook wb;
  wb.AddSheet("数据输入").SetValue(A("A1"), 1.0);
  Worksheet& ws = wb.AddSheet("水准表");
  wb.AddSheet("Sheet 3");
  wb.SetActiveSheet(1);
  const double widths[] = {8.43, 13, 10.57, 0.5, 20.71, 2.14};
  for (std::size_t i = 0; i < std::size(widths); ++i) ws.SetColumnWidth(static_cast<int>(i) * 2, widths[i]);
  ws.SetRowHeight(0, 20.25);
  ws.SetRowHeight(3, 30);
  ws.SetRowHeight(65535, 9.75);
  CellStyle colStyle;
  colStyle.numberFormat = "0.000";
  ws.SetColumnStyle(3, wb.InternStyle(colStyle));
  ws.SetColumnStyle(5, wb.InternStyle(colStyle));
  ws.SetColumnWidth(5, 12);
  ws.AddMerge(CellRange::Parse("A1:I1"));
  ws.AddMerge(CellRange::Parse("B2:C3"));
  ws.SetValue(A("A1"), std::string("普通水准表格"));
  ws.SetValue(A("B2"), 42.0);
  ws.SetStyle(A("C3"), wb.InternStyle(RichStyle()));

  const Workbook back = SaveAndLoad(wb, dir);
  ASSERT_EQ(back.SheetCount(), 3u);
  EXPECT_EQ(back.SheetAt(0).Name(), "数据输入");
  EXPECT_EQ(back.SheetAt(1).Name(), "水准表");
  EXPECT_EQ(back.SheetAt(2).Name(), "Sheet 3");
  EXPECT_EQ(back.ActiveSheet(), 1u);
  const Worksheet& bs = back.SheetAt(1);
  for (std::size_t i = 0; i < std::size(widths); ++i) {
    SCOPED_TRACE(widths[i]);
    ASSERT_TRUE(bs.ColumnWidth(static_cast<int>(i) * 2).has_value());
    EXPECT_DOUBLE_EQ(*bs.ColumnWidth(static_cast<int>(i) * 2), widths[i]);
  }
  EXPECT_FALSE(bs.ColumnWidth(1).has_value());
  EXPECT_EQ(bs.RowHeights(), ws.RowHeights());
  EXPECT_EQ(back.Style(bs.ColumnStyle(3)).numberFormat, "0.000");
  EXPECT_EQ(back.Style(bs.ColumnStyle(5)).numberFormat, "0.000");
  EXPECT_DOUBLE_EQ(bs.ColumnWidth(5).value_or(0), 12);
  EXPECT_EQ(bs.Merges(), ws.Merges());
  EXPECT_EQ(bs.Value(A("A1")), CellValue(std::string("普通水准表格")));
  EXPECT_EQ(bs.Value(A("B2")), CellValue(42.0));
  EXPECT_EQ(back.Style(bs.StyleAt(A("C3"))), RichStyle());
  EXPECT_EQ(bs.StyleAt(A("C2")), 0u);
}

TEST(XlsxRoundTrip, PrintSetupComesBack) {
  PrintSetup setups[3];
  setups[0].landscape = true;
  setups[0].paperSize = 8;  // A3
  setups[0].repeatRowsFirst = 0;
  setups[0].repeatRowsLast = 3;
  setups[0].fitToWidth = 1;
  setups[0].centerHorizontally = true;
  setups[0].printGridLines = true;
  setups[0].marginLeft = 0.5;
  setups[0].marginRight = 0.25;
  setups[0].marginTop = 1.0;
  setups[0].marginBottom = 0.6;
  setups[1].repeatRowsFirst = 4;
  setups[1].repeatRowsLast = 4;
  setups[1].fitToWidth = 2;
  setups[1].header = "&L工程名称：R&&D <路>\n第二行&R合同段：\"A\"";
  setups[1].footer = "&C第 &P 页 共 &N 页";
  setups[1].rowBreaks = {5, 60, 65535};
  setups[0].footer = "&R&P";
  // setups[2]: the defaults.
  TempDir dir;
  Workbook wb;
  const char* names[] = {"水准 表", "O'Brien", "Sheet3"};
  for (int i = 0; i < 3; ++i) {
    Worksheet& ws = wb.AddSheet(names[i]);
    ws.Print() = setups[i];
    ws.SetValue(A("A1"), 1.0);
  }
  const Workbook back = SaveAndLoad(wb, dir);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(back.SheetAt(static_cast<std::size_t>(i)).Print(), setups[i]);
  }
}

}  // namespace
}  // namespace spreadsheet

namespace spreadsheet {
namespace {

// A read that leaves out the contents of an area, then clears that area, gives the workbook
// and the saved file of a whole read cleared the same way: formats in the area, everything
// around it and the package as a whole.
TEST(XlsxRoundTrip, ContentsLeftOutAreWhatClearingLeaves) {
  TempDir dir;
  Workbook wb;
  Worksheet& route = wb.AddSheet("数据输入");
  route.SetValue(CellAddress{0, 0}, std::string("路线"));
  Worksheet& book = wb.AddSheet("水准表");
  CellStyle metres;
  metres.numberFormat = "0.000";
  const std::uint32_t styled = wb.InternStyle(metres);
  book.SetValue(CellAddress{0, 0}, std::string("水准表"));  // above the area
  for (int r = 4; r < 400; ++r) {
    for (int c = 0; c < 9; ++c) book.SetValue(CellAddress{r, c}, r * 0.5 + c);
    book.SetStyle(CellAddress{r, 1}, styled);
    book.SetValue(CellAddress{r, 9}, std::string("旁注"));  // beside the area, column J
  }
  book.SetFormula(CellAddress{6, 2}, "B7*2", NoStoredResult{});  // inside: left out
  const std::string path = dir.File("book.xlsx");
  XlsxExporter::Save(wb, path);

  const CellRange area = CellRange::Parse("A5:I65536");
  XlsxImporter::Limits limits;
  limits.leftOut = {"水准表", area};
  Workbook whole = XlsxImporter::Load(path);
  Workbook leftOut = XlsxImporter::Load(path, limits);
  EXPECT_TRUE(IsEmptyValue(leftOut.SheetAt(1).Value(CellAddress{10, 3})));
  EXPECT_EQ(leftOut.SheetAt(1).StyleAt(CellAddress{10, 1}), styled);
  EXPECT_EQ(leftOut.SheetAt(1).Value(CellAddress{10, 9}), CellValue(std::string("旁注")));
  for (Workbook* read : {&whole, &leftOut}) {
    read->SheetAt(1).ClearContents(area);
    read->SheetAt(1).SetValue(CellAddress{4, 0}, std::string("新"));
  }
  XlsxExporter::Save(whole, dir.File("whole.xlsx"));
  XlsxExporter::Save(leftOut, dir.File("left-out.xlsx"));
  EXPECT_EQ(testing::ReadFile(dir.File("left-out.xlsx")), testing::ReadFile(dir.File("whole.xlsx")));
}

}  // namespace
}  // namespace spreadsheet
