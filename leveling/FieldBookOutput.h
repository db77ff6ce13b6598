#pragma once

#include <string>

#include "leveling/FieldBook.h"
#include "leveling/LevelingSettings.h"
#include "host/SpreadsheetHost.h"

namespace gaocheng {

inline constexpr const char* kOutputSheetName = "水准表";
inline constexpr const char* kOutputRange = "A5:I65536";
inline constexpr int kFirstOutputRow = 5;

// "±6√n=±" followed by 6 × √stationCount rounded to a whole number ("±6√n=±6" for one set-up).
std::string ToleranceText(int stationCount);

// Selects "水准表" (it stays active), clears A5:I65536 and writes the rows from row 5 and the
// tolerance text into I2, one SetCellValue per cell: B, C, D in metres or millimetres after
// ShowReadingsInMetres, E, F, G in metres, H in millimetres; empty texts in G and H where a
// point has no design elevation. The book must fit (kMaxFieldBookRows). Spreadsheet failures
// propagate as spreadsheet::SpreadsheetError.
void WriteFieldBook(spreadsheet::SpreadsheetHost& host, const FieldBook& book,
                    const LevelingSettings& settings);

}  // namespace gaocheng
