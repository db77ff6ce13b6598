#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workbook/HeaderFooterText.h"
#include "workbook/PageRows.h"

namespace spreadsheet {
namespace {

struct CodesCase {
  const char* codes;
  HeaderFooterText::Sections expected;
};

TEST(HeaderFooterText, ExpandsSectionsPageNumbersAndDropsLookCodes) {
  const CodesCase cases[] = {
      {"第 &P 页 共 &N 页", {"", "第 3 页 共 12 页", ""}},
      {"&L左&C中&R右", {"左", "中", "右"}},
      {"&L工程名称：R&&D\n仪器&R&A", {"工程名称：R&D\n仪器", "", "水准表"}},
      {"&\"宋体,加粗\"&12&B标题&K00FF00绿", {"", "标题绿", ""}},
      {"尾&", {"", "尾", ""}},
      {"&R&P&L&N", {"12", "", "3"}},
  };
  for (const CodesCase& c : cases) {
    SCOPED_TRACE(c.codes);
    EXPECT_EQ(HeaderFooterText::Expand(c.codes, 3, 12, "水准表"), c.expected);
  }
  EXPECT_EQ(HeaderFooterText::Escape("R&D &P"), "R&&D &&P");
}

// 20 rows of 15 points (20 px), rows 0–1 repeated; pages 100 px high hold five rows.
Worksheet Rows(int count) {
  Worksheet sheet("s");
  for (int r = 0; r < count; ++r) sheet.SetValue({r, 0}, 1.0);
  sheet.Print().repeatRowsFirst = 0;
  sheet.Print().repeatRowsLast = 1;
  return sheet;
}

TEST(PageRows, RepeatedRowsManualBreaksAndBlocks) {
  Worksheet sheet = Rows(12);
  const CellRange range{{0, 0}, {11, 0}};
  using Pages = std::vector<std::vector<int>>;
  EXPECT_EQ(PageRows::Pages(sheet, range, 100, false), (Pages{{0, 1, 2, 3, 4}, {0, 1, 5, 6, 7}, {0, 1, 8, 9, 10}, {0, 1, 11}}));
  sheet.Print().rowBreaks = {4, 7};
  EXPECT_EQ(PageRows::Pages(sheet, range, 100, false), (Pages{{0, 1, 2, 3}, {0, 1, 4, 5, 6}, {0, 1, 7, 8, 9}, {0, 1, 10, 11}}));
  // An empty row 7, then a block 8–11 that a page of three body rows would split.
  sheet.Print().rowBreaks.clear();
  sheet.ClearContents(CellRange{{7, 0}, {7, 0}});
  EXPECT_EQ(PageRows::Pages(sheet, range, 100, true), (Pages{{0, 1, 2, 3, 4}, {0, 1, 5, 6, 7}, {0, 1, 8, 9, 10}, {0, 1, 11}}));
  EXPECT_EQ(PageRows::Pages(sheet, range, 120, true), (Pages{{0, 1, 2, 3, 4, 5}, {0, 1, 6, 7}, {0, 1, 8, 9, 10, 11}}));
  EXPECT_EQ(PageRows::Pages(sheet, range, 120, false), (Pages{{0, 1, 2, 3, 4, 5}, {0, 1, 6, 7, 8, 9}, {0, 1, 10, 11}}));
}

TEST(PageRows, PaperInsideItsMarginsAndTheFitAcross) {
  PrintSetup a4;
  a4.marginLeft = a4.marginRight = 0.5;
  a4.marginTop = a4.marginBottom = 0.75;
  EXPECT_NEAR(PageRows::PrintableWidth(a4), (210 / 25.4 - 1) * 96, 1e-9);
  EXPECT_NEAR(PageRows::PrintableHeight(a4), (297 / 25.4 - 1.5) * 96, 1e-9);
  a4.landscape = true;
  EXPECT_NEAR(PageRows::PrintableWidth(a4), (297 / 25.4 - 1) * 96, 1e-9);
  Worksheet sheet("s");
  for (int c = 0; c < 4; ++c) sheet.SetColumnWidth(c, 15);  // 110 px each
  const CellRange range{{0, 0}, {0, 3}};
  EXPECT_EQ(PageRows::Fit(sheet, range, 220), 1);  // no fitting asked for
  sheet.Print().fitToWidth = 1;
  EXPECT_DOUBLE_EQ(PageRows::Fit(sheet, range, 220), 0.5);
  EXPECT_EQ(PageRows::Fit(sheet, range, 500), 1);
}

}  // namespace
}  // namespace spreadsheet
