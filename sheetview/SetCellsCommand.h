#pragma once

#include <QUndoCommand>
#include <cstddef>

#include "sheetview/WorkbookTableModel.h"

namespace spreadsheet {

// One user edit of a block of cells (typing, paste, delete), undone and redone as a whole.
// Holds the contents before and after; styles are never touched.
class SetCellsCommand : public QUndoCommand {
 public:
  SetCellsCommand(WorkbookTableModel& model, std::size_t sheet, WorkbookTableModel::CellContents before,
                  WorkbookTableModel::CellContents after, const QString& text);

  void undo() override;
  void redo() override;

 private:
  WorkbookTableModel& model_;
  std::size_t sheet_;
  WorkbookTableModel::CellContents before_;
  WorkbookTableModel::CellContents after_;
};

}  // namespace spreadsheet
