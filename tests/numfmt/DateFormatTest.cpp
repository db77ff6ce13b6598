// What a zh-CN spreadsheet shows where LibreOffice (the oracle of tests/cli/NumberFormatOfficeTest)
// shows otherwise or cannot be asked: the false 1900-02-29 and the days before it, dates out of
// range, the locale's system formats, and what a narrow column shows.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "numfmt/BuiltinNumberFormats.h"
#include "numfmt/ChineseNumerals.h"
#include "numfmt/NumberFormat.h"
#include "tests/support/ParamName.h"

namespace spreadsheet {
namespace {

struct DateCase {
  double value;
  const char* code;
  DateSystem dates;
  const char* shown;
};

class DateDisplay : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateDisplay, ShowsWhatASpreadsheetShows) {
  const DateCase& c = GetParam();
  EXPECT_EQ(NumberFormat(c.code).FormatNumber(c.value, c.dates), c.shown) << c.code;
}

constexpr DateSystem k1900 = DateSystem::From1900;
constexpr DateSystem k1904 = DateSystem::From1904;

INSTANTIATE_TEST_SUITE_P(
    Table, DateDisplay,
    ::testing::Values(DateCase{0, "yyyy/m/d", k1900, "1900/1/0"}, DateCase{1, "yyyy/m/d dddd", k1900, "1900/1/1 Sunday"},
                      DateCase{59, "yyyy/m/d", k1900, "1900/2/28"}, DateCase{60, "yyyy/m/d", k1900, "1900/2/29"},
                      DateCase{60.5, "yyyy-mm-dd hh:mm", k1900, "1900-02-29 12:00"},
                      DateCase{61, "yyyy/m/d dddd", k1900, "1900/3/1 Thursday"},
                      DateCase{0, "yyyy/m/d dddd", k1904, "1904/1/1 Friday"},
                      DateCase{-1, "yyyy/m/d", k1900, "###"}, DateCase{-0.25, "h:mm", k1900, "###"},
                      DateCase{-0.25, "[h]:mm", k1904, "-6:00"}, DateCase{2958465, "yyyy/m/d", k1900, "9999/12/31"},
                      DateCase{2958466, "yyyy/m/d", k1900, "###"}, DateCase{2957004, "yyyy/m/d", k1904, "###"},
                      DateCase{45293, "y yyy", k1900, "24 2024"}, DateCase{45293, "aaaa aaa", k1900, "星期二 二"},
                      DateCase{3661.0 / 86400, "h:mm:ss", k1900, "1:01:01"},
                      DateCase{0.99999999, "h:mm:ss", k1900, "23:59:59"},
                      DateCase{45293.75, "[$-F800]dddd, mmmm dd, yyyy", k1900, "2024年1月2日"},
                      DateCase{45293.75, "[$-x-sysdate]dddd, mmmm dd, yyyy", k1900, "2024年1月2日"},
                      DateCase{45293.75, "[$-x-systime]h:mm AM/PM", k1900, "18:00:00"},
                      DateCase{45293.75, "yyyy/m/d h:mm", k1900, "2024/1/2 18:00"},
                      DateCase{45293.0, "[$-804]上午/下午h\"时\"", k1900, "上午12时"},
                      DateCase{45293.75, "h A/P", k1900, "6 P"}, DateCase{45293.75, "yyyy;@", k1900, "2024"}),
    testsupport::NameBy([](const DateCase& c) {
      return testsupport::ParamName(c.value, "as", c.code, c.dates == k1904 ? "1904" : "1900");
    }));

TEST(BuiltinNumberFormats, DatesAsAChineseSpreadsheetShowsThem) {
  EXPECT_EQ(NumberFormat(*BuiltinNumberFormats::Code(14)).FormatNumber(45293), "2024/1/2");
  EXPECT_EQ(NumberFormat(*BuiltinNumberFormats::Code(22)).FormatNumber(45293.75), "2024/1/2 18:00");
  EXPECT_EQ(NumberFormat(*BuiltinNumberFormats::Code(34)).FormatNumber(45293.75), "下午6时00分");
  // Codes a Chinese spreadsheet reads by id alone are written out in full: another locale would
  // show these ids otherwise.
  EXPECT_EQ(BuiltinNumberFormats::IdOf(*BuiltinNumberFormats::Code(31)), -1);
  for (int id = 15; id <= 19; ++id) EXPECT_EQ(BuiltinNumberFormats::IdOf(*BuiltinNumberFormats::Code(id)), -1) << id;
  for (int id : {27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 50, 51, 52, 53, 54, 55, 56, 57, 58}) {
    EXPECT_TRUE(NumberFormat(*BuiltinNumberFormats::Code(id)).IsDate()) << id;
  }
}

TEST(ChineseNumerals, CountsWithUnitsAndZeros) {
  EXPECT_EQ(ChineseNumerals::Counted(0, 1), "〇");
  EXPECT_EQ(ChineseNumerals::Counted(10, 1), "十");
  EXPECT_EQ(ChineseNumerals::Counted(110, 1), "一百一十");
  EXPECT_EQ(ChineseNumerals::Counted(100001, 1), "十万〇一");
  EXPECT_EQ(ChineseNumerals::Counted(100000000, 1), "一亿");
  EXPECT_EQ(ChineseNumerals::Counted(2024, 2), "贰仟零贰拾肆");
}

// A character-count width model: every character one unit wide, so the tables read as text.
double Characters(std::string_view text) {
  double n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

struct FitCase {
  double value;
  const char* code;
  double available;
  const char* shown;
};

class FitInWidth : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitInWidth, ShowsWholeOrHashesNeverACutNumber) {
  const FitCase& c = GetParam();
  EXPECT_EQ(NumberFormat(c.code).FitNumber(c.value, c.available, Characters), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FitInWidth,
    ::testing::Values(FitCase{-0.000012345, "General", 12, "-0.000012345"}, FitCase{-0.000012345, "General", 10, "-0.0000123"},
                      FitCase{-0.000012345, "General", 9, "-0.000012"}, FitCase{-0.000012345, "General", 8, "-1.2E-05"},
                      FitCase{-0.000012345, "General", 6, "-1E-05"}, FitCase{-0.000012345, "General", 5, "#####"},
                      FitCase{123456789.123, "General", 12, "123456789.12"}, FitCase{123456789.123, "General", 9, "123456789"},
                      FitCase{123456789.123, "General", 8, "1.23E+08"}, FitCase{123456789.123, "General", 5, "1E+08"},
                      FitCase{123456789.123, "General", 4, "####"}, FitCase{99.96, "General", 3, "100"},
                      FitCase{0.5, "General", 1, "1"}, FitCase{1234.5, "0.000", 8, "1234.500"},
                      FitCase{1234.5, "0.000", 7, "#######"}, FitCase{-2.5, "0.0", 3, "###"},
                      FitCase{45293, "yyyy/m/d", 7, "#######"}, FitCase{45293, "yyyy/m/d", 8, "2024/1/2"},
                      FitCase{1, "0", 0.5, "#"}),
    testsupport::NameBy([](const FitCase& c) { return testsupport::ParamName(c.value, "as", c.code, "in", c.available); }));

TEST(FitInWidth, TextsAndErrorsAreNotNumbers) {
  const NumberFormat general("General");
  EXPECT_EQ(general.Fit(std::string("K1+000 路边"), 2, Characters), "K1+000 路边");
  EXPECT_EQ(general.Fit(CellError{"#DIV/0!"}, 2, Characters), "#DIV/0!");
}

}  // namespace
}  // namespace spreadsheet
