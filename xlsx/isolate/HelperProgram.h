#pragma once

#include <spawn.h>

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
  // Initialises `attributes` (the caller destroys them) so that a spawned program starts with
  // every signal at its default action and none blocked, whatever this process ignores or
  // blocks; `moreFlags` are added to the flags that asks for.
  static void InitDefaultSignals(posix_spawnattr_t& attributes, short moreFlags = 0);
};

}  // namespace spreadsheet
