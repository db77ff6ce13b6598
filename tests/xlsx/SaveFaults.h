#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <utility>

// Faults of the file system for save tests, each undone when the call returns.
namespace savefaults {

// Runs `action` unable to write into `folder`: the folder becomes read-only, and when the
// tests run as root (who writes anywhere) the action runs with the effective user nobody.
// The folders above must be searchable by nobody (mode 0755). Returns false when the
// privileges cannot be dropped.
template <typename Action>
bool InReadOnlyFolder(const QString& folder, Action&& action) {
  const QByteArray path = QFile::encodeName(folder);
  if (::chmod(path.constData(), 0555) != 0) return false;
  const bool root = ::geteuid() == 0;
  if (root && ::seteuid(65534) != 0) {
    ::chmod(path.constData(), 0755);
    return false;
  }
  std::forward<Action>(action)();
  if (root && ::seteuid(0) != 0) return false;
  ::chmod(path.constData(), 0755);
  return true;
}

// Runs `action` while no file may grow beyond `bytes`; a write beyond it fails with EFBIG
// instead of raising SIGXFSZ.
template <typename Action>
void WithFileSizeLimit(rlim_t bytes, Action&& action) {
  rlimit previous{};
  ::getrlimit(RLIMIT_FSIZE, &previous);
  struct sigaction ignore {}, old {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &old);
  rlimit limited = previous;
  limited.rlim_cur = bytes;
  ::setrlimit(RLIMIT_FSIZE, &limited);
  std::forward<Action>(action)();
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::sigaction(SIGXFSZ, &old, nullptr);
}

inline QByteArray Digest(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// Every entry of the folder, hidden ones (temporary files of a save) included.
inline QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                QDir::Name);
}

}  // namespace savefaults
