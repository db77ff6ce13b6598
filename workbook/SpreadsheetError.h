#pragma once

#include <stdexcept>
#include <string>

namespace spreadsheet {

// The one failure type of every spreadsheet operation: a number as the automation
// interface numbers its errors (1004 the application's own failure, 9 a missing sheet,
// 13 a type mismatch) and a description that names the bad input.
class SpreadsheetError : public std::runtime_error {
 public:
  SpreadsheetError(int number, std::string description);

  int Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }

  static constexpr int kApplicationDefined = 1004;
  static constexpr int kSubscriptOutOfRange = 9;
  static constexpr int kTypeMismatch = 13;
  static constexpr int kOverflow = 6;
  static constexpr int kFileNotFound = 53;

 private:
  int number_;
  std::string description_;
};

}  // namespace spreadsheet
