#include "sheetview/ReplaceSheetCommand.h"

#include <utility>

#include "sheetview/WorkbookTableModel.h"

namespace spreadsheet {

ReplaceSheetCommand::ReplaceSheetCommand(WorkbookTableModel& model, std::size_t sheet, Worksheet before,
                                         Worksheet after, const QString& text)
    : QUndoCommand(text), model_(model), sheet_(sheet), before_(std::move(before)), after_(std::move(after)) {}

void ReplaceSheetCommand::undo() { model_.ReplaceSheet(sheet_, before_); }

void ReplaceSheetCommand::redo() { model_.ReplaceSheet(sheet_, after_); }

}  // namespace spreadsheet
