#include "app/ProgramInfo.h"

#include "version/Version.h"

std::optional<std::string> ProgramInfo::Answer(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") return HelpText();
    if (arg == "--version") return VersionText();
  }
  return std::nullopt;
}

std::string ProgramInfo::HelpText() {
  return "用法：levelbook [文件.xlsx]\n"
         "\n"
         "普通水准计算：在“数据输入”表中输入水准路线，“开始计算”生成普通水准测量记录表“水准表”。\n"
         "给出文件时，程序启动后即打开该工作簿，如同先“新建模板”再“打开”该文件。\n"
         "\n"
         "选项：\n"
         "  -h, --help     显示本说明。\n"
         "  --version      显示版本号。\n"
         "  另可使用 Qt 的通用选项，如 -platform offscreen。\n"
         "\n"
         "模板 work.xlsx 依次在 <程序目录>/../share/levelbook/、程序目录和用户数据目录\n"
         "（如 ~/.local/share/levelbook/）中查找。\n"
         "不开窗口批量生成水准表请用 levelbook-cli（见 levelbook-cli --help）。\n";
}

std::string ProgramInfo::VersionText() { return std::string("levelbook ") + levelbook::kVersion + "\n"; }
