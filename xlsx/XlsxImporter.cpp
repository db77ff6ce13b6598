#include "xlsx/XlsxImporter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "workbook/SpreadsheetError.h"
#include "xlsx/FormulaResults.h"
#include "xlsx/isolate/HelperProgram.h"
#include "xlsx/isolate/ReaderProcess.h"
#include "xlsx/isolate/ReaderSupply.h"
#include "xlsx/read/XlsxReader.h"

namespace spreadsheet {

namespace {

constexpr int kError = SpreadsheetError::kApplicationDefined;

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SpreadsheetError(kError, "无法打开文件“" + path + "”：" + what);
}

void CheckReadable(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) Fail(path, "文件不存在");
  if (std::filesystem::is_directory(status)) Fail(path, "这是一个文件夹，不是工作簿文件");
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != ".xlsx" && ext != ".xltx" && ext != ".xlsm" && ext != ".xltm") {
    Fail(path, "不支持扩展名为“" + ext + "”的文件，只能打开 .xlsx、.xlsm、.xltx 和 .xltm 工作簿");
  }
}

// The whole file, read once: the reader program parses these very bytes, and the workbook
// keeps them for a save that writes back every part it does not model.
std::shared_ptr<const std::string> ReadBytes(const std::string& path, std::size_t limit) {
  std::FILE* f = std::fopen(path.c_str(), "rbe");
  if (!f) Fail(path, std::string("无法读取文件（") + std::strerror(errno) + "）");
  auto bytes = std::make_shared<std::string>();
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    if (bytes->size() + n > limit) {
      std::fclose(f);
      Fail(path, "文件过大，超过了读取的内存上限");
    }
    bytes->append(buffer, n);
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) Fail(path, "读取文件时出错");
  return bytes;
}

Workbook ReadPackage(const std::string& path, std::shared_ptr<const std::string> bytes) {
  try {
    return XlsxReader::Read(std::move(bytes));
  } catch (const SpreadsheetError& e) {
    Fail(path, e.Description());
  } catch (const std::bad_alloc&) {
    Fail(path, "读取所需的内存超过上限，文件可能已损坏");
  }
}

}  // namespace

Workbook XlsxImporter::LoadInProcess(const std::string& path) {
  CheckReadable(path);
  return ReadPackage(path, ReadBytes(path, Limits{}.memoryBytes));
}

Workbook XlsxImporter::Load(const std::string& path) { return Load(path, Limits{}); }

Workbook XlsxImporter::Load(const std::string& path, const Limits& limits) {
  CheckReadable(path);
  ReaderSupply* readers = limits.readers;
  const std::string reader = readers                ? readers->Program()
                             : limits.reader.empty() ? HelperProgram::Locate(ReaderProcess::kProgram)
                                                     : limits.reader;
  if (reader.empty()) {
    Fail(path, std::string("找不到读取程序 ") + ReaderProcess::kProgram +
                   "（应在本程序所在的文件夹或其旁的 libexec/levelbook 中），请重新安装本程序");
  }
  const ReaderProcess::Limits processLimits = readers ? readers->Limits() : ReaderProcess::Limits{limits.time, limits.memoryBytes};
  const auto bytes = ReadBytes(path, processLimits.memoryBytes);
  Workbook wb;
  if (readers) {
    // The next reader starts once this one has answered (or failed): not competing with it
    // for the processor, and loaded long before the next read of the window or of a batch's
    // worker.
    try {
      ReaderProcess process = readers->Take();
      process.Hand(path, *bytes, limits.leftOut);
      wb = process.Answer(path);
    } catch (...) {
      readers->Refill();
      throw;
    }
    readers->Refill();
  } else {
    wb = ReaderProcess::Read(path, *bytes, processLimits, reader, limits.leftOut);
  }
  // The image from the reader carries everything but the package itself.
  if (const PackageOrigin* origin = wb.Origin()) {
    PackageOrigin kept = *origin;
    kept.bytes = bytes;
    wb.SetOrigin(std::move(kept));
  }
  // Formula results made true here, so every user of a file a user names (the generator, the
  // window) sees computed values: missing or stale ones computed (whether the package asks for
  // recalculation is read from its bytes), uncomputable ones without.
  try {
    FormulaResults::Settle(wb);
  } catch (const std::bad_alloc&) {
    Fail(path, "计算公式所需的内存超过上限");
  }
  return wb;
}

}  // namespace spreadsheet
