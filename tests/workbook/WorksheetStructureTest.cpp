#include <gtest/gtest.h>

#include <string>

#include "workbook/SpreadsheetError.h"
#include "workbook/Worksheet.h"

using namespace spreadsheet;

namespace {

// A sheet with "x" in B3 and C10, a merge A5:B6, heights on rows 4 and 7, widths on B and D,
// the print header row 5, then one structure edit; where things end up.
struct StructureCase {
  const char* name;
  char what;  // 'r' insert rows, 'R' delete rows, 'c' insert columns, 'C' delete columns
  int at;
  int count;
  const char* cells;   // where the two texts are now ("B3 C10")
  const char* merge;   // the merge now, "" when gone
  const char* heights; // rows with heights ("4 7"), 1-based
  const char* widths;  // columns with widths ("B D")
  int printRow;        // 1-based row repeated on every page, 0 when gone
};

Worksheet Sample() {
  Worksheet sheet("数据输入");
  sheet.SetValue(CellAddress::Parse("B3"), std::string("x"));
  sheet.SetValue(CellAddress::Parse("C10"), std::string("x"));
  sheet.AddMerge(CellRange::Parse("A5:B6"));
  sheet.SetRowHeight(3, 30);
  sheet.SetRowHeight(6, 40);
  sheet.SetColumnWidth(1, 20);
  sheet.SetColumnWidth(3, 30);
  sheet.Print().repeatRowsFirst = sheet.Print().repeatRowsLast = 4;
  return sheet;
}

std::string Describe(const Worksheet& sheet, char what) {
  std::string out;
  if (what == 'c') {
    for (int r = 0; r < sheet.RowExtent(); ++r) {
      for (int c = 0; c < static_cast<int>(sheet.Row(r).size()); ++c) {
        if (IsText(sheet.Row(r)[static_cast<std::size_t>(c)].value)) out += CellAddress{r, c}.ToString() + " ";
      }
    }
  } else if (what == 'm') {
    for (const CellRange& m : sheet.Merges()) out += m.ToString() + " ";
  } else if (what == 'h') {
    for (const auto& [row, points] : sheet.RowHeights()) out += std::to_string(row + 1) + " ";
  } else {
    for (const auto& [column, width] : sheet.ColumnWidths()) out += CellAddress::ColumnName(column) + " ";
  }
  if (!out.empty()) out.pop_back();
  return out;
}

class WorksheetStructure : public ::testing::TestWithParam<StructureCase> {};

TEST_P(WorksheetStructure, MovesCellsMergesHeightsAndWidths) {
  const StructureCase& c = GetParam();
  Worksheet sheet = Sample();
  switch (c.what) {
    case 'r': sheet.InsertRows(c.at, c.count); break;
    case 'R': sheet.DeleteRows(c.at, c.count); break;
    case 'c': sheet.InsertColumns(c.at, c.count); break;
    default: sheet.DeleteColumns(c.at, c.count); break;
  }
  EXPECT_EQ(Describe(sheet, 'c'), c.cells);
  EXPECT_EQ(Describe(sheet, 'm'), c.merge);
  EXPECT_EQ(Describe(sheet, 'h'), c.heights);
  EXPECT_EQ(Describe(sheet, 'w'), c.widths);
  EXPECT_EQ(sheet.Print().repeatRowsFirst + 1, c.printRow);
}

const StructureCase kCases[] = {
    {"InsertAboveEverything", 'r', 0, 2, "B5 C12", "A7:B8", "6 9", "B D", 7},
    {"InsertInsideTheMergeGrowsIt", 'r', 5, 1, "B3 C11", "A5:B7", "4 8", "B D", 5},
    {"InsertBelowTheDataMovesNothing", 'r', 20, 3, "B3 C10", "A5:B6", "4 7", "B D", 5},
    {"DeleteAboveMovesUp", 'R', 0, 2, "B1 C8", "A3:B4", "2 5", "B D", 3},
    {"DeleteHalfTheMergeShrinksIt", 'R', 5, 1, "B3 C9", "A5:B5", "4 6", "B D", 5},
    {"DeleteTheMergeAndTheTextsRow", 'R', 2, 5, "C5", "", "", "B D", 0},
    {"InsertColumnBeforeB", 'c', 1, 1, "C3 D10", "A5:C6", "4 7", "C E", 5},
    {"InsertColumnsAtA", 'c', 0, 2, "D3 E10", "C5:D6", "4 7", "D F", 5},
    {"DeleteColumnAShrinksTheMerge", 'C', 0, 1, "A3 B10", "A5:A6", "4 7", "A C", 5},
    {"DeleteColumnsBToC", 'C', 1, 2, "", "A5:A6", "4 7", "B", 5},
};

INSTANTIATE_TEST_SUITE_P(Table, WorksheetStructure, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WorksheetStructureLimits, ContentsNeverPushedOffTheSheet) {
  Worksheet sheet = Sample();
  sheet.SetValue(CellAddress::Parse("A65535"), std::string("end"));
  sheet.InsertRows(10, 1);  // the last row was empty: fits
  EXPECT_EQ(sheet.Value(CellAddress::Parse("A65536")), CellValue(std::string("end")));
  try {
    sheet.InsertRows(10, 1);
    FAIL() << "pushed A65536 off the sheet";
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), SpreadsheetError::kApplicationDefined);
    EXPECT_NE(e.Description().find("第 65536 行有内容"), std::string::npos) << e.Description();
  }
  EXPECT_EQ(sheet.Value(CellAddress::Parse("A65536")), CellValue(std::string("end")));
  sheet.SetValue(CellAddress::Parse("IV2"), 1.0);
  EXPECT_THROW(sheet.InsertColumns(0, 1), SpreadsheetError);
  EXPECT_EQ(sheet.Value(CellAddress::Parse("IV2")), CellValue(1.0));
  EXPECT_EQ(sheet.Value(CellAddress::Parse("B3")), CellValue(std::string("x")));
}

}  // namespace
