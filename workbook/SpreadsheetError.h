#pragma once

#include <string>

#include "workbook/NumberedError.h"

namespace spreadsheet {

// The failure of every spreadsheet operation: 1004 the application's own failure, 9 a missing
// sheet, 13 a type mismatch, 6 an overflow, 53 a missing file.
class SpreadsheetError : public NumberedError {
 public:
  using NumberedError::NumberedError;

  static constexpr int kApplicationDefined = 1004;
  static constexpr int kSubscriptOutOfRange = 9;
  static constexpr int kTypeMismatch = 13;
  static constexpr int kOverflow = 6;
  static constexpr int kFileNotFound = 53;
};

}  // namespace spreadsheet
