#include "workbook/CellRange.h"

#include <algorithm>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

CellRange CellRange::Parse(std::string_view text) {
  auto colon = text.find(':');
  if (colon == std::string_view::npos) {
    auto a = CellAddress::Parse(text);
    return CellRange{a, a};
  }
  if (text.find(':', colon + 1) != std::string_view::npos) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无效的单元格区域“" + std::string(text) + "”");
  }
  try {
    return Normalised(CellAddress::Parse(text.substr(0, colon)), CellAddress::Parse(text.substr(colon + 1)));
  } catch (const SpreadsheetError&) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无效的单元格区域“" + std::string(text) + "”");
  }
}

CellRange CellRange::Normalised(CellAddress a, CellAddress b) {
  return CellRange{CellAddress{std::min(a.row, b.row), std::min(a.column, b.column)},
                   CellAddress{std::max(a.row, b.row), std::max(a.column, b.column)}};
}

std::string CellRange::ToString() const {
  if (first == last) return first.ToString();
  return first.ToString() + ":" + last.ToString();
}

}  // namespace spreadsheet
