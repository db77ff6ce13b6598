#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/zip/ZipArchive.h"

namespace spreadsheet {

// Writes a zip archive to an open file or to memory (minizip, in raw mode): entries deflated
// here at level 1 with libdeflate, or copied as another archive stored them, without
// recompressing. An entry of kAsideBytes or more is deflated on a thread of its own while the
// caller goes on with the next entries, which are written after it; up to kMostAside such
// entries are deflated side by side. The archive is the same byte for byte, entries in the
// order made. Every failure throws SpreadsheetError 1004 with the system's reason (errno,
// e.g. ENOSPC or EFBIG), without the file's name.
class ZipWriter {
 public:
  // Content below this is deflated at once: a thread costs more than deflating it.
  static constexpr std::size_t kAsideBytes = std::size_t{1} << 20;
  // A book's two large sheets (the field book and its profile) are deflated at the same time.
  static constexpr std::size_t kMostAside = 2;

  // Into the file open for writing on `fd` (from its current start, never by its name again:
  // the name may be gone), which stays open and the caller's.
  explicit ZipWriter(int fd);
  explicit ZipWriter(std::string* memory);  // into this string, which must outlive the writer
  ~ZipWriter();  // an archive not finished is closed half-written: the caller discards it
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  void Add(const std::string& name, std::string_view content);  // Open, Write, Close
  // An entry whose content arrives in pieces, gathered and deflated whole when it closes: the
  // bytes stored depend on the content alone, not on its pieces. `large`: the content may
  // reach 4 GiB (zip64). `utf8Name`: the name is marked UTF-8 (general purpose bit 11), as
  // the entry it replaces was.
  void Open(const std::string& name, bool large = false, bool utf8Name = false);
  void Write(std::string_view piece);
  void Close();
  // The entry as stored there: its bytes, name (and its UTF-8 mark), time and attributes.
  void Copy(const ZipArchive& from, const ZipArchive::Entry& entry);
  void Finish();  // waits for the entry being deflated aside

  // Checks the directory of the archive as read back against what was written here: exactly
  // the entries written, each with the name, CRC-32, size and stored (compressed) size kept
  // while writing. The stored bytes are not compared. Throws SpreadsheetError 1004 naming
  // what differs.
  void Check(const ZipArchive& written) const;

 private:
  struct Written {
    std::string name;
    std::uint32_t crc = 0;         // of the content
    std::uint64_t size = 0;        // of the content
    std::uint64_t stored = 0;      // bytes as stored
  };
  struct Content;
  struct Memory;
  struct File;
  struct Entry;

  [[noreturn]] void Fail(const std::string& what) const;
  void Store(std::string_view bytes, const std::string& name);
  // The entries made so far go out in order, as far as they are deflated, waiting for those
  // deflated aside until no more than `aside` of them are still being deflated.
  void Drain(std::size_t aside);
  void Emit(const Entry& entry, std::string_view bytes);

  std::unique_ptr<Memory> memory_;
  std::unique_ptr<File> file_;
  std::unique_ptr<Content> content_;  // the open entry's content
  std::unique_ptr<Content> spare_;    // one done with, for the next entry
  std::unique_ptr<Entry> open_;
  std::deque<std::unique_ptr<Entry>> waiting_;  // made, not yet written, in order
  void* deflater_ = nullptr;  // libdeflate's compressor, kept from entry to entry
  std::vector<void*> spareDeflaters_;  // compressors of entries deflated aside, done with
  std::vector<Written> written_;
  void* zip_ = nullptr;
};

}  // namespace spreadsheet
