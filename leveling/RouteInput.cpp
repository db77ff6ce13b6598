#include "leveling/RouteInput.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "calc/Formula.h"
#include "leveling/LevelingError.h"
#include "leveling/LevelingText.h"
#include "workbook/NumberText.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using spreadsheet::SpreadsheetError;
using spreadsheet::SpreadsheetHost;

constexpr std::size_t kBenchmarkNameWidth = 16;
constexpr std::size_t kPointTextWidth = 64;
constexpr std::size_t kQuotedContentWidth = 64;
constexpr int kLastSheetRow = 65536;

std::string Address(char column, int row) { return column + std::to_string(row); }

bool IsEmptyCell(const CellValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return true;
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr && text->empty();
}

SpreadsheetError NotANumber(const std::string& address, const std::string& content) {
  std::string quoted = CutToCharacters(content, kQuotedContentWidth);
  if (quoted.size() < content.size()) quoted += "…";
  return SpreadsheetError(SpreadsheetError::kTypeMismatch,
                          "单元格 " + address + " 的内容“" + quoted + "”不是数字");
}

// A formula as spreadsheet programs show it: without the "_xlfn." and "_xlws." that files put
// before the names of newer functions (outside string literals).
std::string WithoutFilePrefixes(const std::string& formula) {
  std::string shown;
  bool inString = false;
  for (std::size_t i = 0; i < formula.size(); ++i) {
    if (formula[i] == '"') inString = !inString;
    if (!inString && formula[i] == '_' && i + 6 <= formula.size()) {
      std::string prefix = formula.substr(i, 6);
      for (char& c : prefix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (prefix == "_xlfn." || prefix == "_xlws.") {
        i += 5;
        continue;
      }
    }
    shown += formula[i];
  }
  return shown;
}

// Why a formula has no value: the functions or names it uses that no calculation here knows,
// the reason it cannot be read (another workbook, a syntax error), or the cells it reads that
// have no value themselves.
std::string UncomputedText(const std::string& address, const std::string& formula) {
  if (formula.empty()) {
    return "单元格 " + address + " 的公式没有计算结果，请在电子表格程序中重新计算后保存";
  }
  // Read as shown, so that a position in a message counts the characters the user sees.
  const std::string text = WithoutFilePrefixes(formula);
  const std::string shown = "“=" + CutToCharacters(text, kQuotedContentWidth) + "”";
  try {
    const spreadsheet::calc::Formula parsed = spreadsheet::calc::Formula::Parse(text);
    const std::vector<std::string> unknown = parsed.UnknownNames();
    if (!unknown.empty()) {
      std::string names;
      for (const std::string& name : unknown) names += (names.empty() ? "" : "、") + name;
      return "单元格 " + address + " 的公式" + shown + "使用了本程序无法计算的函数或名称 " + names +
             "，请在电子表格程序中改用常用函数或数值";
    }
  } catch (const SpreadsheetError& e) {
    return "单元格 " + address + " 的公式" + shown + "无法计算：" + e.Description();
  }
  return "单元格 " + address + " 的公式" + shown + "引用了没有计算结果的单元格，无法计算";
}

constexpr int kBlockRows = 4096;  // rows read per call: a short route reads one block of its stored rows

// The route's cells A:B (with their displayed texts) and E:F, read a block of rows at a time.
class RouteCells {
 public:
  explicit RouteCells(SpreadsheetHost& host) : host_(host) {}

  // Sheet row (1-based), column letter among A, B, E, F.
  const CellValue& Value(char column, int row) {
    Load(row);
    return column <= 'B' ? names_.Value(row - 1, column - 'A') : numbers_.Value(row - 1, column - 'A');
  }
  const std::string& Text(char column, int row) {
    Load(row);
    return names_.Text(row - 1, column - 'A');
  }

 private:
  void Load(int row) {
    if (loaded_ && row - 1 >= names_.range.first.row && row - 1 <= names_.range.last.row) return;
    const std::string first = std::to_string(row);
    const std::string last = std::to_string(std::min(row + kBlockRows - 1, kLastSheetRow));
    names_ = host_.ReadBlock("A" + first + ":B" + last, true);
    numbers_ = host_.ReadBlock("E" + first + ":F" + last, false);
    loaded_ = true;
  }

  SpreadsheetHost& host_;
  spreadsheet::CellBlock names_;
  spreadsheet::CellBlock numbers_;
  bool loaded_ = false;
};

// A cell's value as the route reads it. An error value or a formula without a value is
// refused naming the cell: neither is a number or a name the route could use. A formula's
// stale number from a file is never taken, since the file's reading computed or dropped it.
const CellValue& CheckedValue(SpreadsheetHost& host, const CellValue& value, const std::string& address) {
  if (const auto* error = std::get_if<spreadsheet::CellError>(&value)) {
    throw SpreadsheetError(SpreadsheetError::kTypeMismatch,
                           "单元格 " + address + " 的内容是错误值 " + error->code);
  }
  if (std::holds_alternative<spreadsheet::NoStoredResult>(value)) {
    throw SpreadsheetError(SpreadsheetError::kTypeMismatch, UncomputedText(address, host.GetCellFormula(address)));
  }
  return value;
}

// As CheckedValue, the address written out only for a message.
const CellValue& CheckedValue(SpreadsheetHost& host, const CellValue& value, char column, int row) {
  if (std::holds_alternative<spreadsheet::CellError>(value) || std::holds_alternative<spreadsheet::NoStoredResult>(value)) {
    CheckedValue(host, value, Address(column, row));
  }
  return value;
}

// A finite number gives itself, an empty cell 0, a text that is a number that number; any
// other text, and NaN or an infinity (which a workbook file can carry but no elevation can
// be), is a type mismatch naming the cell.
double NumberOf(const CellValue& value, char column, int row) {
  if (const auto* number = std::get_if<double>(&value)) {
    if (std::isfinite(*number)) return *number;
    throw NotANumber(Address(column, row), spreadsheet::NumberText::EditText(*number));
  }
  if (IsEmptyCell(value)) return 0;
  if (const auto* flag = std::get_if<bool>(&value)) throw NotANumber(Address(column, row), *flag ? "TRUE" : "FALSE");
  const std::string& text = std::get<std::string>(value);
  double parsed = 0;
  if (spreadsheet::NumberText::ReadRoute(text, parsed)) return parsed;
  throw NotANumber(Address(column, row), text);
}

// A name is the text the sheet shows: a number under its format (a date shows as the date).
std::string ReadName(SpreadsheetHost& host, const std::string& address) {
  CheckedValue(host, host.GetCellValue(address), address);
  return CutToCharacters(TrimSpaces(host.GetCellText(address)), kBenchmarkNameWidth);
}

// A whole number of millimetres between the two tolerances, each made whole first.
double DrawErrorMillimetres(double minusTolerance, double plusTolerance, const char* minusName,
                            const char* plusName, RandomEngine& engine) {
  const std::int32_t low = ToWholeNumber(minusTolerance, minusName);
  const std::int32_t high = ToWholeNumber(plusTolerance, plusName);
  return RandomInRange(low, high, engine);
}

// The first cell, row by row, typed beyond the end of the route: B, E or F of the row with the
// empty A cell, or A, B, E or F of any row below it; empty when there is none. Reads blocks of
// the stored rows only.
std::string FirstCellBelow(SpreadsheetHost& host, int endRow) {
  for (int first = endRow; first <= kLastSheetRow; first += kBlockRows) {
    const int last = std::min(first + kBlockRows - 1, kLastSheetRow);
    const spreadsheet::CellBlock block =
        host.ReadBlock("A" + std::to_string(first) + ":F" + std::to_string(last), false);
    for (int r = 0; r < block.rows; ++r) {
      for (int column : {0, 1, 4, 5}) {
        if (!IsEmptyCell(block.values[static_cast<std::size_t>(r * 6 + column)])) {
          return Address(static_cast<char>('A' + column), first + r);
        }
      }
    }
    if (!block.Complete()) return {};
  }
  return {};
}

// A benchmark's known elevation. An empty cell is refused: read as 0 m, the book would walk
// to sea level and close there, judged within its tolerance (a typed 0 is taken).
double ReadBenchmarkElevation(SpreadsheetHost& host, char column, const char* which,
                              const std::string& name) {
  const std::string address = Address(column, 6);
  const CellValue value = host.GetCellValue(address);
  CheckedValue(host, value, address);
  if (IsEmptyCell(value)) {
    throw LevelingError(
        LevelingError::kInvalidInput,
        "单元格 " + address + " 为空：" + which + (name.empty() ? "" : "“" + name + "”") + "没有已知高程");
  }
  return NumberOf(value, column, 6);
}

}  // namespace

std::string DataBelowEndText(int endRow, const std::string& firstLeftBehind) {
  const std::string end =
      "路线在第 " + std::to_string(endRow) + " 行结束（A" + std::to_string(endRow) + " 为空），";
  if (!firstLeftBehind.empty() && firstLeftBehind.substr(1) == std::to_string(endRow)) {
    return end + firstLeftBehind + " 还有数据未计入";
  }
  return end + "第 " + std::to_string(endRow + 1) + " 行以下还有数据未计入";
}

void ReadRouteInput(SpreadsheetHost& host, const LevelingSettings& settings, RandomEngine& engine,
                    RouteInput& route) {
  route.Points.clear();
  route.EndRow = 0;
  route.DataBelowEnd = false;
  route.FirstLeftBehind.clear();
  route.SimulatedPoints = 0;
  host.SelectSheet(kInputSheetName);
  route.Project = ReadProjectFields(host);
  route.StartBenchmarkName = ReadName(host, "E5");
  route.StartBenchmarkElevation = ReadBenchmarkElevation(host, 'E', "起始水准点", route.StartBenchmarkName);
  route.EndBenchmarkName = ReadName(host, "F5");
  route.EndBenchmarkElevation = ReadBenchmarkElevation(host, 'F', "闭合水准点", route.EndBenchmarkName);

  RouteCells cells(host);
  for (int row = kFirstRouteRow;; ++row) {
    if (row > kLastSheetRow) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                             "单元格 A" + std::to_string(kFirstRouteRow) + " 至 A" +
                                 std::to_string(kLastSheetRow) +
                                 " 都有内容，路线没有结束：最后一个点之后须留一行空的 A 单元格");
    }
    if (IsEmptyCell(CheckedValue(host, cells.Value('A', row), 'A', row))) {
      RoutePoint closing;
      closing.PointName = route.EndBenchmarkName;
      closing.DesignElevation = route.EndBenchmarkElevation;
      const double error = DrawErrorMillimetres(
          settings.ClosureMinusTolerance, settings.ClosurePlusTolerance, "水准点闭合负误差",
          "水准点闭合正误差", engine);
      closing.MeasuredElevation = route.EndBenchmarkElevation + error / 1000;
      ++route.SimulatedPoints;
      route.Points.push_back(std::move(closing));
      route.EndRow = row;
      route.FirstLeftBehind = FirstCellBelow(host, row);
      route.DataBelowEnd = !route.FirstLeftBehind.empty();
      return;
    }
    RoutePoint& point = route.Points.emplace_back();
    point.PointName = CutToCharacters(cells.Text('A', row), kPointTextWidth);
    CheckedValue(host, cells.Value('B', row), 'B', row);
    point.OffsetText = CutToCharacters(FormatOffset(cells.Text('B', row)), kPointTextWidth);
    const CellValue& design = CheckedValue(host, cells.Value('E', row), 'E', row);
    point.DesignElevation = NumberOf(design, 'E', row);
    const CellValue& measured = CheckedValue(host, cells.Value('F', row), 'F', row);
    if (IsEmptyCell(measured)) {
      if (point.DesignElevation == 0) {
        // Read as 0 m, such a point would walk the book down to sea level and back.
        throw LevelingError(LevelingError::kInvalidInput,
                            "单元格 " + Address('E', row) + (IsEmptyCell(design) ? " 为空" : " 为 0") + "：点“" +
                                point.PointName + "”既没有设计高程也没有实测高程");
      }
      const double error = DrawErrorMillimetres(
          settings.MidPointMinusTolerance, settings.MidPointPlusTolerance, "水准中间点负误差",
          "水准中间点正误差", engine);
      point.MeasuredElevation = point.DesignElevation + error / 1000;
      ++route.SimulatedPoints;
    } else {
      point.MeasuredElevation = NumberOf(measured, 'F', row);
    }
  }
}

}  // namespace gaocheng
