#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "leveling/LevelingSettings.h"
#include "leveling/RandomInRange.h"
#include "leveling/RouteInput.h"

namespace gaocheng {

// Result of a set-up, all metres. Foresight and TurnPointElevation only for a turning point.
struct StationSetup {
  double Foresight = 0;
  double Backsight = 0;
  double InstrumentHeight = 0;  // elevation of the line of sight of the new set-up
  double TurnPointElevation = 0;
};

// One line of the field book, values in metres; a kind carries only its own values
// (StartRow: Backsight, InstrumentHeight, DesignElevation = start benchmark elevation;
// TurnPointRow: Backsight, Foresight, InstrumentHeight, TurnPointElevation, and in a reduced
// book DesignElevation when a route point has its name (not written into the book);
// PointRow: MidSight, MeasuredElevation, DesignElevation;
// ClosingRow: Foresight, MeasuredElevation, DesignElevation).
struct FieldBookRow {
  enum class Kind { StartRow, TurnPointRow, PointRow, ClosingRow };

  FieldBookRow() = default;
  // A row of `kind` whose text is `name` followed by `suffix` (a point name and its offset).
  FieldBookRow(Kind kind, std::string_view name, std::string_view suffix = {});

  Kind RowKind = Kind::PointRow;
  std::string RowText;
  double Backsight = 0;
  double MidSight = 0;
  double Foresight = 0;
  double InstrumentHeight = 0;
  double TurnPointElevation = 0;
  double MeasuredElevation = 0;
  double DesignElevation = 0;
};

struct FieldBook {
  std::vector<FieldBookRow> Rows;  // StartRow first, ClosingRow last
  int StationCount = 1;            // instrument set-ups: turning points + 1
  std::optional<double> RouteMetres;  // sum of all back and fore sight distances, when measured
};

// Rows that fit the output sheet: row 5 to row 65536.
inline constexpr std::size_t kMaxFieldBookRows = 65532;

// True when a point of elevation t can be read from a set-up of line-of-sight height h:
// StaffMin < h - t < StaffMax, both strict, h - t taken in whole millimetres (halves to even)
// as it is recorded, so a reading that shows as a limit is that limit.
bool SightTest(double h, double t, const LevelingSettings& settings);

// First set-up on the start benchmark (elevation a) towards the first point (elevation b): one
// draw of the backsight, always within [StaffMin, StaffMax] (every draw rounds its low bound up
// and its high bound down to whole millimetres). When |b - a| in whole millimetres exceeds
// Max - Min, or no whole millimetre puts the first point on the staff, the backsight comes
// from the end band towards it. Throws LevelingError 6 when a bound in millimetres leaves the
// 32-bit range.
StationSetup FirstSetup(double a, double b, const LevelingSettings& settings, RandomEngine& engine);

// Turning point from a set-up of height h towards a point of elevation t that cannot be read:
// two draws, backsight first. Descending (h - t in whole millimetres >= StaffMax): backsight from [Min, Min + Q],
// foresight from [Max - Q, Max]; otherwise climbing, the bands swapped.
StationSetup TurningPointSetup(double h, double t, const LevelingSettings& settings,
                               RandomEngine& engine);

// The field book of a route (at least one point, the closing benchmark last); no spreadsheet
// access. Throws std::invalid_argument for a route without points, and LevelingError 6 when
// the book would exceed `maxRows` rows (so it could not be written; naming the point reached),
// a point's deviation in millimetres overflows, or a bound overflows.
FieldBook BuildFieldBook(const RouteInput& input, const LevelingSettings& settings,
                         RandomEngine& engine, std::size_t maxRows = kMaxFieldBookRows);

}  // namespace gaocheng
