#pragma once

#include <optional>
#include <vector>

#include "host/SpreadsheetHost.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingSettings.h"
#include "leveling/ObservationRow.h"
#include "leveling/StationChecks.h"

namespace gaocheng {

// What one "实测计算" came to.
struct ObservedResult {
  int Rows = 0;       // rows of the observation record
  int SetUps = 0;
  FieldBookCheck Check;
  StationCheck Stations;
  std::optional<double> RouteKilometres;  // as shown, when the record has distances
  bool Distributed = false;
};

// The command "实测计算": reads the benchmarks and the design elevations of the route points
// from "数据输入", the observations from "观测记录" (after writing `imported` there, when given),
// reduces them, writes the book into "水准表" in the generator's layout with its check block
// (the eight lines, then 观测站数, 路线长度(km) when there are distances, and 视距检核), then the
// results into "成果表", and leaves "水准表" active. Every failure of reading, reduction or limit
// (a missing "观测记录" or "成果表" included: SpreadsheetError 9 naming it) is thrown before
// "水准表" or "成果表" is touched; an import is written only after the file was read whole.
ObservedResult ComputeObservedBook(spreadsheet::SpreadsheetHost& host, const LevelingSettings& settings,
                                   const std::optional<std::vector<ObservationRow>>& imported = std::nullopt);

}  // namespace gaocheng
