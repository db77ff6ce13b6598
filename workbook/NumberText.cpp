#include "workbook/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace spreadsheet {
namespace {

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

}  // namespace

bool ParseDecimal(std::string_view text, double& value) {
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

std::string FormatGeneral(double value) {
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
