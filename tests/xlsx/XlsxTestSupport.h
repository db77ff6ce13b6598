#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace spreadsheet::testing {

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "levelbook-xlsx-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Runs a script under Debian's python3 (the one that has openpyxl); returns its stdout.
// Throws when the script fails, with its output in the message.
// A path as a Python string literal (the temporary folders' paths hold no quote or backslash).
inline std::string PythonString(const std::string& path) { return "'" + path + "'"; }

inline std::string RunPython(const std::string& script, const TempDir& dir) {
  const std::string file = dir.File("script.py");
  std::ofstream(file) << script;
  const std::string command = "/usr/bin/python3 '" + file + "' 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("popen failed");
  std::string out;
  std::array<char, 4096> buf;
  std::size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  const int status = ::pclose(pipe);
  if (status != 0) throw std::runtime_error("python failed: " + out);
  return out;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace spreadsheet::testing
