#pragma once

#include <string>

#include "workbook/NumberedError.h"

namespace gaocheng {

// A failure of the leveling computation itself (not of the spreadsheet): 5 input the
// computation cannot use, 6 overflow, with a Chinese description naming the bad value.
class LevelingError : public spreadsheet::NumberedError {
 public:
  using NumberedError::NumberedError;

  static constexpr int kInvalidInput = 5;
  static constexpr int kOverflow = 6;
};

}  // namespace gaocheng
