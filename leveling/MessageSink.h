#pragma once

#include <string>

namespace gaocheng {

// Where the leveling module shows its message boxes (OK button only): the GUI shows a
// QMessageBox, the command line and the tests collect them.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Show(const std::string& text, const std::string& title) = 0;
};

}  // namespace gaocheng
