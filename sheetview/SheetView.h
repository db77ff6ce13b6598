#pragma once

#include <QTableView>
#include <optional>
#include <vector>

#include "workbook/CellRange.h"
#include "workbook/Worksheet.h"

namespace spreadsheet {

class CellDelegate;

// The grid: a spreadsheet's keyboard and mouse over a WorkbookTableModel. Arrows move the
// current cell, Ctrl+arrows to the edge of the data block, Shift extends the selection from
// the current cell (which stays where it is), Ctrl+Home goes to the first cell below and right
// of the frozen panes, Ctrl+End to the last used cell, Page Up/Down by a screen. Typing
// replaces the current cell, F2 and a double click edit it in place, Enter moves down (back to
// the column where a run of Tabs started) and Tab right (both through a selected block, which
// stays selected). Copy, cut, paste, clear, fill (Ctrl+D, Ctrl+R, Ctrl+Enter in an editor),
// undo, redo, Escape and the change of sheet (Ctrl+Page Up/Down) are raised as signals for the
// window to carry out on SelectedRanges(). The current cell always lies inside the selection.
class SheetView : public QTableView {
  Q_OBJECT

 public:
  explicit SheetView(QWidget* parent = nullptr);

  // Column widths, row heights, merged ranges and frozen panes of the sheet now shown. Frozen
  // rows and columns are drawn by panes of this view laid over it, which stay in place while
  // the rest scrolls.
  void ApplySheetLayout(const Worksheet& sheet);
  const FrozenPane& Frozen() const { return frozen_; }
  const std::vector<SheetView*>& Panes() const { return panes_; }
  CellAddress CurrentCell() const;
  // The selected blocks, each widened over the merges it touches; the current cell alone when
  // nothing holding it is selected.
  std::vector<CellRange> SelectedRanges() const;
  CellRange SelectedRange() const;  // the bounding block of SelectedRanges()
  // Selects the cell alone (its whole merge) and makes it current.
  void SetCurrentCell(CellAddress address);
  // Selects anchor..extent widened over merges; the anchor becomes the current cell.
  void SelectRange(CellAddress anchor, CellAddress extent);
  void MoveCurrent(int rows, int columns);
  // Ends an open cell editor as a click elsewhere does: what it holds is entered, the current
  // cell stays.
  void CommitEdit();
  // Selects the blocks again with `current` as the current cell (a sheet shown again as it was
  // left); nothing selected holding it: the current cell alone.
  void RestoreSelection(const std::vector<CellRange>& selection, CellAddress current);
  // The entry being entered was refused (a formula that does not parse): while a cell's editor
  // is open, the Enter or Tab closing it opens it again on its cell with the same text,
  // instead of moving on. Without an open editor (an entry from the formula bar) nothing.
  void KeepRefusedEntry();
  // Scrolls to positions read from the scroll bars before, clamped to what the sheet allows now.
  void ScrollToValues(int vertical, int horizontal);
  // The block a cut waits to move, framed by a dashed line until the paste or Escape.
  void SetMarkedRange(std::optional<CellRange> range);
  const std::optional<CellRange>& MarkedRange() const { return owner_ ? owner_->marked_ : marked_; }
  // Where an editor of the cell belongs: on the viewport of the frozen pane that draws the cell
  // (the pane lies over this view and would hide it), else on this view's; and the cell's
  // rectangle there.
  QWidget* EditorParent(const QModelIndex& index) const;
  QRect EditorRect(const QModelIndex& index) const;

 signals:
  void copyRequested();
  void cutRequested();
  void pasteRequested();
  void clearRequested();
  void undoRequested();
  void redoRequested();
  void fillDownRequested();   // Ctrl+D
  void fillRightRequested();  // Ctrl+R
  // Ctrl+Enter in the cell's editor: the entry into every selected cell.
  void fillSelectionRequested(const QString& typed);
  void escapePressed();              // outside an editor
  void entryChanged(const QString& text);  // the text of the open cell editor, as it is typed
  void entryClosed();                      // the cell editor closed (entered or cancelled)
  void sheetStepRequested(int step);  // Ctrl+Page Down (+1) and Ctrl+Page Up (-1)
  void contextMenuRequested(const QPoint& globalPos);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  void updateGeometries() override;

 private:
  enum class Pane { Top, Left, Corner };
  // A frozen part of `sheet` laid over it, sharing its model and selection.
  SheetView(SheetView& sheet, Pane pane);
  void PlacePanes();
  SheetView* PaneOver(const QModelIndex& index) const;  // the frozen pane that draws the cell, or none
  int FrozenHeight() const;  // pixels of the frozen rows
  int FrozenWidth() const;
  const Worksheet* Sheet() const;
  bool HasContent(int row, int column) const;
  CellRange Widened(CellRange range) const;
  // Where Ctrl+arrow goes from `from`: the last filled cell of its block, else the next
  // filled cell, else the sheet's edge.
  CellAddress EdgeFrom(CellAddress from, int rows, int columns) const;
  CellAddress LastUsedCell() const;
  int PageRows() const;
  bool Navigate(int key, bool control, bool shift);
  // Enter and Tab inside a selected block move the current cell through it, the block stays.
  bool MoveWithinSelection(bool down, bool backwards);
  void Tab(bool backwards);
  void Enter(bool backwards);

  CellDelegate* delegate_;
  std::vector<int> customRows_;  // rows given a height by the last sheet, reset on the next
  CellAddress anchor_;           // the current cell while the selection grows from it
  CellAddress extent_;           // the selection's moving corner
  bool moving_ = false;          // the view itself is moving the current cell
  std::optional<int> tabStart_;  // the column where a run of Tabs started
  FrozenPane frozen_;
  std::optional<CellRange> marked_;
  bool keepRefused_ = false;       // see KeepRefusedEntry
  std::vector<SheetView*> panes_;  // the frozen parts laid over this view
  SheetView* owner_ = nullptr;     // for a pane: the view it lies over
  Pane pane_ = Pane::Top;          // for a pane: which part it shows
};

}  // namespace spreadsheet
