#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "calc/Operand.h"

namespace spreadsheet::calc {

// The built-in functions; a Formula's Function steps carry these ids.
enum class FunctionId : std::uint32_t {
  Sum, Average, Min, Max, Count, CountA, Round, RoundUp, RoundDown, Int, Trunc, Abs, Sign, Sqrt, Power, Mod,
  Pi, Sin, Cos, Tan, Atan, Radians, Degrees, If, IfError, And, Or, Not, IsNumber, IsBlank, VLookup, Index,
  Match, Choose, Text, ValueOf, Left, Right, Mid, Len, Concatenate, Row, Column, Rows, Columns,
  Asin, Acos, Atan2, Exp, Ln, Log10, Find, Substitute, Trim,
};

struct FunctionInfo {
  FunctionId id;
  std::string_view name;  // upper case
  int minArgs;
  int maxArgs;  // at most kMaxArguments
};

class Functions {
 public:
  static constexpr int kMaxArguments = 255;

  // The function of an upper-case name ("_xlfn." prefixes of files included), or nullopt.
  static const FunctionInfo* Find(std::string_view upperName);
  static const FunctionInfo& Info(FunctionId id);
  // Computes a function over its arguments (as many as Info allows; empty ones Missing). The
  // result may be a range (IF, CHOOSE and INDEX give references).
  static Operand Call(FunctionId id, std::span<Operand> args, const EvaluationContext& context);
};

}  // namespace spreadsheet::calc
