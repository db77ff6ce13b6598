#include "xlsx/zip/ZipArchive.h"

#include <libdeflate.h>
#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

zip_t* Archive(void* zip) { return static_cast<zip_t*>(zip); }

// libzip gives an entry's time as local time; the writer wants it back in the DOS form stored.
std::uint32_t DosDate(std::time_t when) {
  std::tm t{};
  if (!localtime_r(&when, &t) || t.tm_year < 80) return 0x21u << 16;  // 1980-01-01
  return static_cast<std::uint32_t>(t.tm_year - 80) << 25 | static_cast<std::uint32_t>(t.tm_mon + 1) << 21 |
         static_cast<std::uint32_t>(t.tm_mday) << 16 | static_cast<std::uint32_t>(t.tm_hour) << 11 |
         static_cast<std::uint32_t>(t.tm_min) << 5 | static_cast<std::uint32_t>(t.tm_sec / 2);
}

}  // namespace

std::string ZipArchive::Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

ZipArchive::ZipArchive(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {
  // No archive is shorter than its end record (libzip takes nothing at all for an empty one).
  if (bytes_->size() < 22) Fail("不是有效的 Excel 工作簿（不是 zip 压缩包，或文件已损坏）");
  size_ = bytes_->size();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes_->data(), bytes_->size(), 0, &error);
  zip_error_fini(&error);
  if (!source) throw std::bad_alloc();
  Open(source, ZIP_RDONLY);
}

ZipArchive::ZipArchive(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_size < 22) Fail("不是有效的 Excel 工作簿（不是 zip 压缩包，或文件已损坏）");
  size_ = static_cast<std::uint64_t>(st.st_size);
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  std::FILE* file = copy >= 0 ? ::fdopen(copy, "rb") : nullptr;
  if (!file) {
    if (copy >= 0) ::close(copy);
    Fail(std::string("无法读取文件（") + std::strerror(errno) + "）");
  }
  zip_error_t error;
  zip_error_init(&error);
  // The source closes the file when it is freed.
  zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
  zip_error_fini(&error);
  if (!source) {
    std::fclose(file);
    throw std::bad_alloc();
  }
  Open(source, ZIP_RDONLY | ZIP_CHECKCONS);
}

void ZipArchive::Open(void* from, int flags) {
  auto* source = static_cast<zip_source_t*>(from);
  zip_error_t error;
  zip_error_init(&error);
  zip_ = zip_open_from_source(source, flags, &error);
  const int code = zip_error_code_zip(&error);
  zip_error_fini(&error);
  if (!zip_) {
    zip_source_free(source);
    if (code == ZIP_ER_MEMORY) throw std::bad_alloc();
    if (code == ZIP_ER_NOZIP) Fail("不是有效的 Excel 工作簿（不是 zip 压缩包，或文件已损坏）");
    Fail("不是有效的 Excel 工作簿（zip 压缩包的目录已损坏）");
  }
  const zip_int64_t count = zip_get_num_entries(Archive(zip_), 0);
  entries_.reserve(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    zip_stat_init(&st);
    const char* raw = zip_get_name(Archive(zip_), index, ZIP_FL_ENC_RAW);
    if (!raw || zip_stat_index(Archive(zip_), index, ZIP_FL_ENC_RAW, &st) != 0) {
      Fail("不是有效的 Excel 工作簿（zip 压缩包的目录已损坏）");
    }
    Entry e;
    e.name = raw;
    e.index = index;
    e.size = st.size;
    e.compressedSize = st.comp_size;
    e.crc = st.crc;
    e.method = st.comp_method;
    e.encrypted = st.encryption_method != ZIP_EM_NONE;
    e.dosDate = DosDate(st.mtime);
    zip_file_get_external_attributes(Archive(zip_), index, 0, &e.system, &e.externalAttributes);
    // A name read strictly is converted from code page 437 unless bit 11 marks it UTF-8, so
    // for a name beyond ASCII the two readings agree exactly when the bit is set.
    if (std::any_of(e.name.begin(), e.name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
      const char* strict = zip_get_name(Archive(zip_), index, ZIP_FL_ENC_STRICT);
      e.utf8Name = strict && e.name == strict;
    }
    const auto [it, added] = byName_.emplace(Lower(e.name), entries_.size());
    if (!added) Fail("压缩包中有两个名称只差大小写的部件“" + entries_[it->second].name + "”和“" + e.name + "”");
    entries_.push_back(std::move(e));
  }
}

ZipArchive::~ZipArchive() {
  if (zip_) zip_discard(Archive(zip_));
}

const ZipArchive::Entry* ZipArchive::Find(std::string_view name) const {
  auto it = byName_.find(Lower(name));
  return it == byName_.end() ? nullptr : &entries_[it->second];
}

std::string ZipArchive::ReadRaw(const Entry& entry) const {
  if (entry.encrypted) Fail("压缩包中的“" + entry.name + "”已加密，无法读取");
  const std::string broken = "压缩包中的“" + entry.name + "”已损坏";
  if (entry.compressedSize > size_) Fail(broken + "（数据不完整）");
  zip_file_t* file = zip_fopen_index(Archive(zip_), entry.index, ZIP_FL_COMPRESSED);
  if (!file) Fail("无法读取压缩包中的“" + entry.name + "”");
  std::string out(static_cast<std::size_t>(entry.compressedSize), '\0');
  const zip_int64_t n = out.empty() ? 0 : zip_fread(file, out.data(), out.size());
  zip_fclose(file);
  if (n != static_cast<zip_int64_t>(out.size())) Fail(broken + "（数据不完整）");
  return out;
}

std::string ZipArchive::Read(const Entry& entry) const {
  if (entry.method == ZIP_CM_DEFLATE) return Inflate(entry);
  if (entry.method != ZIP_CM_STORE) {
    Fail("压缩包中的“" + entry.name + "”使用了不支持的压缩方式 " + std::to_string(entry.method));
  }
  std::string out = ReadRaw(entry);
  if (out.size() != entry.size) Fail("压缩包中的“" + entry.name + "”已损坏（长度不符）");
  if (libdeflate_crc32(0, out.data(), out.size()) != entry.crc) {
    Fail("压缩包中的“" + entry.name + "”已损坏（数据或校验和不符）");
  }
  return out;
}

// A deflated entry inflated in one go into a part of the size the directory gives (several
// times faster than streaming it).
std::string ZipArchive::Inflate(const Entry& entry) const {
  const std::string broken = "压缩包中的“" + entry.name + "”已损坏";
  // Deflate shrinks data at most about 1032 to 1: a larger size is a lie, not worth the memory.
  if (entry.size > 1024 && (entry.size - 1024) / 1032 > entry.compressedSize) Fail(broken + "（长度不符）");
  const std::string deflated = ReadRaw(entry);
  std::string out(static_cast<std::size_t>(entry.size), '\0');
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  if (!inflater) throw std::bad_alloc();
  std::size_t produced = 0;
  const libdeflate_result result =
      libdeflate_deflate_decompress(inflater, deflated.data(), deflated.size(), out.data(), out.size(), &produced);
  libdeflate_free_decompressor(inflater);
  if (result != LIBDEFLATE_SUCCESS || produced != out.size()) Fail(broken + "（长度不符）");
  if (libdeflate_crc32(0, out.data(), out.size()) != entry.crc) Fail(broken + "（数据或校验和不符）");
  return out;
}

}  // namespace spreadsheet
