#include "cli/FieldBookCommand.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <exception>
#include <ostream>
#include <random>

#include "workbook/CellAddress.h"
#include "cli/CommandLine.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelingModule.h"
#include "host/MemoryHost.h"
#include "leveling/MessageSink.h"
#include "leveling/SettingsValidation.h"
#include "templates/DataFiles.h"
#include "version/Version.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace cli {

namespace {

// Message boxes of the generation, collected instead of shown.
class CollectedMessages : public gaocheng::MessageSink {
 public:
  struct Message {
    std::string text;
    std::string title;
  };
  void Show(const std::string& text, const std::string& title) override { messages.push_back({text, title}); }
  std::vector<Message> messages;
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

// One line for the terminal: the message boxes break lines with "\r\n" or "\n".
std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    line += text[i] == '\n' ? std::string("：") : std::string(1, text[i]);
  }
  return line;
}

std::string Signed(double mm) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%+.0f", mm);
  return std::string(buf) == "-0" || std::string(buf) == "+0" ? "0" : buf;
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

FieldBookSummary FieldBookCommand::Summarize(const spreadsheet::Workbook& workbook, int points, double closureMm) {
  FieldBookSummary summary;
  summary.Points = points;
  summary.ClosureMm = closureMm;
  const spreadsheet::Worksheet* sheet = workbook.FindSheet(gaocheng::kOutputSheetName);
  if (sheet == nullptr) return summary;
  // Below the start row only turning-point rows carry a backsight (column B); the loop starts
  // at the 0-based index of the row after the start row.
  for (int r = gaocheng::kFirstOutputRow; r < sheet->RowExtent(); ++r) {
    if (spreadsheet::IsNumber(sheet->Value({r, 1}))) ++summary.TurningPoints;
  }
  summary.SetUps = summary.TurningPoints + 1;
  const spreadsheet::CellValue tolerance = sheet->Value(spreadsheet::CellAddress::Parse("I2"));
  if (const auto* text = std::get_if<std::string>(&tolerance)) summary.Tolerance = *text;
  return summary;
}

int FieldBookCommand::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
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

  gaocheng::LevelingModule module;
  module.SetDefaultSettings();
  if (!line.Settings.empty()) {
    std::string message;
    if (!ApplySettings(line.Settings, module.Settings(), message)) {
      err << program << "设置有误：" << message << "\n";
      return kUsage;
    }
  }

  spreadsheet::Workbook workbook;
  try {
    workbook = spreadsheet::XlsxImporter::Load(line.Input);
  } catch (const spreadsheet::SpreadsheetError& e) {
    err << program << "无法读取输入文件：" << e.Description() << "\n";
    return kFailed;
  }
  spreadsheet::MemoryHost host(std::move(workbook));

  gaocheng::RandomEngine engine(line.Seed ? *line.Seed : std::random_device{}());
  CollectedMessages messages;
  try {
    module.GenerateFieldBook(host, engine, messages);
  } catch (const spreadsheet::NumberedError& e) {
    err << program << "生成水准表失败（错误 " << e.Number() << "）：" << e.Description() << "\n";
    return kFailed;
  }
  bool failed = false;
  for (const auto& m : messages.messages) {
    const bool error = m.title == "Error";
    failed = failed || error;
    err << program << (error ? "输入有误，未生成水准表（错误 " : "提示（") << OneLine(m.text) << "）\n";
  }
  if (failed) return kFailed;

  try {
    spreadsheet::XlsxExporter::Save(host.GetWorkbook(), line.Output);
  } catch (const spreadsheet::SpreadsheetError& e) {
    err << program << "无法写出输出文件：" << e.Description() << "\n";
    return kFailed;
  }

  const auto& route = module.Route();
  const auto& closing = route.Points.back();
  const double closureMm = std::round((closing.MeasuredElevation - closing.DesignElevation) * 1000.0);
  const FieldBookSummary s = Summarize(host.GetWorkbook(), static_cast<int>(route.Points.size()), closureMm);
  out << "已生成水准表：" << line.Output << "\n"
      << "测点 " << s.Points << " 个（含闭合水准点 " << closing.PointName << "），转点 " << s.TurningPoints
      << " 个，测站 " << s.SetUps << " 个\n"
      << "闭合差 " << Signed(s.ClosureMm) << " mm，限差 " << s.Tolerance << " mm\n";
  return kOk;
}

}  // namespace cli
