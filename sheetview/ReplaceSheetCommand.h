#pragma once

#include <QUndoCommand>
#include <cstddef>
#include <optional>
#include <vector>

#include "calc/ReferenceRewriter.h"
#include "sheetview/WorkbookTableModel.h"
#include "workbook/Worksheet.h"

namespace spreadsheet {

// A change of a sheet's structure (rows or columns inserted or deleted), undone and redone by
// putting the whole sheet back as it was before or after. With the change named, the formulas
// of the whole workbook follow the rows and columns they point at (#REF! where their target
// was deleted); undo puts every rewritten formula text back as it was.
class ReplaceSheetCommand : public QUndoCommand {
 public:
  ReplaceSheetCommand(WorkbookTableModel& model, std::size_t sheet, Worksheet before, Worksheet after,
                      const QString& text, const std::optional<calc::StructureChange>& change = std::nullopt);

  void undo() override;
  void redo() override;

 private:
  WorkbookTableModel& model_;
  std::size_t sheet_;
  Worksheet before_;
  Worksheet after_;
  std::vector<WorkbookTableModel::FormulaWrite> othersBefore_;  // formulas of other sheets
  std::vector<WorkbookTableModel::FormulaWrite> othersAfter_;
};

}  // namespace spreadsheet
