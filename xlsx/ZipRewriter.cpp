#include "xlsx/ZipRewriter.h"

#include <vector>

#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace spreadsheet {

bool ZipRewriter::Rewrite(const std::string& from, const std::string& to, const Picker& wants, const Editor& edit) {
  unzFile in = unzOpen(from.c_str());
  if (!in) return false;
  zipFile out = zipOpen(to.c_str(), APPEND_STATUS_CREATE);
  if (!out) {
    unzClose(in);
    return false;
  }
  bool ok = unzGoToFirstFile(in) == UNZ_OK;
  std::vector<char> buffer(1 << 16);
  while (ok) {
    unz_file_info info;
    char name[1024];
    ok = unzGetCurrentFileInfo(in, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK;
    if (!ok) break;
    zip_fileinfo zi{};
    zi.dosDate = info.dosDate;
    zi.internal_fa = info.internal_fa;
    zi.external_fa = info.external_fa;
    if (wants(name)) {
      ok = unzOpenCurrentFile(in) == UNZ_OK;
      std::string content;
      int n = 0;
      while (ok && (n = unzReadCurrentFile(in, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        content.append(buffer.data(), static_cast<std::size_t>(n));
      }
      ok = ok && n == 0 && unzCloseCurrentFile(in) == UNZ_OK;
      const std::string edited = ok ? edit(name, std::move(content)) : std::string();
      ok = ok && zipOpenNewFileInZip(out, name, &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_BEST_SPEED) == ZIP_OK;
      ok = ok && zipWriteInFileInZip(out, edited.data(), static_cast<unsigned>(edited.size())) == ZIP_OK;
      ok = ok && zipCloseFileInZip(out) == ZIP_OK;
    } else {
      int method = 0, level = 0;
      ok = unzOpenCurrentFile2(in, &method, &level, 1) == UNZ_OK;
      ok = ok && zipOpenNewFileInZip2(out, name, &zi, nullptr, 0, nullptr, 0, nullptr, method, level, 1) == ZIP_OK;
      int n = 0;
      while (ok && (n = unzReadCurrentFile(in, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
        ok = zipWriteInFileInZip(out, buffer.data(), static_cast<unsigned>(n)) == ZIP_OK;
      }
      ok = ok && n == 0 && zipCloseFileInZipRaw(out, info.uncompressed_size, info.crc) == ZIP_OK;
      ok = unzCloseCurrentFile(in) == UNZ_OK && ok;
    }
    if (!ok) break;
    const int next = unzGoToNextFile(in);
    if (next == UNZ_END_OF_LIST_OF_FILE) break;
    ok = next == UNZ_OK;
  }
  ok = zipClose(out, nullptr) == ZIP_OK && ok;
  unzClose(in);
  return ok;
}

}  // namespace spreadsheet
