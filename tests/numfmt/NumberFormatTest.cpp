#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "numfmt/NumberFormat.h"
#include "numfmt/NumberFormatCache.h"
#include "tests/support/ParamName.h"

using spreadsheet::CellValue;
using spreadsheet::NumberFormat;
using spreadsheet::NumberFormatCache;

struct NumberCase {
  double value;
  const char* code;
  const char* shown;
};

std::ostream& operator<<(std::ostream& os, const NumberCase& c) {
  return os << c.value << " under \"" << c.code << "\"";
}

class NumberDisplay : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberDisplay, ShowsWhatASpreadsheetShows) {
  const NumberCase& c = GetParam();
  EXPECT_EQ(NumberFormat::Display(c.value, c.code), c.shown);
  EXPECT_EQ(NumberFormat(c.code).FormatNumber(c.value), c.shown);
}

// Halves round away from zero on the decimal value, not on the nearest binary double.
INSTANTIATE_TEST_SUITE_P(
    Rounding, NumberDisplay,
    ::testing::Values(NumberCase{0.4375, "0.000", "0.438"}, NumberCase{0.0625, "0.000", "0.063"},
                      NumberCase{-0.0625, "0.000", "-0.063"}, NumberCase{1.005, "0.00", "1.01"},
                      NumberCase{2.675, "0.00", "2.68"}, NumberCase{-2.5, "0", "-3"},
                      NumberCase{2.5, "0", "3"}, NumberCase{0.5, "0", "1"},
                      NumberCase{0.49999999999999, "0", "0"}, NumberCase{-0.4, "0", "0"},
                      NumberCase{1234, "0.000", "1234.000"}, NumberCase{101.2345, "0.000", "101.235"},
                      NumberCase{99.9996, "0.000", "100.000"},
                      NumberCase{0.1 + 0.2, "0.0000000000000000", "0.3000000000000000"},
                      NumberCase{1e20, "0", "100000000000000000000"}, NumberCase{123, "00000", "00123"},
                      NumberCase{7, "0.0", "7.0"}, NumberCase{1e-7, "0.000", "0.000"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

INSTANTIATE_TEST_SUITE_P(
    Grouping, NumberDisplay,
    ::testing::Values(NumberCase{1234.5, "#,##0.00", "1,234.50"}, NumberCase{-1234.5, "#,##0.00", "-1,234.50"},
                      NumberCase{1234567.891, "#,##0", "1,234,568"}, NumberCase{999.5, "#,##0", "1,000"},
                      NumberCase{0, "#,##0", "0"}, NumberCase{0.25, "#,##0.00", "0.25"},
                      NumberCase{123, "#,##0", "123"}, NumberCase{5, "0,000", "0,005"},
                      NumberCase{12345678, "#,##0,", "12,346"}, NumberCase{1234567, "0.0,,", "1.2"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

INSTANTIATE_TEST_SUITE_P(
    OptionalDigits, NumberDisplay,
    ::testing::Values(NumberCase{0, "0.###", "0."}, NumberCase{5, "0.###", "5."}, NumberCase{2.5, "0.###", "2.5"},
                      NumberCase{1.23456, "0.###", "1.235"}, NumberCase{-2.5, "0.###", "-2.5"},
                      NumberCase{0.9999, "0.###", "1."}, NumberCase{0.5, "#.##", ".5"},
                      NumberCase{12.5, ".00", "12.50"}, NumberCase{0, "#", ""}, NumberCase{0.5, "0.0??", "0.5  "},
                      NumberCase{0.5, "?.0", " .5"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

INSTANTIATE_TEST_SUITE_P(
    PercentAndScientific, NumberDisplay,
    ::testing::Values(NumberCase{0.125, "0%", "13%"}, NumberCase{0.5, "0%", "50%"},
                      NumberCase{0.12345, "0.00%", "12.35%"}, NumberCase{-0.004, "0.0%", "-0.4%"},
                      NumberCase{12345.678, "0.00E+00", "1.23E+04"}, NumberCase{0.000123, "0.0E+0", "1.2E-4"},
                      NumberCase{9.999, "0.00E+00", "1.00E+01"}, NumberCase{-12345.678, "0.00E+00", "-1.23E+04"},
                      NumberCase{12345, "##0.0E+0", "12.3E+3"}, NumberCase{0, "0.00E+00", "0.00E+00"},
                      NumberCase{2500, "0.0E-0", "2.5E3"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

INSTANTIATE_TEST_SUITE_P(
    Literals, NumberDisplay,
    ::testing::Values(NumberCase{3.14159, "\"L=\"0.00\"m\"", "L=3.14m"}, NumberCase{3, "0.0米", "3.0米"},
                      NumberCase{3, "0\\米", "3米"}, NumberCase{5, "0_)", "5 "}, NumberCase{5, "$0.00", "$5.00"},
                      NumberCase{1234.5, "[$€-407]#,##0.00", "€1,234.50"}, NumberCase{5, "[Red]0.0", "5.0"},
                      NumberCase{5, "**0", "5"}, NumberCase{-5, "\"差\"0", "-差5"},
                      NumberCase{12, "0\" ; \"0", "1 ; 2"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

INSTANTIATE_TEST_SUITE_P(
    Sections, NumberDisplay,
    ::testing::Values(NumberCase{5, "0.00;[Red]-0.00", "5.00"}, NumberCase{-5, "0.00;[Red]-0.00", "-5.00"},
                      NumberCase{-5, "0_);(0)", "(5)"}, NumberCase{-1.5, "0.0;(0.0)", "(1.5)"},
                      NumberCase{0, "0.00;-0.00;\"零\"", "零"}, NumberCase{-0.001, "0.00;-0.00;\"零\"", "-0.00"},
                      NumberCase{0, "0.00;(0.00)", "0.00"}, NumberCase{-3, "0;;0", ""}, NumberCase{0, "0;-0;;@", ""},
                      NumberCase{-5, "0.00;@", "-5.00"}, NumberCase{150, "[>100]\"大\"0;0", "大150"},
                      NumberCase{50, "[>100]\"大\"0;0", "50"}, NumberCase{-50, "[>100]0;0", "-50"},
                      NumberCase{5, "[<0]\"负\";[=0]\"零\";\"正\"", "正"},
                      NumberCase{0, "[<0]\"负\";[=0]\"零\";\"正\"", "零"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

// Codes this display does not render show numbers as General.
INSTANTIATE_TEST_SUITE_P(
    FallBackToGeneral, NumberDisplay,
    ::testing::Values(NumberCase{1234.5, "General", "1234.5"}, NumberCase{1234.5, "", "1234.5"},
                      NumberCase{0.25, "gggg", "0.25"}, NumberCase{43000, "[$-804]ggg", "43000"},
                      NumberCase{1.5, "[DBNum3]0", "1.5"}, NumberCase{1.5, "0 h", "1.5"},
                      NumberCase{1234.5, "@", "1234.5"}, NumberCase{1.5, "# ?/?", "1.5"},
                      NumberCase{0.25, "# ?\?/?\?", "0.25"}, NumberCase{1, "0;0;0;0;0", "1"},
                      NumberCase{-2, "General;\"(\"General\")\"", "(2)"}),
    testsupport::NameBy([](const NumberCase& c) { return testsupport::ParamName(c.value, "as", c.code); }));

struct TextCase {
  const char* text;
  const char* code;
  const char* shown;
};

class TextDisplay : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextDisplay, UsesTheTextSectionOrShowsTheTextAsItIs) {
  const TextCase& c = GetParam();
  EXPECT_EQ(NumberFormat::Display(std::string(c.text), c.code), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextDisplay,
    ::testing::Values(TextCase{"路边", "@", "路边"}, TextCase{"abc", "0.000", "abc"},
                      TextCase{"abc", "General", "abc"}, TextCase{"abc", "0;-0;0;\"文本:\"@", "文本:abc"},
                      TextCase{"abc", "0;-0;0;\"固定\"", "固定"}, TextCase{"abc", "0.00;@\"!\"", "abc!"},
                      TextCase{"x", "\"<\"@\">\"", "<x>"}, TextCase{"", "\"<\"@\">\"", "<>"},
                      TextCase{"abc", "0;-0;0;", ""}, TextCase{"abc", "yyyy-mm-dd", "abc"}),
    testsupport::NameBy([](const TextCase& c) { return testsupport::ParamName(c.text, "as", c.code); }));

TEST(NumberDisplay, EmptyCellShowsNothingAndNonFiniteShowsAnError) {
  EXPECT_EQ(NumberFormat::Display(CellValue{}, "0.000"), "");
  EXPECT_EQ(NumberFormat::Display(CellValue{}, "0;-0;0;\"x\""), "");
  EXPECT_EQ(NumberFormat::Display(std::numeric_limits<double>::infinity(), "0.000"), "#NUM!");
  EXPECT_EQ(NumberFormat::Display(std::nan(""), "#,##0"), "#NUM!");
}

TEST(NumberDisplay, ParsedFormatKnowsItsCodeAndWhetherItIsGeneral) {
  const NumberFormat metres("0.000");
  EXPECT_EQ(metres.Code(), "0.000");
  EXPECT_FALSE(metres.IsGeneral());
  EXPECT_TRUE(NumberFormat("gggg").IsGeneral());
  EXPECT_FALSE(NumberFormat("K0+000").IsGeneral());
  EXPECT_TRUE(NumberFormat("yyyy").IsDate());
  EXPECT_TRUE(NumberFormat("@").IsGeneral());
  EXPECT_EQ(metres.Format(CellValue{101.2345}), "101.235");
  EXPECT_EQ(metres.Format(CellValue{std::string("BM1")}), "BM1");
}

TEST(NumberFormatCache, ParsesEachCodeOnceAndStartsAfreshWhenFull) {
  NumberFormatCache cache(2);
  const NumberFormat& first = cache.Get("0.000");
  EXPECT_EQ(&cache.Get("0.000"), &first);
  EXPECT_EQ(cache.Display(1.5, "0.000"), "1.500");
  EXPECT_EQ(cache.Display(1.5, "0"), "2");
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(cache.Display(0.5, "0%"), "50%");
  EXPECT_EQ(cache.Size(), 1u);
  EXPECT_EQ(cache.Display(CellValue{}, "0%"), "");
}
