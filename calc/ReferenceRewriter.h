#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "workbook/Workbook.h"

namespace spreadsheet::calc {

// Rows or columns inserted into or deleted from one sheet, 0-based: `count` > 0 inserts that
// many before `at`, `count` < 0 deletes -count from `at` on.
struct StructureChange {
  enum class Axis { Rows, Columns };
  std::string sheet;  // the sheet's name
  Axis axis = Axis::Rows;
  int at = 0;
  int count = 0;
};

// Rewrites the references of formula texts (without '='), changing nothing else of the text
// (spacing, case, function names stay as typed). A text that does not parse is returned
// unchanged: it has no value either way.
class ReferenceRewriter {
 public:
  // The formula copied (pasted, filled) by `rows` down and `columns` right: relative parts
  // move, '$' parts stay; a reference moved off the sheet becomes #REF!.
  static std::string Shift(std::string_view formula, int rows, int columns);

  // The formula of a cell on sheet `formulaSheet` after the change: references to the changed
  // sheet (qualified, or unqualified when the formula is on it) follow the rows or columns
  // they point at; ranges grow with insertions inside and shrink with deletions; a reference
  // whose every target was deleted, or that is pushed off the sheet, becomes #REF!.
  static std::string Adjust(std::string_view formula, std::string_view formulaSheet, const StructureChange& change);

  // Adjust() on every formula of the workbook (call it with the same change as the sheet's
  // InsertRows/DeleteRows/InsertColumns/DeleteColumns, before or after it). Returns the
  // number of formulas whose text changed.
  static std::size_t AdjustWorkbook(Workbook& workbook, const StructureChange& change);

  // The formula after sheet `from` was renamed `to`: references qualified with the old name
  // (in any case) name the new one, quoted where the name needs it ('数据 输入'!A1).
  static std::string RenameSheet(std::string_view formula, std::string_view from, std::string_view to);
  // RenameSheet() on every formula of the workbook; the number of formulas changed.
  static std::size_t RenameSheetInWorkbook(Workbook& workbook, std::string_view from, std::string_view to);
  // A sheet name as a formula writes it before '!': bare when it reads back as that name,
  // else in single quotes with each quote doubled.
  static std::string SheetPrefix(std::string_view name);
};

}  // namespace spreadsheet::calc
