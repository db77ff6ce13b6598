#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace spreadsheet {

// Chinese numerals as the [DBNum1] (lower case: 一二三, 十百千万亿) and [DBNum2] (financial
// upper case: 壹贰叁, 拾佰仟万亿) prefixes of a number format show them.
class ChineseNumerals {
 public:
  // A whole number with its units: 123 → "一百二十三", 10205 → "一万〇二百〇五", 12 → "十二"
  // (lower case drops the 一 of a leading 十), 0 → "〇". For 0 <= n < 10^16.
  static std::string Counted(std::uint64_t n, int dbnum);
  // Each ASCII digit as its numeral: "2024" → "二〇二四".
  static std::string DigitByDigit(std::string_view digits, int dbnum);
  // A shown number's text with every run of digits written in numerals: the whole part counted,
  // the digits after a decimal point one by one, that point full-width ("一百二十三．四五").
  static std::string Number(std::string_view shown, int dbnum);
};

}  // namespace spreadsheet
