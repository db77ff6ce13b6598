#pragma once

#include <string_view>

#include "calc/Formula.h"

namespace spreadsheet::calc {

// Builds a Formula's postfix program (see Formula::Parse for the grammar and the errors).
class FormulaParser {
 public:
  // `names`: may be nullptr (no name is known).
  static Formula Parse(std::string_view text, const NameLookup* names);
};

}  // namespace spreadsheet::calc
