#include "calc/Evaluator.h"

#include <cmath>
#include <vector>

#include "calc/Functions.h"
#include "calc/Operand.h"

namespace spreadsheet::calc {

namespace {

using Step = Formula::Step;

// Spreadsheets order numbers before texts before booleans; blanks take the other side's type.
int TypeRank(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Text:
      return 1;
    case Value::Kind::Bool:
      return 2;
    default:
      return 0;
  }
}

int CompareText(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// -1, 0 or 1 as a spreadsheet compares two non-error values.
int Compare(Value a, Value b) {
  if (a.IsEmpty() && b.IsEmpty()) return 0;
  if (a.IsEmpty()) {
    a = b.IsText() ? Value::Text("") : (b.IsBool() ? Value::Bool(false) : Value::Number(0));
  }
  if (b.IsEmpty()) {
    b = a.IsText() ? Value::Text("") : (a.IsBool() ? Value::Bool(false) : Value::Number(0));
  }
  const int ra = TypeRank(a), rb = TypeRank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (a.IsText()) return CompareText(a.text, b.text);
  if (ApproxEqual(a.number, b.number)) return 0;
  return a.number < b.number ? -1 : 1;
}

Value Binary(char op, const Value& a, const Value& b) {
  if (a.IsError()) return a;
  if (b.IsError()) return b;
  if (op == '&') return Value::Text(ToText(a) + ToText(b));
  if (op == '=' || op == '<' || op == '>' || op == 'l' || op == 'g' || op == 'n') {
    const int c = Compare(a, b);
    switch (op) {
      case '=':
        return Value::Bool(c == 0);
      case 'n':
        return Value::Bool(c != 0);
      case '<':
        return Value::Bool(c < 0);
      case '>':
        return Value::Bool(c > 0);
      case 'l':
        return Value::Bool(c <= 0);
      default:
        return Value::Bool(c >= 0);
    }
  }
  const Coerced x = ToNumber(a);
  if (x.error) return Value::Error(*x.error);
  const Coerced y = ToNumber(b);
  if (y.error) return Value::Error(*y.error);
  switch (op) {
    case '+':
      return Value::Number(ApproxAdd(x.number, y.number));
    case '-':
      return Value::Number(ApproxAdd(x.number, -y.number));
    case '*':
      return Value::Number(x.number * y.number);
    case '/':
      if (y.number == 0) return Value::Error(ErrorCode::Div0);
      return Value::Number(x.number / y.number);
    default:
      return Value::Error(ErrorCode::Value);  // '^' goes through POWER
  }
}

}  // namespace

Value Evaluator::Evaluate(const Formula& formula, std::size_t sheet, CellAddress at) const {
  bool computable = true;
  return Evaluate(formula, sheet, at, computable);
}

Value Evaluator::Evaluate(const Formula& formula, std::size_t sheet, CellAddress at, bool& computable) const {
  const EvaluationContext context{cells_, sheet, at};
  std::vector<Operand> stack;
  stack.reserve(8);
  const auto& references = formula.ReferenceTable();
  for (const Step& s : formula.Steps()) {
    switch (s.kind) {
      case Step::Kind::Number:
        stack.push_back(Operand::Of(Value::Number(s.number)));
        break;
      case Step::Kind::Text:
        stack.push_back(Operand::Of(Value::Text(formula.Strings()[s.index])));
        break;
      case Step::Kind::Bool:
        stack.push_back(Operand::Of(Value::Bool(s.number != 0)));
        break;
      case Step::Kind::Error:
        stack.push_back(Operand::Of(Value::Error(s.error)));
        break;
      case Step::Kind::Name:
      case Step::Kind::UnknownFunction:
        stack.resize(stack.size() - (s.kind == Step::Kind::UnknownFunction ? s.count : 0));
        stack.push_back(Operand::Of(Value::Error(ErrorCode::Name)));
        break;
      case Step::Kind::Missing: {
        Operand o;
        o.kind = Operand::Kind::Missing;
        stack.push_back(std::move(o));
        break;
      }
      case Step::Kind::Ref: {
        const Reference& r = references[s.index];
        std::size_t target = sheet;
        if (r.sheet != Reference::kOwnSheet) {
          const auto found = cells_.FindSheet(formula.SheetNames()[static_cast<std::size_t>(r.sheet)]);
          if (!found) {
            stack.push_back(Operand::Of(Value::Error(ErrorCode::Ref)));
            break;
          }
          target = *found;
        }
        stack.push_back(Operand::Range(target, r.row0, r.column0, r.row1, r.column1));
        break;
      }
      case Step::Kind::Unary: {
        Value v = Scalar(stack.back(), context);
        if (s.op == '-' && !v.IsError()) {
          const Coerced x = ToNumber(v);
          v = x.error ? Value::Error(*x.error) : Value::Number(-x.number);
        }
        stack.back() = Operand::Of(std::move(v));
        break;
      }
      case Step::Kind::Percent: {
        const Value v = Scalar(stack.back(), context);
        const Coerced x = ToNumber(v);
        stack.back() = Operand::Of(x.error ? Value::Error(*x.error) : Value::Number(x.number / 100));
        break;
      }
      case Step::Kind::Binary: {
        const Value b = Scalar(stack.back(), context);
        stack.pop_back();
        const Value a = Scalar(stack.back(), context);
        if (s.op == '^') {
          Operand args[2] = {Operand::Of(a), Operand::Of(b)};
          stack.back() = Functions::Call(FunctionId::Power, args, context);
        } else {
          stack.back() = Operand::Of(Binary(s.op, a, b));
        }
        break;
      }
      case Step::Kind::Function: {
        const std::size_t first = stack.size() - s.count;
        Operand result =
            Functions::Call(static_cast<FunctionId>(s.index), std::span<Operand>(stack.data() + first, s.count), context);
        stack.resize(first);
        stack.push_back(std::move(result));
        break;
      }
    }
  }
  Value result = Scalar(stack.back(), context);
  computable = !context.readUncomputed && !formula.HasUnknownNames();
  if (result.IsEmpty()) return Value::Number(0);
  return result;
}

bool Evaluator::IsKnownFunction(std::string_view name) { return Functions::Find(name) != nullptr; }

}  // namespace spreadsheet::calc
