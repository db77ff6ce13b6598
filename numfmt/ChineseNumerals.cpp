#include "numfmt/ChineseNumerals.h"

#include <array>

namespace spreadsheet {

namespace {

constexpr std::array<std::string_view, 10> kLower{"〇", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
constexpr std::array<std::string_view, 10> kUpper{"零", "壹", "贰", "叁", "肆", "伍", "陆", "柒", "捌", "玖"};
constexpr std::array<std::string_view, 4> kLowerUnits{"", "十", "百", "千"};
constexpr std::array<std::string_view, 4> kUpperUnits{"", "拾", "佰", "仟"};
constexpr std::array<std::string_view, 4> kGroups{"", "万", "亿", "万亿"};

std::string_view Digit(int d, int dbnum) { return dbnum == 2 ? kUpper[d] : kLower[d]; }

}  // namespace

std::string ChineseNumerals::Counted(std::uint64_t n, int dbnum) {
  if (n == 0) return std::string(Digit(0, dbnum));
  const auto& units = dbnum == 2 ? kUpperUnits : kLowerUnits;
  std::array<int, 16> digits{};
  int count = 0;
  for (std::uint64_t m = n; m > 0 && count < 16; m /= 10) digits[count++] = static_cast<int>(m % 10);
  std::string out;
  bool pendingZero = false;
  for (int i = count - 1; i >= 0; --i) {
    const int d = digits[i];
    const int inGroup = i % 4;
    if (d == 0) {
      pendingZero = !out.empty();
    } else {
      if (pendingZero) out += Digit(0, dbnum);
      pendingZero = false;
      // 十二, not 一十二, at the very start in lower case.
      if (!(dbnum != 2 && d == 1 && inGroup == 1 && out.empty())) out += Digit(d, dbnum);
      out += units[inGroup];
    }
    if (inGroup == 0 && i > 0) {
      // A group's unit once the group holds a digit.
      bool groupHasDigit = false;
      for (int k = i; k < i + 4 && k < count; ++k) groupHasDigit = groupHasDigit || digits[k] != 0;
      if (groupHasDigit) out += kGroups[i / 4];
    }
  }
  return out;
}

std::string ChineseNumerals::DigitByDigit(std::string_view digits, int dbnum) {
  std::string out;
  for (char c : digits) {
    if (c >= '0' && c <= '9') {
      out += Digit(c - '0', dbnum);
    } else {
      out += c;
    }
  }
  return out;
}

std::string ChineseNumerals::Number(std::string_view shown, int dbnum) {
  std::string out;
  bool afterPoint = false;
  for (std::size_t i = 0; i < shown.size();) {
    const char c = shown[i];
    if (c >= '0' && c <= '9') {
      std::size_t end = i;
      while (end < shown.size() && shown[end] >= '0' && shown[end] <= '9') ++end;
      const std::string_view run = shown.substr(i, end - i);
      if (afterPoint || run.size() > 16) {
        out += DigitByDigit(run, dbnum);
      } else {
        std::uint64_t n = 0;
        for (char d : run) n = n * 10 + static_cast<std::uint64_t>(d - '0');
        out += Counted(n, dbnum);
      }
      afterPoint = end < shown.size() && shown[end] == '.' && end + 1 < shown.size() && shown[end + 1] >= '0' &&
                   shown[end + 1] <= '9';
      if (afterPoint) {
        out += "．";
        ++end;
      }
      i = end;
    } else {
      afterPoint = false;
      out += c;
      ++i;
    }
  }
  return out;
}

}  // namespace spreadsheet
