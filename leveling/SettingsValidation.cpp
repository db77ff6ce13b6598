#include "leveling/SettingsValidation.h"

#include <cmath>
#include <optional>

#include "leveling/Millimetres.h"
#include "workbook/NumberText.h"

namespace gaocheng {
namespace {

SettingsValidation Failure(std::string message) {
  SettingsValidation result;
  result.Message = std::move(message);
  return result;
}

}  // namespace

SettingsForm SettingsToForm(const LevelingSettings& settings) {
  SettingsForm form;
  form.Items = {spreadsheet::NumberText::EditText(settings.StaffMinReading),
                spreadsheet::NumberText::EditText(settings.StaffMaxReading),
                spreadsheet::NumberText::EditText(settings.MidPointMinusTolerance),
                spreadsheet::NumberText::EditText(settings.MidPointPlusTolerance),
                spreadsheet::NumberText::EditText(settings.ClosureMinusTolerance),
                spreadsheet::NumberText::EditText(settings.ClosurePlusTolerance),
                spreadsheet::NumberText::EditText(settings.QuickTurnValue),
                settings.TurnPointPrefix};
  form.ShowTurnPointElevation = settings.ShowTurnPointElevation;
  form.MidSightInColumnC = settings.MidSightInColumnC;
  form.ShowReadingsInMetres = settings.ShowReadingsInMetres;
  form.ToleranceFormula = ToleranceFormulaText(settings.ClosureToleranceFormula);
  return form;
}

SettingsValidation ValidateSettings(const SettingsForm& form) {
  std::array<double, 7> value{};
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (!spreadsheet::NumberText::Read(form.Items[i], value[i])) {
      return Failure("请检查水准设置第" + std::to_string(i + 1) + "项是否为数字,设置未保存");
    }
  }
  const char* const tooLarge = "请检查水准设置数值是否过大,设置未保存";

  const double staffRange = value[1] - value[0];
  if (std::isinf(staffRange)) return Failure(tooLarge);
  const char* const staffReadings = "请保证水准尺读数正确性,设置未保存";
  if (!(staffRange > 0) || value[0] < 0) return Failure(staffReadings);

  const double midRange = value[3] - value[2];
  if (std::isinf(midRange)) return Failure(tooLarge);
  if (!(midRange > 0)) return Failure("请保证水准中间点正确性,设置未保存");

  const double closureRange = value[5] - value[4];
  if (std::isinf(closureRange)) return Failure(tooLarge);
  if (!(closureRange > 0)) return Failure("请保证水准点闭合差正确性,设置未保存");

  if (!(value[6] > 0 && staffRange / 2 > value[6])) {
    return Failure("请保证水准快速转站正确性,设置未保存");
  }

  // The draws take whole millimetres: each end band must hold one, and the two bands must stay
  // a millimetre apart, or turning points could not climb or descend.
  const MillimetreBand low = WholeMillimetreBand(value[0], value[0] + value[6]);
  const MillimetreBand high = WholeMillimetreBand(value[1] - value[6], value[1]);
  if (low.Empty() || high.Empty() || !(high.Low - low.High >= 1)) return Failure(staffReadings);

  const std::optional<ClosureToleranceFormula> formula = ParseToleranceFormula(form.ToleranceFormula);
  if (!formula) return Failure("闭合差限差公式只能是 6√n、12√n、20√L、30√L 或 40√L,设置未保存");

  SettingsValidation result;
  result.Saved = true;
  result.Message = kSettingsSavedMessage;
  LevelingSettings& s = result.Settings;
  s.StaffMinReading = value[0];
  s.StaffMaxReading = value[1];
  s.MidPointMinusTolerance = value[2];
  s.MidPointPlusTolerance = value[3];
  s.ClosureMinusTolerance = value[4];
  s.ClosurePlusTolerance = value[5];
  s.QuickTurnValue = value[6];
  s.TurnPointPrefix = form.Items[7];
  s.ShowTurnPointElevation = form.ShowTurnPointElevation;
  s.MidSightInColumnC = form.MidSightInColumnC;
  s.ShowReadingsInMetres = form.ShowReadingsInMetres;
  s.ClosureToleranceFormula = *formula;
  return result;
}

}  // namespace gaocheng
