#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "calc/ReferenceRewriter.h"
#include "workbook/CellRange.h"
#include "workbook/CellValue.h"
#include "workbook/Worksheet.h"

class QUndoStack;
class QWidget;

namespace spreadsheet {

class SheetView;
class WorkbookDialogs;
class WorkbookTableModel;

// The editing commands on the selection of the shown sheet: clipboard, clearing, filling and
// structure edits, each one undoable step. A command that cannot be carried out whole is
// refused with a message over `owner` and changes nothing.
class EditCommands : public QObject {
  Q_OBJECT

 public:
  EditCommands(WorkbookTableModel& model, SheetView& view, QUndoStack& undo, std::shared_ptr<WorkbookDialogs> dialogs,
               QWidget& owner);

  // Cells one paste, fill or copy may touch; more are refused with a message (memory and time).
  static constexpr long long kMaxCellsPerCommand = 1'000'000;
  static constexpr const char* kMergePartMessage = "不能对合并单元格的一部分进行更改";

  // Copies the one selected block: the displayed text for other programs, the cells as typed
  // (full precision, formulas, apostrophes) for ours.
  bool Copy();
  // Copies and marks the block; the next paste of it moves the cells (the source is cleared in
  // the same undo step). Escape, another copy or any other edit ends the mark.
  void Cut();
  void CancelCut();
  bool HasPendingCut() const { return cut_.has_value(); }
  // A paste that does not fit the sheet, that touches too many cells or part of a merge is
  // refused whole; a paste that covers whole merges writes their first cells.
  void Paste();
  void ClearSelection();
  // Ctrl+D and Ctrl+R: the first row (column) of the selection into the rest of it; a
  // selection one row high (wide) takes the row above (column to the left).
  void FillDown();
  void FillRight();
  // Ctrl+Enter: the typed entry into every cell of the selection.
  void FillSelection(const QString& typed);
  // Rows or columns of the selection, moving merges and row heights with the cells; one that
  // would push contents off the sheet is refused with a message.
  void InsertRows();
  void DeleteRows();
  void InsertColumns();
  void DeleteColumns();

 signals:
  // A cut moved from another sheet: the sheet the cells landed on, to be shown again.
  void sheetWanted(std::size_t sheet);

 private:
  using Values = std::vector<std::pair<CellAddress, CellValue>>;
  struct PendingCut {
    std::size_t sheet;
    CellRange range;
    QByteArray payload;  // what the clipboard held when cut: another copy ends the mark
  };
  void ShowMark();
  bool CheckCellCount(const QString& title, long long cells);
  // Drops the writes into covered cells of merges the block holds whole; false (with the
  // message) when a write lands in part of a merge.
  template <typename Entries>
  bool FitMerges(const QString& title, Entries& values);
  Values ContentsToClear(const Worksheet& sheet, const std::vector<CellRange>& ranges) const;
  void Fill(bool down);
  // The change of the shown sheet as its formulas' references follow it.
  calc::StructureChange Structure(calc::StructureChange::Axis axis, int at, int count) const;
  void ChangeStructure(const QString& text, const std::function<void(Worksheet&)>& change,
                       const calc::StructureChange& formulas);

  WorkbookTableModel& model_;
  SheetView& view_;
  QUndoStack& undo_;
  std::shared_ptr<WorkbookDialogs> dialogs_;
  QWidget& owner_;
  std::optional<PendingCut> cut_;
  bool moving_ = false;  // a cut's paste is being recorded: its steps keep the mark until done
};

}  // namespace spreadsheet
