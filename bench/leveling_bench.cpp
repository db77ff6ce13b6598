#include <benchmark/benchmark.h>

#include <string>
#include <utility>

#include "leveling/FieldBook.h"
#include "leveling/FieldBookOutput.h"
#include "bench/FullSheetRoute.h"
#include "leveling/LevelingModule.h"
#include "host/MemoryHost.h"
#include "workbook/Workbook.h"

namespace {

using gaocheng::FieldBook;
using gaocheng::LevelingSettings;
using gaocheng::RandomEngine;
using gaocheng::RouteInput;
using gaocheng::RoutePoint;

using fullsheet::BenchSettings;
using fullsheet::kStepPoints;
using fullsheet::PointElevation;

// The last route point repeats the elevation before it.
RouteInput FullSheetRoute() {
  RouteInput route;
  route.StartBenchmarkName = "BM1";
  route.StartBenchmarkElevation = 0;
  for (int i = 0; i < kStepPoints; ++i) {
    route.Points.push_back(
        RoutePoint{"K" + std::to_string(i), "左5米", PointElevation(i), PointElevation(i) + 0.003});
  }
  const double last = PointElevation(kStepPoints - 1);
  route.Points.push_back(RoutePoint{"BM2", "", last, last});
  route.EndBenchmarkName = "BM2";
  route.EndBenchmarkElevation = last;
  return route;
}

// The same route typed into the input sheet (rows 8 to 32772).
spreadsheet::MemoryHost FullSheetHost() {
  spreadsheet::Workbook workbook;
  workbook.AddSheet("数据输入");
  workbook.AddSheet("水准表");
  spreadsheet::MemoryHost host(std::move(workbook));
  host.SetCellValue("E5", std::string("BM1"));
  host.SetCellValue("E6", 0.0);
  host.SetCellValue("F5", std::string("BM2"));
  host.SetCellValue("F6", PointElevation(kStepPoints - 1));
  for (int i = 0; i < kStepPoints; ++i) {
    const std::string row = std::to_string(8 + i);
    host.SetCellValue("A" + row, "K" + std::to_string(i));
    host.SetCellValue("B" + row, -5.0);
    host.SetCellValue("E" + row, PointElevation(i) + 0.003);
    host.SetCellValue("F" + row, PointElevation(i));
  }
  return host;
}

void BM_BuildFieldBook_FullSheet(benchmark::State& state) {
  const RouteInput route = FullSheetRoute();
  const LevelingSettings settings = BenchSettings();
  RandomEngine engine(1);
  std::size_t rows = 0;
  for (auto _ : state) {
    FieldBook book = gaocheng::BuildFieldBook(route, settings, engine);
    rows = book.Rows.size();
    benchmark::DoNotOptimize(book);
  }
  if (rows != gaocheng::kMaxFieldBookRows) state.SkipWithError("book does not fill the sheet");
  state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_BuildFieldBook_FullSheet)->Unit(benchmark::kMillisecond);

class CountingSink : public gaocheng::MessageSink {
 public:
  void Show(const std::string&, const std::string&) override { ++shown; }
  int shown = 0;
};

void BM_GenerateFieldBook_FullSheet(benchmark::State& state) {
  spreadsheet::MemoryHost host = FullSheetHost();
  gaocheng::LevelingModule module;
  module.Settings() = BenchSettings();
  CountingSink messages;
  for (auto _ : state) {
    module.GenerateFieldBook(host, 1, messages);
  }
  if (messages.shown != 0) state.SkipWithError("generation showed a message");
  if (host.GetCellValue("A65536") != spreadsheet::CellValue("BM2")) {
    state.SkipWithError("book does not fill the sheet");
  }
}
BENCHMARK(BM_GenerateFieldBook_FullSheet)->Unit(benchmark::kMillisecond);

void BM_WriteFieldBook_FullSheet(benchmark::State& state) {
  spreadsheet::MemoryHost host = FullSheetHost();
  RandomEngine engine(1);
  const FieldBook book = gaocheng::BuildFieldBook(FullSheetRoute(), BenchSettings(), engine);
  for (auto _ : state) {
    gaocheng::WriteFieldBook(host, book, BenchSettings(), 1, 0);
  }
}
BENCHMARK(BM_WriteFieldBook_FullSheet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
