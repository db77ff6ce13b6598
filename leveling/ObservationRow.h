#pragma once

#include <optional>
#include <string>

namespace gaocheng {

// One row of the observation record ("观测记录"): a point with what was read on it. Readings and
// distances in metres. The start benchmark carries a backsight, a turning point its foresight
// and the next set-up's backsight, an intermediate point a middle sight, the closing benchmark
// its foresight.
struct ObservationRow {
  std::string Point;
  std::optional<double> Backsight;
  std::optional<double> MidSight;
  std::optional<double> Foresight;
  std::optional<double> BackDistance;  // with the backsight
  std::optional<double> ForeDistance;  // with the foresight
  std::string Note;
  int SheetRow = 0;  // the row of "观测记录" it was read from; 0 when not from the sheet

  friend bool operator==(const ObservationRow&, const ObservationRow&) = default;
};

// Limits every reading and distance must keep, metres: what a staff can show, and sight
// distances no level measures (a distance beyond this is a unit mix-up, millimetres for metres).
inline constexpr double kMaxStaffReading = 10.0;
inline constexpr double kMaxSightDistance = 1000.0;

}  // namespace gaocheng
