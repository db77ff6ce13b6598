#include "workbook/NumberText.h"
#include "leveling/ResultSheet.h"

#include <cmath>

#include "leveling/ClosureDistribution.h"
#include "leveling/Millimetres.h"
#include "leveling/RandomInRange.h"
#include "leveling/ToleranceClass.h"

namespace gaocheng {
namespace {

using Kind = FieldBookRow::Kind;

std::int64_t Micrometres(double metres) { return static_cast<std::int64_t>(spreadsheet::NumberText::RoundHalfEven(metres * 1e6)); }

std::string SignedMm(double mm) {
  const auto whole = static_cast<long long>(mm);
  return whole > 0 ? "+" + std::to_string(whole) : std::to_string(whole);
}

}  // namespace

ResultTable AdjustObservedBook(const ObservedBook& observed, const FieldBookCheck& check,
                               const LevelingSettings& settings) {
  const FieldBook& book = observed.Book;
  const bool byDistance = NeedsRouteLength(settings.ClosureToleranceFormula);
  ResultTable table;
  table.Distributed = check.WithinLimit;
  const std::string closure = "闭合差 " + SignedMm(check.ClosureMm) + " mm";
  if (check.WithinLimit) {
    table.Heading = closure + "，限差 " + check.LimitText + " mm，合格；改正数按" + (byDistance ? "视距" : "测站数") +
                    "成比例分配（整毫米）";
  } else {
    table.Heading = closure + " 超过限差 " + check.LimitText + " mm（超限），未分配改正数：请检查观测记录或重测";
  }

  // Sum of the corrections up to and including set-up k, k = 0 … StationCount.
  std::vector<std::int64_t> upTo(static_cast<std::size_t>(book.StationCount) + 1, 0);
  if (table.Distributed) {
    std::vector<double> weights(static_cast<std::size_t>(book.StationCount), 1.0);
    if (byDistance) {
      for (std::size_t k = 0; k < weights.size() && k < observed.Distances.size(); ++k) {
        weights[k] = observed.Distances[k].Back + observed.Distances[k].Fore;
      }
    }
    const std::vector<std::int64_t> perSetUp =
        DistributeClosure(static_cast<std::int64_t>(check.ClosureMm), weights);
    for (std::size_t k = 0; k < perSetUp.size(); ++k) upTo[k + 1] = upTo[k] + perSetUp[k];
  }

  table.Rows.reserve(book.Rows.size());
  for (std::size_t i = 0; i < book.Rows.size(); ++i) {
    const FieldBookRow& row = book.Rows[i];
    const auto setUp = static_cast<std::size_t>(observed.SetUpOfRow[i]);
    ResultRow& out = table.Rows.emplace_back();
    out.Point = row.RowText;
    std::int64_t correction = 0;
    switch (row.RowKind) {
      case Kind::StartRow:
        out.Observed = row.DesignElevation;
        out.Design = row.DesignElevation;
        break;
      case Kind::TurnPointRow:
        out.Observed = row.TurnPointElevation;
        out.Design = row.DesignElevation;
        correction = upTo[setUp];
        break;
      case Kind::PointRow:
        out.Observed = row.MeasuredElevation;
        out.Design = row.DesignElevation;
        correction = upTo[setUp - 1];
        break;
      case Kind::ClosingRow:
        out.Observed = row.MeasuredElevation;
        out.Design = row.DesignElevation;
        correction = upTo[setUp];
        break;
    }
    if (!table.Distributed) continue;
    out.CorrectionMm = correction;
    const std::int64_t corrected = Micrometres(out.Observed) + correction * 1000;
    out.Corrected = static_cast<double>(corrected) / 1e6;
    if (out.Design != 0) {
      // Whole millimetres as the column shows them, half to even as the closure is rounded: the
      // closing benchmark, left 0.5 mm off its elevation by whole-mm corrections of a 2.5 mm
      // closure, shows 0, not the 1 a whole-mm format would make of 0.5.
      out.DeviationMm = WholeMillimetresOf(static_cast<double>(corrected - Micrometres(out.Design)) / 1e6) + 0.0;  // no −0
    }
  }
  return table;
}

void WriteResultSheet(spreadsheet::SpreadsheetHost& host, const ResultTable& table) {
  host.SelectSheet(kResultSheetName);
  host.ClearContents("A3:F65536");
  host.SetCellValue("A1", table.Heading);
  const char* headers[] = {"点名", "观测高程(m)", "改正数(mm)", "改正后高程(m)", "设计高程(m)", "偏差(mm)"};
  for (int c = 0; c < 6; ++c) host.SetCellValue(std::string(1, static_cast<char>('A' + c)) + "2", std::string(headers[c]));
  int r = kFirstResultRow;
  std::string address;
  const auto put = [&](char column, const spreadsheet::CellValue& value) {
    address.assign(1, column);
    address += std::to_string(r);
    host.SetCellValue(address, value);
  };
  for (const ResultRow& row : table.Rows) {
    put('A', row.Point);
    put('B', RoundToMillionths(row.Observed));
    if (row.CorrectionMm) put('C', static_cast<double>(*row.CorrectionMm));
    if (row.Corrected) put('D', RoundToMillionths(*row.Corrected));
    if (row.Design != 0) put('E', RoundToMillionths(row.Design));
    if (row.DeviationMm) put('F', *row.DeviationMm);
    ++r;
  }
  if (r > kFirstResultRow) {
    const std::string last = std::to_string(r - 1);
    // Elevations carry the 0.1 mm of the readings, so observed plus correction adds up as shown.
    host.SetNumberFormat("B3:B" + last, "0.0000");
    host.SetNumberFormat("C3:C" + last, "0");
    host.SetNumberFormat("D3:D" + last, "0.0000");
    host.SetNumberFormat("E3:E" + last, "0.000");
    host.SetNumberFormat("F3:F" + last, "0");
  }
}

}  // namespace gaocheng
