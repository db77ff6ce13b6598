#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace spreadsheet {

// A zip archive read from memory or from an open file: its central directory parsed here (sizes
// and offsets taken from zip64 fields wherever the format puts them: the zip64 end record, the
// directory's zip64 extra fields), deflated entries inflated whole with libdeflate. No zip
// library is loaded for it, so the reader program starts without one. Entries are found by name
// ignoring ASCII case, as package part names compare; each is read whole (its CRC checked) or as
// stored, compressed, for a copy that does not recompress. Names are the entries' bytes as
// stored. Throws SpreadsheetError 1004 (without the file's name) for an archive or entry it
// cannot read (an encrypted entry, one on another disk or with an unknown method included), and
// for two entries whose names differ only in case.
class ZipArchive {
 public:
  struct Entry {
    std::string name;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    int method = 0;  // 0 stored, 8 deflated
    std::uint32_t dosDate = 0;  // date << 16 | time, as stored in the directory
    std::uint8_t system = 0;  // the "made by" system its external attributes are meant for
    std::uint32_t externalAttributes = 0;
    bool utf8Name = false;    // general purpose bit 11 on a name beyond ASCII: UTF-8, not code page 437
    bool encrypted = false;   // general purpose bit 0
    std::uint64_t offset = 0;  // of its local header in the archive
  };

  explicit ZipArchive(std::shared_ptr<const std::string> bytes);
  // The archive in the file open on `fd` (read through a duplicate; `fd` stays the caller's),
  // every local header checked against the directory as it opens (name, method, CRC, sizes).
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
  // `size` bytes at `offset` (fewer at the archive's end): a view into the archive in memory,
  // else read into `buffer`.
  std::string_view Bytes(std::uint64_t offset, std::size_t size, std::string& buffer) const;
  void ReadDirectory(bool check);  // `check`: the directory fills the space up to its end record
  // Where the entry's data begins, from its local header; `check`: the header must agree with
  // the directory.
  std::uint64_t DataOffset(const Entry& entry, bool check) const;
  std::string_view Stored(const Entry& entry, std::string& buffer) const;
  std::string Inflate(const Entry& entry) const;

  std::shared_ptr<const std::string> bytes_;  // the archive, when read from memory
  int fd_ = -1;                               // else the file it is read from
  std::uint64_t size_ = 0;                    // of the archive
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t> byName_;  // lower-case name → index
};

}  // namespace spreadsheet
