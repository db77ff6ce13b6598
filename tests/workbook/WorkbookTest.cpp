#include <gtest/gtest.h>

#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"

using namespace spreadsheet;

TEST(Workbook, SheetsAreFoundByExactName) {
  Workbook wb;
  wb.AddSheet("数据输入");
  wb.AddSheet("水准表");
  EXPECT_EQ(wb.IndexOf("水准表"), 1);
  EXPECT_EQ(wb.IndexOf("水准"), -1);
  EXPECT_EQ(wb.FindSheet("missing"), nullptr);
  EXPECT_THROW(wb.AddSheet("水准表"), SpreadsheetError);
  EXPECT_THROW(wb.AddSheet(""), SpreadsheetError);
}

TEST(Workbook, InternsEqualStylesOnce) {
  Workbook wb;
  CellStyle bold;
  bold.bold = true;
  const auto a = wb.InternStyle(bold);
  const auto b = wb.InternStyle(bold);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, 0u);
  EXPECT_EQ(wb.InternStyle(CellStyle{}), 0u);
  EXPECT_EQ(wb.StyleCount(), 2u);
}

TEST(Workbook, CopyIsDeep) {
  Workbook wb;
  wb.AddSheet("S").SetValue({0, 0}, 1.0);
  Workbook copy = wb;
  copy.SheetAt(0).SetValue({0, 0}, 2.0);
  EXPECT_EQ(std::get<double>(wb.SheetAt(0).Value({0, 0})), 1.0);
}

// A sheet copied from another workbook keeps what its cells and columns look like, under this
// workbook's style ids; taking a sheet out keeps the active sheet where it was.
TEST(Workbook, SheetsCopiedInAndTakenOut) {
  Workbook source;
  CellStyle bold, metres;
  bold.bold = true;
  metres.numberFormat = "0.000";
  Worksheet& from = source.AddSheet("纵断面");
  from.SetStyle({3, 1}, source.InternStyle(bold));
  from.SetColumnStyle(2, source.InternStyle(metres));
  from.SetOrigin(SheetOrigin{"/xl/worksheets/sheet9.xml", 1, 2, 3, 4, false});
  Workbook wb;
  wb.AddSheet("数据输入");
  CellStyle italic;
  italic.italic = true;
  wb.InternStyle(italic);  // the ids of the two workbooks differ
  wb.SetActiveSheet(0);
  const Worksheet& copy = wb.AddSheetCopy(source, from);
  EXPECT_EQ(wb.Style(copy.StyleAt({3, 1})), bold);
  EXPECT_EQ(wb.Style(copy.StyleAt({70, 2})), metres);
  EXPECT_EQ(copy.StyleAt({0, 0}), 0u);
  EXPECT_TRUE(copy.Origin().part.empty());
  EXPECT_THROW(wb.AddSheetCopy(source, from), SpreadsheetError);
  wb.SetActiveSheet(1);
  const Worksheet taken = wb.RemoveSheet(1);
  EXPECT_EQ(taken.Name(), "纵断面");
  EXPECT_EQ(wb.SheetCount(), 1u);
  EXPECT_EQ(wb.ActiveSheet(), 0u);
  wb.AddSheet(taken);
  EXPECT_EQ(wb.Style(wb.SheetAt(1).StyleAt({3, 1})), bold);
  EXPECT_THROW(wb.RemoveSheet(2), std::out_of_range);
}

TEST(Worksheet, ClearContentsKeepsStylesAndCellsOutside) {
  Workbook wb;
  Worksheet& s = wb.AddSheet("S");
  CellStyle fmt;
  fmt.numberFormat = "0.000";
  const auto id = wb.InternStyle(fmt);
  s.SetValue({4, 0}, std::string("BM1"));
  s.SetStyle({4, 0}, id);
  s.SetFormula({4, 1}, "1+1", 2.0);
  s.SetValue({4, 9}, 7.0);  // column J lies outside A:I
  s.SetValue({1, 8}, std::string("±6√n=±6"));
  s.ClearContents(CellRange::Parse("A5:I65536"));
  EXPECT_TRUE(IsEmptyValue(s.Value({4, 0})));
  EXPECT_EQ(s.StyleAt({4, 0}), id);
  EXPECT_FALSE(s.FindCell({4, 1})->HasFormula());
  EXPECT_EQ(std::get<double>(s.Value({4, 9})), 7.0);
  EXPECT_EQ(std::get<std::string>(s.Value({1, 8})), "±6√n=±6");
}

TEST(Worksheet, ColumnStyleAppliesWhereTheCellHasNone) {
  Worksheet s("S");
  s.SetColumnStyle(2, 5);
  EXPECT_EQ(s.StyleAt({100, 2}), 5u);
  s.SetStyle({100, 2}, 3);
  EXPECT_EQ(s.StyleAt({100, 2}), 3u);
  EXPECT_EQ(s.StyleAt({100, 3}), 0u);
}

TEST(Worksheet, MergesMayNotOverlap) {
  Worksheet s("S");
  s.AddMerge(CellRange::Parse("A1:H1"));
  EXPECT_THROW(s.AddMerge(CellRange::Parse("H1:I2")), SpreadsheetError);
  s.AddMerge(CellRange::Parse("A2:B2"));
  s.AddMerge(CellRange::Parse("C3:C3"));  // a single cell: no merge, and none to overlap
  EXPECT_EQ(s.MergeAt({2, 2}), nullptr);
  s.AddMerge(CellRange::Parse("C3:D3"));
  ASSERT_NE(s.MergeAt({0, 4}), nullptr);
  EXPECT_EQ(s.MergeAt({0, 4})->ToString(), "A1:H1");
  EXPECT_EQ(s.MergeAt({2, 0}), nullptr);
}
