// Formula texts as typed or read from files: any text either parses or is refused with
// SpreadsheetError 1004 and a description; what parses evaluates on a small book, recomputes
// in a workbook (also reading itself), and survives the reference rewriting as a formula that
// parses again.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "calc/Evaluator.h"
#include "calc/Formula.h"
#include "calc/Recalculator.h"
#include "calc/ReferenceRewriter.h"
#include "calc/WorkbookSource.h"
#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"

using levelbook::fuzz::Require;
using spreadsheet::CellAddress;
using spreadsheet::SpreadsheetError;
using spreadsheet::Workbook;
using namespace spreadsheet::calc;

namespace {

Workbook Book() {
  Workbook wb;
  auto& s = wb.AddSheet("Sheet1");
  s.SetValue(CellAddress{0, 0}, 1.5);
  s.SetValue(CellAddress{1, 0}, std::string("2"));
  s.SetValue(CellAddress{2, 0}, std::string("文字"));
  s.SetValue(CellAddress{0, 1}, spreadsheet::CellError{"#N/A"});
  s.SetValue(CellAddress{1, 1}, -3.0);
  wb.AddSheet("数据 输入").SetValue(CellAddress{4, 4}, 150.826);
  return wb;
}

bool Parses(std::string_view text) {
  try {
    Formula::Parse(text);
    return true;
  } catch (const SpreadsheetError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<Formula> formula;
  try {
    formula = Formula::Parse(text);
  } catch (const SpreadsheetError& e) {
    Require(e.Number() == SpreadsheetError::kApplicationDefined, "error number 1004", text);
    Require(!e.Description().empty(), "the refusal says why", text);
    return 0;
  }
  Require(formula->Text() == text, "the formula keeps its text", text);

  Workbook wb = Book();
  const WorkbookSource source(wb);
  const Value v = Evaluator(source).Evaluate(*formula, 0, CellAddress{3, 2});
  Require(!v.IsEmpty(), "a formula always has a value", text);
  Require(!v.IsNumber() || std::isfinite(v.number), "numbers are finite", text);

  // In the book: at C4, read by D4, and at A1 where it may read itself.
  wb.SheetAt(0).SetFormula(CellAddress{3, 2}, std::string(text), spreadsheet::NoStoredResult{});
  wb.SheetAt(0).SetFormula(CellAddress{3, 3}, "C4+1", spreadsheet::NoStoredResult{});
  wb.SheetAt(1).SetFormula(CellAddress{0, 0}, std::string(text), spreadsheet::NoStoredResult{});
  Recalculator calc(wb);
  const Recalculation all = calc.RecalculateAll();
  Require(all.computed == 3 && all.unparsed.empty(), "every formula computed", text);
  const SheetCell edited{0, CellAddress{0, 0}};
  calc.Changed(std::span(&edited, 1));

  for (const auto& [rows, columns] : {std::pair{1, 1}, std::pair{-1, 0}, std::pair{70000, -300}}) {
    Require(Parses(ReferenceRewriter::Shift(text, rows, columns)), "a shifted formula parses", text);
  }
  for (const auto& change : {StructureChange{"Sheet1", StructureChange::Axis::Rows, 0, -1},
                             StructureChange{"sheet1", StructureChange::Axis::Columns, 1, 3},
                             StructureChange{"数据 输入", StructureChange::Axis::Rows, 2, -5}}) {
    Require(Parses(ReferenceRewriter::Adjust(text, "Sheet1", change)), "an adjusted formula parses", text);
  }
  Require(Parses(ReferenceRewriter::RenameSheet(text, "sheet1", "it's 1")), "a renamed formula parses", text);
  return 0;
}
