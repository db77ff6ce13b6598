#include "NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace spreadsheet {

namespace {

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
  std::snprintf(buf, sizeof buf, "%.5E", x);
  std::string s(buf);
  TrimFraction(s);
  // Spreadsheets write the exponent with at least two digits and a sign: E+11, E-09.
  auto e = s.find('E');
  std::string exponent = s.substr(e + 2);
  while (exponent.size() > 2 && exponent.front() == '0') exponent.erase(0, 1);
  return s.substr(0, e + 2) + exponent;
}

}  // namespace

std::string NumberFormat::General(double x) {
  if (std::isnan(x) || std::isinf(x)) return "#NUM!";
  if (x == 0) return "0";
  const double magnitude = std::fabs(x);
  if (magnitude >= 1e11 || magnitude < 1e-9) return Scientific(x);
  const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
  const int decimals = std::max(0, 10 - exponent);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  std::string s(buf);
  TrimFraction(s);
  if (s == "-0") return "0";
  const auto digits = s.find('.') == std::string::npos ? s.size() : s.find('.');
  if (digits - (s.front() == '-' ? 1 : 0) > 11) return Scientific(x);
  return s;
}

std::string NumberFormat::Display(const CellValue& value, std::string_view /*code*/) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<double>(&value)) return General(*number);
  return {};
}

}  // namespace spreadsheet
