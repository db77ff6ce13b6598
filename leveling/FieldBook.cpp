#include "leveling/FieldBook.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "leveling/LevelingError.h"
#include "leveling/NumberText.h"

namespace gaocheng {
namespace {

// A whole-millimetre reading between x and y metres (bounds rounded half to even).
double DrawReading(double x, double y, RandomEngine& engine) {
  const std::int32_t low = ToWholeNumber(x * 1000, "读数下限（毫米）");
  const std::int32_t high = ToWholeNumber(y * 1000, "读数上限（毫米）");
  return RandomInRange(low, high, engine) / 1000.0;
}

}  // namespace

bool SightTest(double h, double t, const LevelingSettings& settings) {
  const double s = h - t;
  return settings.StaffMinReading < s && s < settings.StaffMaxReading;
}

StationSetup FirstSetup(double a, double b, const LevelingSettings& settings, RandomEngine& engine) {
  const double min = settings.StaffMinReading;
  const double max = settings.StaffMaxReading;
  const double q = settings.QuickTurnValue;
  const double d = std::fabs(b - a);
  StationSetup setup;
  if (d > max - min) {
    // The first point cannot be brought onto the staff: start from the end band that moves
    // towards it; turning points follow.
    setup.Backsight = b > a ? DrawReading(max - q, max, engine) : DrawReading(min, min + q, engine);
  } else {
    // Bounds that put the reading on the first point, a + backsight - b, within [Min, Max].
    setup.Backsight =
        b > a ? DrawReading(b - a + min, max, engine) : DrawReading(min, max + b - a, engine);
  }
  setup.InstrumentHeight = a + setup.Backsight;
  return setup;
}

StationSetup TurningPointSetup(double h, double t, const LevelingSettings& settings,
                               RandomEngine& engine) {
  const double min = settings.StaffMinReading;
  const double max = settings.StaffMaxReading;
  const double q = settings.QuickTurnValue;
  StationSetup setup;
  if (h - t >= max) {
    setup.Backsight = DrawReading(min, min + q, engine);
    setup.Foresight = DrawReading(max - q, max, engine);
  } else {
    setup.Backsight = DrawReading(max - q, max, engine);
    setup.Foresight = DrawReading(min, min + q, engine);
  }
  setup.TurnPointElevation = h - setup.Foresight;
  setup.InstrumentHeight = h + setup.Backsight - setup.Foresight;
  return setup;
}

FieldBook BuildFieldBook(const RouteInput& input, const LevelingSettings& settings,
                         RandomEngine& engine, std::size_t maxRows) {
  if (input.Points.empty()) throw std::invalid_argument("BuildFieldBook: route without points");
  // Names the point being reached: a height difference too large for the staff (or an
  // elevation too large for a millimetre to count) runs into the limit as a long route does.
  const auto tooLong = [maxRows](const RoutePoint& point) {
    return LevelingError(LevelingError::kOverflow,
                         "水准记录超过 " + std::to_string(maxRows) + " 行，水准表写不下（到点“" +
                             point.PointName + point.OffsetText + "”，高程 " +
                             FormatGeneral(point.MeasuredElevation) +
                             " 米时）。请检查高程或缩短路线后重新计算，原有水准表未改动");
  };

  FieldBook book;
  const StationSetup first = FirstSetup(input.StartBenchmarkElevation,
                                        input.Points.front().MeasuredElevation, settings, engine);
  double h = first.InstrumentHeight;
  FieldBookRow start;
  start.RowKind = FieldBookRow::Kind::StartRow;
  start.RowText = input.StartBenchmarkName;
  start.Backsight = first.Backsight;
  start.InstrumentHeight = h;
  start.DesignElevation = input.StartBenchmarkElevation;
  book.Rows.push_back(std::move(start));

  int n = 1;
  for (std::size_t i = 0; i < input.Points.size(); ++i) {
    const RoutePoint& point = input.Points[i];
    while (!SightTest(h, point.MeasuredElevation, settings)) {
      // The row of the point itself still has to follow this one.
      if (book.Rows.size() + 2 > maxRows) throw tooLong(point);
      const StationSetup turn = TurningPointSetup(h, point.MeasuredElevation, settings, engine);
      FieldBookRow row;
      row.RowKind = FieldBookRow::Kind::TurnPointRow;
      row.RowText = settings.TurnPointPrefix + std::to_string(n);
      row.Backsight = turn.Backsight;
      row.Foresight = turn.Foresight;
      row.InstrumentHeight = turn.InstrumentHeight;
      row.TurnPointElevation = turn.TurnPointElevation;
      book.Rows.push_back(std::move(row));
      h = turn.InstrumentHeight;
      ++n;
    }
    if (book.Rows.size() + 1 > maxRows) throw tooLong(point);
    // The elevation deviation goes out in millimetres; it must stay a number.
    if (point.DesignElevation != 0 &&
        !std::isfinite((point.MeasuredElevation - point.DesignElevation) * 1000)) {
      throw LevelingError(LevelingError::kOverflow,
                          "点“" + point.PointName + point.OffsetText + "”的实测高程 " +
                              FormatGeneral(point.MeasuredElevation) + " 米与设计高程 " +
                              FormatGeneral(point.DesignElevation) +
                              " 米相差过大，无法计算偏差。原有水准表未改动");
    }
    const bool closing = i + 1 == input.Points.size();
    FieldBookRow row;
    row.RowKind = closing ? FieldBookRow::Kind::ClosingRow : FieldBookRow::Kind::PointRow;
    row.RowText = point.PointName + point.OffsetText;
    (closing ? row.Foresight : row.MidSight) = h - point.MeasuredElevation;
    row.MeasuredElevation = point.MeasuredElevation;
    row.DesignElevation = point.DesignElevation;
    book.Rows.push_back(std::move(row));
  }
  book.StationCount = n;
  return book;
}

}  // namespace gaocheng
