#pragma once

#include <string>
#include <variant>

namespace spreadsheet {

// A cell's value: empty, a number, or UTF-8 text.
using CellValue = std::variant<std::monostate, double, std::string>;

inline bool IsEmptyValue(const CellValue& v) { return std::holds_alternative<std::monostate>(v); }
inline bool IsNumber(const CellValue& v) { return std::holds_alternative<double>(v); }
inline bool IsText(const CellValue& v) { return std::holds_alternative<std::string>(v); }

}  // namespace spreadsheet
