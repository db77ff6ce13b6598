// The number rule of the settings and the input sheet, and the settings dialog's checks: any
// text is a finite number or no number; any eight texts and three switches are either saved
// with the generator's invariants holding or refused with a message.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/NumberText.h"
#include "leveling/SettingsValidation.h"

using levelbook::fuzz::FuzzInput;
using levelbook::fuzz::Require;

namespace {

void CheckNumberRule(std::string_view text) {
  double value = 12345;
  if (!spreadsheet::NumberText::Read(text, value)) {
    Require(value == 12345, "a refused text leaves the value alone", text);
    return;
  }
  Require(std::isfinite(value), "a number is finite", text);
  // General form keeps 15 significant digits and reads back under the same rule.
  const std::string general = spreadsheet::NumberText::EditText(value);
  double again = 0;
  Require(spreadsheet::NumberText::Read(general, again), "General form is a number again", general);
  Require(again == value || std::fabs(again - value) <= std::fabs(value) * 1e-14 || std::fabs(value) < 1e-300,
          "General form keeps 15 digits", general);
  const std::string three = spreadsheet::NumberText::FieldBookDecimals(value, 3);
  Require(!three.empty() && three.front() != '-' && three.back() != '.', "0.### form", three);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckNumberRule(std::string_view(reinterpret_cast<const char*>(data), size));

  FuzzInput in(data, size);
  gaocheng::SettingsForm form;
  const std::uint8_t switches = in.Byte();
  form.ShowTurnPointElevation = (switches & 1) != 0;
  form.MidSightInColumnC = (switches & 2) != 0;
  form.ShowReadingsInMetres = (switches & 4) != 0;
  for (std::string& item : form.Items) {
    item = in.UntilNul();
    CheckNumberRule(item);
  }
  const gaocheng::SettingsValidation result = gaocheng::ValidateSettings(form);
  Require(!result.Message.empty(), "a message either way");
  if (!result.Saved) {
    Require(result.Message != gaocheng::kSettingsSavedMessage, "refusal is no saved message", result.Message);
    return 0;
  }
  const gaocheng::LevelingSettings& s = result.Settings;
  Require(result.Message == gaocheng::kSettingsSavedMessage, "saved message", result.Message);
  Require(s.StaffMinReading < s.StaffMaxReading, "staff range");
  Require(s.MidPointMinusTolerance < s.MidPointPlusTolerance, "intermediate tolerances");
  Require(s.ClosureMinusTolerance < s.ClosurePlusTolerance, "closure tolerances");
  Require(s.QuickTurnValue > 0 && s.QuickTurnValue < (s.StaffMaxReading - s.StaffMinReading) / 2, "quick turn value");
  Require(std::isfinite(s.StaffMaxReading - s.StaffMinReading), "staff range finite");
  Require(s.TurnPointPrefix == form.Items[7], "prefix unchanged");
  Require(s.ShowTurnPointElevation == form.ShowTurnPointElevation && s.MidSightInColumnC == form.MidSightInColumnC &&
              s.ShowReadingsInMetres == form.ShowReadingsInMetres,
          "switches kept");
  return 0;
}
