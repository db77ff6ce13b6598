#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "workbook/CellValue.h"

namespace spreadsheet {

// The text a spreadsheet shows for a value under a number format code, parsed once.
// Understood: General, digit placeholders 0 # ?, decimal point, thousands grouping and
// trailing-comma scaling, %, scientific E+/E-, @, quoted and backslash-escaped literals,
// _x spacing (one space), *x fill (dropped), [Red]-style colours (ignored), [$€-407]
// currency, [<0]-style conditions, and up to four ';' sections (positive; negative; zero;
// text). Numbers are rounded half away from zero on their 15-significant-digit decimal
// value, as spreadsheets show them. Codes with date or time parts, or letters it does not
// know, show numbers as General. Never throws for any code.
class NumberFormat {
 public:
  explicit NumberFormat(std::string_view code = "General");

  // Empty values show as "", texts as they are or under the text section; numbers under the code.
  std::string Format(const CellValue& value) const;
  std::string FormatNumber(double x) const;
  std::string FormatText(const std::string& text) const;
  const std::string& Code() const { return code_; }
  bool IsGeneral() const { return general_; }  // also true for unknown codes

  // Parses the code for this one call; callers that format many cells keep a NumberFormat
  // (or a NumberFormatCache) instead.
  static std::string Display(const CellValue& value, std::string_view code);
  // General: up to 11 significant digits, scientific ("1.23457E+11") outside 1e-9 ≤ |x| < 1e11.
  static std::string General(double x);

  enum class Comparison { None, Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };
  struct Token {
    enum class Kind { Literal, Digit, Point, Exponent, Text, General };
    Kind kind = Kind::Literal;
    std::string text;    // Literal: the characters shown
    char symbol = 0;     // Digit: '0', '#' or '?'; Exponent: '+' or '-'
    enum class Part { Integer, Fraction, Exponent } part = Part::Integer;  // Digit only
  };
  struct Section {
    std::vector<Token> tokens;
    Comparison comparison = Comparison::None;
    double operand = 0;
    bool hasText = false;       // holds '@'
    bool hasGeneral = false;    // holds the word General
    bool hasExponent = false;
    bool grouping = false;      // a comma between integer digit placeholders
    int percent = 0;            // each % multiplies by 100
    int scale = 0;              // each comma after the last integer placeholder divides by 1000
    int integerDigits = 0;      // placeholders before the point (or the exponent)
    int fractionDigits = 0;
    int exponentDigits = 0;
  };

 private:
  std::string Render(const Section& section, double magnitude) const;

  std::string code_;
  bool general_ = true;
  std::vector<Section> numberSections_;  // one to three, in the order written
  bool hasTextSection_ = false;
  Section textSection_;
};

}  // namespace spreadsheet
