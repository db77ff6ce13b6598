#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/BatchCommand.h"

namespace fs = std::filesystem;
using cli::BatchCommand;
using Verdict = BatchCommand::Verdict;

namespace {

class BatchPlan : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "levelbook-batch-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "a");
    fs::create_directories(dir_ / "b");
    fs::create_directory_symlink(dir_ / "a", dir_ / "link");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string P(const char* relative) const { return (dir_ / relative).string(); }

  fs::path dir_;
};

}  // namespace

TEST_F(BatchPlan, RefusesAnOutputFolderThatWouldOverwriteAnInput) {
  struct Case {
    std::vector<std::string> inputs;
    std::string outputDir;
    const char* refusal;  // a part of the message; nullptr: accepted
  };
  const Case cases[] = {
      {{P("a/k1.xlsx"), P("b/k2.xlsx")}, P("out"), nullptr},
      {{P("a/k1.xlsx"), P("b/k2.xlsx")}, P("b"), "b/k2.xlsx"},
      {{P("a/k1.xlsx")}, P("b/../a/."), "覆盖输入文件"},
      {{P("a/k1.xlsx")}, P("link"), "覆盖输入文件"},
      {{P("a/k1.xlsx"), P("b/k1.xlsx")}, P("out"), "k1.xlsx"},
      {{P("a")  + "/"}, P("out"), "不是文件名"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> outputs;
    const std::string refusal = BatchCommand::Plan(c.inputs, c.outputDir, outputs);
    if (c.refusal == nullptr) {
      EXPECT_EQ(refusal, "");
      EXPECT_EQ(outputs, (std::vector<std::string>{P("out/k1.xlsx"), P("out/k2.xlsx")}));
    } else {
      EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
    }
  }
}

TEST(BatchRun, ExitStatusIsTheWorstOutcome) {
  struct Case {
    std::vector<Verdict> verdicts;
    int status;
    const char* total;
  };
  const Case cases[] = {
      {{Verdict::Passed, Verdict::Passed}, 0, "共 2 个文件：合格 2 个，超限 0 个，失败 0 个"},
      {{Verdict::Passed, Verdict::OutOfTolerance}, 3, "共 2 个文件：合格 1 个，超限 1 个，失败 0 个"},
      {{Verdict::Failed, Verdict::OutOfTolerance, Verdict::Passed}, 1, "共 3 个文件：合格 1 个，超限 1 个，失败 1 个"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> inputs, outputs;
    std::map<std::string, Verdict> verdictOf;
    for (std::size_t i = 0; i < c.verdicts.size(); ++i) {
      inputs.push_back("in" + std::to_string(i) + ".xlsx");
      outputs.push_back("out/in" + std::to_string(i) + ".xlsx");
      verdictOf[inputs.back()] = c.verdicts[i];
    }
    std::ostringstream out, err;
    const int status = BatchCommand::Run(inputs, outputs, 2, [&](const std::string& input, const std::string&) {
      return BatchCommand::FileResult{verdictOf.at(input), "摘要", {}};
    }, out, err);
    EXPECT_EQ(status, c.status);
    EXPECT_NE(out.str().find(std::string(c.total) + "\n"), std::string::npos) << out.str();
  }
}

// The first file finishes only after the second has: both run at once, and the lines still come
// in the order of the inputs. A throwing job fails its file alone.
TEST(BatchRun, RunsFilesAtOnceAndReportsInInputOrder) {
  std::promise<void> secondDone;
  std::shared_future<void> second = secondDone.get_future().share();
  const std::vector<std::string> inputs{"k1.xlsx", "k2.xlsx", "k3.xlsx"};
  const std::vector<std::string> outputs{"o/k1.xlsx", "o/k2.xlsx", "o/k3.xlsx"};
  std::ostringstream out, err;
  const int status = BatchCommand::Run(inputs, outputs, 2, [&](const std::string& input, const std::string& output) {
    if (input == "k1.xlsx" && second.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      throw std::runtime_error("k2.xlsx did not run beside k1.xlsx");
    }
    if (input == "k2.xlsx") secondDone.set_value();
    if (input == "k3.xlsx") throw std::runtime_error("无法读取输入文件：k3.xlsx");
    return BatchCommand::FileResult{Verdict::Passed, "写入 " + output, {"提示 " + input}};
  }, out, err);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out.str(),
            "k1.xlsx → o/k1.xlsx：合格，写入 o/k1.xlsx\n"
            "k2.xlsx → o/k2.xlsx：合格，写入 o/k2.xlsx\n"
            "k3.xlsx：失败，无法读取输入文件：k3.xlsx\n"
            "共 3 个文件：合格 2 个，超限 0 个，失败 1 个\n");
  EXPECT_EQ(err.str(), "k1.xlsx：提示 k1.xlsx\nk2.xlsx：提示 k2.xlsx\n");
}
