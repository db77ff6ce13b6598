#include "xlsx/XlsxExporter.h"

#include <minizip/unzip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <xlsxwriter.h>

#include "numfmt/BuiltinNumberFormats.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/ZipRewriter.h"

namespace spreadsheet {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "无法保存文件“" + path + "”：" + what);
}

// libxlsxwriter prints numbers with 16 significant digits, which loses the last bit of
// some doubles (0.1 + 0.2). Such cells are noted, in the row-major order libxlsxwriter
// writes its cells in, with their shortest exact text, and patched into the sheet XML.
struct ExactNumber {
  int row;
  int col;
  char text[32];
  std::uint8_t length;
};
using ExactNumbers = std::vector<ExactNumber>;

bool SixteenDigitsExact(double d) {
  char buf[40];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, 15);
  double back = 0;
  std::from_chars(buf, end, back);
  return std::memcmp(&back, &d, sizeof d) == 0;
}

ExactNumber Exact(int row, int col, double d) {
  ExactNumber e{row, col, {}, 0};
  auto [end, ec] = std::to_chars(e.text, e.text + sizeof e.text, d);
  e.length = static_cast<std::uint8_t>(end - e.text);
  return e;
}

lxw_color_t Color(std::uint32_t rgb) { return rgb == 0 ? lxw_color_t{LXW_COLOR_BLACK} : rgb; }

std::uint8_t BorderCode(BorderStyle s) {
  switch (s) {
    case BorderStyle::Thin: return LXW_BORDER_THIN;
    case BorderStyle::Medium: return LXW_BORDER_MEDIUM;
    case BorderStyle::Thick: return LXW_BORDER_THICK;
    case BorderStyle::Dashed: return LXW_BORDER_DASHED;
    case BorderStyle::Dotted: return LXW_BORDER_DOTTED;
    case BorderStyle::Double: return LXW_BORDER_DOUBLE;
    case BorderStyle::Hair: return LXW_BORDER_HAIR;
    case BorderStyle::None: break;
  }
  return LXW_BORDER_NONE;
}

class FormatTable {
 public:
  FormatTable(lxw_workbook* book, const Workbook& wb) : book_(book), wb_(wb), formats_(wb.StyleCount(), nullptr) {}

  // nullptr for the default style, as libxlsxwriter expects.
  lxw_format* Get(std::uint32_t style) {
    if (style == 0 || style >= formats_.size()) return nullptr;
    if (!formats_[style]) formats_[style] = Make(wb_.Style(style));
    return formats_[style];
  }

 private:
  lxw_format* Make(const CellStyle& s) {
    lxw_format* f = workbook_add_format(book_);
    if (s.numberFormat != "General" && !s.numberFormat.empty()) {
      const int id = BuiltinNumberFormats::IdOf(s.numberFormat);
      if (id > 0) {
        format_set_num_format_index(f, static_cast<std::uint8_t>(id));
      } else {
        format_set_num_format(f, s.numberFormat.c_str());
      }
    }
    if (!s.fontName.empty()) format_set_font_name(f, s.fontName.c_str());
    if (s.fontSize > 0) format_set_font_size(f, s.fontSize);
    if (s.bold) format_set_bold(f);
    if (s.italic) format_set_italic(f);
    if (s.fontColor) format_set_font_color(f, Color(*s.fontColor));
    switch (s.horizontal) {
      case HorizontalAlignment::Left: format_set_align(f, LXW_ALIGN_LEFT); break;
      case HorizontalAlignment::Center: format_set_align(f, LXW_ALIGN_CENTER); break;
      case HorizontalAlignment::Right: format_set_align(f, LXW_ALIGN_RIGHT); break;
      case HorizontalAlignment::General: break;
    }
    switch (s.vertical) {
      case VerticalAlignment::Top: format_set_align(f, LXW_ALIGN_VERTICAL_TOP); break;
      case VerticalAlignment::Center: format_set_align(f, LXW_ALIGN_VERTICAL_CENTER); break;
      case VerticalAlignment::Bottom: break;
    }
    if (s.wrapText) format_set_text_wrap(f);
    auto side = [&](const Border& b, void (*setStyle)(lxw_format*, std::uint8_t),
                    void (*setColor)(lxw_format*, lxw_color_t)) {
      if (b.style == BorderStyle::None) return;
      setStyle(f, BorderCode(b.style));
      if (b.color != 0) setColor(f, b.color);
    };
    side(s.left, format_set_left, format_set_left_color);
    side(s.right, format_set_right, format_set_right_color);
    side(s.top, format_set_top, format_set_top_color);
    side(s.bottom, format_set_bottom, format_set_bottom_color);
    if (s.fill) {
      format_set_pattern(f, LXW_PATTERN_SOLID);
      format_set_bg_color(f, Color(*s.fill));
    }
    return f;
  }

  lxw_workbook* book_;
  const Workbook& wb_;
  std::vector<lxw_format*> formats_;
};

std::string CellName(int row, int col) { return CellAddress{row, col}.ToString(); }

// Length of the well-formed UTF-8 sequence at text[i] (no overlong forms, surrogates or code
// points beyond U+10FFFF), or 0.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u; };
  const unsigned lead = byte(0);
  const auto tail = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
    return byte(k) >= low && byte(k) <= high;
  };
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return tail(1) ? 2 : 0;
  if (lead == 0xE0) return tail(1, 0xA0) && tail(2) ? 3 : 0;
  if (lead == 0xED) return tail(1, 0x80, 0x9F) && tail(2) ? 3 : 0;
  if (lead >= 0xE1 && lead <= 0xEF) return tail(1) && tail(2) ? 3 : 0;
  if (lead == 0xF0) return tail(1, 0x90) && tail(2) && tail(3) ? 4 : 0;
  if (lead >= 0xF1 && lead <= 0xF3) return tail(1) && tail(2) && tail(3) ? 4 : 0;
  if (lead == 0xF4) return tail(1, 0x80, 0x8F) && tail(2) && tail(3) ? 4 : 0;
  return 0;
}

// A sheet name goes into an XML attribute as a C string: a NUL would cut it short (two sheets
// could then share a name) and other control characters or stray bytes break the file.
bool IsWritableSheetName(const std::string& name) {
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t n = Utf8SequenceAt(name, i);
    if (n == 0 || static_cast<unsigned char>(name[i]) < 0x20) return false;
    i += n;
  }
  return true;
}

// The text with every byte that starts no well-formed UTF-8 sequence replaced by U+FFFD, as
// the grid shows it: one such byte in a part makes the whole file unreadable to every other
// spreadsheet program. A text from a broken file or a caller can carry them.
const char* WellFormedUtf8(const std::string& text, std::string& repaired) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = Utf8SequenceAt(text, i);
    if (n == 0) break;
    i += n;
  }
  if (i == text.size()) return text.c_str();
  repaired.assign(text, 0, i);
  while (i < text.size()) {
    const std::size_t n = Utf8SequenceAt(text, i);
    if (n == 0) {
      repaired += "\xEF\xBF\xBD";
      ++i;
    } else {
      repaired.append(text, i, n);
      i += n;
    }
  }
  return repaired.c_str();
}

void Check(lxw_error err, const std::string& path, const std::string& where) {
  if (err != LXW_NO_ERROR) Fail(path, where + "：" + lxw_strerror(err));
}

void WriteSheet(lxw_workbook* book, lxw_worksheet* ws, const Worksheet& sheet, FormatTable& formats,
                ExactNumbers& exact, const std::string& path) {
  const std::string where = "工作表“" + sheet.Name() + "”";
  // Column widths and default styles, one <col> per column that has either.
  std::map<int, std::pair<double, std::uint32_t>> columns;
  for (const auto& [col, width] : sheet.ColumnWidths()) columns[col] = {width, 0};
  for (const auto& [col, style] : sheet.ColumnStyles()) {
    auto [it, added] = columns.try_emplace(col, LXW_DEF_COL_WIDTH, style);
    if (!added) it->second.second = style;
  }
  for (const auto& [col, widthAndStyle] : columns) {
    Check(worksheet_set_column(ws, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(col), widthAndStyle.first,
                               formats.Get(widthAndStyle.second)),
          path, where + "的列 " + CellAddress::ColumnName(col));
  }
  for (const auto& [row, height] : sheet.RowHeights()) {
    Check(worksheet_set_row(ws, static_cast<lxw_row_t>(row), height, nullptr), path,
          where + "的第 " + std::to_string(row + 1) + " 行");
  }
  // Merges first: libxlsxwriter fills the merged cells, and the cells written below then
  // overwrite them with what the model holds.
  for (const CellRange& m : sheet.Merges()) {
    Check(worksheet_merge_range(ws, static_cast<lxw_row_t>(m.first.row), static_cast<lxw_col_t>(m.first.column),
                                static_cast<lxw_row_t>(m.last.row), static_cast<lxw_col_t>(m.last.column), "", nullptr),
          path, where + "的合并区域 " + m.ToString());
  }
  std::string formula;
  std::string repaired;
  std::string repairedFormula;
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    const auto& row = sheet.Row(r);
    for (std::size_t c = 0; c < row.size(); ++c) {
      const Cell& cell = row[c];
      const auto rr = static_cast<lxw_row_t>(r);
      const auto cc = static_cast<lxw_col_t>(c);
      // A cell record without a style shows General in every spreadsheet program, whatever
      // its column's format: a cell with no style of its own is written with its column's.
      lxw_format* f = formats.Get(cell.style != 0 ? cell.style : sheet.ColumnStyle(static_cast<int>(c)));
      lxw_error err = LXW_NO_ERROR;
      const double* number = std::get_if<double>(&cell.value);
      if (number && !std::isfinite(*number)) {
        // No file format has NaN or an infinity as a cell value; writing "inf" would break the file.
        Fail(path, where + "的单元格 " + CellName(r, static_cast<int>(c)) + " 中的数值 " +
                       (std::isnan(*number) ? std::string("NaN") : *number > 0 ? std::string("∞") : std::string("-∞")) +
                       " 不是有限数，无法写入文件");
      }
      if (cell.HasFormula()) {
        formula.assign("=").append(cell.formula);
        if (number) {
          err = worksheet_write_formula_num(ws, rr, cc, WellFormedUtf8(formula, repairedFormula), f, *number);
        } else if (const std::string* s = std::get_if<std::string>(&cell.value)) {
          err = worksheet_write_formula_str(ws, rr, cc, WellFormedUtf8(formula, repairedFormula), f,
                                            WellFormedUtf8(*s, repaired));
        } else {
          err = worksheet_write_formula_str(ws, rr, cc, WellFormedUtf8(formula, repairedFormula), f, "");
        }
      } else if (number) {
        err = worksheet_write_number(ws, rr, cc, *number, f);
      } else if (const std::string* s = std::get_if<std::string>(&cell.value)) {
        err = worksheet_write_string(ws, rr, cc, WellFormedUtf8(*s, repaired), f);
      } else if (f) {
        err = worksheet_write_blank(ws, rr, cc, f);
      }
      if (err == LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED) {
        Fail(path, where + "的单元格 " + CellName(r, static_cast<int>(c)) + " 中的文本超过 32767 个字符");
      }
      if (err != LXW_NO_ERROR) Check(err, path, where + "的单元格 " + CellName(r, static_cast<int>(c)));
      if (number && !SixteenDigitsExact(*number)) exact.push_back(Exact(r, static_cast<int>(c), *number));
    }
  }
  const PrintSetup& p = sheet.Print();
  if (p.landscape) worksheet_set_landscape(ws);
  worksheet_set_paper(ws, static_cast<std::uint8_t>(p.paperSize));
  if (p.repeatRowsFirst >= 0 && p.repeatRowsLast >= p.repeatRowsFirst) {
    Check(worksheet_repeat_rows(ws, static_cast<lxw_row_t>(p.repeatRowsFirst), static_cast<lxw_row_t>(p.repeatRowsLast)),
          path, where + "的打印标题行");
  }
  if (p.fitToWidth > 0) worksheet_fit_to_pages(ws, static_cast<std::uint16_t>(p.fitToWidth), 0);
  if (p.centerHorizontally) worksheet_center_horizontally(ws);
  worksheet_gridlines(ws, p.printGridLines ? LXW_SHOW_ALL_GRIDLINES : LXW_SHOW_SCREEN_GRIDLINES);
  worksheet_set_margins(ws, p.marginLeft, p.marginRight, p.marginTop, p.marginBottom);
  if (sheet.Frozen().rows > 0 || sheet.Frozen().columns > 0) {
    worksheet_freeze_panes(ws, static_cast<lxw_row_t>(sheet.Frozen().rows), static_cast<lxw_col_t>(sheet.Frozen().columns));
  }
  (void)book;
}

// Replaces the <v> text of the listed cells in libxlsxwriter's sheet XML, whose cells read
// <c r="B7" ...>[<f>…</f>]<v>0.3</v></c> in the same row-major order as the list.
std::string PatchSheetXml(const std::string& xml, const ExactNumbers& exact) {
  std::string out;
  out.reserve(xml.size() + exact.size() * 4);
  std::size_t pos = 0;
  std::string needle;
  for (const ExactNumber& e : exact) {
    needle.assign("<c r=\"").append(CellName(e.row, e.col)).append("\"");
    const std::size_t c = xml.find(needle, pos);
    if (c == std::string::npos) continue;
    const std::size_t cellEnd = xml.find("</c>", c);
    const std::size_t v = xml.find("<v>", c);
    const std::size_t vEnd = v == std::string::npos ? v : xml.find("</v>", v);
    if (cellEnd == std::string::npos || v == std::string::npos || vEnd > cellEnd) continue;
    out.append(xml, pos, v + 3 - pos);
    out.append(e.text, e.length);
    pos = vEnd;
  }
  out.append(xml, pos, std::string::npos);
  return out;
}

// Copies the zip at from to to, with the listed numbers patched into their sheets.
bool PatchNumbers(const std::string& from, const std::string& to, const std::vector<ExactNumbers>& exact) {
  auto sheetOf = [&](std::string_view name) -> const ExactNumbers* {
    unsigned sheet = 0;
    const std::string n(name);
    if (std::sscanf(n.c_str(), "xl/worksheets/sheet%u.xml", &sheet) == 1 && sheet >= 1 && sheet <= exact.size() &&
        !exact[sheet - 1].empty()) {
      return &exact[sheet - 1];
    }
    return nullptr;
  };
  return ZipRewriter::Rewrite(
      from, to, [&](std::string_view name) { return sheetOf(name) != nullptr; },
      [&](std::string_view name, std::string xml) { return PatchSheetXml(xml, *sheetOf(name)); });
}

// libxlsxwriter does not notice when its temporary files hit a full disk or a file size
// limit; it then zips truncated XML. Every part is inflated (checking its CRC) and each XML
// part must end with the closing tag of its root element.
bool PackageComplete(const std::string& file) {
  unzFile zip = unzOpen(file.c_str());
  if (!zip) return false;
  bool ok = unzGoToFirstFile(zip) == UNZ_OK;
  std::vector<char> buffer(1 << 16);
  while (ok) {
    char name[1024];
    unz_file_info info;
    ok = unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK &&
         unzOpenCurrentFile(zip) == UNZ_OK;
    if (!ok) break;
    const std::string_view n(name);
    const bool xml = n.size() > 4 && (n.substr(n.size() - 4) == ".xml" || n.substr(n.size() - 5) == ".rels");
    std::string head, tail;
    int got = 0;
    while ((got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
      if (!xml) continue;
      if (head.size() < 512) head.append(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(got), 512));
      tail.append(buffer.data(), static_cast<std::size_t>(got));
      if (tail.size() > 4096) tail.erase(0, tail.size() - 256);
    }
    ok = got == 0 && unzCloseCurrentFile(zip) == UNZ_OK;
    if (ok && xml) {
      // The root element: the first tag that is no declaration.
      std::size_t lt = head.find('<');
      while (lt != std::string::npos && lt + 1 < head.size() && head[lt + 1] == '?') lt = head.find('<', lt + 1);
      const std::size_t nameEnd = lt == std::string::npos ? lt : head.find_first_of(" />", lt + 1);
      const std::string root = nameEnd == std::string::npos ? std::string() : head.substr(lt + 1, nameEnd - lt - 1);
      while (!tail.empty() && std::isspace(static_cast<unsigned char>(tail.back()))) tail.pop_back();
      const std::string close = "</" + root + ">";
      ok = !root.empty() && (tail.size() >= close.size() && tail.compare(tail.size() - close.size(), close.size(), close) == 0);
      if (!ok && tail.size() >= 2 && tail.compare(tail.size() - 2, 2, "/>") == 0 && head.find('<', nameEnd) == std::string::npos) {
        ok = true;  // a self-closed root element
      }
    }
    if (!ok) break;
    const int next = unzGoToNextFile(zip);
    if (next == UNZ_END_OF_LIST_OF_FILE) break;
    ok = next == UNZ_OK;
  }
  unzClose(zip);
  return ok;
}

mode_t NewFileMode(const fs::path& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  // No previous file: what the process umask grants, read without changing it.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  }
  return 0644;
}

// A unique empty file beside the target, removed again unless Keep() is called.
class TempFile {
 public:
  TempFile(const fs::path& dir, const std::string& stem, const std::string& path, mode_t mode) {
    std::string pattern = (dir / ("." + stem + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) Fail(path, std::string("无法在文件夹中创建临时文件（") + std::strerror(errno) + "）");
    ::fchmod(fd, mode);
    ::close(fd);
    name_ = pattern;
  }
  ~TempFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Name() const { return name_; }
  void Keep() { name_.clear(); }

 private:
  std::string name_;
};

void SyncFile(const std::string& name, const std::string& path) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    Fail(path, std::string("写入磁盘失败（") + std::strerror(err) + "）");
  }
  ::close(fd);
}

}  // namespace

void XlsxExporter::Save(const Workbook& wb, const std::string& path) {
  const fs::path target(path);
  std::error_code ec;
  if (fs::is_directory(target, ec)) Fail(path, "目标是一个文件夹");
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  if (!fs::is_directory(dir, ec)) {
    Fail(path, fs::exists(dir, ec) ? "“" + dir.string() + "”不是文件夹" : "文件夹“" + dir.string() + "”不存在");
  }
  if (wb.SheetCount() == 0) Fail(path, "工作簿中没有工作表");

  const mode_t mode = NewFileMode(target);
  TempFile written(dir, target.filename().string(), path, mode);
  std::vector<ExactNumbers> exact(wb.SheetCount());
  {
    lxw_workbook* book = workbook_new(written.Name().c_str());
    if (!book) Fail(path, "无法创建工作簿");
    try {
      FormatTable formats(book, wb);
      for (std::size_t i = 0; i < wb.SheetCount(); ++i) {
        const Worksheet& sheet = wb.SheetAt(i);
        if (!IsWritableSheetName(sheet.Name())) {
          std::string shown;
          Fail(path, std::string("工作表名称“") + WellFormedUtf8(sheet.Name(), shown) +
                         "”无效（含有控制字符或不是有效的 UTF-8 文本）");
        }
        lxw_worksheet* ws = workbook_add_worksheet(book, sheet.Name().c_str());
        if (!ws) {
          const lxw_error err = workbook_validate_sheet_name(book, sheet.Name().c_str());
          Fail(path, "工作表名称“" + sheet.Name() + "”无效（" + lxw_strerror(err) + "）");
        }
        WriteSheet(book, ws, sheet, formats, exact[i], path);
        if (i == wb.ActiveSheet()) worksheet_activate(ws);
      }
    } catch (...) {
      // Closing is the only way to free the workbook; its half-written file is discarded.
      workbook_close(book);
      throw;
    }
    errno = 0;
    const lxw_error err = workbook_close(book);
    if (err != LXW_NO_ERROR) {
      const int e = errno;
      Fail(path, std::string("写入失败（") + lxw_strerror(err) + (e ? std::string("；") + std::strerror(e) : "") + "）");
    }
  }

  if (!PackageComplete(written.Name())) Fail(path, "写入失败：磁盘空间不足或文件大小超过限制，文件不完整");
  bool needsPatch = false;
  for (const auto& e : exact) needsPatch = needsPatch || !e.empty();
  if (needsPatch) {
    TempFile patched(dir, target.filename().string(), path, mode);
    errno = 0;
    if (!PatchNumbers(written.Name(), patched.Name(), exact)) {
      const int e = errno;
      Fail(path, std::string("写入失败") + (e ? std::string("（") + std::strerror(e) + "）" : ""));
    }
    SyncFile(patched.Name(), path);
    if (::rename(patched.Name().c_str(), path.c_str()) != 0) {
      Fail(path, std::string("无法替换原文件（") + std::strerror(errno) + "）");
    }
    patched.Keep();
    return;
  }
  SyncFile(written.Name(), path);
  if (::rename(written.Name().c_str(), path.c_str()) != 0) {
    Fail(path, std::string("无法替换原文件（") + std::strerror(errno) + "）");
  }
  written.Keep();
}

}  // namespace spreadsheet
