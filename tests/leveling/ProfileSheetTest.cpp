#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "leveling/LevelingModule.h"
#include "leveling/ProfileSheet.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "tests/support/ParamName.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using spreadsheet::MemoryHost;

struct ChainageCase {
  const char* name;
  std::optional<double> metres;
};

class ChainageParsing : public ::testing::TestWithParam<ChainageCase> {};

TEST_P(ChainageParsing, ReadsTheMetresOrNone) {
  const std::optional<double> got = ParseChainage(GetParam().name);
  ASSERT_EQ(got.has_value(), GetParam().metres.has_value()) << GetParam().name;
  if (got) {
    EXPECT_DOUBLE_EQ(*got, *GetParam().metres);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ChainageParsing,
    ::testing::Values(ChainageCase{"K1+020", 1020.0}, ChainageCase{"K0+000.5", 0.5}, ChainageCase{"K0+000", 0.0},
                      ChainageCase{"K1+000左12.5米", 1000.0}, ChainageCase{"K1+000右3米", 1000.0},
                      ChainageCase{"K1+000中", 1000.0}, ChainageCase{"ZK12+345.67右3米", 12345.67},
                      ChainageCase{"k2+5", 2005.0}, ChainageCase{"K1+020.", 1020.0}, ChainageCase{"BM1", std::nullopt},
                      ChainageCase{"ZD3", std::nullopt}, ChainageCase{"K1+", std::nullopt},
                      ChainageCase{"K+20", std::nullopt}, ChainageCase{"1K2+3", std::nullopt},
                      ChainageCase{"", std::nullopt}, ChainageCase{"K1-020", std::nullopt}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ProfileAxis, RowsWithoutChainageLieBetweenTheirNeighbours) {
  const ProfileAxis axis = ChainageOf({"BM1", "K0+000", "ZD1", "ZD2", "K0+030", "BM2"},
                                      {false, false, true, true, false, false});
  EXPECT_TRUE(axis.FromNames);
  EXPECT_EQ(axis.X, (std::vector<double>{0, 0, 10, 20, 30, 30}));
}

TEST(ProfileAxis, WithoutAnyChainageThePointsAreNumbered) {
  const ProfileAxis axis = ChainageOf({"BM1", "A", "ZD1", "B", "BM2"}, {false, false, true, false, false});
  EXPECT_FALSE(axis.FromNames);
  EXPECT_EQ(axis.X, (std::vector<double>{0, 1, 1.5, 2, 3}));
}

// The generation fills "纵断面" beside "水准表": the chainage of each row, the design
// elevations and deviations of the route points (the deviation as 水准表's H shows it), the
// turning points' elevations, the ends of the tolerance lines; "水准表" stays active.
TEST(ProfileSheetWriting, FillsTheRowsBesideTheFieldBook) {
  MemoryHost host = testing::MakeHost({"数据输入", "水准表", "纵断面"});
  testing::PutBenchmarks(host, "BM1", 100.0, "BM2", 100.5);
  testing::PutRow(host, 8, "K0+000", -5.0, 100.2, 100.203);
  testing::PutRow(host, 9, "K0+020", 0.0, 109.0, 109.0);  // 9 m up: turning points before it
  testing::PutRow(host, 10, "K0+040", 0.0, 0.0, 100.4);   // no design elevation
  LevelingModule module;
  module.SetDefaultSettings();
  module.Settings().MidPointPlusTolerance = 4;
  testing::CollectingSink messages;
  ASSERT_TRUE(module.GenerateFieldBook(host, 11, messages).Written);
  spreadsheet::Workbook& book = host.GetWorkbook();
  EXPECT_EQ(book.SheetAt(book.ActiveSheet()).Name(), "水准表");

  const std::optional<ProfileData> data = ReadProfile(book);
  ASSERT_TRUE(data.has_value());
  const spreadsheet::Worksheet& fieldBook = *book.FindSheet("水准表");
  ASSERT_EQ(data->Size(), static_cast<std::size_t>(fieldBook.RowExtent() - 4 - kCheckBlockRows));
  int turning = 0;
  for (std::size_t i = 0; i < data->Size(); ++i) {
    const int row = static_cast<int>(i) + 4;
    const CellValue name = fieldBook.Value({row, 0});
    SCOPED_TRACE(std::get<std::string>(name));
    const std::string text = std::get<std::string>(name);
    if (text.rfind("ZD", 0) == 0) {
      ++turning;
      EXPECT_GT(data->Chainage[i], 0);  // between the points the turning points lead to
      EXPECT_LT(data->Chainage[i], 40);
      EXPECT_NE(data->Chainage[i], 20);
      EXPECT_FALSE(std::isnan(data->TurningPoint[i]));
    } else {
      EXPECT_TRUE(std::isnan(data->TurningPoint[i]));
    }
    if (text.rfind("K0+020", 0) == 0) {
      EXPECT_EQ(data->Chainage[i], 20);
    }
    const CellValue h = fieldBook.Value({row, 7});
    if (spreadsheet::IsNumber(h) && text.rfind("K", 0) == 0) {
      EXPECT_NEAR(data->DeviationMm[i], std::get<double>(h), 1e-9);
      EXPECT_FALSE(std::isnan(data->Design[i]));
    } else {
      EXPECT_TRUE(std::isnan(data->DeviationMm[i]));
    }
  }
  EXPECT_GE(turning, 4);  // up 9 m and down again
  EXPECT_EQ(data->Chainage.front(), 0);   // BM1 held level with K0+000
  // BM2 has no chainage of its own: off the profile, its x #N/A so that charts leave it out.
  EXPECT_TRUE(std::isnan(data->Chainage.back()));
  EXPECT_EQ(book.FindSheet(kProfileSheetName)->Value({static_cast<int>(data->Size()) + 3, 1}),
            CellValue(spreadsheet::CellError{"#N/A"}));
  EXPECT_TRUE(data->ChainageFromNames);
  EXPECT_EQ(data->PlusToleranceMm, 4);
  EXPECT_EQ(data->MinusToleranceMm, -3);
  const spreadsheet::Worksheet& profile = *book.FindSheet(kProfileSheetName);
  EXPECT_EQ(profile.Value({4, 6}), CellValue(0.0));
  EXPECT_EQ(profile.Value({5, 6}), CellValue(40.0));
}

// A workbook of the user's own design gets "纵断面" after its last sheet, laid out as the
// template has it, at the first generation only; "水准表" stays active.
TEST(ProfileSheetWriting, AWorkbookWithoutTheSheetGetsItOnce) {
  MemoryHost host = testing::MakeHost({"数据输入", "水准表", "说明"});
  testing::PutBenchmarks(host, "BM1", 100.0, "BM2", 100.0);
  testing::PutRow(host, 8, "K0+050", 0.0, 100.1, spreadsheet::CellValue());
  LevelingModule module;
  module.SetDefaultSettings();
  testing::CollectingSink messages;
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(module.GenerateFieldBook(host, 1, messages).Written);
    const spreadsheet::Workbook& book = host.GetWorkbook();
    ASSERT_EQ(book.SheetCount(), 4u);
    EXPECT_EQ(book.SheetAt(book.ActiveSheet()).Name(), "水准表");
    const spreadsheet::Worksheet& profile = book.SheetAt(3);
    EXPECT_EQ(profile.Name(), kProfileSheetName);
    EXPECT_EQ(profile.Charts().size(), 2u);
    EXPECT_EQ(profile.Value({3, 1}), CellValue(std::string("里程(m)")));
    EXPECT_EQ(profile.Frozen().rows, 4);
    const std::optional<ProfileData> data = ReadProfile(book);
    ASSERT_TRUE(data.has_value());
    ASSERT_EQ(data->Size(), 3u);  // BM1, K0+050, BM2
    EXPECT_EQ(data->Chainage[1], 50);
  }
  host.SelectSheet(kProfileSheetName);
  EXPECT_EQ(host.GetCellText("B5"), "50.000");
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace gaocheng
