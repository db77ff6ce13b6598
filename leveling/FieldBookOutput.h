#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "leveling/FieldBook.h"
#include "leveling/LevelingSettings.h"
#include "host/SpreadsheetHost.h"

namespace gaocheng {

inline constexpr const char* kOutputSheetName = "水准表";
inline constexpr const char* kOutputRange = "A5:I65536";
inline constexpr int kFirstOutputRow = 5;
inline constexpr int kLastOutputRow = 65536;
// The check block below the book: one empty row, then the heading and eight lines, then the
// lines of its kind (a generated book: 随机种子 and 模拟高程).
inline constexpr int kCheckBlockRows = 11;

// Column B of the field book in characters, a full-width character counting two.
inline constexpr int kCheckValueWidth = 9;
// The width of a UTF-8 text in characters of a digit's width, a full-width character counting two.
int ShownWidth(std::string_view utf8);

// Spreadsheet programs keep at most 1,026 manual page breaks on a sheet.
inline constexpr std::size_t kMaxPageBreaks = 1000;

// Sets the pages of the active sheet (the field book) as manual breaks: those of the book's
// rows set by an earlier generation go, then every page start from row 6 down that
// PrintedPageStarts gives becomes a break (the last kMaxPageBreaks of them on a longer book),
// so every spreadsheet program prints the pages this program prints, the check block on one
// page with its heading.
void BreakPages(spreadsheet::SpreadsheetHost& host);

// 6 × √stationCount rounded to a whole number of millimetres, halves to even.
int ToleranceMillimetres(int stationCount);
// "±6√n=±" followed by ToleranceMillimetres ("±6√n=±6" for one set-up).
std::string ToleranceText(int stationCount);

// A line of the check block after 结论: its label in A, its value in B unless it is empty (with a
// number format when `format` is not empty). A text wider than column B (kCheckValueWidth)
// follows its label in A instead, after a space.
struct CheckLine {
  std::string Label;
  spreadsheet::CellValue Value;
  std::string Format;
};

// The computation check of a book, from the values as the book writes them: sums in the
// readings' unit (ShowReadingsInMetres), the elevation difference in metres, the closure
// (computed minus known elevation of the closing benchmark) in whole millimetres.
struct FieldBookCheck {
  double BacksightSum = 0;      // start and turning points
  double ForesightSum = 0;      // turning points and the closing benchmark, no intermediate sight
  double SightDifference = 0;   // BacksightSum - ForesightSum
  double ElevationDifference = 0;  // closing benchmark's computed elevation minus the start's
  double ClosureMm = 0;
  int LimitMm = 0;              // the limit of settings.ClosureToleranceFormula for the book
  std::string LimitText;        // "±6√n=±8", "±20√L=±12", as written into I2
  bool WithinLimit = true;      // |ClosureMm| <= LimitMm: "合格", else "超限"
};

// Throws LevelingError 5 for a √L formula on a book without RouteMetres.
FieldBookCheck CheckFieldBook(const FieldBook& book, const LevelingSettings& settings);

// Selects "水准表" (it stays active), clears A5:I65536, dissolves every merge meeting it and
// writes the rows from row 5, one
// SetCellValue per cell: B, C, D in metres or millimetres after ShowReadingsInMetres (with the
// number format "0.000" or "0" over B:D of the book), E, F, G in metres, H in millimetres;
// every number rounded to 10⁻⁶ m (0.001 mm for millimetres), free of binary noise; empty texts
// in G and H where a point has no design elevation. Then the tolerance text into I2 and, when
// it fits above row 65536, the check block with `seed` and the number of points whose
// elevation was simulated below the closing row, and the pages as manual breaks (BreakPages).
// The book must fit (kMaxFieldBookRows).
// Spreadsheet failures propagate as spreadsheet::SpreadsheetError; the limit's failures
// (CheckFieldBook) are thrown before anything is written.
FieldBookCheck WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                              const LevelingSettings& settings, std::uint64_t seed, int simulatedPoints);

// The same with the check block's own lines after 结论 (a book reduced from observations:
// 观测站数 and the sight checks). `tenthsOfMillimetre`: readings were read to 0.1 mm, so the
// readings, their sums, the lines of sight and the elevations show four decimals of a metre
// (one of a millimetre) instead of whole millimetres.
FieldBookCheck WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                              const LevelingSettings& settings, const std::vector<CheckLine>& ownLines,
                              bool tenthsOfMillimetre = false);

}  // namespace gaocheng
