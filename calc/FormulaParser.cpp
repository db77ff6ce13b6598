#include "calc/FormulaParser.h"

#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {

Formula FormulaParser::Parse(std::string_view) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "公式解析尚未完成");
}

}  // namespace spreadsheet::calc
