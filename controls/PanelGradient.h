#pragma once

#include <QColor>
#include <QtGlobal>
#include <vector>

namespace Quellmark {

// The caption panel's gradient rule. Colours are 0xBBGGRR (red in the low byte).
// Per channel the step (start - end) / divisor and the running value are single precision;
// row n gets the running values rounded half to even, then the steps are subtracted.
class PanelGradient {
 public:
  static int GetRed(quint32 bgr) { return static_cast<int>(bgr % 256); }
  static int GetGreen(quint32 bgr) { return static_cast<int>((bgr / 256) % 256); }
  static int GetBlue(quint32 bgr) { return static_cast<int>((bgr / 65536) % 256); }
  static QColor fromBgr(quint32 bgr) { return QColor(GetRed(bgr), GetGreen(bgr), GetBlue(bgr)); }

  // Colours of rowCount rows; empty when divisor is 0 or rowCount <= 0.
  static std::vector<QColor> rowColors(quint32 startBgr, quint32 endBgr, int divisor, int rowCount);
};

}  // namespace Quellmark
