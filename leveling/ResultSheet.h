#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/SpreadsheetHost.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingSettings.h"
#include "leveling/Reduction.h"

namespace gaocheng {

// The results sheet of a reduced book: in row 1 what was done (or why nothing was
// distributed), headers in row 2, from row 3 one row per point of the book: 点名, 观测高程(m),
// 改正数(mm), 改正后高程(m), 设计高程(m), 偏差(mm).
inline constexpr const char* kResultSheetName = "成果表";
inline constexpr int kFirstResultRow = 3;

struct ResultRow {
  std::string Point;
  double Observed = 0;                       // metres, to 1 µm
  std::optional<std::int64_t> CorrectionMm;  // none when the closure was not distributed
  std::optional<double> Corrected;           // metres, to 1 µm
  double Design = 0;                         // metres; 0: none
  std::optional<double> DeviationMm;         // corrected minus design, whole mm (half to even)
};

struct ResultTable {
  std::string Heading;  // row 1
  bool Distributed = false;
  std::vector<ResultRow> Rows;
};

// The closure (check.ClosureMm, whole millimetres) distributed when check.WithinLimit: over the
// set-ups by DistributeClosure, weighted by set-up for the √n formulas and by the set-up's
// back plus fore distance for the √L ones. A turning point and the closing benchmark take the
// sum of the corrections up to the set-up that read their foresight, an intermediate point
// its set-up's corrected line of sight (the sum up to the set-up before), the start benchmark
// none. Beyond the limit nothing is distributed and the heading says so.
ResultTable AdjustObservedBook(const ObservedBook& observed, const FieldBookCheck& check,
                               const LevelingSettings& settings);

// Selects "成果表", clears A3:F65536 and writes the heading into A1, the headers into row 2 and
// the rows from row 3. Throws the host's SpreadsheetError (9 when the sheet is missing).
void WriteResultSheet(spreadsheet::SpreadsheetHost& host, const ResultTable& table);

}  // namespace gaocheng
