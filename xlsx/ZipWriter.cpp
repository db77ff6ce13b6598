#include "xlsx/ZipWriter.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

std::string Reason(int err) {
  if (err == EFBIG) return "文件大小超过了系统允许的上限（EFBIG）";
  if (err == ENOSPC) return "磁盘空间不足";
  if (err == EDQUOT) return "超出了磁盘配额";
  return err ? std::string(std::strerror(err)) : std::string("写入失败");
}

}  // namespace

// minizip writes through these callbacks into a string; it seeks back to complete each
// entry's local header, so a write may overwrite as well as extend.
struct ZipWriter::Memory {
  std::string* data = nullptr;
  std::uint64_t pos = 0;

  static voidpf Open(voidpf opaque, const void*, int) { return opaque; }
  static uLong Read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* m = static_cast<Memory*>(stream);
    const std::uint64_t left = m->data->size() - std::min<std::uint64_t>(m->pos, m->data->size());
    const uLong n = static_cast<uLong>(std::min<std::uint64_t>(left, size));
    std::memcpy(buf, m->data->data() + m->pos, n);
    m->pos += n;
    return n;
  }
  static uLong Write(voidpf, voidpf stream, const void* buf, uLong size) {
    auto* m = static_cast<Memory*>(stream);
    if (m->pos + size > m->data->size()) m->data->resize(m->pos + size);
    std::memcpy(m->data->data() + m->pos, buf, size);
    m->pos += size;
    return size;
  }
  static ZPOS64_T Tell(voidpf, voidpf stream) { return static_cast<Memory*>(stream)->pos; }
  static long Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* m = static_cast<Memory*>(stream);
    std::uint64_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = m->pos;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = m->data->size();
    m->pos = base + offset;
    return 0;
  }
  static int Close(voidpf, voidpf) { return 0; }
  static int Error(voidpf, voidpf) { return 0; }
};

ZipWriter::ZipWriter(std::string* memory) : memory_(std::make_unique<Memory>()) {
  memory->clear();
  memory_->data = memory;
  zlib_filefunc64_def io{};
  io.zopen64_file = &Memory::Open;
  io.zread_file = &Memory::Read;
  io.zwrite_file = &Memory::Write;
  io.ztell64_file = &Memory::Tell;
  io.zseek64_file = &Memory::Seek;
  io.zclose_file = &Memory::Close;
  io.zerror_file = &Memory::Error;
  io.opaque = memory_.get();
  zip_ = zipOpen2_64("memory", APPEND_STATUS_CREATE, nullptr, &io);
  if (!zip_) Fail("无法创建压缩包");
}

ZipWriter::ZipWriter(const std::string& path) {
  errno = 0;
  zip_ = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip_) Fail("无法创建压缩包");
}

ZipWriter::~ZipWriter() {
  if (zip_) zipClose(static_cast<zipFile>(zip_), nullptr);
}

void ZipWriter::Fail(const std::string& what) const {
  const int err = errno;
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "写入失败：" + Reason(err) + "（" + what + "）");
}

void ZipWriter::Add(const std::string& name, std::string_view content) {
  zip_fileinfo info{};
  info.dosDate = 0x21 << 16;  // 1980-01-01: the same bytes for the same workbook
  zipFile zip = static_cast<zipFile>(zip_);
  errno = 0;
  const bool large = content.size() >= 0xffffffffu;
  if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1, large) != ZIP_OK) {
    Fail("无法写入“" + name + "”");
  }
  std::size_t pos = 0;
  while (pos < content.size()) {
    const auto n = static_cast<unsigned>(std::min<std::size_t>(content.size() - pos, 1u << 30));
    if (zipWriteInFileInZip(zip, content.data() + pos, n) != ZIP_OK) Fail("无法写入“" + name + "”");
    pos += n;
  }
  if (zipCloseFileInZip(zip) != ZIP_OK) Fail("无法写入“" + name + "”");
}

void ZipWriter::Copy(const ZipArchive& from, const ZipArchive::Entry& entry) {
  const std::string raw = from.ReadRaw(entry);
  zip_fileinfo info{};
  info.dosDate = entry.dosDate;
  info.internal_fa = entry.internalAttributes;
  info.external_fa = entry.externalAttributes;
  zipFile zip = static_cast<zipFile>(zip_);
  errno = 0;
  const bool large = entry.size >= 0xffffffffu || entry.compressedSize >= 0xffffffffu;
  if (zipOpenNewFileInZip2_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, entry.method, 0, 1,
                              large) != ZIP_OK ||
      (!raw.empty() && zipWriteInFileInZip(zip, raw.data(), static_cast<unsigned>(raw.size())) != ZIP_OK) ||
      zipCloseFileInZipRaw64(zip, entry.size, entry.crc) != ZIP_OK) {
    Fail("无法写入“" + entry.name + "”");
  }
}

void ZipWriter::Finish() {
  errno = 0;
  const int status = zipClose(static_cast<zipFile>(zip_), nullptr);
  zip_ = nullptr;
  if (status != ZIP_OK) Fail("无法完成压缩包");
}

}  // namespace spreadsheet
