#pragma once

#include <cstdint>
#include <string>

#include "leveling/FieldBook.h"
#include "leveling/LevelingSettings.h"
#include "host/SpreadsheetHost.h"

namespace gaocheng {

inline constexpr const char* kOutputSheetName = "水准表";
inline constexpr const char* kOutputRange = "A5:I65536";
inline constexpr int kFirstOutputRow = 5;
inline constexpr int kLastOutputRow = 65536;
// The check block below the book: one empty row, then the heading and eight lines.
inline constexpr int kCheckBlockRows = 10;

// 6 × √stationCount rounded to a whole number of millimetres, halves to even.
int ToleranceMillimetres(int stationCount);
// "±6√n=±" followed by ToleranceMillimetres ("±6√n=±6" for one set-up).
std::string ToleranceText(int stationCount);

// The computation check of a book, from the values as the book writes them: sums in the
// readings' unit (ShowReadingsInMetres), the elevation difference in metres, the closure
// (computed minus known elevation of the closing benchmark) in whole millimetres.
struct FieldBookCheck {
  double BacksightSum = 0;      // start and turning points
  double ForesightSum = 0;      // turning points and the closing benchmark, no intermediate sight
  double SightDifference = 0;   // BacksightSum - ForesightSum
  double ElevationDifference = 0;  // closing benchmark's computed elevation minus the start's
  double ClosureMm = 0;
  int LimitMm = 0;              // ToleranceMillimetres of the book's set-ups
  bool WithinLimit = true;      // |ClosureMm| <= LimitMm: "合格", else "超限"
};

FieldBookCheck CheckFieldBook(const FieldBook& book, const LevelingSettings& settings);

// Selects "水准表" (it stays active), clears A5:I65536 and writes the rows from row 5, one
// SetCellValue per cell: B, C, D in metres or millimetres after ShowReadingsInMetres (with the
// number format "0.000" or "0" over B:D of the book), E, F, G in metres, H in millimetres;
// every number rounded to 10⁻⁶ m (0.001 mm for millimetres), free of binary noise; empty texts
// in G and H where a point has no design elevation. Then the tolerance text into I2 and, when
// it fits above row 65536, the check block below the closing row, its last line "随机种子 <seed>"
// in A alone (so that a seed of 20 digits shows whole). The book must
// fit (kMaxFieldBookRows). Spreadsheet failures propagate as spreadsheet::SpreadsheetError.
FieldBookCheck WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                              const LevelingSettings& settings, std::uint64_t seed);

}  // namespace gaocheng
