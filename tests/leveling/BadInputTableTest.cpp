// Every cell that "开始计算" reads, holding each kind of doubtful value, through MemoryHost and
// the leveling module: a value the reading rules refuse gives the message titled "Error" (the
// number, a line break, the cell and its content) and leaves "水准表" exactly as it was; a value
// they accept gives a whole field book; an elevation that no book can hold is refused the same
// way as a bad cell. Never a crash, never a half-written book.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingModule.h"
#include "tests/leveling/LevelingTestSupport.h"
#include "workbook/CellStyle.h"
#include "workbook/Workbook.h"

namespace gaocheng {
namespace {

using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::IsEmptyValue;
using spreadsheet::IsError;
using spreadsheet::IsNumber;
using spreadsheet::IsText;
using spreadsheet::MemoryHost;
using testing::CollectingSink;
using testing::MakeHost;
using testing::PutBenchmarks;
using testing::PutRow;

// What a cell's value must lead to.
enum class Outcome {
  Book,         // accepted: a complete new field book
  BadCell,      // 13, naming the cell and quoting its content; "水准表" untouched
  Refused,      // accepted by the reading, but no field book can hold it: 6; "水准表" untouched
  NoElevation,  // a route row left with neither elevation, or E6/F6 empty: 5 naming the cell; untouched
  Unreadable,   // an error value or a formula without result, in any cell the route reads: 13
};

struct Doubtful {
  const char* label;
  CellValue value;
  Outcome asNumber;  // in E6, F6, E and F of a route row
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSubnormal = std::numeric_limits<double>::denorm_min();

const std::string kLongText = std::string(40000, '8') + "m";
const std::string kBadUtf8 = "\xff\xfe\xc3" "1";

const std::vector<Doubtful>& Values() {
  static const std::vector<Doubtful> values = {
      {"abc", std::string("abc"), Outcome::BadCell},
      {"comma", std::string("1,5"), Outcome::BadCell},
      {"hex", std::string("0x10"), Outcome::BadCell},
      {"nanText", std::string("nan"), Outcome::BadCell},
      {"infText", std::string("inf"), Outcome::BadCell},
      {"hugeText", std::string("1e999"), Outcome::BadCell},
      {"spaces", std::string("   "), Outcome::BadCell},
      {"longText", kLongText, Outcome::BadCell},
      {"badUtf8", kBadUtf8, Outcome::BadCell},
      {"chinese", std::string("一点五"), Outcome::BadCell},
      {"true", true, Outcome::BadCell},
      {"false", false, Outcome::BadCell},
      {"nan", kNaN, Outcome::BadCell},
      {"plusInf", kInf, Outcome::BadCell},
      {"minusInf", -kInf, Outcome::BadCell},
      {"emptyText", std::string(), Outcome::Book},
      {"plusZero", 0.0, Outcome::Book},
      {"minusZero", -0.0, Outcome::Book},
      {"subnormal", kSubnormal, Outcome::Book},
      {"minusSubnormal", -kSubnormal, Outcome::Book},
      {"paddedNumberText", std::string(" -12.5 "), Outcome::Book},
      {"tinyText", std::string("1e-400"), Outcome::Book},
      {"errorValue", spreadsheet::CellError{"#REF!"}, Outcome::Unreadable},
      {"noResult", spreadsheet::NoStoredResult{}, Outcome::Unreadable},
      {"plusMax", 1e308, Outcome::Refused},
      {"minusMax", -1e308, Outcome::Refused},
  };
  return values;
}

// Where the doubtful value goes.
struct Spot {
  const char* label;
  char column;     // 'E' or 'F' for a benchmark cell; A, B, E, F for a route row
  int row;         // 5 or 6 for a benchmark cell
  int routeRows;   // length of the route around it
};

const std::vector<Spot>& Spots() {
  static const std::vector<Spot> spots = {
      {"E5", 'E', 5, 3},          {"E6", 'E', 6, 3},          {"F5", 'F', 5, 3},
      {"F6", 'F', 6, 3},          {"A8", 'A', 8, 3},          {"B8", 'B', 8, 3},
      {"E8", 'E', 8, 3},          {"F8", 'F', 8, 3},          {"AMiddle", 'A', 1007, 2000},
      {"BMiddle", 'B', 1007, 2000}, {"EMiddle", 'E', 1007, 2000}, {"FMiddle", 'F', 1007, 2000},
      {"AEnd", 'A', 2007, 2000},  {"BEnd", 'B', 2007, 2000},  {"EEnd", 'E', 2007, 2000},
      {"FEnd", 'F', 2007, 2000},
  };
  return spots;
}

bool ReadAsNumber(const Spot& spot) {
  return (spot.row == 6 && (spot.column == 'E' || spot.column == 'F')) ||
         (spot.row >= kFirstRouteRow && (spot.column == 'E' || spot.column == 'F'));
}

// Route rows P8, P9, …: offsets of every kind, design elevations around 100 m, measured
// elevations given on even rows and simulated on odd ones.
void PutRoute(MemoryHost& host, int routeRows) {
  PutBenchmarks(host, "BM 1", 100.0, "BM 2", 100.4);
  const CellValue offsets[] = {-2.5, 0.0, 3.0, std::string("路边")};
  for (int i = 0; i < routeRows; ++i) {
    const int row = kFirstRouteRow + i;
    const double design = 100 + (row % 7) * 0.3;
    PutRow(host, row, "P" + std::to_string(row), offsets[row % 4], design,
           row % 2 == 0 ? CellValue(design + 0.002) : CellValue());
  }
}

// Every cell of the sheet with its value, formula and style: the whole sheet as stored.
using CellRecord = std::tuple<int, int, int, std::string, std::uint32_t>;
std::vector<CellRecord> Snapshot(const spreadsheet::Worksheet& sheet, std::vector<CellValue>& values) {
  std::vector<CellRecord> cells;
  values.clear();
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    const auto& row = sheet.Row(r);
    for (int c = 0; c < static_cast<int>(row.size()); ++c) {
      cells.emplace_back(r, c, static_cast<int>(row[c].value.index()), row[c].formula, row[c].style);
      values.push_back(row[c].value);
    }
  }
  return cells;
}

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                               : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

void PrintTo(const Spot& spot, std::ostream* os) { *os << spot.label; }
void PrintTo(const Doubtful& doubtful, std::ostream* os) { *os << doubtful.label; }

class BadInputTable : public ::testing::TestWithParam<std::tuple<Spot, Doubtful>> {
 protected:
  const spreadsheet::Worksheet& Output() {
    return *host.GetWorkbook().FindSheet("水准表");
  }

  MemoryHost host = MakeHost();
  LevelingModule module;
  CollectingSink messages;
};

TEST_P(BadInputTable, RefusesOrComputesButNeverHalfWrites) {
  const auto& [spot, doubtful] = GetParam();
  PutRoute(host, spot.routeRows);
  // The template's look of the output sheet: a styled, formatted cell in the cleared range.
  spreadsheet::CellStyle look;
  look.numberFormat = "0.000";
  const std::uint32_t style = host.GetWorkbook().InternStyle(look);
  host.GetWorkbook().FindSheet("水准表")->SetStyle(CellAddress::Parse("D9"), style);
  host.GetWorkbook().FindSheet("水准表")->SetValue(CellAddress::Parse("A1"), std::string("普通水准记录"));
  {
    module.GenerateFieldBook(host, 7, messages);
  }
  ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
  std::vector<CellValue> beforeValues;
  const auto before = Snapshot(Output(), beforeValues);
  int previousLast = 5;
  while (!IsEmptyValue(Output().Value(CellAddress{previousLast, 0}))) ++previousLast;
  previousLast += kCheckBlockRows;

  const std::string address = spot.column + std::to_string(spot.row);
  host.SelectSheet("数据输入");
  host.SetCellValue(address, doubtful.value);
  const FieldBookResult result = module.GenerateFieldBook(host, 8, messages);

  Outcome expected =
      doubtful.asNumber == Outcome::Unreadable || ReadAsNumber(spot) ? doubtful.asNumber : Outcome::Book;
  // Odd route rows have F empty: E read as 0 leaves the point without any elevation.
  const bool readsAsZero = doubtful.value == CellValue(std::string()) ||
                           doubtful.value == CellValue(0.0) ||
                           doubtful.value == CellValue(std::string("1e-400"));
  if (spot.column == 'E' && spot.row >= kFirstRouteRow && spot.row % 2 == 1 && readsAsZero) {
    expected = Outcome::NoElevation;
  }
  // A benchmark's elevation left empty is refused (a typed 0 is taken).
  const bool emptyBenchmark = spot.row == 6 && doubtful.value == CellValue(std::string());
  if (emptyBenchmark) expected = Outcome::NoElevation;
  if (expected != Outcome::Book) {
    ASSERT_EQ(messages.shown.size(), 1u);
    const std::string& text = messages.shown[0].text;
    EXPECT_EQ(messages.shown[0].title, "Error");
    if (expected == Outcome::Unreadable) {
      EXPECT_EQ(text, IsError(doubtful.value)
                          ? "13\n单元格 " + address + " 的内容是错误值 #REF!"
                          : "13\n单元格 " + address + " 的公式没有计算结果，请在电子表格程序中重新计算后保存");
    } else if (expected == Outcome::BadCell) {
      const std::string head = "13\n单元格 " + address + " 的内容“";
      EXPECT_EQ(text.rfind(head, 0), 0u) << text.substr(0, 200);
      EXPECT_EQ(text.substr(text.size() - std::string("”不是数字").size()), "”不是数字");
      if (const auto* content = std::get_if<std::string>(&doubtful.value); content && content->size() < 60) {
        EXPECT_EQ(text, head + *content + "”不是数字");
      }
      EXPECT_LT(text.size(), 400u) << "the content is quoted shortened";
    } else if (emptyBenchmark) {
      EXPECT_EQ(text, "5\n单元格 " + address + " 为空：" +
                          (spot.column == 'E' ? "起始水准点“BM 1”" : "闭合水准点“BM 2”") + "没有已知高程");
    } else if (expected == Outcome::NoElevation) {
      EXPECT_EQ(text, "5\n单元格 " + address + (doubtful.value == CellValue(std::string()) ? " 为空" : " 为 0") + "：点“P" +
                          std::to_string(spot.row) + "”既没有设计高程也没有实测高程");
    } else {
      EXPECT_EQ(text.rfind("6\n", 0), 0u) << text;
      EXPECT_NE(text.find("原有水准表未改动"), std::string::npos) << text;
    }
    std::vector<CellValue> afterValues;
    EXPECT_EQ(Snapshot(Output(), afterValues), before);
    EXPECT_EQ(afterValues, beforeValues);
    return;
  }

  // A complete book: rows from 5 without a gap up to the closing benchmark, then the check
  // block and nothing of the previous book below, numbers finite, texts without spaces, the
  // tolerance text in I2. A route cut short by an emptied A cell says so.
  const bool endsRoute = spot.column == 'A' && doubtful.value == CellValue(std::string());
  ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
  // The emptied row still holds its offset in B.
  EXPECT_EQ(result.Notices,
            endsRoute ? std::vector<std::string>{DataBelowEndText(spot.row, "B" + std::to_string(spot.row))}
                      : std::vector<std::string>{});
  const spreadsheet::Worksheet& out = Output();
  int last = 5;
  while (!IsEmptyValue(out.Value(CellAddress{last, 0}))) ++last;
  --last;  // 0-based row of the closing benchmark
  if (address != "F5") {
    EXPECT_EQ(out.Value(CellAddress{last, 0}), CellValue(std::string("BM2")))
        << "the closing benchmark ends the book";
  }
  EXPECT_EQ(out.Value(CellAddress{last + 2, 0}), CellValue(std::string("计算校核")));
  for (int r = last + 1; r <= std::max(previousLast, last + kCheckBlockRows + 2); ++r) {
    const bool inBlock = r >= last + 2 && r < last + kCheckBlockRows + 1;
    for (int c = inBlock ? 2 : 0; c < 9; ++c) {
      EXPECT_TRUE(IsEmptyValue(out.Value(CellAddress{r, c}))) << "row " << r + 1 << " column " << c;
    }
  }
  int pointRows = 0;
  for (int r = 4; r <= last; ++r) {
    const CellValue a = out.Value(CellAddress{r, 0});
    ASSERT_TRUE(IsText(a)) << "row " << r + 1;
    EXPECT_TRUE(IsValidUtf8(std::get<std::string>(a)) || doubtful.value == CellValue(kBadUtf8));
    EXPECT_EQ(std::get<std::string>(a).find(' '), std::string::npos);
    if (r > 4 && IsEmptyValue(out.Value(CellAddress{r, 1}))) ++pointRows;
    for (int c = 1; c < 9; ++c) {
      const CellValue value = out.Value(CellAddress{r, c});
      if (const auto* x = std::get_if<double>(&value)) {
        EXPECT_TRUE(std::isfinite(*x)) << "row " << r + 1 << " column " << c;
      }
    }
  }
  const int expectedPoints = (endsRoute ? spot.row - kFirstRouteRow : spot.routeRows) + 1;
  EXPECT_EQ(pointRows, expectedPoints) << "every route row and the closing benchmark";
  const CellValue tolerance = out.Value(CellAddress::Parse("I2"));
  ASSERT_TRUE(IsText(tolerance));
  EXPECT_EQ(std::get<std::string>(tolerance).rfind("±6√n=±", 0), 0u);
  EXPECT_EQ(out.Value(CellAddress::Parse("A1")), CellValue(std::string("普通水准记录")));
  EXPECT_EQ(out.StyleAt(CellAddress::Parse("D9")), style);

  // An accepted number lands where it belongs.
  if (ReadAsNumber(spot) && IsNumber(doubtful.value)) {
    const double x = std::get<double>(doubtful.value);
    // Written to the micrometre: a subnormal shows as 0.
    const auto near = [x](const CellValue& written) {
      return IsNumber(written) && std::fabs(std::get<double>(written) - x) <= 5e-7;
    };
    if (spot.row == 6 && spot.column == 'E') {
      EXPECT_TRUE(near(out.Value(CellAddress::Parse("G5"))));
    }
    if (spot.row == 6 && spot.column == 'F') {
      if (x == 0) {
        EXPECT_EQ(out.Value(CellAddress{last, 6}), CellValue(std::string()));
      } else {
        EXPECT_TRUE(near(out.Value(CellAddress{last, 6})));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCellEveryValue, BadInputTable,
    ::testing::Combine(::testing::ValuesIn(Spots()), ::testing::ValuesIn(Values())),
    [](const ::testing::TestParamInfo<std::tuple<Spot, Doubtful>>& info) {
      return std::string(std::get<0>(info.param).label) + "_" + std::get<1>(info.param).label;
    });

}  // namespace
}  // namespace gaocheng
