#include "workbook/NumberText.h"
#include "leveling/ToleranceClass.h"

#include <cmath>
#include <limits>

#include "leveling/LevelingError.h"
#include "leveling/RandomInRange.h"

namespace gaocheng {
namespace {

constexpr const char* kTexts[kToleranceFormulaCount] = {"6√n", "12√n", "20√L", "30√L", "40√L"};
constexpr double kCoefficients[kToleranceFormulaCount] = {6, 12, 20, 30, 40};

constexpr double kUnlimited = std::numeric_limits<double>::infinity();

// Fourth-order leveling, GB/T 12898-2009 (national third- and fourth-order leveling), its table
// of sight length, back-minus-fore distance and sight height per set-up: sight length at most
// 100 m for a DS3-class level (150 m for DS1/DS05-class levels, which we do not tell apart, so
// the stricter value), back minus fore distance of a set-up at most 3.0 m, its running sum at
// most 10.0 m. (The engineering survey code GB 50026 allows 5.0 m per set-up for its fourth
// order; the national standard is the stricter one.) The closure formulas of that class are
// 20√L (flat ground, GB/T 12898) and 6√n (set-ups, hilly ground, as GB 50026 writes it).
constexpr StationLimits kFourthOrder{"四等", 100.0, 3.0, 10.0};

// Below the ordered classes (等外, 五等 of the highway survey code JTG C10): sight length at
// most 100 m and back minus fore distance at most 10 m per set-up, as that code's table for
// the fifth order gives them; the code sets no limit on the running sum, so neither do we.
// These values were taken from the code as commonly quoted, not from a printed copy at hand;
// a project whose specification says otherwise must check by its own table.
constexpr StationLimits kBelowOrder{"等外", 100.0, 10.0, kUnlimited};

std::size_t Index(ClosureToleranceFormula formula) { return static_cast<std::size_t>(formula); }

}  // namespace

std::string ToleranceFormulaText(ClosureToleranceFormula formula) { return kTexts[Index(formula)]; }

std::optional<ClosureToleranceFormula> ParseToleranceFormula(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  for (int i = 0; i < kToleranceFormulaCount; ++i) {
    if (text == kTexts[i]) return static_cast<ClosureToleranceFormula>(i);
  }
  return std::nullopt;
}

const char* const* ToleranceFormulaTexts() { return kTexts; }

bool NeedsRouteLength(ClosureToleranceFormula formula) {
  return formula == ClosureToleranceFormula::TwentyRootL || formula == ClosureToleranceFormula::ThirtyRootL ||
         formula == ClosureToleranceFormula::FortyRootL;
}

double RouteKilometresShown(double metres) { return spreadsheet::NumberText::RoundHalfEven(metres) / 1000; }

int ClosureLimitMillimetres(ClosureToleranceFormula formula, int stationCount, std::optional<double> routeMetres) {
  const double k = kCoefficients[Index(formula)];
  if (!NeedsRouteLength(formula)) {
    return static_cast<int>(spreadsheet::NumberText::RoundHalfEven(k * std::sqrt(static_cast<double>(stationCount))));
  }
  if (!routeMetres) {
    throw LevelingError(LevelingError::kInvalidInput,
                        "限差公式 ±" + ToleranceFormulaText(formula) +
                            " 需要路线长度，而水准记录没有视距。请在观测记录中填写后视距和前视距，"
                            "或在水准设置中选择按测站数计算的限差公式（6√n 或 12√n）");
  }
  const double limit = spreadsheet::NumberText::RoundHalfEven(k * std::sqrt(RouteKilometresShown(*routeMetres)));
  if (!(limit < 1e9)) {
    throw LevelingError(LevelingError::kOverflow, "路线长度 " + std::to_string(*routeMetres) + " 米过大，无法计算限差");
  }
  return static_cast<int>(limit);
}

std::string ClosureLimitText(ClosureToleranceFormula formula, int stationCount, std::optional<double> routeMetres) {
  return "±" + ToleranceFormulaText(formula) + "=±" +
         std::to_string(ClosureLimitMillimetres(formula, stationCount, routeMetres));
}

const StationLimits& StationLimitsFor(ClosureToleranceFormula formula) {
  return formula == ClosureToleranceFormula::SixRootN || formula == ClosureToleranceFormula::TwentyRootL
             ? kFourthOrder
             : kBelowOrder;
}

}  // namespace gaocheng
