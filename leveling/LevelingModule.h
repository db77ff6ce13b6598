#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/SpreadsheetHost.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingSettings.h"
#include "leveling/MessageSink.h"
#include "leveling/RandomInRange.h"
#include "leveling/RouteInput.h"

namespace gaocheng {

// What one "开始计算" came to: either the book written, with its counts and check, or the
// failure shown in the "Error" box (the previous book then stays).
struct FieldBookResult {
  bool Written = false;
  int FailureNumber = 0;           // when not written
  std::string FailureDescription;  // names the bad cell or point
  int Points = 0;                  // route points, the closing benchmark included
  int TurningPoints = 0;
  int SetUps = 0;                  // turning points + 1
  FieldBookCheck Check;            // closure, limit and verdict
  std::uint64_t Seed = 0;
  // Information for the caller to show once the book is in view (titled kNoticeTitle in the
  // main window): data left below the end of the route, then a closure beyond the limit.
  std::vector<std::string> Notices;
};

inline constexpr const char* kNoticeTitle = "普通水准表格";

// "闭合差 +29 mm 超过限差 ±6 mm".
std::string ClosureExceedsText(double closureMm, int limitMm);

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

  // The command "开始计算" with an engine seeded with `seed`: reads the route, builds the field
  // book and writes it into "水准表" (left active) with its check block. A failed reading or a
  // book longer than the sheet (message titled "Error") stops before "水准表" is touched, so the
  // previous field book stays. After a written book, data left below the end of the route and
  // a closure beyond the limit are shown, in that order, titled kNoticeTitle. Failures of the
  // output steps (a missing "水准表", a failing call) propagate as spreadsheet::SpreadsheetError;
  // the caller switches screen updating back on and reports them. `routeRead`, when given, is
  // called once the route is read and the book is built, before anything is written: nothing
  // reads the input sheet after it.
  FieldBookResult GenerateFieldBook(spreadsheet::SpreadsheetHost& host, std::uint64_t seed,
                                    MessageSink& messages, const std::function<void()>& routeRead = {});

 private:
  LevelingSettings settings_;
  RouteInput route_;
};

}  // namespace gaocheng
