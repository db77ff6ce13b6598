#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "leveling/FieldBook.h"
#include "leveling/LevelingError.h"
#include "tests/support/ParamName.h"

namespace gaocheng {
namespace {

using Kind = FieldBookRow::Kind;

bool IsWholeMillimetre(double metres) {
  return std::fabs(metres * 1000 - std::round(metres * 1000)) < 1e-6;
}

RoutePoint Point(std::string name, double measured, double design = 0, std::string offset = "") {
  return RoutePoint{std::move(name), std::move(offset), measured, design};
}

RouteInput Route(double start, std::vector<RoutePoint> points) {
  RouteInput route;
  route.StartBenchmarkName = "BM1";
  route.StartBenchmarkElevation = start;
  route.EndBenchmarkName = points.back().PointName;
  route.EndBenchmarkElevation = points.back().DesignElevation;
  route.Points = std::move(points);
  return route;
}

int CountTurningPoints(const FieldBook& book) {
  int count = 0;
  for (const auto& row : book.Rows) count += row.RowKind == Kind::TurnPointRow;
  return count;
}

// Staff 0.25 to 4.75 m: every sum below is exact in binary.
LevelingSettings DyadicSettings() {
  LevelingSettings s;
  s.StaffMinReading = 0.25;
  s.StaffMaxReading = 4.75;
  s.QuickTurnValue = 0.5;
  return s;
}

TEST(SightTest, ReadsOnlyStrictlyInsideTheStaff) {
  const LevelingSettings s = DyadicSettings();
  EXPECT_TRUE(SightTest(100.5, 100, s));
  EXPECT_TRUE(SightTest(104.5, 100, s));
  EXPECT_FALSE(SightTest(104.75, 100, s));  // exactly Max
  EXPECT_FALSE(SightTest(100.25, 100, s));  // exactly Min
  EXPECT_FALSE(SightTest(105, 100, s));
  EXPECT_FALSE(SightTest(99, 100, s));
}

TEST(FirstSetup, ClosingBenchmarkAboutOneMetreAbove) {
  const LevelingSettings s;  // defaults
  for (std::uint64_t seed = 0; seed < 500; ++seed) {
    RandomEngine engine(seed);
    const FieldBook book = BuildFieldBook(Route(100, {Point("BM2", 101.001, 101)}), s, engine);
    const FieldBookRow& start = book.Rows.front();
    ASSERT_GE(start.Backsight, 1.201 - 1e-9);
    ASSERT_LE(start.Backsight, 4.8 + 1e-9);
    ASSERT_TRUE(IsWholeMillimetre(start.Backsight));
    EXPECT_DOUBLE_EQ(start.InstrumentHeight, 100 + start.Backsight);
    const FieldBookRow& closing = book.Rows.back();
    ASSERT_EQ(closing.RowKind, Kind::ClosingRow);
    if (book.Rows.size() == 2) {
      EXPECT_NEAR(closing.Foresight, start.Backsight - 1.001, 1e-9);
      EXPECT_GT(closing.Foresight, 0.2);
    } else {
      // Only the draw on the lower bound puts the foresight at 0.2 m exactly.
      EXPECT_NEAR(start.Backsight, 1.201, 1e-9);
    }
  }
}

TEST(BuildFieldBook, ClosingBenchmarkTenMetresBelowNeedsExactlyTwoDescendingTurns) {
  const LevelingSettings s;
  for (std::uint64_t seed = 0; seed < 300; ++seed) {
    RandomEngine engine(seed);
    const FieldBook book = BuildFieldBook(Route(100, {Point("BM2", 90, 90)}), s, engine);
    ASSERT_EQ(book.Rows.size(), 4u);
    EXPECT_EQ(book.StationCount, 3);
    EXPECT_GE(book.Rows[0].Backsight, 0.2 - 1e-9);
    EXPECT_LE(book.Rows[0].Backsight, 0.8 + 1e-9);
    for (int i : {1, 2}) {
      const FieldBookRow& turn = book.Rows[i];
      ASSERT_EQ(turn.RowKind, Kind::TurnPointRow);
      EXPECT_GE(turn.Foresight, 4.2 - 1e-9);
      EXPECT_LE(turn.Foresight, 4.8 + 1e-9);
      EXPECT_GE(turn.Backsight, 0.2 - 1e-9);
      EXPECT_LE(turn.Backsight, 0.8 + 1e-9);
    }
    EXPECT_GE(book.Rows[3].Foresight, 1.0 - 1e-9);
    EXPECT_LE(book.Rows[3].Foresight, 4.0 + 1e-9);
  }
}

TEST(BuildFieldBook, ReadingExactlyMinForcesAClimbingTurn) {
  // d = Max - Min exactly: the only backsight is Max, so the point reads exactly Min.
  const LevelingSettings s = DyadicSettings();
  for (std::uint64_t seed = 0; seed < 50; ++seed) {
    RandomEngine engine(seed);
    const FieldBook book =
        BuildFieldBook(Route(100, {Point("P", 104.5), Point("BM2", 104.5)}), s, engine);
    EXPECT_EQ(book.Rows[0].Backsight, 4.75);
    ASSERT_EQ(book.Rows[1].RowKind, Kind::TurnPointRow);
    EXPECT_GE(book.Rows[1].Backsight, 4.25);  // climbing: backsight from the upper band
    EXPECT_LE(book.Rows[1].Foresight, 0.75);
    // Two points at the same elevation read the same from the same set-up.
    const std::size_t n = book.Rows.size();
    ASSERT_EQ(book.Rows[n - 2].RowKind, Kind::PointRow);
    EXPECT_EQ(book.Rows[n - 2].MidSight, book.Rows[n - 1].Foresight);
  }
}

// Readings compared as recorded, in whole millimetres (halves to even): binary noise and a
// measured elevation given to 0.1 mm decide nothing beyond what the book shows.
struct LimitCase {
  const char* name;
  double h, t;
  double min, max;
  bool reads;
};

class SightAtTheLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SightAtTheLimits, ComparesWholeMillimetres) {
  LevelingSettings s;
  s.StaffMinReading = GetParam().min;
  s.StaffMaxReading = GetParam().max;
  EXPECT_EQ(SightTest(GetParam().h, GetParam().t, s), GetParam().reads);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SightAtTheLimits,
    ::testing::Values(
        LimitCase{"MinAfterNoise", 100.0 + 1.523, 101.323, 0.2, 4.8, false},  // 0.20000000000000284
        LimitCase{"MaxAfterNoise", 100.1 + 4.8, 100.1, 0.2, 4.8, false},      // 4.799999999999997
        LimitCase{"OneMillimetreAboveMin", 100.0 + 1.524, 101.323, 0.2, 4.8, true},
        LimitCase{"OneMillimetreBelowMax", 100.1 + 4.799, 100.1, 0.2, 4.8, true},
        LimitCase{"TenthBelowHalfAboveMin", 100.2004, 100, 0.2, 4.8, false},
        LimitCase{"TenthAboveHalfAboveMin", 100.2006, 100, 0.2, 4.8, true},
        LimitCase{"HalfAboveMinGoesToEvenMin", 100.2005, 100, 0.2, 4.8, false},
        LimitCase{"HalfAboveGoesToEvenAbove", 100.2015, 100, 0.2, 4.8, true},
        LimitCase{"HalfBelowMaxGoesToEvenMax", 104.7995, 100, 0.2, 4.8, false},
        LimitCase{"TenthBelowHalfBelowMax", 104.7994, 100, 0.2, 4.8, true},
        LimitCase{"HalfMillimetreMinRounded", 100.2, 100, 0.2005, 4.7995, false},
        LimitCase{"HalfMillimetreMinNextUp", 100.201, 100, 0.2005, 4.7995, true},
        LimitCase{"HalfMillimetreMaxRounded", 104.8, 100, 0.2005, 4.7995, false},
        LimitCase{"HalfMillimetreMaxNextDown", 104.799, 100, 0.2005, 4.7995, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TurningPointSetup, ReadingAtMaxAfterNoiseDescends) {
  const LevelingSettings s;
  RandomEngine engine(3);
  const StationSetup turn = TurningPointSetup(100.1 + 4.8, 100.1, s, engine);
  EXPECT_LE(turn.Backsight, 0.8);
  EXPECT_GE(turn.Foresight, 4.2);
}

// Limits that are no whole millimetres: every drawn reading lies within [Min, Max], rounded
// inwards (0.2005 to 0.201, 4.7995 to 4.799), on routes that climb, descend and start steep.
TEST(BuildFieldBook, DrawsStayOnAStaffWithHalfMillimetreLimits) {
  LevelingSettings s;
  s.StaffMinReading = 0.2005;
  s.StaffMaxReading = 4.7995;
  s.QuickTurnValue = 0.0006;  // bands of 0.201 and 4.799 alone
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    RandomEngine engine(seed);
    const double start = 100;
    // The first point 4.5994 m up: no whole millimetre puts it on the staff from the start.
    const double first = seed % 2 == 0 ? 104.5994 : 95.4006;
    const FieldBook book = BuildFieldBook(
        Route(start, {Point("P1", first), Point("P2", 130), Point("P3", 70), Point("BM2", 100, 100)}), s, engine);
    for (const FieldBookRow& row : book.Rows) {
      if (row.RowKind == Kind::StartRow || row.RowKind == Kind::TurnPointRow) {
        ASSERT_TRUE(IsWholeMillimetre(row.Backsight));
        ASSERT_GE(row.Backsight, 0.201 - 1e-12) << seed;
        ASSERT_LE(row.Backsight, 4.799 + 1e-12) << seed;
      }
      if (row.RowKind == Kind::TurnPointRow) {
        ASSERT_TRUE(row.Foresight == 0.201 || row.Foresight == 4.799) << row.Foresight;
      }
      if (row.RowKind == Kind::PointRow) {
        ASSERT_GE(row.MidSight, 0.2005);
        ASSERT_LE(row.MidSight, 4.7995);
      }
    }
  }
}

TEST(TurningPointSetup, ReadingExactlyMaxDescends) {
  const LevelingSettings s = DyadicSettings();
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    RandomEngine engine(seed);
    const StationSetup t = TurningPointSetup(104.75, 100, s, engine);  // s = Max exactly
    ASSERT_GE(t.Backsight, 0.25);
    ASSERT_LE(t.Backsight, 0.75);
    ASSERT_GE(t.Foresight, 4.25);
    ASSERT_LE(t.Foresight, 4.75);
    EXPECT_EQ(t.TurnPointElevation, 104.75 - t.Foresight);
    EXPECT_EQ(t.InstrumentHeight, 104.75 + t.Backsight - t.Foresight);
    // Reading again from there needs no turn in the opposite direction unless it lands on Min.
    const double again = t.InstrumentHeight - 100;
    EXPECT_GE(again, 0.25);
    EXPECT_LE(again, 1.25);
  }
}

struct SteepCase {
  double firstPoint;
  bool climbing;
};

class SteepFirstPoint : public ::testing::TestWithParam<SteepCase> {};

// Beyond Max - Min the backsight comes from the end band moving towards the point, never
// from outside the staff.
TEST_P(SteepFirstPoint, BacksightStaysOnTheStaffAndATurnFollows) {
  const LevelingSettings s;
  for (std::uint64_t seed = 0; seed < 300; ++seed) {
    RandomEngine engine(seed);
    const FieldBook book =
        BuildFieldBook(Route(100, {Point("P", GetParam().firstPoint), Point("BM2", 100)}), s, engine);
    const double backsight = book.Rows[0].Backsight;
    if (GetParam().climbing) {
      ASSERT_GE(backsight, 4.2 - 1e-9);
      ASSERT_LE(backsight, 4.8 + 1e-9);
      ASSERT_EQ(book.Rows[1].RowKind, Kind::TurnPointRow);
      EXPECT_GE(book.Rows[1].Backsight, 4.2 - 1e-9);  // climbing turn
    } else {
      ASSERT_GE(backsight, 0.2 - 1e-9);
      ASSERT_LE(backsight, 0.8 + 1e-9);
      ASSERT_EQ(book.Rows[1].RowKind, Kind::TurnPointRow);
      EXPECT_LE(book.Rows[1].Backsight, 0.8 + 1e-9);  // descending turn
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SteepFirstPoint,
                         ::testing::Values(SteepCase{104.7, true}, SteepCase{95.3, false},
                                           SteepCase{104.61, true}, SteepCase{95.39, false},
                                           SteepCase{104.8, true}, SteepCase{112, true},
                                           SteepCase{80, false}),
                         testsupport::NameBy([](const SteepCase& c) {
                           return testsupport::ParamName(c.firstPoint, c.climbing ? "climbing" : "falling");
                         }));

TEST(BuildFieldBook, CountsStationsAndNamesTurnsWithThePrefix) {
  LevelingSettings s;
  int booksWithoutTurn = 0;
  for (std::uint64_t seed = 0; seed < 20; ++seed) {
    RandomEngine engine(seed);
    const FieldBook flat =
        BuildFieldBook(Route(100, {Point("P", 99), Point("BM2", 99.5)}), s, engine);
    if (CountTurningPoints(flat) == 0) {
      ++booksWithoutTurn;
      EXPECT_EQ(flat.StationCount, 1);
      EXPECT_EQ(flat.Rows.size(), 3u);
    }
  }
  EXPECT_GT(booksWithoutTurn, 15);

  // 86 m down: 14.2 to 14.8 m below the first line of sight, always three turns.
  s.TurnPointPrefix = "";
  for (std::uint64_t seed = 0; seed < 50; ++seed) {
    RandomEngine engine(seed);
    const FieldBook book = BuildFieldBook(Route(100, {Point("BM2", 86, 86)}), s, engine);
    ASSERT_EQ(CountTurningPoints(book), 3);
    EXPECT_EQ(book.StationCount, 4);
    EXPECT_EQ(book.Rows[1].RowText, "1");
    EXPECT_EQ(book.Rows[2].RowText, "2");
    EXPECT_EQ(book.Rows[3].RowText, "3");
  }
}

// 1,001 turning points, each exactly 4.5 m down (single-valued bands), named prefix + number
// across every carry of the count; a prefix ending in a digit keeps that digit.
class TurnPointNames : public ::testing::TestWithParam<const char*> {};

TEST_P(TurnPointNames, CountOnAcrossEveryCarry) {
  LevelingSettings s;
  s.StaffMinReading = 0.25;
  s.StaffMaxReading = 4.75;
  s.QuickTurnValue = 0.0004;
  s.TurnPointPrefix = GetParam();
  RandomEngine engine(7);
  const FieldBook book = BuildFieldBook(Route(0, {Point("BM2", -4.5 * 1001 - 2)}), s, engine);
  ASSERT_EQ(CountTurningPoints(book), 1001);
  for (int k = 1; k <= 1001; ++k) {
    ASSERT_EQ(book.Rows[static_cast<std::size_t>(k)].RowText, s.TurnPointPrefix + std::to_string(k));
  }
  EXPECT_EQ(book.StationCount, 1002);
}

INSTANTIATE_TEST_SUITE_P(Prefixes, TurnPointNames,
                         ::testing::Values("ZD", "", "转点9", "Z D", "a-prefix-longer-than-any-short-string-buffer"),
                         testsupport::CaseName());

TEST(BuildFieldBook, RowTextJoinsNameAndOffset) {
  const LevelingSettings s;
  RandomEngine engine(2);
  const FieldBook book = BuildFieldBook(
      Route(100, {Point("K0 +020", 99, 99.1, "左5米"), Point("BM 2", 99.5)}), s, engine);
  EXPECT_EQ(book.Rows[0].RowText, "BM1");
  EXPECT_EQ(book.Rows[0].DesignElevation, 100);
  EXPECT_EQ(book.Rows[1].RowText, "K0 +020左5米");
  EXPECT_EQ(book.Rows[1].MeasuredElevation, 99);
  EXPECT_EQ(book.Rows[1].DesignElevation, 99.1);
  EXPECT_EQ(book.Rows[2].RowText, "BM 2");

  const std::string longName(70, 'K');
  RandomEngine again(2);
  const FieldBook longBook =
      BuildFieldBook(Route(100, {Point(longName, 99, 0, "右100.5米"), Point("BM2", 99.5)}), s, again);
  EXPECT_EQ(longBook.Rows[1].RowText, longName + "右100.5米");
}

TEST(BuildFieldBook, RouteWithoutPointsIsRejected) {
  RandomEngine engine(1);
  RouteInput empty;
  EXPECT_THROW(BuildFieldBook(empty, LevelingSettings{}, engine), std::invalid_argument);
}

TEST(BuildFieldBook, BookLongerThanTheLimitIsRejected) {
  // Ten metres down always takes four rows with the defaults.
  const LevelingSettings s;
  RandomEngine a(4), b(4);
  EXPECT_EQ(BuildFieldBook(Route(100, {Point("BM2", 90)}), s, a, 4).Rows.size(), 4u);
  try {
    BuildFieldBook(Route(100, {Point("BM2", 90)}), s, b, 3);
    ADD_FAILURE() << "no exception";
  } catch (const LevelingError& error) {
    EXPECT_EQ(error.Number(), LevelingError::kOverflow);
    EXPECT_NE(error.Description().find("3 行"), std::string::npos) << error.Description();
  }
}

TEST(BuildFieldBook, AbsurdHeightDifferenceStopsAtTheSheetLimit) {
  RandomEngine engine(1);
  EXPECT_THROW(BuildFieldBook(Route(0, {Point("BM2", 1e9)}), LevelingSettings{}, engine),
               LevelingError);
  EXPECT_THROW(BuildFieldBook(Route(-1e300, {Point("BM2", 1e300)}), LevelingSettings{}, engine),
               LevelingError);
}

// Many random routes, settings and seeds: the invariants every field book must keep.
TEST(BuildFieldBookProperty, ReadingsChainAndNamesHold) {
  std::mt19937_64 maker(2024);
  auto uniform = [&](double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(maker);
  };
  auto whole = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(maker); };

  for (int trial = 0; trial < 400; ++trial) {
    LevelingSettings s;
    const int minMm = whole(0, 500);
    const int maxMm = minMm + whole(1000, 5000);
    const int qMm = whole(1, (maxMm - minMm - 1) / 2);
    s.StaffMinReading = minMm / 1000.0;
    s.StaffMaxReading = maxMm / 1000.0;
    s.QuickTurnValue = qMm / 1000.0;
    s.TurnPointPrefix = trial % 3 == 0 ? "" : "ZD";

    RouteInput route;
    route.StartBenchmarkName = "BM1";
    route.StartBenchmarkElevation = uniform(-50, 150);
    double elevation = route.StartBenchmarkElevation;
    const int pointCount = whole(1, 25);
    for (int i = 0; i < pointCount; ++i) {
      const double step = trial % 4 == 0 ? uniform(-30, 30) : uniform(-3, 3);
      elevation += step;
      route.Points.push_back(Point("P" + std::to_string(i), elevation, elevation));
    }

    RandomEngine engine(static_cast<std::uint64_t>(trial));
    const FieldBook book = BuildFieldBook(route, s, engine);
    const double min = s.StaffMinReading, max = s.StaffMaxReading;
    auto chosen = [&](double reading) {
      return reading >= min - 1e-9 && reading <= max + 1e-9 && IsWholeMillimetre(reading);
    };

    ASSERT_EQ(book.Rows.front().RowKind, Kind::StartRow);
    ASSERT_TRUE(chosen(book.Rows.front().Backsight)) << book.Rows.front().Backsight;
    double h = book.Rows.front().InstrumentHeight;
    ASSERT_NEAR(h, route.StartBenchmarkElevation + book.Rows.front().Backsight, 1e-9);

    int turns = 0;
    std::size_t nextPoint = 0;
    for (std::size_t r = 1; r < book.Rows.size(); ++r) {
      const FieldBookRow& row = book.Rows[r];
      if (row.RowKind == Kind::TurnPointRow) {
        ++turns;
        ASSERT_EQ(row.RowText, s.TurnPointPrefix + std::to_string(turns));
        ASSERT_TRUE(chosen(row.Backsight)) << row.Backsight;
        ASSERT_TRUE(chosen(row.Foresight)) << row.Foresight;
        ASSERT_NEAR(row.TurnPointElevation, h - row.Foresight, 1e-9);
        ASSERT_NEAR(row.InstrumentHeight, h + row.Backsight - row.Foresight, 1e-9);
        h = row.InstrumentHeight;
        continue;
      }
      ASSERT_LT(nextPoint, route.Points.size());
      const RoutePoint& point = route.Points[nextPoint++];
      const bool last = nextPoint == route.Points.size();
      ASSERT_EQ(row.RowKind, last ? Kind::ClosingRow : Kind::PointRow);
      ASSERT_EQ(row.RowText, point.PointName);
      const double reading = last ? row.Foresight : row.MidSight;
      ASSERT_GT(reading, min);
      ASSERT_LT(reading, max);
      ASSERT_NEAR(reading, h - point.MeasuredElevation, 1e-9);
      ASSERT_EQ(row.MeasuredElevation, point.MeasuredElevation);
    }
    ASSERT_EQ(nextPoint, route.Points.size());
    ASSERT_EQ(book.Rows.back().RowKind, Kind::ClosingRow);
    ASSERT_EQ(book.StationCount, turns + 1);
  }
}

}  // namespace
}  // namespace gaocheng
