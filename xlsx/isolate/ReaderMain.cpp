#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "workbook/CellRange.h"
#include "workbook/NumberedError.h"
#include "xlsx/isolate/LargePageHeap.h"
#include "xlsx/isolate/ReaderProcess.h"

// levelbook-read MEMORY-BYTES TIME-MILLISECONDS [SHEET RANGE]: reads the workbook file on
// standard input and writes its image to standard output (see ReaderProcess), leaving out the
// contents of RANGE on SHEET when given. Started by the programs, not by people.
int main(int argc, char** argv) {
  spreadsheet::ReaderProcess::Limits limits;
  if (argc != 3 && argc != 5) return 2;
  unsigned long long memory = 0, millis = 0;
  const std::string_view m(argv[1]), t(argv[2]);
  if (std::from_chars(m.data(), m.data() + m.size(), memory).ec != std::errc{} ||
      std::from_chars(t.data(), t.data() + t.size(), millis).ec != std::errc{}) {
    return 2;
  }
  limits.memoryBytes = static_cast<std::size_t>(memory);
  limits.time = std::chrono::milliseconds(millis);
  // One heap for every thread: a large sheet's second half, read on a thread of its own, then
  // takes its blocks from the heap on large pages too (a heap of the thread's own grows by
  // small pages and system calls, and its half took longer than the whole).
  ::mallopt(M_ARENA_MAX, 1);
  // The heap reserved on large pages is address space the read may fill: the limit, which
  // counts from the address space in use when the reading starts, adds only the rest.
  const std::size_t reserved =
      spreadsheet::LargePageHeap::Reserve(std::min(std::size_t{256} << 20, limits.memoryBytes / 2));
  limits.memoryBytes -= std::min(reserved, limits.memoryBytes);
  spreadsheet::XlsxReader::LeftOut leftOut;
  if (argc == 5) {
    leftOut.sheet = argv[3];
    try {
      leftOut.area = spreadsheet::CellRange::Parse(argv[4]);
    } catch (const spreadsheet::NumberedError&) {
      return 2;
    }
    if (leftOut.sheet.empty()) return 2;
  }
  return spreadsheet::ReaderProcess::Serve(limits, leftOut);
}
