#include "xlsx/zip/ZipArchive.h"

#include <libdeflate.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

}  // namespace

// minizip reads through these callbacks from the bytes in memory.
struct ZipArchive::Stream {
  const std::string* bytes = nullptr;
  std::uint64_t pos = 0;

  static voidpf Open(voidpf opaque, const void*, int) { return opaque; }
  static uLong Read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* s = static_cast<Stream*>(stream);
    const std::uint64_t left = s->bytes->size() - std::min<std::uint64_t>(s->pos, s->bytes->size());
    const uLong n = static_cast<uLong>(std::min<std::uint64_t>(left, size));
    std::memcpy(buf, s->bytes->data() + s->pos, n);
    s->pos += n;
    return n;
  }
  static uLong Write(voidpf, voidpf, const void*, uLong) { return 0; }
  static ZPOS64_T Tell(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->pos; }
  static long Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* s = static_cast<Stream*>(stream);
    std::uint64_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = s->pos;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = s->bytes->size();
    if (base + offset > s->bytes->size()) return -1;
    s->pos = base + offset;
    return 0;
  }
  static int Close(voidpf, voidpf) { return 0; }
  static int Error(voidpf, voidpf) { return 0; }
};

std::string ZipArchive::Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

ZipArchive::ZipArchive(std::shared_ptr<const std::string> bytes)
    : bytes_(std::move(bytes)), stream_(std::make_unique<Stream>()) {
  stream_->bytes = bytes_.get();
  zlib_filefunc64_def io{};
  io.zopen64_file = &Stream::Open;
  io.zread_file = &Stream::Read;
  io.zwrite_file = &Stream::Write;
  io.ztell64_file = &Stream::Tell;
  io.zseek64_file = &Stream::Seek;
  io.zclose_file = &Stream::Close;
  io.zerror_file = &Stream::Error;
  io.opaque = stream_.get();
  zip_ = unzOpen2_64("package", &io);
  if (!zip_) Fail("不是有效的 Excel 工作簿（不是 zip 压缩包，或文件已损坏）");
  unzFile zip = static_cast<unzFile>(zip_);
  int status = unzGoToFirstFile(zip);
  std::uint64_t number = 0;
  while (status == UNZ_OK) {
    unz_file_info64 info{};
    char name[4096];
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
    unz64_file_pos pos{};
    unzGetFilePos64(zip, &pos);
    Entry e;
    e.name.assign(name, std::min<std::size_t>(info.size_filename, sizeof name - 1));
    e.compressedSize = info.compressed_size;
    e.size = info.uncompressed_size;
    e.crc = static_cast<std::uint32_t>(info.crc);
    e.method = static_cast<int>(info.compression_method);
    e.dosDate = static_cast<std::uint32_t>(info.dosDate);
    e.internalAttributes = static_cast<std::uint32_t>(info.internal_fa);
    e.externalAttributes = static_cast<std::uint32_t>(info.external_fa);
    e.position = pos.pos_in_zip_directory;
    e.number = pos.num_of_file;
    const auto [it, added] = byName_.emplace(Lower(e.name), entries_.size());
    if (!added) Fail("压缩包中有两个名称只差大小写的部件“" + entries_[it->second].name + "”和“" + e.name + "”");
    entries_.push_back(std::move(e));
    ++number;
    status = unzGoToNextFile(zip);
  }
  if (status != UNZ_END_OF_LIST_OF_FILE) {
    unzClose(zip);
    zip_ = nullptr;
    Fail("不是有效的 Excel 工作簿（zip 压缩包的目录已损坏）");
  }
  (void)number;
}

ZipArchive::~ZipArchive() {
  if (zip_) unzClose(static_cast<unzFile>(zip_));
}

const ZipArchive::Entry* ZipArchive::Find(std::string_view name) const {
  auto it = byName_.find(Lower(name));
  return it == byName_.end() ? nullptr : &entries_[it->second];
}

void ZipArchive::Open(const Entry& entry, bool raw) const {
  unzFile zip = static_cast<unzFile>(zip_);
  unz64_file_pos pos{entry.position, entry.number};
  int method = 0, level = 0;
  if (unzGoToFilePos64(zip, &pos) != UNZ_OK || unzOpenCurrentFile2(zip, &method, &level, raw ? 1 : 0) != UNZ_OK) {
    Fail("无法读取压缩包中的“" + entry.name + "”");
  }
  if (!raw && method != 0 && method != Z_DEFLATED) {
    unzCloseCurrentFile(zip);
    Fail("压缩包中的“" + entry.name + "”使用了不支持的压缩方式 " + std::to_string(method));
  }
}

std::string ZipArchive::ReadOpen(const Entry& entry, std::uint64_t expected) const {
  unzFile zip = static_cast<unzFile>(zip_);
  std::string out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(expected, std::uint64_t{64} << 20)));
  char buf[1 << 16];
  int n = 0;
  while ((n = unzReadCurrentFile(zip, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  const int closed = unzCloseCurrentFile(zip);
  if (n < 0 || closed != UNZ_OK) Fail("压缩包中的“" + entry.name + "”已损坏（数据或校验和不符）");
  return out;
}

std::string ZipArchive::Read(const Entry& entry) const {
  if (entry.method == Z_DEFLATED) return Inflate(entry);
  Open(entry, false);
  std::string out = ReadOpen(entry, entry.size);
  if (out.size() != entry.size) Fail("压缩包中的“" + entry.name + "”已损坏（长度不符）");
  return out;
}

// A deflated entry inflated in one go, straight from the archive's bytes into a part of the
// size the directory gives (several times faster than streaming it through minizip).
std::string ZipArchive::Inflate(const Entry& entry) const {
  const std::string broken = "压缩包中的“" + entry.name + "”已损坏";
  // Deflate shrinks data at most about 1032 to 1: a larger size is a lie, not worth the memory.
  if (entry.size > 1024 && (entry.size - 1024) / 1032 > entry.compressedSize) Fail(broken + "（长度不符）");
  unzFile zip = static_cast<unzFile>(zip_);
  Open(entry, true);
  const std::uint64_t at = static_cast<std::uint64_t>(unzGetCurrentFileZStreamPos64(zip));
  unzCloseCurrentFile(zip);
  if (at > bytes_->size() || bytes_->size() - at < entry.compressedSize) Fail(broken + "（数据不完整）");
  std::string out(static_cast<std::size_t>(entry.size), '\0');
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  if (!inflater) throw std::bad_alloc();
  std::size_t produced = 0;
  const libdeflate_result result =
      libdeflate_deflate_decompress(inflater, bytes_->data() + at, static_cast<std::size_t>(entry.compressedSize),
                                    out.data(), out.size(), &produced);
  libdeflate_free_decompressor(inflater);
  if (result != LIBDEFLATE_SUCCESS || produced != out.size()) Fail(broken + "（长度不符）");
  if (libdeflate_crc32(0, out.data(), out.size()) != entry.crc) Fail(broken + "（数据或校验和不符）");
  return out;
}

std::string ZipArchive::ReadRaw(const Entry& entry) const {
  Open(entry, true);
  return ReadOpen(entry, entry.compressedSize);
}

}  // namespace spreadsheet
