#include "cli/FieldBookCommand.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <ostream>
#include <random>

#include "cli/CommandLine.h"
#include "host/MemoryHost.h"
#include "leveling/FieldBookOutput.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelingModule.h"
#include "leveling/MessageSink.h"
#include "leveling/SettingsValidation.h"
#include "templates/DataFiles.h"
#include "version/Version.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

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

  std::random_device device;
  const std::uint64_t seed = line.Seed ? *line.Seed : gaocheng::DrawSeed(device);
  SilentMessages messages;
  gaocheng::FieldBookResult result;
  try {
    result = module.GenerateFieldBook(host, seed, messages);
  } catch (const spreadsheet::NumberedError& e) {
    err << program << "生成水准表失败（错误 " << e.Number() << "）：" << e.Description() << "\n";
    return kFailed;
  }
  if (!result.Written) {
    err << program << "输入有误，未生成水准表（错误 " << result.FailureNumber << "："
        << result.FailureDescription << "）\n";
    return kFailed;
  }

  try {
    spreadsheet::XlsxExporter::Save(host.GetWorkbook(), line.Output);
  } catch (const spreadsheet::SpreadsheetError& e) {
    err << program << "无法写出输出文件：" << e.Description() << "\n";
    return kFailed;
  }

  for (const std::string& notice : result.Notices) err << program << notice << "\n";
  const gaocheng::FieldBookCheck& check = result.Check;
  out << "已生成水准表：" << line.Output << "\n"
      << "测点 " << result.Points << " 个（含闭合水准点 " << module.Route().Points.back().PointName
      << "），转点 " << result.TurningPoints << " 个，测站 " << result.SetUps << " 个\n"
      << "闭合差 " << Signed(check.ClosureMm) << " mm，限差 " << gaocheng::ToleranceText(result.SetUps)
      << " mm\n"
      << "结论 " << (check.WithinLimit ? "合格" : "超限") << "，随机种子 " << result.Seed << "\n";
  return check.WithinLimit ? kOk : kExceedsLimit;
}

}  // namespace cli
