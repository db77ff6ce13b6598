#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "leveling/LevelingModule.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "leveling/RouteInput.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using testing::CollectingSink;
using testing::MakeHost;
using testing::PutBenchmarks;
using testing::PutRow;

const CellValue kNone{};

// The error in whole millimetres between a measured and a given elevation.
double ErrorMillimetres(double measured, double given) { return (measured - given) * 1000; }

bool IsWholeNumber(double x) { return std::fabs(x - std::round(x)) < 1e-6; }

class RouteInputTest : public ::testing::Test {
 protected:
  RouteInputTest() : host(MakeHost()) { PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0); }

  bool Read(std::uint64_t seed = 5) {
    RandomEngine engine(seed);
    return module.ReadRouteInput(host, engine, messages);
  }

  spreadsheet::MemoryHost host;
  LevelingModule module;
  CollectingSink messages;
};

TEST_F(RouteInputTest, EmptyRowEightGivesOnlyTheClosingBenchmark) {
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    ASSERT_TRUE(Read(seed));
    const RouteInput& route = module.Route();
    EXPECT_EQ(route.StartBenchmarkName, "BM1");
    EXPECT_EQ(route.StartBenchmarkElevation, 100.0);
    ASSERT_EQ(route.Points.size(), 1u);
    const RoutePoint& closing = route.Points[0];
    EXPECT_EQ(closing.PointName, "BM2");
    EXPECT_EQ(closing.OffsetText, "");
    EXPECT_EQ(closing.DesignElevation, 101.0);
    const double c = ErrorMillimetres(closing.MeasuredElevation, 101.0);
    ASSERT_TRUE(IsWholeNumber(c)) << c;
    ASSERT_GE(std::round(c), -2);
    ASSERT_LE(std::round(c), 2);
  }
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(host.GetWorkbook().SheetAt(host.GetWorkbook().ActiveSheet()).Name(), "数据输入");
}

TEST_F(RouteInputTest, RowShapesGiveTheirPoints) {
  PutRow(host, 8, "K0+000", -2.5, 101.2, 101.234);    // F filled: used exactly
  PutRow(host, 9, "K0+020", "路边", 102.0, kNone);     // F empty: simulated from E
  PutRow(host, 10, "K0+040", kNone, kNone, 98.7654);   // E empty, F given: no design elevation
  PutRow(host, 11, 0.0, 0.0, " 99.5 ", std::string()); // A holding 0; E as text; F empty text
  ASSERT_TRUE(Read());
  const auto& points = module.Route().Points;
  ASSERT_EQ(points.size(), 5u);

  EXPECT_EQ(points[0].PointName, "K0+000");
  EXPECT_EQ(points[0].OffsetText, "左2.5米");
  EXPECT_EQ(points[0].DesignElevation, 101.2);
  EXPECT_EQ(points[0].MeasuredElevation, 101.234);

  EXPECT_EQ(points[1].OffsetText, "路边");
  EXPECT_EQ(points[1].DesignElevation, 102.0);
  const double e1 = ErrorMillimetres(points[1].MeasuredElevation, 102.0);
  EXPECT_TRUE(IsWholeNumber(e1));
  EXPECT_LE(std::fabs(e1), 3.0 + 1e-6);

  EXPECT_EQ(points[2].OffsetText, "");
  EXPECT_EQ(points[2].DesignElevation, 0.0);
  EXPECT_EQ(points[2].MeasuredElevation, 98.7654);

  EXPECT_EQ(points[3].PointName, "0");
  EXPECT_EQ(points[3].OffsetText, "中");
  EXPECT_EQ(points[3].DesignElevation, 99.5);
  EXPECT_TRUE(IsWholeNumber(ErrorMillimetres(points[3].MeasuredElevation, 99.5)));

  EXPECT_EQ(points[4].PointName, "BM2");
  EXPECT_EQ(points[4].DesignElevation, 101.0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RouteInputTest, DrawsRowErrorsTopDownThenTheClosure) {
  PutRow(host, 8, "P1", kNone, 10.0, kNone);
  PutRow(host, 9, "P2", kNone, 20.0, 20.5);
  PutRow(host, 10, "P3", kNone, 30.0, kNone);
  module.Settings().MidPointMinusTolerance = -500;
  module.Settings().MidPointPlusTolerance = 500;
  module.Settings().ClosureMinusTolerance = -400;
  module.Settings().ClosurePlusTolerance = 400;
  ASSERT_TRUE(Read(77));
  RandomEngine replay(77);
  const double e1 = RandomInRange(-500, 500, replay);
  const double e3 = RandomInRange(-500, 500, replay);
  const double c = RandomInRange(-400, 400, replay);
  const auto& points = module.Route().Points;
  ASSERT_EQ(points.size(), 4u);
  EXPECT_DOUBLE_EQ(points[0].MeasuredElevation, 10.0 + e1 / 1000);
  EXPECT_EQ(points[1].MeasuredElevation, 20.5);
  EXPECT_DOUBLE_EQ(points[2].MeasuredElevation, 30.0 + e3 / 1000);
  EXPECT_DOUBLE_EQ(points[3].MeasuredElevation, 101.0 + c / 1000);
}

TEST_F(RouteInputTest, ToleranceBoundsAreRoundedHalfToEven) {
  struct Case {
    double minus, plus;
    int low, high;
  };
  for (const Case c : {Case{-2.5, 2.5, -2, 2}, Case{-3.5, 3.5, -4, 4}, Case{-0.5, 1.5, 0, 2}}) {
    module.Settings().ClosureMinusTolerance = c.minus;
    module.Settings().ClosurePlusTolerance = c.plus;
    int seenLow = 100, seenHigh = -100;
    for (std::uint64_t seed = 0; seed < 300; ++seed) {
      ASSERT_TRUE(Read(seed));
      const int e = static_cast<int>(
          std::lround(ErrorMillimetres(module.Route().Points.back().MeasuredElevation, 101.0)));
      seenLow = std::min(seenLow, e);
      seenHigh = std::max(seenHigh, e);
    }
    EXPECT_EQ(seenLow, c.low) << c.minus;
    EXPECT_EQ(seenHigh, c.high) << c.plus;
  }
}

TEST_F(RouteInputTest, NamesAreTrimmedAndCutInCharacters) {
  PutBenchmarks(host, "  水准点一二三四五六七八九十一二三四五六  ", 12.0, 4711.0, "88.25");
  const std::string seventy = std::string(60, 'x') + "一二三四五六七八九十";
  PutRow(host, 8, seventy, seventy, 1.0, 1.0);
  ASSERT_TRUE(Read());
  const RouteInput& route = module.Route();
  EXPECT_EQ(route.StartBenchmarkName, "水准点一二三四五六七八九十一二三");
  EXPECT_EQ(route.EndBenchmarkName, "4711");
  EXPECT_EQ(route.EndBenchmarkElevation, 88.25);
  EXPECT_EQ(route.Points[0].PointName, std::string(60, 'x') + "一二三四");
  EXPECT_EQ(route.Points[0].OffsetText, std::string(60, 'x') + "一二三四");
  EXPECT_EQ(route.Points.back().PointName, "4711");
}

// "1-2" typed in a spreadsheet is stored as a date serial under a date format; the book names
// the point as the sheet shows it, never by its serial ("45293左7.25米").
TEST_F(RouteInputTest, NamesReadAsTheSheetShowsThem) {
  PutBenchmarks(host, 45293.0, 1.0, 45293.75, 2.0);
  PutRow(host, 8, 45293.0, 7.25, 1.0, 1.0);
  PutRow(host, 9, 0.5, kNone, 1.0, 1.0);
  host.SetNumberFormat("E5", "m\"月\"d\"日\"");
  host.SetNumberFormat("F5", "yyyy/m/d h:mm");
  host.SetNumberFormat("A8", "m-d");
  host.SetNumberFormat("A9", "[$-804]上午/下午h\"时\"mm\"分\"");
  ASSERT_TRUE(Read());
  const RouteInput& route = module.Route();
  EXPECT_EQ(route.StartBenchmarkName, "1月2日");
  EXPECT_EQ(route.EndBenchmarkName, "2024/1/2 18:00");
  EXPECT_EQ(route.Points[0].PointName + route.Points[0].OffsetText, "1-2右7.25米");
  EXPECT_EQ(route.Points[1].PointName, "下午12时00分");
}

TEST_F(RouteInputTest, InnerSpacesOfNamesStay) {
  PutBenchmarks(host, " BM 1 ", 1.0, "BM 2", 2.0);
  PutRow(host, 8, "K0 +000", " -5 ", 1.0, 1.0);
  ASSERT_TRUE(Read());
  EXPECT_EQ(module.Route().StartBenchmarkName, "BM 1");
  EXPECT_EQ(module.Route().Points[0].PointName, "K0 +000");
  EXPECT_EQ(module.Route().Points[0].OffsetText, "左5米");
}

TEST_F(RouteInputTest, TextInStartElevationIsReportedAndNoPointIsRead) {
  PutRow(host, 8, "K0+000", kNone, 1.0, kNone);
  host.SetCellValue("E6", std::string("abc"));
  EXPECT_FALSE(Read());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].text, "13\n单元格 E6 的内容“abc”不是数字");
  EXPECT_TRUE(module.Route().Points.empty());
}

TEST_F(RouteInputTest, FailureInARowKeepsThePointsReadSoFar) {
  PutRow(host, 8, "K0+000", kNone, 1.0, 1.5);
  PutRow(host, 9, "K0+020", 3.0, "高程?", kNone);
  PutRow(host, 10, "K0+040", kNone, 1.0, 1.5);
  EXPECT_FALSE(Read());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "13\n单元格 E9 的内容“高程?”不是数字");
  const auto& points = module.Route().Points;
  ASSERT_EQ(points.size(), 2u);  // no closing benchmark
  EXPECT_EQ(points[1].PointName, "K0+020");
  EXPECT_EQ(points[1].OffsetText, "右3米");
  EXPECT_EQ(points[1].DesignElevation, 0.0);
}

TEST_F(RouteInputTest, TextInMeasuredElevationIsReported) {
  PutRow(host, 8, "K0+000", kNone, 1.0, "1.5m");
  EXPECT_FALSE(Read());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "13\n单元格 F8 的内容“1.5m”不是数字");
}

TEST_F(RouteInputTest, LongBadContentIsQuotedShortened) {
  host.SetCellValue("F6", std::string(100, 'z'));
  EXPECT_FALSE(Read());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "13\n单元格 F6 的内容“" + std::string(64, 'z') + "…”不是数字");
}

TEST(RouteInputSheets, MissingInputSheetIsReportedWithItsNumber) {
  spreadsheet::MemoryHost host = MakeHost({"水准表"});
  LevelingModule module;
  CollectingSink messages;
  RandomEngine engine(1);
  EXPECT_FALSE(module.ReadRouteInput(host, engine, messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].text.rfind("9\n", 0), 0u) << messages.shown[0].text;
  EXPECT_NE(messages.shown[0].text.find("数据输入"), std::string::npos);
}

TEST_F(RouteInputTest, ToleranceBeyondThirtyTwoBitsIsReported) {
  module.Settings().ClosurePlusTolerance = 1e12;
  EXPECT_FALSE(Read());
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("6\n水准点闭合正误差", 0), 0u) << messages.shown[0].text;
}

TEST_F(RouteInputTest, EachReadingReplacesThePoints) {
  PutRow(host, 8, "K0+000", kNone, 1.0, 1.5);
  ASSERT_TRUE(Read());
  ASSERT_EQ(module.Route().Points.size(), 2u);
  host.ClearContents("A8:F8");
  ASSERT_TRUE(Read());
  EXPECT_EQ(module.Route().Points.size(), 1u);
}

TEST(RouteInputSheets, RouteWithoutEndRowIsReported) {
  spreadsheet::MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 1.0, "BM2", 1.0);
  for (int row = 8; row <= 65536; ++row) {
    host.SetCellValue("A" + std::to_string(row), 1.0);
    host.SetCellValue("F" + std::to_string(row), 1.0);
  }
  LevelingModule module;
  CollectingSink messages;
  RandomEngine engine(1);
  EXPECT_FALSE(module.ReadRouteInput(host, engine, messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("1004\n单元格 A8 至 A65536 都有内容", 0), 0u)
      << messages.shown[0].text;
  EXPECT_EQ(module.Route().Points.size(), 65529u);
}

}  // namespace
}  // namespace gaocheng

namespace gaocheng {
namespace {

// The end-of-route check looks at A, B, E and F of every row below the end (B, E and F of the
// end row itself) down to the sheet's last row, across the blocks it reads; C and D, empty
// texts and formats alone are no data.
TEST(RouteEnd, DataBelowTheEndIsFoundInColumnsABEFToTheLastRow) {
  const struct {
    const char* address;
    CellValue value;
    bool below;
  } cases[] = {
      {"B10", std::string("x"), true},   {"A10", std::string(), false}, {"C10", 1.0, false},
      {"F10", 0.0, true},                {"A11", std::string("K9"), true}, {"E4200", 1.0, true},
      {"F8300", std::string("1"), true}, {"D65536", 1.0, false},        {"A65536", 1.0, true},
      {"B65536", std::string(), false},
  };
  for (const auto& c : cases) {
    spreadsheet::MemoryHost host = MakeHost();
    PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0);
    PutRow(host, 8, "K0", kNone, 100.5, kNone);
    PutRow(host, 9, "K1", kNone, 100.7, kNone);
    host.SetCellValue(c.address, c.value);
    LevelingModule module;
    CollectingSink messages;
    RandomEngine engine(3);
    ASSERT_TRUE(module.ReadRouteInput(host, engine, messages)) << c.address;
    EXPECT_EQ(module.Route().EndRow, 10) << c.address;
    EXPECT_EQ(module.Route().DataBelowEnd, c.below) << c.address;
  }
}

// A route longer than one block of rows reads on without a seam.
TEST(RouteEnd, LongRouteReadsAcrossBlocks) {
  spreadsheet::MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0);
  constexpr int kRows = 9000;
  for (int row = 8; row < 8 + kRows; ++row) PutRow(host, row, "P" + std::to_string(row), -1.0 * row, 100.0 + row / 1e4, kNone);
  LevelingModule module;
  CollectingSink messages;
  RandomEngine engine(3);
  ASSERT_TRUE(module.ReadRouteInput(host, engine, messages));
  const auto& points = module.Route().Points;
  ASSERT_EQ(points.size(), static_cast<std::size_t>(kRows + 1));
  for (int row = 8; row < 8 + kRows; ++row) {
    const RoutePoint& point = points[static_cast<std::size_t>(row - 8)];
    ASSERT_EQ(point.PointName, "P" + std::to_string(row));
    ASSERT_EQ(point.OffsetText, "左" + std::to_string(row) + "米");
    ASSERT_EQ(point.DesignElevation, 100.0 + row / 1e4);
  }
  EXPECT_EQ(module.Route().EndRow, 8 + kRows);
  EXPECT_FALSE(module.Route().DataBelowEnd);
}

// A formula the reading cannot compute is refused naming it as spreadsheet programs show it
// (without the file's "_xlfn." before newer functions) and saying why.
TEST_F(RouteInputTest, AnUncomputedFormulaIsNamedAsShownWithItsReason) {
  struct Case {
    const char* formula;
    const char* why;  // after "13\n单元格 E8 的公式"
  };
  const Case cases[] = {
      {"_xlfn.XLOOKUP(A8,A:A,E:E)",
       "“=XLOOKUP(A8,A:A,E:E)”使用了本程序无法计算的函数或名称 "
       "XLOOKUP，请在电子表格程序中改用常用函数或数值"},
      {"_xlfn.FOO(\"_xlfn.x\")+起点高程",
       "“=FOO(\"_xlfn.x\")+起点高程”使用了本程序无法计算的函数或名称 "
       "FOO、起点高程，请在电子表格程序中改用常用函数或数值"},
      {"[1]Sheet1!$A$1", "“=[1]Sheet1!$A$1”无法计算："},
      {"E9+1", "“=E9+1”引用了没有计算结果的单元格，无法计算"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.formula);
    PutRow(host, 8, "K0+000", CellValue(), CellValue(), CellValue());
    spreadsheet::Worksheet& input = *host.GetWorkbook().FindSheet("数据输入");
    input.SetFormula(spreadsheet::CellAddress::Parse("E8"), c.formula, spreadsheet::NoStoredResult{});
    input.SetFormula(spreadsheet::CellAddress::Parse("E9"), "_xlfn.FOO()", spreadsheet::NoStoredResult{});
    messages.shown.clear();
    EXPECT_FALSE(Read());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text.rfind(std::string("13\n单元格 E8 的公式") + c.why, 0), 0u)
        << messages.shown[0].text;
  }
}

}  // namespace
}  // namespace gaocheng
