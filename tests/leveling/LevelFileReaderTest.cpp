// The readers of digital-level files and CSV: the same closed route written in each format
// reads as the same observation record; a line that cannot be read names its number and word.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "leveling/LevelFileReader.h"
#include "leveling/LevelingError.h"
#include "leveling/ObservationSheet.h"
#include "leveling/ObservedFieldBook.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "tests/support/ParamName.h"

namespace gaocheng {
namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(LEVELING_TEST_DATA) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ExpectSameRows(const std::vector<ObservationRow>& actual, const std::vector<ObservationRow>& expected,
                    const std::string& what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  const auto same = [](const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || std::fabs(*a - *b) < 1e-9);
  };
  for (std::size_t i = 0; i < actual.size(); ++i) {
    const ObservationRow& a = actual[i];
    const ObservationRow& e = expected[i];
    EXPECT_EQ(a.Point, e.Point) << what << " row " << i;
    EXPECT_TRUE(same(a.Backsight, e.Backsight) && same(a.MidSight, e.MidSight) && same(a.Foresight, e.Foresight))
        << what << " readings of " << a.Point;
    EXPECT_TRUE(same(a.BackDistance, e.BackDistance) && same(a.ForeDistance, e.ForeDistance))
        << what << " distances of " << a.Point;
  }
}

TEST(LevelFileReader, ReadsTheSameRouteFromEachFormat) {
  const std::vector<ObservationRow> csv = ReadObservationFile(ReadData("closed_route.csv"));
  ASSERT_EQ(csv.size(), 11u);
  EXPECT_EQ(csv[0].Point, "BM1");
  EXPECT_EQ(csv[0].Backsight, 1.423);
  EXPECT_EQ(csv[0].BackDistance, 40.0);
  EXPECT_EQ(csv[0].Note, "起始水准点");
  EXPECT_EQ(csv[2].Point, "TP1");
  EXPECT_EQ(csv[2].Foresight, 0.8765);
  EXPECT_EQ(csv[2].Backsight, 1.987);
  EXPECT_EQ(csv[2].ForeDistance, 41.5);
  EXPECT_EQ(csv[2].BackDistance, 38.2);
  EXPECT_EQ(csv[3].MidSight, 1.2345);
  EXPECT_EQ(csv[10].Foresight, 1.654);
  for (const char* file : {"closed_route_gsi16.gsi", "closed_route_gsi8.gsi", "closed_route.m5"}) {
    ExpectSameRows(ReadObservationFile(ReadData(file)), csv, file);
  }
}

TEST(LevelFileReader, AveragesTheTwoReadingsOfDoubleReadingMethods) {
  // GSI, BFFB with the second readings marked 335/336, distances 0.01 mm units.
  const std::string gsi =
      "*110001+0000000000000BM1 32...8+0000000002000000 331.08+0000000000150010 \n"
      "*110002+0000000000000TP1 32...8+0000000002100000 332.08+0000000000120020 \n"
      "*110003+0000000000000TP1 32...8+0000000002100000 336.08+0000000000120030 \n"
      "*110004+0000000000000BM1 32...8+0000000002000000 335.08+0000000000150000 \n"
      "*110005+0000000000000TP1 331.08+0000000000080000 \n"
      "*110006+0000000000000BM2 332.08+0000000000099990 \n";
  std::vector<ObservationRow> rows = ReadObservationFile(gsi);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NEAR(*rows[0].Backsight, 1.50005, 1e-12);
  EXPECT_NEAR(*rows[1].Foresight, 1.20025, 1e-12);
  EXPECT_EQ(rows[1].Backsight, 0.8);
  EXPECT_EQ(rows[2].Foresight, 0.9999);
  // DiNi, aBFFB: the odd set-up BFFB, the even one FBBF, each reading on its own line.
  const std::string dini =
      "For M5|Adr 1|KD1 BM1 1|Rb 1.50010 m|HD 20.000 m||\n"
      "For M5|Adr 2|KD1 TP1 1|Rf 1.20020 m|HD 21.000 m||\n"
      "For M5|Adr 3|KD1 TP1 1|Rf 1.20030 m|HD 21.000 m||\n"
      "For M5|Adr 4|KD1 BM1 1|Rb 1.50000 m|HD 20.000 m||\n"
      "For M5|Adr 5|KD1 BM2 1|Rf 0.99990 m|HD 18.000 m||\n"
      "For M5|Adr 6|KD1 TP1 1|Rb 0.80000 m|HD 19.000 m||\n"
      "For M5|Adr 7|KD1 TP1 1|Rb 0.80010 m|HD 19.000 m||\n"
      "For M5|Adr 8|KD1 BM2 1|Rf 0.99980 m|HD 18.000 m||\n";
  rows = ReadObservationFile(dini);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NEAR(*rows[1].Backsight, 0.80005, 1e-12);
  EXPECT_NEAR(*rows[2].Foresight, 0.99985, 1e-12);
  EXPECT_EQ(rows[2].ForeDistance, 18.0);
}

// One M5 line with a point or text block and one value block.
std::string M5(const std::string& block, const std::string& value = {}) {
  return "For M5|Adr 1|" + block + "|" + value + "|||\n";
}

struct TextLineCase {
  const char* name;
  std::string text;
  // Point, back, middle, fore of each row (0: none).
  std::vector<std::tuple<std::string, double, double, double>> rows;
};

TEST(LevelFileReader, HeedsTheDiniTextLines) {
  const std::string start = M5("KD1      BM1       08:01:121  1", "Rb        1.50000 m");
  const std::string end = M5("KD1      TP1 1", "Rb 0.80000 m") + M5("KD1 BM2 1", "Rf 1.00000 m");
  const TextLineCase cases[] = {
      {"a repeated measurement replaces the one before",
       start + M5("KD1 TP1 1", "Rf 1.30000 m") + M5("TO  Measurement repeated 1") + M5("KD1 TP1 1", "Rf 1.20000 m") + end,
       {{"BM1", 1.5, 0, 0}, {"TP1", 0.8, 0, 1.2}, {"BM2", 0, 0, 1.0}}},
      {"so does any repeat in a single-reading line",
       M5("TO  Start-Line         BF     1") + start + M5("KD1 TP1 1", "Rf 1.30000 m") + M5("KD1 TP1 1", "Rf 1.20000 m") + end,
       {{"BM1", 1.5, 0, 0}, {"TP1", 0.8, 0, 1.2}, {"BM2", 0, 0, 1.0}}},
      {"a double-reading line averages",
       M5("TO  Start-Line         BFFB   1") + start + M5("KD1 TP1 1", "Rf 1.30000 m") + M5("KD1 TP1 1", "Rf 1.20000 m") + end,
       {{"BM1", 1.5, 0, 0}, {"TP1", 0.8, 0, 1.25}, {"BM2", 0, 0, 1.0}}},
      {"a repeated station drops the set-up under way",
       start + M5("KD1 K1 1", "Rz 2.00000 m") + M5("KD1 TP1 1", "Rf 1.30000 m") + M5("TO  Station repeated 1") +
           M5("KD1 BM1 1", "Rb 1.60000 m") + M5("KD1 TP1 1", "Rf 1.40000 m") + end,
       {{"BM1", 1.6, 0, 0}, {"TP1", 0.8, 0, 1.4}, {"BM2", 0, 0, 1.0}}},
      {"a repeated intermediate sight",
       start + M5("KD1 K1 1", "Rz 2.00000 m") + M5("TO  Measurement repeated 1") + M5("KD1 K1 1", "Rz 2.10000 m") +
           M5("KD1 BM2 1", "Rf 1.00000 m"),
       {{"BM1", 1.5, 0, 0}, {"K1", 0, 2.1, 0}, {"BM2", 0, 0, 1.0}}},
      {"German type ids",
       M5("KD1 BM1 1", "Lr 1.50000 m") + M5("KD1 K1 1", "Lz 2.00000 m") + M5("KD1 BM2 1", "Lv 1.00000 m"),
       {{"BM1", 1.5, 0, 0}, {"K1", 0, 2.0, 0}, {"BM2", 0, 0, 1.0}}},
  };
  for (const TextLineCase& c : cases) {
    const std::vector<ObservationRow> rows = ReadObservationFile(c.text);
    ASSERT_EQ(rows.size(), c.rows.size()) << c.name;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& [point, back, middle, fore] = c.rows[i];
      EXPECT_EQ(rows[i].Point, point) << c.name;
      EXPECT_EQ(rows[i].Backsight.value_or(0), back) << c.name << " " << point;
      EXPECT_EQ(rows[i].MidSight.value_or(0), middle) << c.name << " " << point;
      EXPECT_NEAR(rows[i].Foresight.value_or(0), fore, 1e-12) << c.name << " " << point;
    }
  }
}

struct BadFile {
  const char* name;
  std::string text;
  const char* says;  // the line and the word, then why
};

class UnreadableLine : public ::testing::TestWithParam<BadFile> {};

TEST_P(UnreadableLine, IsNamedWithItsWord) {
  try {
    ReadObservationFile(GetParam().text);
    ADD_FAILURE() << "read";
  } catch (const LevelingError& e) {
    EXPECT_EQ(e.Number(), LevelingError::kInvalidInput);
    EXPECT_NE(e.Description().find(GetParam().says), std::string::npos) << e.Description();
  }
}

const std::string kGood8 = "110001+00000BM1 331.08+00142300 \n";

INSTANTIATE_TEST_SUITE_P(
    Table, UnreadableLine,
    ::testing::Values(
        BadFile{"GsiShortWord", "110001+00000BM1 331.08+0014230 \n", "第 1 行“331.08+0014230”：字长应为 15"},
        BadFile{"GsiSixteenInEight", "110001+00000BM1 331.08+0000000000142300 \n", "字长应为 15"},
        BadFile{"GsiFeet", "110001+00000BM1 331.01+00004669 \n", "“331.01+00004669”：单位为英尺"},
        BadFile{"GsiUnknownUnit", "110001+00000BM1 331.05+00004669 \n", "第 6 位单位“5”"},
        BadFile{"GsiNotDigits", kGood8 + "110002+00000TP1 332.08+0014x300 \n", "第 2 行“332.08+0014x300”：数据部分不是数字"},
        BadFile{"GsiNoSign", "110001+00000BM1 331.08*00142300 \n", "第 7 位应为正负号"},
        BadFile{"GsiNegative", "110001+00000BM1 331.08-00142300 \n", "读数 -1.423 米不在水准尺"},
        BadFile{"GsiBeyondStaff", "110001+00000BM1 331.06+12000000 \n", "读数 1200 米"},
        BadFile{"GsiNoPoint", "32...8+00400000 331.08+00142300 \n", "该行有读数而没有点号"},
        BadFile{"GsiTwoReadings", "110001+00000BM1 331.08+00142300 332.08+00142300 \n", "“332.08+00142300”：一行中有两个读数"},
        BadFile{"GsiDistanceFeet", "110001+00000BM1 32...7+00400000 331.08+00142300 \n", "“32...7+00400000”：单位为英尺"},
        BadFile{"GsiStationWithoutForesight", kGood8, "测站只有后视“BM1”而没有前视"},
        BadFile{"GsiBackOnAnotherPoint",
                kGood8 + "110002+00000TP1 332.08+00100000 \n110003+00000TP9 331.08+00100000 \n"
                         "110004+00000BM2 332.08+00100000 \n",
                "第 3 行“331.08+00100000”：后视点“TP9”不是上一测站的前视点“TP1”"},
        BadFile{"GsiSecondWithoutFirst", "110001+00000BM1 335.08+00142300 \n", "第二次后视读数前没有"},
        BadFile{"DiniNoUnit", "For M5|Adr 1|KD1 BM1 1|Rb 1.42300|||\n", "第 1 行“Rb 1.42300”：应为“代码 数值 单位”"},
        BadFile{"DiniFeet", "For M5|Adr 1|KD1 BM1 1|Rb 4.66900 ft|||\n", "单位须为 m"},
        BadFile{"DiniNumber", "For M5|Adr 1|KD1 BM1 1|Rb 1.4x m|||\n", "“Rb 1.4x m”：数值无法读取"},
        BadFile{"DiniForeignLine", "For M5|Adr 1|KD1 BM1 1|Rb 1.42300 m|||\nGarbage line\n", "第 2 行“Garbage line”"},
        BadFile{"DiniNoAddress", "For M5|KD1 BM1 1|Rb 1.42300 m|||\n", "缺少地址块"},
        BadFile{"DiniNoPoint", "For M5|Adr 1|TO note|Rb 1.42300 m|||\n", "该行有读数而没有点号"},
        BadFile{"DiniEmptyPointField", "For M5|Adr     6|KD1               08:01:340  1|Rz        2.10500 m   |||\n",
                "第 1 行“KD1               08:01:340  1”：该行有读数而没有点号"},
        BadFile{"CsvText", "测点,后视\nBM1,abc\n", "第 2 行“abc”：第 2 列（后视）不是数字"},
        BadFile{"CsvTooMany", "BM1,1,,,,,note,extra\n", "“extra”：多于 7 列"},
        BadFile{"CsvQuote", "BM1,\"1.5\n", "引号没有闭合"},
        BadFile{"CsvNoPoint", "BM1,1.5\n,,,1.2\n", "第 2 行“,,,1.2”：第 1 列（测点）为空"},
        BadFile{"CsvNegativeDistance", "BM1,1.5,,,-3\n", "视距 -3 米不在"},
        BadFile{"CsvOnlyHeader", "测点,后视,中视,前视\n", "只有表头"},
        BadFile{"Empty", "\n\n", "文件是空的"}),
    testsupport::CaseName());

TEST(LevelFileReader, CsvTakesQuotesTabsAndABom) {
  const std::vector<ObservationRow> comma =
      ReadObservationCsv("\xEF\xBB\xBF\"BM 1\",1.5,,,,,\"a, \"\"b\"\"\"\r\n\"TP1\",0.5,,2.1\r\n");
  ASSERT_EQ(comma.size(), 2u);
  EXPECT_EQ(comma[0].Point, "BM 1");
  EXPECT_EQ(comma[0].Note, "a, \"b\"");
  EXPECT_EQ(comma[1].Foresight, 2.1);
  const std::vector<ObservationRow> tabs = ReadObservationCsv("BM1\t1.5\n\t\nBM2\t\t\t1.2\n");
  ASSERT_EQ(tabs.size(), 2u);
  EXPECT_EQ(tabs[1].Foresight, 1.2);
}

TEST(LevelFileReader, AnImportThatCannotBeReducedLeavesTheRecordAlone) {
  spreadsheet::MemoryHost host = testing::MakeHost({"数据输入", "水准表", "观测记录", "成果表"});
  testing::PutBenchmarks(host, "BM1", 100.0, "BM2", 101.0);
  host.SelectSheet("观测记录");
  host.SetCellValue("A5", std::string("kept"));
  std::vector<ObservationRow> rows = ReadObservationFile(ReadData("closed_route.csv"));
  rows.front().Point = "BM7";
  EXPECT_THROW(ComputeObservedBook(host, LevelingSettings{}, rows), LevelingError);
  host.SelectSheet("观测记录");
  EXPECT_EQ(host.GetCellValue("A5"), spreadsheet::CellValue("kept"));

  // Read whole, the import goes into the record and is reduced from there.
  rows.front().Point = "BM1";
  const ObservedResult result = ComputeObservedBook(host, LevelingSettings{}, rows);
  EXPECT_EQ(result.Rows, 11);
  host.SelectSheet("观测记录");
  EXPECT_EQ(host.GetCellValue("A5"), spreadsheet::CellValue("BM1"));
  EXPECT_EQ(host.GetCellValue("D7"), spreadsheet::CellValue(0.8765));
  EXPECT_EQ(host.GetCellValue("F7"), spreadsheet::CellValue(41.5));
  testing::ExpectBookSumsHold(host);

  // Into a record kept in millimetres: the same readings in its unit, shown to 0.1 mm.
  host.SelectSheet("观测记录");
  host.SetCellValue("B2", std::string("毫米"));
  EXPECT_EQ(ComputeObservedBook(host, LevelingSettings{}, rows).Check.ClosureMm, result.Check.ClosureMm);
  host.SelectSheet("观测记录");
  EXPECT_EQ(host.GetCellValue("D7"), spreadsheet::CellValue(876.5));
  EXPECT_EQ(host.GetCellText("D7"), "876.5");
  EXPECT_EQ(host.GetCellText("B5"), "1423.0");
  testing::ExpectBookSumsHold(host);
}

}  // namespace
}  // namespace gaocheng
