#pragma once

#include <cstdint>

#include "workbook/DateSystem.h"

namespace spreadsheet {

// The calendar day of a whole date serial, as spreadsheets count days.
struct SerialDate {
  int year = 1900;
  int month = 1;    // 1 to 12
  int day = 0;      // 1 to 31; 0 only for serial 0 of the 1900 system ("1900/1/0")
  int weekday = 0;  // 0 Sunday to 6 Saturday

  // The last serial a date can show: 9999-12-31.
  static std::int64_t LastSerial(DateSystem system) { return system == DateSystem::From1900 ? 2958465 : 2957003; }
  // For 0 <= serial <= LastSerial(system). In the 1900 system serials 1 to 59 are 1900-01-01 to
  // 1900-02-28, 60 is 1900-02-29 and from 61 on the days are true (61 is 1900-03-01); the
  // weekdays of serials below 61 follow the same false count (serial 1 is a Sunday).
  static SerialDate Of(std::int64_t serial, DateSystem system);
};

}  // namespace spreadsheet
