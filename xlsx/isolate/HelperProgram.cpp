#include "xlsx/isolate/HelperProgram.h"

#include <signal.h>
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

void HelperProgram::InitDefaultSignals(posix_spawnattr_t& attributes, short moreFlags) {
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | moreFlags));
}

}  // namespace spreadsheet
