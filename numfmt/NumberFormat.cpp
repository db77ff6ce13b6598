#include "numfmt/NumberFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

namespace spreadsheet {

namespace {

using Token = NumberFormat::Token;
using Section = NumberFormat::Section;
using Comparison = NumberFormat::Comparison;

void TrimFraction(std::string& s) {
  auto dot = s.find('.');
  if (dot == std::string::npos) return;
  auto end = s.find_first_of("eE", dot);
  std::string exponent = end == std::string::npos ? std::string() : s.substr(end);
  std::string mantissa = end == std::string::npos ? s : s.substr(0, end);
  while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
  if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
  s = mantissa + exponent;
}

std::string Scientific(double x) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 5);
  std::string s(buf, end);
  std::replace(s.begin(), s.end(), 'e', 'E');
  TrimFraction(s);
  // Spreadsheets write the exponent with at least two digits and a sign: E+11, E-09.
  auto e = s.find('E');
  std::string exponent = s.substr(e + 2);
  while (exponent.size() > 2 && exponent.front() == '0') exponent.erase(0, 1);
  return s.substr(0, e + 2) + exponent;
}

// A non-negative decimal number: the whole number `digits` (no leading zeros, empty for 0)
// times 10^exponent. Exact, so that rounding works on the decimal value and not on the
// binary one (0.0625 is not below the half way between 0.062 and 0.063).
struct Decimal {
  std::string digits;
  int exponent = 0;
};

// x ≥ 0, finite; 15 significant digits, as spreadsheets keep them.
Decimal ToDecimal(double x) {
  Decimal d;
  if (x == 0) return d;
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
  const std::string s(buf, end);
  const auto e = s.find('e');
  d.digits = s.substr(0, 1) + s.substr(2, e - 2);
  d.exponent = std::atoi(s.c_str() + e + 1) - 14;
  while (!d.digits.empty() && d.digits.back() == '0') {
    d.digits.pop_back();
    ++d.exponent;
  }
  return d;
}

// Adds one to a string of decimal digits.
void Increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

struct Fixed {
  std::string integer;   // no leading zeros; empty when the whole part is 0
  std::string fraction;  // exactly `decimals` digits
};

// Rounds to `decimals` places, halves away from zero.
Fixed RoundFixed(const Decimal& d, int decimals) {
  std::string n;  // round(value × 10^decimals)
  const int shift = d.exponent + decimals;
  if (d.digits.empty()) {
    n.clear();
  } else if (shift >= 0) {
    n = d.digits + std::string(static_cast<std::size_t>(shift), '0');
  } else {
    const auto drop = static_cast<std::size_t>(-shift);
    if (drop > d.digits.size()) {
      n.clear();
    } else {
      n = d.digits.substr(0, d.digits.size() - drop);
      if (d.digits[d.digits.size() - drop] >= '5') Increment(n);
    }
  }
  const auto k = static_cast<std::size_t>(decimals);
  if (n.size() < k) n.insert(0, k - n.size(), '0');
  Fixed f;
  f.integer = n.substr(0, n.size() - k);
  f.fraction = n.substr(n.size() - k);
  const auto first = f.integer.find_first_not_of('0');
  f.integer = first == std::string::npos ? std::string() : f.integer.substr(first);
  return f;
}

std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  return std::min(n, s.size() - i);
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> SplitSections(const std::string& code) {
  std::vector<std::string> sections(1);
  for (std::size_t i = 0; i < code.size();) {
    const char c = code[i];
    std::size_t len = 1;
    if (c == '"') {
      const auto close = code.find('"', i + 1);
      len = (close == std::string::npos ? code.size() : close + 1) - i;
    } else if (c == '[') {
      const auto close = code.find(']', i + 1);
      len = (close == std::string::npos ? code.size() : close + 1) - i;
    } else if ((c == '\\' || c == '_' || c == '*') && i + 1 < code.size()) {
      len = 1 + Utf8Length(code, i + 1);
    } else if (c == ';') {
      sections.emplace_back();
      ++i;
      continue;
    }
    sections.back() += code.substr(i, len);
    i += len;
  }
  return sections;
}

void AddLiteral(Section& section, const std::string& text) {
  if (!section.tokens.empty() && section.tokens.back().kind == Token::Kind::Literal) {
    section.tokens.back().text += text;
    return;
  }
  Token t;
  t.kind = Token::Kind::Literal;
  t.text = text;
  section.tokens.push_back(std::move(t));
}

bool ParseBracket(const std::string& content, Section& section) {
  if (content.empty()) return true;
  if (content[0] == '$') {
    // [$€-407]: the currency text before the locale code; [$-804] shows nothing.
    const auto dash = content.find('-');
    AddLiteral(section, content.substr(1, dash == std::string::npos ? std::string::npos : dash - 1));
    return true;
  }
  if (content[0] == '<' || content[0] == '>' || content[0] == '=') {
    std::size_t opLen = 1;
    if (content.compare(0, 2, "<=") == 0) {
      section.comparison = Comparison::LessEqual, opLen = 2;
    } else if (content.compare(0, 2, ">=") == 0) {
      section.comparison = Comparison::GreaterEqual, opLen = 2;
    } else if (content.compare(0, 2, "<>") == 0) {
      section.comparison = Comparison::NotEqual, opLen = 2;
    } else if (content[0] == '<') {
      section.comparison = Comparison::Less;
    } else if (content[0] == '>') {
      section.comparison = Comparison::Greater;
    } else {
      section.comparison = Comparison::Equal;
    }
    std::string_view number = std::string_view(content).substr(opLen);
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), section.operand);
    return !number.empty() && ec == std::errc() && end == number.data() + number.size();
  }
  static constexpr const char* kColours[] = {"black", "blue", "cyan", "green", "magenta", "red", "white", "yellow"};
  const std::string lower = Lower(content);
  if (std::find(std::begin(kColours), std::end(kColours), lower) != std::end(kColours)) return true;
  if (lower.rfind("color", 0) == 0) return true;
  return false;  // elapsed time [h], [mm], native numerals, …: not ours
}

// False when the section holds something this display does not render (dates, times, …).
bool ParseSection(const std::string& s, Section& section) {
  bool seenDigit = false;
  int pendingCommas = 0;
  auto part = Token::Part::Integer;
  auto endInteger = [&] {
    section.scale += pendingCommas;
    pendingCommas = 0;
  };
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (c == '"') {
      const auto close = s.find('"', i + 1);
      const auto end = close == std::string::npos ? s.size() : close;
      AddLiteral(section, s.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == '\\' || c == '_' || c == '*') {
      const std::size_t len = i + 1 < s.size() ? Utf8Length(s, i + 1) : 0;
      if (c == '\\') AddLiteral(section, s.substr(i + 1, len));
      if (c == '_') AddLiteral(section, " ");
      i += 1 + len;
    } else if (c == '[') {
      const auto close = s.find(']', i + 1);
      if (close == std::string::npos) return false;
      if (!ParseBracket(s.substr(i + 1, close - i - 1), section)) return false;
      i = close + 1;
    } else if (c == '0' || c == '#' || c == '?') {
      Token t;
      t.kind = Token::Kind::Digit;
      t.symbol = c;
      t.part = part;
      if (part == Token::Part::Integer) {
        if (pendingCommas > 0 && section.integerDigits > 0) section.grouping = true;
        ++section.integerDigits;
      } else if (part == Token::Part::Fraction) {
        ++section.fractionDigits;
      } else {
        ++section.exponentDigits;
      }
      pendingCommas = 0;
      seenDigit = true;
      section.tokens.push_back(t);
      ++i;
    } else if (c == '.' && part == Token::Part::Integer) {
      endInteger();
      Token t;
      t.kind = Token::Kind::Point;
      section.tokens.push_back(t);
      part = Token::Part::Fraction;
      ++i;
    } else if (c == ',') {
      if (seenDigit) ++pendingCommas;
      ++i;
    } else if (c == '%') {
      ++section.percent;
      AddLiteral(section, "%");
      ++i;
    } else if ((c == 'E' || c == 'e') && i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-') &&
               seenDigit && part != Token::Part::Exponent) {
      endInteger();
      Token t;
      t.kind = Token::Kind::Exponent;
      t.symbol = s[i + 1];
      section.tokens.push_back(t);
      section.hasExponent = true;
      part = Token::Part::Exponent;
      i += 2;
    } else if (c == '@') {
      Token t;
      t.kind = Token::Kind::Text;
      section.tokens.push_back(t);
      section.hasText = true;
      ++i;
    } else if ((c == 'G' || c == 'g') && Lower(s.substr(i, 7)) == "general") {
      Token t;
      t.kind = Token::Kind::General;
      section.tokens.push_back(t);
      section.hasGeneral = true;
      i += 7;
    } else if (c == '/' && seenDigit && i + 1 < s.size() && std::string_view("0123456789#?").find(s[i + 1]) != std::string_view::npos) {
      return false;  // fractions ("# ?/?") are not rendered here
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      return false;  // y m d h s, AM/PM and other letters: dates, times or no valid code
    } else {
      const std::size_t len = Utf8Length(s, i);
      AddLiteral(section, s.substr(i, len));
      i += len;
    }
  }
  endInteger();
  return true;
}

bool Matches(const Section& section, double x) {
  switch (section.comparison) {
    case Comparison::None: return true;
    case Comparison::Less: return x < section.operand;
    case Comparison::LessEqual: return x <= section.operand;
    case Comparison::Greater: return x > section.operand;
    case Comparison::GreaterEqual: return x >= section.operand;
    case Comparison::Equal: return x == section.operand;
    case Comparison::NotEqual: return x != section.operand;
  }
  return true;
}

std::string Group(const std::string& digits) {
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

NumberFormat::NumberFormat(std::string_view code) : code_(code) {
  if (code_.empty() || Lower(code_) == "general") return;
  const std::vector<std::string> parts = SplitSections(code_);
  if (parts.size() > 4) return;
  std::vector<Section> sections(parts.size());
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!ParseSection(parts[i], sections[i])) return;
  }
  if (parts.size() == 4 || sections.back().hasText) {
    hasTextSection_ = true;
    textSection_ = std::move(sections.back());
    sections.pop_back();
  }
  // A lone text section ("@") shows numbers as General.
  if (sections.empty()) return;
  numberSections_ = std::move(sections);
  general_ = false;
}

std::string NumberFormat::General(double x) {
  if (std::isnan(x) || std::isinf(x)) return "#NUM!";
  if (x == 0) return "0";
  const double magnitude = std::fabs(x);
  if (magnitude >= 1e11 || magnitude < 1e-9) return Scientific(x);
  const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
  const int decimals = std::max(0, 10 - exponent);
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  std::string s(buf, end);
  TrimFraction(s);
  if (s == "-0") return "0";
  const auto digits = s.find('.') == std::string::npos ? s.size() : s.find('.');
  if (digits - (s.front() == '-' ? 1 : 0) > 11) return Scientific(x);
  return s;
}

std::string NumberFormat::Display(const CellValue& value, std::string_view code) {
  if (std::holds_alternative<std::monostate>(value)) return {};
  return NumberFormat(code).Format(value);
}

std::string NumberFormat::Format(const CellValue& value) const {
  if (const auto* text = std::get_if<std::string>(&value)) return FormatText(*text);
  if (const auto* number = std::get_if<double>(&value)) return FormatNumber(*number);
  // A boolean shows as its word, whatever the format.
  if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "TRUE" : "FALSE";
  // An error value shows as stored, whatever the format; a missing result shows nothing.
  if (const auto* error = std::get_if<CellError>(&value)) return error->code;
  return {};
}

std::string NumberFormat::FormatText(const std::string& text) const {
  if (!hasTextSection_) return text;
  std::string out;
  for (const Token& t : textSection_.tokens) {
    if (t.kind == Token::Kind::Literal) out += t.text;
    if (t.kind == Token::Kind::Text) out += text;
  }
  return out;
}

std::string NumberFormat::FormatNumber(double x) const {
  if (std::isnan(x) || std::isinf(x)) return "#NUM!";
  if (general_) return General(x);
  const auto& s = numberSections_;
  const bool conditional = s[0].comparison != Comparison::None ||
                           (s.size() > 1 && s[1].comparison != Comparison::None);
  if (conditional) {
    // The first section whose condition holds; an unconditional second section, or the third,
    // takes the rest. Conditional sections show the sign themselves.
    const Section* chosen = nullptr;
    if (Matches(s[0], x)) {
      chosen = &s[0];
    } else if (s.size() > 1 && Matches(s[1], x)) {
      chosen = &s[1];
    } else if (s.size() > 2) {
      chosen = &s[2];
    }
    if (chosen == nullptr) return General(x);
    const std::string shown = Render(*chosen, std::fabs(x));
    return x < 0 ? "-" + shown : shown;
  }
  if (s.size() == 1) {
    const std::string shown = Render(s[0], std::fabs(x));
    return x < 0 ? "-" + shown : shown;
  }
  if (x < 0) return Render(s[1], -x);
  if (x == 0 && s.size() > 2) return Render(s[2], 0);
  return Render(s[0], x);
}

std::string NumberFormat::Render(const Section& section, double magnitude) const {
  const bool hasDigits = section.integerDigits + section.fractionDigits > 0;
  Decimal d = ToDecimal(magnitude);
  if (!d.digits.empty()) d.exponent += 2 * section.percent - 3 * section.scale;

  Fixed fixed;
  int exponent = 0;
  if (section.hasExponent) {
    const int integerPlaces = std::max(1, section.integerDigits);
    const bool engineering = section.integerDigits > 1 && [&] {
      for (const Token& t : section.tokens) {
        if (t.kind == Token::Kind::Digit) return t.symbol == '#';
      }
      return false;
    }();
    auto attempt = [&](int leading) {
      // leading: the power of ten of the first significant digit.
      exponent = engineering ? static_cast<int>(std::floor(leading / static_cast<double>(integerPlaces))) * integerPlaces
                             : leading - (integerPlaces - 1);
      Decimal mantissa = d;
      mantissa.exponent -= exponent;
      fixed = RoundFixed(mantissa, section.fractionDigits);
    };
    if (!d.digits.empty()) {
      const int leading = d.exponent + static_cast<int>(d.digits.size()) - 1;
      attempt(leading);
      // Rounding up may carry into one more integer digit (9.99 → 10.0): shift once more.
      if (fixed.integer.size() > static_cast<std::size_t>(integerPlaces)) attempt(leading + 1);
    } else {
      fixed = RoundFixed(d, section.fractionDigits);
    }
  } else if (hasDigits) {
    fixed = RoundFixed(d, section.fractionDigits);
  }

  // What each integer placeholder shows, filled from the right; spare digits go to the first.
  std::vector<std::string> integerText(static_cast<std::size_t>(section.integerDigits));
  if (section.integerDigits > 0) {
    if (section.grouping) {
      int zeros = 0;
      bool seenZero = false;
      for (const Token& t : section.tokens) {
        if (t.kind != Token::Kind::Digit || t.part != Token::Part::Integer) continue;
        seenZero = seenZero || t.symbol == '0';
        if (seenZero) ++zeros;
      }
      std::string digits = fixed.integer;
      if (digits.size() < static_cast<std::size_t>(zeros)) digits.insert(0, zeros - digits.size(), '0');
      integerText[0] = Group(digits);
    } else {
      std::size_t left = fixed.integer.size();
      std::size_t index = integerText.size();
      for (auto it = section.tokens.rbegin(); it != section.tokens.rend(); ++it) {
        if (it->kind != Token::Kind::Digit || it->part != Token::Part::Integer) continue;
        --index;
        if (index == 0) {
          integerText[0] = left > 0 ? fixed.integer.substr(0, left) : std::string(it->symbol == '0' ? "0" : it->symbol == '?' ? " " : "");
          left = 0;
        } else if (left > 0) {
          integerText[index] = fixed.integer.substr(left - 1, 1);
          --left;
        } else {
          integerText[index] = it->symbol == '0' ? "0" : it->symbol == '?' ? " " : "";
        }
      }
    }
  }

  // Fraction placeholders: '#' drops and '?' blanks trailing zeros.
  std::vector<std::string> fractionText(static_cast<std::size_t>(section.fractionDigits));
  {
    std::vector<char> symbols;
    for (const Token& t : section.tokens) {
      if (t.kind == Token::Kind::Digit && t.part == Token::Part::Fraction) symbols.push_back(t.symbol);
    }
    bool trailing = true;
    for (std::size_t i = symbols.size(); i-- > 0;) {
      const char digit = fixed.fraction[i];
      if (trailing && digit == '0' && symbols[i] == '#') {
        fractionText[i].clear();
      } else if (trailing && digit == '0' && symbols[i] == '?') {
        fractionText[i].assign(1, ' ');
      } else {
        trailing = false;
        fractionText[i].assign(1, digit);
      }
    }
  }

  std::string exponentDigits = std::to_string(std::abs(exponent));
  if (exponentDigits.size() < static_cast<std::size_t>(section.exponentDigits)) {
    int minimum = 0;
    for (const Token& t : section.tokens) {
      if (t.kind == Token::Kind::Digit && t.part == Token::Part::Exponent && t.symbol == '0') ++minimum;
    }
    if (exponentDigits.size() < static_cast<std::size_t>(minimum)) exponentDigits.insert(0, minimum - exponentDigits.size(), '0');
  }

  std::string out;
  std::size_t integerIndex = 0;
  std::size_t fractionIndex = 0;
  bool exponentWritten = false;
  for (const Token& t : section.tokens) {
    switch (t.kind) {
      case Token::Kind::Literal: out += t.text; break;
      case Token::Kind::Text: break;
      case Token::Kind::General: out += General(magnitude); break;
      case Token::Kind::Point:
        // With no integer placeholder (".00") the whole part still shows, before the point.
        if (section.integerDigits == 0) out += fixed.integer;
        out += '.';
        break;
      case Token::Kind::Exponent:
        out += 'E';
        if (exponent < 0) {
          out += '-';
        } else if (t.symbol == '+') {
          out += '+';
        }
        break;
      case Token::Kind::Digit:
        if (t.part == Token::Part::Integer) {
          out += integerText[integerIndex++];
        } else if (t.part == Token::Part::Fraction) {
          out += fractionText[fractionIndex++];
        } else if (!exponentWritten) {
          out += exponentDigits;
          exponentWritten = true;
        }
        break;
    }
  }
  return out;
}

}  // namespace spreadsheet
