// The reduction of observations: a hand-checked route under each closure formula, the rules
// of the observation record, the property that a generated book typed back reduces to the
// generator's elevations, and the pieces (limits, distribution, sight checks) on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "leveling/ClosureDistribution.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelingModule.h"
#include "leveling/ObservedFieldBook.h"
#include "leveling/ProfileSheet.h"
#include "leveling/SettingsValidation.h"
#include "leveling/StationChecks.h"
#include "leveling/ToleranceClass.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "tests/support/ParamName.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using spreadsheet::MemoryHost;
using testing::CollectingSink;
using testing::ExpectBookSumsHold;
using testing::MakeHost;

const CellValue kNone;
const std::vector<std::string> kSheets = {"数据输入", "水准表", "观测记录", "成果表"};

// A closed route of six set-ups, as a field book would show it: BM1 (100.000 m) to BM2, four
// intermediate sights, sight distances to 0.1 m. ΣB = 9.0430, ΣF = 8.0405, so BM2 is reached at
// 101.0025 m; the distances add up to 502.5 m.
struct ObservedLine {
  const char* point;
  CellValue back, mid, fore, backDistance, foreDistance;
};
const std::vector<ObservedLine> kTextbook = {
    {"BM1", 1.4230, kNone, kNone, 40.0, kNone},
    {"K0+000", kNone, 2.1050, kNone, kNone, kNone},
    {"TP1", 1.9870, kNone, 0.8765, 38.2, 41.5},
    {"K0+020", kNone, 1.2345, kNone, kNone, kNone},
    {"TP2", 0.9540, kNone, 1.1020, 45.3, 37.0},
    {"TP3", 1.5670, kNone, 2.3310, 50.0, 44.1},
    {"K0+040", kNone, 0.8880, kNone, kNone, kNone},
    {"K0+060", kNone, 1.0125, kNone, kNone, kNone},
    {"TP4", 2.0010, kNone, 1.3450, 35.5, 48.8},
    {"TP5", 1.1110, kNone, 0.7320, 42.0, 36.9},
    {"BM2", kNone, kNone, 1.6540, kNone, 43.2},
};

void Put(MemoryHost& host, const std::string& address, const CellValue& value) {
  if (!std::holds_alternative<std::monostate>(value)) host.SetCellValue(address, value);
}

// The textbook route with BM2 known at `endElevation`; K0+020 and K0+040 have design elevations.
MemoryHost TextbookHost(double endElevation, bool distances = true, const std::string& without = {}) {
  std::vector<std::string> sheets;
  for (const std::string& name : kSheets) {
    if (name != without) sheets.push_back(name);
  }
  MemoryHost host = MakeHost(sheets);
  testing::PutBenchmarks(host, "BM1", 100.0, "BM2", endElevation);
  testing::PutRow(host, 8, "K0+020", kNone, 101.300, kNone);
  testing::PutRow(host, 9, "K0+040", -3.0, 100.735, kNone);
  testing::PutRow(host, 10, "TP3", kNone, 100.050, kNone);
  host.SelectSheet("水准表");
  host.SetCellValue("A5", std::string("old"));
  if (without == "观测记录") return host;
  host.SelectSheet("观测记录");
  host.SetCellValue("A2", std::string("读数单位"));
  host.SetCellValue("B2", std::string("米"));
  int row = 5;
  for (const ObservedLine& line : kTextbook) {
    const std::string r = std::to_string(row++);
    host.SetCellValue("A" + r, std::string(line.point));
    Put(host, "B" + r, line.back);
    Put(host, "C" + r, line.mid);
    Put(host, "D" + r, line.fore);
    if (distances) {
      Put(host, "E" + r, line.backDistance);
      Put(host, "F" + r, line.foreDistance);
    }
  }
  return host;
}

double NumberAt(MemoryHost& host, const std::string& address) {
  const CellValue value = host.GetCellValue(address);
  EXPECT_TRUE(std::holds_alternative<double>(value)) << address;
  return std::holds_alternative<double>(value) ? std::get<double>(value) : 0;
}

// The reduction, like the generation, adds "纵断面" to a workbook made before it existed, once.
TEST(ObservedProfile, AWorkbookWithoutTheSheetGetsItOnce) {
  MemoryHost host = TextbookHost(101.0);
  for (int run = 0; run < 2; ++run) ComputeObservedBook(host, LevelingSettings{});
  const spreadsheet::Workbook& book = host.GetWorkbook();
  ASSERT_EQ(book.SheetCount(), kSheets.size() + 1);
  EXPECT_EQ(book.SheetAt(kSheets.size()).Name(), kProfileSheetName);
  host.SelectSheet(kProfileSheetName);
  EXPECT_EQ(host.GetCellValue("A6"), CellValue(std::string("K0+000")));
  EXPECT_EQ(host.GetCellValue("B6"), CellValue(0.0));
}

struct HandCase {
  const char* name;
  ClosureToleranceFormula formula;
  double endElevation;
  double closureMm;
  int limitMm;
  const char* limitText;
  bool withinLimit;
  std::vector<int> corrections;  // 成果表 C3…C13; empty: not distributed
  const char* stationCheck;
};

class HandCheckedRoute : public ::testing::TestWithParam<HandCase> {};

TEST_P(HandCheckedRoute, GivesTheBookTheChecksAndTheCorrections) {
  const HandCase& c = GetParam();
  MemoryHost host = TextbookHost(c.endElevation);
  LevelingSettings settings;
  settings.ClosureToleranceFormula = c.formula;
  const ObservedResult result = ComputeObservedBook(host, settings);
  EXPECT_EQ(result.SetUps, 6);
  EXPECT_EQ(result.Check.ClosureMm, c.closureMm);
  EXPECT_EQ(result.Check.LimitMm, c.limitMm);
  EXPECT_EQ(result.Check.WithinLimit, c.withinLimit);

  // The book in the generator's layout: heights of instrument and elevations by hand.
  ASSERT_EQ(host.GetWorkbook().SheetAt(host.GetWorkbook().ActiveSheet()).Name(), "水准表");
  const std::map<std::string, CellValue> book = {
      {"A5", "BM1"},     {"B5", 1.423},     {"E5", 101.423},   {"G5", 100.0},     {"A6", "K0+000"},
      {"C6", 2.105},     {"F6", 99.318},    {"A7", "TP1"},     {"D7", 0.8765},    {"B7", 1.987},
      {"E7", 102.5335},  {"F8", 101.299},   {"G8", 101.3},     {"H8", -1.0},      {"E10", 101.6215},
      {"A11", "K0+040"}, {"F11", 100.7335}, {"H11", -1.5},     {"F12", 100.609},  {"G12", ""},      {"G10", CellValue()},
      {"A15", "BM2"},    {"D15", 1.654},    {"F15", 101.0025}, {"G15", c.endElevation},
      {"H15", c.closureMm},  // the closure as B22 holds it (26.5 mm is 26 in both, not 26 and 27)
      {"I2", c.limitText}, {"A17", "计算校核"}, {"B22", c.closureMm}, {"B23", double(c.limitMm)},
      {"B24", c.withinLimit ? "合格" : "超限"}, {"A25", "观测站数"}, {"B25", 6.0},
      {"A26", "路线长度(km)"}, {"B26", 0.502}, {"A27", "视距检核"}, {"B27", c.stationCheck},
  };
  for (const auto& [address, value] : book) EXPECT_EQ(host.GetCellValue(address), value) << address;
  EXPECT_EQ(host.GetCellText("B26"), "0.502");
  // Readings as read, to 0.1 mm, and the heights they give.
  EXPECT_EQ(host.GetCellText("D7"), "0.8765");
  EXPECT_EQ(host.GetCellText("E7"), "102.5335");
  EXPECT_EQ(host.GetCellText("B19"), "8.0405");
  ExpectBookSumsHold(host);

  host.SelectSheet("成果表");
  const std::string heading = std::get<std::string>(host.GetCellValue("A1"));
  EXPECT_NE(heading.find(c.withinLimit ? "合格" : "超限"), std::string::npos) << heading;
  EXPECT_EQ(host.GetCellValue("A3"), CellValue("BM1"));
  EXPECT_EQ(host.GetCellValue("A13"), CellValue("BM2"));
  EXPECT_EQ(host.GetCellValue("B7"), CellValue(101.4315));
  for (int i = 0; i < 11; ++i) {
    const std::string r = std::to_string(i + 3);
    if (c.corrections.empty()) {
      EXPECT_EQ(host.GetCellValue("C" + r), CellValue()) << r;
      EXPECT_EQ(host.GetCellValue("D" + r), CellValue()) << r;
      continue;
    }
    EXPECT_EQ(host.GetCellValue("C" + r), CellValue(double(c.corrections[i]))) << r;
    const double observed = NumberAt(host, "B" + r);
    EXPECT_NEAR(NumberAt(host, "D" + r), observed + c.corrections[i] / 1000.0, 1e-9) << r;
  }
  if (!c.corrections.empty()) {
    // The corrections sum to minus the closure: BM2 ends on its known elevation to half a millimetre.
    EXPECT_NEAR(NumberAt(host, "D13"), c.endElevation, 0.0005 + 1e-9);
    EXPECT_EQ(host.GetCellValue("F6"), CellValue(double(-1 + c.corrections[3])));  // K0+020 against 101.300
    // TP3 stands on a route point: its design and deviation here, though the book leaves them out.
    EXPECT_EQ(host.GetCellValue("E8"), CellValue(100.05));
    // Whole millimetres, halves to even as the closure: 4.5 − 3 = 1.5 → 2, 4.5 − 2 = 2.5 → 2.
    EXPECT_EQ(host.GetCellValue("F8"), CellValue(std::nearbyint(4.5 + c.corrections[5])));
    // BM2 after whole-mm corrections of 26.5 mm stands 0.5 mm off: 0, not 1.
    EXPECT_EQ(host.GetCellValue("F13"), CellValue(0.0));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HandCheckedRoute,
    ::testing::Values(
        // 4 mm over six set-ups: 0.67 mm each, the four largest remainders (ties: earlier first) take 1.
        HandCase{"SixRootN", ClosureToleranceFormula::SixRootN, 100.9985, 4, 15, "±6√n=±15", true,
                 {0, 0, -1, -1, -2, -3, -3, -3, -4, -4, -4}, "合格"},
        // L = 0.502 km; shares by set-up distance 81.5, 75.2, 89.4, 98.8, 72.4, 85.2 m:
        // 0.649, 0.599, 0.712, 0.787, 0.576, 0.678 mm: set-ups 4, 3, 6, 1 take 1.
        HandCase{"TwentyRootL", ClosureToleranceFormula::TwentyRootL, 100.9985, 4, 14, "±20√L=±14", true,
                 {0, 0, -1, -1, -1, -2, -2, -2, -3, -3, -4}, "合格"},
        // 26.5 mm (26 after rounding half to even) within 12√6 = 29: 4.33 mm each, set-ups 1 and 2 take 5.
        HandCase{"TwelveRootN", ClosureToleranceFormula::TwelveRootN, 100.976, 26, 29, "±12√n=±29", true,
                 {0, 0, -5, -5, -10, -14, -14, -14, -18, -22, -26}, "合格"},
        HandCase{"FortyRootL", ClosureToleranceFormula::FortyRootL, 100.976, 26, 28, "±40√L=±28", true,
                 {0, 0, -4, -4, -8, -13, -13, -13, -18, -22, -26}, "合格"},
        HandCase{"SixRootNBeyond", ClosureToleranceFormula::SixRootN, 100.976, 26, 15, "±6√n=±15", false, {}, "合格"}),
    testsupport::CaseName());

TEST(HandCheckedRoute, ReadsMillimetresWhenTheUnitCellSaysSo) {
  MemoryHost host = TextbookHost(100.9985, false);
  host.SelectSheet("观测记录");
  host.SetCellValue("B2", std::string("毫米"));
  for (int row = 5; row <= 15; ++row) {
    for (const char* column : {"B", "C", "D"}) {
      const std::string address = column + std::to_string(row);
      const CellValue value = host.GetCellValue(address);
      if (std::holds_alternative<double>(value)) host.SetCellValue(address, std::get<double>(value) * 1000);
    }
  }
  const ObservedResult result = ComputeObservedBook(host, LevelingSettings{});
  EXPECT_EQ(result.Check.ClosureMm, 4);
  EXPECT_EQ(host.GetCellValue("F15"), CellValue(101.0025));
  EXPECT_EQ(host.GetCellValue("B26"), CellValue("无视距"));
  EXPECT_EQ(host.GetCellValue("A26"), CellValue("视距检核"));
  ExpectBookSumsHold(host);
}

// A simulated book written over a reduced one read to 0.1 mm shows its metres to the millimetre
// again, whichever unit its readings are in.
TEST(HandCheckedRoute, ASimulatedBookAfterItShowsMetresToTheMillimetre) {
  for (const bool metres : {true, false}) {
    MemoryHost host = TextbookHost(101.0025);
    ComputeObservedBook(host, LevelingSettings{});
    const auto format = [&host](const std::string& address) {
      const spreadsheet::Worksheet& book = *host.GetWorkbook().FindSheet("水准表");
      return host.GetWorkbook().Style(book.StyleAt(spreadsheet::CellAddress::Parse(address))).numberFormat;
    };
    ASSERT_EQ(format("E5"), "0.0000");
    LevelingModule module;
    module.Settings().ShowReadingsInMetres = metres;
    CollectingSink messages;
    ASSERT_TRUE(module.GenerateFieldBook(host, 3, messages).Written);
    host.SelectSheet("水准表");
    for (int row = 5; host.GetCellValue("A" + std::to_string(row)) != kNone; ++row) {
      for (const char* column : {"B", "E", "F"}) {
        const std::string address = column + std::to_string(row);
        EXPECT_EQ(format(address), *column == 'B' && !metres ? "0" : "0.000") << address;
      }
    }
  }
}

struct RefusalCase {
  const char* name;
  const char* sheet;
  const char* address;
  CellValue value;
  int number;
  const char* message;
  ClosureToleranceFormula formula = ClosureToleranceFormula::SixRootN;
};

class ObservationRecordRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ObservationRecordRefusal, NamesTheCellAndWritesNothing) {
  const RefusalCase& c = GetParam();
  const bool missing = c.sheet[0] == '-';
  MemoryHost host = TextbookHost(100.9985, true, missing ? c.sheet + 1 : "");
  if (!missing) {
    host.SelectSheet(c.sheet);
    host.SetCellValue(c.address, c.value);
  }
  LevelingSettings settings;
  settings.ClosureToleranceFormula = c.formula;
  try {
    ComputeObservedBook(host, settings);
    ADD_FAILURE() << "not refused";
  } catch (const spreadsheet::NumberedError& e) {
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_NE(e.Description().find(c.message), std::string::npos) << e.Description();
  }
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("old"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ObservationRecordRefusal,
    ::testing::Values(
        RefusalCase{"StartWithoutBacksight", "观测记录", "B5", "", 5, "是起始水准点，只记后视：B5 须有读数"},
        RefusalCase{"TurnWithoutBacksight", "观测记录", "B9", "", 5, "第 9 行（TP2）有前视而没有后视"},
        RefusalCase{"TurnWithMiddleSight", "观测记录", "C9", 1.0, 5, "既有前视又有中视"},
        RefusalCase{"BacksightWithoutForesight", "观测记录", "B6", 1.2, 5, "有后视而没有前视"},
        RefusalCase{"RowWithoutReading", "观测记录", "C6", "", 5, "第 6 行（K0+000）没有读数"},
        RefusalCase{"WrongStart", "观测记录", "A5", "BM9", 5, "应为起始水准点“BM1”"},
        RefusalCase{"WrongEnd", "观测记录", "A15", "BM3", 5, "应为闭合水准点“BM2”"},
        RefusalCase{"MissingDistance", "观测记录", "F7", "", 5, "缺少视距 F7"},
        RefusalCase{"NegativeReading", "观测记录", "B7", -0.5, 5, "B7 的读数 -0.5 米不可能是水准尺读数"},
        RefusalCase{"BeyondTheStaff", "观测记录", "D9", 10.5, 5, "D9 的读数 10.5 米不可能是水准尺读数"},
        RefusalCase{"TextReading", "观测记录", "C6", "abc", 13, "C6 的内容“abc”不是数字"},
        RefusalCase{"ErrorValue", "观测记录", "C6", spreadsheet::CellError{"#REF!"}, 13, "C6"},
        RefusalCase{"UnknownUnit", "观测记录", "B2", "英尺", 13, "B2（读数单位）"},
        RefusalCase{"NameMissing", "观测记录", "A6", "", 5, "测点名 A6 为空"},
        RefusalCase{"DataBelowAGap", "观测记录", "C20", 1.5, 5, "第 16 行为空，而第 20 行还有数据（C20）"},
        RefusalCase{"DistanceBeyond", "观测记录", "E5", 4000.0, 5, "E5 的视距 4000 米"},
        RefusalCase{"NoRecordSheet", "-观测记录", "", kNone, 9, "没有“观测记录”表"},
        RefusalCase{"NoResultSheet", "-成果表", "", kNone, 9, "没有“成果表”表"},
        RefusalCase{"InputNotANumber", "数据输入", "E6", "x", 13, "E6"}),
    testsupport::CaseName());

TEST(ObservationRecordRefusal, RouteLengthFormulaWithoutDistances) {
  MemoryHost host = TextbookHost(100.9985, false);
  LevelingSettings settings;
  settings.ClosureToleranceFormula = ClosureToleranceFormula::ThirtyRootL;
  try {
    ComputeObservedBook(host, settings);
    ADD_FAILURE() << "not refused";
  } catch (const LevelingError& e) {
    EXPECT_NE(e.Description().find("±30√L 需要路线长度"), std::string::npos) << e.Description();
  }
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("old"));
}

TEST(ObservationRecordRefusal, ARecordOfOneRow) {
  MemoryHost host = MakeHost(kSheets);
  testing::PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0);
  host.SelectSheet("观测记录");
  host.SetCellValue("A5", std::string("BM1"));
  host.SetCellValue("B5", 1.5);
  EXPECT_THROW(ComputeObservedBook(host, LevelingSettings{}), LevelingError);
}

// A route of `points` points whose design elevations wander up and down, some with measured
// elevations, between BM1 and BM2.
void PutWanderingRoute(MemoryHost& host, RandomEngine& engine, int points) {
  std::uniform_real_distribution<double> step(-3.0, 3.0);
  double elevation = 250.0;
  testing::PutBenchmarks(host, "BM1", 250.0, "BM2", 0.0);
  for (int i = 0; i < points; ++i) {
    elevation += step(engine);
    const double design = std::round(elevation * 1000) / 1000;
    const CellValue measured = i % 5 == 0 ? CellValue(design + 0.004) : kNone;
    testing::PutRow(host, 8 + i, "K" + std::to_string(i), double(i % 3 - 1) * 6.5, design, measured);
  }
  elevation += step(engine);
  host.SelectSheet("数据输入");
  host.SetCellValue("F6", std::round(elevation * 1000) / 1000);
}

TEST(GeneratedBookTypedBack, ReducesToTheGeneratorsElevations) {
  for (std::uint64_t seed = 0; seed < 25; ++seed) {
    SCOPED_TRACE(seed);
    RandomEngine engine(seed);
    MemoryHost host = MakeHost(kSheets);
    PutWanderingRoute(host, engine, 12 + static_cast<int>(seed % 7));
    LevelingModule module;
    module.Settings().ShowTurnPointElevation = true;
    CollectingSink messages;
    const FieldBookResult generated = module.GenerateFieldBook(host, seed, messages);
    ASSERT_TRUE(generated.Written);
    ExpectBookSumsHold(host);

    // The book as a surveyor would copy it into the observation record.
    host.SelectSheet("水准表");
    std::vector<std::vector<CellValue>> copied;
    std::vector<CellValue> elevations;
    for (int row = 5;; ++row) {
      const std::string r = std::to_string(row);
      if (std::holds_alternative<std::monostate>(host.GetCellValue("A" + r))) break;
      copied.push_back({host.GetCellValue("A" + r), host.GetCellValue("B" + r), host.GetCellValue("C" + r),
                        host.GetCellValue("D" + r)});
      elevations.push_back(host.GetCellValue("F" + r));
    }
    host.SelectSheet("观测记录");
    for (std::size_t i = 0; i < copied.size(); ++i) {
      for (int c = 0; c < 4; ++c) Put(host, std::string(1, char('A' + c)) + std::to_string(5 + i), copied[i][c]);
    }
    module.Settings().ShowTurnPointElevation = true;
    const ObservedResult reduced = ComputeObservedBook(host, module.Settings());
    EXPECT_EQ(reduced.SetUps, generated.SetUps);
    EXPECT_EQ(reduced.Check.ClosureMm, generated.Check.ClosureMm);
    ExpectBookSumsHold(host);
    host.SelectSheet("水准表");
    for (std::size_t i = 1; i < elevations.size(); ++i) {
      const std::string address = "F" + std::to_string(5 + i);
      ASSERT_TRUE(std::holds_alternative<double>(elevations[i])) << address;
      EXPECT_NEAR(NumberAt(host, address), std::get<double>(elevations[i]), 0.001) << address;
    }
  }
}

TEST(GeneratedBook, TakesTheChosenFormula) {
  MemoryHost host = MakeHost(kSheets);
  testing::PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0);
  LevelingModule module;
  module.Settings().ClosureToleranceFormula = ClosureToleranceFormula::TwelveRootN;
  CollectingSink messages;
  FieldBookResult result = module.GenerateFieldBook(host, 3, messages);
  ASSERT_TRUE(result.Written);
  EXPECT_EQ(host.GetCellValue("I2"), CellValue(ClosureLimitText(ClosureToleranceFormula::TwelveRootN, result.SetUps, {})));
  EXPECT_EQ(result.Check.LimitMm, ClosureLimitMillimetres(ClosureToleranceFormula::TwelveRootN, result.SetUps, {}));

  // A simulated book has no distances: a √L formula is refused before anything is written.
  host.SelectSheet("水准表");
  host.SetCellValue("A5", std::string("old"));
  module.Settings().ClosureToleranceFormula = ClosureToleranceFormula::TwentyRootL;
  result = module.GenerateFieldBook(host, 3, messages);
  EXPECT_FALSE(result.Written);
  EXPECT_EQ(result.FailureNumber, LevelingError::kInvalidInput);
  EXPECT_NE(result.FailureDescription.find("±20√L 需要路线长度，而模拟生成的水准表没有视距"), std::string::npos)
      << result.FailureDescription;
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("old"));
}

struct LimitCase {
  ClosureToleranceFormula formula;
  int stations;
  std::optional<double> metres;
  int limit;
  const char* text;
};

TEST(ClosureLimit, FollowsTheFormula) {
  const LimitCase cases[] = {
      {ClosureToleranceFormula::SixRootN, 1, {}, 6, "±6√n=±6"},
      {ClosureToleranceFormula::SixRootN, 4, {}, 12, "±6√n=±12"},
      {ClosureToleranceFormula::TwelveRootN, 2, {}, 17, "±12√n=±17"},
      {ClosureToleranceFormula::TwentyRootL, 9, 1000.0, 20, "±20√L=±20"},
      // 0.4995 km shows as 0.500 (half to even on whole metres), 20√0.5 = 14.14.
      {ClosureToleranceFormula::TwentyRootL, 9, 499.5, 14, "±20√L=±14"},
      {ClosureToleranceFormula::ThirtyRootL, 1, 250.0, 15, "±30√L=±15"},
      {ClosureToleranceFormula::FortyRootL, 1, 0.0, 0, "±40√L=±0"},
  };
  for (const LimitCase& c : cases) {
    EXPECT_EQ(ClosureLimitMillimetres(c.formula, c.stations, c.metres), c.limit) << c.text;
    EXPECT_EQ(ClosureLimitText(c.formula, c.stations, c.metres), c.text);
  }
  EXPECT_THROW(ClosureLimitMillimetres(ClosureToleranceFormula::FortyRootL, 3, std::nullopt), LevelingError);
  for (int i = 0; i < kToleranceFormulaCount; ++i) {
    const auto formula = static_cast<ClosureToleranceFormula>(i);
    EXPECT_EQ(ParseToleranceFormula(" " + ToleranceFormulaText(formula) + " "), formula);
  }
  EXPECT_EQ(ParseToleranceFormula("20√l"), std::nullopt);
  EXPECT_EQ(ParseToleranceFormula("6"), std::nullopt);
}

TEST(ClosureLimit, IsASettingCheckedWithTheOthers) {
  SettingsForm form = SettingsToForm(LevelingSettings{});
  EXPECT_EQ(form.ToleranceFormula, "6√n");
  form.ToleranceFormula = "30√L";
  SettingsValidation checked = ValidateSettings(form);
  ASSERT_TRUE(checked.Saved);
  EXPECT_EQ(checked.Settings.ClosureToleranceFormula, ClosureToleranceFormula::ThirtyRootL);
  form.ToleranceFormula = "25√L";
  checked = ValidateSettings(form);
  EXPECT_FALSE(checked.Saved);
  EXPECT_EQ(checked.Message, "闭合差限差公式只能是 6√n、12√n、20√L、30√L 或 40√L,设置未保存");
  // An earlier failing item is still the one named.
  form.Items[0] = "x";
  EXPECT_EQ(ValidateSettings(form).Message, "请检查水准设置第1项是否为数字,设置未保存");
}

struct DistributionCase {
  const char* name;
  std::int64_t closure;
  std::vector<double> weights;
  std::vector<std::int64_t> corrections;
};

TEST(DistributeClosure, SumsExactlyToMinusTheClosure) {
  const DistributionCase cases[] = {
      {"none", 0, {1, 1, 1}, {0, 0, 0}},
      {"even", 6, {1, 1, 1}, {-2, -2, -2}},
      {"ties go to the earlier set-up", 4, {1, 1, 1, 1, 1, 1}, {-1, -1, -1, -1, 0, 0}},
      {"negative closure", -5, {1, 1, 1}, {2, 2, 1}},
      {"by distance", 3, {10, 80, 10}, {0, -3, 0}},
      {"largest remainders", 7, {100, 200, 300}, {-1, -2, -4}},
      {"all weights zero", 2, {0, 0, 0}, {-1, -1, 0}},
      {"one set-up", -13, {5}, {13}},
  };
  for (const DistributionCase& c : cases) {
    EXPECT_EQ(DistributeClosure(c.closure, c.weights), c.corrections) << c.name;
  }
  // Whatever the weights, the sum is exact.
  RandomEngine engine(7);
  std::uniform_real_distribution<double> weight(0.0, 120.0);
  for (int run = 0; run < 200; ++run) {
    std::vector<double> weights(1 + run % 40);
    for (double& w : weights) w = weight(engine);
    const std::int64_t closure = run % 61 - 30;
    std::int64_t sum = 0;
    for (const std::int64_t c : DistributeClosure(closure, weights)) sum += c;
    EXPECT_EQ(sum, -closure);
  }
}

struct StationCase {
  const char* name;
  ClosureToleranceFormula formula;
  std::vector<SetUpDistances> distances;
  bool passed;
  const char* text;
};

TEST(CheckStations, NamesTheFirstFailingSetUp) {
  const StationCase cases[] = {
      {"no distances", ClosureToleranceFormula::SixRootN, {}, true, "无视距"},
      {"within, on the limits", ClosureToleranceFormula::SixRootN, {{100, 97}, {40, 43}}, true, "合格"},
      {"sight too long", ClosureToleranceFormula::SixRootN, {{50, 50}, {100.5, 98}}, false,
       "第 2 站 后视视线长度 100.5 m 超过 100 m（四等）"},
      {"difference", ClosureToleranceFormula::TwentyRootL, {{45.3, 56}}, false,
       "第 1 站 前后视距差 -10.7 m 超过 ±3 m（四等）"},
      {"difference on the limit", ClosureToleranceFormula::SixRootN, {{43, 40}, {40, 43.1}}, false,
       "第 2 站 前后视距差 -3.1 m 超过 ±3 m（四等）"},
      {"difference below order", ClosureToleranceFormula::FortyRootL, {{45.3, 56}}, false,
       "第 1 站 前后视距差 -10.7 m 超过 ±10 m（等外）"},
      {"running sum", ClosureToleranceFormula::SixRootN, {{43, 40}, {43, 40}, {43, 40}, {42, 40.9}}, false,
       "第 4 站 前后视距累积差 +10.1 m 超过 ±10 m（四等）"},
      {"no running-sum limit below order", ClosureToleranceFormula::TwelveRootN, {{49, 40}, {49, 40}, {49, 40}}, true,
       "合格"},
  };
  for (const StationCase& c : cases) {
    const StationCheck check = CheckStations(c.distances, StationLimitsFor(c.formula));
    EXPECT_EQ(check.Passed, c.passed) << c.name;
    EXPECT_EQ(check.Text, c.text) << c.name;
  }
}

}  // namespace
}  // namespace gaocheng
