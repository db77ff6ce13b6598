#include "calc/Functions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "numfmt/NumberFormat.h"

namespace spreadsheet::calc {

namespace {

constexpr int kAny = Functions::kMaxArguments;

constexpr std::array<FunctionInfo, 54> kFunctions{{
    {FunctionId::Sum, "SUM", 1, kAny},
    {FunctionId::Average, "AVERAGE", 1, kAny},
    {FunctionId::Min, "MIN", 1, kAny},
    {FunctionId::Max, "MAX", 1, kAny},
    {FunctionId::Count, "COUNT", 1, kAny},
    {FunctionId::CountA, "COUNTA", 1, kAny},
    {FunctionId::Round, "ROUND", 1, 2},
    {FunctionId::RoundUp, "ROUNDUP", 1, 2},
    {FunctionId::RoundDown, "ROUNDDOWN", 1, 2},
    {FunctionId::Int, "INT", 1, 1},
    {FunctionId::Trunc, "TRUNC", 1, 2},
    {FunctionId::Abs, "ABS", 1, 1},
    {FunctionId::Sign, "SIGN", 1, 1},
    {FunctionId::Sqrt, "SQRT", 1, 1},
    {FunctionId::Power, "POWER", 2, 2},
    {FunctionId::Mod, "MOD", 2, 2},
    {FunctionId::Pi, "PI", 0, 0},
    {FunctionId::Sin, "SIN", 1, 1},
    {FunctionId::Cos, "COS", 1, 1},
    {FunctionId::Tan, "TAN", 1, 1},
    {FunctionId::Atan, "ATAN", 1, 1},
    {FunctionId::Radians, "RADIANS", 1, 1},
    {FunctionId::Degrees, "DEGREES", 1, 1},
    {FunctionId::If, "IF", 1, 3},
    {FunctionId::IfError, "IFERROR", 2, 2},
    {FunctionId::And, "AND", 1, kAny},
    {FunctionId::Or, "OR", 1, kAny},
    {FunctionId::Not, "NOT", 1, 1},
    {FunctionId::IsNumber, "ISNUMBER", 1, 1},
    {FunctionId::IsBlank, "ISBLANK", 1, 1},
    {FunctionId::VLookup, "VLOOKUP", 3, 4},
    {FunctionId::Index, "INDEX", 2, 3},
    {FunctionId::Match, "MATCH", 2, 3},
    {FunctionId::Choose, "CHOOSE", 2, kAny},
    {FunctionId::Text, "TEXT", 2, 2},
    {FunctionId::ValueOf, "VALUE", 1, 1},
    {FunctionId::Left, "LEFT", 1, 2},
    {FunctionId::Right, "RIGHT", 1, 2},
    {FunctionId::Mid, "MID", 3, 3},
    {FunctionId::Len, "LEN", 1, 1},
    {FunctionId::Concatenate, "CONCATENATE", 1, kAny},
    {FunctionId::Row, "ROW", 0, 1},
    {FunctionId::Column, "COLUMN", 0, 1},
    {FunctionId::Rows, "ROWS", 1, 1},
    {FunctionId::Columns, "COLUMNS", 1, 1},
    {FunctionId::Asin, "ASIN", 1, 1},
    {FunctionId::Acos, "ACOS", 1, 1},
    {FunctionId::Atan2, "ATAN2", 2, 2},
    {FunctionId::Exp, "EXP", 1, 1},
    {FunctionId::Ln, "LN", 1, 1},
    {FunctionId::Log10, "LOG10", 1, 1},
    {FunctionId::Find, "FIND", 2, 3},
    {FunctionId::Substitute, "SUBSTITUTE", 3, 4},
    {FunctionId::Trim, "TRIM", 1, 1},
}};

}  // namespace

const FunctionInfo* Functions::Find(std::string_view upperName) {
  constexpr std::string_view kFilePrefix = "_XLFN.";
  if (upperName.substr(0, kFilePrefix.size()) == kFilePrefix) upperName.remove_prefix(kFilePrefix.size());
  for (const FunctionInfo& f : kFunctions) {
    if (f.name == upperName) return &f;
  }
  return nullptr;
}

const FunctionInfo& Functions::Info(FunctionId id) { return kFunctions[static_cast<std::size_t>(id)]; }

}  // namespace spreadsheet::calc

namespace spreadsheet::calc {

namespace {

enum class Rounding { HalfAway, Up, Down };

Operand Error(ErrorCode e) { return Operand::Of(Value::Error(e)); }
Operand Number(double x) { return Operand::Of(Value::Number(x)); }
Operand Bool(bool b) { return Operand::Of(Value::Bool(b)); }

// x rounded at `digits` decimals (negative: tens, hundreds, …) on its 15-significant-digit
// decimal form, so that 2.675 (stored as 2.67499999…) rounds to 2.68 as spreadsheets show.
double RoundDecimal(double x, double digitsArgument, Rounding mode) {
  if (x == 0 || !std::isfinite(x)) return x;
  const int digits = static_cast<int>(std::clamp(std::trunc(digitsArgument), -400.0, 400.0));
  char buffer[48];
  const auto printed = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x), std::chars_format::scientific, 14);
  const std::string_view text(buffer, static_cast<std::size_t>(printed.ptr - buffer));
  std::string mantissa;  // 15 digits
  for (char c : text.substr(0, text.find('e'))) {
    if (c != '.') mantissa += c;
  }
  int exponent = 0;
  const std::string_view e = text.substr(text.find('e') + 1);
  std::from_chars(e.data() + (e[0] == '+' ? 1 : 0), e.data() + e.size(), exponent);
  const int keep = exponent + 1 + digits;
  if (keep >= 15) return x;
  std::uint64_t kept = 0;
  char firstDropped = '0';
  bool droppedNonZero = true;
  if (keep > 0) {
    for (int i = 0; i < keep; ++i) kept = kept * 10 + static_cast<std::uint64_t>(mantissa[i] - '0');
    firstDropped = mantissa[keep];
    droppedNonZero = mantissa.find_first_not_of('0', keep) != std::string::npos;
  } else if (keep == 0) {
    firstDropped = mantissa[0];
  }
  const bool up = mode == Rounding::HalfAway ? firstDropped >= '5' : (mode == Rounding::Up && droppedNonZero);
  if (up) ++kept;
  const std::string result = std::to_string(kept) + "e" + std::to_string(-digits);
  double y = 0;
  std::from_chars(result.data(), result.data() + result.size(), y);
  return x < 0 ? -y : y;
}

// Calls `f(value, fromRange)` for each argument value, the cells of ranges included (rows past
// the sheet's used area are empty and skipped); stops at the first error `f` returns.
template <class F>
std::optional<ErrorCode> Visit(std::span<Operand> args, const EvaluationContext& context, F f) {
  for (const Operand& a : args) {
    if (a.kind == Operand::Kind::Missing) continue;
    if (a.kind == Operand::Kind::Value) {
      if (auto e = f(a.value, false)) return e;
      continue;
    }
    const int lastRow = std::min(a.row1, context.cells.RowExtent(a.sheet) - 1);
    for (int r = a.row0; r <= lastRow; ++r) {
      for (int c = a.column0; c <= a.column1; ++c) {
        const Value v = Read(context, a.sheet, CellAddress{r, c});
        if (v.IsEmpty()) continue;
        if (auto e = f(v, true)) return e;
      }
    }
  }
  return std::nullopt;
}

// Values added one by one with LibreOffice's tolerance, so SUM(0.1,0.2,-0.3) is 0 as there.
struct Sum {
  double sum = 0;
  void Add(double x) { sum = ApproxAdd(sum, x); }
  double Result() const { return sum; }
};

class Call {
 public:
  Call(std::span<Operand> args, const EvaluationContext& context) : args_(args), context_(context) {}

  bool Present(std::size_t i) const { return i < args_.size() && args_[i].kind != Operand::Kind::Missing; }
  Value Arg(std::size_t i) const { return i < args_.size() ? Scalar(args_[i], context_) : Value{}; }
  Coerced NumberArg(std::size_t i) const { return ToNumber(Arg(i)); }
  Value CellValue(const Operand& range, int row, int column) const {
    return Read(context_, range.sheet, CellAddress{range.row0 + row, range.column0 + column});
  }
  int UsedRows(const Operand& range) const {
    return std::max(0, std::min(range.Rows(), context_.cells.RowExtent(range.sheet) - range.row0));
  }
  std::span<Operand> args() const { return args_; }
  const EvaluationContext& context() const { return context_; }

 private:
  std::span<Operand> args_;
  const EvaluationContext& context_;
};

// A one-argument numeric function: the argument as a number, or its error.
template <class F>
Operand Unary(const Call& call, F f) {
  const Coerced x = call.NumberArg(0);
  if (x.error) return Error(*x.error);
  return Operand::Of(f(x.number));
}

Operand Aggregate(FunctionId id, const Call& call) {
  Sum sum;
  double count = 0;
  double low = std::numeric_limits<double>::infinity(), high = -low;
  const auto error = Visit(call.args(), call.context(), [&](const Value& v, bool fromRange) -> std::optional<ErrorCode> {
    if (v.IsError()) return v.error;
    double x = 0;
    if (fromRange) {
      if (!v.IsNumber()) return std::nullopt;
      x = v.number;
    } else {
      const Coerced c = ToNumber(v);
      if (c.error) return c.error;
      x = c.number;
    }
    sum.Add(x);
    ++count;
    low = std::min(low, x);
    high = std::max(high, x);
    return std::nullopt;
  });
  if (error) return Error(*error);
  switch (id) {
    case FunctionId::Sum:
      return Number(sum.Result());
    case FunctionId::Average:
      if (count == 0) return Error(ErrorCode::Div0);
      return Number(sum.Result() / count);
    case FunctionId::Min:
      return Number(count == 0 ? 0 : low);
    default:
      return Number(count == 0 ? 0 : high);
  }
}

Operand Count(FunctionId id, const Call& call) {
  double count = 0;
  Visit(call.args(), call.context(), [&](const Value& v, bool fromRange) -> std::optional<ErrorCode> {
    if (id == FunctionId::CountA) {
      ++count;
    } else if (v.IsNumber() || (!fromRange && (v.IsBool() || (v.IsText() && !ToNumber(v).error)))) {
      ++count;
    }
    return std::nullopt;
  });
  if (id == FunctionId::CountA) {
    for (const Operand& a : call.args()) count += a.kind == Operand::Kind::Missing;
  }
  return Number(count);
}

Operand Logical(FunctionId id, const Call& call) {
  bool any = false;
  bool result = id == FunctionId::And;
  const auto error = Visit(call.args(), call.context(), [&](const Value& v, bool fromRange) -> std::optional<ErrorCode> {
    if (v.IsError()) return v.error;
    if (fromRange && !v.IsNumber() && !v.IsBool()) return std::nullopt;
    const Coerced b = ToBool(v);
    if (b.error) return b.error;
    any = true;
    if (id == FunctionId::And) {
      result = result && b.number != 0;
    } else {
      result = result || b.number != 0;
    }
    return std::nullopt;
  });
  if (error) return Error(*error);
  if (!any) return Error(ErrorCode::Value);
  return Bool(result);
}

Operand Round(FunctionId id, const Call& call) {
  const Coerced x = call.NumberArg(0);
  if (x.error) return Error(*x.error);
  const Coerced digits = call.Present(1) ? call.NumberArg(1) : Coerced{};
  if (digits.error) return Error(*digits.error);
  const Rounding mode = id == FunctionId::Round ? Rounding::HalfAway
                        : id == FunctionId::RoundUp ? Rounding::Up
                                                    : Rounding::Down;
  return Number(RoundDecimal(x.number, digits.number, mode));
}

Operand Power(const Call& call) {
  const Coerced x = call.NumberArg(0);
  if (x.error) return Error(*x.error);
  const Coerced y = call.NumberArg(1);
  if (y.error) return Error(*y.error);
  if (x.number == 0 && y.number < 0) return Error(ErrorCode::Div0);
  if (x.number == 0 && y.number == 0) return Error(ErrorCode::Num);
  const double r = std::pow(x.number, y.number);
  if (!std::isfinite(r)) return Error(ErrorCode::Num);
  return Number(r);
}

Operand Mod(const Call& call) {
  const Coerced x = call.NumberArg(0);
  if (x.error) return Error(*x.error);
  const Coerced y = call.NumberArg(1);
  if (y.error) return Error(*y.error);
  if (y.number == 0) return Error(ErrorCode::Div0);
  const double r = ApproxAdd(x.number, -(std::floor(Approx15(x.number / y.number)) * y.number));
  if ((y.number > 0 && (r < 0 || r >= y.number)) || (y.number < 0 && (r > 0 || r <= y.number))) {
    return Error(ErrorCode::Num);
  }
  return Number(r);
}

// Spreadsheet equality for lookups: same type, texts ignoring case, numbers within tolerance.
bool SameValue(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  if (a.IsText()) {
    if (a.text.size() != b.text.size()) return false;
    for (std::size_t i = 0; i < a.text.size(); ++i) {
      char x = a.text[i], y = b.text[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return false;
    }
    return true;
  }
  return ApproxEqual(a.number, b.number);
}

// -1, 0, 1 comparing two values of the same kind (numbers, texts or booleans).
int Order(const Value& a, const Value& b) {
  if (a.IsText()) {
    const std::size_t n = std::min(a.text.size(), b.text.size());
    for (std::size_t i = 0; i < n; ++i) {
      unsigned char x = static_cast<unsigned char>(a.text[i]), y = static_cast<unsigned char>(b.text[i]);
      if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
      if (x != y) return x < y ? -1 : 1;
    }
    return a.text.size() == b.text.size() ? 0 : (a.text.size() < b.text.size() ? -1 : 1);
  }
  if (ApproxEqual(a.number, b.number)) return 0;
  return a.number < b.number ? -1 : 1;
}

bool Comparable(const Value& key, const Value& v) {
  return (key.IsText() && v.IsText()) || (key.IsBool() && v.IsBool()) || (key.IsNumber() && v.IsNumber());
}

// The 0-based position of `key` among `count` values read by `at`: exact (type 0), the last
// not above it in ascending data (1), the last not below it in descending data (-1).
template <class At>
std::optional<int> Find(const Value& key, int count, int type, At at) {
  std::optional<int> found;
  for (int i = 0; i < count; ++i) {
    const Value v = at(i);
    if (type == 0) {
      if (SameValue(key, v)) return i;
      continue;
    }
    if (!Comparable(key, v)) continue;
    const int o = Order(v, key);
    if (o == 0) {
      found = i;
      continue;
    }
    if ((type > 0 && o > 0) || (type < 0 && o < 0)) break;
    found = i;
  }
  return found;
}

Operand VLookup(const Call& call) {
  const Value key = call.Arg(0);
  if (key.IsError()) return Operand::Of(key);
  const Operand& table = call.args()[1];
  if (table.kind != Operand::Kind::Range) return Error(table.kind == Operand::Kind::Value && table.value.IsError()
                                                           ? table.value.error
                                                           : ErrorCode::NA);
  const Coerced column = call.NumberArg(2);
  if (column.error) return Error(*column.error);
  const Coerced approximate = call.Present(3) ? ToBool(call.Arg(3)) : Coerced{1, std::nullopt};
  if (approximate.error) return Error(*approximate.error);
  const double c = std::trunc(column.number);
  if (c < 1) return Error(ErrorCode::Value);
  if (c > table.Columns()) return Error(ErrorCode::Ref);
  if (key.IsEmpty()) return Error(ErrorCode::NA);
  const auto row = Find(key, call.UsedRows(table), approximate.number != 0 ? 1 : 0,
                        [&](int i) { return call.CellValue(table, i, 0); });
  if (!row) return Error(ErrorCode::NA);
  return Operand::Of(call.CellValue(table, *row, static_cast<int>(c) - 1));
}

Operand Match(const Call& call) {
  const Value key = call.Arg(0);
  if (key.IsError()) return Operand::Of(key);
  const Operand& range = call.args()[1];
  if (range.kind != Operand::Kind::Range || (range.Rows() > 1 && range.Columns() > 1)) return Error(ErrorCode::NA);
  const Coerced type = call.Present(2) ? call.NumberArg(2) : Coerced{1, std::nullopt};
  if (type.error) return Error(*type.error);
  if (key.IsEmpty()) return Error(ErrorCode::NA);
  const bool column = range.Columns() == 1;
  const int count = column ? call.UsedRows(range) : range.Columns();
  const int t = type.number > 0 ? 1 : (type.number < 0 ? -1 : 0);
  const auto at = Find(key, count, t, [&](int i) { return column ? call.CellValue(range, i, 0) : call.CellValue(range, 0, i); });
  if (!at) return Error(ErrorCode::NA);
  return Number(*at + 1);
}

Operand Index(const Call& call) {
  const Operand& range = call.args()[0];
  const Coerced row = call.Present(1) ? call.NumberArg(1) : Coerced{};
  if (row.error) return Error(*row.error);
  const Coerced column = call.Present(2) ? call.NumberArg(2) : Coerced{};
  if (column.error) return Error(*column.error);
  double r = std::trunc(row.number), c = std::trunc(column.number);
  if (range.kind != Operand::Kind::Range) {
    if (range.kind == Operand::Kind::Value && range.value.IsError()) return range;
    if (r > 1 || c > 1 || r < 0 || c < 0) return Error(ErrorCode::Ref);
    return Operand::Of(call.Arg(0));
  }
  // A one-row range indexed by one number counts along the row.
  if (range.Rows() == 1 && call.args().size() == 2) std::swap(r, c);
  if (r < 0 || c < 0 || r > range.Rows() || c > range.Columns()) return Error(ErrorCode::Ref);
  Operand out = range;
  if (r > 0) out.row0 = out.row1 = range.row0 + static_cast<int>(r) - 1;
  if (c > 0) out.column0 = out.column1 = range.column0 + static_cast<int>(c) - 1;
  return out;
}

// UTF-8 text as code points: the byte where each character starts, plus the end.
std::vector<std::size_t> CharacterStarts(const std::string& s) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  starts.push_back(s.size());
  return starts;
}

Operand TextSlice(FunctionId id, const Call& call) {
  const Value v = call.Arg(0);
  if (v.IsError()) return Operand::Of(v);
  const std::string text = ToText(v);
  const auto starts = CharacterStarts(text);
  const double length = static_cast<double>(starts.size() - 1);
  double from = 0, count = 1;
  if (id == FunctionId::Mid) {
    const Coerced start = call.NumberArg(1);
    if (start.error) return Error(*start.error);
    const Coerced n = call.NumberArg(2);
    if (n.error) return Error(*n.error);
    if (std::trunc(start.number) < 1 || n.number < 0) return Error(ErrorCode::Value);
    from = std::trunc(start.number) - 1;
    count = std::trunc(n.number);
  } else {
    if (call.Present(1)) {
      const Coerced n = call.NumberArg(1);
      if (n.error) return Error(*n.error);
      if (n.number < 0) return Error(ErrorCode::Value);
      count = std::trunc(n.number);
    } else if (call.args().size() > 1) {
      count = 0;
    }
    if (id == FunctionId::Right) from = std::max(0.0, length - count);
  }
  from = std::min(from, length);
  const double to = std::min(length, from + count);
  const std::size_t b = starts[static_cast<std::size_t>(from)], e = starts[static_cast<std::size_t>(to)];
  return Operand::Of(Value::Text(text.substr(b, e - b)));
}

// FIND(text, within, [start]): the character where `text` first occurs in `within` from
// `start` on (1-based, case sensitive, no wildcards).
Operand FindFunction(const Call& call) {
  const Value what = call.Arg(0);
  if (what.IsError()) return Operand::Of(what);
  const Value in = call.Arg(1);
  if (in.IsError()) return Operand::Of(in);
  const std::string needle = ToText(what), text = ToText(in);
  const auto starts = CharacterStarts(text);
  double from = 1;
  if (call.Present(2)) {
    const Coerced start = call.NumberArg(2);
    if (start.error) return Error(*start.error);
    from = std::trunc(start.number);
  }
  if (from < 1 || from > static_cast<double>(starts.size())) return Error(ErrorCode::Value);
  const std::size_t at = text.find(needle, starts[static_cast<std::size_t>(from) - 1]);
  if (at == std::string::npos) return Error(ErrorCode::Value);
  return Number(static_cast<double>(std::lower_bound(starts.begin(), starts.end(), at) - starts.begin() + 1));
}

// SUBSTITUTE(text, old, new, [instance]): every occurrence of `old` (from the left, not
// overlapping) replaced, or only the instance-th.
Operand SubstituteFunction(const Call& call) {
  std::string parts[3];
  for (std::size_t i = 0; i < 3; ++i) {
    const Value v = call.Arg(i);
    if (v.IsError()) return Operand::Of(v);
    parts[i] = ToText(v);
  }
  double instance = 0;
  if (call.Present(3)) {
    const Coerced n = call.NumberArg(3);
    if (n.error) return Error(*n.error);
    instance = std::trunc(n.number);
    if (instance < 1) return Error(ErrorCode::Value);
  }
  const std::string& text = parts[0];
  const std::string& old = parts[1];
  if (old.empty()) return Operand::Of(Value::Text(text));
  std::string out;
  std::size_t done = 0;
  double seen = 0;
  for (std::size_t at = text.find(old); at != std::string::npos; at = text.find(old, at + old.size())) {
    if (instance != 0 && ++seen != instance) continue;
    out.append(text, done, at - done);
    out += parts[2];
    done = at + old.size();
    if (instance != 0) break;
  }
  out.append(text, done, std::string::npos);
  return Operand::Of(Value::Text(std::move(out)));
}

// TRIM: spaces (U+0020 only) gone at both ends, runs of them inside made one.
Operand TrimFunction(const Call& call) {
  const Value v = call.Arg(0);
  if (v.IsError()) return Operand::Of(v);
  std::string out;
  for (char c : ToText(v)) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return Operand::Of(Value::Text(std::move(out)));
}

Operand TextFunction(const Call& call) {
  const Value v = call.Arg(0);
  if (v.IsError()) return Operand::Of(v);
  const Value format = call.Arg(1);
  if (format.IsError()) return Operand::Of(format);
  const NumberFormat f(ToText(format));
  const Coerced x = ToNumber(v);
  if (v.IsText() && x.error) return Operand::Of(Value::Text(f.FormatText(v.text)));
  if (v.IsBool()) return Operand::Of(Value::Text(ToText(v)));
  return Operand::Of(Value::Text(f.FormatNumber(x.number)));
}

Operand ValueFunction(const Call& call) {
  const Value v = call.Arg(0);
  if (v.IsError()) return Operand::Of(v);
  if (v.IsBool()) return Error(ErrorCode::Value);
  const Coerced x = ToNumber(v);
  if (x.error) return Error(*x.error);
  return Number(x.number);
}

}  // namespace

Operand Functions::Call(FunctionId id, std::span<Operand> args, const EvaluationContext& context) {
  const class Call call(args, context);
  switch (id) {
    case FunctionId::Sum:
    case FunctionId::Average:
    case FunctionId::Min:
    case FunctionId::Max:
      return Aggregate(id, call);
    case FunctionId::Count:
    case FunctionId::CountA:
      return Count(id, call);
    case FunctionId::Round:
    case FunctionId::RoundUp:
    case FunctionId::RoundDown:
    case FunctionId::Trunc:
      return Round(id == FunctionId::Trunc ? FunctionId::RoundDown : id, call);
    case FunctionId::Int:
      return Unary(call, [](double x) { return Value::Number(std::floor(Approx15(x))); });
    case FunctionId::Abs:
      return Unary(call, [](double x) { return Value::Number(std::fabs(x)); });
    case FunctionId::Sign:
      return Unary(call, [](double x) { return Value::Number(x > 0 ? 1 : (x < 0 ? -1 : 0)); });
    case FunctionId::Sqrt:
      return Unary(call, [](double x) { return x < 0 ? Value::Error(ErrorCode::Num) : Value::Number(std::sqrt(x)); });
    case FunctionId::Power:
      return Power(call);
    case FunctionId::Mod:
      return Mod(call);
    case FunctionId::Pi:
      return Number(3.14159265358979323846);
    case FunctionId::Sin:
      return Unary(call, [](double x) { return Value::Number(std::sin(x)); });
    case FunctionId::Cos:
      return Unary(call, [](double x) { return Value::Number(std::cos(x)); });
    case FunctionId::Tan:
      return Unary(call, [](double x) { return Value::Number(std::tan(x)); });
    case FunctionId::Atan:
      return Unary(call, [](double x) { return Value::Number(std::atan(x)); });
    case FunctionId::Asin:
      return Unary(call, [](double x) {
        return std::fabs(x) > 1 ? Value::Error(ErrorCode::Num) : Value::Number(std::asin(x));
      });
    case FunctionId::Acos:
      return Unary(call, [](double x) {
        return std::fabs(x) > 1 ? Value::Error(ErrorCode::Num) : Value::Number(std::acos(x));
      });
    case FunctionId::Atan2: {
      // ATAN2(x, y): the angle of the point (x, y), as spreadsheets order the arguments.
      const Coerced x = call.NumberArg(0);
      if (x.error) return Error(*x.error);
      const Coerced y = call.NumberArg(1);
      if (y.error) return Error(*y.error);
      if (x.number == 0 && y.number == 0) return Error(ErrorCode::Div0);
      return Number(std::atan2(y.number, x.number));
    }
    case FunctionId::Exp:
      return Unary(call, [](double x) {
        const double r = std::exp(x);
        return std::isfinite(r) ? Value::Number(r) : Value::Error(ErrorCode::Num);
      });
    case FunctionId::Ln:
      return Unary(
          call, [](double x) { return x <= 0 ? Value::Error(ErrorCode::Num) : Value::Number(std::log(x)); });
    case FunctionId::Log10:
      return Unary(call, [](double x) {
        return x <= 0 ? Value::Error(ErrorCode::Num) : Value::Number(std::log10(x));
      });
    case FunctionId::Find:
      return FindFunction(call);
    case FunctionId::Substitute:
      return SubstituteFunction(call);
    case FunctionId::Trim:
      return TrimFunction(call);
    case FunctionId::Radians:
      return Unary(call, [](double x) { return Value::Number(x * 3.14159265358979323846 / 180); });
    case FunctionId::Degrees:
      return Unary(call, [](double x) { return Value::Number(x * 180 / 3.14159265358979323846); });
    case FunctionId::If: {
      const Coerced c = ToBool(call.Arg(0));
      if (c.error) return Error(*c.error);
      const std::size_t pick = c.number != 0 ? 1 : 2;
      if (pick >= args.size()) return Bool(false);
      if (args[pick].kind == Operand::Kind::Missing) return Number(0);
      return args[pick];
    }
    case FunctionId::IfError: {
      const Value v = call.Arg(0);
      if (!v.IsError()) return Operand::Of(v);
      return args[1].kind == Operand::Kind::Missing ? Number(0) : args[1];
    }
    case FunctionId::And:
    case FunctionId::Or:
      return Logical(id, call);
    case FunctionId::Not: {
      const Coerced b = ToBool(call.Arg(0));
      if (b.error) return Error(*b.error);
      return Bool(b.number == 0);
    }
    case FunctionId::IsNumber:
      return Bool(call.Arg(0).IsNumber());
    case FunctionId::Row:
    case FunctionId::Column: {
      // Of the formula's own cell, or of the top left cell of the reference given (1-based).
      const bool row = id == FunctionId::Row;
      if (!call.Present(0)) return Number(1.0 + (row ? context.at.row : context.at.column));
      if (args[0].kind != Operand::Kind::Range) {
        const Value v = call.Arg(0);
        return Error(v.IsError() ? v.error : ErrorCode::Value);
      }
      return Number(1.0 + (row ? args[0].row0 : args[0].column0));
    }
    case FunctionId::Rows:
    case FunctionId::Columns: {
      // A reference's height or width; a single value counts as one row and one column.
      if (args[0].kind != Operand::Kind::Range) {
        const Value v = call.Arg(0);
        return v.IsError() ? Error(v.error) : Number(1);
      }
      return Number(id == FunctionId::Rows ? args[0].row1 - args[0].row0 + 1.0
                                           : args[0].column1 - args[0].column0 + 1.0);
    }
    case FunctionId::IsBlank:
      return Bool(args[0].kind == Operand::Kind::Range && call.Arg(0).IsEmpty());
    case FunctionId::VLookup:
      return VLookup(call);
    case FunctionId::Index:
      return Index(call);
    case FunctionId::Match:
      return Match(call);
    case FunctionId::Choose: {
      const Coerced i = call.NumberArg(0);
      if (i.error) return Error(*i.error);
      const double k = std::trunc(i.number);
      if (k < 1 || k >= static_cast<double>(args.size())) return Error(ErrorCode::Value);
      const Operand& chosen = args[static_cast<std::size_t>(k)];
      return chosen.kind == Operand::Kind::Missing ? Number(0) : chosen;
    }
    case FunctionId::Text:
      return TextFunction(call);
    case FunctionId::ValueOf:
      return ValueFunction(call);
    case FunctionId::Left:
    case FunctionId::Right:
    case FunctionId::Mid:
      return TextSlice(id, call);
    case FunctionId::Len: {
      const Value v = call.Arg(0);
      if (v.IsError()) return Operand::Of(v);
      return Number(static_cast<double>(CharacterStarts(ToText(v)).size() - 1));
    }
    case FunctionId::Concatenate: {
      std::string out;
      for (std::size_t i = 0; i < args.size(); ++i) {
        const Value v = call.Arg(i);
        if (v.IsError()) return Operand::Of(v);
        out += ToText(v);
      }
      return Operand::Of(Value::Text(std::move(out)));
    }
  }
  return Error(ErrorCode::Name);
}

}  // namespace spreadsheet::calc
