#include "xlsx/isolate/HelperProgram.h"

#include <unistd.h>

#include <filesystem>

namespace spreadsheet {

std::string HelperProgram::Locate(std::string_view name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path dir = self.parent_path();
  for (const fs::path& candidate : {dir / name, dir / ".." / "libexec" / "levelbook" / name}) {
    if (::access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, ec)) {
      return candidate.lexically_normal().string();
    }
  }
  return {};
}

}  // namespace spreadsheet
