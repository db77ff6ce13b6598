#include "leveling/NumberText.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace gaocheng {

std::string FormatUpToThreeDecimals(double value) {
  value = std::fabs(value);
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (result.ec != std::errc()) return "0";
  const std::string text(buffer, result.ptr);
  const std::size_t point = text.find('.');
  std::string integer = point == std::string::npos ? text : text.substr(0, point);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  if (fraction.size() > 3) {
    const bool roundUp = fraction[3] >= '5';
    fraction.resize(3);
    if (roundUp) {
      // Carry through the three decimals and on into the integer digits.
      std::string digits = integer + fraction;
      std::size_t i = digits.size();
      while (i > 0) {
        --i;
        if (digits[i] == '9') {
          digits[i] = '0';
        } else {
          ++digits[i];
          break;
        }
        if (i == 0) digits.insert(digits.begin(), '1');
      }
      integer = digits.substr(0, digits.size() - 3);
      fraction = digits.substr(digits.size() - 3);
    }
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  return fraction.empty() ? integer : integer + "." + fraction;
}

}  // namespace gaocheng
