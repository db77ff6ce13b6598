#pragma once

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxImporter.h"
#include "tests/fuzz/XlsxRoundTrip.h"

namespace levelbook::fuzz {

// The reader program's exit status after a sanitizer report.
inline constexpr int kSanitizerExit = 86;

// The reader program is started with this process's environment: a sanitizer report in it ends
// it with kSanitizerExit, told apart from the exit of a reader that merely failed.
inline void MarkSanitizerExits() {
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
    const char* had = std::getenv(name);
    std::string options = had ? std::string(had) + ":" : std::string();
    options += "exitcode=" + std::to_string(kSanitizerExit);
    ::setenv(name, options.c_str(), 1);
  }
}

// A file as the program opens it: the isolated import gives a workbook that saves and reads
// back, or SpreadsheetError 1004 naming the file, within the time limit; a sanitizer report in
// the reader program counts as a crash. Hangs, floods and crashes of a read are what the
// isolation is for.
inline void CheckIsolatedLoad(const std::string& path, const std::string& savePath) {
  spreadsheet::XlsxImporter::Limits limits;
  limits.time = std::chrono::milliseconds(5000);
  const auto start = std::chrono::steady_clock::now();
  try {
    static const bool marked = (MarkSanitizerExits(), true);
    (void)marked;
    const spreadsheet::Workbook wb = spreadsheet::XlsxImporter::Load(path, limits);
    CheckLoadedWorkbook(wb, savePath);
  } catch (const spreadsheet::SpreadsheetError& e) {
    Require(e.Description().find("退出码 " + std::to_string(kSanitizerExit)) == std::string::npos,
            "sanitizer report in the reader program", e.Description());
    Require(e.Number() == spreadsheet::SpreadsheetError::kApplicationDefined, "error number 1004", e.Description());
    Require(e.Description().find(path) != std::string::npos, "the error names the file", e.Description());
  }
  Require(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(8000), "the time limit holds");
}

}  // namespace levelbook::fuzz
