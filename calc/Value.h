#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "workbook/CellValue.h"

namespace spreadsheet::calc {

// The seven error values of a spreadsheet formula.
enum class ErrorCode : std::uint8_t { Null, Div0, Value, Ref, Name, Num, NA };

// "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A".
std::string_view ErrorText(ErrorCode code);
// The code of an error text as above (case-insensitive), or nullopt.
std::optional<ErrorCode> ParseErrorCode(std::string_view text);
// Equal when the ASCII letters are compared without case (function, error and sheet names).
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// One value a formula computes or reads from a cell: empty (a blank cell), a number, UTF-8
// text, a boolean or an error; or none at all (Uncomputed): the cell of a formula that could
// not be computed (it does not parse, uses a function the engine does not know, or reads such
// a cell), whose true value nobody here knows. Numbers are finite doubles (an infinite or NaN
// result becomes #NUM! before it is stored).
struct Value {
  enum class Kind : std::uint8_t { Empty, Number, Text, Bool, Error, Uncomputed };

  Kind kind = Kind::Empty;
  ErrorCode error = ErrorCode::Value;  // Error only
  double number = 0;                   // Number; Bool as 1 or 0
  std::string text;                    // Text only

  static Value Number(double x);  // non-finite x gives #NUM!
  static Value Text(std::string s);
  static Value Bool(bool b);
  static Value Error(ErrorCode e);
  static Value Uncomputed();

  bool IsEmpty() const { return kind == Kind::Empty; }
  bool IsNumber() const { return kind == Kind::Number; }
  bool IsText() const { return kind == Kind::Text; }
  bool IsBool() const { return kind == Kind::Bool; }
  bool IsError() const { return kind == Kind::Error; }
  bool IsUncomputed() const { return kind == Kind::Uncomputed; }

  friend bool operator==(const Value&, const Value&) = default;
};

// The engine's value as a cell stores it (booleans as the model holds them; Uncomputed as
// NoStoredResult), and back. An error text of the model that is no spreadsheet error reads
// as #VALUE!; a formula's missing result reads as Uncomputed.
CellValue ToCellValue(const Value& value);
Value FromCellValue(const CellValue& value);

// How a value shows where a formula turns it into text (& and the text functions): numbers
// with up to 15 significant digits, booleans as TRUE/FALSE, empty and Uncomputed as "".
std::string ValueToText(const Value& value);

}  // namespace spreadsheet::calc
