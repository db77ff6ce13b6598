#include "workbook/Worksheet.h"

#include <algorithm>
#include <utility>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

Worksheet::Worksheet(std::string name) : name_(std::move(name)) {}

const Cell* Worksheet::FindCell(CellAddress a) const {
  if (a.row >= RowExtent()) return nullptr;
  const auto& row = rows_[static_cast<std::size_t>(a.row)];
  if (a.column >= static_cast<int>(row.size())) return nullptr;
  return &row[static_cast<std::size_t>(a.column)];
}

Cell& Worksheet::CellAt(CellAddress a) {
  if (a.row >= RowExtent()) rows_.resize(static_cast<std::size_t>(a.row) + 1);
  auto& row = rows_[static_cast<std::size_t>(a.row)];
  if (a.column >= static_cast<int>(row.size())) row.resize(static_cast<std::size_t>(a.column) + 1);
  return row[static_cast<std::size_t>(a.column)];
}

CellValue Worksheet::Value(CellAddress a) const {
  const Cell* c = FindCell(a);
  return c ? c->value : CellValue{};
}

void Worksheet::SetValue(CellAddress a, CellValue value) {
  Cell& c = CellAt(a);
  c.value = std::move(value);
  c.formula.clear();
}

void Worksheet::SetFormula(CellAddress a, std::string formula, CellValue cached) {
  Cell& c = CellAt(a);
  c.formula = std::move(formula);
  c.value = std::move(cached);
}

std::uint32_t Worksheet::StyleAt(CellAddress a) const {
  const Cell* c = FindCell(a);
  if (c && c->style != 0) return c->style;
  return ColumnStyle(a.column);
}

void Worksheet::SetStyle(CellAddress a, std::uint32_t style) { CellAt(a).style = style; }

void Worksheet::ClearContents(const CellRange& range) {
  const int lastRow = std::min(range.last.row, RowExtent() - 1);
  for (int r = range.first.row; r <= lastRow; ++r) {
    auto& row = rows_[static_cast<std::size_t>(r)];
    const int lastCol = std::min(range.last.column, static_cast<int>(row.size()) - 1);
    for (int c = range.first.column; c <= lastCol; ++c) {
      auto& cell = row[static_cast<std::size_t>(c)];
      cell.value = std::monostate{};
      cell.formula.clear();
    }
  }
}

const std::vector<Cell>& Worksheet::Row(int row) const {
  static const std::vector<Cell> kEmpty;
  if (row < 0 || row >= RowExtent()) return kEmpty;
  return rows_[static_cast<std::size_t>(row)];
}

std::optional<double> Worksheet::ColumnWidth(int column) const {
  auto it = columnWidths_.find(column);
  if (it == columnWidths_.end()) return std::nullopt;
  return it->second;
}

void Worksheet::SetColumnWidth(int column, double characters) { columnWidths_[column] = characters; }

std::optional<double> Worksheet::RowHeight(int row) const {
  auto it = rowHeights_.find(row);
  if (it == rowHeights_.end()) return std::nullopt;
  return it->second;
}

void Worksheet::SetRowHeight(int row, double points) { rowHeights_[row] = points; }

std::uint32_t Worksheet::ColumnStyle(int column) const {
  auto it = columnStyles_.find(column);
  return it == columnStyles_.end() ? 0 : it->second;
}

void Worksheet::SetColumnStyle(int column, std::uint32_t style) { columnStyles_[column] = style; }

void Worksheet::AddMerge(const CellRange& range) {
  for (const auto& m : merges_) {
    const bool apart = range.last.row < m.first.row || range.first.row > m.last.row ||
                       range.last.column < m.first.column || range.first.column > m.last.column;
    if (!apart) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                             "合并区域 " + range.ToString() + " 与 " + m.ToString() + " 重叠");
    }
  }
  merges_.push_back(range);
}

const CellRange* Worksheet::MergeAt(CellAddress a) const {
  for (const auto& m : merges_) {
    if (m.Contains(a)) return &m;
  }
  return nullptr;
}

}  // namespace spreadsheet
