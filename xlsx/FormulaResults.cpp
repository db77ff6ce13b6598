#include "xlsx/FormulaResults.h"

#include <optional>
#include <variant>
#include <vector>

#include "calc/Formula.h"
#include "calc/WorkbookSource.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/read/OpcPackage.h"
#include "xlsx/read/XmlReader.h"

namespace spreadsheet {
namespace {

using calc::Formula;

enum class ResultType { Any, Number, Text, Boolean };

// The type of value a formula's last operation gives, where it is fixed (errors aside).
ResultType TypeOf(const Formula& formula) {
  const auto& steps = formula.Steps();
  if (steps.empty()) return ResultType::Any;
  const Formula::Step& last = steps.back();
  switch (last.kind) {
    case Formula::Step::Kind::Number:
    case Formula::Step::Kind::Unary:
    case Formula::Step::Kind::Percent:
      return ResultType::Number;
    case Formula::Step::Kind::Text:
      return ResultType::Text;
    case Formula::Step::Kind::Bool:
      return ResultType::Boolean;
    case Formula::Step::Kind::Binary:
      switch (last.op) {
        case '+': case '-': case '*': case '/': case '^': return ResultType::Number;
        case '&': return ResultType::Text;
        default: return ResultType::Boolean;
      }
    default:
      return ResultType::Any;
  }
}

// Whether a stored result can be taken as what the formula computes. A formula no calculation
// here can compute (another workbook, an unknown function) has no value of ours: its stored
// number may be stale, and nobody here could tell.
bool Fits(const CellValue& stored, std::string_view text, const calc::NameLookup& names) {
  std::optional<Formula> formula;
  try {
    formula = Formula::Parse(text, names);
  } catch (const SpreadsheetError&) {
    return false;
  }
  if (formula->HasUnknownNames()) return false;
  if (IsError(stored) || IsEmptyValue(stored)) return true;
  switch (TypeOf(*formula)) {
    case ResultType::Number: return IsNumber(stored);
    case ResultType::Text: return IsText(stored);
    case ResultType::Boolean: return IsBoolean(stored);
    case ResultType::Any: return true;
  }
  return true;
}

// Whether the package the workbook was read from asks to be calculated on opening (calcPr
// fullCalcOnLoad): then every result it stores may be stale.
bool AsksForRecalculation(const Workbook& workbook) {
  const PackageOrigin* origin = workbook.Origin();
  if (!origin || !origin->bytes) return false;
  const OpcPackage package(origin->bytes);
  const auto rels = package.Relationships("/");
  const OpcPackage::Relationship* office = OpcPackage::OfKind(rels, "officeDocument");
  if (!office) return false;
  const std::string xml = package.Read(office->target);
  XmlReader r(xml, office->target);
  while (r.Read()) {
    if (r.Kind() != XmlReader::Node::Start || r.Name() != "calcPr") continue;
    const std::string_view flag = r.Attribute("fullCalcOnLoad").value_or("");
    return flag == "1" || flag == "true";
  }
  return false;
}

}  // namespace

calc::Recalculation FormulaResults::Settle(Workbook& workbook) {
  const bool stale = AsksForRecalculation(workbook);
  std::vector<calc::SheetCell> missing;
  for (std::size_t s = 0; s < workbook.SheetCount(); ++s) {
    Worksheet& ws = workbook.SheetAt(s);
    const calc::NameLookup names = calc::NamesSeenFrom(workbook, s);
    for (int row = 0; row < ws.RowExtent(); ++row) {
      const std::vector<Cell>& cells = ws.Row(row);
      for (std::size_t col = 0; col < cells.size(); ++col) {
        const Cell& cell = cells[col];
        if (!cell.HasFormula()) continue;
        const CellAddress at{row, static_cast<int>(col)};
        if (stale || std::holds_alternative<NoStoredResult>(cell.value)) {
          if (stale) ws.CellAt(at).value = NoStoredResult{};
          missing.push_back({s, at});
        } else if (!Fits(cell.value, cell.formula.view(), names)) {
          ws.CellAt(at).value = NoStoredResult{};
          missing.push_back({s, at});
        }
      }
    }
  }
  if (missing.empty()) return {};
  const bool modified = workbook.IsModified();
  calc::Recalculator recalculator(workbook);
  recalculator.Rebuild();
  calc::Recalculation done = recalculator.Changed(missing);
  workbook.SetModified(modified);
  return done;
}

}  // namespace spreadsheet
