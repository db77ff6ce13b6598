#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "numfmt/NumberFormat.h"
#include "workbook/CellInput.h"
#include "workbook/NumberText.h"

using spreadsheet::CellInput;
using spreadsheet::CellValue;
using spreadsheet::NumberFormat;
using spreadsheet::NumberText;

namespace {

// Runs each test under the decimal comma of de_DE.UTF-8 (tools/bootstrap.sh generates it),
// as a Qt program does before it resets LC_NUMERIC; restores the previous locale.
class UnderDecimalComma : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "locale de_DE.UTF-8 not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5");
  }
  void TearDown() override { std::setlocale(LC_NUMERIC, previous_.c_str()); }

 private:
  std::string previous_;
};

struct Shown {
  double value;
  const char* code;
  const char* text;
};

}  // namespace

TEST_F(UnderDecimalComma, FormatsShowAPoint) {
  const Shown cases[] = {
      {152.34, "General", "152.34"},     {152.34, "0.00", "152.34"},   {150.826, "0.000", "150.826"},
      {1234567.5, "#,##0.0", "1,234,567.5"}, {1.5e12, "General", "1.5E+12"}, {2.5e-10, "General", "2.5E-10"},
      {0.1 + 0.2, "General", "0.3"},     {12345.678, "0.00E+00", "1.23E+04"},
      {2, "[>=1.5]\"大\";\"小\"", "大"}, {1, "[>=1.5]\"大\";\"小\"", "小"}, {-3, "[<-2.5]0.0;0", "-3.0"},
  };
  for (const Shown& c : cases) EXPECT_EQ(NumberFormat::Display(c.value, c.code), c.text) << c.code;
}

TEST_F(UnderDecimalComma, EditTextReadsBackAsTheSameNumber) {
  for (const double x : {152.34, 150.826, -0.001, 1e20, 0.333333333333333}) {
    const std::string text = CellInput::EditText(CellValue{x});
    EXPECT_EQ(text.find(','), std::string::npos) << text;
    EXPECT_EQ(CellInput::Parse(text), CellValue{x}) << text;
  }
}

// The edit text of a number is the general text the settings dialog shows: one rule, whatever
// the locale, and it reads back to the same 15 significant digits.
TEST_F(UnderDecimalComma, EditTextIsTheGeneralText) {
  std::mt19937_64 engine(20261209);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 5000; ++i) {
    const double x = mantissa(engine) * std::pow(10.0, exponent(engine));
    const std::string text = CellInput::EditText(CellValue{x});
    ASSERT_EQ(text, NumberText::EditText(x));
    double back = 0;
    ASSERT_TRUE(NumberText::Read(text, back)) << text;
    ASSERT_NEAR(back, x, std::abs(x) * 1e-14) << text;
  }
}
