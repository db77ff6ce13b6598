#include <benchmark/benchmark.h>

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

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

// What the reader program's process costs on a small file (the template): the same read in
// this process and through levelbook-read, timed alternately in one loop so that both see the
// same machine; `spawn_ms` is the difference per read (to stay below 5 ms), `bin_true_ms` the
// start of a program that does nothing (/bin/true) in the same loop, `beyond_true_ms` the rest.
void BM_ReaderProcessOverhead(benchmark::State& state) {
  const std::string path = TempFile("small.xlsx");
  XlsxExporter::Save(TemplateLike(), path);
  std::chrono::duration<double, std::milli> spawned{}, inProcess{}, trueProgram{};
  char* const trueArgs[] = {const_cast<char*>("/bin/true"), nullptr};
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(XlsxImporter::Load(path));
    const auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(XlsxImporter::LoadInProcess(path));
    const auto t2 = std::chrono::steady_clock::now();
    // The floor of any spawned reader: starting and waiting for a program that does nothing.
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/bin/true", nullptr, nullptr, trueArgs, environ) == 0) ::waitpid(pid, nullptr, 0);
    const auto t3 = std::chrono::steady_clock::now();
    spawned += t1 - t0;
    inProcess += t2 - t1;
    trueProgram += t3 - t2;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["spawned_ms"] = spawned.count() / n;
  state.counters["in_process_ms"] = inProcess.count() / n;
  state.counters["spawn_ms"] = (spawned - inProcess).count() / n;
  state.counters["bin_true_ms"] = trueProgram.count() / n;
  state.counters["beyond_true_ms"] = (spawned - inProcess - trueProgram).count() / n;
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
