#pragma once

#include <QTableView>
#include <vector>

#include "workbook/CellRange.h"

namespace spreadsheet {

class CellDelegate;
class Worksheet;

// The grid: a spreadsheet's keyboard and mouse over a WorkbookTableModel. Typing replaces the
// current cell, F2 and a double click edit it in place, Enter moves down and Tab right
// (Shift backwards), Delete clears the selection; copy, cut, paste, undo and redo are
// raised as signals for the window to carry out.
class SheetView : public QTableView {
  Q_OBJECT

 public:
  explicit SheetView(QWidget* parent = nullptr);

  // Column widths, row heights and merged ranges of the sheet now shown.
  void ApplySheetLayout(const Worksheet& sheet);
  // The selected block's bounding range (the current cell when nothing is selected).
  CellRange SelectedRange() const;
  void SetCurrentCell(CellAddress address);
  void MoveCurrent(int rows, int columns);

 signals:
  void copyRequested();
  void cutRequested();
  void pasteRequested();
  void clearRequested();
  void undoRequested();
  void redoRequested();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  CellDelegate* delegate_;
  std::vector<int> customRows_;  // rows given a height by the last sheet, reset on the next
};

}  // namespace spreadsheet
