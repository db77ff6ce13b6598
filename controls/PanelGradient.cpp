#include "controls/PanelGradient.h"

#include <algorithm>
#include <cmath>

namespace Quellmark {

namespace {

int roundHalfEvenToChannel(float value) {
  const double exact = value;
  double whole = std::floor(exact);
  const double fraction = exact - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<int>(std::clamp(whole, 0.0, 255.0));
}

}  // namespace

std::vector<QColor> PanelGradient::rowColors(quint32 startBgr, quint32 endBgr, int divisor, int rowCount) {
  std::vector<QColor> rows;
  if (divisor == 0 || rowCount <= 0) return rows;
  const float stepRed = static_cast<float>(double(GetRed(startBgr) - GetRed(endBgr)) / divisor);
  const float stepGreen = static_cast<float>(double(GetGreen(startBgr) - GetGreen(endBgr)) / divisor);
  const float stepBlue = static_cast<float>(double(GetBlue(startBgr) - GetBlue(endBgr)) / divisor);
  float red = static_cast<float>(GetRed(startBgr));
  float green = static_cast<float>(GetGreen(startBgr));
  float blue = static_cast<float>(GetBlue(startBgr));
  rows.reserve(static_cast<std::size_t>(rowCount));
  for (int row = 0; row < rowCount; ++row) {
    rows.emplace_back(roundHalfEvenToChannel(red), roundHalfEvenToChannel(green),
                      roundHalfEvenToChannel(blue));
    red -= stepRed;
    green -= stepGreen;
    blue -= stepBlue;
  }
  return rows;
}

}  // namespace Quellmark
