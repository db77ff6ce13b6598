#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>
#include <variant>

#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingModule.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "workbook/SpreadsheetError.h"
#include "tests/support/ParamName.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using spreadsheet::MemoryHost;
using testing::CollectingSink;
using testing::MakeHost;
using testing::PutBenchmarks;
using testing::PutRow;

const CellValue kNone{};

std::string Text(const CellValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return "text \"" + *s + "\"";
  if (const auto* d = std::get_if<double>(&v)) return "number " + std::to_string(*d);
  return "empty";
}

// Staff 0.25 to 4.75 m and a quick turn value below half a millimetre: every band is a single
// millimetre value, so the whole field book is known in advance.
LevelingSettings ForcedSettings() {
  LevelingSettings s;
  s.StaffMinReading = 0.25;
  s.StaffMaxReading = 4.75;
  s.QuickTurnValue = 0.0004;
  s.MidPointMinusTolerance = 1;
  s.MidPointPlusTolerance = 1;
  s.ClosureMinusTolerance = -2;
  s.ClosurePlusTolerance = -2;
  s.TurnPointPrefix = "Z D";
  return s;
}

// Puts the known route into the input sheet and old contents into the output sheet.
void PutForcedRoute(MemoryHost& host) {
  PutBenchmarks(host, "BM 1", 100.0, "BM 2", 103.0);
  PutRow(host, 8, "K0 +000", -5.0, 104.0, 105.5);
  PutRow(host, 9, "K0+020", " 路 边", kNone, 107.0);
  PutRow(host, 10, "K0+040", 0.0, 100.0, kNone);
  host.SelectSheet("水准表");
  for (int row = 1; row <= 300; ++row) {
    for (const char* column : {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"}) {
      host.SetCellValue(column + std::to_string(row), std::string("old"));
    }
  }
  host.SelectSheet("数据输入");
}

struct Switches {
  bool turnElevation;
  bool midInC;
  bool metres;
};

class GenerateFieldBookSwitches : public ::testing::TestWithParam<Switches> {};

TEST_P(GenerateFieldBookSwitches, WritesEveryCellAsTheTableSays) {
  const Switches sw = GetParam();
  MemoryHost host = MakeHost();
  PutForcedRoute(host);
  LevelingModule module;
  module.Settings() = ForcedSettings();
  module.Settings().ShowTurnPointElevation = sw.turnElevation;
  module.Settings().MidSightInColumnC = sw.midInC;
  module.Settings().ShowReadingsInMetres = sw.metres;
  CollectingSink messages;
  const FieldBookResult result = module.GenerateFieldBook(host, 42, messages);
  EXPECT_TRUE(messages.shown.empty());
  testing::ExpectBookSumsHold(host, sw.metres);

  // Readings in the switch's unit, each value exactly the double of its decimal: no binary
  // noise (104.75 - 102.998 is 1.7519999999999953 before rounding).
  const auto r = [&](double metres, double millimetres) { return sw.metres ? metres : millimetres; };
  const std::string mid = sw.midInC ? "C" : "D";
  std::map<std::string, CellValue> expected = {
      {"A5", "BM1"},          {"B5", r(4.75, 4750)},    {"E5", 104.75},      {"G5", 100.0},
      {"A6", "Z D1"},         {"B6", r(4.75, 4750)},    {"D6", r(0.25, 250)}, {"E6", 109.25},
      {"A7", "K0+000左5米"},  {mid + "7", r(3.75, 3750)}, {"F7", 105.5},     {"G7", 104.0},
      {"H7", 1500.0},         {"A8", "K0+020路边"},     {mid + "8", r(2.25, 2250)}, {"F8", 107.0},
      {"G8", ""},             {"H8", ""},               {"A9", "Z D2"},      {"B9", r(0.25, 250)},
      {"D9", r(4.75, 4750)},  {"E9", 104.75},           {"A10", "K0+040中"}, {mid + "10", r(4.749, 4749)},
      {"F10", 100.001},       {"G10", 100.0},           {"H10", 1.0},        {"A11", "BM2"},
      {"D11", r(1.752, 1752)}, {"F11", 102.998},        {"G11", 103.0},      {"H11", -2.0},
      // The check block after one empty row: backsights 4.75 + 4.75 + 0.25, foresights
      // 0.25 + 4.75 + 1.752 (the intermediate sights left out), their difference equal to
      // 102.998 - 100.
      {"A13", "计算校核"},    {"A14", "Σ后视"},         {"B14", r(9.75, 9750)},
      {"A15", "Σ前视"},       {"B15", r(6.752, 6752)},  {"A16", "Σ后视−Σ前视"}, {"B16", r(2.998, 2998)},
      {"A17", "H终−H始"},     {"B17", 2.998},           {"A18", "闭合差(mm)"}, {"B18", -2.0},
      {"A19", "限差(mm)"},    {"B19", 10.0},            {"A20", "结论"},     {"B20", "合格"},
      {"A21", "随机种子 42"},
      // K0+040 and the closing benchmark had no measured elevation.
      {"A22", "模拟高程"},    {"B22", "2 点"},
  };
  if (sw.turnElevation) {
    expected["F6"] = 104.5;
    expected["F9"] = 104.5;
  }

  ASSERT_EQ(host.GetWorkbook().SheetAt(host.GetWorkbook().ActiveSheet()).Name(), "水准表");
  for (int row = 5; row <= 300; ++row) {
    for (const char column : std::string("ABCDEFGHI")) {
      const std::string address = column + std::to_string(row);
      const CellValue actual = host.GetCellValue(address);
      const auto it = expected.find(address);
      if (it == expected.end()) {
        ASSERT_TRUE(std::holds_alternative<std::monostate>(actual))
            << address << " should stay empty, holds " << Text(actual);
      } else {
        EXPECT_EQ(actual, it->second) << address << ": " << Text(actual);
      }
    }
  }
  EXPECT_EQ(host.GetCellValue("I2"), CellValue("±6√n=±10"));
  // Whole millimetres show as whole numbers, in the book and in the block.
  EXPECT_EQ(host.GetCellText("D11"), sw.metres ? "1.752" : "1752");
  EXPECT_EQ(host.GetCellText(mid + "10"), sw.metres ? "4.749" : "4749");
  EXPECT_EQ(host.GetCellText("B15"), sw.metres ? "6.752" : "6752");
  EXPECT_EQ(host.GetCellText("B17"), "2.998");
  EXPECT_EQ(host.GetCellText("B18"), "-2");
  EXPECT_TRUE(result.Written);
  EXPECT_EQ(result.Points, 4);
  EXPECT_EQ(result.TurningPoints, 2);
  EXPECT_EQ(result.SetUps, 3);
  EXPECT_EQ(result.Seed, 42u);
  // Outside A5:I65536 and I2 nothing changes.
  for (const char* address : {"A1", "I1", "I3", "I4", "A4", "J5", "J11", "J300"}) {
    EXPECT_EQ(host.GetCellValue(address), CellValue("old")) << address;
  }
}

INSTANTIATE_TEST_SUITE_P(AllEight, GenerateFieldBookSwitches,
                         ::testing::Values(Switches{false, false, false}, Switches{false, false, true},
                                           Switches{false, true, false}, Switches{false, true, true},
                                           Switches{true, false, false}, Switches{true, false, true},
                                           Switches{true, true, false}, Switches{true, true, true}),
                         testsupport::NameBy([](const Switches& s) {
                           return testsupport::ParamName(s.turnElevation ? "TurnHeights" : "NoTurnHeights",
                                                         s.midInC ? "MidInC" : "MidInD",
                                                         s.metres ? "Metres" : "Millimetres");
                         }));

TEST(ToleranceText, RoundsSixRootN) {
  EXPECT_EQ(ToleranceText(1), "±6√n=±6");
  EXPECT_EQ(ToleranceText(2), "±6√n=±8");
  EXPECT_EQ(ToleranceText(3), "±6√n=±10");
  EXPECT_EQ(ToleranceText(4), "±6√n=±12");
  EXPECT_EQ(ToleranceText(9), "±6√n=±18");
  EXPECT_EQ(ToleranceText(30), "±6√n=±33");
}

// The forced route has three set-ups, so a limit of ±10 mm; the closure is the closure
// tolerance itself.
struct VerdictCase {
  const char* name;
  double closure;
  const char* verdict;
  const char* notice;  // "" for none
};

class GenerateFieldBookVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(GenerateFieldBookVerdict, ClosureAgainstTheLimit) {
  MemoryHost host = MakeHost();
  PutForcedRoute(host);
  LevelingModule module;
  module.Settings() = ForcedSettings();
  module.Settings().ClosureMinusTolerance = GetParam().closure;
  module.Settings().ClosurePlusTolerance = GetParam().closure;
  CollectingSink messages;
  const FieldBookResult result = module.GenerateFieldBook(host, 9, messages);
  ASSERT_TRUE(result.Written);
  testing::ExpectBookSumsHold(host);
  EXPECT_EQ(result.Check.ClosureMm, GetParam().closure);
  EXPECT_EQ(result.Check.LimitMm, 10);
  EXPECT_EQ(host.GetCellValue("B18"), CellValue(GetParam().closure));
  EXPECT_EQ(host.GetCellValue("B20"), CellValue(GetParam().verdict));
  EXPECT_EQ(host.GetCellValue("A21"), CellValue("随机种子 9"));
  const std::string notice = GetParam().notice;
  EXPECT_EQ(result.Check.WithinLimit, notice.empty());
  EXPECT_TRUE(messages.shown.empty());  // the caller shows the notices
  EXPECT_EQ(result.Notices, notice.empty() ? std::vector<std::string>{} : std::vector<std::string>{notice});
}

INSTANTIATE_TEST_SUITE_P(
    Table, GenerateFieldBookVerdict,
    ::testing::Values(VerdictCase{"AtMinusLimit", -10, "合格", ""}, VerdictCase{"AtPlusLimit", 10, "合格", ""},
                      VerdictCase{"Zero", 0, "合格", ""},
                      VerdictCase{"JustAbove", 11, "超限", "闭合差 +11 mm 超过限差 ±10 mm"},
                      VerdictCase{"JustBelow", -11, "超限", "闭合差 -11 mm 超过限差 ±10 mm"}),
    [](const auto& info) { return std::string(info.param.name); });

// A book whose closing row is 65526 still has its block down to row 65536; one row longer
// and the block is left out.
TEST(WriteFieldBook, CheckBlockOnlyWhereItFits) {
  for (const std::size_t rows : {std::size_t{65521}, std::size_t{65522}}) {
    FieldBook book;
    book.Rows.resize(rows);
    book.Rows.front().RowKind = FieldBookRow::Kind::StartRow;
    book.Rows.front().Backsight = 1.5;
    book.Rows.back().RowKind = FieldBookRow::Kind::ClosingRow;
    book.Rows.back().Foresight = 0.5;
    book.Rows.back().MeasuredElevation = 1.001;
    book.Rows.back().DesignElevation = 1;
    MemoryHost host = MakeHost();
    const FieldBookCheck check = WriteFieldBook(host, book, LevelingSettings{}, 5, 3);
    EXPECT_EQ(check.ClosureMm, 1);
    const int closing = static_cast<int>(rows) + 4;
    const CellValue seed = host.GetCellValue("A65535");
    EXPECT_EQ(host.GetCellValue("B65536"), rows == 65521 ? CellValue("3 点") : CellValue());
    const CellValue label = host.GetCellValue("A" + std::to_string(closing + 2));
    if (rows == 65521) {
      EXPECT_EQ(label, CellValue("计算校核"));
      EXPECT_EQ(seed, CellValue("随机种子 5"));
    } else {
      EXPECT_EQ(label, CellValue());
      EXPECT_EQ(seed, CellValue());
    }
  }
}

// Anything typed in A, B, E or F below the end of the route (or in B, E, F of the empty row
// itself) is named once the book is written; other columns and an empty text are not.
struct BelowCase {
  const char* address;
  CellValue value;
  const char* notice;  // after "路线在第 11 行结束（A11 为空），"; nullptr: none
};

class DataBelowTheRoute : public ::testing::TestWithParam<BelowCase> {};

TEST_P(DataBelowTheRoute, IsReportedAfterTheBook) {
  MemoryHost host = MakeHost();
  PutForcedRoute(host);
  host.SetCellValue(GetParam().address, GetParam().value);
  LevelingModule module;
  module.Settings() = ForcedSettings();
  CollectingSink messages;
  const FieldBookResult result = module.GenerateFieldBook(host, 1, messages);
  ASSERT_TRUE(result.Written);
  EXPECT_EQ(host.GetCellValue("A11"), CellValue("BM2"));
  EXPECT_TRUE(messages.shown.empty());
  if (GetParam().notice != nullptr) {
    EXPECT_EQ(result.Notices,
              std::vector<std::string>{std::string("路线在第 11 行结束（A11 为空），") + GetParam().notice});
  } else {
    EXPECT_TRUE(result.Notices.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataBelowTheRoute,
    ::testing::Values(BelowCase{"B11", std::string("路边"), "B11 还有数据未计入"},
                      BelowCase{"E11", 100.0, "E11 还有数据未计入"},
                      BelowCase{"F11", 100.0, "F11 还有数据未计入"},
                      BelowCase{"A12", std::string("K0+060"), "第 12 行以下还有数据未计入"},
                      BelowCase{"F65536", 1.0, "第 12 行以下还有数据未计入"}, BelowCase{"C11", 1.0, nullptr},
                      BelowCase{"G30", 1.0, nullptr}, BelowCase{"A40", std::string(), nullptr}),
    [](const auto& info) { return std::string(info.param.address); });

TEST(GenerateFieldBook, RouteWithoutRowsWritesStartAndClosing) {
  MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 100.0, "BM2", 100.5);
  LevelingModule module;
  CollectingSink messages;
  module.GenerateFieldBook(host, 1, messages);
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("BM1"));
  EXPECT_EQ(host.GetCellValue("A6"), CellValue("BM2"));
  EXPECT_EQ(host.GetCellValue("A7"), CellValue());
  EXPECT_EQ(host.GetCellValue("I2"), CellValue("±6√n=±6"));
  EXPECT_NEAR(std::get<double>(host.GetCellValue("H6")), (std::get<double>(host.GetCellValue("F6")) - 100.5) * 1000, 1e-9);
}

// A known elevation of 0 m is taken (with empty texts where the book compares with it); an
// empty cell is refused naming it, the book untouched.
TEST(GenerateFieldBook, BenchmarkAtZeroIsTakenAnEmptyElevationRefused) {
  for (const char* empty : {"E6", "F6"}) {
    MemoryHost host = MakeHost();
    PutBenchmarks(host, "BM1", 3.0, "BM2", 3.5);
    host.SetCellValue(empty, std::string());
    LevelingModule module;
    CollectingSink messages;
    EXPECT_FALSE(module.GenerateFieldBook(host, 1, messages).Written);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, std::string("5\n单元格 ") + empty + " 为空：" +
                                          (empty[0] == 'E' ? "起始水准点“BM1”" : "闭合水准点“BM2”") +
                                          "没有已知高程");
    host.SelectSheet("水准表");
    EXPECT_EQ(host.GetCellValue("A5"), CellValue());
  }
  MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 3.0, "BM2", 0.0);
  LevelingModule module;
  CollectingSink messages;
  module.GenerateFieldBook(host, 1, messages);
  int last = 5;
  while (host.GetCellValue("A" + std::to_string(last + 1)) != CellValue()) ++last;
  EXPECT_EQ(host.GetCellValue("A" + std::to_string(last)), CellValue("BM2"));
  EXPECT_EQ(host.GetCellValue("G" + std::to_string(last)), CellValue(""));
  EXPECT_EQ(host.GetCellValue("H" + std::to_string(last)), CellValue(""));
  EXPECT_EQ(host.GetCellValue("G5"), CellValue(3.0));
}

class GenerateFieldBookFailure : public ::testing::Test {
 protected:
  GenerateFieldBookFailure() : host(MakeHost()) {
    PutForcedRoute(host);
    module.Settings() = ForcedSettings();
    module.GenerateFieldBook(host, 1, messages);
    previous = Snapshot();
  }

  std::map<std::string, CellValue> Snapshot() {
    host.SelectSheet("水准表");
    std::map<std::string, CellValue> cells;
    for (int row = 1; row <= 20; ++row) {
      for (const char column : std::string("ABCDEFGHIJ")) {
        const std::string address = column + std::to_string(row);
        cells[address] = host.GetCellValue(address);
      }
    }
    host.SelectSheet("数据输入");
    return cells;
  }

  void Generate() {
    module.GenerateFieldBook(host, 2, messages);
  }

  MemoryHost host;
  LevelingModule module;
  CollectingSink messages;
  std::map<std::string, CellValue> previous;
};

TEST_F(GenerateFieldBookFailure, BadStartElevationLeavesThePreviousBook) {
  ASSERT_EQ(previous.at("A11"), CellValue("BM2"));
  host.SetCellValue("E6", std::string("abc"));
  Generate();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].text, "13\n单元格 E6 的内容“abc”不是数字");
  EXPECT_EQ(Snapshot(), previous);
}

TEST_F(GenerateFieldBookFailure, BadRowLeavesThePreviousBook) {
  host.SetCellValue("E9", std::string("x"));
  Generate();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, "13\n单元格 E9 的内容“x”不是数字");
  EXPECT_EQ(Snapshot(), previous);
}

// The callback for a caller done with the input: once per book, with the route read and
// nothing of the new book written yet; never when the reading fails.
TEST_F(GenerateFieldBookFailure, RouteReadCallbackComesBetweenReadingAndWriting) {
  host.SelectSheet("水准表");
  host.SetCellValue("A5", std::string("marker"));
  host.SelectSheet("数据输入");
  int calls = 0;
  const auto routeRead = [&] {
    ++calls;
    EXPECT_EQ(module.Route().Points.size(), 4u);
    EXPECT_EQ(host.GetWorkbook().FindSheet("水准表")->Value(spreadsheet::CellAddress::Parse("A5")),
              CellValue(std::string("marker")));
  };
  module.GenerateFieldBook(host, 2, messages, routeRead);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(host.GetWorkbook().FindSheet("水准表")->Value(spreadsheet::CellAddress::Parse("A5")),
            CellValue(std::string("BM1")));
  host.SelectSheet("数据输入");
  host.SetCellValue("E9", std::string("x"));
  module.GenerateFieldBook(host, 3, messages, routeRead);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(GenerateFieldBookSheets, MissingInputSheetLeavesTheOutputAlone) {
  MemoryHost host = MakeHost({"水准表"});
  host.SetCellValue("A5", std::string("old"));
  LevelingModule module;
  CollectingSink messages;
  module.GenerateFieldBook(host, 1, messages);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text.rfind("9\n", 0), 0u);
  EXPECT_EQ(host.GetCellValue("A5"), CellValue("old"));
}

TEST(GenerateFieldBookSheets, MissingOutputSheetPropagates) {
  MemoryHost host = MakeHost({"数据输入"});
  PutBenchmarks(host, "BM1", 100.0, "BM2", 100.5);
  LevelingModule module;
  CollectingSink messages;
  try {
    module.GenerateFieldBook(host, 1, messages);
    ADD_FAILURE() << "no exception";
  } catch (const spreadsheet::SpreadsheetError& error) {
    EXPECT_EQ(error.Number(), spreadsheet::SpreadsheetError::kSubscriptOutOfRange);
  }
  EXPECT_TRUE(messages.shown.empty());
}

// Each descending turn with the forced settings moves exactly 4.5 m; from 0 m with a first
// backsight of 0.25 m, a closing benchmark at -294886.75 m is read at 2 m after 65,530 turns:
// 65,532 rows, the last one in row 65536.
TEST(GenerateFieldBookSheets, BookThatFillsTheSheetIsWrittenOneMoreRowIsRefused) {
  MemoryHost host = MakeHost();
  PutBenchmarks(host, "BM1", 0.0, "BM2", -294886.75);
  LevelingModule module;
  module.Settings() = ForcedSettings();
  module.Settings().ClosureMinusTolerance = 0;
  module.Settings().ClosurePlusTolerance = 0;
  CollectingSink messages;
  module.GenerateFieldBook(host, 1, messages);
  ASSERT_TRUE(messages.shown.empty());
  EXPECT_EQ(host.GetCellValue("A65535"), CellValue("Z D65530"));
  EXPECT_EQ(host.GetCellValue("A65536"), CellValue("BM2"));
  EXPECT_NEAR(std::get<double>(host.GetCellValue("D65536")), 2.0, 1e-9);
  EXPECT_EQ(host.GetCellValue("I2"), CellValue("±6√n=±1536"));

  host.SelectSheet("数据输入");
  host.SetCellValue("F6", -294891.25);
  module.GenerateFieldBook(host, 1, messages);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Error");
  EXPECT_EQ(messages.shown[0].text.rfind("6\n", 0), 0u);
  EXPECT_NE(messages.shown[0].text.find("65532"), std::string::npos) << messages.shown[0].text;
  host.SelectSheet("水准表");
  EXPECT_EQ(host.GetCellValue("A65536"), CellValue("BM2"));
  EXPECT_EQ(host.GetCellValue("I2"), CellValue("±6√n=±1536"));
}

}  // namespace
}  // namespace gaocheng
