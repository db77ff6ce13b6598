#include "xlsx/XlsxExporter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>

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
// signal handler: a handler can reach nothing but process-wide storage, and may allocate
// nothing. Each save takes a slot from a list that only grows (never freed, so a handler on
// another thread never reads freed memory), as many slots as saves were ever in flight at once.
// The first save to start installs the handler and ignores SIGXFSZ, the last to end restores
// what was there. A signal that was ignored stays ignored (a program that ignores SIGPIPE
// gets EPIPE and goes on).
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
constexpr std::size_t kNameBytes = PATH_MAX;

struct Slot {
  std::atomic<bool> taken{false};
  std::atomic<bool> named{false};  // `name` holds a temporary file to remove
  char name[kNameBytes] = {};
  Slot* next = nullptr;  // set before the slot is published, never changed after
};
std::atomic<Slot*> gSlots{nullptr};
struct sigaction gPrevious[kSignalCount];
struct sigaction gPreviousXfsz;
int gActiveSaves = 0;  // guarded by gRegistry
std::mutex gRegistry;

void RemoveTempsAndDie(int sig) {
  for (Slot* s = gSlots.load(std::memory_order_acquire); s; s = s->next) {
    if (s->named.load(std::memory_order_acquire)) ::unlink(s->name);
  }
  for (int i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] == sig) ::sigaction(sig, &gPrevious[i], nullptr);
  }
  ::raise(sig);
}

Slot* TakeSlot() {
  for (Slot* s = gSlots.load(std::memory_order_acquire); s; s = s->next) {
    bool free = false;
    if (s->taken.compare_exchange_strong(free, true)) return s;
  }
  auto* s = new Slot;  // kept for the process's life: a handler may be reading the list
  s->taken.store(true);
  Slot* head = gSlots.load(std::memory_order_acquire);
  do {
    s->next = head;
  } while (!gSlots.compare_exchange_weak(head, s, std::memory_order_release, std::memory_order_acquire));
  return s;
}

// The longest name the folder accepts.
std::size_t NameMax(const fs::path& dir) {
  const long max = ::pathconf(dir.c_str(), _PC_NAME_MAX);
  return max > 0 ? static_cast<std::size_t>(max) : 255;
}

// The temporary file's name: ".NAME.levelbook-save-XXXXXX", NAME shortened (at a character's
// start) so that the whole fits where the target's name fits.
std::string TempPattern(const fs::path& dir, const std::string& name) {
  constexpr std::string_view kSuffix = ".levelbook-save-XXXXXX";
  const std::size_t max = NameMax(dir);
  std::size_t keep = std::min(name.size(), max > kSuffix.size() + 1 ? max - kSuffix.size() - 1 : 0);
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return (dir / ("." + name.substr(0, keep) + std::string(kSuffix))).string();
}

// The temporary file beside the target, removed again unless kept; while it exists the ending
// signals remove it first and SIGXFSZ is ignored, so a size limit ends in EFBIG.
class TempFile {
 public:
  TempFile(const fs::path& dir, const std::string& name, const std::string& path, mode_t mode) {
    std::string pattern = TempPattern(dir, name);
    if (pattern.size() >= kNameBytes) Fail(path, "路径过长");
    {
      const std::lock_guard<std::mutex> lock(gRegistry);
      if (gActiveSaves++ == 0) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &gPreviousXfsz);
        struct sigaction remove {};
        remove.sa_handler = RemoveTempsAndDie;
        sigemptyset(&remove.sa_mask);
        for (int i = 0; i < kSignalCount; ++i) {
          ::sigaction(kSignals[i], nullptr, &gPrevious[i]);
          if (gPrevious[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &remove, nullptr);
        }
      }
    }
    slot_ = TakeSlot();
    // The ending signals wait while the name is made and noted, so none is left unnoted.
    sigset_t block, old;
    sigemptyset(&block);
    for (int s : kSignals) sigaddset(&block, s);
    ::pthread_sigmask(SIG_BLOCK, &block, &old);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    const int err = errno;
    if (fd >= 0) {
      std::memcpy(slot_->name, pattern.c_str(), pattern.size() + 1);
      slot_->named.store(true, std::memory_order_release);
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
    if (slot_) slot_->named.store(false, std::memory_order_release);
  }
  void Release() {
    Forget();
    if (slot_) slot_->taken.store(false, std::memory_order_release);
    slot_ = nullptr;
    const std::lock_guard<std::mutex> lock(gRegistry);
    if (--gActiveSaves == 0) {
      for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
      ::sigaction(SIGXFSZ, &gPreviousXfsz, nullptr);
    }
  }

  std::string name_;
  Slot* slot_ = nullptr;
};

// Where a save to `path` lands: the path itself, or for a symbolic link (dangling included) the
// file it names, followed link by link (at most 40, as the system does).
fs::path WriteThrough(const std::string& path) {
  fs::path target(path);
  std::error_code ec;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(target, ec)); ++hops) {
    if (hops == 40) Fail(path, "符号链接层数过多");
    const fs::path next = fs::read_symlink(target, ec);
    if (ec) Fail(path, "无法解析符号链接（" + ec.message() + "）");
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

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
  // A symbolic link is written through: the file it names is replaced (or made), the link stays.
  const fs::path target = WriteThrough(path);
  std::error_code ec;
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
    PackageWriter::Write(wb, written.Name(), PackageWriter::KindOf(path));
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
