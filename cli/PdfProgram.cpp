#include "cli/PdfProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "xlsx/isolate/HelperProgram.h"

extern char** environ;

namespace cli {

std::string PdfProgram::Write(const std::string& book, const std::string& pdf) {
  const std::string failed = "无法写出PDF文件“" + pdf + "”：";
  const std::string program = spreadsheet::HelperProgram::Locate(kProgram);
  if (program.empty()) {
    return failed + "找不到PDF输出程序 " + kProgram + "（应在程序目录或 <程序目录>/../libexec/levelbook/ 中）";
  }
  // Its environment: ours without a display, rendering offscreen.
  std::vector<std::string> variables;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) variables.emplace_back(*e);
  }
  variables.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return failed + std::strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawnattr_t attributes;
  spreadsheet::HelperProgram::InitDefaultSignals(attributes);
  std::string bookArg = book, pdfArg = pdf, programArg = program;
  char* const argv[] = {programArg.data(), bookArg.data(), pdfArg.data(), nullptr};
  pid_t pid = 0;
  const int err = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (err != 0) {
    ::close(fds[0]);
    return failed + "无法启动 " + program + "（" + std::strerror(err) + "）";
  }
  std::string message;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n > 0) {
      message.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  // The program's own last line names what failed; Qt's warnings may stand before it.
  const std::size_t line = message.rfind('\n');
  if (line != std::string::npos) message.erase(0, line + 1);
  if (!message.empty()) return failed + message;
  if (WIFSIGNALED(status)) return failed + kProgram + " 被信号 " + std::to_string(WTERMSIG(status)) + " 终止";
  return failed + kProgram + " 失败（退出状态 " + std::to_string(WEXITSTATUS(status)) + "）";
}

}  // namespace cli
