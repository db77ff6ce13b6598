#include <gtest/gtest.h>

#include <cmath>

#include "numfmt/BuiltinNumberFormats.h"
#include "xlsx/read/SharedFormula.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/isolate/WorkbookSerializer.h"
#include "tests/support/ParamName.h"

namespace spreadsheet {
namespace {

struct ShiftCase {
  const char* formula;
  int rows;
  int columns;
  const char* expected;
};

class SharedFormulaShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(SharedFormulaShift, MovesRelativeReferencesOnly) {
  const ShiftCase& c = GetParam();
  EXPECT_EQ(SharedFormula::Shift(c.formula, c.rows, c.columns), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SharedFormulaShift,
    ::testing::Values(ShiftCase{"A1*2", 1, 0, "A2*2"}, ShiftCase{"$A$1+B$2+$C3", 2, 1, "$A$1+C$2+$C5"},
                      ShiftCase{"SUM(A1:B2)", 3, 2, "SUM(C4:D5)"}, ShiftCase{"ROUND(E5-F5,3)", 1, 0, "ROUND(E6-F6,3)"},
                      ShiftCase{"\"A1\"&A1", 1, 0, "\"A1\"&A2"}, ShiftCase{"'Sheet A1'!A1", 1, 0, "'Sheet A1'!A2"},
                      ShiftCase{"数据输入!E5*1000", 4, 0, "数据输入!E9*1000"}, ShiftCase{"LOG10(A1)", 1, 0, "LOG10(A2)"},
                      ShiftCase{"SUM(C:C)", 5, 1, "SUM(D:D)"}, ShiftCase{"SUM(2:3)", 2, 4, "SUM(4:5)"},
                      ShiftCase{"1.5E+10+A1", 1, 0, "1.5E+10+A2"}, ShiftCase{"A1", -1, 0, "#REF!"},
                      ShiftCase{"IV1+A1", 0, 1, "#REF!+B1"}, ShiftCase{"A65536", 1, 0, "#REF!"},
                      ShiftCase{"TRUE+A1", 0, 0, "TRUE+A1"}, ShiftCase{"\"say \"\"B2\"\"\"&B2", 0, 1, "\"say \"\"B2\"\"\"&C2"}),
    testsupport::NameBy([](const ShiftCase& c) {
      return testsupport::ParamName(c.formula, "down", c.rows, "right", c.columns);
    }));

TEST(BuiltinNumberFormats, IdsAndCodesMatchBothWays) {
  const std::pair<int, const char*> known[] = {{0, "General"}, {1, "0"},      {2, "0.00"},    {3, "#,##0"},
                                               {4, "#,##0.00"}, {9, "0%"},      {10, "0.00%"},  {11, "0.00E+00"},
                                               {14, "yyyy/m/d"}, {49, "@"}};
  for (const auto& [id, code] : known) {
    SCOPED_TRACE(code);
    EXPECT_EQ(BuiltinNumberFormats::Code(id), std::optional<std::string_view>(code));
    EXPECT_EQ(BuiltinNumberFormats::IdOf(code), id);
  }
  EXPECT_FALSE(BuiltinNumberFormats::Code(5).has_value());
  EXPECT_FALSE(BuiltinNumberFormats::Code(164).has_value());
  EXPECT_EQ(BuiltinNumberFormats::IdOf("0.000"), -1);
}

Workbook Sample() {
  Workbook wb;
  CellStyle s;
  s.numberFormat = "0.000";
  s.fontName = "宋体";
  s.fontColor = 0x112233;
  s.bottom = {BorderStyle::Double, 0x445566};
  s.wrapText = true;
  const std::uint32_t id = wb.InternStyle(s);
  Worksheet& a = wb.AddSheet("数据输入");
  a.SetValue(CellAddress{0, 0}, -0.0);
  a.SetValue(CellAddress{65535, 255}, std::string("角"));
  a.SetFormula(CellAddress{3, 2}, "A1+1", 1.0);
  a.SetStyle(CellAddress{3, 3}, id);
  a.SetColumnWidth(2, 12.57);
  a.SetRowHeight(7, 22.5);
  a.SetColumnStyle(4, id);
  a.AddMerge(CellRange::Parse("A2:C3"));
  a.Print().landscape = true;
  a.Print().repeatRowsFirst = 1;
  a.Print().repeatRowsLast = 2;
  wb.AddSheet("水准表");
  wb.SetActiveSheet(1);
  wb.SetModified(true);
  wb.SetDates(DateSystem::From1904);
  wb.SetDefinedNames({{"起点高程", -1, "'数据输入'!$E$6"}, {"Local", 1, "$A$1"}});
  return wb;
}

TEST(WorkbookSerializer, ImageRebuildsTheSameWorkbook) {
  const Workbook wb = Sample();
  const Workbook back = WorkbookSerializer::Deserialize(WorkbookSerializer::Serialize(wb));
  ASSERT_EQ(back.SheetCount(), 2u);
  EXPECT_EQ(back.ActiveSheet(), 1u);
  EXPECT_TRUE(back.IsModified());
  EXPECT_EQ(back.Dates(), DateSystem::From1904);
  EXPECT_EQ(back.DefinedNames(), Sample().DefinedNames());
  ASSERT_EQ(back.StyleCount(), wb.StyleCount());
  for (std::uint32_t i = 0; i < wb.StyleCount(); ++i) EXPECT_EQ(back.Style(i), wb.Style(i));
  const Worksheet& a = back.SheetAt(0);
  EXPECT_EQ(a.Name(), "数据输入");
  EXPECT_TRUE(std::signbit(std::get<double>(a.Value(CellAddress{0, 0}))));
  EXPECT_EQ(a.Value(CellAddress{65535, 255}), CellValue(std::string("角")));
  EXPECT_EQ(a.FindCell(CellAddress{3, 2})->formula, "A1+1");
  EXPECT_EQ(a.StyleAt(CellAddress{3, 3}), 1u);
  EXPECT_EQ(a.ColumnWidths(), wb.SheetAt(0).ColumnWidths());
  EXPECT_EQ(a.RowHeights(), wb.SheetAt(0).RowHeights());
  EXPECT_EQ(a.ColumnStyles(), wb.SheetAt(0).ColumnStyles());
  EXPECT_EQ(a.Merges(), wb.SheetAt(0).Merges());
  EXPECT_EQ(a.Print(), wb.SheetAt(0).Print());
}

TEST(WorkbookSerializer, DamagedImagesAreRejected) {
  const std::string image = WorkbookSerializer::Serialize(Sample());
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, image.size() / 2, image.size() - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_THROW(WorkbookSerializer::Deserialize(image.substr(0, cut)), SpreadsheetError);
  }
  EXPECT_THROW(WorkbookSerializer::Deserialize(image + "x"), SpreadsheetError);
  std::string wrongMagic = image;
  wrongMagic[0] ^= 0x55;
  EXPECT_THROW(WorkbookSerializer::Deserialize(wrongMagic), SpreadsheetError);
}

}  // namespace
}  // namespace spreadsheet
