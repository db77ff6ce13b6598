#include "templates/DataFiles.h"

#include <system_error>

namespace templates {

namespace fs = std::filesystem;

fs::path DataFiles::ProgramFolder() {
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : program.parent_path();
}

std::vector<fs::path> DataFiles::Folders(const fs::path& programFolder, const std::vector<fs::path>& extra) {
  std::vector<fs::path> folders;
  if (!programFolder.empty()) {
    folders.push_back((programFolder / ".." / "share" / "levelbook").lexically_normal());
    folders.push_back(programFolder);
  }
  folders.insert(folders.end(), extra.begin(), extra.end());
  return folders;
}

std::optional<fs::path> DataFiles::Find(std::string_view name, const std::vector<fs::path>& folders) {
  for (const fs::path& folder : folders) {
    const fs::path candidate = folder / name;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

fs::path DataFiles::Locate(std::string_view name, const std::vector<fs::path>& extra) {
  const std::vector<fs::path> folders = Folders(ProgramFolder(), extra);
  if (auto found = Find(name, folders)) return *found;
  return folders.empty() ? fs::path(name) : folders.front() / name;
}

}  // namespace templates
