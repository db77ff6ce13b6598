// Formula texts moved by copies and by rows and columns inserted or deleted.
#include <gtest/gtest.h>

#include "calc/Recalculator.h"
#include "calc/ReferenceRewriter.h"
#include "workbook/Workbook.h"

namespace spreadsheet::calc {
namespace {

struct ShiftCase {
  const char* formula;
  int rows, columns;
  const char* expected;
};

class ShiftTest : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(ShiftTest, MovesRelativePartsOnly) {
  const ShiftCase& c = GetParam();
  EXPECT_EQ(ReferenceRewriter::Shift(c.formula, c.rows, c.columns), c.expected) << c.formula;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShiftTest,
    ::testing::Values(ShiftCase{"E8+0.3", 1, 0, "E9+0.3"}, ShiftCase{"$E$8+E$8+$E8", 2, 1, "$E$8+F$8+$E10"},
                      ShiftCase{"sum( A1:b2 ) * 2", 1, 1, "sum( B2:C3 ) * 2"}, ShiftCase{"A1", -1, 0, "#REF!"},
                      ShiftCase{"SUM(A1:A5)+A2", -1, 0, "SUM(#REF!)+A1"}, ShiftCase{"IV1+1", 0, 1, "#REF!+1"},
                      ShiftCase{"'数据 输入'!B2&\"A1\"", 3, 0, "'数据 输入'!B5&\"A1\""},
                      ShiftCase{"数据!$A1", 65535, 0, "数据!$A65536"}, ShiftCase{"A:A+1:1", 5, 2, "C:C+6:6"},
                      ShiftCase{"A1+", 1, 1, "A1+"}, ShiftCase{"XFD1+A1", 1, 0, "XFD1+A2"}));

struct AdjustCase {
  const char* formula;
  const char* formulaSheet;
  StructureChange change;
  const char* expected;
};

class AdjustTest : public ::testing::TestWithParam<AdjustCase> {};

TEST_P(AdjustTest, FollowsTheRowsAndColumnsReferredTo) {
  const AdjustCase& c = GetParam();
  EXPECT_EQ(ReferenceRewriter::Adjust(c.formula, c.formulaSheet, c.change), c.expected) << c.formula;
}

using Axis = StructureChange::Axis;
INSTANTIATE_TEST_SUITE_P(
    Table, AdjustTest,
    ::testing::Values(
        // Rows 9.. (index 8) deleted or inserted on 数据输入.
        AdjustCase{"E9+0.3", "数据输入", {"数据输入", Axis::Rows, 8, -1}, "#REF!+0.3"},
        AdjustCase{"E10+0.3", "数据输入", {"数据输入", Axis::Rows, 8, -1}, "E9+0.3"},
        AdjustCase{"E8+0.3", "数据输入", {"数据输入", Axis::Rows, 8, -1}, "E8+0.3"},
        AdjustCase{"SUM(E5:E20)", "数据输入", {"数据输入", Axis::Rows, 8, -3}, "SUM(E5:E17)"},
        AdjustCase{"SUM(E9:E11)", "数据输入", {"数据输入", Axis::Rows, 8, -3}, "SUM(#REF!)"},
        AdjustCase{"SUM(E10:E20)", "数据输入", {"数据输入", Axis::Rows, 8, -3}, "SUM(E9:E17)"},
        AdjustCase{"SUM(E5:E9)", "数据输入", {"数据输入", Axis::Rows, 8, -3}, "SUM(E5:E8)"},
        AdjustCase{"SUM(E5:E20)", "数据输入", {"数据输入", Axis::Rows, 8, 2}, "SUM(E5:E22)"},
        AdjustCase{"SUM(E9:E20)", "数据输入", {"数据输入", Axis::Rows, 8, 2}, "SUM(E11:E22)"},
        AdjustCase{"$E$9", "数据输入", {"数据输入", Axis::Rows, 8, 2}, "$E$11"},
        AdjustCase{"E65535", "数据输入", {"数据输入", Axis::Rows, 0, 2}, "#REF!"},
        AdjustCase{"SUM(E1:E65536)", "数据输入", {"数据输入", Axis::Rows, 0, 2}, "SUM(E3:E65536)"},
        AdjustCase{"E:E+9:9", "数据输入", {"数据输入", Axis::Rows, 0, 1}, "E:E+10:10"},
        // Another sheet: only references qualified with the changed sheet's name (any case) move.
        AdjustCase{"E9+数据输入!E9", "表二", {"数据输入", Axis::Rows, 0, 1}, "E9+数据输入!E10"},
        AdjustCase{"'Sheet 1'!B2+sheet1!B2", "x", {"SHEET 1", Axis::Rows, 0, 1}, "'Sheet 1'!B3+sheet1!B2"},
        // Columns.
        AdjustCase{"SUM(B1:D1)+C1", "S", {"S", Axis::Columns, 2, -1}, "SUM(B1:C1)+#REF!"},
        AdjustCase{"SUM(B1:D1)+1:1", "S", {"S", Axis::Columns, 1, 1}, "SUM(C1:E1)+1:1"},
        AdjustCase{"SUM(B:D)", "S", {"S", Axis::Columns, 0, -2}, "SUM(A:B)"},
        // Changes beyond the sheet: everything deleted, everything pushed off.
        AdjustCase{"A5+1", "S", {"S", Axis::Rows, -7, -2147483647}, "#REF!+1"},
        AdjustCase{"A5+1", "S", {"S", Axis::Rows, 2, 2147483647}, "#REF!+1"}));

TEST(RenameSheetTest, QualifiedReferencesNameTheNewSheetQuotedWhereNeeded) {
  EXPECT_EQ(ReferenceRewriter::RenameSheet("数据输入!E8+'数据输入'!A1:B2+E8+成果!A1", "数据输入", "数据 输入"),
            "'数据 输入'!E8+'数据 输入'!A1:B2+E8+成果!A1");
  EXPECT_EQ(ReferenceRewriter::RenameSheet("SUM(sheet1!A:A)", "Sheet1", "成果"), "SUM(成果!A:A)");
  EXPECT_EQ(ReferenceRewriter::SheetPrefix("A1"), "'A1'!");
  EXPECT_EQ(ReferenceRewriter::SheetPrefix("it's"), "'it''s'!");
  EXPECT_EQ(ReferenceRewriter::SheetPrefix("2024"), "'2024'!");
  EXPECT_EQ(ReferenceRewriter::SheetPrefix("true"), "'true'!");
  EXPECT_EQ(ReferenceRewriter::SheetPrefix("表_1.b"), "表_1.b!");
}

TEST(AdjustWorkbookTest, RewritesEveryFormulaThatRefersToTheSheet) {
  Workbook wb;
  Worksheet& input = wb.AddSheet("数据输入");
  Worksheet& other = wb.AddSheet("成果");
  input.SetValue(CellAddress::Parse("E6"), 150.826);
  input.SetFormula(CellAddress::Parse("E8"), "E6+1.5", 0.0);
  input.SetFormula(CellAddress::Parse("E9"), "E8+0.3", 0.0);
  input.SetFormula(CellAddress::Parse("E10"), "E9+0.3", 0.0);
  other.SetFormula(CellAddress::Parse("A1"), "数据输入!E10*2", 0.0);
  other.SetFormula(CellAddress::Parse("A2"), "E10", 0.0);

  input.DeleteRows(8, 1);
  const StructureChange change{"数据输入", Axis::Rows, 8, -1};
  EXPECT_EQ(ReferenceRewriter::AdjustWorkbook(wb, change), 2u);
  EXPECT_EQ(input.FindCell(CellAddress::Parse("E9"))->formula, "#REF!+0.3");
  EXPECT_EQ(other.FindCell(CellAddress::Parse("A1"))->formula, "数据输入!E9*2");
  EXPECT_EQ(other.FindCell(CellAddress::Parse("A2"))->formula, "E10");
  Recalculator calc(wb);
  calc.RecalculateAll();
  EXPECT_EQ(input.Value(CellAddress::Parse("E9")), CellValue(CellError{"#REF!"}));
  EXPECT_EQ(other.Value(CellAddress::Parse("A1")), CellValue(CellError{"#REF!"}));
}

}  // namespace
}  // namespace spreadsheet::calc
