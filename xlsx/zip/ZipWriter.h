#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/zip/ZipArchive.h"

namespace spreadsheet {

// Writes a zip archive to a file or memory (minizip): entries deflated here, or copied as another
// archive stored them, without recompressing. Every failure throws SpreadsheetError 1004
// with the system's reason (errno, e.g. ENOSPC or EFBIG), without the file's name.
class ZipWriter {
 public:
  explicit ZipWriter(const std::string& path);
  explicit ZipWriter(std::string* memory);  // into this string, which must outlive the writer
  ~ZipWriter();  // an archive not finished is closed half-written: the caller discards it
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  void Add(const std::string& name, std::string_view content);  // Open, Write, Close
  // An entry whose content arrives in pieces. It is deflated at level 1 in blocks of 1 MiB
  // (each primed with the 32 KiB before it), several blocks at once on other threads when
  // the machine has more than one core; the bytes stored depend on the content alone, not on
  // its pieces or the threads. `large`: the content may reach 4 GiB (zip64). `utf8Name`: the
  // name is marked UTF-8 (general purpose bit 11), as the entry it replaces was.
  void Open(const std::string& name, bool large = false, bool utf8Name = false);
  void Write(std::string_view piece);
  void Close();
  // The entry as stored there: its bytes, name (and its UTF-8 mark), time and attributes.
  void Copy(const ZipArchive& from, const ZipArchive::Entry& entry);
  void Finish();

  // Checks an archive read back (the written file's bytes): exactly the entries written here,
  // each with the CRC-32 and size of its content and its stored (compressed) bytes bit for bit
  // the ones written, which the writer keeps until then. Throws SpreadsheetError 1004 naming
  // what differs.
  void Check(std::shared_ptr<const std::string> bytes) const;

 private:
  struct Written {
    std::string name;
    std::uint32_t crc = 0;   // of the content
    std::uint64_t size = 0;  // of the content
    std::string stored;      // the bytes as stored
  };
  struct Stream;
  struct Memory;

  [[noreturn]] void Fail(const std::string& what) const;
  void Submit(bool last);
  // Appends deflated bytes to the open entry: `size` bytes of content with CRC-32 `crc`.
  void Store(std::string_view deflated, std::uint32_t crc, std::uint64_t size);

  std::unique_ptr<Memory> memory_;
  std::unique_ptr<Stream> stream_;  // the entry being written, and buffers for the next
  std::vector<Written> written_;
  void* zip_ = nullptr;
};

}  // namespace spreadsheet
