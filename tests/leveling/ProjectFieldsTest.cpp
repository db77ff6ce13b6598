#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelingModule.h"
#include "leveling/ProjectFields.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "workbook/PageRows.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using spreadsheet::MemoryHost;
using testing::CollectingSink;
using testing::MakeHost;
using testing::PutBenchmarks;
using testing::PutRow;

// A route of `points` points every 20 m on a grade, its fields in H4:I12 as the template has
// them (a value "" leaves the cell empty), and old values in the book's header row.
MemoryHost HostWithRoute(int points, const std::vector<std::pair<std::string, std::string>>& fields) {
  MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 100.0, "BM2", 100.0 + points * 0.01);
  for (int i = 0; i < points; ++i) PutRow(host, 8 + i, "P" + std::to_string(i + 1), 0.0, 100.0 + i * 0.01, CellValue());
  int row = 4;
  for (const auto& [label, value] : fields) {
    host.SetCellValue("H" + std::to_string(row), label);
    if (!value.empty()) host.SetCellValue("I" + std::to_string(row), value);
    ++row;
  }
  host.SelectSheet(kOutputSheetName);
  for (const char* cell : {"B2", "D2", "F2"}) host.SetCellValue(cell, std::string("旧"));
  return host;
}

FieldBookResult Generate(MemoryHost& host) {
  LevelingModule module;
  module.SetDefaultSettings();
  CollectingSink messages;
  return module.GenerateFieldBook(host, 5, messages);
}

TEST(ProjectFields, GoIntoTheHeaderRowsAndThePageHeaderEmptyOnesStayEmpty) {
  MemoryHost host = HostWithRoute(3, {{"工程名称", "R&D 路"}, {"合同段：", "A2"}, {"仪器型号及编号", ""},
                                      {"天气", "阴"}, {"观测", "甲"}, {"记录", ""}, {"计算", "丙"}, {"复核", ""},
                                      {"日期", "2026-01-02"}});
  ASSERT_TRUE(Generate(host).Written);
  EXPECT_EQ(host.GetCellValue("B2"), CellValue("甲"));
  EXPECT_EQ(host.GetCellValue("D2"), CellValue());
  EXPECT_EQ(host.GetCellValue("F2"), CellValue("2026-01-02"));
  const spreadsheet::PrintSetup setup = host.GetPrintSetup();
  EXPECT_EQ(setup.header, "&L工程名称：R&&D 路\n仪器型号及编号：&R合同段：A2\n天气：阴");
  EXPECT_EQ(setup.footer, "&L计算：丙&C第 &P 页 共 &N 页&R复核：");
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("BM1"));  // the route read as before
}

TEST(ProjectFields, AnInputSheetWithoutThemLeavesHeaderAndFooterAlone) {
  MemoryHost host = HostWithRoute(3, {});
  spreadsheet::PrintSetup before = host.GetPrintSetup();
  before.header = "&C自己的页眉";
  host.SetPrintSetup(before);
  ASSERT_TRUE(Generate(host).Written);
  EXPECT_EQ(host.GetCellValue("B2"), CellValue("旧"));
  EXPECT_EQ(host.GetPrintSetup().header, "&C自己的页眉");
}

TEST(ProjectFields, AHeaderTooLongIsRefusedNamingTheCellsBeforeAnythingIsWritten) {
  MemoryHost host = HostWithRoute(3, {{"工程名称", std::string(240, 'x')}, {"合同段", "A"}});
  const FieldBookResult result = Generate(host);
  EXPECT_FALSE(result.Written);
  EXPECT_EQ(result.FailureNumber, LevelingError::kInvalidInput);
  EXPECT_NE(result.FailureDescription.find("I4、I5"), std::string::npos) << result.FailureDescription;
  host.SelectSheet(kOutputSheetName);
  EXPECT_EQ(host.GetCellValue("B2"), CellValue("旧"));
  EXPECT_EQ(host.GetCellValue("A5"), CellValue());
}

// The book's pages as manual breaks: on every length the check block stands on one page with
// its heading, and a shorter book after a longer one keeps none of the longer one's breaks.
TEST(FieldBookPages, TheCheckBlockNeverSplitsAndOldBreaksGo) {
  for (int points : {150, 30, 41, 42, 43, 44, 45, 46, 47, 95, 96, 97, 98, 99, 100, 3}) {
    SCOPED_TRACE(points);
    MemoryHost host = HostWithRoute(points, {});
    if (points == 3) {
      spreadsheet::PrintSetup old = host.GetPrintSetup();
      old.rowBreaks = {2, 60, 120};  // one above the book stays
      host.SetPrintSetup(old);
    }
    ASSERT_TRUE(Generate(host).Written);
    const spreadsheet::Workbook* book = &host.GetWorkbook();
    const spreadsheet::Worksheet& sheet = *book->FindSheet(kOutputSheetName);
    const std::vector<int>& breaks = sheet.Print().rowBreaks;
    if (points == 3) {
      EXPECT_EQ(breaks, std::vector<int>{2});
    }
    const auto range = spreadsheet::PageRows::PrintRange(*book, sheet);
    ASSERT_TRUE(range);
    // The heading "计算校核" in A, the block to the last row.
    int heading = range->last.row;
    while (sheet.Value({heading, 0}) != CellValue("计算校核")) --heading;
    // Pages as a program laying out without keeping blocks, on pages of the full height.
    const double height = spreadsheet::PageRows::PrintableHeight(sheet.Print()) /
                          spreadsheet::PageRows::Fit(sheet, *range, spreadsheet::PageRows::PrintableWidth(sheet.Print()));
    int pagesWithBlock = 0;
    for (const auto& page : spreadsheet::PageRows::Pages(sheet, *range, height, false)) {
      bool has = false;
      for (int r : page) has = has || r >= heading;
      pagesWithBlock += has;
    }
    EXPECT_EQ(pagesWithBlock, 1);
    for (int b : breaks) EXPECT_TRUE(b == 2 || b >= kFirstOutputRow) << b;
  }
}

// A text of the block too wide for B prints whole after its label in A; short ones stay in B.
TEST(FieldBookPages, LongCheckTextsFollowTheirLabel) {
  MemoryHost host = MakeHost();
  FieldBook book;
  book.Rows.resize(2);
  book.Rows.front().RowKind = FieldBookRow::Kind::StartRow;
  book.Rows.back().RowKind = FieldBookRow::Kind::ClosingRow;
  const std::string failed = "第 3 站 前后视距累积差 +12.345 m 超过 ±10.000 m（四等）";
  WriteFieldBook(host, book, LevelingSettings{},
                 {{"视距检核", std::string("合格"), {}}, {"视距检核", failed, {}}, {"说明", std::string("123456789"), {}}});
  EXPECT_EQ(host.GetCellValue("A16"), CellValue("视距检核"));
  EXPECT_EQ(host.GetCellValue("B16"), CellValue("合格"));
  EXPECT_EQ(host.GetCellValue("A17"), CellValue("视距检核 " + failed));
  EXPECT_EQ(host.GetCellValue("B17"), CellValue());
  EXPECT_EQ(host.GetCellValue("B18"), CellValue("123456789"));
  EXPECT_EQ(ShownWidth("（四等）ab"), 10);
}

}  // namespace
}  // namespace gaocheng
