#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "workbook/Cell.h"
#include "workbook/CellAddress.h"
#include "workbook/CellRange.h"
#include "workbook/PrintSetup.h"
#include "workbook/ScatterChart.h"

namespace spreadsheet {

// The rows and columns held in place at the top and left while the rest scrolls.
struct FrozenPane {
  int rows = 0;
  int columns = 0;
  bool operator==(const FrozenPane&) const = default;
};

// Where a sheet read from a workbook file came from: its part in the package and digests of
// what the model held after reading, so a save rewrites only what changed since.
struct SheetOrigin {
  std::string part;  // "/xl/worksheets/sheet1.xml"; empty for a sheet made here
  std::uint64_t cells = 0, columns = 0, merges = 0, layout = 0;
  bool clipped = false;  // the part holds values beyond the 65,536 × 256 sheet, left out
  bool operator==(const SheetOrigin&) const = default;
};

// A named sheet of sparse cells, 65,536 rows × 256 columns, with column widths (character
// units), row heights (points), column default styles, merged ranges and a page setup.
// Addresses must lie inside the sheet (CellAddress guarantees it when parsed).
class Worksheet {
 public:
  explicit Worksheet(std::string name);

  const std::string& Name() const { return name_; }
  void Rename(std::string name) { name_ = std::move(name); }

  const Cell* FindCell(CellAddress a) const;  // nullptr when the cell was never touched
  Cell& CellAt(CellAddress a);                // creates the cell when needed
  CellValue Value(CellAddress a) const;
  void SetValue(CellAddress a, CellValue value);  // drops any formula, keeps the style
  void SetFormula(CellAddress a, std::string formula, CellValue cached);
  // The cell's own style when it has one, else its column's default style, else 0.
  std::uint32_t StyleAt(CellAddress a) const;
  void SetStyle(CellAddress a, std::uint32_t style);
  void ClearContents(const CellRange& range);  // values and formulas go, styles stay

  int RowExtent() const { return static_cast<int>(rows_.size()); }  // one past the last row with cells
  const std::vector<Cell>& Row(int row) const;  // cells of a row by column; may be shorter than 256

  std::optional<double> ColumnWidth(int column) const;
  void SetColumnWidth(int column, double characters);
  const std::map<int, double>& ColumnWidths() const { return columnWidths_; }
  std::optional<double> RowHeight(int row) const;
  void SetRowHeight(int row, double points);
  const std::map<int, double>& RowHeights() const { return rowHeights_; }
  std::uint32_t ColumnStyle(int column) const;
  void SetColumnStyle(int column, std::uint32_t style);
  const std::map<int, std::uint32_t>& ColumnStyles() const { return columnStyles_; }

  // Takes the cells and row heights of `from`'s rows `first` and below, which this sheet must
  // not have: for a sheet read in parts. `from` keeps its other rows and everything else.
  void AdoptRows(Worksheet& from, int first);

  // Inserts `count` empty rows before `row`: the rows below with their heights, the merges and
  // the repeated print rows move down, a merge across the row grows. Throws SpreadsheetError
  // 1004 naming the row when contents or a merge would be pushed past row 65536.
  void InsertRows(int row, int count);
  // Removes `count` rows from `row`: what lies below moves up, merges across shrink, merges
  // left with one cell go.
  void DeleteRows(int row, int count);
  void InsertColumns(int column, int count);  // as InsertRows, across; IV is the last column
  void DeleteColumns(int column, int count);

  // Throws SpreadsheetError 1004 when the range overlaps an existing merge; a single cell is ignored.
  void AddMerge(const CellRange& range);
  void RemoveMergesIn(const CellRange& range);  // every merge that shares a cell with the range
  const std::vector<CellRange>& Merges() const { return merges_; }
  const CellRange* MergeAt(CellAddress a) const;  // the merge that covers a, or nullptr

  PrintSetup& Print() { return print_; }
  const PrintSetup& Print() const { return print_; }
  const FrozenPane& Frozen() const { return frozen_; }
  void SetFrozen(FrozenPane pane) { frozen_ = pane; }

  // Charts drawn over the sheet. A sheet made here (in a new package, or added to one that was
  // read) carries them as chart parts; charts of a file's sheets are not modelled and go back
  // out as they came.
  const std::vector<ScatterChart>& Charts() const { return charts_; }
  void SetCharts(std::vector<ScatterChart> charts) { charts_ = std::move(charts); }

  const SheetOrigin& Origin() const { return origin_; }
  // The sheet now matches its part as read: the rows and columns moved so far are forgotten.
  void SetOrigin(SheetOrigin origin);

  // Where row (column) `index` of the sheet as last read stands now, after the rows (columns)
  // inserted and deleted since; nullopt when it was deleted or pushed off the sheet.
  std::optional<int> RowSinceOrigin(int index) const;
  std::optional<int> ColumnSinceOrigin(int index) const;
  bool MovedSinceOrigin() const { return !rowMoves_.empty() || !columnMoves_.empty(); }

  // Frees the cells of a sheet whose cells are as its part holds them, for a caller that only
  // saves the workbook afterwards: the sheet then holds no cells, and CellsReleased() tells a
  // save to copy the part's cells as they are. The sheet must not be changed after it.
  void ReleaseCells();
  bool CellsReleased() const { return cellsReleased_; }
  // Frees the cells of a sheet a save has just written, for a caller that only ends after that
  // save: the sheet then holds no cells, and a later save refuses it (CellsDiscarded).
  void DiscardCells();
  bool CellsDiscarded() const { return cellsDiscarded_; }

 private:
  void MoveMerges(bool rows, int at, int count);
  void MovePrintRows(int row, int count);

  std::string name_;
  std::vector<std::vector<Cell>> rows_;
  std::map<int, double> columnWidths_;
  std::map<int, double> rowHeights_;
  std::map<int, std::uint32_t> columnStyles_;
  std::vector<CellRange> merges_;
  PrintSetup print_;
  FrozenPane frozen_;
  std::vector<ScatterChart> charts_;
  SheetOrigin origin_;
  // Inserts (count > 0) and deletes (count < 0) since the origin, in the order made.
  struct Move {
    int at;
    int count;
  };
  std::vector<Move> rowMoves_, columnMoves_;
  bool cellsReleased_ = false;
  bool cellsDiscarded_ = false;
  static std::optional<int> Through(const std::vector<Move>& moves, int index, int limit);
};

}  // namespace spreadsheet
