#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "leveling/FieldBookOutput.h"
#include "leveling/ObservationRow.h"
#include "leveling/Reduction.h"
#include "leveling/ResultSheet.h"
#include "leveling/StationChecks.h"
#include "leveling/ToleranceClass.h"

namespace {

constexpr int kRows = 65000;

// A record of 65,000 rows: every third row a turning point, the others intermediate sights,
// with distances; the run climbs and falls so that it closes near its start.
std::vector<gaocheng::ObservationRow> Record() {
  std::vector<gaocheng::ObservationRow> rows(kRows);
  rows.front().Point = "BM1";
  rows.front().Backsight = 1.5;
  rows.front().BackDistance = 40;
  for (int i = 1; i + 1 < kRows; ++i) {
    gaocheng::ObservationRow& row = rows[static_cast<std::size_t>(i)];
    row.Point = "P" + std::to_string(i);
    if (i % 3 == 0) {
      row.Foresight = 1.2 + (i % 7) * 0.0001;
      row.Backsight = 1.2 + (i % 5) * 0.0001;
      row.ForeDistance = 41.5;
      row.BackDistance = 40.2;
    } else {
      row.MidSight = 2.0345;
    }
  }
  rows.back().Point = "BM2";
  rows.back().Foresight = 1.5;
  rows.back().ForeDistance = 40;
  return rows;
}

gaocheng::ReductionInput Benchmarks() {
  gaocheng::ReductionInput input;
  input.StartName = "BM1";
  input.StartElevation = 100;
  input.EndName = "BM2";
  input.EndElevation = 100;
  for (int i = 1; i < 200; ++i) input.DesignElevations.emplace_back("P" + std::to_string(3 * i + 1), 99.5);
  return input;
}

// The reduction itself, as "实测计算" runs it before writing: heights of instrument, closure
// and limit, sight checks and the distribution of the closure. Target: under 50 ms.
void BM_ReduceObservations_65000Rows(benchmark::State& state) {
  const std::vector<gaocheng::ObservationRow> rows = Record();
  const gaocheng::ReductionInput input = Benchmarks();
  gaocheng::LevelingSettings settings;
  settings.ClosureToleranceFormula = gaocheng::ClosureToleranceFormula::FortyRootL;
  std::size_t results = 0;
  for (auto _ : state) {
    const gaocheng::ObservedBook observed = gaocheng::ReduceObservations(rows, input);
    const gaocheng::FieldBookCheck check = gaocheng::CheckFieldBook(observed.Book, settings);
    const gaocheng::StationCheck stations =
        gaocheng::CheckStations(observed.Distances, gaocheng::StationLimitsFor(settings.ClosureToleranceFormula));
    const gaocheng::ResultTable table = gaocheng::AdjustObservedBook(observed, check, settings);
    results = table.Rows.size();
    benchmark::DoNotOptimize(stations);
  }
  if (results != static_cast<std::size_t>(kRows)) state.SkipWithError("not every row reduced");
  state.counters["rows"] = static_cast<double>(results);
}
BENCHMARK(BM_ReduceObservations_65000Rows)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
