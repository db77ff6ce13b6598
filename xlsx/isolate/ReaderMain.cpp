#include <charconv>
#include <cstring>
#include <string_view>

#include "xlsx/isolate/ReaderProcess.h"

// levelbook-read MEMORY-BYTES TIME-MILLISECONDS: reads the workbook file on standard input and
// writes its image to standard output (see ReaderProcess). Started by the programs, not by people.
int main(int argc, char** argv) {
  spreadsheet::ReaderProcess::Limits limits;
  if (argc != 3) return 2;
  unsigned long long memory = 0, millis = 0;
  const std::string_view m(argv[1]), t(argv[2]);
  if (std::from_chars(m.data(), m.data() + m.size(), memory).ec != std::errc{} ||
      std::from_chars(t.data(), t.data() + t.size(), millis).ec != std::errc{}) {
    return 2;
  }
  limits.memoryBytes = static_cast<std::size_t>(memory);
  limits.time = std::chrono::milliseconds(millis);
  return spreadsheet::ReaderProcess::Serve(limits);
}
