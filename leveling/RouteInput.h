#pragma once

#include <string>
#include <vector>

#include "leveling/LevelingSettings.h"
#include "leveling/ProjectFields.h"
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
  int EndRow = 0;             // the row whose empty A cell ended the route
  bool DataBelowEnd = false;  // B, E or F of EndRow, or A, B, E or F below it, holds something
  std::string FirstLeftBehind;  // with DataBelowEnd: the first such cell, row by row ("E30")
  int SimulatedPoints = 0;    // points whose MeasuredElevation was drawn, the closing benchmark included
  ProjectFields Project;      // H1:I20 of the sheet
};

// "路线在第 30 行结束（A30 为空），第 31 行以下还有数据未计入" for a route that ended at row 30
// with something left below it; "路线在第 30 行结束（A30 为空），E30 还有数据未计入" where the
// first cell left behind (`firstLeftBehind`) is on that row itself.
std::string DataBelowEndText(int endRow, const std::string& firstLeftBehind = {});

inline constexpr const char* kInputSheetName = "数据输入";
inline constexpr int kFirstRouteRow = 8;

// Empties route.Points, selects the sheet "数据输入" (it stays active) and reads E5, E6, F5, F6
// (and the project fields, ReadProjectFields, before them) and the rows from 8 down to the first empty A
// cell, drawing the simulated intermediate errors (rows with F empty, top down) and then the closure error
// from `engine`. Notes in EndRow and DataBelowEnd whether anything was left behind the end of the route.
// Throws spreadsheet::SpreadsheetError (the host's own failures; 13 for a cell that should hold
// a number but holds other text, NaN or an infinity, naming the cell and quoting its content;
// 13 for an error value or a formula without stored result in any cell read, naming the cell) or
// LevelingError (5 for an empty E6 or F6, a benchmark without its known elevation, or a route row with
// neither a design elevation, E empty or 0, nor a measured one, F empty; 6 for a tolerance beyond the 32-bit
// range); `route` then holds what was read up to the failure, without a closing benchmark.
void ReadRouteInput(spreadsheet::SpreadsheetHost& host, const LevelingSettings& settings,
                    RandomEngine& engine, RouteInput& route);

}  // namespace gaocheng
