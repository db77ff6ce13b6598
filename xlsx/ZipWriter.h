#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "xlsx/ZipArchive.h"

namespace spreadsheet {

// Writes a zip archive to a file (minizip): entries deflated here, or copied as another
// archive stored them, without recompressing. Every failure throws SpreadsheetError 1004
// with the system's reason (errno, e.g. ENOSPC or EFBIG), without the file's name.
class ZipWriter {
 public:
  explicit ZipWriter(const std::string& path);
  explicit ZipWriter(std::string* memory);  // into this string, which must outlive the writer
  ~ZipWriter();  // an archive not finished is closed half-written: the caller discards it
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  void Add(const std::string& name, std::string_view content);  // deflated at level 1
  void Copy(const ZipArchive& from, const ZipArchive::Entry& entry);
  void Finish();

 private:
  [[noreturn]] void Fail(const std::string& what) const;
  struct Memory;
  std::unique_ptr<Memory> memory_;
  void* zip_ = nullptr;
};

}  // namespace spreadsheet
