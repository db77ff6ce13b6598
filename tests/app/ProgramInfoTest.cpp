#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ProgramInfo.h"

TEST(ProgramInfo, AnswersHelpAndVersionBeforeTheWindowStarts) {
  struct Case {
    std::vector<std::string> args;
    const char* starts;  // the answer begins so; nullptr: the program starts
  };
  const Case cases[] = {
      {{}, nullptr},
      {{"路线.xlsx"}, nullptr},
      {{"-platform", "offscreen"}, nullptr},
      {{"--version"}, "levelbook " LEVELBOOK_VERSION "\n"},
      {{"路线.xlsx", "--help"}, "用法：levelbook [文件.xlsx]"},
      {{"-h", "--version"}, "用法："},
      {{"--version", "-h"}, "levelbook "},
      {{"--", "--help"}, nullptr},  // a file named --help
  };
  for (const Case& c : cases) {
    const auto answer = ProgramInfo::Answer(c.args);
    if (c.starts == nullptr) {
      EXPECT_FALSE(answer.has_value()) << *answer;
    } else {
      ASSERT_TRUE(answer.has_value()) << c.starts;
      EXPECT_EQ(answer->rfind(c.starts, 0), 0u) << *answer;
    }
  }
  EXPECT_EQ(ProgramInfo::VersionText(), "levelbook " LEVELBOOK_VERSION "\n");
}
