#include "calc/FormulaParser.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "calc/FormulaLexer.h"
#include "calc/Functions.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {

namespace {

using Step = Formula::Step;

// Binding strength: comparisons, &, + -, * /, ^, postfix %, prefix + -.
constexpr int kPercent = 6;
constexpr int kUnary = 7;

int Precedence(char op) {
  switch (op) {
    case '&':
      return 2;
    case '+':
    case '-':
      return 3;
    case '*':
    case '/':
      return 4;
    case '^':
      return 5;
    default:
      return 1;  // = < > <= >= <>
  }
}

struct Pending {
  enum class Kind { Unary, Binary, Open, Call } kind;
  char op = 0;
  int precedence = 0;
  const FunctionInfo* function = nullptr;  // Call of a known function
  std::uint32_t name = 0;                  // Call of an unknown one: its name in the strings
  int arguments = 0;
  std::size_t at = 0;  // byte of the token, for messages
};

// Whether a name's reference means the same cells wherever the name is used: every part
// fixed with '$' (a relative part would move with the cell using it).
bool Fixed(const Reference& r) {
  if (r.wholeColumns) return r.absoluteColumn0 && r.absoluteColumn1;
  if (r.wholeRows) return r.absoluteRow0 && r.absoluteRow1;
  return r.absoluteRow0 && r.absoluteColumn0 && r.absoluteRow1 && r.absoluteColumn1;
}

}  // namespace

Formula FormulaParser::Parse(std::string_view text, const NameLookup* names) {
  const std::size_t characters = FormulaLexer::CharacterCount(text);
  if (characters > Formula::kMaxLength) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "公式长 " + std::to_string(characters) + " 个字符，超过 " +
                               std::to_string(Formula::kMaxLength) + " 个字符的上限");
  }
  Formula f;
  f.text_ = std::string(text);
  FormulaLexer lexer(text);
  std::vector<Pending> ops;
  bool expectOperand = true;
  // An empty argument may follow only a call's '(' or a ','.
  enum class Previous { Other, CallOpen, Comma } previous = Previous::Other;
  int depth = 0;

  auto emit = [&](Step step) { f.steps_.push_back(step); };
  auto addString = [&](std::string s) {
    f.strings_.push_back(std::move(s));
    return static_cast<std::uint32_t>(f.strings_.size() - 1);
  };
  auto popOperator = [&] {
    const Pending& p = ops.back();
    Step s;
    s.kind = p.kind == Pending::Kind::Unary ? Step::Kind::Unary : Step::Kind::Binary;
    s.op = p.op;
    emit(s);
    ops.pop_back();
  };
  auto isOperator = [](const Pending& p) { return p.kind == Pending::Kind::Unary || p.kind == Pending::Kind::Binary; };
  auto open = [&](std::size_t at) {
    if (++depth > Formula::kMaxNesting) {
      FormulaLexer::Fail(text, at, "嵌套超过 " + std::to_string(Formula::kMaxNesting) + " 层");
    }
  };

  for (;;) {
    FormulaToken tok = lexer.Next();
    const Previous before = previous;
    previous = Previous::Other;
    if (tok.kind == FormulaToken::Kind::End) break;
    switch (tok.kind) {
      case FormulaToken::Kind::Number:
      case FormulaToken::Kind::String:
      case FormulaToken::Kind::Bool:
      case FormulaToken::Kind::Error:
      case FormulaToken::Kind::Ref:
      case FormulaToken::Kind::Name: {
        if (!expectOperand) FormulaLexer::Fail(text, tok.begin, "缺少运算符");
        Step s;
        if (tok.kind == FormulaToken::Kind::Number) {
          s.kind = Step::Kind::Number;
          s.number = tok.number;
        } else if (tok.kind == FormulaToken::Kind::String) {
          s.kind = Step::Kind::Text;
          s.index = addString(std::move(tok.text));
        } else if (tok.kind == FormulaToken::Kind::Bool) {
          s.kind = Step::Kind::Bool;
          s.number = tok.number;
        } else if (tok.kind == FormulaToken::Kind::Error) {
          s.kind = Step::Kind::Error;
          s.error = tok.error;
        } else if (tok.kind == FormulaToken::Kind::Name) {
          s.kind = Step::Kind::Name;
          const std::string* definition = names != nullptr && *names ? (*names)(tok.text) : nullptr;
          std::optional<Formula> defined;
          if (definition != nullptr) {
            std::string_view body(*definition);
            if (!body.empty() && body.front() == '=') body.remove_prefix(1);
            try {
              defined = Parse(body, nullptr);  // a name inside a definition stays unknown
            } catch (const SpreadsheetError&) {
            }
          }
          if (defined && defined->steps_.size() == 1 && defined->steps_[0].kind == Step::Kind::Number) {
            s = defined->steps_[0];
          } else if (defined && defined->steps_.size() == 1 && defined->steps_[0].kind == Step::Kind::Ref &&
                     Fixed(defined->references_[0])) {
            Reference r = defined->references_[0];
            if (r.sheet != Reference::kOwnSheet) {
              const std::string& sheet = defined->sheetNames_[static_cast<std::size_t>(r.sheet)];
              std::size_t i = 0;
              while (i < f.sheetNames_.size() && f.sheetNames_[i] != sheet) ++i;
              if (i == f.sheetNames_.size()) f.sheetNames_.push_back(sheet);
              r.sheet = static_cast<int>(i);
            }
            f.references_.push_back(r);
            s.kind = Step::Kind::Ref;
            s.index = static_cast<std::uint32_t>(f.references_.size() - 1);
          } else {
            s.index = addString(std::move(tok.text));
          }
        } else if (!tok.inSheet) {
          s.kind = Step::Kind::Error;
          s.error = ErrorCode::Ref;
        } else {
          Reference r = tok.ref;
          if (tok.hasSheet) {
            std::size_t i = 0;
            while (i < f.sheetNames_.size() && f.sheetNames_[i] != tok.text) ++i;
            if (i == f.sheetNames_.size()) f.sheetNames_.push_back(tok.text);
            r.sheet = static_cast<int>(i);
          }
          f.references_.push_back(r);
          s.kind = Step::Kind::Ref;
          s.index = static_cast<std::uint32_t>(f.references_.size() - 1);
        }
        emit(s);
        expectOperand = false;
        break;
      }
      case FormulaToken::Kind::Function: {
        if (!expectOperand) FormulaLexer::Fail(text, tok.begin, "缺少运算符");
        const FormulaToken paren = lexer.Next();  // the lexer saw it
        open(paren.begin);
        Pending p{Pending::Kind::Call, 0, 0, Functions::Find(tok.text), 0, 0, tok.begin};
        if (!p.function) p.name = addString(std::move(tok.text));
        ops.push_back(p);
        previous = Previous::CallOpen;
        break;
      }
      case FormulaToken::Kind::Open:
        if (!expectOperand) FormulaLexer::Fail(text, tok.begin, "缺少运算符");
        open(tok.begin);
        ops.push_back({Pending::Kind::Open, 0, 0, nullptr, 0, 0, tok.begin});
        break;
      case FormulaToken::Kind::Comma: {
        while (!ops.empty() && isOperator(ops.back())) popOperator();
        if (ops.empty() || ops.back().kind != Pending::Kind::Call) {
          FormulaLexer::Fail(text, tok.begin, "的逗号不在函数的参数之间");
        }
        if (expectOperand) {
          if (before == Previous::Other) FormulaLexer::Fail(text, tok.begin, "缺少运算对象");
          emit(Step{Step::Kind::Missing});
        }
        previous = Previous::Comma;
        if (++ops.back().arguments >= Functions::kMaxArguments) {
          FormulaLexer::Fail(text, tok.begin, "的函数参数超过 255 个");
        }
        expectOperand = true;
        break;
      }
      case FormulaToken::Kind::Close: {
        while (!ops.empty() && isOperator(ops.back())) popOperator();
        if (ops.empty()) FormulaLexer::Fail(text, tok.begin, "有多余的右括号");
        Pending p = ops.back();
        ops.pop_back();
        --depth;
        if (p.kind == Pending::Kind::Open) {
          if (expectOperand) FormulaLexer::Fail(text, tok.begin, "的括号内缺少运算对象");
          expectOperand = false;
          break;
        }
        if (expectOperand) {
          if (before == Previous::Other) FormulaLexer::Fail(text, tok.begin, "缺少运算对象");
          if (before == Previous::Comma) {
            emit(Step{Step::Kind::Missing});
            ++p.arguments;
          }
        } else {
          ++p.arguments;
        }
        Step s;
        s.count = static_cast<std::uint16_t>(p.arguments);
        if (p.function) {
          if (p.arguments < p.function->minArgs || p.arguments > p.function->maxArgs) {
            FormulaLexer::Fail(text, p.at, "的函数 " + std::string(p.function->name) + " 参数个数不对（" +
                                               std::to_string(p.arguments) + " 个）");
          }
          s.kind = Step::Kind::Function;
          s.index = static_cast<std::uint32_t>(p.function->id);
        } else {
          s.kind = Step::Kind::UnknownFunction;
          s.index = p.name;
        }
        emit(s);
        expectOperand = false;
        break;
      }
      case FormulaToken::Kind::Operator: {
        if (expectOperand) {
          if (tok.op != '+' && tok.op != '-') FormulaLexer::Fail(text, tok.begin, "缺少运算对象");
          ops.push_back({Pending::Kind::Unary, tok.op, kUnary, nullptr, 0, 0, tok.begin});
        } else if (tok.op == '%') {
          while (!ops.empty() && isOperator(ops.back()) && ops.back().precedence > kPercent) popOperator();
          emit(Step{Step::Kind::Percent});
        } else {
          const int precedence = Precedence(tok.op);
          while (!ops.empty() && isOperator(ops.back()) && ops.back().precedence >= precedence) popOperator();
          ops.push_back({Pending::Kind::Binary, tok.op, precedence, nullptr, 0, 0, tok.begin});
          expectOperand = true;
        }
        break;
      }
      case FormulaToken::Kind::End:
        break;
    }
  }
  if (expectOperand) {
    if (f.steps_.empty() && ops.empty()) {
      throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "公式为空");
    }
    FormulaLexer::Fail(text, text.size(), "缺少运算对象");
  }
  while (!ops.empty()) {
    if (!isOperator(ops.back())) FormulaLexer::Fail(text, ops.back().at, "的括号缺少右括号");
    popOperator();
  }
  // Every step takes what it needs from the value stack and leaves one value; the evaluator
  // relies on this, so a fault here is a fault of the parser, never of the input.
  std::size_t stack = 0;
  for (const Step& s : f.steps_) {
    std::size_t takes = 0;
    if (s.kind == Step::Kind::Unary || s.kind == Step::Kind::Percent) takes = 1;
    if (s.kind == Step::Kind::Binary) takes = 2;
    if (s.kind == Step::Kind::Function || s.kind == Step::Kind::UnknownFunction) takes = s.count;
    if (stack < takes) throw std::logic_error("formula parser built an unbalanced program");
    stack = stack - takes + 1;
  }
  if (stack != 1) throw std::logic_error("formula parser built an unbalanced program");
  return f;
}

}  // namespace spreadsheet::calc
