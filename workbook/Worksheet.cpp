#include "workbook/Worksheet.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

constexpr std::size_t kNarrowRow = 16;

}  // namespace

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
  const auto width = static_cast<std::size_t>(a.column) + 1;
  if (width > row.size()) {
    if (width > row.capacity()) {
      // Rows of a few columns (all this program writes) hold no spare cells beyond the shape
      // of the rows just above (rows of a sheet tend to repeat theirs), so a full sheet
      // takes no more memory than its cells; wider rows double as usual.
      std::size_t room = width;
      if (width <= kNarrowRow) {
        for (int above = a.row - 2; above < a.row; ++above) {
          const std::size_t shape = Row(above).size();
          if (shape <= kNarrowRow) room = std::max(room, shape);
        }
      } else {
        room = std::max(width, 2 * row.capacity());
      }
      row.reserve(room);
    }
    row.resize(width);
  }
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

void Worksheet::AdoptRows(Worksheet& from, int first) {
  const auto start = static_cast<std::size_t>(std::max(first, 0));
  if (from.rows_.size() > start) {
    if (rows_.size() < from.rows_.size()) rows_.resize(from.rows_.size());
    std::move(from.rows_.begin() + static_cast<std::ptrdiff_t>(start), from.rows_.end(),
              rows_.begin() + static_cast<std::ptrdiff_t>(start));
    from.rows_.resize(start);
  }
  const auto heights = from.rowHeights_.lower_bound(first);
  rowHeights_.insert(heights, from.rowHeights_.end());
  from.rowHeights_.erase(heights, from.rowHeights_.end());
}

std::uint32_t Worksheet::ColumnStyle(int column) const {
  auto it = columnStyles_.find(column);
  return it == columnStyles_.end() ? 0 : it->second;
}

void Worksheet::SetColumnStyle(int column, std::uint32_t style) { columnStyles_[column] = style; }

void Worksheet::AddMerge(const CellRange& range) {
  if (range.first == range.last) return;  // one cell merged with itself is no merge
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

void Worksheet::RemoveMergesIn(const CellRange& range) {
  std::erase_if(merges_, [&](const CellRange& m) {
    return !(range.last.row < m.first.row || range.first.row > m.last.row || range.last.column < m.first.column ||
             range.first.column > m.last.column);
  });
}

const CellRange* Worksheet::MergeAt(CellAddress a) const {
  for (const auto& m : merges_) {
    if (m.Contains(a)) return &m;
  }
  return nullptr;
}

namespace {

// A run of lines first..last after inserting (count > 0) or deleting (count < 0) lines at `at`;
// nothing when all of it was deleted.
std::optional<std::pair<int, int>> MovedSpan(int first, int last, int at, int count) {
  if (count > 0) {
    if (first >= at) return std::pair(first + count, last + count);
    if (last >= at) return std::pair(first, last + count);
    return std::pair(first, last);
  }
  const int n = -count;
  const int newFirst = first < at ? first : (first >= at + n ? first - n : at);
  const int newLast = last < at ? last : (last >= at + n ? last - n : at - 1);
  if (newLast < newFirst) return std::nullopt;
  return std::pair(newFirst, newLast);
}

// Keys (row or column numbers) moved as the lines they belong to; keys pushed past `limit` or
// deleted go.
template <typename T>
void MoveKeys(std::map<int, T>& map, int at, int count, int limit) {
  std::map<int, T> moved;
  for (auto& [key, value] : map) {
    const auto span = MovedSpan(key, key, at, count);
    if (span && span->first < limit) moved.emplace(span->first, std::move(value));
  }
  map = std::move(moved);
}

bool HasContent(const Cell& cell) { return !IsEmptyValue(cell.value) || cell.HasFormula(); }

}  // namespace

void Worksheet::MoveMerges(bool rows, int at, int count) {
  std::vector<CellRange> moved;
  for (const CellRange& m : merges_) {
    CellRange next = m;
    const auto span = rows ? MovedSpan(m.first.row, m.last.row, at, count)
                           : MovedSpan(m.first.column, m.last.column, at, count);
    if (!span) continue;
    (rows ? next.first.row : next.first.column) = span->first;
    (rows ? next.last.row : next.last.column) = span->second;
    if (next.first == next.last) continue;  // one cell left: no merge any more
    moved.push_back(next);
  }
  merges_ = std::move(moved);
}

void Worksheet::InsertRows(int row, int count) {
  if (row < 0 || row >= CellAddress::kMaxRows || count <= 0) return;
  count = std::min(count, CellAddress::kMaxRows - row);
  const int firstPushedOff = CellAddress::kMaxRows - count;
  for (int r = firstPushedOff; r < RowExtent(); ++r) {
    for (const Cell& cell : rows_[static_cast<std::size_t>(r)]) {
      if (HasContent(cell)) {
        throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                               "不能插入 " + std::to_string(count) + " 行：第 " + std::to_string(r + 1) +
                                   " 行有内容，插入后会被挤出工作表（最多 65536 行）");
      }
    }
  }
  for (const CellRange& m : merges_) {
    if (m.last.row >= firstPushedOff && m.first.row >= row) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                             "不能插入 " + std::to_string(count) + " 行：合并单元格 " + m.ToString() +
                                 " 会被挤出工作表（最多 65536 行）");
    }
  }
  if (row < RowExtent()) {
    rows_.insert(rows_.begin() + row, static_cast<std::size_t>(count), std::vector<Cell>{});
    if (RowExtent() > CellAddress::kMaxRows) rows_.resize(CellAddress::kMaxRows);
  }
  MoveKeys(rowHeights_, row, count, CellAddress::kMaxRows);
  MoveMerges(true, row, count);
  MovePrintRows(row, count);
  rowMoves_.push_back({row, count});
}

void Worksheet::DeleteRows(int row, int count) {
  if (row < 0 || row >= CellAddress::kMaxRows || count <= 0) return;
  count = std::min(count, CellAddress::kMaxRows - row);
  if (row < RowExtent()) rows_.erase(rows_.begin() + row, rows_.begin() + std::min(RowExtent(), row + count));
  MoveKeys(rowHeights_, row, -count, CellAddress::kMaxRows);
  MoveMerges(true, row, -count);
  MovePrintRows(row, -count);
  rowMoves_.push_back({row, -count});
}

void Worksheet::MovePrintRows(int row, int count) {
  if (print_.repeatRowsFirst < 0) return;
  const auto span = MovedSpan(print_.repeatRowsFirst, print_.repeatRowsLast, row, count);
  if (span && span->second < CellAddress::kMaxRows) {
    print_.repeatRowsFirst = span->first;
    print_.repeatRowsLast = span->second;
  } else {
    print_.repeatRowsFirst = print_.repeatRowsLast = -1;
  }
}

void Worksheet::InsertColumns(int column, int count) {
  if (column < 0 || column >= CellAddress::kMaxColumns || count <= 0) return;
  count = std::min(count, CellAddress::kMaxColumns - column);
  const int firstPushedOff = CellAddress::kMaxColumns - count;
  for (int r = 0; r < RowExtent(); ++r) {
    const auto& cells = rows_[static_cast<std::size_t>(r)];
    for (int c = firstPushedOff; c < static_cast<int>(cells.size()); ++c) {
      if (HasContent(cells[static_cast<std::size_t>(c)])) {
        throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                               "不能插入 " + std::to_string(count) + " 列：单元格 " + CellAddress{r, c}.ToString() +
                                   " 有内容，插入后会被挤出工作表（最多到 IV 列）");
      }
    }
  }
  for (const CellRange& m : merges_) {
    if (m.last.column >= firstPushedOff && m.first.column >= column) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                             "不能插入 " + std::to_string(count) + " 列：合并单元格 " + m.ToString() +
                                 " 会被挤出工作表（最多到 IV 列）");
    }
  }
  for (auto& cells : rows_) {
    if (column >= static_cast<int>(cells.size())) continue;
    cells.insert(cells.begin() + column, static_cast<std::size_t>(count), Cell{});
    if (static_cast<int>(cells.size()) > CellAddress::kMaxColumns) cells.resize(CellAddress::kMaxColumns);
  }
  MoveKeys(columnWidths_, column, count, CellAddress::kMaxColumns);
  MoveKeys(columnStyles_, column, count, CellAddress::kMaxColumns);
  MoveMerges(false, column, count);
  columnMoves_.push_back({column, count});
}

void Worksheet::DeleteColumns(int column, int count) {
  if (column < 0 || column >= CellAddress::kMaxColumns || count <= 0) return;
  count = std::min(count, CellAddress::kMaxColumns - column);
  for (auto& cells : rows_) {
    if (column >= static_cast<int>(cells.size())) continue;
    cells.erase(cells.begin() + column, cells.begin() + std::min(static_cast<int>(cells.size()), column + count));
  }
  MoveKeys(columnWidths_, column, -count, CellAddress::kMaxColumns);
  MoveKeys(columnStyles_, column, -count, CellAddress::kMaxColumns);
  MoveMerges(false, column, -count);
  columnMoves_.push_back({column, -count});
}

void Worksheet::ReleaseCells() {
  std::vector<std::vector<Cell>>().swap(rows_);
  cellsReleased_ = true;
}

void Worksheet::DiscardCells() {
  std::vector<std::vector<Cell>>().swap(rows_);
  cellsDiscarded_ = true;
}

void Worksheet::SetOrigin(SheetOrigin origin) {
  origin_ = std::move(origin);
  rowMoves_.clear();
  columnMoves_.clear();
}

std::optional<int> Worksheet::Through(const std::vector<Move>& moves, int index, int limit) {
  for (const Move& m : moves) {
    if (index < m.at) continue;
    if (m.count < 0 && index < m.at - m.count) return std::nullopt;
    index += m.count;
    if (index >= limit) return std::nullopt;
  }
  return index;
}

std::optional<int> Worksheet::RowSinceOrigin(int index) const {
  return Through(rowMoves_, index, CellAddress::kMaxRows);
}

std::optional<int> Worksheet::ColumnSinceOrigin(int index) const {
  return Through(columnMoves_, index, CellAddress::kMaxColumns);
}

}  // namespace spreadsheet
