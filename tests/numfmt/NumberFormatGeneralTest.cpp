#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "numfmt/NumberFormat.h"
#include "workbook/NumberText.h"
#include "tests/support/ParamName.h"

using spreadsheet::NumberFormat;

struct GeneralCase {
  double value;
  const char* shown;
};

class GeneralDisplay : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralDisplay, ShowsUpToElevenSignificantDigits) {
  EXPECT_EQ(spreadsheet::NumberText::GeneralDisplay(GetParam().value), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, GeneralDisplay,
    ::testing::Values(GeneralCase{0, "0"}, GeneralCase{-0.0, "0"}, GeneralCase{1, "1"}, GeneralCase{-3, "-3"},
                      GeneralCase{0.2, "0.2"}, GeneralCase{0.1 + 0.2, "0.3"}, GeneralCase{1.234, "1.234"},
                      GeneralCase{123.456, "123.456"}, GeneralCase{1234.5678901234, "1234.5678901"},
                      GeneralCase{-0.000123, "-0.000123"}, GeneralCase{12345678901, "12345678901"},
                      GeneralCase{99999999999.7, "1E+11"}, GeneralCase{123456789012, "1.23457E+11"},
                      GeneralCase{1e-10, "1E-10"}, GeneralCase{2.5e-12, "2.5E-12"}, GeneralCase{1e100, "1E+100"},
                      GeneralCase{1234.0, "1234"}),
    testsupport::NameBy([](const GeneralCase& c) { return testsupport::ParamName(c.value, "to", c.shown); }));

TEST(GeneralDisplay, NonFiniteShowsAnError) {
  EXPECT_EQ(spreadsheet::NumberText::GeneralDisplay(std::numeric_limits<double>::infinity()), "#NUM!");
  EXPECT_EQ(spreadsheet::NumberText::GeneralDisplay(std::nan("")), "#NUM!");
}

TEST(Display, TextAndEmpty) {
  EXPECT_EQ(NumberFormat::Display(std::string("路边"), "General"), "路边");
  EXPECT_EQ(NumberFormat::Display(spreadsheet::CellValue{}, "0.000"), "");
}
