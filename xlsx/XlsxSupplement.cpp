#include "xlsx/XlsxSupplement.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include <minizip/unzip.h>

#include "workbook/CellAddress.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

class Zip {
 public:
  explicit Zip(const std::string& path) : file_(unzOpen(path.c_str())) {
    if (!file_) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "不是有效的 zip 压缩包");
  }
  ~Zip() { unzClose(file_); }
  Zip(const Zip&) = delete;
  Zip& operator=(const Zip&) = delete;

  // The entry's whole content, or nullopt when the archive lacks it or it cannot be read.
  std::optional<std::string> Read(const std::string& name) {
    if (unzLocateFile(file_, name.c_str(), 0) != UNZ_OK) return std::nullopt;
    if (unzOpenCurrentFile(file_) != UNZ_OK) return std::nullopt;
    std::string out;
    char buf[65536];
    int n = 0;
    while ((n = unzReadCurrentFile(file_, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    const bool ok = n == 0 && unzCloseCurrentFile(file_) == UNZ_OK;
    if (!ok) return std::nullopt;
    return out;
  }

 private:
  unzFile file_;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Finds the next element "<name" at or after pos; returns the text of its start tag from '<'
// to '>' inclusive, and moves pos past it. Empty when there is none.
std::string_view NextTag(std::string_view xml, std::string_view name, std::size_t& pos) {
  for (;;) {
    const std::size_t lt = xml.find('<', pos);
    if (lt == std::string_view::npos) break;
    pos = lt + 1;
    if (xml.compare(lt + 1, name.size(), name) != 0) continue;
    const std::size_t after = lt + 1 + name.size();
    if (after >= xml.size() || !(IsSpace(xml[after]) || xml[after] == '/' || xml[after] == '>')) continue;
    const std::size_t gt = xml.find('>', after);
    if (gt == std::string_view::npos) break;
    pos = gt + 1;
    return xml.substr(lt, gt + 1 - lt);
  }
  pos = xml.size();
  return {};
}

std::optional<std::string_view> Attribute(std::string_view tag, std::string_view name) {
  std::size_t pos = 0;
  while ((pos = tag.find(name, pos)) != std::string_view::npos) {
    const std::size_t eq = pos + name.size();
    const bool starts = pos > 0 && IsSpace(tag[pos - 1]);
    if (starts && eq + 1 < tag.size() && tag[eq] == '=' && (tag[eq + 1] == '"' || tag[eq + 1] == '\'')) {
      const char quote = tag[eq + 1];
      const std::size_t end = tag.find(quote, eq + 2);
      if (end == std::string_view::npos) return std::nullopt;
      return tag.substr(eq + 2, end - eq - 2);
    }
    pos = eq;
  }
  return std::nullopt;
}

template <typename T>
std::optional<T> NumberAttribute(std::string_view tag, std::string_view name) {
  auto text = Attribute(tag, name);
  if (!text) return std::nullopt;
  T v{};
  auto [p, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
  if (ec != std::errc{} || p != text->data() + text->size()) return std::nullopt;
  return v;
}

bool BoolAttribute(std::string_view tag, std::string_view name, bool fallback) {
  auto text = Attribute(tag, name);
  if (!text) return fallback;
  return *text == "1" || *text == "true";
}

std::vector<bool> ReadWrapFlags(std::string_view styles) {
  std::vector<bool> wrap;
  std::size_t pos = 0;
  if (NextTag(styles, "cellXfs", pos).empty()) return wrap;
  const std::size_t end = std::min(styles.find("</cellXfs>", pos), styles.size());
  const std::string_view xfs = styles.substr(pos, end - pos);
  // Each <xf> is either self-closed or holds an <alignment> before its </xf>.
  std::size_t p = 0;
  for (;;) {
    std::string_view xf = NextTag(xfs, "xf", p);
    if (xf.empty()) break;
    bool w = false;
    if (xf[xf.size() - 2] != '/') {
      const std::size_t close = std::min(xfs.find("</xf>", p), xfs.size());
      std::size_t q = p;
      std::string_view align = NextTag(xfs.substr(0, close), "alignment", q);
      if (!align.empty()) w = BoolAttribute(align, "wrapText", false);
      p = close;
    }
    wrap.push_back(w);
  }
  return wrap;
}

// "B7" → row 6, column 1; false for anything else.
bool ParseReference(std::string_view r, long& row, long& col) {
  std::size_t i = 0;
  long c = 0;
  while (i < r.size() && i < 4 && r[i] >= 'A' && r[i] <= 'Z') c = c * 26 + (r[i++] - 'A' + 1);
  if (i == 0 || c < 1) return false;
  long rr = 0;
  auto [p, ec] = std::from_chars(r.data() + i, r.data() + r.size(), rr);
  if (ec != std::errc{} || p != r.data() + r.size() || rr < 1) return false;
  row = rr - 1;
  col = c - 1;
  return true;
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x110000) {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// XML character data with its five named entities and numeric references resolved.
std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    const std::size_t semi = s.find(';', i);
    if (semi == std::string_view::npos) {
      out += s[i];
      continue;
    }
    const std::string_view e = s.substr(i + 1, semi - i - 1);
    if (e == "amp") out += '&';
    else if (e == "lt") out += '<';
    else if (e == "gt") out += '>';
    else if (e == "quot") out += '"';
    else if (e == "apos") out += '\'';
    else if (!e.empty() && e[0] == '#') {
      unsigned long cp = 0;
      const bool hex = e.size() > 1 && (e[1] == 'x' || e[1] == 'X');
      const char* first = e.data() + (hex ? 2 : 1);
      auto [p, ec] = std::from_chars(first, e.data() + e.size(), cp, hex ? 16 : 10);
      if (ec != std::errc{} || p != e.data() + e.size()) {
        out.append(s.substr(i, semi - i + 1));
      } else {
        AppendUtf8(out, cp);
      }
    } else {
      out.append(s.substr(i, semi - i + 1));
    }
    i = semi;
  }
  return out;
}

// The text of an <is> element: its <t> runs, also inside rich-text <r> runs, joined.
std::string InlineText(std::string_view is) {
  std::string text;
  std::size_t pos = 0;
  for (;;) {
    std::string_view t = NextTag(is, "t", pos);
    if (t.empty() || t[t.size() - 2] == '/') {
      if (t.empty()) break;
      continue;
    }
    const std::size_t end = is.find("</t>", pos);
    if (end == std::string_view::npos) break;
    text += Unescape(is.substr(pos, end - pos));
    pos = end + 4;
  }
  return text;
}

void ReadCells(std::string_view xml, XlsxSupplement::Sheet& sheet) {
  std::size_t pos = xml.find("<sheetData");
  if (pos == std::string_view::npos) return;
  for (;;) {
    std::string_view tag = NextTag(xml, "c", pos);
    if (tag.empty()) break;
    if (tag[tag.size() - 2] == '/') continue;
    const std::size_t close = xml.find("</c>", pos);
    if (close == std::string_view::npos) break;
    const auto type = Attribute(tag, "t");
    const auto ref = Attribute(tag, "r");
    long row = 0, col = 0;
    if (!ref || !ParseReference(*ref, row, col)) {
      pos = close + 4;
      continue;
    }
    const std::string_view content = xml.substr(pos, close - pos);
    if (type == std::optional<std::string_view>("inlineStr")) {
      const std::size_t is = content.find("<is");
      if (is != std::string_view::npos) sheet.inlineTexts.push_back({row, col, InlineText(content.substr(is))});
    } else if ((!type || *type == "n") && row < CellAddress::kMaxRows && col < CellAddress::kMaxColumns) {
      const std::size_t v = content.find("<v>");
      const std::size_t vEnd = v == std::string_view::npos ? v : content.find("</v>", v);
      if (vEnd != std::string_view::npos) {
        double d = 0;
        const char* first = content.data() + v + 3;
        const char* last = content.data() + vEnd;
        auto [p, ec] = std::from_chars(first, last, d);
        if (ec == std::errc{} && p == last) sheet.numbers.push_back({static_cast<int>(row), static_cast<int>(col), d});
      }
    }
    pos = close + 4;
  }
}

void ReadSheet(std::string_view xml, XlsxSupplement::Sheet& sheet) {
  const std::size_t colsEnd = xml.find("<sheetData");
  const std::string_view head = xml.substr(0, colsEnd == std::string_view::npos ? xml.size() : colsEnd);
  std::size_t pos = 0;
  bool fitToPage = false;
  if (std::string_view pr = NextTag(head, "pageSetUpPr", pos); !pr.empty()) fitToPage = BoolAttribute(pr, "fitToPage", false);
  pos = 0;
  for (;;) {
    std::string_view col = NextTag(head, "col", pos);
    if (col.empty()) break;
    const auto style = NumberAttribute<std::uint32_t>(col, "style");
    const auto min = NumberAttribute<long>(col, "min");
    const auto max = NumberAttribute<long>(col, "max");
    if (!style || !min || !max || *min < 1) continue;
    const long last = std::min<long>(*max, CellAddress::kMaxColumns);
    for (long c = *min; c <= last; ++c) sheet.columnFormats[static_cast<int>(c - 1)] = *style;
  }

  // Page layout elements follow the cell data.
  const std::size_t tailStart = xml.rfind("</sheetData>");
  const std::string_view tail = xml.substr(tailStart == std::string_view::npos ? 0 : tailStart);
  PrintSetup& p = sheet.print;
  pos = 0;
  if (std::string_view o = NextTag(tail, "printOptions", pos); !o.empty()) {
    p.centerHorizontally = BoolAttribute(o, "horizontalCentered", false);
    p.printGridLines = BoolAttribute(o, "gridLines", false);
  }
  pos = 0;
  if (std::string_view m = NextTag(tail, "pageMargins", pos); !m.empty()) {
    p.marginLeft = NumberAttribute<double>(m, "left").value_or(p.marginLeft);
    p.marginRight = NumberAttribute<double>(m, "right").value_or(p.marginRight);
    p.marginTop = NumberAttribute<double>(m, "top").value_or(p.marginTop);
    p.marginBottom = NumberAttribute<double>(m, "bottom").value_or(p.marginBottom);
  }
  pos = 0;
  if (std::string_view s = NextTag(tail, "pageSetup", pos); !s.empty()) {
    p.paperSize = NumberAttribute<int>(s, "paperSize").value_or(p.paperSize);
    p.landscape = Attribute(s, "orientation") == std::optional<std::string_view>("landscape");
    if (fitToPage) p.fitToWidth = NumberAttribute<int>(s, "fitToWidth").value_or(1);
  } else if (fitToPage) {
    p.fitToWidth = 1;
  }
}

// The sheet parts in workbook order, as workbook.xml and its relationships name them.
std::vector<std::string> SheetParts(Zip& zip, std::optional<std::size_t>& activeSheet) {
  std::vector<std::string> parts;
  const auto workbook = zip.Read("xl/workbook.xml");
  const auto rels = zip.Read("xl/_rels/workbook.xml.rels");
  if (!workbook || !rels) return parts;
  std::size_t view = 0;
  if (std::string_view v = NextTag(*workbook, "workbookView", view); !v.empty()) {
    activeSheet = NumberAttribute<std::size_t>(v, "activeTab");
  }
  std::map<std::string, std::string, std::less<>> targets;
  std::size_t pos = 0;
  for (;;) {
    std::string_view rel = NextTag(*rels, "Relationship", pos);
    if (rel.empty()) break;
    auto id = Attribute(rel, "Id");
    auto target = Attribute(rel, "Target");
    if (!id || !target) continue;
    std::string t(*target);
    t = t.front() == '/' ? t.substr(1) : "xl/" + t;
    targets[std::string(*id)] = t;
  }
  pos = 0;
  for (;;) {
    std::string_view sheet = NextTag(*workbook, "sheet", pos);
    if (sheet.empty()) break;
    auto id = Attribute(sheet, "r:id");
    auto it = id ? targets.find(*id) : targets.end();
    parts.push_back(it == targets.end() ? std::string() : it->second);
  }
  return parts;
}

}  // namespace

XlsxSupplement XlsxSupplement::Read(const std::string& path) {
  XlsxSupplement s;
  Zip zip(path);
  if (auto styles = zip.Read("xl/styles.xml")) s.wrapByFormat = ReadWrapFlags(*styles);
  for (const std::string& part : SheetParts(zip, s.activeSheet)) {
    Sheet& sheet = s.sheets.emplace_back();
    if (part.empty()) continue;
    if (auto xml = zip.Read(part)) {
      ReadSheet(*xml, sheet);
      ReadCells(*xml, sheet);
    }
  }
  return s;
}

}  // namespace spreadsheet
