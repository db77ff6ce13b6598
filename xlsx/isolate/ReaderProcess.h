#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "workbook/Workbook.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {

// Reading a workbook file in a process of its own: the reader program (levelbook-read) is
// started with posix_spawn, given the file's bytes (a sealed memory file) and nothing else,
// and answers on its standard output. Its limits (address space, CPU time, no files written)
// it sets in itself; this side keeps the wall-clock limit and kills a reader that outlasts it,
// whatever state the reader is in (stopped included). Each read has its own process and pipe,
// opened close-on-exec, so readers of a batch share nothing.
//
// A reader may be started ahead of need (an object of this class): it loads its libraries and
// waits on a socket (its standard input) for its file, which Hand passes as a descriptor with
// the cells to leave out. A reader whose caller goes away before handing it a file ends by
// itself; one never handed a file is killed and waited for when the object goes.
class ReaderProcess {
 public:
  static constexpr const char* kProgram = "levelbook-read";  // found by HelperProgram::Locate

  struct Limits {
    std::chrono::milliseconds time{10000};
    std::size_t memoryBytes = std::size_t{1} << 30;  // address space the reader may add to its own
  };

  // Starts `program` (a path), which then waits for its file. Does not throw: a reader that
  // cannot be started is reported by Answer, for the file it was to read.
  ReaderProcess(const std::string& program, const Limits& limits);
  ReaderProcess(ReaderProcess&& other) noexcept;
  ReaderProcess& operator=(ReaderProcess&& other) noexcept;
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;
  ~ReaderProcess();

  // The reader's process id; 0 when it could not be started or has been waited for.
  pid_t Pid() const { return pid_; }

  // Gives the reader `bytes` (the caller keeps them) and the cells it need not read; the time
  // limit counts from here. Once per object. Throws SpreadsheetError 1004 naming `path` only
  // when the bytes cannot be put in a memory file; a reader that cannot take them is reported
  // by Answer.
  void Hand(const std::string& path, const std::string& bytes, const XlsxReader::LeftOut& leftOut = {});
  // The workbook the reader made (without the package's bytes), after Hand. Throws
  // SpreadsheetError 1004 naming `path` for a reader that could not be started, ended before it
  // took its file, fails, crashes, is killed or outlasts the time limit; a numbered error the
  // reader reports (other than 1004) passes through as it came. The reader is waited for.
  Workbook Answer(const std::string& path);

  // A reader started for this file alone, given it on its standard input: Hand and Answer at once.
  static Workbook Read(const std::string& path, const std::string& bytes, const Limits& limits,
                       const std::string& program, const XlsxReader::LeftOut& leftOut = {});

  // The reader's side: its file taken from the socket on standard input (when started ahead)
  // or the standard input itself (with `leftOut` from its command line), parsed, the answer
  // written to standard output. Returns the exit status.
  static int Serve(const Limits& limits, const XlsxReader::LeftOut& leftOut = {});

 private:
  // Starts `program` with `input` as its standard input; `leftOut` on its command line.
  ReaderProcess(const std::string& program, const Limits& limits, int input, const XlsxReader::LeftOut& leftOut);
  void Start(const std::string& program, int input, const XlsxReader::LeftOut& leftOut);
  void Close();

  std::string program_;
  Limits limits_;
  pid_t pid_ = 0;
  int startError_ = 0;   // errno of a failed start
  int request_ = -1;     // the socket the file goes to (a reader started ahead)
  int answer_ = -1;      // the pipe the answer comes from
  bool handOver_ = true;  // false: the reader ended before it took its file
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace spreadsheet
