#include "workbook/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <system_error>

namespace spreadsheet {
namespace {

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

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Checks the unsigned part: digits [. digits] or . digits, then [eE [sign] digits].
bool IsUnsignedDecimal(std::string_view text) {
  std::size_t i = 0;
  std::size_t mantissaDigits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++mantissaDigits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == text.size();
}

// For a text that IsUnsignedDecimal accepts and whose value lies outside the range of a
// double: whether it lies below one (it underflows) rather than above (it overflows). The
// power of ten of the first significant digit decides; the exponent is clamped, as beyond
// ±10^6 only its sign matters.
bool UnderflowsDouble(std::string_view text) {
  std::size_t i = 0;
  long power = -1;
  bool seenSignificant = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    seenSignificant = seenSignificant || text[i] != '0';
    if (seenSignificant) ++power;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]) && !seenSignificant; ++i) {
      if (text[i] != '0') seenSignificant = true;
      else --power;
    }
    while (i < text.size() && IsDigit(text[i])) ++i;
  }
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    const bool negativeExponent = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < text.size(); ++i) exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000L);
    if (negativeExponent) exponent = -exponent;
  }
  return power + exponent < 0;
}

// The least k ≤ maxDecimals (at most 15) with m = magnitude × 10^k whole, below 10^15 and m / 10^k
// == magnitude: then magnitude is the double nearest to m·10^-k, and that decimal is also its
// fifteen-digit one (DecimalOf), since it lies within half an ulp of the double, closer than
// half the spacing of fifteen-digit decimals. Most numbers of a book take this path, which
// spares the digit strings of the general one.
bool ShortDecimal(double magnitude, int maxDecimals, std::uint64_t& m, int& k) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  constexpr double kLimit = 1e15;
  if (!(magnitude >= 0 && magnitude < kLimit)) return false;
  for (k = 0; k <= std::min(maxDecimals, 15); ++k) {
    const double scaled = magnitude * kPowers[k];
    if (scaled >= kLimit) return false;
    m = static_cast<std::uint64_t>(scaled + 0.5);
    if (static_cast<double>(m) / kPowers[k] == magnitude) return true;
  }
  return false;
}

// m·10^-k written out: "0" before the point when m has no more digits than k; no trailing zero
// in the fraction when k is the least.
std::string ShortDecimalText(std::uint64_t m, int k) {
  char digits[24];
  const auto length = static_cast<int>(std::to_chars(digits, digits + sizeof digits, m).ptr - digits);
  if (k == 0) return std::string(digits, static_cast<std::size_t>(length));
  std::string out;
  if (length <= k) {
    out = "0.";
    out.append(static_cast<std::size_t>(k - length), '0');
    out.append(digits, static_cast<std::size_t>(length));
  } else {
    out.assign(digits, static_cast<std::size_t>(length - k));
    out += '.';
    out.append(digits + length - k, static_cast<std::size_t>(k));
  }
  return out;
}

int DigitCount(std::uint64_t m) {
  int n = 1;
  while (m >= 10) {
    m /= 10;
    ++n;
  }
  return n;
}

}  // namespace

bool NumberText::Read(std::string_view text, double& value) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!IsUnsignedDecimal(text)) return false;
  double parsed = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
  if (error == std::errc::result_out_of_range && UnderflowsDouble(text)) {
    // A plain decimal too close to zero for a double ("0.000…01" with 400 zeros) is zero.
    value = negative ? -0.0 : 0.0;
    return true;
  }
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed)) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}


bool NumberText::ReadTyped(std::string_view text, double& value) {
  double parsed = 0;
  if (!Read(text, parsed)) return false;
  value = parsed == 0 ? 0.0 : parsed;
  return true;
}

NumberText::Decimal NumberText::DecimalOf(double magnitude) {
  Decimal d;
  if (magnitude == 0) return d;
  char buf[64];
  // d.dddddddddddddde±XX: fifteen significant digits, correctly rounded from the binary value.
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 14);
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

NumberText::Fixed NumberText::Round(const Decimal& d, int decimals) {
  std::string n;  // round(value × 10^decimals)
  const int shift = d.exponent + decimals;
  if (d.digits.empty()) {
    n.clear();
  } else if (shift >= 0) {
    n = d.digits + std::string(static_cast<std::size_t>(shift), '0');
  } else {
    const auto drop = static_cast<std::size_t>(-shift);
    if (drop <= d.digits.size()) {
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

std::string NumberText::Scientific(double value, int decimals) {
  const Decimal d = DecimalOf(std::fabs(value));
  if (d.digits.empty()) return "0";
  int leading = d.exponent + static_cast<int>(d.digits.size()) - 1;
  Decimal mantissa = d;
  mantissa.exponent -= leading;
  Fixed f = Round(mantissa, decimals);
  if (f.integer.size() > 1) {  // 9.99 rounded up to 10.0: one more power of ten
    ++leading;
    mantissa.exponent -= 1;
    f = Round(mantissa, decimals);
  }
  std::string fraction = f.fraction;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string out = value < 0 ? "-" : "";
  out += f.integer.empty() ? "0" : f.integer;
  if (!fraction.empty()) out += "." + fraction;
  out += leading < 0 ? "E-" : "E+";
  const std::string exponent = std::to_string(std::abs(leading));
  if (exponent.size() < 2) out += '0';
  return out + exponent;
}

std::string NumberText::GeneralDisplay(double value) {
  if (!std::isfinite(value)) return "#NUM!";
  if (value == 0) return "0";
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e11 || magnitude < 1e-9) return Scientific(value, 5);
  std::uint64_t m = 0;
  int k = 0;
  // Shown as it is when its decimals fit the eleven places General gives it.
  if (ShortDecimal(magnitude, 15, m, k) && k <= std::max(0, 10 - (DigitCount(m) - 1 - k))) {
    return (value < 0 ? "-" : "") + ShortDecimalText(m, k);
  }
  const Decimal d = DecimalOf(magnitude);
  const int leading = d.exponent + static_cast<int>(d.digits.size()) - 1;
  const Fixed f = Round(d, std::max(0, 10 - leading));
  if (f.integer.size() > 11) return Scientific(value, 5);
  std::string fraction = f.fraction;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (f.integer.empty() && fraction.empty()) return "0";
  std::string out = value < 0 ? "-" : "";
  out += f.integer.empty() ? "0" : f.integer;
  if (!fraction.empty()) out += "." + fraction;
  return out;
}

std::string NumberText::FieldBookDecimals(double value, int decimals) {
  if (!std::isfinite(value)) return EditText(std::fabs(value));
  std::uint64_t m = 0;
  int k = 0;
  if (ShortDecimal(std::fabs(value), decimals, m, k)) return ShortDecimalText(m, k);
  const Fixed f = Round(DecimalOf(std::fabs(value)), decimals);
  std::string fraction = f.fraction;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  const std::string integer = f.integer.empty() ? "0" : f.integer;
  return fraction.empty() ? integer : integer + "." + fraction;
}

double NumberText::RoundHalfEven(double value) {
  // From 2^52 on every double is whole. Below, adding and taking away 2^52 leaves the nearest
  // whole number, halves to even, in the default rounding mode; + 0.0 turns -0 into 0.
  if (!(std::fabs(value) < 0x1p52)) return value;
  const double shift = std::copysign(0x1p52, value);
  return (value + shift) - shift + 0.0;
}

double NumberText::FieldBookRound(double value, int decimals) {
  // The whole number of steps is exact below 2^53 and the division by an exact power of ten
  // is correctly rounded, so the result is the double nearest to the rounded decimal.
  static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  const double scale = kPowers[std::clamp(decimals, 0, 6)];
  return RoundHalfEven(value * scale) / scale;
}

std::string NumberText::EditText(double value) {
  char buffer[64];
  if (!std::isfinite(value)) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
  }
  if (value == 0) return "0";
  // d.dddddddddddddde±XX: fifteen significant digits, correctly rounded.
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  const std::string_view text(buffer, result.ptr - buffer);
  const bool negative = text.front() == '-';
  const std::size_t mantissaStart = negative ? 1 : 0;
  const std::size_t ePos = text.find('e');
  std::string digits;
  for (std::size_t i = mantissaStart; i < ePos; ++i) {
    if (text[i] != '.') digits += text[i];
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int exponent = std::atoi(std::string(text.substr(ePos + 1)).c_str());

  std::string out = negative ? "-" : "";
  if (exponent >= -5 && exponent < 15) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const std::size_t integerDigits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= integerDigits) {
        out += digits;
        out.append(integerDigits - digits.size(), '0');
      } else {
        out += digits.substr(0, integerDigits);
        out += '.';
        out += digits.substr(integerDigits);
      }
    }
    return out;
  }
  out += digits.front();
  if (digits.size() > 1) {
    out += '.';
    out += digits.substr(1);
  }
  out += exponent < 0 ? "E-" : "E+";
  const std::string exponentDigits = std::to_string(std::abs(exponent));
  if (exponentDigits.size() < 2) out += '0';
  out += exponentDigits;
  return out;
}

}  // namespace spreadsheet
