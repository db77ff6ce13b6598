#pragma once

#include <QUndoCommand>
#include <cstddef>

#include "workbook/Worksheet.h"

namespace spreadsheet {

class WorkbookTableModel;

// A change of a sheet's structure (rows or columns inserted or deleted), undone and redone by
// putting the whole sheet back as it was before or after.
class ReplaceSheetCommand : public QUndoCommand {
 public:
  ReplaceSheetCommand(WorkbookTableModel& model, std::size_t sheet, Worksheet before, Worksheet after,
                      const QString& text);

  void undo() override;
  void redo() override;

 private:
  WorkbookTableModel& model_;
  std::size_t sheet_;
  Worksheet before_;
  Worksheet after_;
};

}  // namespace spreadsheet
