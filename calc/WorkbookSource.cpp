#include "calc/WorkbookSource.h"

#include "calc/Value.h"

namespace spreadsheet::calc {

bool SameSheetName(std::string_view a, std::string_view b) { return EqualsIgnoringCase(a, b); }

NameLookup NamesSeenFrom(const Workbook& workbook, std::size_t sheet) {
  if (workbook.DefinedNames().empty()) return {};
  return [&workbook, sheet](std::string_view upperName) -> const std::string* {
    const DefinedName* global = nullptr;
    for (const DefinedName& n : workbook.DefinedNames()) {
      if (!SameSheetName(n.name, upperName)) continue;
      if (n.sheet == static_cast<int>(sheet)) return &n.formula;
      if (n.sheet < 0 && global == nullptr) global = &n;
    }
    return global != nullptr ? &global->formula : nullptr;
  };
}

std::optional<std::size_t> WorkbookSource::FindSheet(std::string_view name) const {
  for (std::size_t i = 0; i < workbook_.SheetCount(); ++i) {
    if (SameSheetName(workbook_.SheetAt(i).Name(), name)) return i;
  }
  return std::nullopt;
}

Value WorkbookSource::CellValue(std::size_t sheet, CellAddress at) const {
  if (sheet >= workbook_.SheetCount()) return Value::Error(ErrorCode::Ref);
  const Cell* cell = workbook_.SheetAt(sheet).FindCell(at);
  return cell ? FromCellValue(cell->value) : Value{};
}

int WorkbookSource::RowExtent(std::size_t sheet) const {
  return sheet < workbook_.SheetCount() ? workbook_.SheetAt(sheet).RowExtent() : 0;
}

int WorkbookSource::ColumnExtent(std::size_t sheet) const {
  if (sheet >= workbook_.SheetCount()) return 0;
  const Worksheet& ws = workbook_.SheetAt(sheet);
  std::size_t widest = 0;
  for (int r = 0; r < ws.RowExtent(); ++r) widest = std::max(widest, ws.Row(r).size());
  return static_cast<int>(widest);
}

}  // namespace spreadsheet::calc
