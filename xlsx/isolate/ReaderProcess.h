#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "workbook/Workbook.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {

// Reading a workbook file in a process of its own: the reader program (levelbook-read) is
// started with posix_spawn, given the file's bytes on its standard input (a sealed memory file)
// and nothing else, and answers on its standard output. Its limits (address space, CPU time,
// no files written) it sets in itself; this side keeps the wall-clock limit and kills a reader
// that outlasts it, whatever state the reader is in (stopped included). Each read has its own
// process and pipe, opened close-on-exec, so readers of a batch share nothing.
class ReaderProcess {
 public:
  static constexpr const char* kProgram = "levelbook-read";

  struct Limits {
    std::chrono::milliseconds time{10000};
    std::size_t memoryBytes = std::size_t{1} << 30;  // address space the reader may add to its own
  };

  // The reader program beside the running executable, else in ../libexec/levelbook from it;
  // "" when neither exists.
  static std::string Locate();
  // The workbook the reader made of `bytes` (without the package's bytes: the caller keeps
  // them), read by `program` (a path). Throws SpreadsheetError 1004 naming `path` for a reader
  // that cannot be started, fails, crashes, is killed or outlasts the time limit; a numbered
  // error the reader reports (other than 1004) passes through as it came.
  // `leftOut`: cells whose contents the reader does not read (XlsxReader::LeftOut).
  static Workbook Read(const std::string& path, const std::string& bytes, const Limits& limits,
                       const std::string& program, const XlsxReader::LeftOut& leftOut = {});

  // The reader's side: the standard input read whole, parsed, the answer written to standard
  // output. Returns the exit status.
  static int Serve(const Limits& limits, const XlsxReader::LeftOut& leftOut = {});
};

}  // namespace spreadsheet
