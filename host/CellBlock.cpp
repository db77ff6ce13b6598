#include "host/CellBlock.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "numfmt/NumberFormat.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {
namespace {
const CellValue kEmptyValue;
const std::string kEmptyText;
}  // namespace

const CellValue& CellBlock::Value(int row, int column) const {
  const int r = row - range.first.row;
  if (r >= rows) return kEmptyValue;
  return values[static_cast<std::size_t>(r * range.ColumnCount() + column - range.first.column)];
}

const std::string& CellBlock::Text(int row, int column) const {
  const int r = row - range.first.row;
  if (r >= rows) return kEmptyText;
  return texts[static_cast<std::size_t>(r * range.ColumnCount() + column - range.first.column)];
}

CellBlock ReadCellBlock(const Workbook& workbook, const Worksheet& sheet, const CellRange& range, bool withTexts) {
  CellBlock block;
  block.range = range;
  block.rows = std::clamp(sheet.RowExtent() - range.first.row, 0, range.RowCount());
  const int columns = range.ColumnCount();
  block.values.reserve(static_cast<std::size_t>(block.rows * columns));
  if (withTexts) block.texts.reserve(static_cast<std::size_t>(block.rows * columns));
  // Each style's format parsed once; per column the last one used, as a column's cells tend to
  // share theirs.
  std::map<std::uint32_t, NumberFormat> formats;
  std::vector<std::pair<std::uint32_t, const NumberFormat*>> shown(static_cast<std::size_t>(columns), {0, nullptr});
  for (int r = 0; r < block.rows; ++r) {
    const int row = range.first.row + r;
    const std::vector<Cell>& cells = sheet.Row(row);
    for (int column = range.first.column; column <= range.last.column; ++column) {
      const auto at = static_cast<std::size_t>(column);
      const CellValue& value = block.values.emplace_back(at < cells.size() ? cells[at].value : CellValue());
      if (!withTexts) continue;
      if (IsEmptyValue(value)) {
        block.texts.emplace_back();
        continue;
      }
      const std::uint32_t style = at < cells.size() && cells[at].style != 0 ? cells[at].style : sheet.ColumnStyle(column);
      auto& [shownStyle, format] = shown[static_cast<std::size_t>(column - range.first.column)];
      if (format == nullptr || shownStyle != style) {
        auto found = formats.find(style);
        if (found == formats.end()) found = formats.emplace(style, NumberFormat(workbook.Style(style).numberFormat)).first;
        shownStyle = style;
        format = &found->second;
      }
      block.texts.push_back(format->Format(value, workbook.Dates()));
    }
  }
  return block;
}

CellRange RowsBlock(CellAddress first, int columns, std::size_t valueCount) {
  if (columns <= 0 || valueCount % static_cast<std::size_t>(columns) != 0) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "写入 " + first.ToString() + " 起的单元格块：" + std::to_string(valueCount) + " 个值不能排成每行 " +
                               std::to_string(columns) + " 个");
  }
  const auto rows = valueCount / static_cast<std::size_t>(columns);
  const CellRange block{first, {first.row + static_cast<int>(rows) - 1, first.column + columns - 1}};
  if (rows > static_cast<std::size_t>(CellAddress::kMaxRows) || block.last.row >= CellAddress::kMaxRows ||
      block.last.column >= CellAddress::kMaxColumns) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "写入 " + first.ToString() + " 起的单元格块超出了工作表的范围");
  }
  return block;
}

}  // namespace spreadsheet
