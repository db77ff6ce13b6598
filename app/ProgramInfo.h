#pragma once

#include <optional>
#include <string>
#include <vector>

// What `levelbook` answers on the command line without opening a window, so that --help and
// --version work without a display: the text to print and exit 0 with.
class ProgramInfo {
 public:
  // args without the program name; the first -h/--help or --version before "--" decides.
  // nullopt: start the program.
  static std::optional<std::string> Answer(const std::vector<std::string>& args);
  static std::string HelpText();
  static std::string VersionText();  // "levelbook 1.1\n"
};
