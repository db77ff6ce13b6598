#include <benchmark/benchmark.h>

#include <string>

#include "numfmt/NumberFormat.h"
#include "numfmt/NumberFormatCache.h"

namespace {

// A screenful of field-book cells: metres under "0.000", mm under "0", as the grid shows them.
void BM_DisplayThroughCache(benchmark::State& state) {
  spreadsheet::NumberFormatCache cache;
  double x = 101.2345;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache.Display(x, "0.000"));
    benchmark::DoNotOptimize(cache.Display(x * 7, "0"));
    x += 0.001;
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_DisplayThroughCache);

// The static convenience parses the code on every call.
void BM_DisplayParsingEachTime(benchmark::State& state) {
  double x = 101.2345;
  for (auto _ : state) {
    benchmark::DoNotOptimize(spreadsheet::NumberFormat::Display(x, "#,##0.00;[Red]-#,##0.00;\"零\""));
    x += 0.001;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DisplayParsingEachTime);

}  // namespace

BENCHMARK_MAIN();
