// Parsing and evaluating formula texts: precedence, references, coercion, the functions' edge
// cases and error codes (Excel's, where LibreOffice differs: booleans stay booleans in text
// and comparisons, typed texts count in SUM, SQRT(-1) is #NUM!), and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "calc/Evaluator.h"
#include "calc/Formula.h"
#include "tests/calc/CalcTestBook.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {
namespace {

using testing::Compute;
using testing::Describe;

struct Case {
  const char* formula;
  const char* expected;  // as Describe() writes it
};

class FormulaValueTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormulaValueTest, ComputesAsSpreadsheetsDo) {
  const Workbook wb = testing::SampleBook();
  EXPECT_EQ(Describe(Compute(wb, GetParam().formula)), GetParam().expected) << GetParam().formula;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormulaValueTest,
    ::testing::Values(
        // Precedence: unary minus above ^, % above ^, ^ left to right, & below +, comparisons last.
        Case{"-2^2", "n:4"}, Case{"2^-2", "n:0.25"}, Case{"2^3^2", "n:64"}, Case{"2*3+4*5", "n:26"},
        Case{"(2+3)*4", "n:20"}, Case{"2^50%", "n:1.4142135623731"}, Case{"1+2&3", "t:33"},
        Case{"1+2=3", "b:TRUE"}, Case{"1<2=TRUE", "b:TRUE"}, Case{"--3", "n:3"}, Case{"+\"a\"", "t:a"},
        Case{" 1 +\t2 ", "n:3"}, Case{"5%%", "n:0.0005"}, Case{"1e3+.5", "n:1000.5"},
        // Tolerant arithmetic and comparison.
        Case{"0.1+0.2=0.3", "b:TRUE"}, Case{"0.3-0.2-0.1", "n:0"}, Case{"1/0", "e:#DIV/0!"},
        // Coercion of texts, blanks and booleans; errors travel left first.
        Case{"A4+1", "n:5"}, Case{"A5+1", "n:1"}, Case{"A5&\"z\"", "t:z"}, Case{"B1+1", "e:#VALUE!"},
        Case{"TRUE+TRUE", "n:2"}, Case{"B3+1/0", "e:#DIV/0!"}, Case{"1/0+B1", "e:#DIV/0!"},
        Case{"\"a\"=\"A\"", "b:TRUE"}, Case{"\"b\">\"A\"", "b:TRUE"}, Case{"1<\"0\"", "b:TRUE"},
        Case{"\"z\"<TRUE", "b:TRUE"}, Case{"A5=0", "b:TRUE"}, Case{"A5=\"\"", "b:TRUE"},
        Case{"\"say \"\"hi\"\"\"", "t:say \"hi\""}, Case{"#N/A", "e:#N/A"}, Case{"#div/0!", "e:#DIV/0!"},
        // References: absolute parts, ranges, sheets by name in any case, quotes in names.
        Case{"$A$1+A$2+$A3", "n:6"}, Case{"SUM(A1:A3)", "n:6"}, Case{"SUM(A3:A1)", "n:6"},
        Case{"SUM(A:A)", "n:6"}, Case{"SUM(1:1)", "n:13.675"}, Case{"'数据 输入'!A1+1", "n:101"},
        Case{"'数据 输入'!B2", "t:它's"}, Case{"数据!A2", "n:2"}, Case{"'无此表'!A1", "e:#REF!"},
        Case{"A1:A3", "e:#VALUE!"}, Case{"IV65536", "n:0"}, Case{"XFD1", "e:#REF!"},
        // Unknown names and functions.
        Case{"FOO(1)", "e:#NAME?"}, Case{"foo", "e:#NAME?"}, Case{"IFERROR(NOSUCH(),7)", "n:7"},
        // Aggregates: referenced booleans and texts are skipped, typed ones count.
        Case{"SUM(A1:A6)", "n:6"}, Case{"SUM(\"3\",TRUE)", "n:4"}, Case{"SUM(B1)", "n:0"},
        Case{"SUM(A1:B3)", "e:#DIV/0!"}, Case{"AVERAGE(A4:A5)", "e:#DIV/0!"}, Case{"MAX(B1:B2)", "n:0"},
        Case{"COUNT(A1:B3)", "n:3"}, Case{"COUNTA(A1:B3)", "n:6"}, Case{"COUNT(1,\"2\",\"x\")", "n:2"},
        Case{"AND(A1:A3)", "b:TRUE"}, Case{"OR(B1:B2)", "e:#VALUE!"}, Case{"AND(\"x\")", "e:#VALUE!"},
        // Rounding on the decimal value.
        Case{"ROUND(C1,2)", "n:2.68"}, Case{"ROUND(C2,0)", "n:-2"}, Case{"ROUND(1234.5,-2)", "n:1200"},
        Case{"ROUND(50,-2)", "n:100"}, Case{"ROUND(4,-2)", "n:0"}, Case{"ROUNDUP(4,-2)", "n:100"},
        Case{"ROUNDUP(0.1+0.2,1)", "n:0.3"}, Case{"ROUNDDOWN(-2.9)", "n:-2"}, Case{"TRUNC(-2.9)", "n:-2"},
        Case{"ATAN2(0,0)", "e:#DIV/0!"}, Case{"FIND(\"\",\"abc\",2)", "n:2"},
        Case{"INT(-2.1)", "n:-3"}, Case{"ROUND(1E+300,2)", "n:1e+300"}, Case{"ROUND(2.5,1E+300)", "n:2.5"},
        // Errors of the functions.
        Case{"SQRT(-1)", "e:#NUM!"}, Case{"MOD(1,0)", "e:#DIV/0!"}, Case{"MOD(-1,3)", "n:2"},
        Case{"POWER(0,-1)", "e:#DIV/0!"}, Case{"(-8)^(1/3)", "e:#NUM!"}, Case{"10^400", "e:#NUM!"},
        Case{"CHOOSE(3,1,2)", "e:#VALUE!"}, Case{"MID(\"abc\",0,1)", "e:#VALUE!"}, Case{"VALUE(\"x\")", "e:#VALUE!"},
        // Lookups.
        Case{"VLOOKUP(25,D1:E4,2)", "t:二十"}, Case{"VLOOKUP(25,D1:E4,2,FALSE)", "e:#N/A"},
        Case{"VLOOKUP(30,D1:E4,3,FALSE)", "e:#REF!"}, Case{"VLOOKUP(5,D1:E4,2)", "e:#N/A"},
        Case{"MATCH(\"三十\",E1:E4,0)", "n:3"}, Case{"MATCH(35,D1:D4)", "n:3"}, Case{"INDEX(D1:E4,2,2)", "t:二十"},
        Case{"SUM(INDEX(D1:E4,0,1))", "n:100"}, Case{"INDEX(D1:E4,5,1)", "e:#REF!"}, Case{"ISBLANK(INDEX(A1:A5,5))", "b:TRUE"},
        // Texts count characters, not bytes.
        Case{"LEN(E2)", "n:2"}, Case{"LEFT(E4)", "t:四"}, Case{"RIGHT(\"数据输入\",2)", "t:输入"},
        Case{"MID(\"数据输入\",2,2)", "t:据输"}, Case{"LEFT(\"ab\",0)", "t:"}, Case{"CONCATENATE(A1,\"-\",TRUE)", "t:1-TRUE"},
        Case{"1/3&\"\"", "t:0.333333333333333"}, Case{"1E+15&\"\"", "t:1E+15"},
        Case{"-0.5&\"|\"&TRUE", "t:-0.5|TRUE"}, Case{"AVERAGE(1,\"2\",TRUE)", "n:1.33333333333333"}, Case{"TEXT(1234.5,\"#,##0.00\")", "t:1,234.50"},
        Case{"ISBLANK(A5)", "b:TRUE"}, Case{"ISBLANK(\"\")", "b:FALSE"}, Case{"ISNUMBER(A4)", "b:FALSE"},
        Case{"IF(A5,1)", "b:FALSE"}, Case{"IF(1,,2)", "n:0"}, Case{"IF(\"x\",1,2)", "e:#VALUE!"}));

struct Refusal {
  std::string formula;
  const char* message;  // a part of the description
};

class FormulaRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(FormulaRefusalTest, IsANumberedErrorNamingWhere) {
  try {
    Formula::Parse(GetParam().formula);
    FAIL() << "parsed: " << GetParam().formula.substr(0, 80);
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), SpreadsheetError::kApplicationDefined);
    EXPECT_NE(e.Description().find(GetParam().message), std::string::npos) << e.Description();
  }
}

std::string Nested(int levels) { return std::string(levels, '(') + "1" + std::string(levels, ')'); }

INSTANTIATE_TEST_SUITE_P(
    Table, FormulaRefusalTest,
    ::testing::Values(Refusal{"", "公式为空"}, Refusal{"1+", "在末尾缺少运算对象"}, Refusal{"(1", "缺少右括号"},
                      Refusal{"1)", "第 2 个字符处有多余的右括号"}, Refusal{"1 2", "第 3 个字符处缺少运算符：“2”"},
                      Refusal{"\"abc", "缺少右引号"}, Refusal{"SUM(1,)+*2", "第 9 个字符处缺少运算对象：“*2”"},
                      Refusal{"ROUND()", "ROUND 参数个数不对"}, Refusal{"[1]Sheet1!A1", "其他工作簿"},
                      Refusal{"'x'A1", "应为“!”"}, Refusal{"数据!", "应为单元格引用"}, Refusal{"{1,2}", "数组常量"},
                      Refusal{"1,2", "逗号不在函数的参数之间"}, Refusal{"#FOO", "不是错误值"}, Refusal{"1e999", "超出范围"},
                      Refusal{"SUM(-)", "缺少运算对象"}, Refusal{"A1 @", "无法识别的字符"},
                      Refusal{std::string(8193, '1'), "8193 个字符，超过 8192"}, Refusal{Nested(65), "嵌套超过 64 层"}));

TEST(FormulaLimitsTest, AcceptsTheLongestAndDeepestFormulasSpreadsheetsAllow) {
  const Workbook wb = testing::SampleBook();
  EXPECT_EQ(Describe(Compute(wb, Nested(64))), "n:1");
  // 8,192 characters of Chinese text (24,576 bytes): the limit counts characters.
  std::string text = "LEN(\"";
  for (int i = 0; i < 8192 - 7; ++i) text += "数";
  text += "\")";
  EXPECT_EQ(Describe(Compute(wb, text)), "n:8185");
  // Long flat chains are evaluated without recursion.
  std::string sum = "1";
  while (sum.size() + 2 <= Formula::kMaxLength) sum += "+1";
  EXPECT_EQ(Describe(Compute(wb, sum)), "n:4096");
  EXPECT_EQ(Describe(Compute(wb, std::string(8190, '-') + "1")), "n:1");
}

}  // namespace
}  // namespace spreadsheet::calc
