#include "xlsx/zip/ZipWriter.h"

#include <libdeflate.h>
#include <minizip/zip.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <new>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

std::string Reason(int err) {
  if (err == EFBIG) return "文件大小超过了系统允许的上限（EFBIG）";
  if (err == ENOSPC) return "磁盘空间不足";
  if (err == EDQUOT) return "超出了磁盘配额";
  return err ? std::string(std::strerror(err)) : std::string("写入失败");
}

constexpr uLong kUtf8Flag = 1u << 11;  // general purpose bit 11: the name is UTF-8
constexpr std::uint64_t kZip32 = 0xffffffffu;

[[noreturn]] void Broken(const std::string& what) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what);
}

libdeflate_compressor* Deflater(void* p) { return static_cast<libdeflate_compressor*>(p); }

// Anonymous memory that grows in place (mremap moves pages, not bytes): the content of a sheet
// of 20 MB is gathered without the copies and the doubled peak of a growing string.
class Region {
 public:
  explicit Region(bool largePages) : largePages_(largePages) {}
  ~Region() {
    if (data_) ::munmap(data_, capacity_);
  }
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;

  char* Data() const { return static_cast<char*>(data_); }
  std::size_t Capacity() const { return capacity_; }
  // Room for at least `n` bytes, what is held kept. Throws std::bad_alloc.
  void Reserve(std::size_t n) {
    if (n <= capacity_) return;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t unit = largePages_ ? std::max<std::size_t>(page, std::size_t{2} << 20) : page;
    const std::size_t want = (std::max(n, capacity_ + capacity_ / 2) + unit - 1) / unit * unit;
    void* p = data_ ? ::mremap(data_, capacity_, want, MREMAP_MAYMOVE)
                    : ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    // Large pages where the system grants them: a 20 MB content touched for the first time
    // costs ten page faults instead of five thousand.
    if (largePages_) ::madvise(p, want, MADV_HUGEPAGE);
    data_ = p;
    capacity_ = want;
  }

 private:
  bool largePages_ = false;
  void* data_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace

// The open entry's content, and room for what deflate makes of it; both kept for the next entry.
struct ZipWriter::Content {
  Region text{true};
  Region deflated{false};  // written in part: a fraction of the bound is ever touched
  std::size_t size = 0;

  // Deflates the text into `deflated`, filling in the sizes and CRC; false when deflate fails.
  bool Deflate(libdeflate_compressor* deflater, Written& w) {
    const std::size_t bound = libdeflate_deflate_compress_bound(deflater, size);
    deflated.Reserve(bound);
    const std::size_t stored = libdeflate_deflate_compress(deflater, text.Data(), size, deflated.Data(), bound);
    w.size = size;
    w.crc = libdeflate_crc32(0, text.Data(), size);
    w.stored = stored;
    return stored != 0;
  }
};

// An entry made: the fields of its headers and its bytes as stored, written once it and the
// entries before it are ready.
struct ZipWriter::Entry {
  Written w;
  uLong dosDate = 0x21 << 16;  // 1980-01-01: the same bytes for the same workbook
  uLong externalAttributes = 0;
  int method = Z_DEFLATED;
  int level = 1;
  uLong madeBy = 0;
  uLong flags = 0;
  bool large = false;
  std::string raw;                   // the stored bytes, unless deflated aside
  std::unique_ptr<Content> content;  // deflated aside: its content and what deflate made of it
  std::future<bool> aside;           // the deflating; false when deflate failed
  void* deflater = nullptr;          // the compressor deflating it aside, until it is done

  std::string_view Stored() const {
    return content ? std::string_view(content->deflated.Data(), static_cast<std::size_t>(w.stored)) : raw;
  }
};

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

// The same over an open file, by position (pread/pwrite), never reopening it by name. The
// first error's errno is kept for the message.
struct ZipWriter::File {
  int fd = -1;
  std::uint64_t pos = 0;
  std::uint64_t end = 0;
  int error = 0;

  static voidpf Open(voidpf opaque, const void*, int) { return opaque; }
  static uLong Read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* f = static_cast<File*>(stream);
    const ssize_t n = ::pread(f->fd, buf, size, static_cast<off_t>(f->pos));
    if (n < 0) {
      f->error = f->error ? f->error : errno;
      return 0;
    }
    f->pos += static_cast<std::uint64_t>(n);
    return static_cast<uLong>(n);
  }
  static uLong Write(voidpf, voidpf stream, const void* buf, uLong size) {
    auto* f = static_cast<File*>(stream);
    uLong done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(f->fd, static_cast<const char*>(buf) + done, size - done, static_cast<off_t>(f->pos));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        f->error = f->error ? f->error : (n < 0 ? errno : ENOSPC);
        break;
      }
      done += static_cast<uLong>(n);
      f->pos += static_cast<std::uint64_t>(n);
    }
    f->end = std::max(f->end, f->pos);
    return done;
  }
  static ZPOS64_T Tell(voidpf, voidpf stream) { return static_cast<File*>(stream)->pos; }
  static long Seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* f = static_cast<File*>(stream);
    std::uint64_t base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = f->pos;
    if (origin == ZLIB_FILEFUNC_SEEK_END) base = f->end;
    f->pos = base + offset;
    return 0;
  }
  static int Close(voidpf, voidpf) { return 0; }
  static int Error(voidpf, voidpf stream) { return static_cast<File*>(stream)->error; }
};

namespace {

template <typename Stream>
zlib_filefunc64_def Callbacks(Stream* stream) {
  zlib_filefunc64_def io{};
  io.zopen64_file = &Stream::Open;
  io.zread_file = &Stream::Read;
  io.zwrite_file = &Stream::Write;
  io.ztell64_file = &Stream::Tell;
  io.zseek64_file = &Stream::Seek;
  io.zclose_file = &Stream::Close;
  io.zerror_file = &Stream::Error;
  io.opaque = stream;
  return io;
}

}  // namespace

ZipWriter::ZipWriter(std::string* memory) : memory_(std::make_unique<Memory>()) {
  memory->clear();
  memory_->data = memory;
  zlib_filefunc64_def io = Callbacks(memory_.get());
  zip_ = zipOpen2_64("memory", APPEND_STATUS_CREATE, nullptr, &io);
  if (!zip_) Fail("无法创建压缩包");
}

ZipWriter::ZipWriter(int fd) : file_(std::make_unique<File>()) {
  file_->fd = fd;
  zlib_filefunc64_def io = Callbacks(file_.get());
  errno = 0;
  zip_ = zipOpen2_64("file", APPEND_STATUS_CREATE, nullptr, &io);
  if (!zip_) Fail("无法创建压缩包");
}

ZipWriter::~ZipWriter() {
  for (const auto& e : waiting_) {
    if (e->aside.valid()) e->aside.wait();
  }
  if (zip_) zipClose(static_cast<zipFile>(zip_), nullptr);
  if (deflater_) libdeflate_free_compressor(Deflater(deflater_));
  for (const auto& e : waiting_) {
    if (e->deflater) libdeflate_free_compressor(Deflater(e->deflater));
  }
  for (void* d : spareDeflaters_) libdeflate_free_compressor(Deflater(d));
}

void ZipWriter::Fail(const std::string& what) const {
  const int err = file_ && file_->error ? file_->error : errno;
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "写入失败：" + Reason(err) + "（" + what + "）");
}

void ZipWriter::Add(const std::string& name, std::string_view content) {
  Open(name, content.size() >= kZip32, false);
  Write(content);
  Close();
}

void ZipWriter::Open(const std::string& name, bool large, bool utf8Name) {
  Drain(kMostAside);
  open_ = std::make_unique<Entry>();
  open_->w = Written{name, 0, 0, 0};
  open_->large = large;
  open_->flags = utf8Name ? kUtf8Flag : 0;
  if (!content_) content_ = spare_ ? std::move(spare_) : std::make_unique<Content>();
  content_->size = 0;
}

void ZipWriter::Write(std::string_view piece) {
  Content& c = *content_;
  if (piece.empty()) return;
  c.text.Reserve(c.size + piece.size());
  std::memcpy(c.text.Data() + c.size, piece.data(), piece.size());
  c.size += piece.size();
}

void ZipWriter::Store(std::string_view bytes, const std::string& name) {
  errno = 0;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto n = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - pos, 1u << 30));
    if (zipWriteInFileInZip(static_cast<zipFile>(zip_), bytes.data() + pos, n) != ZIP_OK) {
      Fail("无法写入“" + name + "”");
    }
    pos += n;
  }
}

void ZipWriter::Close() {
  std::unique_ptr<Entry> e = std::move(open_);
  if (content_->size >= kAsideBytes) {
    // At most kMostAside at once: the memory of as many contents, and one more being gathered.
    Drain(kMostAside - 1);
    if (spareDeflaters_.empty()) {
      void* made = libdeflate_alloc_compressor(1);
      if (!made) throw std::bad_alloc();
      spareDeflaters_.push_back(made);
    }
    e->content = std::move(content_);
    e->aside = std::async(std::launch::async, [deflater = Deflater(spareDeflaters_.back()), c = e->content.get(), w = &e->w] {
      return c->Deflate(deflater, *w);
    });
    e->deflater = spareDeflaters_.back();
    spareDeflaters_.pop_back();
    waiting_.push_back(std::move(e));
    Drain(kMostAside);
    return;
  }
  if (!deflater_) {
    deflater_ = libdeflate_alloc_compressor(1);
    if (!deflater_) throw std::bad_alloc();
  }
  if (!content_->Deflate(Deflater(deflater_), e->w)) Broken("写入失败：无法压缩“" + e->w.name + "”");
  const std::string_view stored(content_->deflated.Data(), static_cast<std::size_t>(e->w.stored));
  if (waiting_.empty()) {
    Emit(*e, stored);
  } else {
    e->raw.assign(stored);
    waiting_.push_back(std::move(e));
  }
}

void ZipWriter::Copy(const ZipArchive& from, const ZipArchive::Entry& entry) {
  auto e = std::make_unique<Entry>();
  e->raw = from.ReadRaw(entry);
  e->w = Written{entry.name, entry.crc, entry.size, e->raw.size()};
  e->dosDate = entry.dosDate;
  e->externalAttributes = entry.externalAttributes;
  e->method = entry.method;
  e->level = 0;
  e->large = entry.size >= kZip32 || entry.compressedSize >= kZip32;
  // Version 2.0 (4.5 with zip64) made by the system the external attributes are meant for.
  e->madeBy = static_cast<uLong>(entry.system) << 8 | (e->large ? 45 : 20);
  e->flags = entry.utf8Name ? kUtf8Flag : 0;
  if (waiting_.empty()) {
    Emit(*e, e->raw);
  } else {
    waiting_.push_back(std::move(e));
  }
}

void ZipWriter::Drain(std::size_t aside) {
  std::size_t pending = 0;
  for (const auto& w : waiting_) pending += w->aside.valid() ? 1 : 0;
  while (!waiting_.empty()) {
    Entry& e = *waiting_.front();
    if (e.aside.valid()) {
      if (pending <= aside && e.aside.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
      const bool deflated = e.aside.get();
      --pending;
      spareDeflaters_.push_back(e.deflater);
      e.deflater = nullptr;
      if (!deflated) Broken("写入失败：无法压缩“" + e.w.name + "”");
    }
    Emit(e, e.Stored());
    if (e.content && !spare_) spare_ = std::move(e.content);
    waiting_.pop_front();
  }
}

void ZipWriter::Emit(const Entry& e, std::string_view bytes) {
  if (!e.large && (e.w.size >= kZip32 || e.w.stored >= kZip32)) Broken("写入失败：“" + e.w.name + "”超过 4 GB");
  zip_fileinfo info{};
  info.dosDate = e.dosDate;
  info.external_fa = e.externalAttributes;
  zipFile zip = static_cast<zipFile>(zip_);
  errno = 0;
  // Raw: the bytes are deflated here or copied as stored, minizip only frames them.
  if (zipOpenNewFileInZip4_64(zip, e.w.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, e.method, e.level, 1,
                              -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, e.madeBy, e.flags,
                              e.large) != ZIP_OK) {
    Fail("无法写入“" + e.w.name + "”");
  }
  Store(bytes, e.w.name);
  if (zipCloseFileInZipRaw64(zip, e.w.size, e.w.crc) != ZIP_OK) Fail("无法写入“" + e.w.name + "”");
  written_.push_back(e.w);
  // Megabytes written: the system starts putting them on disk now, while the next entries are
  // made, so that the caller's final sync waits for less. A hint only; its failure is harmless.
  if (file_ && bytes.size() >= kAsideBytes / 4) ::sync_file_range(file_->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void ZipWriter::Finish() {
  Drain(0);
  errno = 0;
  const int status = zipClose(static_cast<zipFile>(zip_), nullptr);
  zip_ = nullptr;
  if (status != ZIP_OK) Fail("无法完成压缩包");
}

void ZipWriter::Check(const ZipArchive& archive) const {
  if (archive.Entries().size() != written_.size()) Broken("条目数不符");
  for (std::size_t i = 0; i < written_.size(); ++i) {
    const Written& w = written_[i];
    const ZipArchive::Entry& e = archive.Entries()[i];
    if (e.name != w.name) Broken("第 " + std::to_string(i + 1) + " 个条目应为“" + w.name + "”");
    if (e.crc != w.crc || e.size != w.size || e.compressedSize != w.stored) {
      Broken("“" + w.name + "”的大小或校验和不符");
    }
  }
}

}  // namespace spreadsheet
