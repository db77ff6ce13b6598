#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace spreadsheet {

// A zip archive read from memory (libzip, which takes sizes and offsets from zip64 fields
// wherever the format puts them, the central directory's included). Entries are found by name
// ignoring ASCII case, as package part names compare; each is read whole (its CRC checked) or
// as stored, compressed, for a copy that does not recompress. Names are the entries' bytes as
// stored. Throws SpreadsheetError 1004 (without the file's name) for an archive or entry it
// cannot read (an encrypted entry included), and for two entries whose names differ only in case.
class ZipArchive {
 public:
  struct Entry {
    std::string name;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    int method = 0;  // 0 stored, 8 deflated
    std::uint32_t dosDate = 0;
    std::uint8_t system = 0;  // the "made by" system its external attributes are meant for
    std::uint32_t externalAttributes = 0;
    bool utf8Name = false;    // general purpose bit 11: the name is UTF-8 (not code page 437)
    bool encrypted = false;
    std::uint64_t index = 0;  // in the archive
  };

  explicit ZipArchive(std::shared_ptr<const std::string> bytes);
  // The archive in the file open on `fd` (read through a duplicate; `fd` stays the caller's),
  // its local headers checked against the directory as it opens.
  explicit ZipArchive(int fd);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  const std::vector<Entry>& Entries() const { return entries_; }
  const Entry* Find(std::string_view name) const;  // nullptr when absent
  std::string Read(const Entry& entry) const;
  std::string ReadRaw(const Entry& entry) const;  // the stored bytes, still compressed

  static std::string Lower(std::string_view s);  // ASCII only

 private:
  std::string Inflate(const Entry& entry) const;
  void Open(void* source, int flags);  // takes the libzip source, also when it throws

  std::shared_ptr<const std::string> bytes_;
  std::uint64_t size_ = 0;  // of the archive
  void* zip_ = nullptr;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> byName_;  // lower-case name → index
};

}  // namespace spreadsheet
