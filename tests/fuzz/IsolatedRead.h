#pragma once

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxImporter.h"
#include "tests/fuzz/XlsxRoundTrip.h"

#if defined(__SANITIZE_ADDRESS__)
#define LEVELBOOK_FUZZ_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEVELBOOK_FUZZ_SANITIZED 1
#endif
#endif
#ifdef LEVELBOOK_FUZZ_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace levelbook::fuzz {

// The child's exit status after a sanitizer report.
inline constexpr int kSanitizerExit = 86;

// The read in the child of the isolated import. The fuzzing engine's crash handlers came along
// with the fork; in the child an abort must be the plain signal the parent turns into an
// error, as in the program, while a sanitizer report ends the child with kSanitizerExit.
inline spreadsheet::Workbook ReadInChild(const std::string& path) {
  for (const int s : {SIGABRT, SIGILL, SIGINT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2, SIGXFSZ}) std::signal(s, SIG_DFL);
#ifdef LEVELBOOK_FUZZ_SANITIZED
  __sanitizer_set_death_callback([] { ::_exit(kSanitizerExit); });
#endif
  return spreadsheet::XlsxImporter::LoadInProcess(path);
}

// A file as the program opens it: the isolated import gives a workbook that saves and reads
// back, or SpreadsheetError 1004 naming the file, within the time limit; a sanitizer report in
// the child counts as a crash. Hangs, floods and crashes of a read are what the isolation is for.
inline void CheckIsolatedLoad(const std::string& path, const std::string& savePath) {
  spreadsheet::XlsxImporter::Limits limits;
  limits.time = std::chrono::milliseconds(5000);
  const auto start = std::chrono::steady_clock::now();
  try {
    const spreadsheet::Workbook wb = spreadsheet::XlsxImporter::Load(path, limits, ReadInChild);
    CheckLoadedWorkbook(wb, savePath);
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(e.Description().find("退出码 " + std::to_string(kSanitizerExit)) == std::string::npos,
            "sanitizer report in the reading child", e.Description());
    Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "error number 1004", e.Description());
    Require(e.Description().find(path) != std::string::npos, "the error names the file", e.Description());
  }
  Require(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(8000), "the time limit holds");
}

}  // namespace levelbook::fuzz
