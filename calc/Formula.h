#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/Value.h"

namespace spreadsheet::calc {

// A reference as written in a formula: one cell, a block, whole columns (A:B) or whole rows
// (1:3), on the formula's own sheet or a named one. Corners are 0-based and normalised
// (row0 <= row1, column0 <= column1); `absolute*` tell which parts carry a '$'.
struct Reference {
  static constexpr int kOwnSheet = -1;

  int sheet = kOwnSheet;  // index into Formula::SheetNames(), or kOwnSheet
  int row0 = 0, column0 = 0, row1 = 0, column1 = 0;
  bool absoluteRow0 = false, absoluteColumn0 = false, absoluteRow1 = false, absoluteColumn1 = false;
  bool wholeColumns = false;  // A:B (rows 0..65535)
  bool wholeRows = false;     // 1:3 (columns 0..255)

  bool IsCell() const { return row0 == row1 && column0 == column1 && !wholeColumns && !wholeRows; }
  friend bool operator==(const Reference&, const Reference&) = default;
};

// The definition of a name by its upper-case spelling, or nullptr (see Formula::Parse).
using NameLookup = std::function<const std::string*(std::string_view upperName)>;

// A formula parsed once, as spreadsheets accept it typed (the text without its leading '='),
// kept in postfix order so that evaluating it needs no recursion. Copyable and immutable.
//
// Grammar: numbers, "strings" ("" is a quote), TRUE/FALSE, the error literals, A1 references
// with '$', ranges A1:B5, A:B, 1:3, sheet-qualified references (Sheet1!A1, 'My sheet'!A1
// with '' for a quote), function calls (names case-insensitive, empty arguments allowed),
// unary + and - (binding tighter than ^, so -2^2 is 4), postfix %, ^ (left to right), * /,
// + -, & and the comparisons = <> < > <= >=; blanks between tokens. References in A1 syntax
// beyond this model's sheet (XFD1, A1048576) are kept as #REF!; functions named with a
// file's "_xlfn." prefix are the functions without it.
class Formula {
 public:
  static constexpr std::size_t kMaxLength = 8192;  // characters (code points, not bytes)
  static constexpr int kMaxNesting = 64;           // parentheses and function calls

  // Throws SpreadsheetError 1004 with a Chinese description for input that is longer than
  // kMaxLength, nested deeper than kMaxNesting, refers to another workbook ("[1]Sheet!A1"), or
  // is no formula (naming the position and the text found there). Never crashes on any input.
  static Formula Parse(std::string_view text);
  // As Parse, with the names a workbook defines: `names` gives a name's definition (without
  // '=') by its upper-case spelling, or nullptr. A name defined as one absolute reference
  // (Sheet1!$A$1, '数据输入'!$E$6:$E$9) or a number reads as that; any other name stays unknown.
  static Formula Parse(std::string_view text, const NameLookup& names);

  const std::string& Text() const { return text_; }
  const std::vector<std::string>& SheetNames() const { return sheetNames_; }
  // Every reference inside the sheet, in the order written.
  std::vector<Reference> References() const;
  // The function names (upper case) and bare names the engine does not know, in the order
  // first written; each makes the formula (or its part) #NAME?.
  std::vector<std::string> UnknownNames() const;
  bool HasUnknownNames() const;

  // One step of the postfix program.
  struct Step {
    enum class Kind : std::uint8_t {
      Number,     // number
      Text,       // strings[index]
      Bool,       // number is 1 or 0
      Error,      // error
      Ref,        // references[index]
      Missing,    // an empty function argument
      Unary,      // op: '+', '-'
      Percent,    // postfix %
      Binary,     // op: one of + - * / ^ & = < > and 'l' (<=), 'g' (>=), 'n' (<>)
      Function,   // index: function id (see Functions.h), count: arguments
      UnknownFunction,  // strings[index]: its upper-case name, count: arguments
      Name,       // strings[index]: an unknown bare name
    };
    Kind kind = Kind::Number;
    char op = 0;
    ErrorCode error = ErrorCode::Value;
    std::uint16_t count = 0;
    std::uint32_t index = 0;
    double number = 0;
  };

  const std::vector<Step>& Steps() const { return steps_; }
  const std::vector<Reference>& ReferenceTable() const { return references_; }
  const std::vector<std::string>& Strings() const { return strings_; }

 private:
  std::string text_;
  std::vector<Step> steps_;
  std::vector<Reference> references_;
  std::vector<std::string> strings_;  // string literals, unknown names and unknown function names
  std::vector<std::string> sheetNames_;
  friend class FormulaParser;
};

}  // namespace spreadsheet::calc
