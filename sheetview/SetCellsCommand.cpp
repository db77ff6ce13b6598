#include "sheetview/SetCellsCommand.h"

#include <utility>

namespace spreadsheet {

SetCellsCommand::SetCellsCommand(WorkbookTableModel& model, std::size_t sheet, WorkbookTableModel::CellContents before,
                                 WorkbookTableModel::CellContents after, const QString& text)
    : QUndoCommand(text), model_(model), sheet_(sheet), before_(std::move(before)), after_(std::move(after)) {}

void SetCellsCommand::undo() { model_.SetContents(sheet_, before_); }

void SetCellsCommand::redo() { model_.SetContents(sheet_, after_); }

}  // namespace spreadsheet
