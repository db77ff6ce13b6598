#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace gaocheng {

// How the closure limit of a route is formed: k√n with n the number of set-ups, or k√L with L
// the route length in kilometres (the sum of all back and fore sight distances).
enum class ClosureToleranceFormula { SixRootN, TwelveRootN, TwentyRootL, ThirtyRootL, FortyRootL };

inline constexpr ClosureToleranceFormula kDefaultToleranceFormula = ClosureToleranceFormula::SixRootN;

// "6√n", "12√n", "20√L", "30√L", "40√L": the setting's text, also as the settings dialog and
// --set show and take it.
std::string ToleranceFormulaText(ClosureToleranceFormula formula);
// The formula of one of those texts (surrounding spaces ignored), or none.
std::optional<ClosureToleranceFormula> ParseToleranceFormula(std::string_view text);
// The five texts in the order of the enum, for a list to choose from.
const char* const* ToleranceFormulaTexts();
inline constexpr int kToleranceFormulaCount = 5;

// Whether the formula needs the route length (the √L classes).
bool NeedsRouteLength(ClosureToleranceFormula formula);

// The shown route length: kilometres rounded to three decimals, halves to even.
double RouteKilometresShown(double metres);

// The closure limit in whole millimetres (halves to even): k × √stationCount, or k × √L with L
// the route length as RouteKilometresShown gives it, so a reader recomputes it from the book.
// Throws LevelingError 5 for a √L formula without a route length.
int ClosureLimitMillimetres(ClosureToleranceFormula formula, int stationCount,
                            std::optional<double> routeMetres);

// "±6√n=±8", "±20√L=±12": the text the book writes into I2.
std::string ClosureLimitText(ClosureToleranceFormula formula, int stationCount,
                             std::optional<double> routeMetres);

// The limits a set-up's sight distances are checked against, metres. A limit that the class
// does not set is infinite.
struct StationLimits {
  const char* ClassName;           // "四等", "等外"
  double MaxSightLength;           // each of the back and fore sight
  double MaxSightDifference;       // |back - fore| of one set-up
  double MaxSightDifferenceSum;    // |running sum of back - fore| from the start
};

// The class a closure formula belongs to: 6√n and 20√L are the fourth-order limits, 12√n,
// 30√L and 40√L the limits below the ordered classes (等外).
const StationLimits& StationLimitsFor(ClosureToleranceFormula formula);

}  // namespace gaocheng
