#include "xlsx/zip/ZipArchive.h"

#include <libdeflate.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

[[noreturn]] void NotZip() { Fail("不是有效的 Excel 工作簿（不是 zip 压缩包，或文件已损坏）"); }
[[noreturn]] void BrokenDirectory() { Fail("不是有效的 Excel 工作簿（zip 压缩包的目录已损坏）"); }

// Record signatures and sizes (APPNOTE 4.3); all fields little-endian.
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kDirectoryHeader = 0x02014b50;
constexpr std::uint32_t kEnd = 0x06054b50;
constexpr std::uint32_t kZip64End = 0x06064b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kDirectorySize = 46;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kLocatorSize = 20;
constexpr std::uint16_t kZip64Extra = 0x0001;
constexpr std::uint32_t kMore32 = 0xFFFFFFFF;  // the value stands in the zip64 extra field
constexpr std::uint16_t kMore16 = 0xFFFF;
constexpr std::uint16_t kEncryptedFlag = 1 << 0;
constexpr std::uint16_t kDescriptorFlag = 1 << 3;  // CRC and sizes follow the data, not in the local header
constexpr std::uint16_t kUtf8Flag = 1 << 11;
constexpr int kStored = 0;
constexpr int kDeflated = 8;

std::uint64_t Le(std::string_view s, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}
std::uint16_t Le16(std::string_view s, std::size_t at) { return static_cast<std::uint16_t>(Le(s, at, 2)); }
std::uint32_t Le32(std::string_view s, std::size_t at) { return static_cast<std::uint32_t>(Le(s, at, 4)); }
std::uint64_t Le64(std::string_view s, std::size_t at) { return Le(s, at, 8); }

// The data of the extra field `id` among `extra`'s fields; false when absent or malformed.
bool FindExtra(std::string_view extra, std::uint16_t id, std::string_view& data) {
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    const std::uint16_t field = Le16(extra, at);
    const std::size_t size = Le16(extra, at + 2);
    if (at + 4 + size > extra.size()) return false;
    if (field == id) {
      data = extra.substr(at + 4, size);
      return true;
    }
    at += 4 + size;
  }
  return false;
}

// The sizes and offset a zip64 extra field holds for those of the header that are all ones, in
// the order the format gives (size, compressed size, offset).
bool ApplyZip64(std::string_view extra, std::uint64_t* const fields[], const bool present[], int count) {
  std::string_view data;
  if (!FindExtra(extra, kZip64Extra, data)) return false;
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    if (!present[i]) continue;
    if (at + 8 > data.size()) return false;
    *fields[i] = Le64(data, at);
    at += 8;
  }
  return true;
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
  size_ = bytes_->size();
  ReadDirectory(false);
}

ZipArchive::ZipArchive(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) Fail(std::string("无法读取文件（") + std::strerror(errno) + "）");
  size_ = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
  fd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) Fail(std::string("无法读取文件（") + std::strerror(errno) + "）");
  try {
    ReadDirectory(true);
    for (const Entry& e : entries_) DataOffset(e, true);
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

ZipArchive::~ZipArchive() {
  if (fd_ >= 0) ::close(fd_);
}

std::string_view ZipArchive::Bytes(std::uint64_t offset, std::size_t size, std::string& buffer) const {
  if (offset >= size_) return {};
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
  if (bytes_) return std::string_view(*bytes_).substr(static_cast<std::size_t>(offset), size);
  buffer.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd_, buffer.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(std::string("无法读取文件（") + std::strerror(errno) + "）");
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  buffer.resize(got);
  return buffer;
}

void ZipArchive::ReadDirectory(bool check) {
  // The end record lies in the last 22 + 65,535 bytes: the last one whose comment ends with
  // the archive, else (bytes appended) the last one whose comment ends within it. A comment may
  // hold the signature itself.
  if (size_ < kEndSize) NotZip();
  const std::uint64_t tailStart = size_ - std::min<std::uint64_t>(size_, kEndSize + 0xFFFF);
  std::string tailBuffer;
  const std::string_view tail = Bytes(tailStart, static_cast<std::size_t>(size_ - tailStart), tailBuffer);
  std::size_t end = std::string_view::npos, within = std::string_view::npos;
  for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Le32(tail, at) != kEnd) continue;
    const std::size_t commentEnd = at + kEndSize + Le16(tail, at + 20);
    if (commentEnd == tail.size()) {
      end = at;
      break;
    }
    if (commentEnd < tail.size() && within == std::string_view::npos) within = at;
  }
  if (end == std::string_view::npos) end = within;
  if (end == std::string_view::npos) NotZip();
  const std::uint64_t endAt = tailStart + end;
  std::uint64_t disk = Le16(tail, end + 4), directoryDisk = Le16(tail, end + 6);
  std::uint64_t count = Le16(tail, end + 10), onDisk = Le16(tail, end + 8);
  std::uint64_t directorySize = Le32(tail, end + 12), directoryAt = Le32(tail, end + 16);
  std::uint64_t directoryEnd = endAt;

  // A zip64 locator just before the end record points to the zip64 end record, whose fields
  // replace those of the end record.
  std::string locatorBuffer;
  const std::string_view locator =
      endAt >= kLocatorSize ? Bytes(endAt - kLocatorSize, kLocatorSize, locatorBuffer) : std::string_view{};
  if (locator.size() == kLocatorSize && Le32(locator, 0) == kZip64Locator) {
    const std::uint64_t at = Le64(locator, 8);
    std::string buffer;
    const std::string_view record = Bytes(at, kZip64EndSize, buffer);
    if (record.size() < kZip64EndSize || Le32(record, 0) != kZip64End || at > endAt - kLocatorSize) BrokenDirectory();
    disk = Le32(record, 16);
    directoryDisk = Le32(record, 20);
    onDisk = Le64(record, 24);
    count = Le64(record, 32);
    directorySize = Le64(record, 40);
    directoryAt = Le64(record, 48);
    directoryEnd = at;
  } else if (count == kMore16 || directorySize == kMore32 || directoryAt == kMore32) {
    BrokenDirectory();
  }
  if (disk != 0 || directoryDisk != 0 || onDisk != count) Fail("不是有效的 Excel 工作簿（不支持分卷的 zip 压缩包）");
  // Checked, the directory ends where the next record begins; read, it ends there at the latest.
  if (directoryAt > directoryEnd || directorySize > directoryEnd - directoryAt ||
      (check && directorySize != directoryEnd - directoryAt) || count > directorySize / kDirectorySize) {
    BrokenDirectory();
  }

  std::string directoryBuffer;
  const std::string_view directory = Bytes(directoryAt, static_cast<std::size_t>(directorySize), directoryBuffer);
  if (directory.size() != directorySize) BrokenDirectory();
  entries_.reserve(static_cast<std::size_t>(count));
  std::size_t at = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (at + kDirectorySize > directory.size() || Le32(directory, at) != kDirectoryHeader) BrokenDirectory();
    const std::size_t nameSize = Le16(directory, at + 28), extraSize = Le16(directory, at + 30);
    const std::size_t commentSize = Le16(directory, at + 32);
    const std::size_t next = at + kDirectorySize + nameSize + extraSize + commentSize;
    if (next > directory.size()) BrokenDirectory();
    Entry e;
    const std::uint16_t flags = Le16(directory, at + 8);
    e.system = static_cast<std::uint8_t>(Le16(directory, at + 4) >> 8);
    e.method = Le16(directory, at + 10);
    e.dosDate = static_cast<std::uint32_t>(Le16(directory, at + 14)) << 16 | Le16(directory, at + 12);
    e.crc = Le32(directory, at + 16);
    e.compressedSize = Le32(directory, at + 20);
    e.size = Le32(directory, at + 24);
    std::uint64_t entryDisk = Le16(directory, at + 34);
    e.externalAttributes = Le32(directory, at + 38);
    e.offset = Le32(directory, at + 42);
    e.name = std::string(directory.substr(at + kDirectorySize, nameSize));
    e.encrypted = flags & kEncryptedFlag;
    e.utf8Name = (flags & kUtf8Flag) &&
                 std::any_of(e.name.begin(), e.name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    std::uint64_t* const fields[] = {&e.size, &e.compressedSize, &e.offset, &entryDisk};
    const bool present[] = {e.size == kMore32, e.compressedSize == kMore32, e.offset == kMore32, entryDisk == kMore16};
    if ((present[0] || present[1] || present[2] || present[3]) &&
        !ApplyZip64(directory.substr(at + kDirectorySize + nameSize, extraSize), fields, present, 4)) {
      BrokenDirectory();
    }
    if (entryDisk != 0) Fail("不是有效的 Excel 工作簿（不支持分卷的 zip 压缩包）");
    if (e.offset >= directoryAt) BrokenDirectory();
    const auto [it, added] = byName_.emplace(Lower(e.name), entries_.size());
    if (!added && entries_[it->second].name == e.name) Fail("压缩包中部件“" + e.name + "”出现了两次");
    if (!added) Fail("压缩包中有两个名称只差大小写的部件“" + entries_[it->second].name + "”和“" + e.name + "”");
    entries_.push_back(std::move(e));
    at = next;
  }
}

const ZipArchive::Entry* ZipArchive::Find(std::string_view name) const {
  auto it = byName_.find(Lower(name));
  return it == byName_.end() ? nullptr : &entries_[it->second];
}

std::uint64_t ZipArchive::DataOffset(const Entry& entry, bool check) const {
  std::string buffer;
  std::string_view header = Bytes(entry.offset, kLocalSize, buffer);
  if (header.size() < kLocalSize || Le32(header, 0) != kLocalHeader) Fail("无法读取压缩包中的“" + entry.name + "”");
  const std::size_t nameSize = Le16(header, 26), extraSize = Le16(header, 28);
  const std::uint64_t data = entry.offset + kLocalSize + nameSize + extraSize;
  if (!check) return data;
  const std::uint16_t flags = Le16(header, 6);
  const int method = Le16(header, 8);
  const std::uint32_t crc = Le32(header, 14);
  std::uint64_t compressedSize = Le32(header, 18), size = Le32(header, 22);
  header = Bytes(entry.offset + kLocalSize, nameSize + extraSize, buffer);
  bool agrees = header.size() == nameSize + extraSize && header.substr(0, nameSize) == entry.name && method == entry.method;
  if (agrees && !(flags & kDescriptorFlag)) {
    std::uint64_t* const fields[] = {&size, &compressedSize};
    const bool present[] = {size == kMore32, compressedSize == kMore32};
    if (present[0] || present[1]) agrees = ApplyZip64(header.substr(nameSize), fields, present, 2);
    agrees = agrees && crc == entry.crc && size == entry.size && compressedSize == entry.compressedSize;
  }
  if (!agrees) Fail("压缩包中的“" + entry.name + "”已损坏（本地文件头与目录不符）");
  return data;
}

std::string_view ZipArchive::Stored(const Entry& entry, std::string& buffer) const {
  if (entry.encrypted) Fail("压缩包中的“" + entry.name + "”已加密，无法读取");
  const std::string broken = "压缩包中的“" + entry.name + "”已损坏（数据不完整）";
  if (entry.compressedSize > size_) Fail(broken);
  const std::uint64_t at = DataOffset(entry, false);
  const std::string_view stored = Bytes(at, static_cast<std::size_t>(entry.compressedSize), buffer);
  if (stored.size() != entry.compressedSize) Fail(broken);
  return stored;
}

std::string ZipArchive::ReadRaw(const Entry& entry) const {
  std::string buffer;
  const std::string_view stored = Stored(entry, buffer);
  return stored.data() == buffer.data() ? std::move(buffer) : std::string(stored);
}

std::string ZipArchive::Read(const Entry& entry) const {
  if (entry.method == kDeflated) return Inflate(entry);
  if (entry.method != kStored) {
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
  std::string buffer;
  const std::string_view deflated = Stored(entry, buffer);
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
