#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "workbook/CellStyle.h"
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

// The built levelbook-cli as its own process on the full-sheet route: wall time per run, and
// the peak resident memory of the run (the program or its reader process, whichever is larger).
void BM_CliProcessFullSheet(benchmark::State& state) {
  std::string pattern = (fs::temp_directory_path() / "levelbook-cli-process-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const fs::path dir = pattern;
  const std::string input = WriteRoute(dir, 65000);
  const std::string output = (dir / "out.xlsx").string();
  long peakKiB = 0;
  double cpuSeconds = 0;
  std::uint64_t seed = 1;
  for (auto _ : state) {
    std::vector<std::string> args = {LEVELBOOK_CLI, input, "-o", output, "--seed", std::to_string(seed++)};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, LEVELBOOK_CLI, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      state.SkipWithError("cannot start levelbook-cli");
      break;
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("levelbook-cli failed");
      break;
    }
    peakKiB = std::max(peakKiB, usage.ru_maxrss);  // includes the children it waited for
    // Processor time of the program and its reader processes: on a loaded machine a steadier
    // measure than the wall time.
    cpuSeconds += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  state.counters["cpu_ms"] = cpuSeconds * 1000.0 / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["output_bytes"] = static_cast<double>(fs::exists(output) ? fs::file_size(output) : 0);
  fs::remove_all(dir);
}
BENCHMARK(BM_CliProcessFullSheet)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 20,000 points, once through levelbook-cli and once through the openpyxl peer
// (bench/peers/openpyxl_peer.py) on the same input: the ratio of the two is the speed-up.
void BM_CliRoute20000(benchmark::State& state) { RunCommand(state, 20000); }
BENCHMARK(BM_CliRoute20000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OpenpyxlPeerRoute20000(benchmark::State& state) {
  std::string pattern = (fs::temp_directory_path() / "levelbook-peer-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr || !fs::exists("/usr/bin/python3")) {
    state.SkipWithError("no temporary folder or no python3");
    return;
  }
  const fs::path dir = pattern;
  const std::string input = WriteRoute(dir, 20000);
  const std::string command = std::string("/usr/bin/python3 '") + LEVELBOOK_PEERS_DIR + "/openpyxl_peer.py' '" + input +
                              "' '" + (dir / "peer.xlsx").string() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("the openpyxl peer failed (python3-openpyxl installed?)");
      break;
    }
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_OpenpyxlPeerRoute20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A road route of the size a surveyor types in by hand.
void BM_CliSampleSizedRoute(benchmark::State& state) { RunCommand(state, 42); }
BENCHMARK(BM_CliSampleSizedRoute)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
