#include "leveling/ObservationSheet.h"

#include <cmath>
#include <string>

#include "leveling/LevelingError.h"
#include "leveling/LevelingText.h"
#include "leveling/Millimetres.h"
#include "workbook/NumberText.h"
#include "workbook/SpreadsheetError.h"

namespace gaocheng {
namespace {

using spreadsheet::CellValue;
using spreadsheet::SpreadsheetError;
using spreadsheet::SpreadsheetHost;

std::string Address(char column, int row) { return column + std::to_string(row); }

void SelectObservationSheet(SpreadsheetHost& host) {
  try {
    host.SelectSheet(kObservationSheetName);
  } catch (const SpreadsheetError& e) {
    if (e.Number() != SpreadsheetError::kSubscriptOutOfRange) throw;
    throw SpreadsheetError(SpreadsheetError::kSubscriptOutOfRange,
                           std::string("工作簿中没有“") + kObservationSheetName +
                               "”表：实测计算需要该表（用“新建模板”建立的工作簿带有此表）");
  }
}

std::string Quoted(const std::string& text) {
  std::string quoted = CutToCharacters(text, 64);
  if (quoted.size() < text.size()) quoted += "…";
  return quoted;
}

SpreadsheetError NotANumber(const std::string& address, const std::string& content) {
  return SpreadsheetError(SpreadsheetError::kTypeMismatch,
                          "观测记录单元格 " + address + " 的内容“" + Quoted(content) + "”不是数字");
}

bool IsBlank(const CellValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return true;
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr && TrimSpaces(*text).empty();
}

// A number, a text that reads as one, or nothing; anything else (an error value, a formula
// without result, a truth value) is refused naming the cell.
std::optional<double> NumberAt(SpreadsheetHost& host, const std::string& address, const CellValue& value) {
  if (IsBlank(value)) return std::nullopt;
  if (const auto* number = std::get_if<double>(&value)) {
    if (std::isfinite(*number)) return *number;
    throw NotANumber(address, spreadsheet::NumberText::EditText(*number));
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    double parsed = 0;
    if (spreadsheet::NumberText::Read(TrimSpaces(*text), parsed)) return parsed;
    throw NotANumber(address, *text);
  }
  throw NotANumber(address, host.GetCellText(address));
}

std::string TextAt(SpreadsheetHost& host, const std::string& address, const CellValue& value) {
  if (IsBlank(value)) return {};
  if (std::holds_alternative<double>(value)) return host.GetCellText(address);
  if (const auto* text = std::get_if<std::string>(&value)) return TrimSpaces(*text);
  throw SpreadsheetError(SpreadsheetError::kTypeMismatch,
                         "观测记录单元格 " + address + " 的内容“" + Quoted(host.GetCellText(address)) + "”不能作为文字");
}

}  // namespace

bool ReadingsInMillimetres(SpreadsheetHost& host) {
  const CellValue unit = host.GetCellValue("B2");
  const std::string text = IsBlank(unit) ? std::string() : TextAt(host, "B2", unit);
  if (text.empty() || text == "米" || text == "m") return false;
  if (text == "毫米" || text == "mm") return true;
  throw SpreadsheetError(SpreadsheetError::kTypeMismatch,
                         "观测记录单元格 B2（读数单位）的内容“" + Quoted(text) + "”应为“米”或“毫米”");
}

std::vector<ObservationRow> ReadObservationSheet(SpreadsheetHost& host) {
  SelectObservationSheet(host);
  const bool millimetres = ReadingsInMillimetres(host);
  std::vector<ObservationRow> rows;
  for (int r = kFirstObservationRow; r <= kLastObservationRow; ++r) {
    CellValue cells[6];
    bool any = false;
    for (int c = 0; c < 6; ++c) {
      cells[c] = host.GetCellValue(Address(static_cast<char>('A' + c), r));
      any = any || !IsBlank(cells[c]);
    }
    if (!any) {
      // An empty row ends the record; rows typed below it would be left out unseen.
      for (int below = r + 1; below <= kLastObservationRow; ++below) {
        for (char column = 'A'; column <= 'F'; ++column) {
          if (IsBlank(host.GetCellValue(Address(column, below)))) continue;
          throw LevelingError(LevelingError::kInvalidInput,
                              "观测记录第 " + std::to_string(r) + " 行为空，而第 " + std::to_string(below) +
                                  " 行还有数据（" + Address(column, below) + "）：记录中间不能有空行");
        }
      }
      break;
    }
    ObservationRow& row = rows.emplace_back();
    row.SheetRow = r;
    row.Point = TextAt(host, Address('A', r), cells[0]);
    if (row.Point.empty()) {
      throw LevelingError(LevelingError::kInvalidInput,
                          "观测记录第 " + std::to_string(r) + " 行有数据而测点名 A" + std::to_string(r) + " 为空");
    }
    std::optional<double>* readings[] = {&row.Backsight, &row.MidSight, &row.Foresight};
    for (int c = 1; c <= 3; ++c) {
      const std::string address = Address(static_cast<char>('A' + c), r);
      std::optional<double> value = NumberAt(host, address, cells[c]);
      if (!value) continue;
      const double metres = millimetres ? *value / 1000 : *value;
      if (!(metres >= 0 && metres <= kMaxStaffReading)) {
        throw LevelingError(LevelingError::kInvalidInput,
                            "观测记录单元格 " + address + " 的读数 " + spreadsheet::NumberText::EditText(*value) + (millimetres ? " 毫米" : " 米") +
                                "不可能是水准尺读数（应在 0～10 米之内）");
      }
      *readings[c - 1] = metres;
    }
    std::optional<double>* distances[] = {&row.BackDistance, &row.ForeDistance};
    for (int c = 4; c <= 5; ++c) {
      const std::string address = Address(static_cast<char>('A' + c), r);
      std::optional<double> value = NumberAt(host, address, cells[c]);
      if (!value) continue;
      if (!(*value >= 0 && *value <= kMaxSightDistance)) {
        throw LevelingError(LevelingError::kInvalidInput, "观测记录单元格 " + address + " 的视距 " +
                                                              spreadsheet::NumberText::EditText(*value) + " 米不在 0～1000 米之内");
      }
      *distances[c - 4] = *value;
    }
    row.Note = TextAt(host, Address('G', r), host.GetCellValue(Address('G', r)));
  }
  return rows;
}

void WriteObservationSheet(SpreadsheetHost& host, const std::vector<ObservationRow>& rows) {
  SelectObservationSheet(host);
  const bool millimetres = ReadingsInMillimetres(host);
  if (rows.size() > static_cast<std::size_t>(kLastObservationRow - kFirstObservationRow + 1)) {
    throw LevelingError(LevelingError::kOverflow, "观测数据有 " + std::to_string(rows.size()) +
                                                      " 行，观测记录表写不下（最多 65532 行）");
  }
  host.ClearContents("A5:G65536");
  int r = kFirstObservationRow;
  for (const ObservationRow& row : rows) {
    host.SetCellValue(Address('A', r), row.Point);
    const std::optional<double> readings[] = {row.Backsight, row.MidSight, row.Foresight};
    for (int c = 1; c <= 3; ++c) {
      if (!readings[c - 1]) continue;
      const double value = millimetres ? RoundToThousandths(*readings[c - 1] * 1000) : RoundToMillionths(*readings[c - 1]);
      host.SetCellValue(Address(static_cast<char>('A' + c), r), value);
    }
    if (row.BackDistance) host.SetCellValue(Address('E', r), RoundToMillionths(*row.BackDistance));
    if (row.ForeDistance) host.SetCellValue(Address('F', r), RoundToMillionths(*row.ForeDistance));
    if (!row.Note.empty()) host.SetCellValue(Address('G', r), row.Note);
    ++r;
  }
  // Readings shown to 0.1 mm in the unit of B2 (the template's columns show metres).
  if (r > kFirstObservationRow) host.SetNumberFormat("B5:D" + std::to_string(r - 1), millimetres ? "0.0" : "0.0000");
}

}  // namespace gaocheng
