#include "calc/Operand.h"

#include <cmath>
#include <charconv>

#include "workbook/NumberText.h"

namespace spreadsheet::calc {

Value Scalar(const Operand& o, const EvaluationContext& context) {
  switch (o.kind) {
    case Operand::Kind::Value:
      return o.value;
    case Operand::Kind::Missing:
      return Value{};
    case Operand::Kind::Range:
      break;
  }
  int row = o.row0, column = o.column0;
  if (o.row0 != o.row1 || o.column0 != o.column1) {
    if (o.column0 == o.column1 && o.sheet == context.sheet && context.at.row >= o.row0 && context.at.row <= o.row1) {
      row = context.at.row;
    } else if (o.row0 == o.row1 && o.sheet == context.sheet && context.at.column >= o.column0 &&
               context.at.column <= o.column1) {
      column = context.at.column;
    } else {
      return Value::Error(ErrorCode::Value);
    }
  }
  return Read(context, o.sheet, CellAddress{row, column});
}

Value Read(const EvaluationContext& context, std::size_t sheet, CellAddress at) {
  Value v = context.cells.CellValue(sheet, at);
  if (!v.IsUncomputed()) return v;
  context.readUncomputed = true;
  return Value::Error(ErrorCode::NA);
}

Coerced ToNumber(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Empty:
      return {0, std::nullopt};
    case Value::Kind::Number:
    case Value::Kind::Bool:
      return {v.number, std::nullopt};
    case Value::Kind::Error:
      return {0, v.error};
    case Value::Kind::Uncomputed:
      return {0, ErrorCode::NA};
    case Value::Kind::Text: {
      double x = 0;
      if (NumberText::Read(v.text, x)) return {x, std::nullopt};
      // "10%" as typed into a cell.
      std::string_view t = v.text;
      while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
      if (!t.empty() && t.back() == '%' && NumberText::Read(t.substr(0, t.size() - 1), x)) return {x / 100, std::nullopt};
      return {0, ErrorCode::Value};
    }
  }
  return {0, ErrorCode::Value};
}

Coerced ToBool(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Empty:
      return {0, std::nullopt};
    case Value::Kind::Number:
    case Value::Kind::Bool:
      return {v.number != 0 ? 1.0 : 0.0, std::nullopt};
    case Value::Kind::Error:
      return {0, v.error};
    case Value::Kind::Uncomputed:
      return {0, ErrorCode::NA};
    case Value::Kind::Text: {
      std::string upper;
      for (char c : v.text) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
      if (upper == "TRUE") return {1, std::nullopt};
      if (upper == "FALSE") return {0, std::nullopt};
      return {0, ErrorCode::Value};
    }
  }
  return {0, ErrorCode::Value};
}

std::string ToText(const Value& v) { return ValueToText(v); }

namespace {
constexpr double kTolerance = 1.0 / (16777216.0 * 16777216.0);  // 2^-48
}

bool ApproxEqual(double a, double b) {
  if (a == b) return true;
  if (a == 0 || b == 0) return false;
  return std::fabs(a - b) < std::fabs(a) * kTolerance;
}

double ApproxAdd(double a, double b) {
  if (((a < 0 && b > 0) || (b < 0 && a > 0)) && ApproxEqual(a, -b)) return 0;
  return a + b;
}

double Approx15(double x) {
  if (x == 0 || !std::isfinite(x)) return x;
  char buffer[40];
  const auto printed = std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::scientific, 14);
  double y = x;
  std::from_chars(buffer, printed.ptr, y);
  return y;
}

}  // namespace spreadsheet::calc
