// A workbook file as a user opens it: any bytes, saved as an .xlsx file and read through the
// isolated import (see IsolatedRead.h for what must hold).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/fuzz/FuzzFiles.h"
#include "tests/fuzz/IsolatedRead.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const levelbook::fuzz::FuzzFolder folder;
  static const std::string path = folder.File("input.xlsx");
  static const std::string saved = folder.File("saved.xlsx");
  levelbook::fuzz::WriteBytes(path, std::string_view(reinterpret_cast<const char*>(data), size));
  levelbook::fuzz::CheckIsolatedLoad(path, saved);
  return 0;
}
