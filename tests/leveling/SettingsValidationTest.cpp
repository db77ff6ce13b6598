#include <gtest/gtest.h>

#include <string>

#include "leveling/LevelingSettings.h"
#include "leveling/SettingsValidation.h"

namespace gaocheng {
namespace {

SettingsForm DefaultForm() {
  SettingsForm form;
  form.Items = {"0.2", "4.8", "-3", "3", "-2", "2", "0.6", "ZD"};
  return form;
}

TEST(SettingsValidation, DefaultsAreSavedAsTheyAre) {
  const SettingsValidation result = ValidateSettings(DefaultForm());
  EXPECT_TRUE(result.Saved);
  EXPECT_EQ(result.Message, "设置已经保存");
  EXPECT_EQ(result.Settings, LevelingSettings{});
}

TEST(SettingsValidation, FormOfTheDefaultsShowsThePlainNumbers) {
  LevelingSettings defaults;
  defaults.StaffMaxReading = 1;  // make sure the reset below really resets
  SetDefaultSettings(defaults);
  const SettingsForm form = SettingsToForm(defaults);
  EXPECT_EQ(form, DefaultForm());
}

TEST(SettingsValidation, StoresAllElevenFieldsUnroundedAndThePrefixAsTyped) {
  SettingsForm form;
  form.Items = {" 0.1234567 ", "5", "-2.5", "3.5", "+0.75", "1e1", "0.3", " Z D "};
  form.ShowTurnPointElevation = true;
  form.MidSightInColumnC = false;
  form.ShowReadingsInMetres = false;
  const SettingsValidation result = ValidateSettings(form);
  ASSERT_TRUE(result.Saved) << result.Message;
  const LevelingSettings& s = result.Settings;
  EXPECT_EQ(s.StaffMinReading, 0.1234567);
  EXPECT_EQ(s.StaffMaxReading, 5);
  EXPECT_EQ(s.MidPointMinusTolerance, -2.5);
  EXPECT_EQ(s.MidPointPlusTolerance, 3.5);
  EXPECT_EQ(s.ClosureMinusTolerance, 0.75);
  EXPECT_EQ(s.ClosurePlusTolerance, 10);
  EXPECT_EQ(s.QuickTurnValue, 0.3);
  EXPECT_EQ(s.TurnPointPrefix, " Z D ");
  EXPECT_TRUE(s.ShowTurnPointElevation);
  EXPECT_FALSE(s.MidSightInColumnC);
  EXPECT_FALSE(s.ShowReadingsInMetres);
  // What GetConfig shows reads back to the same settings.
  EXPECT_EQ(ValidateSettings(SettingsToForm(s)).Settings, s);
}

struct Case {
  const char* name;
  std::array<const char*, 8> items;
  const char* message;
};

class SettingsValidationCases : public ::testing::TestWithParam<Case> {};

TEST_P(SettingsValidationCases, ShowsTheFirstFailingCheck) {
  SettingsForm form;
  for (std::size_t i = 0; i < 8; ++i) form.Items[i] = GetParam().items[i];
  const SettingsValidation result = ValidateSettings(form);
  EXPECT_EQ(result.Message, GetParam().message);
  EXPECT_EQ(result.Saved, std::string(GetParam().message) == "设置已经保存");
}

const char* const kStaff = "请保证水准尺读数正确性,设置未保存";
const char* const kMid = "请保证水准中间点正确性,设置未保存";
const char* const kClosure = "请保证水准点闭合差正确性,设置未保存";
const char* const kQuick = "请保证水准快速转站正确性,设置未保存";
const char* const kTooLarge = "请检查水准设置数值是否过大,设置未保存";
const char* const kSaved = "设置已经保存";

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsValidationCases,
    ::testing::Values(
        Case{"Item3Empty", {"0.2", "4.8", "", "3", "-2", "2", "0.6", "ZD"},
             "请检查水准设置第3项是否为数字,设置未保存"},
        Case{"Item1Blank", {"  ", "4.8", "-3", "3", "-2", "2", "0.6", "ZD"},
             "请检查水准设置第1项是否为数字,设置未保存"},
        Case{"Items2And5Bad", {"0.2", "abc", "-3", "3", "x", "2", "0.6", "ZD"},
             "请检查水准设置第2项是否为数字,设置未保存"},
        Case{"Item7Comma", {"0.2", "4.8", "-3", "3", "-2", "2", "0,6", "ZD"},
             "请检查水准设置第7项是否为数字,设置未保存"},
        Case{"Item6Nan", {"0.2", "4.8", "-3", "3", "-2", "nan", "0.6", "ZD"},
             "请检查水准设置第6项是否为数字,设置未保存"},
        Case{"NumberCheckBeforeRanges", {"5", "1", "-3", "3", "-2", "inf", "0.6", "ZD"},
             "请检查水准设置第6项是否为数字,设置未保存"},
        Case{"StaffEqual", {"1", "1", "-3", "3", "-2", "2", "0.6", "ZD"}, kStaff},
        Case{"StaffReversed", {"4.8", "0.2", "-3", "3", "-2", "2", "0.6", "ZD"}, kStaff},
        Case{"StaffAndMidBothWrong", {"1", "1", "3", "3", "-2", "2", "0.6", "ZD"}, kStaff},
        Case{"MidEqual", {"0.2", "4.8", "3", "3", "-2", "2", "0.6", "ZD"}, kMid},
        Case{"ClosureEqual", {"0.2", "4.8", "-3", "3", "2", "2", "0.6", "ZD"}, kClosure},
        Case{"QuickZero", {"0.2", "4.8", "-3", "3", "-2", "2", "0", "ZD"}, kQuick},
        Case{"QuickNegative", {"0.2", "4.8", "-3", "3", "-2", "2", "-0.1", "ZD"}, kQuick},
        Case{"QuickExactlyHalf", {"0.5", "4.5", "-3", "3", "-2", "2", "2", "ZD"}, kQuick},
        Case{"QuickJustBelowHalf", {"0.5", "4.5", "-3", "3", "-2", "2", "1.999", "ZD"}, kSaved},
        Case{"TolerancesOfAnySign", {"0", "4.8", "1", "3", "-5", "-2", "0.6", "ZD"}, kSaved},
        // The staff minimum may not be negative; the check runs with the staff readings'.
        Case{"StaffMinNegative", {"-0.001", "4.8", "3", "3", "-2", "2", "0.6", "ZD"}, kStaff},
        Case{"StaffMinMinusZero", {"-0", "4.8", "-3", "3", "-2", "2", "0.6", "ZD"}, kSaved},
        // Bands rounded inwards to whole millimetres must each keep one; checked last.
        Case{"HalfMillimetreLimits", {"0.2005", "4.7995", "-3", "3", "-2", "2", "0.6", "ZD"}, kSaved},
        Case{"OneMillimetreBands", {"0.25", "4.75", "-3", "3", "-2", "2", "0.0004", "ZD"}, kSaved},
        Case{"LowBandWithoutWholeMillimetre", {"0.2001", "4.8", "-3", "3", "-2", "2", "0.0005", "ZD"}, kStaff},
        Case{"StaffOfFourTenthsMillimetre", {"0.2", "0.2004", "-3", "3", "-2", "2", "0.0001", "ZD"}, kStaff},
        Case{"BandsAfterEveryOtherCheck", {"0.2", "0.2004", "-3", "3", "2", "2", "0.0001", "ZD"}, kClosure},
        Case{"EmptyPrefix", {"0.2", "4.8", "-3", "3", "-2", "2", "0.6", ""}, kSaved},
        Case{"StaffOverflow", {"-1e308", "1e308", "-3", "3", "-2", "2", "0.6", "ZD"}, kTooLarge},
        Case{"StaffNegativeOverflow", {"1.7e308", "-1.7e308", "-3", "3", "-2", "2", "0.6", "ZD"},
             kTooLarge},
        Case{"MidOverflow", {"0.2", "4.8", "-1.5e308", "1.5e308", "-2", "2", "0.6", "ZD"}, kTooLarge},
        Case{"ClosureOverflow", {"0.2", "4.8", "-3", "3", "-1e308", "1e308", "0.6", "ZD"}, kTooLarge},
        Case{"LargeButFinite", {"0", "8e7", "-3", "3", "-2", "2", "1e7", "ZD"}, kSaved},
        // Beyond any count of millimetres the bands cannot be drawn.
        Case{"BeyondMillimetres", {"0", "8e307", "-3", "3", "-2", "2", "1e307", "ZD"}, kStaff}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gaocheng
