// Routes at the limits of the sheet and of the arithmetic, through MemoryHost and the module.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingModule.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "workbook/Workbook.h"

namespace gaocheng {
namespace {

using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::MemoryHost;
using testing::CollectingSink;
using testing::MakeHost;
using testing::PutBenchmarks;

constexpr int kLastRouteRow = 65535;  // row 65536 must stay empty to end the route
constexpr int kMostRouteRows = kLastRouteRow - kFirstRouteRow + 1;

// Staff 0.25 to 4.75 m and bands of a single millimetre: a first point more than 4.5 m below
// the start gives a backsight of exactly 0.25 m, each descending turn exactly -4.5 m.
LevelingSettings ExactSettings() {
  LevelingSettings s;
  s.StaffMinReading = 0.25;
  s.StaffMaxReading = 4.75;
  s.QuickTurnValue = 0.0004;
  s.ClosureMinusTolerance = 0;
  s.ClosurePlusTolerance = 0;
  return s;
}

double Number(MemoryHost& host, const std::string& address) {
  const CellValue value = host.GetCellValue(address);
  EXPECT_TRUE(std::holds_alternative<double>(value)) << address;
  return std::holds_alternative<double>(value) ? std::get<double>(value) : 0;
}

std::vector<spreadsheet::Cell> Cells(MemoryHost& host) {
  const spreadsheet::Worksheet& sheet = *host.GetWorkbook().FindSheet(kOutputSheetName);
  std::vector<spreadsheet::Cell> cells;
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    cells.insert(cells.end(), sheet.Row(r).begin(), sheet.Row(r).end());
  }
  return cells;
}

bool SameCells(const std::vector<spreadsheet::Cell>& a, const std::vector<spreadsheet::Cell>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].value != b[i].value || a[i].formula != b[i].formula || a[i].style != b[i].style) return false;
  }
  return true;
}

// 65,528 route rows at 90 m from a start at 100 m: two descending turns bring the line of
// sight to 91.25 m, from where every point and the closing benchmark (90 m) read 1.25 m.
// 1 + 2 + 65,528 + 1 rows: the book ends exactly in row 65536.
class FullSheetRoute : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    host_ = new MemoryHost(MakeHost());
    PutBenchmarks(*host_, "BM1", 100.0, "BM2", 90.0);
    spreadsheet::Worksheet& input = *host_->GetWorkbook().FindSheet(kInputSheetName);
    for (int row = kFirstRouteRow; row <= kLastRouteRow; ++row) {
      input.SetValue(CellAddress{row - 1, 0}, "P" + std::to_string(row));
      input.SetValue(CellAddress{row - 1, 4}, 90.0);
      input.SetValue(CellAddress{row - 1, 5}, 90.0);
    }
  }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }

  FullSheetRoute() : host(*host_) {
    module.Settings() = ExactSettings();
    host.SelectSheet(kInputSheetName);
    host.SetCellValue("F6", 90.0);
    host.SetCellValue("A65536", CellValue());
    host.SetCellValue("F65536", CellValue());
    for (const char* address : {"E8", "E32771", "E65535"}) host.SetCellValue(address, 90.0);
  }

  void Generate(std::uint64_t seed) {
    module.GenerateFieldBook(host, seed, messages);
  }

  static MemoryHost* host_;
  MemoryHost& host;
  LevelingModule module;
  CollectingSink messages;
};

MemoryHost* FullSheetRoute::host_ = nullptr;

TEST_F(FullSheetRoute, MostRouteRowsFillTheSheetToItsLastRow) {
  ASSERT_EQ(kMostRouteRows, 65528);
  Generate(1);
  ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("BM1"));
  EXPECT_EQ(Number(host, "B5"), 0.25);
  EXPECT_EQ(host.GetCellValue("A6"), CellValue("ZD1"));
  EXPECT_EQ(host.GetCellValue("A7"), CellValue("ZD2"));
  EXPECT_EQ(Number(host, "E7"), 91.25);
  EXPECT_EQ(host.GetCellValue("A8"), CellValue("P8"));
  EXPECT_EQ(host.GetCellValue("A65535"), CellValue("P65535"));
  EXPECT_EQ(Number(host, "C65535"), 1.25);
  EXPECT_EQ(host.GetCellValue("A65536"), CellValue("BM2"));
  EXPECT_EQ(Number(host, "D65536"), 1.25);
  EXPECT_EQ(host.GetCellValue("I2"), CellValue(ToleranceText(3)));
}

TEST_F(FullSheetRoute, OneTurnMoreIsRefusedAndTheFullBookStays) {
  Generate(1);
  const auto before = Cells(host);
  ASSERT_GT(before.size(), 65532u * 4);
  host.SelectSheet(kInputSheetName);
  host.SetCellValue("F6", 86.0);  // 5.25 m below the line of sight: one more turn
  Generate(2);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].text.rfind("6\n水准记录超过 65532 行", 0), 0u) << messages.shown[0].text;
  EXPECT_NE(messages.shown[0].text.find("“BM2”，高程 86 米"), std::string::npos) << messages.shown[0].text;
  EXPECT_TRUE(SameCells(Cells(host), before));
}

TEST_F(FullSheetRoute, BadCellInTheMiddleOrInTheLastRowLeavesTheFullBook) {
  Generate(1);
  const auto before = Cells(host);
  for (const char* address : {"E32771", "E65535"}) {
    messages.shown.clear();
    host.SelectSheet(kInputSheetName);
    host.SetCellValue(address, std::string("9O.5"));
    Generate(3);
    ASSERT_EQ(messages.shown.size(), 1u) << address;
    EXPECT_EQ(messages.shown[0].text, "13\n单元格 " + std::string(address) + " 的内容“9O.5”不是数字");
    EXPECT_TRUE(SameCells(Cells(host), before)) << address;
    host.SelectSheet(kInputSheetName);
    host.SetCellValue(address, 90.0);
  }
}

TEST_F(FullSheetRoute, RouteWithoutAnEmptyRowAfterItLeavesTheFullBook) {
  Generate(1);
  const auto before = Cells(host);
  host.SelectSheet(kInputSheetName);
  host.SetCellValue("A65536", std::string("P65536"));
  host.SetCellValue("F65536", 90.0);
  Generate(4);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("1004\n单元格 A8 至 A65536 都有内容", 0), 0u) << messages.shown[0].text;
  EXPECT_TRUE(SameCells(Cells(host), before));
}

// Whether the book's numbers chain as the field book demands: every line of sight is the
// previous one plus the backsight minus the foresight, every reading is the line of sight
// minus the elevation, and every reading lies on the staff.
void ExpectBookChains(MemoryHost& host, const LevelingSettings& s, int lastRow) {
  double h = Number(host, "G5") + Number(host, "B5");
  EXPECT_NEAR(Number(host, "E5"), h, 1e-6);
  for (int row = 6; row <= lastRow; ++row) {
    const std::string r = std::to_string(row);
    const bool turn = !std::holds_alternative<std::monostate>(host.GetCellValue("B" + r));
    // Route points read into C (the default), turning points and the closing benchmark into D.
    const bool inC = std::holds_alternative<double>(host.GetCellValue("C" + r));
    const double foresight = Number(host, (inC ? "C" : "D") + r);
    EXPECT_GT(foresight, s.StaffMinReading - 1e-6) << "row " << row;
    EXPECT_LT(foresight, s.StaffMaxReading + 1e-6) << "row " << row;
    if (turn) {
      if (s.ShowTurnPointElevation) {
        EXPECT_NEAR(Number(host, "F" + r), h - foresight, 1e-6) << "row " << row;
      }
      h = h + Number(host, "B" + r) - foresight;
      EXPECT_NEAR(Number(host, "E" + r), h, 1e-6) << "row " << row;
    } else {
      EXPECT_NEAR(foresight, h - Number(host, "F" + r), 1e-6) << "row " << row;
    }
  }
}

int LastRow(MemoryHost& host) {
  int row = 5;
  while (!std::holds_alternative<std::monostate>(host.GetCellValue("A" + std::to_string(row + 1)))) ++row;
  return row;
}

struct Elevations {
  const char* name;
  double start;
  double route;  // every route row's design elevation, measured simulated
  double closing;
  bool fits;
};

void PrintTo(const Elevations& c, std::ostream* os) { *os << c.name; }

class MillionMetres : public ::testing::TestWithParam<Elevations> {};

TEST_P(MillionMetres, GiveACorrectBookOrAClearMessage) {
  const Elevations& c = GetParam();
  MemoryHost host = MakeHost();
  host.SelectSheet(kOutputSheetName);
  host.SetCellValue("A5", std::string("旧"));
  host.SetCellValue("I2", std::string("旧"));
  PutBenchmarks(host, "BM1", c.start, "BM2", c.closing);
  for (int row = 8; row < 18; ++row) {
    testing::PutRow(host, row, "K" + std::to_string(row), CellValue(), c.route + (row % 3) * 1.7,
                    CellValue());
  }
  LevelingModule module;
  module.Settings().ShowTurnPointElevation = true;
  CollectingSink messages;
  module.GenerateFieldBook(host, 11, messages);
  if (c.fits) {
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    host.SelectSheet(kOutputSheetName);
    const int last = LastRow(host);
    EXPECT_EQ(host.GetCellValue("A" + std::to_string(last)), CellValue("BM2"));
    ExpectBookChains(host, module.Settings(), last);
    return;
  }
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].text.rfind("6\n水准记录超过 65532 行", 0), 0u) << messages.shown[0].text;
  host.SelectSheet(kOutputSheetName);
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("旧"));
  EXPECT_EQ(host.GetCellValue("I2"), CellValue("旧"));
  EXPECT_EQ(host.GetCellValue("A6"), CellValue());
}

INSTANTIATE_TEST_SUITE_P(
    Table, MillionMetres,
    ::testing::Values(Elevations{"HighRoute", 1e6, 1e6 + 2, 1e6 + 0.5, true},
                      Elevations{"LowRoute", -1e6, -1e6 - 3, -1e6 + 1, true},
                      Elevations{"HighRouteFromSeaLevel", 0, 1e5, 0, true},
                      Elevations{"ClimbOfAMillion", 0, 1, 1e6, false},
                      Elevations{"DropOfAMillion", 0, -1, -1e6, false},
                      Elevations{"RouteAMillionAway", 0, 1e6, 0, false},
                      Elevations{"BeyondMillimetres", 1e17, 1e17, 1e17, false},
                      Elevations{"LargestNumbers", 1e308, 1e308, -1e308, false}),
    [](const ::testing::TestParamInfo<Elevations>& info) { return std::string(info.param.name); });

TEST(EqualPoints, ConsecutivePointsAtOneElevationReadAlikeFromOneSetUp) {
  MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0);
  for (int row = 8; row < 1008; ++row) {
    testing::PutRow(host, row, "P" + std::to_string(row), CellValue(), 101.234, 101.234);
  }
  LevelingModule module;
  CollectingSink messages;
  module.GenerateFieldBook(host, 5, messages);
  ASSERT_TRUE(messages.shown.empty());
  host.SelectSheet(kOutputSheetName);
  // Either the first point reads from the first set-up or one turn comes first; after it no
  // turn ever again, and every point reads the same.
  int row = host.GetCellValue("A6") == CellValue("P8") ? 6 : 7;
  ASSERT_EQ(host.GetCellValue("A" + std::to_string(row)), CellValue("P8"));
  const double reading = Number(host, "C" + std::to_string(row));
  for (int i = 0; i < 1000; ++i, ++row) {
    EXPECT_EQ(host.GetCellValue("A" + std::to_string(row)), CellValue("P" + std::to_string(8 + i)));
    EXPECT_EQ(Number(host, "C" + std::to_string(row)), reading) << "row " << row;
    EXPECT_EQ(host.GetCellValue("H" + std::to_string(row)), CellValue(0.0));
  }
  EXPECT_EQ(host.GetCellValue("A" + std::to_string(row)), CellValue("BM2"));
  ExpectBookChains(host, module.Settings(), row);
}

}  // namespace
}  // namespace gaocheng
