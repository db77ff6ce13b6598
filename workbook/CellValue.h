#pragma once

#include <compare>
#include <string>
#include <variant>

namespace spreadsheet {

// An error value a spreadsheet program stored in a cell: "#REF!", "#N/A", "#DIV/0!", …
struct CellError {
  std::string code;
  auto operator<=>(const CellError&) const = default;
};

// The value of a formula whose file stored no result (written by a program that does not
// calculate, or saved without recalculating).
struct NoStoredResult {
  auto operator<=>(const NoStoredResult&) const = default;
};

// A cell's value: empty, a number, UTF-8 text, an error value, the missing result of a
// formula, or a boolean (TRUE/FALSE, a cell of type "b" in a file), which is no number: a
// reading that wants a number refuses it as it refuses text.
using CellValue = std::variant<std::monostate, double, std::string, CellError, NoStoredResult, bool>;

inline bool IsEmptyValue(const CellValue& v) { return std::holds_alternative<std::monostate>(v); }
inline bool IsNumber(const CellValue& v) { return std::holds_alternative<double>(v); }
inline bool IsText(const CellValue& v) { return std::holds_alternative<std::string>(v); }
inline bool IsError(const CellValue& v) { return std::holds_alternative<CellError>(v); }
inline bool IsBoolean(const CellValue& v) { return std::holds_alternative<bool>(v); }

}  // namespace spreadsheet
