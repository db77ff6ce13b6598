#include "leveling/RouteInput.h"

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

// Why a formula has no value: the functions or names it uses that no calculation here knows,
// the reason it cannot be read (another workbook, a syntax error), or the cells it reads that
// have no value themselves.
std::string UncomputedText(const std::string& address, const std::string& formula) {
  if (formula.empty()) {
    return "单元格 " + address + " 的公式没有计算结果，请在电子表格程序中重新计算后保存";
  }
  const std::string shown = "“=" + CutToCharacters(formula, kQuotedContentWidth) + "”";
  try {
    const spreadsheet::calc::Formula parsed = spreadsheet::calc::Formula::Parse(formula);
    const std::vector<std::string> unknown = parsed.UnknownNames();
    if (!unknown.empty()) {
      std::string names;
      for (const std::string& name : unknown) names += (names.empty() ? "" : "、") + name;
      return "单元格 " + address + " 的公式" + shown + "使用了无法计算的函数或名称 " + names + "，没有计算结果";
    }
  } catch (const SpreadsheetError& e) {
    return "单元格 " + address + " 的公式" + shown + "无法计算：" + e.Description();
  }
  return "单元格 " + address + " 的公式" + shown + "引用了没有计算结果的单元格，无法计算";
}

// A cell's value as the route reads it. An error value or a formula without a value is
// refused naming the cell: neither is a number or a name the route could use. A formula's
// stale number from a file is never taken, since the file's reading computed or dropped it.
CellValue ReadCell(SpreadsheetHost& host, const std::string& address) {
  CellValue value = host.GetCellValue(address);
  if (const auto* error = std::get_if<spreadsheet::CellError>(&value)) {
    throw SpreadsheetError(SpreadsheetError::kTypeMismatch,
                           "单元格 " + address + " 的内容是错误值 " + error->code);
  }
  if (std::holds_alternative<spreadsheet::NoStoredResult>(value)) {
    throw SpreadsheetError(SpreadsheetError::kTypeMismatch, UncomputedText(address, host.GetCellFormula(address)));
  }
  return value;
}

// A finite number gives itself, an empty cell 0, a text that is a number that number; any
// other text, and NaN or an infinity (which a workbook file can carry but no elevation can
// be), is a type mismatch naming the cell.
double ReadNumber(SpreadsheetHost& host, const std::string& address) {
  const CellValue value = ReadCell(host, address);
  if (const auto* number = std::get_if<double>(&value)) {
    if (std::isfinite(*number)) return *number;
    throw NotANumber(address, spreadsheet::NumberText::EditText(*number));
  }
  if (IsEmptyCell(value)) return 0;
  if (const auto* flag = std::get_if<bool>(&value)) throw NotANumber(address, *flag ? "TRUE" : "FALSE");
  const std::string& text = std::get<std::string>(value);
  double parsed = 0;
  if (spreadsheet::NumberText::ReadRoute(text, parsed)) return parsed;
  throw NotANumber(address, text);
}

// A name is the text the sheet shows: a number under its format (a date shows as the date).
std::string ReadName(SpreadsheetHost& host, const std::string& address) {
  ReadCell(host, address);
  return CutToCharacters(TrimSpaces(host.GetCellText(address)), kBenchmarkNameWidth);
}

// A whole number of millimetres between the two tolerances, each made whole first.
double DrawErrorMillimetres(double minusTolerance, double plusTolerance, const char* minusName,
                            const char* plusName, RandomEngine& engine) {
  const std::int32_t low = ToWholeNumber(minusTolerance, minusName);
  const std::int32_t high = ToWholeNumber(plusTolerance, plusName);
  return RandomInRange(low, high, engine);
}

// Whether anything was typed beyond the end of the route: B, E or F of the row with the empty
// A cell, or A, B, E or F of any row below it.
bool HasDataBelow(SpreadsheetHost& host, int endRow) {
  for (char column : {'B', 'E', 'F'}) {
    if (!IsEmptyCell(host.GetCellValue(Address(column, endRow)))) return true;
  }
  for (int row = endRow + 1; row <= kLastSheetRow; ++row) {
    for (char column : {'A', 'B', 'E', 'F'}) {
      if (!IsEmptyCell(host.GetCellValue(Address(column, row)))) return true;
    }
  }
  return false;
}

}  // namespace

std::string DataBelowEndText(int endRow) {
  return "路线在第 " + std::to_string(endRow) + " 行结束（A" + std::to_string(endRow) +
         " 为空），第 " + std::to_string(endRow + 1) + " 行以下还有数据未计入";
}

void ReadRouteInput(SpreadsheetHost& host, const LevelingSettings& settings, RandomEngine& engine,
                    RouteInput& route) {
  route.Points.clear();
  route.EndRow = 0;
  route.DataBelowEnd = false;
  route.SimulatedPoints = 0;
  host.SelectSheet(kInputSheetName);
  route.Project = ReadProjectFields(host);
  route.StartBenchmarkName = ReadName(host, "E5");
  route.StartBenchmarkElevation = ReadNumber(host, "E6");
  route.EndBenchmarkName = ReadName(host, "F5");
  route.EndBenchmarkElevation = ReadNumber(host, "F6");

  for (int row = kFirstRouteRow;; ++row) {
    if (row > kLastSheetRow) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                             "单元格 A" + std::to_string(kFirstRouteRow) + " 至 A" +
                                 std::to_string(kLastSheetRow) +
                                 " 都有内容，路线没有结束：最后一个点之后须留一行空的 A 单元格");
    }
    if (IsEmptyCell(ReadCell(host, Address('A', row)))) {
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
      route.DataBelowEnd = HasDataBelow(host, row);
      return;
    }
    RoutePoint& point = route.Points.emplace_back();
    point.PointName = CutToCharacters(host.GetCellText(Address('A', row)), kPointTextWidth);
    ReadCell(host, Address('B', row));
    point.OffsetText =
        CutToCharacters(FormatOffset(host.GetCellText(Address('B', row))), kPointTextWidth);
    const std::string designAddress = Address('E', row);
    point.DesignElevation = ReadNumber(host, designAddress);
    const std::string measuredAddress = Address('F', row);
    if (IsEmptyCell(ReadCell(host, measuredAddress))) {
      if (point.DesignElevation == 0) {
        // Read as 0 m, such a point would walk the book down to sea level and back.
        const bool empty = IsEmptyCell(host.GetCellValue(designAddress));
        throw LevelingError(LevelingError::kInvalidInput,
                            "单元格 " + designAddress + (empty ? " 为空" : " 为 0") + "：点“" +
                                point.PointName + "”既没有设计高程也没有实测高程");
      }
      const double error = DrawErrorMillimetres(
          settings.MidPointMinusTolerance, settings.MidPointPlusTolerance, "水准中间点负误差",
          "水准中间点正误差", engine);
      point.MeasuredElevation = point.DesignElevation + error / 1000;
      ++route.SimulatedPoints;
    } else {
      point.MeasuredElevation = ReadNumber(host, measuredAddress);
    }
  }
}

}  // namespace gaocheng
