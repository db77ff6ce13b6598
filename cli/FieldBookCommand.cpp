#include "cli/FieldBookCommand.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "cli/BatchCommand.h"
#include "cli/CommandLine.h"
#include "host/MemoryHost.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelFileReader.h"
#include "leveling/LevelingModule.h"
#include "leveling/MessageSink.h"
#include "workbook/NumberText.h"
#include "leveling/ObservedFieldBook.h"
#include "leveling/SettingsValidation.h"
#include "leveling/ToleranceClass.h"
#include "templates/DataFiles.h"
#include "version/Version.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "cli/PdfProgram.h"
#include "xlsx/XlsxImporter.h"
#include "xlsx/isolate/HelperProgram.h"
#include "xlsx/isolate/LargePageHeap.h"
#include "xlsx/isolate/ReaderProcess.h"
#include "xlsx/isolate/ReaderSupply.h"

namespace cli {

namespace {

// The generation's message boxes go nowhere: the result carries what they said.
class SilentMessages : public gaocheng::MessageSink {
 public:
  void Show(const std::string&, const std::string&) override {}
};

constexpr std::array<const char*, 8> kItemNames = {
    "StaffMinReading",       "StaffMaxReading",      "MidPointMinusTolerance", "MidPointPlusTolerance",
    "ClosureMinusTolerance", "ClosurePlusTolerance", "QuickTurnValue",         "TurnPointPrefix"};

bool ParseSwitch(const std::string& text, bool& value) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "true" || lower == "1" || lower == "yes" || lower == "on") {
    value = true;
  } else if (lower == "false" || lower == "0" || lower == "no" || lower == "off") {
    value = false;
  } else {
    return false;
  }
  return true;
}

std::string Signed(double mm) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%+.0f", mm);
  return std::string(buf) == "-0" || std::string(buf) == "+0" ? "0" : buf;
}

// One input's book: read, generate, save; what a run prints about it, without the program's name.
struct FileRun {
  int status = FieldBookCommand::kFailed;  // kOk, kExceedsLimit or kFailed
  std::string failure;                     // kFailed: why, one line
  std::vector<std::string> notices;        // after a written book
  std::string counts;                      // "测点 43 个（含闭合水准点 BM2），转点 1 个，测站 2 个"
  std::string closure;                     // "闭合差 +2 mm，限差 ±6√n=±8 mm"
  std::uint64_t seed = 0;
  std::shared_ptr<void> book;              // the workbook read and what was made of it
};

// What a run builds, held together so that a caller may keep it rather than free it.
struct Generation {
  explicit Generation(spreadsheet::Workbook workbook) : host(std::move(workbook)) {}
  spreadsheet::MemoryHost host;
};

// Whether a formula of the workbook, outside the sheet named `skipped`, passes `test` (given
// its text).
template <typename Test>
bool AnyFormula(const spreadsheet::Workbook& wb, std::string_view skipped, Test test) {
  for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
    const spreadsheet::Worksheet& ws = wb.SheetAt(i);
    if (ws.Name() == skipped) continue;
    for (int r = 0; r < ws.RowExtent(); ++r) {
      for (const spreadsheet::Cell& cell : ws.Row(r)) {
        if (cell.HasFormula() && test(cell.formula.view())) return true;
      }
    }
  }
  return false;
}

// Whether a formula outside "水准表" names it: through one, the route could read the book's
// old contents before they are cleared, so such a workbook is read whole. (A formula on that
// sheet itself reaches the route only through one naming it, and is computed again once the
// new book is written.)
bool FormulasNameTheBook(const spreadsheet::Workbook& wb) {
  // A name defined on the book's sheet reaches it from any formula, that sheet's own included.
  const bool named = std::any_of(wb.DefinedNames().begin(), wb.DefinedNames().end(), [](const auto& name) {
    return name.formula.find(gaocheng::kOutputSheetName) != std::string::npos;
  });
  return AnyFormula(wb, named ? std::string_view{} : gaocheng::kOutputSheetName,
                    [named](std::string_view formula) {
                      return named || formula.find(gaocheng::kOutputSheetName) != std::string_view::npos;
                    });
}

std::string ReaderProgram() { return spreadsheet::HelperProgram::Locate(spreadsheet::ReaderProcess::kProgram); }

// Shares nothing with other calls but the readers started ahead (which are for any thread), so
// that a batch runs it on several threads at once. `mainThread`: called on the program's main
// thread, whose blocks come from the main heap (see LargePageHeap::Prefault).
FileRun GenerateFile(const std::string& input, const std::string& output, const gaocheng::LevelingSettings& settings,
                     std::optional<std::uint64_t> seed, spreadsheet::ReaderSupply& readers, bool mainThread) {
  FileRun run;
  spreadsheet::Workbook workbook;
  // The book's area is cleared before the book is written: its old contents are not read.
  spreadsheet::XlsxImporter::Limits limits;
  limits.readers = &readers;
  limits.leftOut = {gaocheng::kOutputSheetName, spreadsheet::CellRange::Parse(gaocheng::kOutputRange)};
  try {
    workbook = spreadsheet::XlsxImporter::Load(input, limits);
    if (FormulasNameTheBook(workbook)) {
      limits.leftOut = {};
      workbook = spreadsheet::XlsxImporter::Load(input, limits);
    }
  } catch (const spreadsheet::SpreadsheetError& e) {
    run.failure = "无法读取输入文件：" + e.Description();
    return run;
  }
  // The generation writes values only, so whether any formula could recompute or read the
  // input sheet is known from the workbook as read.
  const bool formulas = AnyFormula(workbook, {}, [](std::string_view) { return true; });
  auto generation = std::make_shared<Generation>(std::move(workbook));
  run.book = generation;
  // Freed before the save (the route of a long book takes megabytes), once its counts are taken.
  std::optional<gaocheng::LevelingModule> generator(std::in_place);
  gaocheng::LevelingModule& module = *generator;
  module.Settings() = settings;
  spreadsheet::MemoryHost& host = generation->host;

  std::random_device device;
  run.seed = seed ? *seed : gaocheng::DrawSeed(device);
  SilentMessages messages;
  gaocheng::FieldBookResult result;
  try {
    // The route read, the input sheet's cells (some 17 MB for a full sheet) are given back
    // before the book's are made: nothing changes them, and the save copies them from the
    // input as read. Only where no formula could recompute them or read them.
    // The pages the book's and the profile's cells will fill (beyond the input's, reused) are
    // faulted in on the other processor meanwhile: some 500 bytes a point.
    constexpr std::size_t kNewBytesPerPoint = 500;
    std::jthread prefault;  // joined before the save
    const auto releaseInput = [&host, formulas, &prefault, &module, mainThread] {
      spreadsheet::Worksheet* input = host.GetWorkbook().FindSheet(gaocheng::kInputSheetName);
      if (input != nullptr && !formulas && !input->CellsReleased() && !input->MovedSinceOrigin()) {
        input->ReleaseCells();
      }
      if (mainThread) prefault = spreadsheet::LargePageHeap::Prefault(module.Route().Points.size() * kNewBytesPerPoint);
    };
    result = module.GenerateFieldBook(host, run.seed, messages, releaseInput);
  } catch (const spreadsheet::NumberedError& e) {
    run.failure = "生成水准表失败（错误 " + std::to_string(e.Number()) + "）：" + e.Description();
    return run;
  }
  if (!result.Written) {
    run.failure = "输入有误，未生成水准表（错误 " + std::to_string(result.FailureNumber) + "：" +
                  result.FailureDescription + "）";
    return run;
  }

  const std::string counts = "测点 " + std::to_string(result.Points) + " 个（含闭合水准点 " +
                             module.Route().Points.back().PointName + "），转点 " +
                             std::to_string(result.TurningPoints) + " 个，测站 " + std::to_string(result.SetUps) + " 个";
  generator.reset();
  try {
    // Nothing reads the workbook after the save: the sheets saved as read give their cells back first.
    spreadsheet::XlsxExporter::SaveReleasing(host.GetWorkbook(), output);
  } catch (const spreadsheet::SpreadsheetError& e) {
    run.failure = "无法写出输出文件：" + e.Description();
    return run;
  }

  run.notices = result.Notices;
  run.counts = counts;
  run.closure = "闭合差 " + Signed(result.Check.ClosureMm) + " mm，限差 " + result.Check.LimitText + " mm";
  run.status = result.Check.WithinLimit ? FieldBookCommand::kOk : FieldBookCommand::kExceedsLimit;
  return run;
}

// Observation files are a few megabytes at most; a larger one is no level's record.
constexpr std::uintmax_t kMaxImportBytes = 64u << 20;

// The observations of a level's file, or why it cannot be read (one line, naming the line and word).
std::optional<std::vector<gaocheng::ObservationRow>> ImportFile(const std::string& path, std::string& failure) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || !std::filesystem::is_regular_file(path, ec)) {
    failure = "无法读取观测文件“" + path + "”";
    return std::nullopt;
  }
  if (size > kMaxImportBytes) {
    failure = "观测文件“" + path + "”超过 64 MB，不是水准仪的记录文件";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    failure = "无法读取观测文件“" + path + "”";
    return std::nullopt;
  }
  try {
    return gaocheng::ReadObservationFile(text);
  } catch (const spreadsheet::NumberedError& e) {
    failure = "观测文件“" + path + "”无法导入：" + e.Description();
    return std::nullopt;
  }
}

// One input's observations reduced and saved; what a run prints about it.
FileRun ObserveFile(const std::string& input, const std::string& output, const gaocheng::LevelingSettings& settings,
                    const std::string& import, spreadsheet::ReaderSupply& readers) {
  FileRun run;
  std::optional<std::vector<gaocheng::ObservationRow>> imported;
  if (!import.empty()) {
    imported = ImportFile(import, run.failure);
    if (!imported) return run;
  }
  spreadsheet::Workbook workbook;
  spreadsheet::XlsxImporter::Limits limits;
  limits.readers = &readers;
  try {
    workbook = spreadsheet::XlsxImporter::Load(input, limits);
  } catch (const spreadsheet::SpreadsheetError& e) {
    run.failure = "无法读取输入文件：" + e.Description();
    return run;
  }
  auto generation = std::make_shared<Generation>(std::move(workbook));
  run.book = generation;
  spreadsheet::MemoryHost& host = generation->host;
  gaocheng::ObservedResult result;
  try {
    result = gaocheng::ComputeObservedBook(host, settings, imported);
  } catch (const spreadsheet::NumberedError& e) {
    run.failure = "实测计算失败（错误 " + std::to_string(e.Number()) + "）：" + e.Description();
    return run;
  }
  try {
    spreadsheet::XlsxExporter::Save(host.GetWorkbook(), output);
  } catch (const spreadsheet::SpreadsheetError& e) {
    run.failure = "无法写出输出文件：" + e.Description();
    return run;
  }
  run.counts = "观测记录 " + std::to_string(result.Rows) + " 行，测站 " + std::to_string(result.SetUps) + " 个";
  if (result.RouteKilometres) run.counts += "，路线长度 " + spreadsheet::NumberText::FieldBookDecimals(*result.RouteKilometres, 3) + " km";
  run.closure = "闭合差 " + Signed(result.Check.ClosureMm) + " mm，限差 " + result.Check.LimitText + " mm，视距检核 " +
                result.Stations.Text;
  run.status = result.Check.WithinLimit ? FieldBookCommand::kOk : FieldBookCommand::kExceedsLimit;
  return run;
}

}  // namespace

bool FieldBookCommand::ApplySettings(const std::vector<std::pair<std::string, std::string>>& changes,
                                     gaocheng::LevelingSettings& settings, std::string& message) {
  gaocheng::SettingsForm form = gaocheng::SettingsToForm(settings);
  for (const auto& [name, value] : changes) {
    bool found = false;
    for (std::size_t i = 0; i < kItemNames.size(); ++i) {
      if (name == kItemNames[i]) {
        form.Items[i] = value;
        found = true;
      }
    }
    bool* flag = name == "ShowTurnPointElevation" ? &form.ShowTurnPointElevation
                 : name == "MidSightInColumnC"    ? &form.MidSightInColumnC
                 : name == "ShowReadingsInMetres" ? &form.ShowReadingsInMetres
                                                  : nullptr;
    if (name == "ClosureToleranceFormula") {
      form.ToleranceFormula = value;
      found = true;
    }
    if (flag != nullptr && !ParseSwitch(value, *flag)) {
      message = "设置 " + name + " 只能取 true 或 false，而不是“" + value + "”";
      return false;
    }
    if (!found && flag == nullptr) {
      message = "未知的设置名称“" + name + "”（可用名称见 --help）";
      return false;
    }
  }
  const gaocheng::SettingsValidation checked = gaocheng::ValidateSettings(form);
  if (!checked.Saved) {
    message = checked.Message;
    return false;
  }
  settings = checked.Settings;
  message = checked.Message;
  return true;
}

int FieldBookCommand::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                          std::shared_ptr<void>* keep) {
  const char* program = "levelbook-cli: ";
  CommandLine line;
  try {
    line = CommandLine::Parse(args);
  } catch (const CommandLine::Error& e) {
    err << program << e.what() << "\n用法：levelbook-cli INPUT.xlsx -o OUTPUT.xlsx [--seed N] [--set 名称=值]…"
        << "（详见 --help）\n";
    return kUsage;
  }
  if (line.Help) {
    out << CommandLine::HelpText();
    return kOk;
  }
  if (line.Version) {
    out << "levelbook-cli " << levelbook::kVersion << "\n";
    return kOk;
  }
  // A single file's reader starts now and loads while the rest is set up.
  std::optional<spreadsheet::ReaderSupply> readers;
  if (line.OutputDir.empty()) readers.emplace(ReaderProgram(), spreadsheet::ReaderProcess::Limits{}, 1, 1);
  if (line.Sample) {
    const auto sample = templates::DataFiles::Find(templates::DataFiles::kSample,
                                                   templates::DataFiles::Folders(templates::DataFiles::ProgramFolder()));
    if (!sample) {
      err << program << "找不到示例路线 " << templates::DataFiles::kSample
          << "（应在 <程序目录>/../share/levelbook/ 或程序目录中）\n";
      return kFailed;
    }
    line.Input = sample->string();
  }

  gaocheng::LevelingModule defaults;
  defaults.SetDefaultSettings();
  gaocheng::LevelingSettings settings = defaults.Settings();
  if (!line.Settings.empty()) {
    std::string message;
    if (!ApplySettings(line.Settings, settings, message)) {
      err << program << "设置有误：" << message << "\n";
      return kUsage;
    }
  }
  if (!line.OutputDir.empty()) return RunBatch(line, settings, out, err);

  if (line.Observed) {
    const FileRun run = ObserveFile(line.Input, line.Output, settings, line.Import, *readers);
    if (keep) *keep = run.book;
    if (run.status == kFailed) {
      err << program << run.failure << "\n";
      return kFailed;
    }
    out << "已计算实测水准表：" << line.Output << "\n"
        << run.counts << "\n"
        << run.closure << "\n"
        << "结论 " << (run.status == kOk ? "合格" : "超限") << "\n";
    return WritePdf(line, run.status, out, err);
  }
  const FileRun run = GenerateFile(line.Input, line.Output, settings, line.Seed, *readers, true);
  if (keep) *keep = run.book;
  if (run.status == kFailed) {
    err << program << run.failure << "\n";
    return kFailed;
  }
  for (const std::string& notice : run.notices) err << program << notice << "\n";
  out << "已生成水准表：" << line.Output << "\n"
      << run.counts << "\n"
      << run.closure << "\n"
      << "结论 " << (run.status == kOk ? "合格" : "超限") << "，随机种子 " << run.seed << "\n";
  return WritePdf(line, run.status, out, err);
}

int FieldBookCommand::WritePdf(const CommandLine& line, int status, std::ostream& out, std::ostream& err) {
  if (line.Pdf.empty()) return status;
  const std::string failure = PdfProgram::Write(line.Output, line.Pdf);
  if (!failure.empty()) {
    err << "levelbook-cli: " << failure << "\n";
    return kFailed;
  }
  out << "已写出PDF：" << line.Pdf << "\n";
  return status;
}

int FieldBookCommand::RunBatch(const CommandLine& line, const gaocheng::LevelingSettings& settings,
                               std::ostream& out, std::ostream& err) {
  const char* program = "levelbook-cli: ";
  std::vector<std::string> outputs;
  const std::string refusal = BatchCommand::Plan(line.Inputs, line.OutputDir, outputs);
  if (!refusal.empty()) {
    err << program << refusal << "\n";
    return kUsage;
  }
  std::error_code ec;
  std::filesystem::create_directories(line.OutputDir, ec);
  if (!std::filesystem::is_directory(line.OutputDir, ec)) {
    err << program << "无法建立输出文件夹“" << line.OutputDir << "”\n";
    return kFailed;
  }
  const unsigned jobs = line.Jobs.value_or(std::max(1u, std::thread::hardware_concurrency()));
  // One reader ahead of each worker, none beyond the files.
  const std::size_t files = line.Inputs.size();
  spreadsheet::ReaderSupply readers(ReaderProgram(), spreadsheet::ReaderProcess::Limits{},
                                    std::min<std::size_t>(jobs, files), files);
  return BatchCommand::Run(
      line.Inputs, outputs, jobs,
      [&](const std::string& input, const std::string& output) {
        const FileRun run = line.Observed ? ObserveFile(input, output, settings, {}, readers)
                                          : GenerateFile(input, output, settings, line.Seed, readers, false);
        BatchCommand::FileResult result;
        result.notes = run.notices;
        if (run.status == kFailed) {
          result.text = run.failure;
        } else {
          result.verdict = run.status == kOk ? BatchCommand::Verdict::Passed : BatchCommand::Verdict::OutOfTolerance;
          result.text = run.counts + "，" + run.closure;
          if (!line.Observed) result.text += "，随机种子 " + std::to_string(run.seed);
        }
        return result;
      },
      out, err);
}

}  // namespace cli
