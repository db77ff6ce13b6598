#pragma once

#include <cstddef>
#include <string_view>

#include "calc/CellSource.h"
#include "calc/Formula.h"
#include "calc/Value.h"
#include "workbook/CellAddress.h"

namespace spreadsheet::calc {

// Computes formulas with spreadsheet semantics: texts that read as numbers count as numbers
// in arithmetic, blanks as 0 or "", booleans as 1 and 0; errors propagate; a reference to a
// sheet that does not exist gives #REF!, an unknown function or name #NAME?. Iterative (no
// recursion), so any formula Formula::Parse accepts is safe to evaluate.
class Evaluator {
 public:
  explicit Evaluator(const CellSource& cells) : cells_(cells) {}

  // The result of `formula` written in cell `at` of sheet `sheet` (the sheet unqualified
  // references read, and the row or column of an implicit intersection).
  Value Evaluate(const Formula& formula, std::size_t sheet, CellAddress at) const;
  // The same, and whether the result is the formula's true value: false when the formula
  // uses a function or name the engine does not know, or read a cell without a value
  // (Value::Uncomputed); such formulas have no value where they are stored.
  Value Evaluate(const Formula& formula, std::size_t sheet, CellAddress at, bool& computable) const;

  // The functions known to the engine (upper-case names).
  static bool IsKnownFunction(std::string_view name);

 private:
  const CellSource& cells_;
};

}  // namespace spreadsheet::calc
