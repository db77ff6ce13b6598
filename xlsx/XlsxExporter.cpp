#include "xlsx/XlsxExporter.h"

#include <fcntl.h>
#include <sched.h>
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
//
// The handler runs on one thread while the others go on, so a file must neither be made after
// the handler's pass nor made again by name after it was removed. A save marks its slot
// kCreating before it makes its file and then looks at gEnding; the handler sets gEnding before
// it looks at the slots, waits out any kCreating one and removes each kNamed file (all
// sequentially consistent: either the save sees gEnding and makes nothing, or the handler sees
// its mark). After that the file is only written through its descriptor, never reopened by name.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
constexpr std::size_t kNameBytes = PATH_MAX;

enum SlotState : int { kFree, kTaken, kCreating, kNamed };

struct Slot {
  std::atomic<int> state{kFree};
  char name[kNameBytes] = {};
  Slot* next = nullptr;  // set before the slot is published, never changed after
};
std::atomic<Slot*> gSlots{nullptr};
std::atomic<bool> gEnding{false};  // an ending signal is being handled: no new temporary file
struct sigaction gPrevious[kSignalCount];
struct sigaction gPreviousXfsz;
int gActiveSaves = 0;  // guarded by gRegistry
std::mutex gRegistry;

void RemoveTempsAndDie(int sig) {
  gEnding.store(true);
  for (Slot* s = gSlots.load(); s; s = s->next) {
    int state = s->state.load();
    // A save making its file has the ending signals blocked and does not wait for anything.
    while (state == kCreating) {
      ::sched_yield();
      state = s->state.load();
    }
    if (state == kNamed) ::unlink(s->name);
  }
  for (int i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] == sig) ::sigaction(sig, &gPrevious[i], nullptr);
  }
  ::raise(sig);
}

// A save that fails while an ending signal is handled on another thread (its file removed under
// it, or none made) does not return: its caller might end the process before the handler's
// pass is over (an exception out of a thread, a return from main). It waits for the end the
// handler brings, at most two seconds in case a handler of the program's own lets it go on.
void AwaitEndIfEnding() {
  for (int i = 0; i < 200 && gEnding.load(); ++i) ::usleep(10 * 1000);
}

Slot* TakeSlot() {
  for (Slot* s = gSlots.load(); s; s = s->next) {
    int free = kFree;
    if (s->state.compare_exchange_strong(free, kTaken)) return s;
  }
  auto* s = new Slot;  // kept for the process's life: a handler may be reading the list
  s->state.store(kTaken);
  Slot* head = gSlots.load();
  do {
    s->next = head;
  } while (!gSlots.compare_exchange_weak(head, s));
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
    // The ending signals wait on this thread while the file is made and noted.
    sigset_t block, old;
    sigemptyset(&block);
    for (int sig : kSignals) sigaddset(&block, sig);
    ::pthread_sigmask(SIG_BLOCK, &block, &old);
    slot_->state.store(kCreating);
    int fd = -1;
    int err = EINTR;  // the process is ending
    if (!gEnding.load()) {
      fd = ::mkostemp(pattern.data(), O_CLOEXEC);
      err = errno;
      if (fd >= 0) std::memcpy(slot_->name, pattern.c_str(), pattern.size() + 1);
    }
    slot_->state.store(fd >= 0 ? kNamed : kTaken);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0) {
      Release();
      Fail(path, std::string("无法在文件夹中创建临时文件（") + std::strerror(err) + "）");
    }
    ::fchmod(fd, mode);
    fd_ = fd;
    name_ = pattern;
  }
  ~TempFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
    if (fd_ >= 0) ::close(fd_);
    Release();
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Name() const { return name_; }
  int Descriptor() const { return fd_; }
  void Keep() {
    Forget();
    name_.clear();
  }

 private:
  void Forget() {
    if (slot_) slot_->state.store(kTaken);
  }
  void Release() {
    if (slot_) slot_->state.store(kFree);
    slot_ = nullptr;
    const std::lock_guard<std::mutex> lock(gRegistry);
    if (--gActiveSaves == 0) {
      for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &gPrevious[i], nullptr);
      ::sigaction(SIGXFSZ, &gPreviousXfsz, nullptr);
    }
  }

  std::string name_;
  int fd_ = -1;
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

void SyncFile(int fd, const std::string& path) {
  if (::fsync(fd) != 0) Fail(path, std::string("写入磁盘失败（") + std::strerror(errno) + "）");
}

}  // namespace

void XlsxExporter::Save(const Workbook& wb, const std::string& path) { SaveWith(wb, path, nullptr); }

void XlsxExporter::SaveReleasing(Workbook& wb, const std::string& path) { SaveWith(wb, path, &wb); }

void XlsxExporter::SaveWith(const Workbook& wb, const std::string& path, Workbook* releasing) {
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

  try {
    TempFile written(dir, target.filename().string(), path, NewFileMode(target));
    try {
      if (releasing) {
        PackageWriter::WriteReleasing(*releasing, written.Descriptor(), PackageWriter::KindOf(path));
      } else {
        PackageWriter::Write(wb, written.Descriptor(), PackageWriter::KindOf(path));
      }
    } catch (const SpreadsheetError& e) {
      Fail(path, e.Description());
    } catch (const std::bad_alloc&) {
      Fail(path, "内存不足");
    }
    SyncFile(written.Descriptor(), path);
    if (::rename(written.Name().c_str(), target.c_str()) != 0) {
      Fail(path, std::string("无法替换原文件（") + std::strerror(errno) + "）");
    }
    written.Keep();
  } catch (...) {
    AwaitEndIfEnding();
    throw;
  }
}

}  // namespace spreadsheet
