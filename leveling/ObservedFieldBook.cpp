#include "leveling/ObservedFieldBook.h"

#include <string>

#include "leveling/ObservationSheet.h"
#include "leveling/ProfileSheet.h"
#include "leveling/Reduction.h"
#include "leveling/ResultSheet.h"
#include "leveling/RouteInput.h"
#include "leveling/ToleranceClass.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {
namespace {

void RequireSheet(spreadsheet::SpreadsheetHost& host, const char* name) {
  try {
    host.SelectSheet(name);
  } catch (const spreadsheet::SpreadsheetError& e) {
    if (e.Number() != spreadsheet::SpreadsheetError::kSubscriptOutOfRange) throw;
    throw spreadsheet::SpreadsheetError(e.Number(), std::string("工作簿中没有“") + name +
                                                        "”表：实测计算需要该表（用“新建模板”建立的工作簿带有此表）");
  }
}

}  // namespace

ObservedResult ComputeObservedBook(spreadsheet::SpreadsheetHost& host, const LevelingSettings& settings,
                                   const std::optional<std::vector<ObservationRow>>& imported) {
  // The benchmarks and design elevations as the generator reads them; its simulated elevations
  // are not used, so the engine's seed does not matter.
  RandomEngine unused(0);
  RouteInput route;
  ReadRouteInput(host, settings, unused, route);
  ReductionInput input;
  input.StartName = route.StartBenchmarkName;
  input.StartElevation = route.StartBenchmarkElevation;
  input.EndName = route.EndBenchmarkName;
  input.EndElevation = route.EndBenchmarkElevation;
  for (std::size_t i = 0; i + 1 < route.Points.size(); ++i) {
    if (route.Points[i].DesignElevation != 0) {
      input.DesignElevations.emplace_back(route.Points[i].PointName, route.Points[i].DesignElevation);
    }
  }

  RequireSheet(host, kObservationSheetName);
  RequireSheet(host, kResultSheetName);
  RequireSheet(host, kOutputSheetName);
  std::vector<ObservationRow> rows;
  if (imported) {
    // Reduced first from the file's rows: nothing is written when they cannot be reduced.
    rows = *imported;
    ReduceObservations(rows, input);
    WriteObservationSheet(host, rows);
  }
  rows = ReadObservationSheet(host);
  const ObservedBook observed = ReduceObservations(rows, input);
  const FieldBookCheck check = CheckFieldBook(observed.Book, settings);
  const StationCheck stations = CheckStations(observed.Distances, StationLimitsFor(settings.ClosureToleranceFormula));
  const ResultTable table = AdjustObservedBook(observed, check, settings);

  std::vector<CheckLine> lines = {{"观测站数", static_cast<double>(observed.Book.StationCount), "0"}};
  ObservedResult result;
  if (observed.Book.RouteMetres) {
    result.RouteKilometres = RouteKilometresShown(*observed.Book.RouteMetres);
    lines.push_back({"路线长度(km)", *result.RouteKilometres, "0.000"});
  }
  lines.push_back({"视距检核", stations.Text, {}});
  result.Check = WriteFieldBook(host, observed.Book, settings, lines, true);
  WriteProjectFields(host, route.Project);
  WriteResultSheet(host, table);
  WriteProfileSheet(host, observed.Book, settings);
  host.SelectSheet(kOutputSheetName);
  result.Rows = static_cast<int>(rows.size());
  result.SetUps = observed.Book.StationCount;
  result.Stations = stations;
  result.Distributed = table.Distributed;
  return result;
}

}  // namespace gaocheng
