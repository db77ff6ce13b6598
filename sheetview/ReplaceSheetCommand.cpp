#include "sheetview/ReplaceSheetCommand.h"

#include <string>
#include <utility>

namespace spreadsheet {

ReplaceSheetCommand::ReplaceSheetCommand(WorkbookTableModel& model, std::size_t sheet, Worksheet before,
                                         Worksheet after, const QString& text,
                                         const std::optional<calc::StructureChange>& change)
    : QUndoCommand(text), model_(model), sheet_(sheet), before_(std::move(before)), after_(std::move(after)) {
  const Workbook* workbook = model.GetWorkbook();
  if (!change || !workbook) return;
  for (int r = 0; r < after_.RowExtent(); ++r) {
    const auto& cells = after_.Row(r);
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (!cells[c].HasFormula()) continue;
      std::string moved = calc::ReferenceRewriter::Adjust(cells[c].formula.view(), after_.Name(), *change);
      if (moved != cells[c].formula.view()) after_.CellAt(CellAddress{r, static_cast<int>(c)}).formula = std::move(moved);
    }
  }
  for (std::size_t s = 0; s < workbook->SheetCount(); ++s) {
    if (s == sheet) continue;
    const Worksheet& other = workbook->SheetAt(s);
    for (int r = 0; r < other.RowExtent(); ++r) {
      const auto& cells = other.Row(r);
      for (std::size_t c = 0; c < cells.size(); ++c) {
        if (!cells[c].HasFormula()) continue;
        std::string moved = calc::ReferenceRewriter::Adjust(cells[c].formula.view(), other.Name(), *change);
        if (moved == cells[c].formula.view()) continue;
        const CellAddress at{r, static_cast<int>(c)};
        othersBefore_.push_back({s, at, std::string(cells[c].formula.view())});
        othersAfter_.push_back({s, at, std::move(moved)});
      }
    }
  }
}

void ReplaceSheetCommand::undo() { model_.ReplaceSheet(sheet_, before_, othersBefore_); }

void ReplaceSheetCommand::redo() { model_.ReplaceSheet(sheet_, after_, othersAfter_); }

}  // namespace spreadsheet
