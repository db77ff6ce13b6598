#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "workbook/Cell.h"
#include "workbook/CellValue.h"

namespace spreadsheet {

// What a typed entry becomes, as in any spreadsheet, and the text an editor starts from.
class CellInput {
 public:
  // "" → empty; "'x" → the text x (the apostrophe keeps number-like text as text); what reads
  // as a number by NumberText::ReadTyped (" -1.5 ", "2e3", "1e-400" as 0) → that number; TRUE or
  // FALSE in any case → that boolean; anything else → the text unchanged.
  static CellValue Parse(std::string_view typed);
  // TRUE or FALSE in any case of letters, nothing else (no blanks).
  static std::optional<bool> ParseBoolean(std::string_view typed);
  // Numbers as NumberText::EditText writes them (15 significant digits, "1E-07"), texts that
  // would read as numbers, or as TRUE or FALSE (or that start with an apostrophe) with a leading
  // apostrophe, formulas as "=" and their text.
  static std::string EditText(const Cell* cell);
  static std::string EditText(const CellValue& value);
};

}  // namespace spreadsheet
