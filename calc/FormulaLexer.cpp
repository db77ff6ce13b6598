#include "calc/FormulaLexer.h"

#include <charconv>

#include "workbook/CellAddress.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet::calc {

namespace {

// A1 syntax reaches XFD1048576 in today's spreadsheets; the model's sheet ends at IV65536.
constexpr int kSyntaxColumns = 16384;
constexpr int kSyntaxRows = 1048576;

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

struct Part {
  int index = 0;  // 0-based column or row
  bool absolute = false;
  std::size_t end = 0;
};

// [$]A..XFD at `at`, not followed by another letter.
bool ScanColumn(std::string_view t, std::size_t at, Part& part) {
  std::size_t i = at;
  part.absolute = i < t.size() && t[i] == '$';
  if (part.absolute) ++i;
  int value = 0;
  std::size_t letters = 0;
  while (i < t.size() && IsLetter(t[i]) && letters < 4) {
    value = value * 26 + (Upper(t[i]) - 'A' + 1);
    ++i;
    ++letters;
  }
  if (letters == 0 || letters > 3 || value > kSyntaxColumns) return false;
  part.index = value - 1;
  part.end = i;
  return true;
}

// [$]1..1048576 at `at`, not followed by another digit.
bool ScanRow(std::string_view t, std::size_t at, Part& part) {
  std::size_t i = at;
  part.absolute = i < t.size() && t[i] == '$';
  if (part.absolute) ++i;
  long value = 0;
  std::size_t digits = 0;
  while (i < t.size() && IsDigit(t[i]) && digits < 8) {
    value = value * 10 + (t[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0 || digits > 7 || value < 1 || value > kSyntaxRows) return false;
  part.index = static_cast<int>(value - 1);
  part.end = i;
  return true;
}

bool ScanCell(std::string_view t, std::size_t at, Part& column, Part& row) {
  return ScanColumn(t, at, column) && ScanRow(t, column.end, row);
}

void Order(int& a, bool& absA, int& b, bool& absB) {
  if (a > b) {
    std::swap(a, b);
    std::swap(absA, absB);
  }
}

}  // namespace

bool FormulaLexer::IsNameChar(unsigned char c) {
  return IsLetter(static_cast<char>(c)) || IsDigit(static_cast<char>(c)) || c == '_' || c == '.' || c == '\\' ||
         c >= 0x80;
}

std::size_t FormulaLexer::CharacterCount(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

void FormulaLexer::Fail(std::string_view text, std::size_t at, std::string_view what) {
  std::string message;
  if (at >= text.size()) {
    message = "公式“" + std::string(text.substr(0, 200)) + (text.size() > 200 ? "…" : "") + "”在末尾" +
              std::string(what);
  } else {
    std::size_t end = at, shown = 0;
    while (end < text.size() && shown < 20) {
      ++end;
      while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
      ++shown;
    }
    message = "公式第 " + std::to_string(CharacterCount(text.substr(0, at)) + 1) + " 个字符处" + std::string(what) +
              "：“" + std::string(text.substr(at, end - at)) + (end < text.size() ? "…" : "") + "”";
  }
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, message);
}

std::size_t FormulaLexer::SkipBlanks(std::size_t at) const {
  while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\n' || text_[at] == '\r')) ++at;
  return at;
}

bool FormulaLexer::ScanReference(std::size_t at, FormulaToken& token) const {
  const std::string_view t = text_;
  Reference& r = token.ref;
  r = Reference{};
  std::size_t end = 0;
  Part c0, r0, c1, r1;
  if (ScanCell(t, at, c0, r0)) {
    end = r0.end;
    c1 = c0;
    r1 = r0;
    if (end < t.size() && t[end] == ':' && ScanCell(t, end + 1, c1, r1)) end = r1.end;
  } else if (ScanColumn(t, at, c0) && c0.end < t.size() && t[c0.end] == ':' && ScanColumn(t, c0.end + 1, c1)) {
    end = c1.end;
    r.wholeColumns = true;
    r0 = {0, false, 0};
    r1 = {CellAddress::kMaxRows - 1, false, 0};
  } else if (ScanRow(t, at, r0) && r0.end < t.size() && t[r0.end] == ':' && ScanRow(t, r0.end + 1, r1)) {
    end = r1.end;
    r.wholeRows = true;
    c0 = {0, false, 0};
    c1 = {CellAddress::kMaxColumns - 1, false, 0};
  } else {
    return false;
  }
  // "LOG10(" is a function and "A1B" a name, not references.
  if (end < t.size() && (IsNameChar(static_cast<unsigned char>(t[end])) || t[end] == '!' || t[end] == '$')) return false;
  const std::size_t next = SkipBlanks(end);
  if (next < t.size() && t[next] == '(') return false;
  r.row0 = r0.index;
  r.row1 = r1.index;
  r.column0 = c0.index;
  r.column1 = c1.index;
  r.absoluteRow0 = r0.absolute;
  r.absoluteRow1 = r1.absolute;
  r.absoluteColumn0 = c0.absolute;
  r.absoluteColumn1 = c1.absolute;
  Order(r.row0, r.absoluteRow0, r.row1, r.absoluteRow1);
  Order(r.column0, r.absoluteColumn0, r.column1, r.absoluteColumn1);
  token.kind = FormulaToken::Kind::Ref;
  token.cellBegin = at;
  token.end = end;
  token.inSheet = r.row1 < CellAddress::kMaxRows && r.column1 < CellAddress::kMaxColumns;
  return true;
}

FormulaToken FormulaLexer::Next() {
  const std::string_view t = text_;
  pos_ = SkipBlanks(pos_);
  FormulaToken token;
  token.begin = pos_;
  if (pos_ >= t.size()) {
    token.end = pos_;
    return token;
  }
  const char c = t[pos_];
  auto single = [&](FormulaToken::Kind kind, char op, std::size_t length) {
    token.kind = kind;
    token.op = op;
    token.end = pos_ + length;
  };
  // After a sheet prefix ending at `at`: a reference or #REF!.
  auto qualified = [&](std::size_t at) {
    if (ScanReference(at, token)) {
      token.hasSheet = true;
      return;
    }
    constexpr std::string_view kRef = "#REF!";
    if (t.substr(at, kRef.size()) == kRef) {
      token.kind = FormulaToken::Kind::Error;
      token.error = ErrorCode::Ref;
      token.end = at + kRef.size();
      return;
    }
    Fail(t, at, "应为单元格引用");
  };
  switch (c) {
    case '"': {
      std::size_t i = pos_ + 1;
      for (;;) {
        if (i >= t.size()) Fail(t, pos_, "的字符串缺少右引号");
        if (t[i] == '"') {
          if (i + 1 < t.size() && t[i + 1] == '"') {
            token.text += '"';
            i += 2;
            continue;
          }
          break;
        }
        token.text += t[i++];
      }
      token.kind = FormulaToken::Kind::String;
      token.end = i + 1;
      break;
    }
    case '#': {
      for (int e = 0; e <= static_cast<int>(ErrorCode::NA); ++e) {
        const std::string_view name = ErrorText(static_cast<ErrorCode>(e));
        if (ParseErrorCode(t.substr(pos_, name.size())) == static_cast<ErrorCode>(e)) {
          token.kind = FormulaToken::Kind::Error;
          token.error = static_cast<ErrorCode>(e);
          token.end = pos_ + name.size();
          break;
        }
      }
      if (token.kind != FormulaToken::Kind::Error) Fail(t, pos_, "不是错误值");
      break;
    }
    case '(':
      single(FormulaToken::Kind::Open, 0, 1);
      break;
    case ')':
      single(FormulaToken::Kind::Close, 0, 1);
      break;
    case ',':
      single(FormulaToken::Kind::Comma, 0, 1);
      break;
    case '+': case '-': case '*': case '/': case '^': case '&': case '%': case '=':
      single(FormulaToken::Kind::Operator, c, 1);
      break;
    case '<':
      if (pos_ + 1 < t.size() && t[pos_ + 1] == '=') {
        single(FormulaToken::Kind::Operator, 'l', 2);
      } else if (pos_ + 1 < t.size() && t[pos_ + 1] == '>') {
        single(FormulaToken::Kind::Operator, 'n', 2);
      } else {
        single(FormulaToken::Kind::Operator, '<', 1);
      }
      break;
    case '>':
      if (pos_ + 1 < t.size() && t[pos_ + 1] == '=') {
        single(FormulaToken::Kind::Operator, 'g', 2);
      } else {
        single(FormulaToken::Kind::Operator, '>', 1);
      }
      break;
    case '[':
      Fail(t, pos_, "引用了其他工作簿，无法计算");
    case '{':
      Fail(t, pos_, "是数组常量，不支持");
    case '\'': {
      std::size_t i = pos_ + 1;
      for (;;) {
        if (i >= t.size()) Fail(t, pos_, "的工作表名缺少右引号");
        if (t[i] == '\'') {
          if (i + 1 < t.size() && t[i + 1] == '\'') {
            token.text += '\'';
            i += 2;
            continue;
          }
          break;
        }
        token.text += t[i++];
      }
      if (i + 1 >= t.size() || t[i + 1] != '!') Fail(t, pos_, "的工作表名后应为“!”");
      if (token.text.empty()) Fail(t, pos_, "的工作表名为空");
      if (token.text.find('[') != std::string::npos) Fail(t, pos_, "引用了其他工作簿，无法计算");
      qualified(i + 2);
      break;
    }
    default: {
      const auto u = static_cast<unsigned char>(c);
      if (c == '$' || IsLetter(c) || IsDigit(c)) {
        if (ScanReference(pos_, token)) break;
      }
      if (IsDigit(c) || c == '.') {
        std::size_t i = pos_;
        while (i < t.size() && IsDigit(t[i])) ++i;
        if (i < t.size() && t[i] == '.') ++i;
        while (i < t.size() && IsDigit(t[i])) ++i;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
          std::size_t j = i + 1;
          if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
          if (j < t.size() && IsDigit(t[j])) {
            while (j < t.size() && IsDigit(t[j])) ++j;
            i = j;
          }
        }
        double value = 0;
        const auto [ptr, ec] = std::from_chars(t.data() + pos_, t.data() + i, value);
        if (ec == std::errc::result_out_of_range && ptr == t.data() + i) {
          // Too small for a double reads as zero, as typed numbers do; too large is refused.
          bool tiny = false;
          for (std::size_t k = pos_; k < i; ++k) {
            if (t[k] == 'e' || t[k] == 'E') tiny = k + 1 < i && t[k + 1] == '-';
          }
          if (!tiny) Fail(t, pos_, "的数字超出范围");
          value = 0;
        } else if (ec != std::errc() || ptr != t.data() + i) {
          Fail(t, pos_, "不是数字");
        }
        if (i < t.size() && IsNameChar(static_cast<unsigned char>(t[i]))) Fail(t, pos_, "不是数字");
        token.kind = FormulaToken::Kind::Number;
        token.number = value;
        token.end = i;
        break;
      }
      if (c == '$' || !IsNameChar(u)) Fail(t, pos_, "有无法识别的字符");
      std::size_t i = pos_;
      while (i < t.size() && IsNameChar(static_cast<unsigned char>(t[i]))) ++i;
      const std::string_view word = t.substr(pos_, i - pos_);
      if (i < t.size() && t[i] == '!') {
        token.text = std::string(word);
        qualified(i + 1);
        break;
      }
      for (char w : word) token.text += Upper(w);
      token.end = i;
      if (SkipBlanks(i) < t.size() && t[SkipBlanks(i)] == '(') {
        token.kind = FormulaToken::Kind::Function;
      } else if (token.text == "TRUE" || token.text == "FALSE") {
        token.kind = FormulaToken::Kind::Bool;
        token.number = token.text == "TRUE" ? 1 : 0;
      } else {
        token.kind = FormulaToken::Kind::Name;
      }
      break;
    }
  }
  pos_ = token.end;
  return token;
}

}  // namespace spreadsheet::calc
