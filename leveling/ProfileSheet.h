#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/SpreadsheetHost.h"
#include "leveling/FieldBook.h"
#include "leveling/LevelingSettings.h"
#include "workbook/ScatterChart.h"
#include "workbook/Workbook.h"

namespace gaocheng {

// The sheet "纵断面": the route's design and measured elevations against chainage, and the
// deviations against the intermediate-point tolerances. Its rows stand beside the rows of
// "水准表" (row 5 of both is the start benchmark): A 点名, B 里程 (m), C 设计高程 (m, route points
// with a design elevation), D 转点高程 (m, turning points), E 偏差 (mm, the same points as C);
// G5:G6 the first and last chainage, H5:H6 the plus and I5:I6 the minus tolerance (mm), the
// two lines of the deviation chart; A2 says how the chainage was found. The measured
// elevations are those of 水准表!F, which the elevation chart reads where they stand.
inline constexpr const char* kProfileSheetName = "纵断面";
inline constexpr int kProfileFirstRow = 5;  // 1-based, as 水准表

// Chainage in metres from a point name: "K1+020" → 1020, "K0+000.5" → 0.5, "ZK12+345.67左5米"
// → 12345.67 (letters may stand before the K, anything after the metres). nullopt when the
// name carries none (a benchmark "BM1", a turning point "ZD3", "K1+", "K+20").
std::optional<double> ParseChainage(std::string_view name);

// How the x of every book row was found: from the names (rows without one interpolated in book
// order between the nearest rows with one, and the ends held level), or, when no name carries
// a chainage, each route point's number in the run (start benchmark 0, turning points between).
struct ProfileAxis {
  std::vector<double> X;  // one per book row
  bool FromNames = false;
};
ProfileAxis ChainageOf(const std::vector<std::string>& rowNames, const std::vector<bool>& isTurningPoint);

// What the profile shows, one entry per book row; NaN where a row has no such value.
struct ProfileData {
  std::vector<double> Chainage;
  std::vector<double> Design;
  std::vector<double> Measured;
  std::vector<double> TurningPoint;
  std::vector<double> DeviationMm;
  double PlusToleranceMm = 3;
  double MinusToleranceMm = -3;
  bool ChainageFromNames = true;
  std::size_t Size() const { return Chainage.size(); }
};

ProfileData ProfileOf(const FieldBook& book, const LevelingSettings& settings);

// Reads what "纵断面" and 水准表!F hold back (a saved book). Empty when "纵断面" holds no rows;
// nullopt when the workbook has no "纵断面".
std::optional<ProfileData> ReadProfile(const spreadsheet::Workbook& workbook);

// The two charts of "纵断面" over its cells and 水准表!F, rows 5 to 65536 (blank rows spanned).
std::vector<spreadsheet::ScatterChart> ProfileCharts();

// A workbook holding "纵断面" alone, empty as the template has it: the heading in A1:I1 (merged),
// A2:I2 merged for the note, the column headers in row 4, the columns' formats and borders
// from row 5 (B 0.000, C and D 0.000, E 0.0), rows 1–4 frozen, A4 fitted to one page wide and
// the two charts of ProfileCharts.
spreadsheet::Workbook ProfileSheetLayout();

// Writes the profile of `book` into "纵断面" (values from row 5 cleared first), then selects
// "水准表" again. A workbook without "纵断面" (of the user's own design, or made before the
// template had it) gets it first, after its last sheet, as ProfileSheetLayout holds it.
// Returns whether the sheet was added. Spreadsheet failures propagate.
bool WriteProfileSheet(spreadsheet::SpreadsheetHost& host, const FieldBook& book, const LevelingSettings& settings);

}  // namespace gaocheng
