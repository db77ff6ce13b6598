#pragma once
// Running LibreOffice (headless) from a test: finding it, running it with a time limit in its
// own process group, reading the CSV it writes (which carries every cell's text as shown).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace spreadsheet::office {

// A conversion of three small files takes a few seconds; a minute means the office hangs.
inline constexpr std::chrono::seconds kOfficeLimit{60};

// The CSV filter that writes each cell's text as shown, UTF-8, comma-separated, every sheet.
inline constexpr const char* kShownCsv = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1";

inline std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// Runs a program in its own process group with stdout and stderr into `log` and the numbers
// and texts of the C locale (LibreOffice would otherwise show "1,486" under a German one).
// Returns its exit status, or -1 when it outlived `limit` and its whole group was killed.
inline int RunProgram(const std::vector<std::string>& args, const std::string& log, std::chrono::seconds limit) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("LC_", 0) != 0 && entry.rfind("LANG", 0) != 0) env.push_back(entry);
  }
  env.push_back("LC_ALL=C.UTF-8");
  std::vector<char*> argv, envp;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  argv.push_back(nullptr);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &files, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  if (spawned != 0) return -1;

  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(-pid, SIGKILL);  // anything the office left running in the group
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// RFC 4180 fields: quoted fields may hold commas, doubled quotes and line breaks.
inline std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (quoted) {
      if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (ch == '"') {
        quoted = false;
      } else {
        field += ch;
      }
    } else if (ch == '"') {
      quoted = true;
    } else if (ch == ',') {
      rows.back().push_back(std::move(field));
      field.clear();
    } else if (ch == '\n') {
      rows.back().push_back(std::move(field));
      field.clear();
      rows.emplace_back();
    } else if (ch != '\r') {
      field += ch;
    }
  }
  if (rows.back().empty() && field.empty()) {
    rows.pop_back();
  } else {
    rows.back().push_back(std::move(field));
  }
  return rows;
}

}  // namespace spreadsheet::office
