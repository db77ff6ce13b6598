#pragma once

#include "leveling/LevelingSettings.h"
#include "leveling/MessageSink.h"
#include "leveling/RandomInRange.h"
#include "leveling/RouteInput.h"
#include "host/SpreadsheetHost.h"

namespace gaocheng {

// The leveling module's state for the life of the program: the settings (defaults at start)
// and the route of the last reading. Owned by the application, used on its one thread.
class LevelingModule {
 public:
  LevelingSettings& Settings() { return settings_; }
  const LevelingSettings& Settings() const { return settings_; }
  const RouteInput& Route() const { return route_; }

  void SetDefaultSettings();

  // Reads the route from "数据输入" (left active). On failure shows the error number, a line
  // break and the description (naming cell and content) titled "Error", and returns false;
  // Route() then holds what was read before the failure.
  bool ReadRouteInput(spreadsheet::SpreadsheetHost& host, RandomEngine& engine,
                      MessageSink& messages);

  // The command "开始计算": reads the route, builds the field book and writes it into "水准表"
  // (left active). A failed reading or a book longer than the sheet (message titled "Error")
  // stops before "水准表" is touched, so the previous field book stays. Failures of the output
  // steps (a missing "水准表", a failing call) propagate as spreadsheet::SpreadsheetError; the
  // caller switches screen updating back on and reports them.
  void GenerateFieldBook(spreadsheet::SpreadsheetHost& host, RandomEngine& engine,
                         MessageSink& messages);

 private:
  LevelingSettings settings_;
  RouteInput route_;
};

}  // namespace gaocheng
