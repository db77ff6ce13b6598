// Recomputing a workbook's formulas: whole-book, after edits, through ranges and sheets, long
// chains, circles and formulas that cannot be read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc/Recalculator.h"
#include "workbook/Workbook.h"

namespace spreadsheet::calc {
namespace {

CellAddress At(const char* a) { return CellAddress::Parse(a); }

double Number(const Worksheet& ws, const char* a) {
  const CellValue v = ws.Value(At(a));
  EXPECT_TRUE(IsNumber(v)) << a;
  return IsNumber(v) ? std::get<double>(v) : -1e300;
}

// Names the file defines: one fixed reference or a number reads as that (a sheet's own name
// before the workbook's, any case), and an edit of the named cell reaches the formula; any
// other definition leaves the name unknown, so the formula has no value.
TEST(RecalculatorTest, DefinedNamesReadTheirCells) {
  struct Case {
    const char* formula;
    CellValue expected;  // NoStoredResult: no value
  };
  const Case cases[] = {
      {"起点高程+1.25", 101.25},         {"SUM(Heights)", 6.0},
      {"heights_local*2", 14.0},         {"Factor*E1", 15.0},
      {"Relative+1", NoStoredResult{}},  {"Added+1", NoStoredResult{}},
      {"Undefined+1", NoStoredResult{}}, {"Chart+1", NoStoredResult{}},
  };
  Workbook wb;
  Worksheet& input = wb.AddSheet("数据输入");
  Worksheet& other = wb.AddSheet("B");
  input.SetValue(At("E6"), 100.0);
  input.SetValue(At("E1"), 5.0);
  for (const char* a : {"A1", "A2", "A3"}) other.SetValue(At(a), static_cast<double>(a[1] - '0'));
  other.SetValue(At("C1"), 7.0);
  wb.SetDefinedNames({{"起点高程", -1, "'数据输入'!$E$6"},
                      {"heights", -1, "B!$A$1:$A$3"},
                      {"HEIGHTS_LOCAL", 0, "B!$C$1"},
                      {"heights_local", -1, "B!$A$1"},
                      {"Factor", -1, "3"},
                      {"Relative", -1, "B!A1"},
                      {"Added", -1, "B!$A$1+B!$A$2"},
                      {"Chart", 1, "B!$A$1"}});
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    input.SetFormula(CellAddress{static_cast<int>(i) + 10, 0}, cases[i].formula, NoStoredResult{});
  }
  Recalculator calc(wb);
  calc.RecalculateAll();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(input.Value(CellAddress{static_cast<int>(i) + 10, 0}), cases[i].expected) << cases[i].formula;
  }
  input.SetValue(At("E6"), 200.0);
  const SheetCell edited{0, At("E6")};
  calc.Changed(std::span(&edited, 1));
  EXPECT_EQ(input.Value(At("A11")), CellValue(201.25));
  EXPECT_EQ(Recalculator::SheetsFormulasRead(wb), (std::vector<bool>{true, true}));
}

TEST(RecalculatorTest, ChainOfAFullSheetRecomputesAndFollowsAnEdit) {
  Workbook wb;
  Worksheet& ws = wb.AddSheet("S");
  ws.SetValue(CellAddress{0, 0}, 1.0);
  for (int r = 1; r < CellAddress::kMaxRows; ++r) {
    ws.SetFormula(CellAddress{r, 0}, "A" + std::to_string(r) + "+1", NoStoredResult{});
  }
  Recalculator calc(wb);
  const Recalculation all = calc.RecalculateAll();
  EXPECT_EQ(all.computed, 65535u);
  EXPECT_FALSE(all.circular);
  EXPECT_EQ(Number(ws, "A65536"), 65536);

  ws.SetValue(At("A1"), 10.0);
  const SheetCell edited{0, At("A1")};
  EXPECT_EQ(calc.Changed(std::span(&edited, 1)).computed, 65535u);
  EXPECT_EQ(Number(ws, "A65536"), 65545);
}

TEST(RecalculatorTest, DiamondRangesAndOtherSheetsComputeOnceInOrder) {
  Workbook wb;
  Worksheet& a = wb.AddSheet("数据输入");
  Worksheet& b = wb.AddSheet("成果");
  a.SetValue(At("E6"), 150.826);
  a.SetFormula(At("B1"), "E6*2", 0.0);
  a.SetFormula(At("C1"), "E6+1", 0.0);
  a.SetFormula(At("D1"), "SUM(B1:C1)", 0.0);  // reads both sides of the diamond
  b.SetFormula(At("A1"), "数据输入!D1-数据输入!E6", 0.0);
  b.SetFormula(At("A2"), "SUM(A1,'成果'!A1)", 0.0);
  b.SetFormula(At("A3"), "SUM(数据输入!E:E)", 0.0);
  Recalculator calc(wb);
  EXPECT_EQ(calc.RecalculateAll().computed, 6u);
  EXPECT_DOUBLE_EQ(Number(b, "A1"), 150.826 * 2 + 1);
  EXPECT_DOUBLE_EQ(Number(b, "A2"), (150.826 * 2 + 1) * 2);

  a.SetValue(At("E6"), 100.0);
  a.SetValue(At("E7"), 5.0);  // read only by the whole-column SUM
  const std::vector<SheetCell> edits{{0, At("E6")}, {0, At("E7")}};
  EXPECT_EQ(calc.Changed(edits).computed, 6u);
  EXPECT_DOUBLE_EQ(Number(b, "A1"), 201);
  EXPECT_DOUBLE_EQ(Number(b, "A3"), 105);

  // A value typed over a formula takes it out of the graph; a formula typed in joins it.
  a.SetValue(At("B1"), 1.0);
  a.SetFormula(At("E7"), "B1*1000", 0.0);
  const std::vector<SheetCell> more{{0, At("B1")}, {0, At("E7")}};
  calc.Changed(more);
  EXPECT_EQ(calc.FormulaCount(), 6u);
  EXPECT_DOUBLE_EQ(Number(a, "D1"), 102);
  EXPECT_DOUBLE_EQ(Number(b, "A3"), 1100);
}

TEST(RecalculatorTest, CirclesGetTheErrorAndTheirReadersStillCompute) {
  Workbook wb;
  Worksheet& ws = wb.AddSheet("S");
  ws.SetFormula(At("A1"), "B1+1", 0.0);
  ws.SetFormula(At("B1"), "A1+1", 0.0);
  ws.SetFormula(At("C1"), "C1", 0.0);
  ws.SetFormula(At("D1"), "IFERROR(A1,7)", 0.0);  // behind the circle, not on it
  ws.SetFormula(At("E1"), "2", 0.0);
  Recalculator calc(wb);
  const Recalculation r = calc.RecalculateAll();
  ASSERT_TRUE(r.circular);
  EXPECT_TRUE(r.circular->cell == At("A1") || r.circular->cell == At("B1") || r.circular->cell == At("C1"));
  for (const char* a : {"A1", "B1", "C1"}) EXPECT_EQ(ws.Value(At(a)), CellValue(CellError{kCircularError})) << a;
  EXPECT_EQ(Number(ws, "D1"), 7);
  EXPECT_EQ(Number(ws, "E1"), 2);

  // An edit away from the circles still names the one left; breaking a circle computes its
  // cells again; with the last one gone, none is named.
  ws.SetValue(At("F1"), 1.0);
  const SheetCell away{0, At("F1")};
  const Recalculation unrelated = calc.Changed(std::span(&away, 1));
  ASSERT_TRUE(unrelated.circular);
  EXPECT_EQ(unrelated.circular->cell, At("A1"));
  ws.SetValue(At("B1"), 5.0);
  const SheetCell edited{0, At("B1")};
  const Recalculation broken = calc.Changed(std::span(&edited, 1));
  ASSERT_TRUE(broken.circular);
  EXPECT_EQ(broken.circular->cell, At("C1"));
  EXPECT_EQ(Number(ws, "A1"), 6);
  EXPECT_EQ(Number(ws, "D1"), 6);
  ws.SetValue(At("C1"), 0.0);
  const SheetCell last{0, At("C1")};
  EXPECT_FALSE(calc.Changed(std::span(&last, 1)).circular);
}

TEST(RecalculatorTest, FormulasThatCannotBeComputedHaveNoValueAndTheirReadersNone) {
  Workbook wb;
  Worksheet& ws = wb.AddSheet("S");
  ws.SetFormula(At("A1"), "[1]Other!A1", 42.0);  // another workbook: its stale 42 is not kept
  ws.SetFormula(At("A2"), "A1+1", 0.0);
  ws.SetFormula(At("A3"), "NOSUCH(1)", 0.0);  // known to other programs, perhaps: no value here
  ws.SetFormula(At("A4"), "IFERROR(A3,0)", 0.0);  // reads a cell without a value
  ws.SetFormula(At("A5"), "#NAME?", 0.0);         // an error written as such is a value
  Recalculator calc(wb);
  const Recalculation r = calc.RecalculateAll();
  ASSERT_EQ(r.unparsed.size(), 1u);
  EXPECT_EQ(r.unparsed[0].cell, At("A1"));
  EXPECT_EQ(r.uncomputed.size(), 4u);
  for (const char* a : {"A1", "A2", "A3", "A4"}) EXPECT_EQ(ws.Value(At(a)), CellValue(NoStoredResult{})) << a;
  EXPECT_EQ(ws.Value(At("A5")), CellValue(CellError{"#NAME?"}));
}

TEST(RecalculatorTest, ChangedBlockComputesOnlyMissingResultsAndTheirReaders) {
  Workbook wb;
  Worksheet& ws = wb.AddSheet("S");
  ws.SetValue(At("A1"), 1.0);
  ws.SetFormula(At("B1"), "A1*3", 99.0);  // a stored result, kept
  ws.SetFormula(At("B2"), "A1*2", NoStoredResult{});
  ws.SetFormula(At("B3"), "B2+1", 0.0);  // reads a missing result: computed after it
  Recalculator calc(wb);
  calc.Rebuild();
  const SheetCell missing{0, At("B2")};
  EXPECT_EQ(calc.Changed(std::span(&missing, 1)).computed, 2u);
  EXPECT_EQ(Number(ws, "B1"), 99);
  EXPECT_EQ(Number(ws, "B3"), 3);

  ws.ClearContents(CellRange::Parse("B1:B3"));
  EXPECT_EQ(calc.Changed(0, CellRange::Parse("B1:B3")).computed, 0u);
  EXPECT_EQ(calc.FormulaCount(), 0u);
}

}  // namespace
}  // namespace spreadsheet::calc
