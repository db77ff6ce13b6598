#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "calc/CellSource.h"
#include "calc/Value.h"
#include "workbook/CellAddress.h"

namespace spreadsheet::calc {

// Where a formula is being computed: the cells it reads and its own cell.
struct EvaluationContext {
  const CellSource& cells;
  std::size_t sheet;
  CellAddress at;
  // Set when the formula read a cell without a value: its result cannot be trusted.
  mutable bool readUncomputed = false;
};

// A cell's value as formulas read it: an Uncomputed cell reads as #N/A and marks the context.
Value Read(const EvaluationContext& context, std::size_t sheet, CellAddress at);

// One entry of the evaluator's stack: a value, a block of cells on a sheet (a reference, kept
// as such so that SUM can tell a referenced TRUE from a typed one), or an empty argument.
struct Operand {
  enum class Kind { Value, Range, Missing };
  Kind kind = Kind::Value;
  Value value;
  std::size_t sheet = 0;
  int row0 = 0, column0 = 0, row1 = 0, column1 = 0;  // Range, normalised, inside the sheet

  static Operand Of(Value v) {
    Operand o;
    o.value = std::move(v);
    return o;
  }
  static Operand Range(std::size_t sheet, int row0, int column0, int row1, int column1) {
    Operand o;
    o.kind = Kind::Range;
    o.sheet = sheet;
    o.row0 = row0;
    o.column0 = column0;
    o.row1 = row1;
    o.column1 = column1;
    return o;
  }
  int Rows() const { return row1 - row0 + 1; }
  int Columns() const { return column1 - column0 + 1; }
};

// The single value an operand stands for where one value is wanted: a one-cell range its
// cell, a one-column (one-row) range the cell in the formula's row (column), else #VALUE!.
Value Scalar(const Operand& operand, const EvaluationContext& context);

// Coercions as arithmetic, text operators and logical functions make them. Each returns the
// error of the value when it is one; text that is no number (no TRUE/FALSE) gives #VALUE!.
struct Coerced {
  double number = 0;
  std::optional<ErrorCode> error;
};
Coerced ToNumber(const Value& v);
Coerced ToBool(const Value& v);  // number 1 or 0
std::string ToText(const Value& v);  // callers check for errors first

// LibreOffice's tolerant arithmetic: a sum or difference within 2^-48 of zero relative to its
// operands is zero, equality holds within the same tolerance, so 0.1+0.2 equals 0.3.
double ApproxAdd(double a, double b);
bool ApproxEqual(double a, double b);
// The value rounded to 15 significant decimal digits (what a spreadsheet shows and compares).
double Approx15(double x);

}  // namespace spreadsheet::calc
