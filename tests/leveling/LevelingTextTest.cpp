#include <gtest/gtest.h>

#include <string>

#include "leveling/LevelingText.h"
#include "tests/support/ParamName.h"

namespace gaocheng {
namespace {

struct TextCase {
  const char* in;
  const char* out;
};

class FormatOffsetTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FormatOffsetTest, WritesSideDistanceAndUnit) {
  EXPECT_EQ(FormatOffset(GetParam().in), GetParam().out) << "input [" << GetParam().in << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Table, FormatOffsetTest,
    ::testing::Values(TextCase{"-2.5", "左2.5米"}, TextCase{"1.23456", "右1.235米"},
                      TextCase{"3", "右3米"}, TextCase{"-5", "左5米"}, TextCase{"0", "中"},
                      TextCase{"-0", "中"}, TextCase{"0.000", "中"}, TextCase{"  12.5 ", "右12.5米"},
                      TextCase{"2.50", "右2.5米"}, TextCase{"-0.0004", "左0米"},
                      TextCase{"路边", "路边"}, TextCase{"  路边 ", "路边"}, TextCase{"", ""},
                      TextCase{"   ", ""}, TextCase{"1,5", "1,5"}, TextCase{"abc", "abc"}),
    testsupport::NameBy([](const TextCase& c) { return testsupport::ParamName("offset", c.in); }));

TEST(RemoveSpaces, RemovesOnlyU0020) {
  EXPECT_EQ(RemoveSpaces(" BM 1 "), "BM1");
  EXPECT_EQ(RemoveSpaces("K0 + 020 左5米"), "K0+020左5米");
  EXPECT_EQ(RemoveSpaces("a\tb\u3000c"), "a\tb\u3000c");
  EXPECT_EQ(RemoveSpaces("   "), "");
  EXPECT_EQ(RemoveSpaces(""), "");
}

TEST(TrimSpaces, KeepsInnerSpaces) {
  EXPECT_EQ(TrimSpaces("  BM 1  "), "BM 1");
  EXPECT_EQ(TrimSpaces("\tBM1 "), "\tBM1");
  EXPECT_EQ(TrimSpaces("    "), "");
}

TEST(CutToCharacters, CountsCodePointsNotBytes) {
  const std::string chinese20 = "一二三四五六七八九十一二三四五六七八九十";
  EXPECT_EQ(CutToCharacters(chinese20, 16), "一二三四五六七八九十一二三四五六");
  EXPECT_EQ(CutToCharacters("ab水准cd", 3), "ab水");
  EXPECT_EQ(CutToCharacters("abc", 3), "abc");
  EXPECT_EQ(CutToCharacters("abc", 64), "abc");
  EXPECT_EQ(CutToCharacters("😀x", 1), "😀");
  EXPECT_EQ(CutToCharacters("abc", 0), "");
}

}  // namespace
}  // namespace gaocheng
