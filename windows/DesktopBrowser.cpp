#include "windows/DesktopBrowser.h"

#include <QDesktopServices>
#include <QTimer>
#include <cerrno>
#include <string>

#if defined(__linux__)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "xlsx/isolate/HelperProgram.h"
#endif

namespace levelbook {

#if defined(__linux__)

namespace {

// xdg-open with the page as its one argument, its output discarded; 0 when it started, else
// the error of posix_spawnp (ENOENT: not installed).
int SpawnOpener(const std::string& url, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  // Its own process group: the browser it may start does not end with this program's terminal.
  spreadsheet::HelperProgram::InitDefaultSignals(attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  char program[] = "xdg-open";
  char* argv[] = {program, const_cast<char*>(url.c_str()), nullptr};
  const int err = ::posix_spawnp(&pid, program, &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return err;
}

}  // namespace

void DesktopBrowser::Open(const QUrl& url, QObject* context, std::function<void()> failed) {
  pid_t pid = 0;
  const int err = SpawnOpener(url.toString(QUrl::FullyEncoded).toStdString(), pid);
  if (err == ENOENT) {
    if (!QDesktopServices::openUrl(url)) failed();
    return;
  }
  if (err != 0) {
    failed();
    return;
  }
  // The opener is reaped when it ends; a browser it runs in the foreground keeps it alive, and
  // its status then is the browser's.
  auto* timer = new QTimer(context);
  timer->setInterval(kPollMilliseconds);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, pid, failed = std::move(failed)] {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == 0) return;
    timer->stop();
    timer->deleteLater();
    if (ended < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) failed();
  });
  timer->start();
}

#else

void DesktopBrowser::Open(const QUrl& url, QObject*, std::function<void()> failed) {
  if (!QDesktopServices::openUrl(url)) failed();
}

#endif

}  // namespace levelbook
