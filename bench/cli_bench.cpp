#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <libdeflate.h>

#include <charconv>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "leveling/FieldBook.h"
#include "leveling/LevelingText.h"
#include "leveling/RandomInRange.h"
#include "leveling/RouteInput.h"
#include "workbook/CellStyle.h"
#include "xlsx/read/XmlReader.h"
#include "xlsx/zip/ZipArchive.h"
#include "cli/FieldBookCommand.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"

namespace fs = std::filesystem;

namespace {

// Column H of the input sheet, which the route does not read: nothing, 65,536 numbers, or the
// same numbers as a chain of formulas each reading the cell above, stored without results (as
// a program that computes nothing writes them), so reading the file computes all of them.
enum class Chain { None, Numbers, Formulas };

// An input workbook of `points` route points on gently rolling ground between two benchmarks,
// and an output sheet formatted by column as the template formats it.
std::string WriteRoute(const fs::path& dir, int points, Chain chain = Chain::None) {
  spreadsheet::Workbook book;
  spreadsheet::Worksheet& in = book.AddSheet("数据输入");
  spreadsheet::Worksheet& out = book.AddSheet("水准表");
  in.SetValue({4, 4}, std::string("BM1"));
  in.SetValue({5, 4}, 100.0);
  in.SetValue({4, 5}, std::string("BM2"));
  in.SetValue({5, 5}, 100.2);
  for (int i = 0; i < points; ++i) {
    const int row = 7 + i;
    in.SetValue({row, 0}, "K" + std::to_string(i / 1000) + "+" + std::to_string(i % 1000));
    in.SetValue({row, 1}, static_cast<double>(i % 3 - 1) * 12.5);
    in.SetValue({row, 4}, std::round((100.0 + 0.3 * std::sin(i / 50.0)) * 1000) / 1000);
  }
  for (int row = 0; chain != Chain::None && row < spreadsheet::CellAddress::kMaxRows; ++row) {
    if (chain == Chain::Numbers || row == 0) {
      in.SetValue({row, 7}, static_cast<double>(row + 1));
    } else {
      in.SetFormula({row, 7}, "H" + std::to_string(row) + "+1", spreadsheet::NoStoredResult{});
    }
  }
  spreadsheet::CellStyle metres;
  metres.numberFormat = "0.000";
  const auto metresId = book.InternStyle(metres);
  for (int c = 1; c <= 6; ++c) out.SetColumnStyle(c, metresId);
  spreadsheet::CellStyle millimetres;
  millimetres.numberFormat = "0";
  out.SetColumnStyle(7, book.InternStyle(millimetres));
  const std::string path =
      (dir / ("route-" + std::to_string(points) + "-" + std::to_string(static_cast<int>(chain)) + ".xlsx")).string();
  spreadsheet::XlsxExporter::Save(book, path);
  return path;
}

// levelbook-cli INPUT -o OUTPUT --seed N, in process: read (reader program), generate, write.
// `overBook`: the input already holds a full book in 水准表 (a second 开始计算 on the same file),
// so the writer finds its ranges in a sheet part of some ten megabytes.
void RunCommand(benchmark::State& state, int points, Chain chain = Chain::None, bool overBook = false) {
  std::string pattern = (fs::temp_directory_path() / "levelbook-cli-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const fs::path dir = pattern;
  std::string input = WriteRoute(dir, points, chain);
  const std::string output = (dir / "out.xlsx").string();
  std::uint64_t seed = 1;
  if (overBook) {
    std::ostringstream out, err;
    const std::string first = (dir / "first.xlsx").string();
    if (cli::FieldBookCommand::Run({input, "-o", first, "--seed", "99"}, out, err) != 0) {
      state.SkipWithError(err.str().c_str());
      fs::remove_all(dir);
      return;
    }
    input = first;
  }
  for (auto _ : state) {
    std::ostringstream out, err;
    const int code = cli::FieldBookCommand::Run({input, "-o", output, "--seed", std::to_string(seed++)}, out, err);
    if (code != 0) {
      state.SkipWithError(err.str().c_str());
      break;
    }
  }
  state.counters["points"] = points;
  state.counters["output_bytes"] = static_cast<double>(fs::exists(output) ? fs::file_size(output) : 0);
  fs::remove_all(dir);
}

// 65,000 route points: with the start, the closing benchmark and the turning points the
// field book reaches the last rows of the sheet.
void BM_CliFullSheet(benchmark::State& state) { RunCommand(state, 65000); }
BENCHMARK(BM_CliFullSheet)->Unit(benchmark::kMillisecond)->Iterations(3);
void BM_CliFullSheetOverBook(benchmark::State& state) { RunCommand(state, 65000, Chain::None, true); }
BENCHMARK(BM_CliFullSheetOverBook)->Unit(benchmark::kMillisecond)->Iterations(3);

// The full-sheet route beside a 65,536-row column of numbers, and beside the same column as a
// formula chain without stored results: the difference of the two is what computing the
// chain on reading adds (target: under half a second).
void BM_CliFullSheetNumberColumn(benchmark::State& state) { RunCommand(state, 65000, Chain::Numbers); }
BENCHMARK(BM_CliFullSheetNumberColumn)->Unit(benchmark::kMillisecond)->Iterations(3);
void BM_CliFullSheetFormulaChain(benchmark::State& state) { RunCommand(state, 65000, Chain::Formulas); }
BENCHMARK(BM_CliFullSheetFormulaChain)->Unit(benchmark::kMillisecond)->Iterations(3);

// Running again on a workbook whose "水准表" already holds a full book (the output of a first
// run) against running on the same route with that sheet empty, alternately in one loop: the
// old book is read and then cleared, so `rerun_ratio` is what reading it costs (1.0: nothing).
void BM_CliRerunOnFullBook(benchmark::State& state) {
  std::string pattern = (fs::temp_directory_path() / "levelbook-cli-rerun-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const fs::path dir = pattern;
  const std::string fresh = WriteRoute(dir, 65000);
  const std::string full = (dir / "full.xlsx").string();
  const std::string output = (dir / "out.xlsx").string();
  std::ostringstream out, err;
  if (cli::FieldBookCommand::Run({fresh, "-o", full, "--seed", "1"}, out, err) != 0) {
    state.SkipWithError(err.str().c_str());
    return;
  }
  std::chrono::duration<double, std::milli> freshTime{}, rerunTime{};
  std::uint64_t seed = 2;
  for (auto _ : state) {
    for (const std::string* input : {&fresh, &full}) {
      const auto t0 = std::chrono::steady_clock::now();
      if (cli::FieldBookCommand::Run({*input, "-o", output, "--seed", std::to_string(seed++)}, out, err) != 0) {
        state.SkipWithError(err.str().c_str());
        break;
      }
      (input == &fresh ? freshTime : rerunTime) += std::chrono::steady_clock::now() - t0;
    }
  }
  const double n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["fresh_ms"] = freshTime.count() / n;
  state.counters["rerun_ms"] = rerunTime.count() / n;
  state.counters["rerun_ratio"] = freshTime.count() > 0 ? rerunTime.count() / freshTime.count() : 0;
  fs::remove_all(dir);
}
BENCHMARK(BM_CliRerunOnFullBook)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The program the process benchmarks run: the built one, or LEVELBOOK_BENCH_CLI (another build,
// to compare two versions in one run).
std::string CliProgram() {
  const char* other = std::getenv("LEVELBOOK_BENCH_CLI");
  return other != nullptr && *other != '\0' ? other : LEVELBOOK_CLI;
}

// A finished run of a program as its own process: wall time, processor time and peak resident
// memory (the program or a child it waited for, whichever is larger).
struct ProcessRun {
  bool ok = false;
  double wallSeconds = 0;
  double cpuSeconds = 0;
  long peakKiB = 0;
};

ProcessRun RunProcess(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  ProcessRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.peakKiB = usage.ru_maxrss;
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return run;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// A temporary folder removed with the benchmark.
struct BenchFolder {
  fs::path path;
  BenchFolder() {
    std::string pattern = (fs::temp_directory_path() / "levelbook-cli-process-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~BenchFolder() {
    if (!path.empty()) fs::remove_all(path);
  }
};

// The built levelbook-cli as its own process on a route of `points` points: wall time per run,
// processor time per run (on a loaded machine a steadier measure than the wall time), and the
// peak resident memory of the runs (the program or its reader process, whichever is larger).
void RunProcessRoute(benchmark::State& state, int points) {
  const BenchFolder dir;
  if (dir.path.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string input = WriteRoute(dir.path, points);
  const std::string output = (dir.path / "out.xlsx").string();
  long peakKiB = 0;
  double cpuSeconds = 0;
  std::uint64_t seed = 1;
  for (auto _ : state) {
    const ProcessRun run = RunProcess({CliProgram(), input, "-o", output, "--seed", std::to_string(seed++)});
    if (!run.ok) {
      state.SkipWithError("levelbook-cli failed");
      break;
    }
    peakKiB = std::max(peakKiB, run.peakKiB);
    cpuSeconds += run.cpuSeconds;
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  state.counters["cpu_ms"] = cpuSeconds * 1000.0 / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["output_bytes"] = static_cast<double>(fs::exists(output) ? fs::file_size(output) : 0);
}

// Two programs run in turns, so that both see the same load, `first(i)` and `second(i)` giving
// the i-th run's arguments; the medians of their wall and processor times in seconds. False
// (the benchmark marked failed) when a run failed.
struct TurnMedians {
  double firstWall = 0, secondWall = 0, firstCpu = 0, secondCpu = 0;
};

template <typename First, typename Second>
bool RunInTurns(benchmark::State& state, First first, Second second, TurnMedians& medians) {
  std::vector<double> firstWall, secondWall, firstCpu, secondCpu;
  std::uint64_t turn = 0;
  for (auto _ : state) {
    const ProcessRun a = RunProcess(first(turn));
    const ProcessRun b = RunProcess(second(turn));
    ++turn;
    if (!a.ok || !b.ok) {
      state.SkipWithError("levelbook-cli failed");
      return false;
    }
    firstWall.push_back(a.wallSeconds);
    secondWall.push_back(b.wallSeconds);
    firstCpu.push_back(a.cpuSeconds);
    secondCpu.push_back(b.cpuSeconds);
  }
  medians = {Median(firstWall), Median(secondWall), Median(firstCpu), Median(secondCpu)};
  return true;
}

// The built levelbook-cli against another build of it (LEVELBOOK_COMPARE_CLI, e.g. an older
// commit's), each as its own process on the same route, in turns so that both see the same
// load: `cpu_ratio` is the median processor time of the built one (its reader process
// included) over the other's, `wall_ratio` the same of the wall times (1.1: ten per cent
// slower). Skipped without LEVELBOOK_COMPARE_CLI.
void RunProcessAgainstCompared(benchmark::State& state, int points) {
  const char* other = std::getenv("LEVELBOOK_COMPARE_CLI");
  const BenchFolder dir;
  if (other == nullptr || *other == '\0' || dir.path.empty()) {
    state.SkipWithError("set LEVELBOOK_COMPARE_CLI to the program to compare with");
    return;
  }
  const std::string input = WriteRoute(dir.path, points);
  const std::string output = (dir.path / "out.xlsx").string();
  TurnMedians m;
  const auto run = [&input, &output](const char* program) {
    return [&input, &output, program](std::uint64_t turn) -> std::vector<std::string> {
      return {program, input, "-o", output, "--seed", std::to_string(turn + 1)};
    };
  };
  if (!RunInTurns(state, run(LEVELBOOK_CLI), run(other), m)) return;
  state.counters["cli_ms"] = m.firstWall * 1000;
  state.counters["compared_ms"] = m.secondWall * 1000;
  state.counters["cli_cpu_ms"] = m.firstCpu * 1000;
  state.counters["compared_cpu_ms"] = m.secondCpu * 1000;
  state.counters["wall_ratio"] = m.firstWall / std::max(m.secondWall, 1e-9);
  state.counters["cpu_ratio"] = m.firstCpu / std::max(m.secondCpu, 1e-9);
}

void BM_CliProcessFullSheetAgainstCompared(benchmark::State& state) { RunProcessAgainstCompared(state, 65000); }
BENCHMARK(BM_CliProcessFullSheetAgainstCompared)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(9);
void BM_CliProcessRoute20000AgainstCompared(benchmark::State& state) { RunProcessAgainstCompared(state, 20000); }
BENCHMARK(BM_CliProcessRoute20000AgainstCompared)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(9);

void BM_CliProcessFullSheet(benchmark::State& state) { RunProcessRoute(state, 65000); }
BENCHMARK(BM_CliProcessFullSheet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The longest route whose book still fits the sheet with rolling ground (target: peak memory
// of 80 MiB at most).
void BM_CliProcessLongestRoute(benchmark::State& state) { RunProcessRoute(state, 65528); }
BENCHMARK(BM_CliProcessLongestRoute)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A 100-point route against `levelbook-cli --version`, the cost of starting the program, run
// in turns so that both see the same load: ratio_median is the median of the runs' wall
// times divided by that of the version's (target: at most 4).
void BM_CliProcessRoute100AgainstStart(benchmark::State& state) {
  const BenchFolder dir;
  if (dir.path.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string input = WriteRoute(dir.path, 100);
  const std::string output = (dir.path / "out.xlsx").string();
  TurnMedians m;
  const auto version = [](std::uint64_t) -> std::vector<std::string> { return {CliProgram(), "--version"}; };
  const auto route = [&input, &output](std::uint64_t turn) -> std::vector<std::string> {
    return {CliProgram(), input, "-o", output, "--seed", std::to_string(turn + 1)};
  };
  if (!RunInTurns(state, version, route, m)) return;
  state.counters["route_ms"] = m.secondWall * 1000;
  state.counters["version_ms"] = m.firstWall * 1000;
  state.counters["ratio_median"] = m.secondWall / std::max(m.firstWall, 1e-9);
  // Processor time (the program and its reader process): steadier than the wall on a loaded machine.
  state.counters["ratio_cpu_median"] = m.secondCpu / std::max(m.firstCpu, 1e-9);
}
BENCHMARK(BM_CliProcessRoute100AgainstStart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(21);

// 20,000 points, in process through levelbook-cli.
void BM_CliRoute20000(benchmark::State& state) { RunCommand(state, 20000); }
BENCHMARK(BM_CliRoute20000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The openpyxl peer (bench/peers/openpyxl_peer.py) and levelbook-cli, both as processes on the
// same 20,000-point input, in turns: speedup is the peer's median wall time over the program's
// (target: at least 40).
void BM_OpenpyxlPeerRoute20000(benchmark::State& state) {
  const BenchFolder dir;
  if (dir.path.empty() || !fs::exists("/usr/bin/python3")) {
    state.SkipWithError("no temporary folder or no python3");
    return;
  }
  const std::string input = WriteRoute(dir.path, 20000);
  const std::string peer = std::string(LEVELBOOK_PEERS_DIR) + "/openpyxl_peer.py";
  std::vector<double> peerSeconds, cliSeconds, peerCpu, cliCpu;
  std::uint64_t seed = 1;
  for (auto _ : state) {
    const ProcessRun theirs = RunProcess({"/usr/bin/python3", peer, input, (dir.path / "peer.xlsx").string()});
    if (!theirs.ok) {
      state.SkipWithError("the openpyxl peer failed (python3-openpyxl installed?)");
      break;
    }
    for (int i = 0; i < 3; ++i) {
      const ProcessRun ours =
          RunProcess({CliProgram(), input, "-o", (dir.path / "out.xlsx").string(), "--seed", std::to_string(seed++)});
      if (!ours.ok) {
        state.SkipWithError("levelbook-cli failed");
        return;
      }
      cliSeconds.push_back(ours.wallSeconds);
      cliCpu.push_back(ours.cpuSeconds);
    }
    peerSeconds.push_back(theirs.wallSeconds);
    peerCpu.push_back(theirs.cpuSeconds);
  }
  state.counters["peer_ms"] = Median(peerSeconds) * 1000;
  state.counters["cli_ms"] = Median(cliSeconds) * 1000;
  state.counters["speedup"] = Median(peerSeconds) / std::max(Median(cliSeconds), 1e-9);
  state.counters["cpu_speedup"] = Median(peerCpu) / std::max(Median(cliCpu), 1e-9);
}
BENCHMARK(BM_OpenpyxlPeerRoute20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The floors of a run on the longest route, each the least any program must do for its phase:
// reading the input file, inflating and parsing its route sheet; generating the book from a
// plain grid of values into a plain grid (no addresses, no workbook); building the output
// sheet's XML and deflating it with libdeflate level 1; writing it to a file. The program runs
// as its own process in turn with them; ratio_to_floors is its median wall time over the sum of
// the floors' medians (target: at most 1.5). The output also holds the profile sheet (a row
// for each book row, five columns): ratio_to_floors_with_profile counts its XML and deflate
// among the floors as well (the written file holds both sheets either way).
std::vector<spreadsheet::CellValue> PlainRoute(int points) {
  std::vector<spreadsheet::CellValue> grid(static_cast<std::size_t>(points) * 6);
  for (int i = 0; i < points; ++i) {
    spreadsheet::CellValue* row = &grid[static_cast<std::size_t>(i) * 6];
    row[0] = "K" + std::to_string(i / 1000) + "+" + std::to_string(i % 1000);
    row[1] = static_cast<double>(i % 3 - 1) * 12.5;
    row[4] = std::round((100.0 + 0.3 * std::sin(i / 50.0)) * 1000) / 1000;
  }
  return grid;
}

std::vector<spreadsheet::CellValue> GenerateOnPlainGrid(const std::vector<spreadsheet::CellValue>& input, int points,
                                                        std::uint64_t seed) {
  gaocheng::RouteInput route;
  route.StartBenchmarkName = "BM1";
  route.StartBenchmarkElevation = 100.0;
  route.EndBenchmarkName = "BM2";
  route.EndBenchmarkElevation = 100.2;
  gaocheng::RandomEngine engine(seed);
  char buffer[32];
  for (int i = 0; i < points; ++i) {
    const spreadsheet::CellValue* row = &input[static_cast<std::size_t>(i) * 6];
    gaocheng::RoutePoint& point = route.Points.emplace_back();
    point.PointName = std::get<std::string>(row[0]);
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(row[1])).ptr;
    point.OffsetText = gaocheng::FormatOffset(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
    point.DesignElevation = std::get<double>(row[4]);
    point.MeasuredElevation = point.DesignElevation + gaocheng::RandomInRange(-5, 5, engine) / 1000.0;
  }
  route.Points.push_back({"BM2", "", 100.2, 100.2});
  const gaocheng::FieldBook book = gaocheng::BuildFieldBook(route, gaocheng::LevelingSettings{}, engine);
  std::vector<spreadsheet::CellValue> out(book.Rows.size() * 8);
  for (std::size_t r = 0; r < book.Rows.size(); ++r) {
    const gaocheng::FieldBookRow& row = book.Rows[r];
    spreadsheet::CellValue* cells = &out[r * 8];
    cells[0] = gaocheng::RemoveSpaces(row.RowText);
    cells[1] = row.Backsight;
    cells[3] = row.Foresight;
    cells[4] = row.InstrumentHeight;
    cells[5] = row.MeasuredElevation;
    cells[6] = row.DesignElevation;
    cells[7] = (row.MeasuredElevation - row.DesignElevation) * 1000;
  }
  return out;
}

// Into `xml`, emptied first, in place and without temporaries: the least a sheet's XML costs.
// The caller keeps the string from run to run, so the floor pays no first touch of its memory
// (the program's own buffers are on large pages).
void PlainSheetXml(const std::vector<spreadsheet::CellValue>& grid, int columns, std::string& xml) {
  xml.clear();
  const auto width = static_cast<std::size_t>(columns);
  xml += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet><sheetData>";
  char number[32];
  char row[16];
  for (std::size_t r = 0; r < grid.size() / width; ++r) {
    const std::string_view rowNumber(row, static_cast<std::size_t>(std::to_chars(row, row + sizeof row, r + 5).ptr - row));
    xml += "<row r=\"";
    xml += rowNumber;
    xml += "\">";
    for (int c = 0; c < columns; ++c) {
      const spreadsheet::CellValue& value = grid[r * width + static_cast<std::size_t>(c)];
      const auto* d = std::get_if<double>(&value);
      const auto* text = std::get_if<std::string>(&value);
      if (d == nullptr && text == nullptr) continue;
      xml += "<c r=\"";
      xml += static_cast<char>('A' + c);
      xml += rowNumber;
      if (d != nullptr) {
        xml += "\" s=\"1\"><v>";
        xml.append(number, std::to_chars(number, number + sizeof number, *d).ptr);
        xml += "</v></c>";
      } else {
        xml += "\" t=\"inlineStr\"><is><t>";
        xml += *text;
        xml += "</t></is></c>";
      }
    }
    xml += "</row>";
  }
  xml += "</sheetData></worksheet>";
}

double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The wall time of a phase, and its processor time added to `cpu`.
double SecondsOf(const std::function<void()>& phase, double& cpu) {
  const double cpuStart = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  phase();
  cpu += ProcessorSeconds() - cpuStart;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_CliLongestRouteAgainstFloors(benchmark::State& state) {
  constexpr int kPoints = 65528;
  const BenchFolder dir;
  if (dir.path.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string input = WriteRoute(dir.path, kPoints);
  const std::string output = (dir.path / "out.xlsx").string();
  const std::string floorOutput = (dir.path / "floor.bin").string();
  const std::vector<spreadsheet::CellValue> plainInput = PlainRoute(kPoints);
  std::vector<double> cli, reading, generating, building, profiling, writing, cliCpu, floorsCpu, profileCpu;
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
  std::uint64_t seed = 1;
  std::size_t sink = 0;
  // Kept from run to run (see PlainSheetXml): a sheet's XML, and each sheet deflated.
  std::string xml;
  struct Deflated {
    std::unique_ptr<char[]> bytes;
    std::size_t room = 0, size = 0;
  } bookDeflated, profileDeflated;
  const auto deflate = [&compressor, &xml](Deflated& into) {
    const std::size_t bound = libdeflate_deflate_compress_bound(compressor, xml.size());
    if (into.room < bound) into.bytes.reset(new char[into.room = bound]);
    into.size = libdeflate_deflate_compress(compressor, xml.data(), xml.size(), into.bytes.get(), into.room);
  };
  for (auto _ : state) {
    std::vector<spreadsheet::CellValue> book;
    double cpu = 0;
    reading.push_back(SecondsOf([&] {
      std::ifstream file(input, std::ios::binary);
      auto bytes = std::make_shared<std::string>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      const spreadsheet::ZipArchive archive(bytes);
      for (const auto& entry : archive.Entries()) {
        if (entry.name.rfind("xl/worksheets/", 0) != 0 && entry.name != "xl/sharedStrings.xml") continue;
        const std::string xml = archive.Read(entry);
        spreadsheet::XmlReader reader(xml, entry.name);
        spreadsheet::XmlReader::Attr attributes[8];
        while (reader.Read()) {
          if (reader.Kind() == spreadsheet::XmlReader::Node::Text) {
            sink += reader.Value().size();
          } else if (reader.Kind() == spreadsheet::XmlReader::Node::Start) {
            sink += reader.Name().size() + static_cast<std::size_t>(reader.Attributes(attributes, 8));
          }
        }
      }
    }, cpu));
    generating.push_back(SecondsOf([&] { book = GenerateOnPlainGrid(plainInput, kPoints, seed); }, cpu));
    building.push_back(SecondsOf([&] {
      PlainSheetXml(book, 8, xml);
      deflate(bookDeflated);
    }, cpu));
    // The profile sheet the output carries beside the book: point name, chainage, design
    // elevation, turning point, deviation of each book row; counted apart (profileCpu).
    double profileCpuSeconds = 0;
    profiling.push_back(SecondsOf([&] {
      std::vector<spreadsheet::CellValue> profile(book.size() / 8 * 5);
      for (std::size_t r = 0; r < book.size() / 8; ++r) {
        profile[r * 5] = book[r * 8];
        profile[r * 5 + 1] = static_cast<double>(r) * 20;
        profile[r * 5 + 2] = book[r * 8 + 6];
        profile[r * 5 + 4] = book[r * 8 + 7];
      }
      PlainSheetXml(profile, 5, xml);
      deflate(profileDeflated);
    }, profileCpuSeconds));
    profileCpu.push_back(profileCpuSeconds);
    writing.push_back(SecondsOf([&] {
      std::ofstream file(floorOutput, std::ios::binary | std::ios::trunc);
      file.write(bookDeflated.bytes.get(), static_cast<std::streamsize>(bookDeflated.size));
      file.write(profileDeflated.bytes.get(), static_cast<std::streamsize>(profileDeflated.size));
    }, cpu));
    floorsCpu.push_back(cpu);
    const ProcessRun run = RunProcess({CliProgram(), input, "-o", output, "--seed", std::to_string(seed++)});
    if (!run.ok) {
      state.SkipWithError("levelbook-cli failed");
      break;
    }
    cli.push_back(run.wallSeconds);
    cliCpu.push_back(run.cpuSeconds);
  }
  libdeflate_free_compressor(compressor);
  benchmark::DoNotOptimize(sink);
  const double floors = Median(reading) + Median(generating) + Median(building) + Median(writing);
  state.counters["cli_ms"] = Median(cli) * 1000;
  state.counters["floor_read_ms"] = Median(reading) * 1000;
  state.counters["floor_generate_ms"] = Median(generating) * 1000;
  state.counters["floor_xml_deflate_ms"] = Median(building) * 1000;
  state.counters["floor_write_ms"] = Median(writing) * 1000;
  state.counters["ratio_to_floors"] = Median(cli) / std::max(floors, 1e-9);
  // Processor time of the program (its reader process included) over that of the floors.
  state.counters["cpu_ratio_to_floors"] = Median(cliCpu) / std::max(Median(floorsCpu), 1e-9);
  // The same with the profile sheet's XML and deflate among the floors: the output holds it too.
  state.counters["floor_profile_xml_deflate_ms"] = Median(profiling) * 1000;
  state.counters["ratio_to_floors_with_profile"] = Median(cli) / std::max(floors + Median(profiling), 1e-9);
  state.counters["cpu_ratio_to_floors_with_profile"] =
      Median(cliCpu) / std::max(Median(floorsCpu) + Median(profileCpu), 1e-9);
}
BENCHMARK(BM_CliLongestRouteAgainstFloors)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A road route of the size a surveyor types in by hand.
void BM_CliSampleSizedRoute(benchmark::State& state) { RunCommand(state, 42); }
BENCHMARK(BM_CliSampleSizedRoute)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
