#include "numfmt/NumberFormat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "numfmt/ChineseNumerals.h"
#include "numfmt/SerialDate.h"
#include "workbook/NumberText.h"

namespace spreadsheet {

namespace {

using Token = NumberFormat::Token;
using Section = NumberFormat::Section;
using Comparison = NumberFormat::Comparison;
using DatePart = Token::DatePart;
using Decimal = NumberText::Decimal;
using Fixed = NumberText::Fixed;

// The codes that stand for a system format of the spreadsheet's locale, as a zh-CN one shows.
constexpr std::string_view kLongDate = "yyyy\"年\"m\"月\"d\"日\"";
constexpr std::string_view kSystemTime = "h:mm:ss";
enum class SystemFormat { None, LongDate, Time };

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

void AddDate(Section& section, DatePart part, int count, std::string text = {}) {
  Token t;
  t.kind = Token::Kind::Date;
  t.date = part;
  t.count = count;
  t.text = std::move(text);
  section.tokens.push_back(std::move(t));
  section.isDate = true;
}

// The locale of a [$…-xxxx] prefix: a Windows locale id in hex (its low 16 bits name the
// language; the bits above choose calendars and digits) or a system format.
void ParseLocale(std::string_view locale, Section& section, SystemFormat& system) {
  const std::string lower = Lower(std::string(locale));
  if (lower == "x-sysdate") {
    system = SystemFormat::LongDate;
    return;
  }
  if (lower == "x-systime") {
    system = SystemFormat::Time;
    return;
  }
  if (lower.rfind("zh", 0) == 0) {
    section.chinese = true;
    return;
  }
  unsigned long id = 0;
  const auto [end, ec] = std::from_chars(locale.data(), locale.data() + locale.size(), id, 16);
  if (ec != std::errc() || end != locale.data() + locale.size()) return;
  const unsigned long language = id & 0xFFFF;
  if (language == 0xF800) system = SystemFormat::LongDate;
  if (language == 0xF400) system = SystemFormat::Time;
  // Chinese: zh-CN, zh-TW, zh-HK, zh-SG, zh-MO.
  if (language == 0x0804 || language == 0x0404 || language == 0x0C04 || language == 0x1004 || language == 0x1404) {
    section.chinese = true;
  }
}

bool ParseBracket(const std::string& content, Section& section, SystemFormat& system) {
  if (content.empty()) return true;
  if (content[0] == '$') {
    // [$€-407]: the currency text before the locale code; [$-804] shows nothing.
    const auto dash = content.find('-');
    AddLiteral(section, content.substr(1, dash == std::string::npos ? std::string::npos : dash - 1));
    if (dash != std::string::npos) ParseLocale(std::string_view(content).substr(dash + 1), section, system);
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
  if (lower == "dbnum1" || lower == "dbnum2") {
    section.dbnum = lower.back() - '0';
    return true;
  }
  // Elapsed time: [h] [hh] [m] [mm] [s] [ss], all letters one kind.
  if (lower.find_first_not_of(lower[0]) == std::string::npos && std::string_view("hms").find(lower[0]) != std::string_view::npos) {
    const int count = static_cast<int>(lower.size());
    AddDate(section, lower[0] == 'h' ? DatePart::ElapsedHours : lower[0] == 'm' ? DatePart::ElapsedMinutes : DatePart::ElapsedSeconds,
            count);
    return true;
  }
  return false;  // native numerals other than DBNum1/2, …: not ours
}

// Minutes or month: m and mm are minutes right after an hour or right before a second.
void ResolveMinutes(Section& section) {
  auto& tokens = section.tokens;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != Token::Kind::Date || tokens[i].date != DatePart::Month || tokens[i].count > 2) continue;
    bool minute = false;
    for (std::size_t k = i; k-- > 0;) {
      if (tokens[k].kind != Token::Kind::Date) continue;
      minute = tokens[k].date == DatePart::Hour || tokens[k].date == DatePart::ElapsedHours;
      break;
    }
    for (std::size_t k = i + 1; !minute && k < tokens.size(); ++k) {
      if (tokens[k].kind != Token::Kind::Date) continue;
      minute = tokens[k].date == DatePart::Second || tokens[k].date == DatePart::ElapsedSeconds;
      break;
    }
    if (minute) tokens[i].date = DatePart::Minute;
  }
}

int RunOf(const std::string& s, std::size_t i) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
  int n = 0;
  while (i + n < s.size() && std::tolower(static_cast<unsigned char>(s[i + n])) == c) ++n;
  return n;
}

bool ParseSection(const std::string& s, Section& section);

// Date and time letters at s[i]; false when the letters are none of them. Advances i.
bool ParseDateLetters(const std::string& s, std::size_t& i, Section& section) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
  const int run = RunOf(s, i);
  switch (c) {
    case 'y': AddDate(section, DatePart::Year, run); break;
    case 'm': AddDate(section, DatePart::Month, run); break;
    case 'd': AddDate(section, run <= 2 ? DatePart::Day : DatePart::Weekday, run); break;
    case 'h': AddDate(section, DatePart::Hour, run); break;
    case 's': {
      AddDate(section, DatePart::Second, run);
      i += static_cast<std::size_t>(run);
      // ss.000: up to three digits of the second's fraction.
      if (i + 1 < s.size() && s[i] == '.' && s[i + 1] == '0') {
        std::size_t zeros = 0;
        while (i + 1 + zeros < s.size() && s[i + 1 + zeros] == '0') ++zeros;
        const int digits = static_cast<int>(std::min<std::size_t>(zeros, 3));
        AddDate(section, DatePart::SecondFraction, digits);
        section.secondDigits = std::max(section.secondDigits, digits);
        i += 1 + zeros;
      }
      return true;
    }
    case 'a': {
      const std::string lower = Lower(s.substr(i, 5));
      if (lower == "am/pm") {
        AddDate(section, DatePart::AmPm, 0, s.substr(i, 5));
        section.hasAmPm = true;
        i += 5;
        return true;
      }
      if (lower.rfind("a/p", 0) == 0) {
        AddDate(section, DatePart::AmPm, 0, s.substr(i, 3));
        section.hasAmPm = true;
        i += 3;
        return true;
      }
      if (run < 3) return false;
      AddDate(section, DatePart::ChineseWeekday, run);
      break;
    }
    default: return false;
  }
  i += static_cast<std::size_t>(run);
  return true;
}

// Whether the section holds a digit placeholder outside quotes, escapes and brackets.
bool HasDigitPlaceholder(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"' || c == '[') {
      const auto close = s.find(c == '"' ? '"' : ']', i + 1);
      if (close == std::string::npos) return false;
      i = close;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '0' || c == '#' || c == '?') {
      return true;
    }
  }
  return false;
}

// Whether the run of one letter at s[i] is shown as written, as the office shows letters that
// start none of its codes ("K0+000" shows K1+235, the chainage formats of road drawings).
// Codes (d e g h m q r s, aaa, ccc, nn, ww, am/pm, a/p, b1 b2) are not; nor is a lone y beside
// dates, where it is the year, but beside digit placeholders (a number section) it is a letter.
bool LiteralLetters(const std::string& s, std::size_t i, bool numeric) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
  const int run = RunOf(s, i);
  const std::size_t end = i + static_cast<std::size_t>(run);
  const char after = end < s.size() ? s[end] : '\0';
  if (c == 'a') {
    const std::string lower = Lower(s.substr(i, 5));
    return run < 3 && lower != "am/pm" && lower.rfind("a/p", 0) != 0;
  }
  if (c == 'b') return after != '1' && after != '2';
  if (c == 'c') return run < 3;
  if (c == 'n' || c == 'w') return run == 1;
  if (c == 'y') return numeric && run == 1;
  return std::string_view("fijkloptuvxz").find(c) != std::string_view::npos;
}

// False when the section holds something this display does not render.
bool ParseSection(const std::string& s, Section& section) {
  static constexpr std::string_view kChineseAmPm = "上午/下午";
  const bool numeric = HasDigitPlaceholder(s);
  bool seenDigit = false;
  int pendingCommas = 0;
  auto part = Token::Part::Integer;
  SystemFormat system = SystemFormat::None;
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
      if (!ParseBracket(s.substr(i + 1, close - i - 1), section, system)) return false;
      i = close + 1;
    } else if (s.compare(i, kChineseAmPm.size(), kChineseAmPm) == 0) {
      AddDate(section, DatePart::AmPm, 0, std::string(kChineseAmPm));
      section.hasAmPm = true;
      i += kChineseAmPm.size();
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
    } else if (c == '.' && part == Token::Part::Integer && !section.isDate) {
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
      const std::size_t run = static_cast<std::size_t>(RunOf(s, i));
      if (LiteralLetters(s, i, numeric)) {
        AddLiteral(section, s.substr(i, run));
        i += run;
      } else if (!ParseDateLetters(s, i, section)) {
        return false;  // e, g, q, r, …: no code of ours
      }
    } else {
      const std::size_t len = Utf8Length(s, i);
      AddLiteral(section, s.substr(i, len));
      i += len;
    }
  }
  endInteger();
  if (system != SystemFormat::None) {
    // The locale's own long date or time stands for whatever the code spells.
    Section replaced;
    replaced.comparison = section.comparison;
    replaced.operand = section.operand;
    replaced.chinese = section.chinese;
    replaced.dbnum = section.dbnum;
    ParseSection(std::string(system == SystemFormat::LongDate ? kLongDate : kSystemTime), replaced);
    section = std::move(replaced);
    return true;
  }
  if (section.isDate) {
    // Digit placeholders, '@' or General beside date codes: no code a spreadsheet shows.
    if (seenDigit || section.hasText || section.hasGeneral || section.percent > 0) return false;
    ResolveMinutes(section);
  }
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
  for (const Section& s : numberSections_) date_ = date_ || s.isDate;
}

std::string NumberFormat::Display(const CellValue& value, std::string_view code, DateSystem dates) {
  if (std::holds_alternative<std::monostate>(value)) return {};
  return NumberFormat(code).Format(value, dates);
}

std::string NumberFormat::Format(const CellValue& value, DateSystem dates) const {
  return std::visit(
      [&](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return FormatText(v);
        } else if constexpr (std::is_same_v<T, double>) {
          return FormatNumber(v, dates);
        } else if constexpr (std::is_same_v<T, bool>) {
          return v ? "TRUE" : "FALSE";  // whatever the format, as spreadsheets show them
        } else if constexpr (std::is_same_v<T, CellError>) {
          return v.code;  // an error value shows as stored, whatever the format
        } else {
          return {};  // empty, or a formula without its result
        }
      },
      value);
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

std::string NumberFormat::FormatNumber(double x, DateSystem dates) const {
  if (std::isnan(x) || std::isinf(x)) return "#NUM!";
  if (general_) return NumberText::GeneralDisplay(x);
  return Select(x, dates);
}

std::string NumberFormat::Select(double x, DateSystem dates) const {
  const auto& s = numberSections_;
  // A section shows the magnitude, with the sign in front when it is the only section that
  // takes negatives, unless the number shows as zero ("0" for -0.3 under 0, as the office
  // shows it; a section of its own for negatives shows its own sign); a date section shows
  // the signed value, which it checks itself.
  auto signedShown = [&](const Section& section) {
    if (section.isDate) return RenderDate(section, x, dates);
    const std::string shown = RenderNumber(section, std::fabs(x));
    return x < 0 && shown != RenderNumber(section, 0) ? "-" + shown : shown;
  };
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
    if (chosen == nullptr) return NumberText::GeneralDisplay(x);
    return signedShown(*chosen);
  }
  if (s.size() == 1) return signedShown(s[0]);
  if (x < 0) return s[1].isDate ? RenderDate(s[1], -x, dates) : RenderNumber(s[1], -x);
  if (x == 0 && s.size() > 2) return s[2].isDate ? RenderDate(s[2], 0, dates) : RenderNumber(s[2], 0);
  return s[0].isDate ? RenderDate(s[0], x, dates) : RenderNumber(s[0], x);
}

namespace {

constexpr std::array<std::string_view, 12> kMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                                       "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 7> kDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                    "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 7> kChineseDays{"日", "一", "二", "三", "四", "五", "六"};

std::string Padded(std::int64_t n, int width) {
  std::string digits = std::to_string(n);
  if (digits.size() < static_cast<std::size_t>(width)) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

// A number of a date or time part: padded to `width` digits, or counted in Chinese numerals.
std::string Part(std::int64_t n, int width, int dbnum) {
  if (dbnum > 0) return ChineseNumerals::Counted(static_cast<std::uint64_t>(n), dbnum);
  return Padded(n, width);
}

std::string Hashes(double available, const NumberFormat::TextWidth& width) {
  const double one = width("#");
  const double count = one > 0 ? std::floor(available / one) : 1;
  return std::string(static_cast<std::size_t>(std::clamp(count, 1.0, 255.0)), '#');
}

}  // namespace

std::string NumberFormat::RenderDate(const Section& section, double value, DateSystem dates) const {
  if (value < 0) {
    // Before the first day of the 1900 system nothing can be shown; the 1904 system shows
    // negative times with their sign.
    if (dates == DateSystem::From1900) return "###";
    const std::string shown = RenderDate(section, -value, dates);
    return shown == "###" ? shown : "-" + shown;
  }
  // Whole units of the smallest part shown (a second, or its tenth to thousandth), rounded;
  // but a clock time without a date is cut, so that 23:59:59.9 stays on its day (12:00:00.6
  // shows 12:00:00, while [h]:mm:ss shows 12:00:01 and a date with it rolls over at midnight).
  // A margin of a few units in the last place of the value keeps a cut 1:01:01 (3661/86400
  // days) from showing 1:01:00.
  static constexpr std::int64_t kPowers[] = {1, 10, 100, 1000};
  const std::int64_t perSecond = kPowers[section.secondDigits];
  const std::int64_t perDay = 86400 * perSecond;
  if (value >= static_cast<double>(SerialDate::LastSerial(dates) + 1)) return "###";
  const double scaled = value * static_cast<double>(perDay);
  const double margin = 64 * (std::nextafter(value, std::numeric_limits<double>::infinity()) - value) *
                            static_cast<double>(perDay) + 1e-6;
  bool clock = false;
  bool datePart = false;
  for (const Token& t : section.tokens) {
    if (t.kind != Token::Kind::Date) continue;
    clock = clock || t.date == DatePart::Hour;
    datePart = datePart || t.date == DatePart::Year || t.date == DatePart::Month || t.date == DatePart::Day ||
               t.date == DatePart::Weekday || t.date == DatePart::ChineseWeekday;
  }
  const bool cut = clock && !datePart;
  const auto units = static_cast<std::int64_t>(std::floor(scaled + (cut ? margin : 0.5)));
  const std::int64_t serial = units / perDay;
  if (serial > SerialDate::LastSerial(dates)) return "###";
  const std::int64_t inDay = units % perDay;
  const std::int64_t seconds = inDay / perSecond;
  const std::int64_t fraction = inDay % perSecond;
  const std::int64_t totalSeconds = units / perSecond;
  const SerialDate date = SerialDate::Of(serial, dates);
  const std::int64_t hour = seconds / 3600;
  const bool chinese = section.chinese;
  const int dbnum = section.dbnum;

  std::string out;
  for (const Token& t : section.tokens) {
    if (t.kind == Token::Kind::Literal) {
      out += t.text;
      continue;
    }
    if (t.kind != Token::Kind::Date) continue;
    switch (t.date) {
      case DatePart::Year:
        if (t.count <= 2) {
          out += dbnum > 0 ? ChineseNumerals::DigitByDigit(Padded(date.year % 100, 2), dbnum) : Padded(date.year % 100, 2);
        } else {
          out += dbnum > 0 ? ChineseNumerals::DigitByDigit(std::to_string(date.year), dbnum) : std::to_string(date.year);
        }
        break;
      case DatePart::Month: {
        const std::string_view name = kMonthNames[static_cast<std::size_t>(date.month - 1)];
        if (t.count <= 2) {
          out += Part(date.month, t.count, dbnum);
        } else if (chinese) {
          const std::string counted = ChineseNumerals::Counted(static_cast<std::uint64_t>(date.month), 1);
          out += t.count == 3 ? std::to_string(date.month) + "月" : t.count == 4 ? counted + "月" : counted;
        } else {
          out += t.count == 3 ? name.substr(0, 3) : t.count == 4 ? name : name.substr(0, 1);
        }
        break;
      }
      case DatePart::Day: out += Part(date.day, t.count, dbnum); break;
      case DatePart::Weekday:
        if (chinese) {
          out += t.count == 3 ? std::string(kChineseDays[static_cast<std::size_t>(date.weekday)])
                              : "星期" + std::string(kChineseDays[static_cast<std::size_t>(date.weekday)]);
        } else {
          const std::string_view name = kDayNames[static_cast<std::size_t>(date.weekday)];
          out += t.count == 3 ? name.substr(0, 3) : name;
        }
        break;
      case DatePart::ChineseWeekday:
        out += t.count == 3 ? std::string(kChineseDays[static_cast<std::size_t>(date.weekday)])
                            : "星期" + std::string(kChineseDays[static_cast<std::size_t>(date.weekday)]);
        break;
      case DatePart::Hour: {
        std::int64_t h = hour;
        if (section.hasAmPm) h = hour % 12 == 0 ? 12 : hour % 12;
        out += Part(h, t.count, dbnum);
        break;
      }
      case DatePart::Minute: out += Part(seconds / 60 % 60, t.count, dbnum); break;
      case DatePart::Second: out += Part(seconds % 60, t.count, dbnum); break;
      case DatePart::SecondFraction:
        out += '.';
        out += Padded(fraction, section.secondDigits).substr(0, static_cast<std::size_t>(t.count));
        break;
      case DatePart::AmPm: {
        const bool pm = hour >= 12;
        if (chinese || t.text == "上午/下午") {
          out += pm ? "下午" : "上午";
        } else if (t.text.size() == 3) {  // A/P, a/p
          out += pm ? t.text[2] : t.text[0];
        } else {
          const bool lower = t.text[0] == 'a';
          out += pm ? (lower ? "pm" : "PM") : (lower ? "am" : "AM");
        }
        break;
      }
      case DatePart::ElapsedHours: out += Part(totalSeconds / 3600, t.count, dbnum); break;
      case DatePart::ElapsedMinutes: out += Part(totalSeconds / 60, t.count, dbnum); break;
      case DatePart::ElapsedSeconds: out += Part(totalSeconds, t.count, dbnum); break;
    }
  }
  return out;
}

std::string NumberFormat::FitNumber(double x, double available, const TextWidth& width, DateSystem dates) const {
  const std::string full = FormatNumber(x, dates);
  if (width(full) <= available) return full;
  if (!general_ || !std::isfinite(x)) return Hashes(available, width);
  // General gives up decimals first, while at least two significant digits (or the whole
  // part) remain, then shows the exponent form with fewer and fewer digits.
  const NumberText::Decimal d = NumberText::DecimalOf(std::fabs(x));
  const auto point = full.find('.');
  if (full.find('E') == std::string::npos && point != std::string::npos) {
    const int shownDecimals = static_cast<int>(full.size() - point - 1);
    for (int decimals = shownDecimals - 1; decimals >= 0; --decimals) {
      const NumberText::Fixed f = NumberText::Round(d, decimals);
      const std::string digits = f.integer + f.fraction;
      const auto firstSignificant = digits.find_first_not_of('0');
      if (firstSignificant == std::string::npos) break;
      if (f.integer.empty() && digits.size() - firstSignificant < 2) break;
      std::string fraction = f.fraction;
      while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
      std::string shown = (x < 0 ? "-" : "") + (f.integer.empty() ? std::string("0") : f.integer);
      if (!fraction.empty()) shown += "." + fraction;
      if (width(shown) <= available) return shown;
    }
  }
  for (int decimals = std::min(5, static_cast<int>(d.digits.size()) - 1); decimals >= 0; --decimals) {
    const std::string shown = NumberText::Scientific(x, decimals);
    if (width(shown) <= available) return shown;
  }
  return Hashes(available, width);
}

std::string NumberFormat::Fit(const CellValue& value, double available, const TextWidth& width,
                              DateSystem dates) const {
  if (const auto* number = std::get_if<double>(&value)) return FitNumber(*number, available, width, dates);
  return Format(value, dates);
}

std::string NumberFormat::RenderNumber(const Section& section, double magnitude) const {
  std::string shown = Render(section, magnitude);
  if (section.dbnum > 0) shown = ChineseNumerals::Number(shown, section.dbnum);
  return shown;
}

std::string NumberFormat::Render(const Section& section, double magnitude) const {
  const bool hasDigits = section.integerDigits + section.fractionDigits > 0;
  Decimal d = NumberText::DecimalOf(magnitude);
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
      fixed = NumberText::Round(mantissa, section.fractionDigits);
    };
    if (!d.digits.empty()) {
      const int leading = d.exponent + static_cast<int>(d.digits.size()) - 1;
      attempt(leading);
      // Rounding up may carry into one more integer digit (9.99 → 10.0): shift once more.
      if (fixed.integer.size() > static_cast<std::size_t>(integerPlaces)) attempt(leading + 1);
    } else {
      fixed = NumberText::Round(d, section.fractionDigits);
    }
  } else if (hasDigits) {
    fixed = NumberText::Round(d, section.fractionDigits);
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
      case Token::Kind::General: out += NumberText::GeneralDisplay(magnitude); break;
      case Token::Kind::Date: break;
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
