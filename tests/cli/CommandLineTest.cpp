#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/FieldBookCommand.h"
#include "leveling/LevelingSettings.h"
#include "tests/support/ParamName.h"

using cli::CommandLine;
using cli::FieldBookCommand;

TEST(CommandLine, ReadsInputOutputSeedAndSettingsInEveryForm) {
  const CommandLine a = CommandLine::Parse({"in.xlsx", "-o", "out.xlsx", "--seed", "42", "--set", "TurnPointPrefix=TP"});
  EXPECT_EQ(a.Input, "in.xlsx");
  EXPECT_EQ(a.Output, "out.xlsx");
  ASSERT_TRUE(a.Seed.has_value());
  EXPECT_EQ(*a.Seed, 42u);
  ASSERT_EQ(a.Settings.size(), 1u);
  EXPECT_EQ(a.Settings[0].first, "TurnPointPrefix");
  EXPECT_EQ(a.Settings[0].second, "TP");
  EXPECT_FALSE(a.Help);

  const CommandLine b = CommandLine::Parse(
      {"--output=out.xlsx", "--seed=18446744073709551615", "--set=QuickTurnValue=0.5", "--set", "TurnPointPrefix=", "路线.xlsx"});
  EXPECT_EQ(b.Input, "路线.xlsx");
  EXPECT_EQ(b.Output, "out.xlsx");
  EXPECT_EQ(*b.Seed, 18446744073709551615u);
  ASSERT_EQ(b.Settings.size(), 2u);
  EXPECT_EQ(b.Settings[0].second, "0.5");
  EXPECT_EQ(b.Settings[1].first, "TurnPointPrefix");
  EXPECT_EQ(b.Settings[1].second, "");

  const CommandLine c = CommandLine::Parse({"-o", "out.xlsx", "--", "-input.xlsx"});
  EXPECT_EQ(c.Input, "-input.xlsx");
  EXPECT_FALSE(c.Seed.has_value());
  EXPECT_TRUE(c.Inputs.empty());

  const CommandLine batch = CommandLine::Parse({"k1.xlsx", "-d", "out", "k2.xlsx", "-j", "3", "--seed=1", "--", "-k3.xlsx"});
  EXPECT_EQ(batch.Inputs, (std::vector<std::string>{"k1.xlsx", "k2.xlsx", "-k3.xlsx"}));
  EXPECT_EQ(batch.OutputDir, "out");
  EXPECT_EQ(batch.Jobs, 3u);
  EXPECT_EQ(batch.Input, "");
  const CommandLine longForms = CommandLine::Parse({"--output-dir=out", "--jobs=2", "k1.xlsx"});
  EXPECT_EQ(longForms.OutputDir, "out");
  EXPECT_EQ(longForms.Jobs, 2u);
  EXPECT_EQ(longForms.Inputs, std::vector<std::string>{"k1.xlsx"});
}

TEST(CommandLine, HelpWinsOverEverythingElse) {
  EXPECT_TRUE(CommandLine::Parse({"--help"}).Help);
  EXPECT_TRUE(CommandLine::Parse({"in.xlsx", "--bogus", "-h"}).Help);
  EXPECT_TRUE(CommandLine::Parse({"--bogus", "--version"}).Version);
  EXPECT_FALSE(CommandLine::Parse({"--version", "--help"}).Help);
  EXPECT_EQ(CommandLine::Parse({"-o", "o.xlsx", "--", "--version"}).Input, "--version");
  const CommandLine sample = CommandLine::Parse({"--sample", "-o", "o.xlsx"});
  EXPECT_TRUE(sample.Sample);
  EXPECT_EQ(sample.Input, "");
  const std::string help = CommandLine::HelpText();
  for (const char* name : {"-o", "--seed", "--set", "StaffMinReading", "StaffMaxReading", "MidPointMinusTolerance",
                           "MidPointPlusTolerance", "ClosureMinusTolerance", "ClosurePlusTolerance", "QuickTurnValue",
                           "TurnPointPrefix=ZD", "ShowTurnPointElevation=false", "MidSightInColumnC=true",
                           "ShowReadingsInMetres=true", "数据输入", "水准表", "退出码", "--sample", "--version"}) {
    EXPECT_NE(help.find(name), std::string::npos) << name;
  }
}

struct BadLine {
  const char* name;
  std::vector<std::string> args;
  const char* mentions;
};

class BadCommandLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadCommandLine, IsRejectedNamingTheProblem) {
  try {
    CommandLine::Parse(GetParam().args);
    FAIL() << "accepted";
  } catch (const CommandLine::Error& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().mentions), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadCommandLine,
    ::testing::Values(BadLine{"Nothing", {}, "输入文件"}, BadLine{"NoOutput", {"in.xlsx"}, "-o"},
                      BadLine{"NoInput", {"-o", "out.xlsx"}, "输入文件"},
                      BadLine{"OutputWithoutName", {"in.xlsx", "-o"}, "-o"},
                      BadLine{"SeedWithoutValue", {"in.xlsx", "-o", "o.xlsx", "--seed"}, "--seed"},
                      BadLine{"NegativeSeed", {"in.xlsx", "-o", "o.xlsx", "--seed", "-1"}, "-1"},
                      BadLine{"SeedWithText", {"in.xlsx", "-o", "o.xlsx", "--seed", "12x"}, "12x"},
                      BadLine{"SeedTooLarge", {"in.xlsx", "-o", "o.xlsx", "--seed", "18446744073709551616"},
                              "18446744073709551616"},
                      BadLine{"SetWithoutValue", {"in.xlsx", "-o", "o.xlsx", "--set", "QuickTurnValue"},
                              "QuickTurnValue"},
                      BadLine{"SetWithoutName", {"in.xlsx", "-o", "o.xlsx", "--set", "=5"}, "=5"},
                      BadLine{"UnknownOption", {"in.xlsx", "-o", "o.xlsx", "--verbose"}, "--verbose"},
                      BadLine{"TwoInputs", {"a.xlsx", "b.xlsx", "-o", "o.xlsx"}, "b.xlsx"},
                      BadLine{"SampleWithInput", {"--sample", "a.xlsx", "-o", "o.xlsx"}, "a.xlsx"},
                      BadLine{"SampleWithoutOutput", {"--sample"}, "-o"},
                      BadLine{"OutputAndOutputDir", {"a.xlsx", "-d", "out", "-o", "o.xlsx"}, "-o 与 -d"},
                      BadLine{"OutputDirWithoutName", {"a.xlsx", "-d"}, "-d"},
                      BadLine{"OutputDirWithoutInput", {"-d", "out"}, "输入文件"},
                      BadLine{"SampleWithOutputDir", {"--sample", "-d", "out"}, "--sample"},
                      BadLine{"NoJobs", {"a.xlsx", "-d", "out", "-j", "0"}, "“0”"},
                      BadLine{"JobsWithoutValue", {"a.xlsx", "-d", "out", "-j"}, "-j"},
                      BadLine{"JobsWithText", {"a.xlsx", "-d", "out", "--jobs=2x"}, "2x"},
                      BadLine{"OutputNotXlsx", {"in.xlsx", "-o", "out.ods"}, "输出文件“out.ods”的扩展名须为 .xlsx 或 .xlsm"},
                      BadLine{"OutputOnlyExtension", {"in.xlsx", "-o", "xlsx"}, "扩展名"}),
    testsupport::CaseName());

struct SettingsCase {
  std::vector<std::pair<std::string, std::string>> changes;
  bool accepted;
  const char* message;
};

class CommandLineSettings : public ::testing::TestWithParam<SettingsCase> {};

// The settings dialog's checks and messages, word for word; nothing changes on a failure.
TEST_P(CommandLineSettings, AreCheckedAsTheSettingsDialogChecksThem) {
  gaocheng::LevelingSettings settings;
  const gaocheng::LevelingSettings before = settings;
  std::string message;
  EXPECT_EQ(FieldBookCommand::ApplySettings(GetParam().changes, settings, message), GetParam().accepted);
  EXPECT_EQ(message, GetParam().message);
  if (!GetParam().accepted) {
    EXPECT_EQ(settings, before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, CommandLineSettings,
    ::testing::Values(
        SettingsCase{{{"QuickTurnValue", "0.5"}}, true, "设置已经保存"},
        SettingsCase{{{"TurnPointPrefix", ""}}, true, "设置已经保存"},
        SettingsCase{{{"MidPointMinusTolerance", "abc"}}, false, "请检查水准设置第3项是否为数字,设置未保存"},
        SettingsCase{{{"StaffMaxReading", "x"}, {"ClosureMinusTolerance", "y"}}, false,
                     "请检查水准设置第2项是否为数字,设置未保存"},
        SettingsCase{{{"StaffMaxReading", "0.2"}}, false, "请保证水准尺读数正确性,设置未保存"},
        SettingsCase{{{"MidPointPlusTolerance", "-3"}}, false, "请保证水准中间点正确性,设置未保存"},
        SettingsCase{{{"ClosurePlusTolerance", "-2"}}, false, "请保证水准点闭合差正确性,设置未保存"},
        SettingsCase{{{"StaffMinReading", "0.5"}, {"StaffMaxReading", "4.5"}, {"QuickTurnValue", "2"}}, false,
                     "请保证水准快速转站正确性,设置未保存"},
        SettingsCase{{{"QuickTurnValue", "0"}}, false, "请保证水准快速转站正确性,设置未保存"},
        SettingsCase{{{"Staffminreading", "0.1"}}, false, "未知的设置名称“Staffminreading”（可用名称见 --help）"},
        SettingsCase{{{"ShowReadingsInMetres", "maybe"}}, false,
                     "设置 ShowReadingsInMetres 只能取 true 或 false，而不是“maybe”"}),
    testsupport::NameBy([](const SettingsCase& c) {
      std::string name;
      for (const auto& [setting, value] : c.changes)
        name += (name.empty() ? "" : "_") + testsupport::ParamName(setting, value);
      return name;
    }));

TEST(CommandLineSettings, StoresEveryChangeWhenAllChecksPass) {
  gaocheng::LevelingSettings settings;
  std::string message;
  ASSERT_TRUE(FieldBookCommand::ApplySettings({{"StaffMinReading", "0.3"},
                                               {"StaffMaxReading", "3.9"},
                                               {"ClosurePlusTolerance", "2.5"},
                                               {"TurnPointPrefix", " T P "},
                                               {"ShowTurnPointElevation", "TRUE"},
                                               {"MidSightInColumnC", "0"},
                                               {"ShowReadingsInMetres", "off"}},
                                              settings, message));
  EXPECT_EQ(settings.StaffMinReading, 0.3);
  EXPECT_EQ(settings.StaffMaxReading, 3.9);
  EXPECT_EQ(settings.ClosurePlusTolerance, 2.5);
  EXPECT_EQ(settings.TurnPointPrefix, " T P ");
  EXPECT_TRUE(settings.ShowTurnPointElevation);
  EXPECT_FALSE(settings.MidSightInColumnC);
  EXPECT_FALSE(settings.ShowReadingsInMetres);
  EXPECT_EQ(settings.QuickTurnValue, 0.6);
}
