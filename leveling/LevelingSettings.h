#pragma once

#include <string>

#include "leveling/ToleranceClass.h"

namespace gaocheng {

// The generator's limits and switches. Staff readings and QuickTurnValue are metres, the four
// tolerances millimetres. Invariants the generator relies on (SettingsValidation enforces
// them): StaffMin < StaffMax, MidMinus < MidPlus, ClosureMinus < ClosurePlus,
// 0 < QuickTurnValue < (StaffMax - StaffMin) / 2.
struct LevelingSettings {
  double StaffMinReading = 0.2;
  double StaffMaxReading = 4.8;
  double MidPointMinusTolerance = -3;
  double MidPointPlusTolerance = 3;
  double ClosureMinusTolerance = -2;
  double ClosurePlusTolerance = 2;
  double QuickTurnValue = 0.6;
  std::string TurnPointPrefix = "ZD";
  bool ShowTurnPointElevation = false;
  bool MidSightInColumnC = true;      // true: intermediate sights in column C, false: in D
  bool ShowReadingsInMetres = true;   // false: B, C and D are written in millimetres
  // The closure limit of every book, generated or reduced; 6√n is the book as it always was.
  gaocheng::ClosureToleranceFormula ClosureToleranceFormula = kDefaultToleranceFormula;

  friend bool operator==(const LevelingSettings&, const LevelingSettings&) = default;
};

// Resets all twelve fields to the defaults (0.2, 4.8, -3, 3, -2, 2, 0.6, "ZD", false, true, true, 6√n).
void SetDefaultSettings(LevelingSettings& settings);

}  // namespace gaocheng
