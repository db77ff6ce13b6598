#include "workbook/CellInput.h"

#include "workbook/NumberText.h"

namespace spreadsheet {

namespace {

// A cell never holds negative zero.
bool ParseNumber(std::string_view s, double& out) { return NumberText::ReadTyped(s, out); }

}  // namespace

std::optional<bool> CellInput::ParseBoolean(std::string_view typed) {
  const auto same = [&](std::string_view word) {
    if (typed.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      const char c = typed[i];
      if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != word[i]) return false;
    }
    return true;
  };
  if (same("TRUE")) return true;
  if (same("FALSE")) return false;
  return std::nullopt;
}

CellValue CellInput::Parse(std::string_view typed) {
  if (typed.empty()) return std::monostate{};
  if (typed.front() == '\'') return std::string(typed.substr(1));
  double number = 0;
  if (ParseNumber(typed, number)) return number;
  if (const auto flag = ParseBoolean(typed)) return *flag;
  return std::string(typed);
}

std::string CellInput::EditText(const CellValue& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    return NumberText::EditText(*number);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    double ignored = 0;
    if (!text->empty() && (text->front() == '\'' || ParseNumber(*text, ignored) || ParseBoolean(*text))) {
      return "'" + *text;
    }
    return *text;
  }
  if (const auto* error = std::get_if<CellError>(&value)) return error->code;
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "TRUE" : "FALSE";
  return {};
}

std::string CellInput::EditText(const Cell* cell) {
  if (!cell) return {};
  if (cell->HasFormula()) return "=" + cell->formula;
  return EditText(cell->value);
}

}  // namespace spreadsheet
