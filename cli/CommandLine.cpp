#include "cli/CommandLine.h"

#include <charconv>
#include <string_view>

#include "leveling/LevelingSettings.h"
#include "workbook/NumberText.h"
#include "leveling/ToleranceClass.h"

namespace cli {

namespace {

std::uint64_t ParseSeed(const std::string& text) {
  std::uint64_t seed = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, seed);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw CommandLine::Error("--seed 需要 0 至 18446744073709551615 之间的整数，而不是“" + text + "”");
  }
  return seed;
}

unsigned ParseJobs(const std::string& text) {
  unsigned jobs = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, jobs);
  if (text.empty() || ec != std::errc() || ptr != end || jobs == 0 || jobs > 1024) {
    throw CommandLine::Error("-j 需要 1 至 1024 之间的整数，而不是“" + text + "”");
  }
  return jobs;
}

std::pair<std::string, std::string> ParseSetting(const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw CommandLine::Error("--set 需要“名称=值”的形式，而不是“" + text + "”");
  }
  return {text.substr(0, equals), text.substr(equals + 1)};
}

// "--name=value" or "--name value"; returns the value and advances i past what it used.
std::string OptionValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg[name.size()] == '=') return arg.substr(name.size() + 1);
  if (i + 1 >= args.size()) throw CommandLine::Error(std::string(name) + " 后缺少参数值");
  return args[++i];
}

bool IsOption(const std::string& arg, std::string_view name) {
  return arg == name || (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=');
}

}  // namespace

CommandLine CommandLine::Parse(const std::vector<std::string>& args) {
  CommandLine line;
  for (const auto& arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") {
      line.Help = true;
      return line;
    }
    if (arg == "--version") {
      line.Version = true;
      return line;
    }
  }
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-o") {
      if (i + 1 >= args.size()) throw Error("-o 后缺少输出文件名");
      line.Output = args[++i];
    } else if (IsOption(arg, "--output-dir")) {
      line.OutputDir = OptionValue(args, i, "--output-dir");
    } else if (IsOption(arg, "--output")) {
      line.Output = OptionValue(args, i, "--output");
    } else if (arg == "-d") {
      if (i + 1 >= args.size()) throw Error("-d 后缺少输出文件夹");
      line.OutputDir = args[++i];
    } else if (arg == "-j") {
      if (i + 1 >= args.size()) throw Error("-j 后缺少并行数");
      line.Jobs = ParseJobs(args[++i]);
    } else if (IsOption(arg, "--jobs")) {
      line.Jobs = ParseJobs(OptionValue(args, i, "--jobs"));
    } else if (IsOption(arg, "--seed")) {
      line.Seed = ParseSeed(OptionValue(args, i, "--seed"));
    } else if (arg == "--sample") {
      line.Sample = true;
    } else if (arg == "--observed") {
      line.Observed = true;
    } else if (IsOption(arg, "--import")) {
      line.Import = OptionValue(args, i, "--import");
      if (line.Import.empty()) throw Error("--import 后缺少观测文件名");
    } else if (IsOption(arg, "--pdf")) {
      line.Pdf = OptionValue(args, i, "--pdf");
      if (line.Pdf.empty()) throw Error("--pdf 后缺少PDF文件名");
    } else if (IsOption(arg, "--set")) {
      line.Settings.push_back(ParseSetting(OptionValue(args, i, "--set")));
    } else {
      throw Error("未知选项“" + arg + "”");
    }
  }
  if (!line.Import.empty() && !line.Observed) throw Error("--import 只能与 --observed 一起使用");
  if (line.Observed && line.Seed) throw Error("--seed 只用于生成水准表，不能与 --observed 同时使用");
  if (!line.OutputDir.empty()) {
    if (!line.Import.empty()) throw Error("--import 不能与 -d 同时使用：一个观测文件只对应一个工作簿");
    if (!line.Output.empty()) throw Error("-o 与 -d 不能同时使用：-d 时每个输出文件与其输入文件同名");
    if (!line.Pdf.empty()) throw Error("--pdf 不能与 -d 同时使用");
    if (line.Sample) throw Error("--sample 不能与 -d 同时使用");
    if (positional.empty()) throw Error("缺少输入文件（INPUT.xlsx…）");
    line.Inputs = positional;
    return line;
  }
  if (line.Sample && !positional.empty()) throw Error("--sample 代替输入文件，不能再给出“" + positional[0] + "”");
  if (positional.empty() && !line.Sample) throw Error("缺少输入文件（INPUT.xlsx）");
  if (positional.size() > 1) {
    throw Error("多个输入文件（“" + positional[1] + "”…）须用 -d OUTDIR 指定输出文件夹");
  }
  if (!line.Sample) line.Input = positional[0];
  if (line.Output.empty()) throw Error("缺少输出文件：请用 -o OUTPUT.xlsx 指定");
  // What is written is an .xlsx package: under another name no program would open it as one.
  std::string ext = line.Output.size() >= 5 ? line.Output.substr(line.Output.size() - 5) : std::string();
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (ext != ".xlsx" && ext != ".xlsm") {
    throw Error("输出文件“" + line.Output + "”的扩展名须为 .xlsx 或 .xlsm");
  }
  return line;
}

std::string CommandLine::HelpText() {
  const gaocheng::LevelingSettings d;
  auto number = [](double v) { return spreadsheet::NumberText::EditText(v); };
  auto flag = [](bool v) { return std::string(v ? "true" : "false"); };
  return "用法：levelbook-cli INPUT.xlsx -o OUTPUT.xlsx [--pdf OUT.pdf] [--seed N] [--set 名称=值]…\n"
         "      levelbook-cli INPUT.xlsx… -d OUTDIR [-j N] [--seed N] [--set 名称=值]…\n"
         "      levelbook-cli --sample -o OUTPUT.xlsx [--pdf OUT.pdf] [--seed N] [--set 名称=值]…\n"
         "      levelbook-cli INPUT.xlsx --observed [--import FILE] -o OUTPUT.xlsx [--set 名称=值]…\n"
         "      levelbook-cli INPUT.xlsx… --observed -d OUTDIR [-j N] [--set 名称=值]…\n"
         "\n"
         "读取工作簿 INPUT.xlsx 的“数据输入”表中的水准路线（E5、E6：起始水准点点名和高程；\n"
         "F5、F6：闭合水准点点名和高程；自第8行起：A列测点，B列偏距，E列设计高程，F列实测高程，\n"
         "A列为空的行结束路线），按“开始计算”的同一方法生成水准表，写入“水准表”（第5行起，\n"
         "I2为闭合差限差），并把整个工作簿保存为 OUTPUT.xlsx。\n"
         "\n"
         "给出 --observed 时不生成模拟读数，而是按“实测计算”计算实测水准：起始、闭合水准点和设计高程\n"
         "取自“数据输入”，观测读数取自“观测记录”表（第5行起：A列测点，B列后视，C列中视，D列前视，\n"
         "E列后视距，F列前视距，G列备注；B2为读数单位“米”或“毫米”），用视线高法计算后写入“水准表”\n"
         "（下方计算校核的最后几行为观测站数、路线长度和视距检核），闭合差合格时按限差公式分配改正数，\n"
         "写入“成果表”。--import FILE 先读入电子水准仪的记录文件（徕卡 GSI-8/GSI-16、天宝 DiNi M5）\n"
         "或与“观测记录”同列的 CSV 文件，写入输出工作簿的“观测记录”（工作簿须有该表）；\n"
         "文件中任何一行无法读取时给出行号和出错的字段，不导入任何数据。\n"
         "\n"
         "给出 -d OUTDIR 时批量处理：每个输入文件的水准表写入 OUTDIR/<输入文件名>，多个文件同时处理，\n"
         "每个文件输出一行摘要（结论：合格、超限或失败），最后输出合计；一个文件失败不影响其他文件。\n"
         "--seed 和 --set 对每个文件都适用。OUTDIR 不能是输入文件所在的文件夹，输入文件不能同名。\n"
         "\n"
         "选项：\n"
         "  -o, --output FILE     输出工作簿（.xlsx），必须给出。任何错误都不会写出文件。\n"
         "  -d, --output-dir OUTDIR  批量处理的输出文件夹，不存在时新建；不能与 -o 同时使用。\n"
         "  --pdf OUT.pdf         另把水准表按工作簿窗口“导出PDF”的同一排版写成 PDF（页眉、页码、\n"
         "                        计算校核不跨页），工作簿有纵断面时最后一页为横向的纵断面图；\n"
         "                        不需要显示器；不能与 -d 同时使用。\n"
         "  -j, --jobs N          批量处理时同时处理的文件数（1 至 1024），默认为处理器核数。\n"
         "  --seed N              随机数种子（0 至 18446744073709551615 的整数）。同一输入和同一种子\n"
         "                        生成完全相同的水准表；不给出时随机抽取一个，并在摘要中给出。\n"
         "  --set 名称=值         修改一项水准设置，可重复。全部设置按“平面水准设置”对话框的规则检查，\n"
         "                        不通过时给出对话框的提示并退出。名称及默认值：\n"
         "      StaffMinReading=" + number(d.StaffMinReading) + "         水准尺最小读数（米）\n"
         "      StaffMaxReading=" + number(d.StaffMaxReading) + "         水准尺最大读数（米）\n"
         "      MidPointMinusTolerance=" + number(d.MidPointMinusTolerance) + "   水准中间点负误差（毫米）\n"
         "      MidPointPlusTolerance=" + number(d.MidPointPlusTolerance) + "     水准中间点正误差（毫米）\n"
         "      ClosureMinusTolerance=" + number(d.ClosureMinusTolerance) + "    水准点闭合负误差（毫米）\n"
         "      ClosurePlusTolerance=" + number(d.ClosurePlusTolerance) + "      水准点闭合正误差（毫米）\n"
         "      QuickTurnValue=" + number(d.QuickTurnValue) + "          水准快速转站值（米），大于0且小于（最大读数-最小读数）/2\n"
         "      TurnPointPrefix=" + d.TurnPointPrefix + "         水准转站点前缀，可为空\n"
         "      ShowTurnPointElevation=" + flag(d.ShowTurnPointElevation) + "  显示转点高程（F列）\n"
         "      MidSightInColumnC=" + flag(d.MidSightInColumnC) + "        显示中间点为前视点：true 写入C列，false 写入D列\n"
         "      ShowReadingsInMetres=" + flag(d.ShowReadingsInMetres) + "     以m为单位显示前后视：false 时B、C、D列为毫米\n"
         "      ClosureToleranceFormula=" + gaocheng::ToleranceFormulaText(d.ClosureToleranceFormula) +
         "  闭合差限差公式：6√n、12√n（n 为测站数）、20√L、30√L、40√L（L 为路线长度，千米，\n"
         "                        由视距求得；没有视距时不能使用）。6√n、20√L 按四等检核视距，其余按等外。\n"
         "                        开关取 true/false（也可用 1/0、yes/no、on/off）。\n"
         "  --observed            计算“观测记录”中的实测读数（见上文），不能与 --seed 同时使用。\n"
         "  --import FILE         与 --observed 一起使用：从电子水准仪记录文件或 CSV 文件导入观测读数。\n"
         "  --sample              以随程序安装的示例路线 sample.xlsx 代替 INPUT.xlsx（依次在\n"
         "                        <程序目录>/../share/levelbook/ 和程序目录中查找）。\n"
         "  -h, --help            显示本说明。\n"
         "  --version             显示版本号。\n"
         "\n"
         "完成后输出摘要：测点数、转点数、测站数、闭合差（毫米）、限差、结论和随机种子。水准表下方\n"
         "另写计算校核（Σ后视、Σ前视、Σ后视−Σ前视、H终−H始、闭合差、限差、结论、随机种子、\n"
         "模拟高程：实测高程由程序模拟的点数）；\n"
         "用同一输入、同一设置和 --seed 随机种子可重新生成同一水准表。路线中间有空行而其下\n"
         "还有数据时，在标准错误上提示。\n"
         "\n"
         "实测计算完成后输出：观测记录行数、测站数、路线长度、闭合差、限差、视距检核和结论。\n"
         "\n"
         "退出码：0 成功；1 输入文件无法读取、数据有误或输出文件无法写出；2 命令行参数或设置有误；\n"
         "        3 已生成水准表，但闭合差超过限差（结论为“超限”）。\n"
         "        批量处理时：任一文件失败为 1，否则任一超限为 3，否则为 0。\n";
}

}  // namespace cli
