#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "workbook/CellAddress.h"
#include "workbook/CellRange.h"
#include "workbook/Workbook.h"

namespace spreadsheet::calc {

// A cell of a workbook: the sheet by its index.
struct SheetCell {
  std::size_t sheet = 0;
  CellAddress cell;
  friend bool operator==(const SheetCell&, const SheetCell&) = default;
};

struct Recalculation {
  std::size_t computed = 0;  // formula cells whose value was (re)computed
  // One cell of a circular reference: the first met on the way, or else, when an earlier
  // recalculation left a circle that this one did not reach, its first cell (sheet, row,
  // column order); empty once no circle is left. Every cell on a circle gets the error value
  // kCircularError.
  std::optional<SheetCell> circular;
  // Formula cells whose text could not be parsed (syntax, limits, another workbook).
  std::vector<SheetCell> unparsed;
  // Every formula cell left without a value (NoStoredResult), since nothing truthful can be
  // shown for it: the unparsed ones, those using functions or names the engine does not
  // know, and those reading such cells. A file saved with them asks for recalculation.
  std::vector<SheetCell> uncomputed;
};

// The value the cells of a circular reference get.
inline constexpr const char* kCircularError = "#REF!";

// The formulas of one workbook, each parsed once, with their dependency graph (precedents and
// dependents, ranges included), recomputing results into the cells' `value`. Holds a
// reference to the workbook, which must outlive it. Ordering and cycle search are iterative,
// so chains of any length are safe.
//
// Keep it in step with the workbook: after a cell's value or formula changed, call Changed()
// with it; after sheets were added, removed, renamed or reordered, rows or columns inserted or
// deleted, or the workbook replaced, call RecalculateAll() (or Rebuild()).
class Recalculator {
 public:
  explicit Recalculator(Workbook& workbook);
  ~Recalculator();
  Recalculator(const Recalculator&) = delete;
  Recalculator& operator=(const Recalculator&) = delete;

  // Parses every formula of the workbook anew and rebuilds the graph, computing nothing.
  void Rebuild();
  // Rebuild() and compute every formula cell.
  Recalculation RecalculateAll();
  // The cells listed (or the blocks, on their sheet) changed in value or formula: their
  // formulas are parsed again (or dropped), then they and every formula depending on them,
  // directly or through others, are computed in dependency order. Other cells keep their
  // values, so this also computes just the formulas whose stored results are missing.
  Recalculation Changed(std::span<const SheetCell> cells);
  Recalculation Changed(std::size_t sheet, const CellRange& range);

  std::size_t FormulaCount() const;

  // Per sheet of `workbook` (by index): whether a change to its cells' values may change a
  // formula, i.e. a formula stands on it or one on another sheet names it. References are
  // static (no function builds one from text), so every sheet a formula reads is named in its
  // text, quoted or not; a name inside a string literal counts too. Found without parsing.
  static std::vector<bool> SheetsFormulasRead(const Workbook& workbook);

 private:
  struct Graph;
  Recalculation Compute(const std::vector<std::uint32_t>& dirty);

  Workbook& workbook_;
  std::unique_ptr<Graph> graph_;
};

}  // namespace spreadsheet::calc
