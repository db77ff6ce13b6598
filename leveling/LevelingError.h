#pragma once

#include <stdexcept>
#include <string>

namespace gaocheng {

// A failure of the leveling computation itself (not of the spreadsheet): a number in the
// spreadsheet's numbering (6 overflow) and a Chinese description naming the bad value.
class LevelingError : public std::runtime_error {
 public:
  LevelingError(int number, std::string description);

  int Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }

  static constexpr int kOverflow = 6;

 private:
  int number_;
  std::string description_;
};

}  // namespace gaocheng
