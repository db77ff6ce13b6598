#include "workbook/CellInput.h"

#include "workbook/NumberText.h"

namespace spreadsheet {

CellValue CellInput::Parse(std::string_view typed) {
  if (typed.empty()) return std::monostate{};
  if (typed.front() == '\'') return std::string(typed.substr(1));
  double number = 0;
  if (NumberText::ReadTyped(typed, number)) return number;
  return std::string(typed);
}

std::string CellInput::EditText(const CellValue& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    return NumberText::EditText(*number);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    double ignored = 0;
    if (!text->empty() && (text->front() == '\'' || NumberText::ReadTyped(*text, ignored))) return "'" + *text;
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
