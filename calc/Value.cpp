#include "calc/Value.h"

#include <array>
#include <cmath>
#include <type_traits>
#include <variant>

#include "workbook/NumberText.h"

namespace spreadsheet::calc {

namespace {

constexpr std::array<std::string_view, 7> kErrorTexts{"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                                      "#NAME?", "#NUM!",   "#N/A"};

// Whether the model keeps booleans as their own alternative of CellValue (else as 1 and 0).
template <class Variant>
struct HoldsBool;
template <class... T>
struct HoldsBool<std::variant<T...>> : std::bool_constant<(std::is_same_v<T, bool> || ...)> {};

template <class Variant>
Variant StoredBool(bool b) {
  if constexpr (HoldsBool<Variant>::value) {
    return Variant(std::in_place_type<bool>, b);
  } else {
    return Variant(std::in_place_type<double>, b ? 1.0 : 0.0);
  }
}

template <class Variant>
std::optional<Value> ReadBool(const Variant& v) {
  if constexpr (HoldsBool<Variant>::value) {
    if (const bool* b = std::get_if<bool>(&v)) return Value::Bool(*b);
  }
  return std::nullopt;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string_view ErrorText(ErrorCode code) { return kErrorTexts[static_cast<std::size_t>(code)]; }

std::optional<ErrorCode> ParseErrorCode(std::string_view text) {
  for (std::size_t i = 0; i < kErrorTexts.size(); ++i) {
    if (EqualsIgnoringCase(text, kErrorTexts[i])) return static_cast<ErrorCode>(i);
  }
  return std::nullopt;
}

Value Value::Number(double x) {
  if (!std::isfinite(x)) return Error(ErrorCode::Num);
  Value v;
  v.kind = Kind::Number;
  v.number = x == 0 ? 0.0 : x;  // no negative zero
  return v;
}

Value Value::Text(std::string s) {
  Value v;
  v.kind = Kind::Text;
  v.text = std::move(s);
  return v;
}

Value Value::Bool(bool b) {
  Value v;
  v.kind = Kind::Bool;
  v.number = b ? 1 : 0;
  return v;
}

Value Value::Uncomputed() {
  Value v;
  v.kind = Kind::Uncomputed;
  return v;
}

Value Value::Error(ErrorCode e) {
  Value v;
  v.kind = Kind::Error;
  v.error = e;
  return v;
}

CellValue ToCellValue(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Empty:
      return std::monostate{};
    case Value::Kind::Number:
      return value.number;
    case Value::Kind::Bool:
      return StoredBool<CellValue>(value.number != 0);
    case Value::Kind::Text:
      return value.text;
    case Value::Kind::Error:
      return CellError{std::string(ErrorText(value.error))};
    case Value::Kind::Uncomputed:
      return NoStoredResult{};
  }
  return std::monostate{};
}

Value FromCellValue(const CellValue& value) {
  if (auto b = ReadBool(value)) return *b;
  if (const auto* d = std::get_if<double>(&value)) return Value::Number(*d);
  if (const auto* s = std::get_if<std::string>(&value)) return Value::Text(*s);
  if (const auto* e = std::get_if<CellError>(&value)) {
    return Value::Error(ParseErrorCode(e->code).value_or(ErrorCode::Value));
  }
  if (std::holds_alternative<NoStoredResult>(value)) return Value::Uncomputed();
  return Value{};
}

std::string ValueToText(const Value& value) {
  switch (value.kind) {
    case Value::Kind::Empty:
    case Value::Kind::Uncomputed:
      return {};
    case Value::Kind::Number:
      return NumberText::EditText(value.number);
    case Value::Kind::Text:
      return value.text;
    case Value::Kind::Bool:
      return value.number != 0 ? "TRUE" : "FALSE";
    case Value::Kind::Error:
      return std::string(ErrorText(value.error));
  }
  return {};
}

}  // namespace spreadsheet::calc
