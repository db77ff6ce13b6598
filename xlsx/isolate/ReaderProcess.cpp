#include "xlsx/isolate/ReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "workbook/CellRange.h"
#include "workbook/NumberedError.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/isolate/HelperProgram.h"
#include "xlsx/isolate/WorkbookSerializer.h"
#include "xlsx/read/XlsxReader.h"
#include "xlsx/read/XmlReader.h"

extern char** environ;

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

// The reader's answer: one status byte, then the workbook image ('W') or an error number and
// its description ('E'; for 1004 the description without the file's name, which the reader
// never learns).
constexpr char kWorkbook = 'W';
constexpr char kFailure = 'E';

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SpreadsheetError(kError, "无法打开文件“" + path + "”：" + what);
}

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

void SetLimits(const ReaderProcess::Limits& limits) {
  const rlimit none{0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
  ::setrlimit(RLIMIT_FSIZE, &none);  // the reader writes no file; its answer goes to a pipe
  // CPU time one second beyond the caller's wall-clock limit: a reader spinning alone ends by
  // itself even when its caller is gone.
  const rlim_t seconds = static_cast<rlim_t>(limits.time.count() / 1000 + 1);
  const rlimit cpu{seconds, seconds + 1};
  ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef LEVELBOOK_ASAN
  const rlim_t as = CurrentAddressSpace() + limits.memoryBytes;
  const rlimit mem{as, as};
  ::setrlimit(RLIMIT_AS, &mem);
#endif
}

std::string FailureAnswer(std::int32_t number, const std::string& what) {
  return std::string(1, kFailure) + std::string(reinterpret_cast<const char*>(&number), sizeof number) + what;
}

// A file of the given bytes for the reader: sealed, so that the reader parses exactly the
// bytes the caller keeps.
int MemoryFile(const std::string& path, const std::string& bytes) {
  const int fd = ::memfd_create("levelbook-read", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) Fail(path, std::string("无法创建读取进程的输入（") + std::strerror(errno) + "）");
  if (!WriteAll(fd, bytes.data(), bytes.size()) || ::lseek(fd, 0, SEEK_SET) != 0) {
    const int err = errno;
    ::close(fd);
    Fail(path, std::string("无法创建读取进程的输入（") + std::strerror(err) + "）");
  }
  ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  return fd;
}

// Starts the reader with `input` and `output` as its standard input and output; 0 or the
// error number of posix_spawn.
int Spawn(const std::string& program, int input, int output, const ReaderProcess::Limits& limits,
          const XlsxReader::LeftOut& leftOut, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input, 0);
  posix_spawn_file_actions_adddup2(&actions, output, 1);
  // Standard error stays (a crash report lands where the caller's would); nothing else.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  HelperProgram::InitDefaultSignals(attributes);
  const std::string memory = std::to_string(limits.memoryBytes);
  const std::string time = std::to_string(limits.time.count());
  const std::string area = leftOut.area.ToString();
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(memory.c_str()),
                  const_cast<char*>(time.c_str()), nullptr, nullptr, nullptr};
  if (!leftOut.sheet.empty()) {
    argv[3] = const_cast<char*>(leftOut.sheet.c_str());
    argv[4] = const_cast<char*>(area.c_str());
  }
  const int err = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) pid = 0;
  return err;
}

// The request a reader started ahead takes from its socket: one message of kRequest, then the
// sheet, a NUL and the range of the cells left out (nothing more when none are), carrying the
// file's descriptor.
constexpr char kRequest = 'F';
constexpr std::size_t kMaxRequest = 4096;

// The file's descriptor and the cells left out, from the socket on standard input; -1 when the
// caller went away without handing a file.
int TakeFile(XlsxReader::LeftOut& leftOut) {
  char text[kMaxRequest];
  iovec data{text, sizeof text};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n = 0;
  while ((n = ::recvmsg(0, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
  }
  if (n <= 0) return -1;
  int fd = -1;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len == CMSG_LEN(sizeof(int))) {
      std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
    }
  }
  const std::string_view request(text, static_cast<std::size_t>(n));
  const std::size_t nul = request.find('\0');
  if (fd < 0 || request[0] != kRequest || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 ||
      (request.size() > 1 && (nul == std::string_view::npos || nul == 1))) {
    throw SpreadsheetError(kError, "读取请求无效");
  }
  if (request.size() > 1) {
    leftOut.sheet = std::string(request.substr(1, nul - 1));
    try {
      leftOut.area = CellRange::Parse(request.substr(nul + 1));
    } catch (const NumberedError&) {
      throw SpreadsheetError(kError, "读取请求无效");
    }
  }
  return fd;
}

// What the first read of a process would otherwise do while its caller waits: libxml2 set up
// and the parser's code paged in (about 0.8 ms of a small file's read), done by a reader
// started ahead before it takes its file.
void WarmUp() {
  XmlReader xml(R"(<a xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><b c="1">t</b></a>)", "");
  while (xml.Read()) {
  }
}

}  // namespace

ReaderProcess::ReaderProcess(const std::string& program, const Limits& limits) : program_(program), limits_(limits) {
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
    startError_ = errno;
    return;
  }
  Start(program, sockets[1], {});
  ::close(sockets[1]);
  request_ = sockets[0];
}

ReaderProcess::ReaderProcess(const std::string& program, const Limits& limits, int input,
                             const XlsxReader::LeftOut& leftOut)
    : program_(program), limits_(limits) {
  Start(program, input, leftOut);
}

void ReaderProcess::Start(const std::string& program, int input, const XlsxReader::LeftOut& leftOut) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    startError_ = errno;
    return;
  }
  startError_ = Spawn(program, input, fds[1], limits_, leftOut, pid_);
  ::close(fds[1]);
  if (startError_ != 0) {
    ::close(fds[0]);
    return;
  }
  answer_ = fds[0];
  // A larger pipe lets the reader write ahead while this process takes the image in.
  ::fcntl(answer_, F_SETPIPE_SZ, 1 << 20);
}

ReaderProcess::ReaderProcess(ReaderProcess&& other) noexcept { *this = std::move(other); }

ReaderProcess& ReaderProcess::operator=(ReaderProcess&& other) noexcept {
  if (this != &other) {
    Close();
    program_ = std::move(other.program_);
    limits_ = other.limits_;
    pid_ = std::exchange(other.pid_, 0);
    startError_ = other.startError_;
    request_ = std::exchange(other.request_, -1);
    answer_ = std::exchange(other.answer_, -1);
    handOver_ = other.handOver_;
    deadline_ = other.deadline_;
  }
  return *this;
}

ReaderProcess::~ReaderProcess() { Close(); }

void ReaderProcess::Close() {
  if (request_ >= 0) ::close(std::exchange(request_, -1));
  if (answer_ >= 0) ::close(std::exchange(answer_, -1));
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
  }
}

void ReaderProcess::Hand(const std::string& path, const std::string& bytes, const XlsxReader::LeftOut& leftOut) {
  deadline_ = std::chrono::steady_clock::now() + limits_.time;
  if (pid_ == 0 || request_ < 0) return;
  const int input = MemoryFile(path, bytes);
  std::string text(1, kRequest);
  if (!leftOut.sheet.empty()) text += leftOut.sheet + '\0' + leftOut.area.ToString();
  iovec data{text.data(), text.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&message);
  c->cmsg_level = SOL_SOCKET;
  c->cmsg_type = SCM_RIGHTS;
  c->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(c), &input, sizeof input);
  ssize_t sent = 0;
  while ((sent = ::sendmsg(request_, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
  }
  handOver_ = sent == static_cast<ssize_t>(text.size());
  ::close(input);
  ::close(std::exchange(request_, -1));
}

Workbook ReaderProcess::Answer(const std::string& path) {
  if (startError_ != 0) Fail(path, "无法启动读取程序“" + program_ + "”（" + std::strerror(startError_) + "）");
  std::string data;
  bool timedOut = false;
  while (handOver_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{answer_, POLLIN, 0};
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
    const ssize_t n = ::read(answer_, data.data() + had, piece);
    data.resize(had + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
  }
  ::close(std::exchange(answer_, -1));
  // A reader that did not take its file may live on (one that closed its socket): it is ended
  // as one that outlasts the limit is.
  if (timedOut || !handOver_) ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = 0;

  if (!handOver_) {
    const std::string how = WIFSIGNALED(status) ? "信号 " + std::to_string(WTERMSIG(status))
                                                : "退出码 " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    Fail(path, "读取程序在收到文件之前已经结束（" + how + "）");
  }
  if (timedOut) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(limits_.time.count()) / 1000.0);
    Fail(path, std::string("读取超过 ") + seconds + " 秒仍未完成，已中止；文件可能已损坏");
  }
  if (!data.empty() && data[0] == kFailure && data.size() >= 1 + sizeof(std::int32_t)) {
    std::int32_t number = 0;
    std::memcpy(&number, data.data() + 1, sizeof number);
    std::string what = data.substr(1 + sizeof number);
    if (number == kError) Fail(path, what);
    throw SpreadsheetError(number, std::move(what));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && !data.empty() && data[0] == kWorkbook) {
    try {
      return WorkbookSerializer::Deserialize(std::string_view(data).substr(1));
    } catch (const SpreadsheetError& e) {
      Fail(path, "读取进程传回的数据无效（" + e.Description() + "）");
    }
  }
  if (WIFSIGNALED(status)) {
    if (WTERMSIG(status) == SIGXCPU) Fail(path, "读取所用的处理器时间超过上限，已中止；文件可能已损坏");
    Fail(path, "解析程序在读取时异常终止（信号 " + std::to_string(WTERMSIG(status)) + "），文件已损坏或不是有效的工作簿");
  }
  Fail(path, "读取进程意外结束（退出码 " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "）");
}

Workbook ReaderProcess::Read(const std::string& path, const std::string& bytes, const Limits& limits,
                             const std::string& program, const XlsxReader::LeftOut& leftOut) {
  const int input = MemoryFile(path, bytes);
  ReaderProcess reader(program, limits, input, leftOut);
  ::close(input);
  reader.deadline_ = std::chrono::steady_clock::now() + limits.time;
  return reader.Answer(path);
}

int ReaderProcess::Serve(const Limits& limits, const XlsxReader::LeftOut& given) {
  SetLimits(limits);
  // The image goes into the pipe as it is made, and the reader ends without taking its
  // workbook apart: the process's end frees it all at once.
  std::string answer;
  try {
    XlsxReader::LeftOut leftOut = given;
    int input = 0;
    struct stat st {};
    if (::fstat(0, &st) == 0 && S_ISSOCK(st.st_mode)) {
      WarmUp();
      input = TakeFile(leftOut);
      if (input < 0) return 0;
    }
    auto bytes = std::make_shared<std::string>();
    if (::fstat(input, &st) == 0 && S_ISREG(st.st_mode)) {
      if (static_cast<std::uint64_t>(st.st_size) > limits.memoryBytes) throw std::bad_alloc();
      bytes->reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(input, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw SpreadsheetError(kError, std::string("读取文件时出错（") + std::strerror(errno) + "）");
      if (n == 0) break;
      bytes->append(buffer, static_cast<std::size_t>(n));
    }
    Workbook wb = XlsxReader::Read(std::move(bytes), leftOut);
    bool ok = WriteAll(1, &kWorkbook, 1);
    WorkbookSerializer::Serialize(wb, [&](std::string_view piece) {
      if (ok) ok = WriteAll(1, piece.data(), piece.size());
    });
    ::_exit(ok ? 0 : 1);
  } catch (const SpreadsheetError& e) {
    answer = FailureAnswer(e.Number(), e.Description());
  } catch (const std::bad_alloc&) {
    answer = FailureAnswer(kError, "读取所需的内存超过上限，文件可能已损坏");
  } catch (const std::exception& e) {
    answer = FailureAnswer(kError, std::string("读取失败（") + e.what() + "）");
  }
  return WriteAll(1, answer.data(), answer.size()) ? 0 : 1;
}

}  // namespace spreadsheet
