#include <benchmark/benchmark.h>

#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "xlsx/FormulaResults.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/isolate/HelperProgram.h"
#include "xlsx/isolate/ReaderProcess.h"
#include "xlsx/isolate/ReaderSupply.h"

namespace {

using namespace spreadsheet;

// A folder for the benchmark's files, removed at exit.
struct BenchDir {
  BenchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "levelbook-xlsx-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    path = pattern;
  }
  ~BenchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

std::string TempFile(const char* name) {
  static const BenchDir dir;
  return dir.path + "/" + name;
}

CellStyle Bordered(const char* format) {
  CellStyle s;
  s.numberFormat = format;
  s.fontName = "宋体";
  s.fontSize = 10;
  s.horizontal = HorizontalAlignment::Center;
  s.left = s.right = s.top = s.bottom = {BorderStyle::Thin, 0};
  return s;
}

// The two sheets of the template: captions, merged title, widths, a few input rows.
Workbook TemplateLike() {
  Workbook wb;
  const std::uint32_t title = [&] {
    CellStyle s = Bordered("General");
    s.bold = true;
    s.fontSize = 16;
    return wb.InternStyle(s);
  }();
  const std::uint32_t text = wb.InternStyle(Bordered("@"));
  const std::uint32_t mm = wb.InternStyle(Bordered("0.000"));
  Worksheet& in = wb.AddSheet("数据输入");
  in.AddMerge(CellRange::Parse("A1:F1"));
  in.SetValue(CellAddress::Parse("A1"), std::string("普通水准测量数据输入"));
  in.SetStyle(CellAddress::Parse("A1"), title);
  for (int c = 0; c < 6; ++c) in.SetColumnWidth(c, 12.57);
  const char* heads[] = {"点名", "偏距", "备注", "", "设计高程", "实测高程"};
  for (int c = 0; c < 6; ++c) {
    in.SetValue(CellAddress{6, c}, std::string(heads[c]));
    in.SetStyle(CellAddress{6, c}, text);
  }
  for (int r = 7; r < 40; ++r) {
    in.SetValue(CellAddress{r, 0}, "K0+" + std::to_string(r * 20));
    in.SetValue(CellAddress{r, 4}, 100.0 + r * 0.137);
    in.SetStyle(CellAddress{r, 4}, mm);
  }
  Worksheet& out = wb.AddSheet("水准表");
  out.AddMerge(CellRange::Parse("A1:I1"));
  out.SetValue(CellAddress::Parse("A1"), std::string("普通水准表格"));
  out.SetStyle(CellAddress::Parse("A1"), title);
  for (int c = 0; c < 9; ++c) {
    out.SetColumnWidth(c, 10.71);
    out.SetColumnStyle(c, mm);
  }
  out.Print().repeatRowsFirst = 0;
  out.Print().repeatRowsLast = 3;
  out.Print().fitToWidth = 1;
  return wb;
}

// A field book that fills the output sheet: 65,532 rows from row 5, columns A to I.
Workbook FullFieldBook() {
  Workbook wb = TemplateLike();
  Worksheet& out = wb.SheetAt(1);
  std::mt19937_64 rng(20240607);
  std::uniform_int_distribution<int> reading(300, 4700);
  double elevation = 100.0;
  for (int r = 4; r < 4 + 65532; ++r) {
    const double back = reading(rng) / 1000.0;
    const double fore = reading(rng) / 1000.0;
    const double sight = elevation + back;
    elevation = sight - fore;
    out.SetValue(CellAddress{r, 0}, "ZD" + std::to_string(r - 3));
    out.SetValue(CellAddress{r, 1}, back);
    out.SetValue(CellAddress{r, 2}, fore);
    out.SetValue(CellAddress{r, 3}, fore - back);
    out.SetValue(CellAddress{r, 4}, sight);
    out.SetValue(CellAddress{r, 5}, elevation);
    out.SetValue(CellAddress{r, 6}, elevation + 0.012);
    out.SetValue(CellAddress{r, 7}, -12.0 + (r % 25));
    out.SetValue(CellAddress{r, 8}, r % 2 ? std::string("右3.5米") : std::string("中"));
  }
  return wb;
}

void BM_ImportTemplate(benchmark::State& state) {
  const std::string path = TempFile("template.xlsx");
  XlsxExporter::Save(TemplateLike(), path);
  for (auto _ : state) benchmark::DoNotOptimize(XlsxImporter::Load(path));
}
BENCHMARK(BM_ImportTemplate)->Unit(benchmark::kMillisecond);

// Processor time (user and system) of this process and of its children waited for.
std::chrono::duration<double, std::milli> CpuTime(int who) {
  rusage u{};
  ::getrusage(who, &u);
  const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
  return std::chrono::duration<double, std::milli>(ms(u.ru_utime) + ms(u.ru_stime));
}

// What the reader program's process adds to the read of a small file (the template): the same
// read in this process (with the results settled, as Load does) and through levelbook-read,
// timed alternately in one loop so that all see the same machine. Two ways of starting the
// reader: at need (`spawn_ms`: started for the file) and ahead of need (`warm_spawn_ms`: taken
// from a ReaderSupply, which starts the next reader once this one has answered, as in the
// window and a batch); each the difference per read from the read in this process (the
// target: below 5 ms). `bin_true_ms` is the start of a program that does nothing (/bin/true) in the same
// loop, `beyond_true_ms` what the reader started at need costs beyond it. The `_cpu_ms`
// counters give the same in processor time of all processes (a reader started ahead is
// counted with the read that uses it), the `_min_ms` ones from the fastest of each kind of
// read: both steadier than the mean wall time on a loaded machine, the minimum the nearest to
// an idle one. LEVELBOOK_COMPARE_READER names another build's reader program (the same
// answer on the same input, started at need), timed in the same loop as `compare_`: a
// change's before and after in one run.
void BM_ReaderProcessOverhead(benchmark::State& state) {
  const std::string path = TempFile("small.xlsx");
  XlsxExporter::Save(TemplateLike(), path);
  using Ms = std::chrono::duration<double, std::milli>;
  struct Timed {
    Ms wall{}, cpu{}, fastest{Ms::max()};
  };
  XlsxImporter::Limits compare;
  if (const char* other = std::getenv("LEVELBOOK_COMPARE_READER")) compare.reader = other;
  ReaderSupply readers(HelperProgram::Locate(ReaderProcess::kProgram), ReaderProcess::Limits{}, 1);
  XlsxImporter::Limits warmLimits;
  warmLimits.readers = &readers;
  Timed spawned, warm, inProcess, trueProgram, compared;
  // Wall and processor time of `run`, processor time of this process and its children.
  const auto time = [](Timed& into, const auto& run) {
    const Ms cpu0 = CpuTime(RUSAGE_SELF) + CpuTime(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    run();
    const Ms took = std::chrono::steady_clock::now() - t0;
    into.wall += took;
    into.fastest = std::min(into.fastest, took);
    into.cpu += CpuTime(RUSAGE_SELF) + CpuTime(RUSAGE_CHILDREN) - cpu0;
  };
  char* const trueArgs[] = {const_cast<char*>("/bin/true"), nullptr};
  for (auto _ : state) {
    time(spawned, [&] { benchmark::DoNotOptimize(XlsxImporter::Load(path)); });
    time(inProcess, [&] {
      Workbook wb = XlsxImporter::LoadInProcess(path);
      FormulaResults::Settle(wb);
      benchmark::DoNotOptimize(wb);
    });
    time(warm, [&] { benchmark::DoNotOptimize(XlsxImporter::Load(path, warmLimits)); });
    // The floor of any spawned reader: starting and waiting for a program that does nothing.
    time(trueProgram, [&] {
      pid_t pid = 0;
      if (::posix_spawn(&pid, "/bin/true", nullptr, nullptr, trueArgs, environ) == 0) ::waitpid(pid, nullptr, 0);
    });
    if (!compare.reader.empty()) time(compared, [&] { benchmark::DoNotOptimize(XlsxImporter::Load(path, compare)); });
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["spawned_ms"] = spawned.wall.count() / n;
  state.counters["in_process_ms"] = inProcess.wall.count() / n;
  state.counters["spawn_ms"] = (spawned.wall - inProcess.wall).count() / n;
  state.counters["warm_spawn_ms"] = (warm.wall - inProcess.wall).count() / n;
  state.counters["bin_true_ms"] = trueProgram.wall.count() / n;
  state.counters["beyond_true_ms"] = (spawned.wall - inProcess.wall - trueProgram.wall).count() / n;
  state.counters["spawn_cpu_ms"] = (spawned.cpu - inProcess.cpu).count() / n;
  state.counters["warm_spawn_cpu_ms"] = (warm.cpu - inProcess.cpu).count() / n;
  state.counters["bin_true_cpu_ms"] = trueProgram.cpu.count() / n;
  state.counters["spawn_min_ms"] = (spawned.fastest - inProcess.fastest).count();
  state.counters["warm_spawn_min_ms"] = (warm.fastest - inProcess.fastest).count();
  state.counters["bin_true_min_ms"] = trueProgram.fastest.count();
  if (!compare.reader.empty()) {
    state.counters["compare_spawn_ms"] = (compared.wall - inProcess.wall).count() / n;
    state.counters["compare_spawn_cpu_ms"] = (compared.cpu - inProcess.cpu).count() / n;
    state.counters["compare_spawn_min_ms"] = (compared.fastest - inProcess.fastest).count();
  }
}
BENCHMARK(BM_ReaderProcessOverhead)->Unit(benchmark::kMillisecond);

void BM_ImportFullFieldBook(benchmark::State& state) {
  const std::string path = TempFile("fieldbook.xlsx");
  XlsxExporter::Save(FullFieldBook(), path);
  for (auto _ : state) benchmark::DoNotOptimize(XlsxImporter::Load(path));
}
BENCHMARK(BM_ImportFullFieldBook)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportFullFieldBook(benchmark::State& state) {
  const Workbook wb = FullFieldBook();
  const std::string path = TempFile("export.xlsx");
  for (auto _ : state) XlsxExporter::Save(wb, path);
}
BENCHMARK(BM_ExportFullFieldBook)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// The save as the CLI does it: a field book read from its file, every cell of "水准表"
// rewritten, saved back as a patched package.
void BM_SaveReadFullFieldBook(benchmark::State& state) {
  const std::string path = TempFile("read-full.xlsx");
  XlsxExporter::Save(FullFieldBook(), path);
  Workbook wb = XlsxImporter::Load(path);
  Worksheet& out = wb.SheetAt(wb.SheetCount() - 1);
  out.SetValue(CellAddress{4, 0}, std::string("changed"));
  const std::string saved = TempFile("saved-full.xlsx");
  for (auto _ : state) XlsxExporter::Save(wb, saved);
}
BENCHMARK(BM_SaveReadFullFieldBook)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
