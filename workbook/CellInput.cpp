#include "workbook/CellInput.h"

#include <charconv>
#include <cmath>

namespace spreadsheet {

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool ParseNumber(std::string_view s, double& out) {
  s = Trimmed(s);
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  // from_chars also takes "inf" and "nan", which a spreadsheet keeps as text.
  const char first = s.front() == '-' && s.size() > 1 ? s[1] : s.front();
  if (!(first >= '0' && first <= '9') && first != '.') return false;
  double value = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return false;
  out = value == 0 ? 0.0 : value;  // no negative zero in a cell
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
    // 15 significant digits as printf's %.15g, but always with a decimal point.
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *number, std::chars_format::general, 15);
    return std::string(buf, end);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    double ignored = 0;
    if (!text->empty() && (text->front() == '\'' || ParseNumber(*text, ignored))) return "'" + *text;
    return *text;
  }
  return {};
}

std::string CellInput::EditText(const Cell* cell) {
  if (!cell) return {};
  if (cell->HasFormula()) return "=" + cell->formula;
  return EditText(cell->value);
}

}  // namespace spreadsheet
