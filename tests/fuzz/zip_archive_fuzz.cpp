// Any bytes as a zip archive, read from memory and from a file: each reading gives the same
// entries or SpreadsheetError 1004, and every entry reads whole (its size and CRC as the
// directory says) or fails with 1004, the same way both times. Read from a file, the local
// headers are checked as it opens, so only that reading may refuse an archive the other opens.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <libdeflate.h>

#include "tests/fuzz/FuzzInput.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/zip/ZipArchive.h"

namespace {

using spreadsheet::SpreadsheetError;
using spreadsheet::ZipArchive;

// An entry's content, or the error reading it gave.
std::string ReadOrError(const ZipArchive& zip, const ZipArchive::Entry& e) {
  try {
    std::string content = zip.Read(e);
    levelbook::fuzz::Require(content.size() == e.size, "the size the directory gives");
    levelbook::fuzz::Require(libdeflate_crc32(0, content.data(), content.size()) == e.crc, "the CRC the directory gives");
    levelbook::fuzz::Require(zip.ReadRaw(e).size() == e.compressedSize, "the stored size the directory gives");
    return "content:" + content;
  } catch (const SpreadsheetError& error) {
    levelbook::fuzz::Require(error.Number() == SpreadsheetError::kApplicationDefined, "error number 1004",
                             error.Description());
    return "error:" + error.Description();
  }
}

template <typename Open>
std::optional<std::vector<std::string>> ReadAll(Open open) {
  std::unique_ptr<ZipArchive> zip;
  try {
    zip = open();
  } catch (const SpreadsheetError& error) {
    levelbook::fuzz::Require(error.Number() == SpreadsheetError::kApplicationDefined, "error number 1004",
                             error.Description());
    return std::nullopt;
  }
  std::vector<std::string> read;
  for (const ZipArchive::Entry& e : zip->Entries()) {
    levelbook::fuzz::Require(zip->Find(e.name) == &e, "each entry found by its name");
    read.push_back(e.name + "|" + std::to_string(e.offset) + "|" + std::to_string(e.size) + "|" +
                   std::to_string(e.compressedSize) + "|" + ReadOrError(*zip, e));
  }
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bytes = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
  const auto fromMemory = ReadAll([&] { return std::make_unique<ZipArchive>(bytes); });
  const int fd = ::memfd_create("zip", MFD_CLOEXEC);
  levelbook::fuzz::Require(fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size), "a memory file");
  const auto fromFile = ReadAll([&] { return std::make_unique<ZipArchive>(fd); });
  ::close(fd);
  if (fromFile) levelbook::fuzz::Require(fromMemory == fromFile, "the same entries from memory and from a file");
  return 0;
}
