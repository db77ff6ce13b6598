#pragma once

#include <QRectF>
#include <optional>

#include "leveling/ProfileSheet.h"
#include "workbook/Workbook.h"

class QPainter;

namespace spreadsheet {

// The profile drawn with QPainter into any rectangle (the window, a printed page, a PDF): above,
// the design and measured elevations against chainage with the turning points marked; below,
// the deviations in millimetres with dashed lines at the plus and minus tolerance. Coordinates
// are the painter's logical units. A series with more points than its plot has pixel columns
// is thinned to the first, lowest, highest and last point of each column, so spikes stay.
class ProfileChart {
 public:
  explicit ProfileChart(gaocheng::ProfileData data);

  // The profile of the workbook's "纵断面" when `sheet` is that sheet, else nullopt.
  static std::optional<ProfileChart> Of(const Workbook& workbook, const Worksheet& sheet);

  void Paint(QPainter& painter, const QRectF& area) const;

  // Where the two plots (inside their axes) lie in `area`, and where values land in them.
  QRectF ElevationPlot(const QRectF& area) const;
  QRectF DeviationPlot(const QRectF& area) const;
  double XOf(double chainage, const QRectF& plot) const;
  double DeviationYOf(double millimetres, const QRectF& plot) const;
  double ElevationYOf(double metres, const QRectF& plot) const;

  const gaocheng::ProfileData& Data() const { return data_; }
  bool IsEmpty() const { return data_.Size() == 0 || xLow_ > xHigh_; }

 private:
  gaocheng::ProfileData data_;
  double xLow_ = 1, xHigh_ = 0;
  double elevationLow_ = 0, elevationHigh_ = 1;
  double deviationLow_ = -1, deviationHigh_ = 1;
};

}  // namespace spreadsheet
