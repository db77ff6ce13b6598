// The Leica GSI reader and the grouping of readings into set-ups: any bytes are either refused
// with a message naming a line, or read into readings a staff can show and rows the reduction
// can take (a first row with a backsight, a last one with a foresight).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/LevelFileChecks.h"
#include "leveling/LevelFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  levelbook::fuzz::CheckReadings(text, [](std::string_view t) { return gaocheng::ReadGsi(t); });
  return 0;
}
