#pragma once

#include <string>
#include <vector>

#include "leveling/Reduction.h"
#include "leveling/ToleranceClass.h"

namespace gaocheng {

// The sight distances of every set-up against a class's limits, in the order of the run: each
// sight length, the back-minus-fore difference, then the running sum of those differences.
// Text: "合格", "无视距" (no set-up has distances), or the first failure with its numbers,
// e.g. "第 3 站 前后视距差 6.2 m 超过 ±3 m（四等）".
struct StationCheck {
  bool HasDistances = false;
  bool Passed = true;
  std::string Text;
};

StationCheck CheckStations(const std::vector<SetUpDistances>& distances, const StationLimits& limits);

}  // namespace gaocheng
