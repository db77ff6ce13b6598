#pragma once

#include <string>
#include <vector>

#include "leveling/LevelingSettings.h"
#include "leveling/RandomInRange.h"
#include "host/SpreadsheetHost.h"

namespace gaocheng {

// Elevations in metres.
struct RoutePoint {
  std::string PointName;   // at most 64 characters; the closing benchmark's name for the last point
  std::string OffsetText;  // FormatOffset of column B, at most 64 characters; empty for the closing benchmark
  double MeasuredElevation = 0;  // the elevation the readings are computed for
  double DesignElevation = 0;    // 0: the point has none

  friend bool operator==(const RoutePoint&, const RoutePoint&) = default;
};

// The route of the input sheet. After a successful reading the closing benchmark is the last
// point, so Points is never empty.
struct RouteInput {
  std::string StartBenchmarkName;  // at most 16 characters
  double StartBenchmarkElevation = 0;
  std::string EndBenchmarkName;    // at most 16 characters
  double EndBenchmarkElevation = 0;
  std::vector<RoutePoint> Points;
};

inline constexpr const char* kInputSheetName = "数据输入";
inline constexpr int kFirstRouteRow = 8;

// Empties route.Points, selects the sheet "数据输入" (it stays active) and reads E5, E6, F5, F6
// and the rows from 8 down to the first empty A cell, drawing the simulated intermediate errors
// (rows with F empty, top down) and then the closure error from `engine`.
// Throws spreadsheet::SpreadsheetError (the host's own failures; 13 for a cell that should hold
// a number but holds other text, NaN or an infinity, naming the cell and quoting its content) or LevelingError (a tolerance beyond the
// 32-bit range); `route` then holds what was read up to the failure, without a closing benchmark.
void ReadRouteInput(spreadsheet::SpreadsheetHost& host, const LevelingSettings& settings,
                    RandomEngine& engine, RouteInput& route);

}  // namespace gaocheng
