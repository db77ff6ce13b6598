#pragma once

#include <array>
#include <string>

#include "leveling/LevelingSettings.h"

namespace gaocheng {

// What the settings dialog shows and edits: items 1 to 8 (staff min and max, intermediate
// minus and plus, closure minus and plus, quick turn value, prefix) and the three switches.
struct SettingsForm {
  std::array<std::string, 8> Items;
  bool ShowTurnPointElevation = false;
  bool MidSightInColumnC = true;
  bool ShowReadingsInMetres = true;
  std::string ToleranceFormula = "6√n";  // ToleranceFormulaText of ClosureToleranceFormula

  friend bool operator==(const SettingsForm&, const SettingsForm&) = default;
};

struct SettingsValidation {
  bool Saved = false;
  std::string Message;        // "设置已经保存" or the first failing check's message
  LevelingSettings Settings;  // all twelve fields; meaningful only when Saved
};

inline constexpr const char* kSettingsSavedMessage = "设置已经保存";

// The form for the current settings: items 1 to 7 as edit text (NumberText::EditText), the prefix unchanged.
SettingsForm SettingsToForm(const LevelingSettings& settings);

// Checks in order (numbers, staff readings with a minimum not below 0, intermediate, closure,
// quick turn value, then the staff's end bands, then the closure formula: [Min, Min + Q] and [Max - Q, Max] each hold a
// whole millimetre after rounding inwards, and are at least 1 mm apart) and reports only the
// first failure (the bands with the staff readings' message); on success all items parsed
// unrounded, the prefix unchanged.
// A difference that overflows fails with "请检查水准设置数值是否过大,设置未保存".
SettingsValidation ValidateSettings(const SettingsForm& form);

}  // namespace gaocheng
