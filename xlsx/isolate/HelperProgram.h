#pragma once

#include <string>
#include <string_view>

namespace spreadsheet {

// The programs the levelbook programs start (levelbook-read, levelbook-pdf): beside the running
// executable in the build tree, in ../libexec/levelbook from it when installed.
class HelperProgram {
 public:
  // The path of the executable file `name` in the first of those places that has one; "" when
  // neither has.
  static std::string Locate(std::string_view name);
};

}  // namespace spreadsheet
