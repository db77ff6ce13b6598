#include "calc/Recalculator.h"

#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {

struct Recalculator::Graph {};

Recalculator::Recalculator(Workbook& workbook) : workbook_(workbook), graph_(std::make_unique<Graph>()) {}
Recalculator::~Recalculator() = default;

void Recalculator::Rebuild() {}
Recalculation Recalculator::RecalculateAll() { return {}; }
Recalculation Recalculator::Changed(std::span<const SheetCell>) { return {}; }
Recalculation Recalculator::Changed(std::size_t, const CellRange&) { return {}; }
std::size_t Recalculator::FormulaCount() const { return 0; }

}  // namespace spreadsheet::calc
