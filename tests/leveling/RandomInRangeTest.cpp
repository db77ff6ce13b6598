#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "leveling/LevelingError.h"
#include "leveling/RandomInRange.h"
#include "workbook/NumberText.h"
#include "tests/support/ParamName.h"

namespace gaocheng {
namespace {

struct RangeCase {
  std::int32_t low;
  std::int32_t high;
  std::int32_t expectedMin;
  std::int32_t expectedMax;
  std::int32_t reachedMax;  // with low > high, low itself needs u == 0 exactly (odds 2^-24)
};

class RandomInRangeBounds : public ::testing::TestWithParam<RangeCase> {};

TEST_P(RandomInRangeBounds, StaysInsideAndReachesBothEnds) {
  const RangeCase& c = GetParam();
  RandomEngine engine(20240611);
  std::int32_t seenMin = c.expectedMax;
  std::int32_t seenMax = c.expectedMin;
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t r = RandomInRange(c.low, c.high, engine);
    ASSERT_GE(r, c.expectedMin);
    ASSERT_LE(r, c.expectedMax);
    seenMin = std::min(seenMin, r);
    seenMax = std::max(seenMax, r);
  }
  EXPECT_EQ(seenMin, c.expectedMin);
  EXPECT_EQ(seenMax, c.reachedMax);
}

// low > high gives high + 1 to low (the formula unchanged).
INSTANTIATE_TEST_SUITE_P(
    Table, RandomInRangeBounds,
    ::testing::Values(RangeCase{-2, 2, -2, 2, 2}, RangeCase{0, 0, 0, 0, 0},
                      RangeCase{200, 800, 200, 800, 800}, RangeCase{4200, 4800, 4200, 4800, 4800},
                      RangeCase{-7, -3, -7, -3, -3}, RangeCase{5, 3, 4, 5, 4},
                      RangeCase{4900, 4801, 4802, 4900, 4899}, RangeCase{-2, -5, -4, -2, -3},
                      RangeCase{0, -1, 0, 0, 0}),
    testsupport::NameBy([](const RangeCase& c) { return testsupport::ParamName(c.low, "to", c.high); }));

TEST(RandomInRange, IsUniformOverTheRange) {
  RandomEngine engine(7);
  std::map<std::int32_t, int> counts;
  const int draws = 50000;
  for (int i = 0; i < draws; ++i) ++counts[RandomInRange(-2, 2, engine)];
  ASSERT_EQ(counts.size(), 5u);
  for (const auto& [value, count] : counts) {
    EXPECT_NEAR(count, draws / 5, 600) << "value " << value;  // about 7 standard deviations
  }
}

TEST(RandomInRange, ConsecutiveCallsAreIndependentDraws) {
  RandomEngine engine(1);
  int repeats = 0;
  std::int32_t previous = RandomInRange(0, 999, engine);
  for (int i = 0; i < 1000; ++i) {
    const std::int32_t next = RandomInRange(0, 999, engine);
    repeats += next == previous;
    previous = next;
  }
  EXPECT_LT(repeats, 10);
}

struct RoundCase {
  double value;
  double rounded;
};

class RoundHalfEvenTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundHalfEvenTest, SendsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(spreadsheet::NumberText::RoundHalfEven(GetParam().value), GetParam().rounded);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundHalfEvenTest,
    ::testing::Values(RoundCase{2.5, 2}, RoundCase{3.5, 4}, RoundCase{-2.5, -2},
                      RoundCase{-3.5, -4}, RoundCase{0.5, 0}, RoundCase{-0.5, 0},
                      RoundCase{1.5, 2}, RoundCase{2.4999, 2}, RoundCase{2.5001, 3},
                      RoundCase{-2.6, -3}, RoundCase{-1.4, -1}, RoundCase{4800.000000000001, 4800},
                      RoundCase{4199.999999999999, 4200}, RoundCase{7, 7}, RoundCase{-7, -7},
                      RoundCase{4503599627370497.0, 4503599627370497.0}),
    testsupport::NameBy([](const RoundCase& c) { return testsupport::ParamName(c.value, "to", c.rounded); }));

TEST(ToWholeNumber, ThrowsOverflowBeyondThirtyTwoBits) {
  EXPECT_EQ(ToWholeNumber(2147483647.4, "x"), 2147483647);
  EXPECT_EQ(ToWholeNumber(-2147483648.5, "x"), -2147483648);
  for (const double bad : {2147483647.6, -2147483649.0, 1e300,
                           std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()}) {
    try {
      ToWholeNumber(bad, "水准点闭合正误差");
      ADD_FAILURE() << "no exception for " << bad;
    } catch (const LevelingError& error) {
      EXPECT_EQ(error.Number(), LevelingError::kOverflow);
      EXPECT_NE(error.Description().find("水准点闭合正误差"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace gaocheng
