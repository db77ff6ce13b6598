#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "workbook/NumberText.h"
#include "tests/support/ParamName.h"

namespace spreadsheet {
namespace {

struct ParseCase {
  const char* text;
  bool isNumber;
  double value;
};

class ReadTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ReadTest, FollowsTheNumberRule) {
  const ParseCase& c = GetParam();
  double value = -12345;
  EXPECT_EQ(NumberText::Read(c.text, value), c.isNumber) << "text: [" << c.text << "]";
  if (c.isNumber) {
    EXPECT_DOUBLE_EQ(value, c.value) << "text: [" << c.text << "]";
  } else {
    EXPECT_EQ(value, -12345) << "a failed parse must leave the value alone";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadTest,
    ::testing::Values(ParseCase{"0.2", true, 0.2}, ParseCase{"-3", true, -3},
                      ParseCase{"+4.8", true, 4.8}, ParseCase{"  0.6\t", true, 0.6},
                      ParseCase{"5.", true, 5}, ParseCase{".5", true, 0.5},
                      ParseCase{"-.5", true, -0.5}, ParseCase{"1e3", true, 1000},
                      ParseCase{"1E-07", true, 1e-7}, ParseCase{"2.5e+2", true, 250},
                      ParseCase{"007", true, 7}, ParseCase{"-0", true, 0},
                      ParseCase{"", false, 0}, ParseCase{"   ", false, 0},
                      ParseCase{"nan", false, 0}, ParseCase{"inf", false, 0},
                      ParseCase{"-infinity", false, 0}, ParseCase{"0x10", false, 0},
                      ParseCase{"1,5", false, 0}, ParseCase{"1.2.3", false, 0},
                      ParseCase{"1e", false, 0}, ParseCase{"e5", false, 0},
                      ParseCase{".", false, 0}, ParseCase{"-", false, 0},
                      ParseCase{"+-1", false, 0}, ParseCase{"1 2", false, 0},
                      ParseCase{"12abc", false, 0}, ParseCase{"１２", false, 0},
                      ParseCase{"1e999", false, 0}, ParseCase{"- 1", false, 0},
                      ParseCase{"1e-400", true, 0}, ParseCase{"-1E-99999999999999999999", true, 0},
                      ParseCase{"4.9e-324", true, 4.9e-324}, ParseCase{"0.5e309", false, 0},
                      ParseCase{"0.0000000001e-320", true, 0}, ParseCase{"300e-326", true, std::numeric_limits<double>::denorm_min()}),
    testsupport::NameBy([](const ParseCase& c) {
      return testsupport::ParamName(c.text, c.isNumber ? "number" : "not_number");
    }));

TEST(NumberTextRead, PlainDecimalTooSmallForADoubleIsSignedZero) {
  double value = 1;
  ASSERT_TRUE(NumberText::Read("-0." + std::string(400, '0') + "1", value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(std::signbit(value));
  ASSERT_FALSE(NumberText::Read("1" + std::string(400, '0') + ".5", value));
  ASSERT_TRUE(NumberText::Read("0.001e311", value));
  EXPECT_EQ(value, 1e308);
  ASSERT_FALSE(NumberText::Read("0.01e311", value));
}

TEST(NumberTextRead, KeepsTheValueUnrounded) {
  double value = 0;
  ASSERT_TRUE(NumberText::Read("0.123456789012345678", value));
  EXPECT_EQ(value, 0.123456789012345678);
}

struct FormatCase {
  double value;
  const char* text;
};

class EditTextTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(EditTextTest, WritesGeneralDecimalForm) {
  EXPECT_EQ(NumberText::EditText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EditTextTest,
    ::testing::Values(FormatCase{0.2, "0.2"}, FormatCase{-3, "-3"}, FormatCase{0.1 + 0.2, "0.3"},
                      FormatCase{4.8, "4.8"}, FormatCase{4.8 - 0.2, "4.6"}, FormatCase{0, "0"},
                      FormatCase{-0.0, "0"}, FormatCase{100, "100"}, FormatCase{1234.5, "1234.5"},
                      FormatCase{2.0 / 3, "0.666666666666667"},
                      FormatCase{123456789012345, "123456789012345"},
                      FormatCase{999999999999999.9, "1E+15"}, FormatCase{1e15, "1E+15"},
                      FormatCase{-1.5e300, "-1.5E+300"}, FormatCase{0.00001, "0.00001"},
                      FormatCase{0.000012345, "0.000012345"}, FormatCase{0.000001, "1E-06"},
                      FormatCase{1e-7, "1E-07"}, FormatCase{-2.5e-10, "-2.5E-10"},
                      FormatCase{5e-324, "4.94065645841247E-324"}),
    testsupport::NameBy([](const FormatCase& c) { return testsupport::ParamName(c.value, "to", c.text); }));

TEST(EditText, ReadsBackThroughTheNumberRule) {
  for (const double value : {0.2, -3.0, 1e-7, 1.5e300, 123456.789, -0.000123}) {
    double parsed = 0;
    ASSERT_TRUE(NumberText::Read(NumberText::EditText(value), parsed)) << NumberText::EditText(value);
    EXPECT_DOUBLE_EQ(parsed, value);
  }
}

class UpToThreeDecimalsTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(UpToThreeDecimalsTest, WritesThePattern) {
  EXPECT_EQ(NumberText::FieldBookDecimals(GetParam().value, 3), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpToThreeDecimalsTest,
    ::testing::Values(FormatCase{2.5, "2.5"}, FormatCase{1.23456, "1.235"},
                      FormatCase{1.2345, "1.235"}, FormatCase{1.2344, "1.234"}, FormatCase{5, "5"},
                      FormatCase{0.0004, "0"}, FormatCase{0.0005, "0.001"},
                      FormatCase{9.9995, "10"}, FormatCase{999.9999, "1000"},
                      FormatCase{-2.5, "2.5"}, FormatCase{0.1 + 0.2, "0.3"},
                      FormatCase{12345678.5, "12345678.5"}),
    testsupport::NameBy([](const FormatCase& c) { return testsupport::ParamName(c.value, "to", c.text); }));

// Numbers that need no rounding show as their fifteen-digit decimal (EditText) under General
// (up to eleven significant digits, from 10^-5 to below 10^11) and with up to three decimals.
TEST(UnroundedNumbers, ShowAsTheirDecimal) {
  std::mt19937_64 engine(20261210);
  std::uniform_int_distribution<std::int64_t> mantissa(0, 99'999'999'999);
  std::uniform_int_distribution<int> places(0, 9);
  for (int i = 0; i < 20000; ++i) {
    const int k = places(engine);
    const double value = static_cast<double>(mantissa(engine)) / std::pow(10.0, k) * (i % 2 == 0 ? 1 : -1);
    const std::string decimal = NumberText::EditText(value);
    if (std::fabs(value) >= 1e-5 && std::fabs(value) < 1e11) {
      ASSERT_EQ(NumberText::GeneralDisplay(value), decimal) << k;
    }
    if (k <= 3) {
      ASSERT_EQ(NumberText::FieldBookDecimals(value, 3), NumberText::EditText(std::fabs(value))) << k;
    }
  }
}

}  // namespace
}  // namespace spreadsheet

namespace spreadsheet {
namespace {

// The two rounding rules side by side: text rounds halves away from zero on the 15-digit
// decimal (as spreadsheets show numbers), values the field book writes round halves to even.
TEST(NumberTextPolicies, TextAndFieldBookRoundHalvesTheirOwnWay) {
  EXPECT_EQ(NumberText::FieldBookDecimals(0.0625, 3), "0.063");
  EXPECT_EQ(NumberText::FieldBookRound(0.0625, 3), 0.062);
  EXPECT_EQ(NumberText::FieldBookRound(1.001 * 1000, 6), 1001);
  EXPECT_EQ(NumberText::FieldBookRound(-0.0005, 3), 0);
  EXPECT_FALSE(std::signbit(NumberText::FieldBookRound(-0.0005, 3)));
  EXPECT_EQ(NumberText::GeneralDisplay(2.0 / 3), "0.66666666667");  // eleven significant digits
  EXPECT_EQ(NumberText::EditText(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(NumberText::Scientific(-0.000012345, 2), "-1.23E-05");
  EXPECT_EQ(NumberText::Scientific(9.996e10, 2), "1E+11");
}

TEST(NumberTextPolicies, TypingNeverGivesNegativeZeroRouteReadingKeepsTheValue) {
  double value = 1;
  ASSERT_TRUE(NumberText::ReadTyped("-0", value));
  EXPECT_FALSE(std::signbit(value));
  ASSERT_TRUE(NumberText::ReadRoute(" 150.826 ", value));
  EXPECT_EQ(value, 150.826);
  EXPECT_FALSE(NumberText::ReadRoute("1,5", value));
}

}  // namespace
}  // namespace spreadsheet
