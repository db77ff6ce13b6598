#include "xlsx/XlsxExporter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "workbook/SpreadsheetError.h"
#include "xlsx/write/PackageWriter.h"

namespace spreadsheet {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法保存文件“" + path + "”：" + what);
}

mode_t NewFileMode(const fs::path& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  // No previous file: what the process umask grants, read without changing it.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

// The temporary files of the saves in progress (a batch saves on several threads), for the
// signal handler: a handler can reach nothing but such process-wide storage. The first save
// to start installs the handler and ignores SIGXFSZ, the last to end restores what was there.
constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kSlots = 64;
char gTempNames[kSlots][4096];
struct sigaction gPrevious[3];
struct sigaction gPreviousXfsz;
int gActiveSaves = 0;  // guarded by gRegistry
std::mutex gRegistry;

void RemoveTempsAndDie(int sig) {
  for (auto& name : gTempNames) {
    if (name[0]) ::unlink(name);
  }
  for (int i = 0; i < 3; ++i) {
    if (kSignals[i] == sig) ::sigaction(sig, &gPrevious[i], nullptr);
  }
  ::raise(sig);
}

// The temporary file beside the target, removed again unless kept; while it exists the three
// ending signals remove it first and SIGXFSZ is ignored, so a size limit ends in EFBIG.
class TempFile {
 public:
  TempFile(const fs::path& dir, const std::string& stem, const std::string& path, mode_t mode) {
    std::string pattern = (dir / ("." + stem + ".levelbook-save-XXXXXX")).string();
    if (pattern.size() >= sizeof gTempNames[0]) Fail(path, "路径过长");
    {
      const std::lock_guard<std::mutex> lock(gRegistry);
      if (gActiveSaves++ == 0) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &gPreviousXfsz);
        struct sigaction remove {};
        remove.sa_handler = RemoveTempsAndDie;
        sigemptyset(&remove.sa_mask);
        for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &remove, &gPrevious[i]);
      }
    }
    // The ending signals wait while the name is made and noted, so none is left unnoted.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    ::pthread_sigmask(SIG_BLOCK, &block, &old);
    const int fd = ::mkstemp(pattern.data());
    const int err = errno;
    if (fd >= 0) {
      const std::lock_guard<std::mutex> lock(gRegistry);
      for (int i = 0; i < kSlots && slot_ < 0; ++i) {
        if (!gTempNames[i][0]) {
          std::memcpy(gTempNames[i], pattern.c_str(), pattern.size() + 1);
          slot_ = i;
        }
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) {
      Release();
      Fail(path, std::string("无法在文件夹中创建临时文件（") + std::strerror(err) + "）");
    }
    ::fchmod(fd, mode);
    ::close(fd);
    name_ = pattern;
  }
  ~TempFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
    Release();
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Name() const { return name_; }
  void Keep() {
    Forget();
    name_.clear();
  }

 private:
  void Forget() {
    const std::lock_guard<std::mutex> lock(gRegistry);
    if (slot_ >= 0) gTempNames[slot_][0] = '\0';
    slot_ = -1;
  }
  void Release() {
    Forget();
    const std::lock_guard<std::mutex> lock(gRegistry);
    if (--gActiveSaves == 0) {
      for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
      ::sigaction(SIGXFSZ, &gPreviousXfsz, nullptr);
    }
  }

  std::string name_;
  int slot_ = -1;
};

void SyncFile(const std::string& name, const std::string& path) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    Fail(path, std::string("写入磁盘失败（") + std::strerror(err) + "）");
  }
  ::close(fd);
}

}  // namespace

void XlsxExporter::Save(const Workbook& wb, const std::string& path) {
  fs::path target(path);
  std::error_code ec;
  // A symbolic link is written through: the file it names is replaced, the link stays.
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    target = fs::weakly_canonical(target, ec);
    if (ec) Fail(path, "无法解析符号链接（" + ec.message() + "）");
  }
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) Fail(path, "目标是一个文件夹");
    if (!S_ISREG(st.st_mode)) Fail(path, "目标不是普通文件（而是设备、管道或套接字），不能保存到这里");
  }
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(dir, ec)) {
    Fail(path, fs::exists(dir, ec) ? "“" + dir.string() + "”不是文件夹" : "文件夹“" + dir.string() + "”不存在");
  }
  if (wb.SheetCount() == 0) Fail(path, "工作簿中没有工作表");

  TempFile written(dir, target.filename().string(), path, NewFileMode(target));
  try {
    PackageWriter::Write(wb, written.Name());
  } catch (const SpreadsheetError& e) {
    Fail(path, e.Description());
  } catch (const std::bad_alloc&) {
    Fail(path, "内存不足");
  }
  SyncFile(written.Name(), path);
  if (::rename(written.Name().c_str(), target.c_str()) != 0) {
    Fail(path, std::string("无法替换原文件（") + std::strerror(errno) + "）");
  }
  written.Keep();
}

}  // namespace spreadsheet
