#include "numfmt/SerialDate.h"

namespace spreadsheet {

namespace {

// The proleptic Gregorian date `days` after 1970-01-01 (days may be negative).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0));
}

constexpr std::int64_t k1900March1 = -25508;  // 1900-03-01, days after 1970-01-01
constexpr std::int64_t k1904January1 = -24107;

}  // namespace

SerialDate SerialDate::Of(std::int64_t serial, DateSystem system) {
  SerialDate d;
  if (system == DateSystem::From1904) {
    CivilFromDays(k1904January1 + serial, d.year, d.month, d.day);
    d.weekday = static_cast<int>((serial + 5) % 7);  // 1904-01-01 was a Friday
    return d;
  }
  d.weekday = static_cast<int>((serial + 6) % 7);  // serial 1 counts as a Sunday
  if (serial <= 59) {
    d.year = 1900;
    d.month = serial <= 31 ? 1 : 2;
    d.day = static_cast<int>(serial <= 31 ? serial : serial - 31);
  } else if (serial == 60) {
    d.year = 1900, d.month = 2, d.day = 29;
  } else {
    CivilFromDays(k1900March1 + (serial - 61), d.year, d.month, d.day);
  }
  return d;
}

}  // namespace spreadsheet
