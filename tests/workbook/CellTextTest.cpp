#include <gtest/gtest.h>

#include "workbook/CellInput.h"
#include "workbook/TsvText.h"
#include "tests/support/ParamName.h"

using namespace spreadsheet;

namespace {

struct ParseCase {
  const char* typed;
  CellValue expected;
};

class CellInputParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CellInputParse, TypedTextBecomesTheCellValue) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(CellInput::Parse(c.typed), c.expected) << "typed: " << c.typed;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CellInputParse,
    ::testing::Values(ParseCase{"", std::monostate{}}, ParseCase{"12", 12.0}, ParseCase{" -1.5 ", -1.5},
                      ParseCase{"+5", 5.0}, ParseCase{"2e3", 2000.0}, ParseCase{".5", 0.5},
                      ParseCase{"-0", 0.0}, ParseCase{"'12", std::string("12")},
                      ParseCase{"'", std::string()}, ParseCase{"''a", std::string("'a")},
                      ParseCase{"K1+000", std::string("K1+000")}, ParseCase{"1.2.3", std::string("1.2.3")},
                      ParseCase{"inf", std::string("inf")}, ParseCase{"nan", std::string("nan")},
                      ParseCase{"0x10", std::string("0x10")}, ParseCase{"1e999", std::string("1e999")},
                      ParseCase{"-", std::string("-")}, ParseCase{"左2.5米", std::string("左2.5米")},
                      ParseCase{" ", std::string(" ")}, ParseCase{"123.4567", 123.4567},
                      // The route's rule: tabs around, a trailing point, underflow to zero.
                      ParseCase{"\t2\t", 2.0}, ParseCase{"5.", 5.0}, ParseCase{"1e-400", 0.0},
                      ParseCase{"1,5", std::string("1,5")}, ParseCase{"TRUE", true}, ParseCase{"false", false},
                      ParseCase{"'TRUE", std::string("TRUE")}, ParseCase{" TRUE", std::string(" TRUE")}),
    testsupport::NameBy([](const ParseCase& c) {
      // The value as well as the text: "'" and " " both read "_" but give different texts.
      const std::string value = std::visit(
          [](const auto& v) -> std::string {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, double>) return testsupport::ParamName("number", v);
            else if constexpr (std::is_same_v<V, std::string>) return testsupport::ParamName("text", v);
            else if constexpr (std::is_same_v<V, bool>) return v ? "TRUE" : "FALSE";
            else return "blank";
          },
          c.expected);
      return testsupport::ParamName(c.typed, "to", value);
    }));

TEST(CellInput, EditTextRoundTripsThroughParse) {
  const CellValue values[] = {std::monostate{}, 0.1 + 0.2, 123.4567, -1e-7, 65535.0, std::string("12"),
                              std::string("'quoted"), std::string("BM1"), std::string("中"), true, false,
                              std::string("TRUE"), std::string("False")};
  for (const CellValue& v : values) {
    const std::string edit = CellInput::EditText(v);
    const CellValue back = CellInput::Parse(edit);
    if (const auto* d = std::get_if<double>(&v)) {
      ASSERT_TRUE(IsNumber(back)) << edit;
      EXPECT_NEAR(std::get<double>(back), *d, std::abs(*d) * 1e-14) << edit;
    } else {
      EXPECT_EQ(back, v) << edit;
    }
  }
  EXPECT_EQ(CellInput::EditText(CellValue(0.1 + 0.2)), "0.3");
  EXPECT_EQ(CellInput::EditText(CellValue(1e-7)), "1E-07");
  EXPECT_EQ(CellInput::EditText(CellValue(std::string("12"))), "'12");
}

TEST(CellInput, FormulaCellsEditAsFormulas) {
  Cell cell;
  cell.formula = "SUM(A1:A3)";
  cell.value = 6.0;
  EXPECT_EQ(CellInput::EditText(&cell), "=SUM(A1:A3)");
  EXPECT_EQ(CellInput::EditText(static_cast<const Cell*>(nullptr)), "");
}

TEST(TsvText, FormatsAsSpreadsheetsDo) {
  const TsvText::Rows rows = {{"测点", "1.234", ""}, {"a\tb", "line\nbreak", "\"q\" x"}, {"x\"y"}};
  EXPECT_EQ(TsvText::Format(rows), "测点\t1.234\t\n\"a\tb\"\t\"line\nbreak\"\t\"\"\"q\"\" x\"\nx\"y\n");
  EXPECT_EQ(TsvText::Parse(TsvText::Format(rows)), rows);
}

struct TsvCase {
  const char* name;
  const char* text;
  TsvText::Rows rows;
};

class TsvParse : public ::testing::TestWithParam<TsvCase> {};

TEST_P(TsvParse, ReadsClipboardText) { EXPECT_EQ(TsvText::Parse(GetParam().text), GetParam().rows) << GetParam().name; }

INSTANTIATE_TEST_SUITE_P(
    Clipboards, TsvParse,
    ::testing::Values(
        TsvCase{"excel crlf", "BM1\t12.5\r\nK1+000\t左\r\n", {{"BM1", "12.5"}, {"K1+000", "左"}}},
        TsvCase{"no final break", "a\tb\nc", {{"a", "b"}, {"c"}}},
        TsvCase{"old mac breaks", "a\rb\r", {{"a"}, {"b"}}},
        TsvCase{"empty cells kept", "\t\t\n", {{"", "", ""}}},
        TsvCase{"empty line inside", "a\n\nb\n", {{"a"}, {""}, {"b"}}},
        TsvCase{"quoted break", "\"x\r\ny\"\tz\n", {{"x\r\ny", "z"}}},
        TsvCase{"quote in the middle is literal", "5\"\t6\n", {{"5\"", "6"}}},
        TsvCase{"unterminated quote is literal", "\"abc\tx\n", {{"\"abc", "x"}}},
        TsvCase{"nothing", "", {}}),
    testsupport::CaseName());

}  // namespace
