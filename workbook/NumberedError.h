#pragma once

#include <stdexcept>
#include <string>

namespace spreadsheet {

// Base of every numbered failure (spreadsheet operations, the leveling computation): a number
// in the automation interface's numbering (1004, 9, 13, 6, 53) and a Chinese description that
// names the bad input (cell address and value, file, setting). Callers catch this one type.
class NumberedError : public std::runtime_error {
 public:
  NumberedError(int number, std::string description);

  int Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  int number_;
  std::string description_;
};

}  // namespace spreadsheet
