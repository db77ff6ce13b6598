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

// A cell's value: empty, a number, UTF-8 text, an error value, or the missing result of a
// formula. Booleans are the numbers 1 and 0.
using CellValue = std::variant<std::monostate, double, std::string, CellError, NoStoredResult>;

inline bool IsEmptyValue(const CellValue& v) { return std::holds_alternative<std::monostate>(v); }
inline bool IsNumber(const CellValue& v) { return std::holds_alternative<double>(v); }
inline bool IsText(const CellValue& v) { return std::holds_alternative<std::string>(v); }
inline bool IsError(const CellValue& v) { return std::holds_alternative<CellError>(v); }

}  // namespace spreadsheet
