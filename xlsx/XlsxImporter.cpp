#include "xlsx/XlsxImporter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>

#include "workbook/SpreadsheetError.h"
#include "xlsx/FormulaResults.h"
#include "xlsx/WorkbookSerializer.h"
#include "xlsx/XlsxReader.h"

#if defined(__SANITIZE_ADDRESS__)
#define LEVELBOOK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEVELBOOK_ASAN 1
#endif
#endif

namespace spreadsheet {

namespace {

constexpr int kError = SpreadsheetError::kApplicationDefined;

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SpreadsheetError(kError, "无法打开文件“" + path + "”：" + what);
}

void CheckReadable(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) Fail(path, "文件不存在");
  if (std::filesystem::is_directory(status)) Fail(path, "这是一个文件夹，不是工作簿文件");
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != ".xlsx" && ext != ".xltx" && ext != ".xlsm") {
    Fail(path, "不支持扩展名为“" + ext + "”的文件，只能打开 .xlsx、.xltx 和 .xlsm 工作簿");
  }
}

// The child's answer on the pipe: one status byte, then the workbook image ('W') or an
// error number and description ('E').
constexpr char kWorkbook = 'W';
constexpr char kFailure = 'E';

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

#ifndef LEVELBOOK_ASAN
// AddressSanitizer reserves terabytes of shadow address space, so no RLIMIT_AS fits under it.
std::size_t CurrentAddressSpace() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long pages = 0;
  const int got = std::fscanf(f, "%lu", &pages);
  std::fclose(f);
  return got == 1 ? pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}
#endif

[[noreturn]] void RunChild(int fd, const std::string& path, const XlsxImporter::Limits& limits,
                           const XlsxImporter::Reader& read) {
  rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
#ifndef LEVELBOOK_ASAN
  // The child starts as a copy of the parent, so the limit is on what the read adds.
  const rlim_t as = CurrentAddressSpace() + limits.memoryBytes;
  rlimit mem{as, as};
  ::setrlimit(RLIMIT_AS, &mem);
#else
  (void)limits;
#endif
  // The image goes into the pipe as it is made, and the child ends without taking its workbook
  // apart: the process's end frees it all at once.
  bool ok = true;
  std::string answer;
  try {
    Workbook wb = read(path);
    ok = WriteAll(fd, &kWorkbook, 1);
    WorkbookSerializer::Serialize(wb, [&](std::string_view piece) {
      if (ok) ok = WriteAll(fd, piece.data(), piece.size());
    });
    ::_exit(ok ? 0 : 1);
  } catch (const SpreadsheetError& e) {
    const std::int32_t number = e.Number();
    answer = std::string(1, kFailure) + std::string(reinterpret_cast<const char*>(&number), sizeof number) +
             e.Description();
  } catch (const std::bad_alloc&) {
    const std::int32_t number = kError;
    answer = std::string(1, kFailure) + std::string(reinterpret_cast<const char*>(&number), sizeof number) +
             "无法打开文件“" + path + "”：读取所需的内存超过上限，文件可能已损坏";
  } catch (const std::exception& e) {
    const std::int32_t number = kError;
    answer = std::string(1, kFailure) + std::string(reinterpret_cast<const char*>(&number), sizeof number) +
             "无法打开文件“" + path + "”：读取失败（" + e.what() + "）";
  }
  ok = WriteAll(fd, answer.data(), answer.size());
  ::close(fd);
  ::_exit(ok ? 0 : 1);
}

// The whole file, read once: the reading child parses these very bytes, and the workbook
// keeps them for a save that writes back every part it does not model.
std::shared_ptr<const std::string> ReadBytes(const std::string& path, std::size_t limit) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) Fail(path, std::string("无法读取文件（") + std::strerror(errno) + "）");
  auto bytes = std::make_shared<std::string>();
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (bytes->size() + n > limit) {
      std::fclose(f);
      Fail(path, "文件过大，超过了读取的内存上限");
    }
    bytes->append(buffer, n);
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) Fail(path, "读取文件时出错");
  return bytes;
}

Workbook ReadPackage(const std::string& path, std::shared_ptr<const std::string> bytes) {
  try {
    return XlsxReader::Read(std::move(bytes));
  } catch (const SpreadsheetError& e) {
    Fail(path, e.Description());
  } catch (const std::bad_alloc&) {
    Fail(path, "读取所需的内存超过上限，文件可能已损坏");
  }
}

}  // namespace

Workbook XlsxImporter::LoadInProcess(const std::string& path) {
  CheckReadable(path);
  return ReadPackage(path, ReadBytes(path, Limits{}.memoryBytes));
}

Workbook XlsxImporter::Load(const std::string& path) { return Load(path, Limits{}); }

Workbook XlsxImporter::Load(const std::string& path, const Limits& limits) {
  CheckReadable(path);
  const auto bytes = ReadBytes(path, limits.memoryBytes);
  // Formula results are made true in the reading child, so every user of a file a user names
  // (the generator, the window) sees computed values, and a formula that crashes or floods the
  // calculation ends there too.
  Workbook wb = Load(path, limits, [&](const std::string&) {
    Workbook read = ReadPackage(path, bytes);
    try {
      FormulaResults::Settle(read);
    } catch (const std::bad_alloc&) {
      Fail(path, "计算公式所需的内存超过上限");
    }
    return read;
  });
  // The image from the child carries everything but the package itself.
  if (const PackageOrigin* origin = wb.Origin()) {
    PackageOrigin kept = *origin;
    kept.bytes = bytes;
    wb.SetOrigin(std::move(kept));
  }
  return wb;
}

Workbook XlsxImporter::Load(const std::string& path, const Limits& limits, const Reader& read) {
  CheckReadable(path);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) Fail(path, std::string("无法创建读取进程（") + std::strerror(errno) + "）");
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int err = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    Fail(path, std::string("无法创建读取进程（") + std::strerror(err) + "）");
  }
  if (pid == 0) {
    ::close(fds[0]);
    RunChild(fds[1], path, limits, read);
  }
  ::close(fds[1]);
  // A larger pipe lets the child write ahead while this process takes the image in.
  ::fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);

  std::string data;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      timedOut = true;
      break;
    }
    // Read straight into the image's string, in pieces that grow with it (from 64 KiB, which
    // is all a small workbook needs, to 1 MiB); the string grows by doubling.
    const std::size_t had = data.size();
    const std::size_t piece = std::clamp<std::size_t>(had, std::size_t{1} << 16, std::size_t{1} << 20);
    if (data.capacity() - had < piece) data.reserve(std::max(2 * data.capacity(), had + piece));
    data.resize(had + piece);
    const ssize_t n = ::read(fds[0], data.data() + had, piece);
    data.resize(had + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
  }
  ::close(fds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  if (timedOut) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(limits.time.count()) / 1000.0);
    Fail(path, std::string("读取超过 ") + seconds + " 秒仍未完成，已中止；文件可能已损坏");
  }
  if (!data.empty() && data[0] == kFailure && data.size() >= 1 + sizeof(std::int32_t)) {
    std::int32_t number = 0;
    std::memcpy(&number, data.data() + 1, sizeof number);
    throw SpreadsheetError(number, data.substr(1 + sizeof number));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && !data.empty() && data[0] == kWorkbook) {
    try {
      return WorkbookSerializer::Deserialize(std::string_view(data).substr(1));
    } catch (const SpreadsheetError& e) {
      Fail(path, "读取进程传回的数据无效（" + e.Description() + "）");
    }
  }
  if (WIFSIGNALED(status)) {
    Fail(path, "解析程序在读取时异常终止（信号 " + std::to_string(WTERMSIG(status)) + "），文件已损坏或不是有效的工作簿");
  }
  Fail(path, "读取进程意外结束（退出码 " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "）");
}

}  // namespace spreadsheet
