#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "calc/Formula.h"

namespace spreadsheet::calc {

// One token of a formula text with its byte span, so that the reference rewriter can replace
// references in place.
struct FormulaToken {
  enum class Kind { Number, String, Bool, Error, Ref, Function, Name, Operator, Open, Close, Comma, End };
  Kind kind = Kind::End;
  std::size_t begin = 0, end = 0;  // bytes of the text; a Function ends after its name
  double number = 0;               // Number; Bool 1 or 0
  std::string text;                // String: the value; Function, Name: upper case; Ref: the sheet name
  ErrorCode error = ErrorCode::Value;
  char op = 0;  // Operator: + - * / ^ & % = < > and 'l' (<=), 'g' (>=), 'n' (<>)
  // Ref: the reference (its `sheet` field unused), whether a sheet was named, where the part
  // after the sheet prefix begins, and whether it lies inside the sheet (65,536 × 256); a
  // reference in A1 syntax beyond it ("XFD1", "A1048576") evaluates to #REF!.
  Reference ref;
  bool hasSheet = false;
  std::size_t cellBegin = 0;
  bool inSheet = true;
};

// Splits a formula text into tokens; the text must outlive the lexer. Throws SpreadsheetError 1004 naming the position for
// text that is no token (an unterminated string, a stray character, a reference to another
// workbook).
class FormulaLexer {
 public:
  explicit FormulaLexer(std::string_view text) : text_(text) {}
  FormulaToken Next();
  std::string_view Text() const { return text_; }

  // Throws SpreadsheetError 1004: `what` at byte `at` of `text`, quoting the text there.
  [[noreturn]] static void Fail(std::string_view text, std::size_t at, std::string_view what);
  static std::size_t CharacterCount(std::string_view text);  // UTF-8 code points
  static bool IsNameChar(unsigned char c);

 private:
  bool ScanReference(std::size_t at, FormulaToken& token) const;
  std::size_t SkipBlanks(std::size_t at) const;

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace spreadsheet::calc
