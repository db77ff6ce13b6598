#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "workbook/Workbook.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {

class ReaderSupply;

// Reads .xlsx, .xlsm, .xltx and .xltm workbooks (chosen by the file's extension) with XlsxReader; the
// workbook keeps the file's bytes for a save that writes back what it does not model. Every
// failure throws SpreadsheetError 1004 naming the file and what is wrong with it (see
// XlsxReader), a file larger than the memory limit included.
class XlsxImporter {
 public:
  struct Limits {
    std::chrono::milliseconds time{10000};
    std::size_t memoryBytes = std::size_t{1} << 30;  // address space the read may add
    // The reader program; "" for levelbook-read beside this executable or in
    // ../libexec/levelbook (HelperProgram::Locate).
    std::string reader;
    // Cells whose values and formulas are not read (their formats are): for a caller that
    // clears their contents right away. The package's bytes are kept whole all the same.
    XlsxReader::LeftOut leftOut;
    // Readers started ahead (not owned): when given, the read takes one of them, and their
    // program and limits stand for `reader`, `time` and `memoryBytes`.
    ReaderSupply* readers = nullptr;
  };

  // For any file a user names: the parser runs in the reader program, a process of its own
  // started for this file alone within the limits, so a hostile file that crashes, hangs or
  // floods the parser ends in an error, not in our end (nor in another file's read).
  static Workbook Load(const std::string& path);
  static Workbook Load(const std::string& path, const Limits& limits);
  // Formula results are settled after reading (FormulaResults::Settle): missing or stale ones
  // computed.
  // The same read in this process, results as the file stored them: only for files this
  // program wrote itself (which store every result it could compute).
  static Workbook LoadInProcess(const std::string& path);
};

}  // namespace spreadsheet
