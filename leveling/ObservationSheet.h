#pragma once

#include <vector>

#include "host/SpreadsheetHost.h"
#include "leveling/ObservationRow.h"

namespace gaocheng {

// The observation record sheet: title in row 1, "读数单位" in A2 with 米 or 毫米 in B2, headers
// in rows 3–4, and from row 5 one row per point: 测点 (A), 后视 (B), 中视 (C), 前视 (D) in the
// unit of B2, 后视距 (E) and 前视距 (F) in metres, 备注 (G). The rows end at the first row whose
// A to F are all empty.
inline constexpr const char* kObservationSheetName = "观测记录";
inline constexpr int kFirstObservationRow = 5;
inline constexpr int kLastObservationRow = 65536;

// Whether B2 says 毫米 (or mm): readings are millimetres; 米 (m) or empty: metres. Another text
// throws SpreadsheetError 13 naming B2. The sheet must be active.
bool ReadingsInMillimetres(spreadsheet::SpreadsheetHost& host);

// Selects "观测记录" (it stays active) and reads its rows, readings converted to metres, each
// row remembering its SheetRow. Throws SpreadsheetError 9 with a description naming the sheet
// when it is missing, 13 for a cell that is no number where one belongs (naming the cell and
// its content), LevelingError 5 for a reading that no staff shows (negative or beyond 10 m), a
// distance beyond 0–1000 m, a row with readings but no point name (naming the cell), or data
// below the empty row that ends the record.
std::vector<ObservationRow> ReadObservationSheet(spreadsheet::SpreadsheetHost& host);

// Selects "观测记录", clears A5:G65536 and writes the rows from row 5, readings in the unit B2
// names and shown to 0.1 mm in it ("0.0000" for metres, "0.0" for millimetres). Throws LevelingError 6 when the rows do not fit the sheet (nothing written then), and
// the host's SpreadsheetError (9 naming the sheet when it is missing).
void WriteObservationSheet(spreadsheet::SpreadsheetHost& host, const std::vector<ObservationRow>& rows);

}  // namespace gaocheng
