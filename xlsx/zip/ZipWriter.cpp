#include "xlsx/zip/ZipWriter.h"

#include <minizip/zip.h>
#include <pthread.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

std::string Reason(int err) {
  if (err == EFBIG) return "文件大小超过了系统允许的上限（EFBIG）";
  if (err == ENOSPC) return "磁盘空间不足";
  if (err == EDQUOT) return "超出了磁盘配额";
  return err ? std::string(std::strerror(err)) : std::string("写入失败");
}

constexpr std::size_t kBlock = std::size_t{1} << 20;
constexpr uLong kUtf8Flag = 1u << 11;  // general purpose bit 11: the name is UTF-8
constexpr std::size_t kWindow = std::size_t{1} << 15;  // deflate's reach back

[[noreturn]] void Broken(const std::string& what) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what);
}

// One block of an entry's content on its way: its text, the 32 KiB before it, and room for
// what deflate makes and needs. Everything is allocated by the writing thread and reused from
// block to block: a thread that allocates gets a malloc arena of its own, whose 64 MiB of
// reserved address space stay mapped after it ends.
struct Job {
  std::string input, dictionary, deflated;
  std::string memory = std::string(std::size_t{512} << 10, '\0');  // deflate's state, window and tables
  std::size_t memoryUsed = 0;
  bool last = false;
  std::uint32_t crc = 0;
  std::size_t used = 0;  // of `deflated`
  bool ok = false;
  pthread_t thread{};
  bool threaded = false;
};

voidpf JobAlloc(voidpf opaque, uInt items, uInt size) {
  Job& job = *static_cast<Job*>(opaque);
  const std::size_t n = (std::size_t{items} * size + 15) & ~std::size_t{15};
  if (job.memory.size() - job.memoryUsed < n) return Z_NULL;
  void* p = job.memory.data() + job.memoryUsed;
  job.memoryUsed += n;
  return p;
}

void JobFree(voidpf, voidpf) {}

// Raw deflate of a block at level 1, primed with the text before it. A block before the last
// ends on a byte boundary (a sync flush) without closing the stream, so the blocks joined in
// order are one deflate stream. Allocates nothing.
void Deflate(Job& job) noexcept {
  job.memoryUsed = 0;
  job.crc = static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(job.input.data()), job.input.size()));
  z_stream z{};
  z.zalloc = JobAlloc;
  z.zfree = JobFree;
  z.opaque = &job;
  job.ok = deflateInit2(&z, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  if (!job.ok) return;
  if (!job.dictionary.empty()) {
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(job.dictionary.data()),
                         static_cast<uInt>(job.dictionary.size()));
  }
  z.next_in = reinterpret_cast<Bytef*>(job.input.data());
  z.avail_in = static_cast<uInt>(job.input.size());
  z.next_out = reinterpret_cast<Bytef*>(job.deflated.data());
  z.avail_out = static_cast<uInt>(job.deflated.size());
  const int status = deflate(&z, job.last ? Z_FINISH : Z_SYNC_FLUSH);
  job.ok = job.last ? status == Z_STREAM_END : status == Z_OK && z.avail_out > 0;
  job.used = job.deflated.size() - z.avail_out;
  deflateEnd(&z);
}

void* DeflateThread(void* job) {
  Deflate(*static_cast<Job*>(job));
  return nullptr;
}

}  // namespace

// The entry being written: the block being filled and the blocks being deflated, oldest first;
// the blocks' buffers are kept for the next entry.
struct ZipWriter::Stream {
  Written entry;
  bool large = false;
  std::unique_ptr<Job> filling;
  std::deque<std::unique_ptr<Job>> running;
  std::vector<std::unique_ptr<Job>> idle;
  std::string window;  // the last kWindow bytes before `filling`
  // Beyond four, making the text rather than deflating it is what a save waits for.
  std::size_t inFlight = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);

  Stream() { filling = Take(); }
  ~Stream() {
    for (auto& job : running) {
      if (job->threaded) pthread_join(job->thread, nullptr);
    }
  }
  std::unique_ptr<Job> Take() {
    if (idle.empty()) return std::make_unique<Job>();
    auto job = std::move(idle.back());
    idle.pop_back();
    job->input.clear();
    return job;
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
  Open(name, content.size() >= 0xffffffffu, false);
  Write(content);
  Close();
}

void ZipWriter::Open(const std::string& name, bool large, bool utf8Name) {
  zip_fileinfo info{};
  info.dosDate = 0x21 << 16;  // 1980-01-01: the same bytes for the same workbook
  errno = 0;
  if (zipOpenNewFileInZip4_64(static_cast<zipFile>(zip_), name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, 1, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                              utf8Name ? kUtf8Flag : 0, large) != ZIP_OK) {
    Fail("无法写入“" + name + "”");
  }
  if (!stream_) stream_ = std::make_unique<Stream>();
  stream_->entry = Written{name, 0, 0, {}};
  stream_->large = large;
  stream_->window.clear();
}

void ZipWriter::Write(std::string_view piece) {
  Stream& s = *stream_;
  while (!piece.empty()) {
    std::string& input = s.filling->input;
    const std::size_t n = std::min(piece.size(), kBlock - input.size());
    input.append(piece.data(), n);
    piece.remove_prefix(n);
    if (input.size() == kBlock) Submit(false);
  }
}

void ZipWriter::Submit(bool last) {
  Stream& s = *stream_;
  std::unique_ptr<Job> job = std::move(s.filling);
  s.filling = s.Take();
  job->last = last;
  job->dictionary = s.window;
  if (!last) s.window.assign(job->input, job->input.size() - kWindow, kWindow);
  // Deflate's worst case: stored blocks, 5 bytes each 16 KiB, and the flush.
  job->deflated.resize(job->input.size() + job->input.size() / 1024 + 64);
  // A lone last block (a small entry) is deflated here, others on threads of their own.
  job->threaded = s.inFlight > 1 && !(last && s.running.empty()) &&
                  pthread_create(&job->thread, nullptr, DeflateThread, job.get()) == 0;
  if (!job->threaded) Deflate(*job);
  s.running.push_back(std::move(job));
  while (s.running.size() >= s.inFlight || (last && !s.running.empty())) {
    Job& oldest = *s.running.front();
    if (oldest.threaded) pthread_join(oldest.thread, nullptr);
    oldest.threaded = false;
    if (!oldest.ok) Broken("写入失败：无法压缩“" + s.entry.name + "”");
    Store(std::string_view(oldest.deflated.data(), oldest.used), oldest.crc, oldest.input.size());
    s.idle.push_back(std::move(s.running.front()));
    s.running.pop_front();
  }
}

void ZipWriter::Store(std::string_view bytes, std::uint32_t crc, std::uint64_t size) {
  Stream& s = *stream_;
  s.entry.crc = static_cast<std::uint32_t>(crc32_combine64(s.entry.crc, crc, static_cast<z_off64_t>(size)));
  s.entry.size += size;
  s.entry.stored.append(bytes);
  errno = 0;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const auto n = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - pos, 1u << 30));
    if (zipWriteInFileInZip(static_cast<zipFile>(zip_), bytes.data() + pos, n) != ZIP_OK) {
      Fail("无法写入“" + s.entry.name + "”");
    }
    pos += n;
  }
}

void ZipWriter::Close() {
  Submit(true);
  Stream& s = *stream_;
  if (!s.large && (s.entry.size >= 0xffffffffu || s.entry.stored.size() >= 0xffffffffu)) {
    Broken("写入失败：“" + s.entry.name + "”超过 4 GB");
  }
  errno = 0;
  if (zipCloseFileInZipRaw64(static_cast<zipFile>(zip_), s.entry.size, s.entry.crc) != ZIP_OK) {
    Fail("无法写入“" + s.entry.name + "”");
  }
  written_.push_back(std::move(s.entry));
}

void ZipWriter::Copy(const ZipArchive& from, const ZipArchive::Entry& entry) {
  std::string raw = from.ReadRaw(entry);
  zip_fileinfo info{};
  info.dosDate = entry.dosDate;
  info.external_fa = entry.externalAttributes;
  zipFile zip = static_cast<zipFile>(zip_);
  errno = 0;
  const bool large = entry.size >= 0xffffffffu || entry.compressedSize >= 0xffffffffu;
  // Version 2.0 (4.5 with zip64) made by the system the external attributes are meant for.
  const uLong madeBy = static_cast<uLong>(entry.system) << 8 | (large ? 45 : 20);
  if (zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, entry.method, 0, 1,
                              -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy,
                              entry.utf8Name ? kUtf8Flag : 0, large) != ZIP_OK ||
      (!raw.empty() && zipWriteInFileInZip(zip, raw.data(), static_cast<unsigned>(raw.size())) != ZIP_OK) ||
      zipCloseFileInZipRaw64(zip, entry.size, entry.crc) != ZIP_OK) {
    Fail("无法写入“" + entry.name + "”");
  }
  written_.push_back(Written{entry.name, entry.crc, entry.size, std::move(raw)});
}

void ZipWriter::Finish() {
  errno = 0;
  const int status = zipClose(static_cast<zipFile>(zip_), nullptr);
  zip_ = nullptr;
  if (status != ZIP_OK) Fail("无法完成压缩包");
}

void ZipWriter::Check(std::shared_ptr<const std::string> bytes) const {
  const ZipArchive archive(std::move(bytes));
  if (archive.Entries().size() != written_.size()) Broken("条目数不符");
  for (const Written& w : written_) {
    const ZipArchive::Entry* e = archive.Find(w.name);
    if (!e) Broken("“" + w.name + "”缺失");
    if (e->crc != w.crc || e->size != w.size || e->compressedSize != w.stored.size()) {
      Broken("“" + w.name + "”的大小或校验和不符");
    }
    if (archive.ReadRaw(*e) != w.stored) Broken("“" + w.name + "”内容不符");
  }
}

}  // namespace spreadsheet
