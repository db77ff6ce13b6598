#include "workbook/CellInput.h"

#include "workbook/NumberText.h"

namespace spreadsheet {

namespace {

// Typed entries follow the one number rule of the route and the settings; a cell never holds
// negative zero.
bool ParseNumber(std::string_view s, double& out) {
  double value = 0;
  if (!ParseDecimal(s, value)) return false;
  out = value == 0 ? 0.0 : value;
  return true;
}

}  // namespace

CellValue CellInput::Parse(std::string_view typed) {
  if (typed.empty()) return std::monostate{};
  if (typed.front() == '\'') return std::string(typed.substr(1));
  double number = 0;
  if (ParseNumber(typed, number)) return number;
  return std::string(typed);
}

std::string CellInput::EditText(const CellValue& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    return FormatGeneral(*number);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    double ignored = 0;
    if (!text->empty() && (text->front() == '\'' || ParseNumber(*text, ignored))) return "'" + *text;
    return *text;
  }
  if (const auto* error = std::get_if<CellError>(&value)) return error->code;
  return {};
}

std::string CellInput::EditText(const Cell* cell) {
  if (!cell) return {};
  if (cell->HasFormula()) return "=" + cell->formula;
  return EditText(cell->value);
}

}  // namespace spreadsheet
