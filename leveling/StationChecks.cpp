#include "leveling/StationChecks.h"

#include <cmath>

#include "leveling/LevelingText.h"
#include "workbook/NumberText.h"

namespace gaocheng {
namespace {

// Distances are recorded to 0.1 m or finer; a limit is exceeded only by more than rounding noise.
constexpr double kSlack = 1e-9;

std::string Metres(double value) { return spreadsheet::NumberText::FieldBookDecimals(value, 3) + " m"; }

std::string Signed(double value) {
  const double rounded = std::round(value * 1000) / 1000;
  return (rounded < 0 ? "-" : rounded > 0 ? "+" : "") + Metres(std::fabs(rounded));
}

}  // namespace

StationCheck CheckStations(const std::vector<SetUpDistances>& distances, const StationLimits& limits) {
  StationCheck check;
  if (distances.empty()) {
    check.Text = "无视距";
    return check;
  }
  check.HasDistances = true;
  const std::string suffix = std::string("（") + limits.ClassName + "）";
  const auto fail = [&](std::size_t index, const std::string& what) {
    check.Passed = false;
    check.Text = "第 " + std::to_string(index + 1) + " 站 " + what + suffix;
    return check;
  };
  double sum = 0;
  for (std::size_t i = 0; i < distances.size(); ++i) {
    const SetUpDistances& d = distances[i];
    const double longest = std::max(d.Back, d.Fore);
    if (longest > limits.MaxSightLength + kSlack) {
      return fail(i, std::string(d.Back >= d.Fore ? "后视" : "前视") + "视线长度 " + Metres(longest) + " 超过 " +
                         Metres(limits.MaxSightLength));
    }
    const double difference = d.Back - d.Fore;
    if (std::fabs(difference) > limits.MaxSightDifference + kSlack) {
      return fail(i, "前后视距差 " + Signed(difference) + " 超过 ±" + Metres(limits.MaxSightDifference));
    }
    sum += difference;
    if (std::fabs(sum) > limits.MaxSightDifferenceSum + kSlack) {
      return fail(i, "前后视距累积差 " + Signed(sum) + " 超过 ±" + Metres(limits.MaxSightDifferenceSum));
    }
  }
  check.Text = "合格";
  return check;
}

}  // namespace gaocheng
