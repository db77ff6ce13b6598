#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace templates {

// Where both programs find their data files (the template work.xlsx, the sample route
// sample.xlsx): <program folder>/../share/levelbook/ when installed, then the program's own
// folder (the build tree), then any further folders the caller adds (the GUI's data locations).
class DataFiles {
 public:
  static constexpr const char* kTemplate = "work.xlsx";
  static constexpr const char* kSample = "sample.xlsx";

  // The folder of the running executable (from /proc/self/exe); empty when it cannot be read.
  static std::filesystem::path ProgramFolder();
  // The folders searched, in order; `extra` follows the two of the program folder.
  static std::vector<std::filesystem::path> Folders(const std::filesystem::path& programFolder,
                                                    const std::vector<std::filesystem::path>& extra = {});
  // The first folder holding `name` as a regular file (symbolic links followed), joined with it.
  static std::optional<std::filesystem::path> Find(std::string_view name,
                                                   const std::vector<std::filesystem::path>& folders);
  // Find in Folders(ProgramFolder(), extra), or else the place it belongs in the first folder
  // (so that a message names where the file was expected).
  static std::filesystem::path Locate(std::string_view name, const std::vector<std::filesystem::path>& extra = {});
};

}  // namespace templates
