#include "leveling/FieldBook.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "leveling/LevelingError.h"
#include "leveling/Millimetres.h"
#include "workbook/NumberText.h"

namespace gaocheng {
namespace {

// A band of whole millimetres ready for drawing: the 32-bit bounds are worked out once, and a
// band whose bounds do not fit fails with LevelingError 6 only when it is drawn from.
struct DrawBand {
  MillimetreBand Millimetres;
  bool Fits = false;
  std::int32_t Low = 0;
  std::int32_t High = 0;

  explicit DrawBand(MillimetreBand band) : Millimetres(band) {
    constexpr double kLowest = -2147483648.0;
    constexpr double kHighest = 2147483647.0;
    Fits = band.Low >= kLowest && band.Low <= kHighest && band.High >= kLowest && band.High <= kHighest;
    if (Fits) {
      Low = static_cast<std::int32_t>(band.Low);
      High = static_cast<std::int32_t>(band.High);
    }
  }
};

// Throws LevelingError 6 naming the bound of the band that leaves the 32-bit range.
[[noreturn]] void BandOverflows(const MillimetreBand& band) {
  ToWholeNumber(band.Low, "读数下限（毫米）");
  ToWholeNumber(band.High, "读数上限（毫米）");
  throw std::logic_error("BandOverflows: the band fits");
}

// A whole-millimetre reading in metres from a band.
inline double Draw(const DrawBand& band, RandomEngine& engine) {
  if (!band.Fits) BandOverflows(band.Millimetres);
  return RandomInRange(band.Low, band.High, engine) / 1000.0;
}

// The staff in whole-millimetre terms, worked out once per book: the limits (after
// MillimetresOf, so they may hold a fraction) and the two bands of width Q at its ends.
// A reading more than a millimetre away from a limit (in metres) keeps its side of it once it is
// rounded to whole millimetres, so only readings near a limit need the rounding.
struct Staff {
  double MinMm;
  double MaxMm;
  double MinMetres, MaxMetres;  // the limits in metres, after MillimetresOf
  DrawBand LowBand;   // [Min, Min + Q]
  DrawBand HighBand;  // [Max - Q, Max]

  explicit Staff(const LevelingSettings& s)
      : MinMm(MillimetresOf(s.StaffMinReading)),
        MaxMm(MillimetresOf(s.StaffMaxReading)),
        MinMetres(MinMm / 1000),
        MaxMetres(MaxMm / 1000),
        LowBand(WholeMillimetreBand(s.StaffMinReading, s.StaffMinReading + s.QuickTurnValue)),
        HighBand(WholeMillimetreBand(s.StaffMaxReading - s.QuickTurnValue, s.StaffMaxReading)) {}

  bool Reads(double h, double t) const {
    const double s = h - t;
    if (s > MinMetres + 0.001 && s < MaxMetres - 0.001) return true;
    if (s < MinMetres - 0.001 || s > MaxMetres + 0.001) return false;
    const double mm = WholeMillimetresOf(s);
    return MinMm < mm && mm < MaxMm;
  }

  // Whether h - t in whole millimetres reaches the maximum: a descending turning point.
  bool Descends(double h, double t) const {
    const double s = h - t;
    if (s > MaxMetres + 0.001) return true;
    if (s < MaxMetres - 0.001) return false;
    return WholeMillimetresOf(s) >= MaxMm;
  }
};

StationSetup FirstSetup(double a, double b, const Staff& staff, RandomEngine& engine,
                        const LevelingSettings& settings) {
  const double min = settings.StaffMinReading;
  const double max = settings.StaffMaxReading;
  // Bounds that put the reading on the first point, a + backsight - b, within [Min, Max].
  const MillimetreBand onStaff =
      b > a ? WholeMillimetreBand(b - a + min, max) : WholeMillimetreBand(min, max + b - a);
  StationSetup setup;
  if (WholeMillimetresOf(std::fabs(b - a)) > staff.MaxMm - staff.MinMm || onStaff.Empty()) {
    // The first point cannot be brought onto the staff: start from the end band that moves
    // towards it; turning points follow.
    setup.Backsight = Draw(b > a ? staff.HighBand : staff.LowBand, engine);
  } else {
    setup.Backsight = Draw(DrawBand(onStaff), engine);
  }
  setup.InstrumentHeight = a + setup.Backsight;
  return setup;
}

StationSetup TurningPointSetup(double h, double t, const Staff& staff, RandomEngine& engine) {
  StationSetup setup;
  if (staff.Descends(h, t)) {
    setup.Backsight = Draw(staff.LowBand, engine);
    setup.Foresight = Draw(staff.HighBand, engine);
  } else {
    setup.Backsight = Draw(staff.HighBand, engine);
    setup.Foresight = Draw(staff.LowBand, engine);
  }
  setup.TurnPointElevation = h - setup.Foresight;
  setup.InstrumentHeight = h + setup.Backsight - setup.Foresight;
  return setup;
}

// Adds one to the decimal number that `text` holds from `firstDigit` on ("ZD9" -> "ZD10").
void CountUp(std::string& text, std::size_t firstDigit) {
  for (std::size_t i = text.size(); i > firstDigit; --i) {
    char& digit = text[i - 1];
    if (digit != '9') {
      ++digit;
      return;
    }
    digit = '0';
  }
  text.insert(text.begin() + static_cast<std::ptrdiff_t>(firstDigit), '1');
}

}  // namespace

FieldBookRow::FieldBookRow(Kind kind, std::string_view name, std::string_view suffix)
    : RowKind(kind), RowText(name) {
  if (!suffix.empty()) RowText.append(suffix);
}

bool SightTest(double h, double t, const LevelingSettings& settings) {
  return Staff(settings).Reads(h, t);
}

StationSetup FirstSetup(double a, double b, const LevelingSettings& settings, RandomEngine& engine) {
  return FirstSetup(a, b, Staff(settings), engine, settings);
}

StationSetup TurningPointSetup(double h, double t, const LevelingSettings& settings,
                               RandomEngine& engine) {
  return TurningPointSetup(h, t, Staff(settings), engine);
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
                             spreadsheet::NumberText::EditText(point.MeasuredElevation) +
                             " 米时）。请检查高程或缩短路线后重新计算，原有水准表未改动");
  };

  const Staff staff(settings);
  FieldBook book;
  // A descending or climbing route needs about one turning point per point.
  book.Rows.reserve(std::min(maxRows, 2 * input.Points.size() + 1));
  const StationSetup first = FirstSetup(input.StartBenchmarkElevation,
                                        input.Points.front().MeasuredElevation, staff, engine, settings);
  double h = first.InstrumentHeight;
  FieldBookRow start(FieldBookRow::Kind::StartRow, input.StartBenchmarkName);
  start.Backsight = first.Backsight;
  start.InstrumentHeight = h;
  start.DesignElevation = input.StartBenchmarkElevation;
  book.Rows.push_back(std::move(start));

  // Rows are counted here rather than by Rows.size(), which divides by the row size.
  std::size_t rows = 1;
  int n = 1;
  // "ZD1", "ZD2", ...: the number is counted up in its decimal digits after the prefix.
  std::string turnText = settings.TurnPointPrefix + '0';
  const std::size_t firstDigit = settings.TurnPointPrefix.size();
  for (std::size_t i = 0; i < input.Points.size(); ++i) {
    const RoutePoint& point = input.Points[i];
    while (!staff.Reads(h, point.MeasuredElevation)) {
      // The row of the point itself still has to follow this one.
      if (rows + 2 > maxRows) throw tooLong(point);
      const StationSetup turn = TurningPointSetup(h, point.MeasuredElevation, staff, engine);
      CountUp(turnText, firstDigit);
      FieldBookRow& row = book.Rows.emplace_back(FieldBookRow::Kind::TurnPointRow, turnText);
      row.Backsight = turn.Backsight;
      row.Foresight = turn.Foresight;
      row.InstrumentHeight = turn.InstrumentHeight;
      row.TurnPointElevation = turn.TurnPointElevation;
      h = turn.InstrumentHeight;
      ++n;
      ++rows;
    }
    if (rows + 1 > maxRows) throw tooLong(point);
    // The elevation deviation goes out in millimetres; it must stay a number.
    if (point.DesignElevation != 0 &&
        !std::isfinite((point.MeasuredElevation - point.DesignElevation) * 1000)) {
      throw LevelingError(LevelingError::kOverflow,
                          "点“" + point.PointName + point.OffsetText + "”的实测高程 " +
                              spreadsheet::NumberText::EditText(point.MeasuredElevation) + " 米与设计高程 " +
                              spreadsheet::NumberText::EditText(point.DesignElevation) +
                              " 米相差过大，无法计算偏差。原有水准表未改动");
    }
    const bool closing = i + 1 == input.Points.size();
    FieldBookRow& row = book.Rows.emplace_back(
        closing ? FieldBookRow::Kind::ClosingRow : FieldBookRow::Kind::PointRow, point.PointName,
        point.OffsetText);
    (closing ? row.Foresight : row.MidSight) = h - point.MeasuredElevation;
    row.MeasuredElevation = point.MeasuredElevation;
    row.DesignElevation = point.DesignElevation;
    ++rows;
  }
  book.StationCount = n;
  return book;
}

}  // namespace gaocheng
