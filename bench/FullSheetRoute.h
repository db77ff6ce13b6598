#pragma once

#include "leveling/LevelingSettings.h"

// Staff 0.25 to 4.75 m with single-valued bands: every turning point moves exactly 4.5 m, so
// the size of the book is known. Points 4.5 m apart downhill each need one turning point, and
// 32,765 of them give 65,532 field-book rows, the most the sheet holds.
namespace fullsheet {

constexpr int kStepPoints = 32765;

inline gaocheng::LevelingSettings BenchSettings() {
  gaocheng::LevelingSettings s;
  s.StaffMinReading = 0.25;
  s.StaffMaxReading = 4.75;
  s.QuickTurnValue = 0.0004;
  s.ClosureMinusTolerance = 0;
  s.ClosurePlusTolerance = 0;
  return s;
}

inline double PointElevation(int i) { return -6.5 - 4.5 * i; }

}  // namespace fullsheet
