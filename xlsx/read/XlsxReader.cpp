#include "xlsx/read/XlsxReader.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "numfmt/BuiltinNumberFormats.h"
#include "workbook/SheetMetrics.h"
#include "workbook/SpreadsheetError.h"
#include "xlsx/read/OpcPackage.h"
#include "xlsx/read/SharedFormula.h"
#include "xlsx/read/SheetCut.h"
#include "xlsx/read/SheetDigest.h"
#include "xlsx/read/Utf8.h"
#include "xlsx/read/XmlReader.h"

namespace spreadsheet {

namespace {

using Node = XmlReader::Node;

constexpr long kFileRows = 1048576;
constexpr long kFileColumns = 16384;

[[noreturn]] void Fail(const std::string& what) { throw SpreadsheetError(SpreadsheetError::kApplicationDefined, what); }

std::string_view Trimmed(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

template <typename T>
std::optional<T> Integer(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  const std::string_view s = Trimmed(*text);
  T v{};
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc{} || p != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<double> Number(std::optional<std::string_view> text) {
  double v = 0;
  if (!text || !XlsxReader::ParseNumber(*text, v)) return std::nullopt;
  return v;
}

bool Flag(std::optional<std::string_view> text, bool fallback) {
  if (!text) return fallback;
  const std::string_view s = Trimmed(*text);
  if (s == "1" || s == "true") return true;
  if (s == "0" || s == "false") return false;
  return fallback;
}

std::string ColumnLetters(long col) {
  std::string s;
  for (long c = col + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
  return s;
}

std::string FileAddress(long row, long col) { return ColumnLetters(col) + std::to_string(row + 1); }

// "B7" → row 6, column 1 (also beyond our sheet, within the file format's); false otherwise.
bool ParseReference(std::string_view r, long& row, long& col) {
  std::size_t i = 0;
  long c = 0;
  while (i < r.size() && i < 3 && r[i] >= 'A' && r[i] <= 'Z') c = c * 26 + (r[i++] - 'A' + 1);
  if (i == 0) return false;
  long rr = 0;
  auto [p, ec] = std::from_chars(r.data() + i, r.data() + r.size(), rr);
  if (ec != std::errc{} || p != r.data() + r.size() || rr < 1 || rr > kFileRows || c > kFileColumns) return false;
  row = rr - 1;
  col = c - 1;
  return true;
}

std::optional<std::uint32_t> Color(XmlReader& r) {
  const auto rgb = r.Attribute("rgb");
  if (!rgb) return std::nullopt;
  const std::string_view s = Trimmed(*rgb);
  std::uint32_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc{} || p != s.data() + s.size() || (s.size() != 6 && s.size() != 8)) return std::nullopt;
  return v & 0xFFFFFFu;
}

BorderStyle ToBorderStyle(std::string_view s) {
  if (s == "thin") return BorderStyle::Thin;
  if (s == "medium") return BorderStyle::Medium;
  if (s == "thick") return BorderStyle::Thick;
  if (s == "dotted") return BorderStyle::Dotted;
  if (s == "double") return BorderStyle::Double;
  if (s == "hair") return BorderStyle::Hair;
  if (s == "dashed" || s == "mediumDashed" || s == "dashDot" || s == "dashDotDot" || s == "mediumDashDot" ||
      s == "mediumDashDotDot" || s == "slantDashDot") {
    return BorderStyle::Dashed;
  }
  return BorderStyle::None;
}

// Days from 1899-12-30 (serial 0 of the 1900 date system) to a civil date.
long SerialDay(long y, long m, long d) {
  auto daysFromCivil = [](long yy, long mm, long dd) {
    yy -= mm <= 2;
    const long era = (yy >= 0 ? yy : yy - 399) / 400;
    const long yoe = yy - era * 400;
    const long doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
  };
  return daysFromCivil(y, m, d) - daysFromCivil(1899, 12, 30);
}

// "2024-03-01", "2024-03-01T12:30:00", "…T12:30:00.5Z" → serial number (1900 system).
std::optional<double> IsoDate(std::string_view s) {
  s = Trimmed(s);
  auto num = [&](std::size_t at, std::size_t len) -> std::optional<long> {
    if (at + len > s.size()) return std::nullopt;
    long v = 0;
    for (std::size_t i = at; i < at + len; ++i) {
      if (s[i] < '0' || s[i] > '9') return std::nullopt;
      v = v * 10 + (s[i] - '0');
    }
    return v;
  };
  const auto y = num(0, 4), m = num(5, 2), d = num(8, 2);
  if (!y || !m || !d || s[4] != '-' || s[7] != '-' || *m < 1 || *m > 12 || *d < 1 || *d > 31) return std::nullopt;
  double serial = static_cast<double>(SerialDay(*y, *m, *d));
  std::string_view rest = s.substr(10);
  if (!rest.empty() && rest.back() == 'Z') rest.remove_suffix(1);
  if (rest.empty()) return serial;
  if (rest[0] != 'T' || rest.size() < 6 || rest[3] != ':') return std::nullopt;
  const auto hh = num(11, 2), mm = num(14, 2);
  if (!hh || !mm || *hh > 24 || *mm > 59) return std::nullopt;
  double seconds = 0;
  if (rest.size() > 6) {
    if (rest[6] != ':') return std::nullopt;
    const std::string_view sec = rest.substr(7);
    auto [p, ec] = std::from_chars(sec.data(), sec.data() + sec.size(), seconds);
    if (sec.empty() || ec != std::errc{} || p != sec.data() + sec.size() || seconds < 0 || seconds >= 61) {
      return std::nullopt;
    }
  }
  return serial + (*hh * 3600.0 + *mm * 60.0 + seconds) / 86400.0;
}

// A stored column width includes 5 pixels of cell padding at 7 pixels per character; what a
// spreadsheet shows (and our model keeps) is the width without it, to two decimals.
double VisibleWidth(double stored) {
  const double pixels = std::round(stored * 7);
  const double characters = pixels < 12 ? pixels / 12 : (pixels - 5) / 7;
  return std::round(characters * 100) / 100;
}

// Cell text with the file format's escapes "_xHHHH_" (characters XML cannot carry, and
// "_x005F_" for a literal underscore before such a sequence) turned back into characters.
std::string Unescaped(std::string text) {
  if (text.find("_x") == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned code = 0;
    if (text[i] == '_' && i + 7 <= text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
      auto [p, ec] = std::from_chars(text.data() + i + 2, text.data() + i + 6, code, 16);
      if (ec == std::errc{} && p == text.data() + i + 6) {
        Utf8::Append(out, code);  // a lone surrogate is no character: U+FFFD
        i += 6;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// The text of an <si> or <is>: its <t>, or the <t> of each rich-text run, joined; phonetic
// runs (<rPh>) are no part of it; escapes not yet undone. Leaves the reader on the element's end.
std::string JoinedRuns(XmlReader& r) {
  std::string text;
  if (r.SelfClosed()) return text;
  const int depth = r.Depth();
  while (r.Read()) {
    if (r.Kind() == Node::End && r.Depth() == depth) break;
    if (r.Kind() != Node::Start) continue;
    if (r.Name() == "t") {
      text += r.ElementText();
    } else if (r.Name() == "rPh") {
      r.Skip();
    }
  }
  return text;
}

std::string RichText(XmlReader& r) { return Unescaped(JoinedRuns(r)); }

struct FontEntry {
  std::string name;
  double size = 0;
  bool bold = false, italic = false;
  std::optional<std::uint32_t> color;
};
struct FillEntry {
  bool solid = false;
  std::optional<std::uint32_t> fg;
};
struct BorderEntry {
  Border left, right, top, bottom;
};
struct XfEntry {
  std::size_t numberFormat = 0, font = 0, fill = 0, border = 0;
  HorizontalAlignment horizontal = HorizontalAlignment::General;
  VerticalAlignment vertical = VerticalAlignment::Bottom;
  bool wrap = false;
};

class StylesReader {
 public:
  void Read(const std::string& xml, const std::string& part) {
    XmlReader r(xml, part);
    while (r.Read()) {
      if (r.Kind() != Node::Start || r.Depth() != 1) continue;
      const std::string_view name = r.Name();
      if (name == "numFmts") ReadList(r, "numFmt", [&] { NumberFormat(r); });
      else if (name == "fonts") ReadList(r, "font", [&] { fonts_.push_back(Font(r)); });
      else if (name == "fills") ReadList(r, "fill", [&] { fills_.push_back(Fill(r)); });
      else if (name == "borders") ReadList(r, "border", [&] { borders_.push_back(BorderOf(r)); });
      else if (name == "cellXfs") ReadList(r, "xf", [&] { xfs_.push_back(Xf(r)); });
      else r.Skip();
    }
  }

  std::size_t Count() const { return xfs_.size(); }

  CellStyle Build(std::size_t index) const {
    const XfEntry& xf = xfs_[index];
    CellStyle s;
    if (auto it = numberFormats_.find(xf.numberFormat); it != numberFormats_.end()) {
      s.numberFormat = it->second;
    } else if (auto code = BuiltinNumberFormats::Code(static_cast<int>(xf.numberFormat))) {
      s.numberFormat = std::string(*code);
    }
    // The first font is the workbook's default: what equals it is stored as "default".
    if (xf.font < fonts_.size()) {
      const FontEntry& f = fonts_[xf.font];
      const FontEntry& base = fonts_.front();
      if (xf.font != 0) {
        if (f.name != base.name) s.fontName = f.name;
        if (f.size != base.size) s.fontSize = f.size;
        if (f.color != base.color) s.fontColor = f.color;
      }
      s.bold = f.bold;
      s.italic = f.italic;
    }
    if (xf.fill < fills_.size() && fills_[xf.fill].solid && fills_[xf.fill].fg) s.fill = fills_[xf.fill].fg;
    if (xf.border < borders_.size()) {
      const BorderEntry& b = borders_[xf.border];
      s.left = b.left;
      s.right = b.right;
      s.top = b.top;
      s.bottom = b.bottom;
      for (Border* side : {&s.left, &s.right, &s.top, &s.bottom}) {
        if (side->style == BorderStyle::None) side->color = 0;
      }
    }
    s.horizontal = xf.horizontal;
    s.vertical = xf.vertical;
    s.wrapText = xf.wrap;
    return s;
  }

 private:
  template <typename F>
  static void ReadList(XmlReader& r, std::string_view item, F each) {
    if (r.SelfClosed()) return;
    const int depth = r.Depth();
    while (r.Read()) {
      if (r.Kind() == Node::End && r.Depth() == depth) return;
      if (r.Kind() != Node::Start) continue;
      if (r.Depth() == depth + 1 && r.Name() == item) {
        each();
      } else {
        r.Skip();
      }
    }
  }

  template <typename F>
  static void Children(XmlReader& r, F each) {
    if (r.SelfClosed()) return;
    const int depth = r.Depth();
    while (r.Read()) {
      if (r.Kind() == Node::End && r.Depth() == depth) return;
      if (r.Kind() == Node::Start) each(r.Name());
    }
  }

  static std::size_t Index(XmlReader& r, std::string_view name) {
    const auto text = r.Attribute(name);
    if (!text) return 0;
    const auto v = Integer<std::size_t>(text);
    if (!v) r.Fail("中的 " + std::string(name) + "“" + std::string(*text) + "”不是有效的编号");
    return *v;
  }

  void NumberFormat(XmlReader& r) {
    numberFormats_[Index(r, "numFmtId")] = std::string(r.Attribute("formatCode").value_or("General"));
  }

  static FontEntry Font(XmlReader& r) {
    FontEntry f;
    Children(r, [&](std::string_view name) {
      if (name == "b") f.bold = Flag(r.Attribute("val"), true);
      else if (name == "i") f.italic = Flag(r.Attribute("val"), true);
      else if (name == "sz") f.size = Number(r.Attribute("val")).value_or(0);
      else if (name == "name") f.name = std::string(r.Attribute("val").value_or(""));
      else if (name == "color") f.color = Color(r);
    });
    return f;
  }

  static FillEntry Fill(XmlReader& r) {
    FillEntry f;
    Children(r, [&](std::string_view name) {
      if (name == "patternFill") f.solid = r.Attribute("patternType").value_or("") == "solid";
      else if (name == "fgColor") f.fg = Color(r);
    });
    return f;
  }

  static BorderEntry BorderOf(XmlReader& r) {
    BorderEntry b;
    Border* side = nullptr;
    Children(r, [&](std::string_view name) {
      if (name == "color") {
        if (side) side->color = Color(r).value_or(0);
        return;
      }
      side = name == "left" || name == "start"  ? &b.left
             : name == "right" || name == "end" ? &b.right
             : name == "top"                    ? &b.top
             : name == "bottom"                 ? &b.bottom
                                                : nullptr;
      if (side) side->style = ToBorderStyle(r.Attribute("style").value_or(""));
    });
    return b;
  }

  static XfEntry Xf(XmlReader& r) {
    XfEntry xf;
    xf.numberFormat = Index(r, "numFmtId");
    xf.font = Index(r, "fontId");
    xf.fill = Index(r, "fillId");
    xf.border = Index(r, "borderId");
    Children(r, [&](std::string_view name) {
      if (name != "alignment") return;
      const std::string_view h = r.Attribute("horizontal").value_or("");
      xf.horizontal = h == "left"                                 ? HorizontalAlignment::Left
                      : h == "center" || h == "centerContinuous" ? HorizontalAlignment::Center
                      : h == "right"                              ? HorizontalAlignment::Right
                                                                  : HorizontalAlignment::General;
      const std::string_view v = r.Attribute("vertical").value_or("");
      xf.vertical = v == "top" ? VerticalAlignment::Top : v == "center" ? VerticalAlignment::Center : VerticalAlignment::Bottom;
      xf.wrap = Flag(r.Attribute("wrapText"), false);
    });
    return xf;
  }

  std::map<std::size_t, std::string> numberFormats_;
  std::vector<FontEntry> fonts_;
  std::vector<FillEntry> fills_;
  std::vector<BorderEntry> borders_;
  std::vector<XfEntry> xfs_;
};

struct SharedMaster {
  long row, col;
  std::string formula;
};
struct PendingShared {
  long row, col;
  std::string index;
};

// What a <row> says: its first 16 attributes without a namespace.
struct SheetRowParts {
  std::optional<std::string_view> r, ht;
};

// What a <c> says, its texts with references and CDATA resolved, before any meaning is given to
// them: attributes r, t and s (among its first 16 without a namespace), the last <v>'s text, the
// last <is>'s <t> texts joined (phonetic runs left out, "_xHHHH_" escapes not undone) and the
// formula as AddFormula keeps it.
struct SheetCellParts {
  std::optional<std::string_view> r, t, s;
  std::optional<std::string> v;
  std::optional<std::string> inlineText;
  std::string formula;
  std::string sharedIndex;
  bool hasFormula = false;
  bool sharedChild = false;  // a shared formula's cell that carries only its index

  // One <f> with its attributes t and si and its text; a data table is no formula.
  void AddFormula(std::optional<std::string_view> type, std::optional<std::string_view> si, std::string text) {
    const std::string_view kind = type.value_or("normal");
    hasFormula = kind != "dataTable";
    if (!hasFormula) return;
    if (kind == "shared" && si && !si->empty()) {
      sharedIndex = std::string(*si);
      if (text.empty()) sharedChild = true;
    }
    formula = std::move(text);
  }
};

class SheetReader {
 public:
  // `bounded`: a value beyond the model's sheet is an error; otherwise it is left out and the
  // sheet marked clipped.
  // `leftOut`: cells whose contents are not read (nullptr: none).
  // `halvesFrom`: texts of this many bytes or more are read in halves where they allow it.
  SheetReader(Worksheet& ws, const std::vector<std::string>& strings, std::uint32_t styleCount, bool date1904,
              bool bounded, const CellRange* leftOut, std::size_t halvesFrom)
      : ws_(ws),
        strings_(strings),
        styleCount_(styleCount),
        date1904_(date1904),
        bounded_(bounded),
        leftOut_(leftOut),
        halvesFrom_(halvesFrom) {}

  bool Clipped() const { return clipped_; }

  void Read(const std::string& xml, const std::string& part) {
    if (const std::optional<SheetCut> cut = SheetCut::Find(xml, halvesFrom_);
        cut && ReadHalves(xml, part, *cut)) {
      return;
    }
    XmlReader r(xml, part);
    Parse(r);
    ResolveShared();
  }

 private:
  // The rows after the cut are read on a second thread into a sheet of their own while this
  // one reads the rest, then moved in. Taken only where the two readings are the one reading
  // of the whole text: each reader found the rows' level at every seam, the rows before the
  // cut lie above those after it. Otherwise (or when either reading fails) nothing of them
  // is kept and the caller reads the text whole, which tells what is wrong and where.
  bool ReadHalves(const std::string& xml, const std::string& part, const SheetCut& cut) {
    constexpr int kRowLevel = 2;  // of the rows: the worksheet is 0, sheetData 1
    const std::string_view all(xml);
    const Worksheet before = ws_;
    Worksheet tail(ws_.Name());
    SheetReader second(tail, strings_, styleCount_, date1904_, bounded_, leftOut_, halvesFrom_);
    bool secondRead = false, firstRead = false;
    try {
      std::jthread other([&] {
        try {
          XmlReader r({all.substr(0, cut.dataStart), all.substr(cut.split, cut.dataEnd - cut.split),
                       all.substr(cut.dataEnd)},
                      part);
          second.Parse(r);
          secondRead = r.DepthAfterPiece(0) == kRowLevel && r.DepthAfterPiece(1) == kRowLevel;
        } catch (const std::exception&) {
          // Read again whole below, which reports it.
        }
      });
      try {
        XmlReader r({all.substr(0, cut.split), all.substr(cut.dataEnd)}, part);
        Parse(r);
        firstRead = r.DepthAfterPiece(0) == kRowLevel;
      } catch (const std::exception&) {
        // As above.
      }
    } catch (const std::system_error&) {
      // No second thread to be had (a tight address-space limit): read in one piece.
    }
    const auto& heights = ws_.RowHeights();
    const auto& tailHeights = tail.RowHeights();
    bool apart = firstRead && secondRead && ws_.RowExtent() <= cut.firstRow &&
                 (heights.empty() || heights.rbegin()->first < cut.firstRow) &&
                 (tailHeights.empty() || tailHeights.begin()->first >= cut.firstRow);
    for (int r = 0; apart && r < std::min(cut.firstRow, tail.RowExtent()); ++r) apart = tail.Row(r).empty();
    if (!apart) {
      ws_ = before;
      clipped_ = false;
      masters_.clear();
      pending_.clear();
      row_ = col_ = -1;
      return false;
    }
    ws_.AdoptRows(tail, cut.firstRow);
    clipped_ = clipped_ || second.clipped_;
    for (auto& [index, master] : second.masters_) masters_[index] = std::move(master);
    pending_.insert(pending_.end(), second.pending_.begin(), second.pending_.end());
    ResolveShared();
    return true;
  }

  void Parse(XmlReader& r) {
    bool fitToPage = false;
    std::optional<int> fitToWidth;
    bool paneRead = false;
    while (r.Read()) {
      if (r.Kind() != Node::Start || !IsSpreadsheetNamespace(r.Namespace())) {
        if (r.Kind() == Node::Start && r.Depth() > 0) r.Skip();
        continue;
      }
      const std::string_view name = r.Name();
      const int depth = r.Depth();
      if (depth == 0) continue;
      if (name == "sheetPr" || name == "sheetViews" || name == "sheetView" || name == "cols" || name == "mergeCells" ||
          name == "headerFooter" || name == "rowBreaks") {
        continue;  // containers: their children are read below
      }
      if (name == "pageSetUpPr") {
        fitToPage = Flag(r.Attribute("fitToPage"), false);
      } else if (name == "pane" && !paneRead) {
        paneRead = true;
        const std::string_view state = r.Attribute("state").value_or("split");
        if (state == "frozen" || state == "frozenSplit") {
          FrozenPane pane;
          pane.columns = static_cast<int>(std::clamp<double>(Number(r.Attribute("xSplit")).value_or(0), 0, CellAddress::kMaxColumns - 1));
          pane.rows = static_cast<int>(std::clamp<double>(Number(r.Attribute("ySplit")).value_or(0), 0, CellAddress::kMaxRows - 1));
          ws_.SetFrozen(pane);
        }
      } else if (name == "col") {
        Column(r);
      } else if (name == "sheetData") {
        SheetData(r);
      } else if (name == "mergeCell") {
        Merge(r);
      } else if (name == "printOptions") {
        ws_.Print().centerHorizontally = Flag(r.Attribute("horizontalCentered"), false);
        ws_.Print().printGridLines = Flag(r.Attribute("gridLines"), false);
      } else if (name == "pageMargins") {
        PrintSetup& p = ws_.Print();
        p.marginLeft = Number(r.Attribute("left")).value_or(p.marginLeft);
        p.marginRight = Number(r.Attribute("right")).value_or(p.marginRight);
        p.marginTop = Number(r.Attribute("top")).value_or(p.marginTop);
        p.marginBottom = Number(r.Attribute("bottom")).value_or(p.marginBottom);
      } else if (name == "pageSetup") {
        PrintSetup& p = ws_.Print();
        p.paperSize = Integer<int>(r.Attribute("paperSize")).value_or(p.paperSize);
        p.landscape = r.Attribute("orientation").value_or("") == "landscape";
        fitToWidth = Integer<int>(r.Attribute("fitToWidth"));
      } else if (name == "oddHeader" && depth == 2) {
        ws_.Print().header = r.ElementText();
      } else if (name == "oddFooter" && depth == 2) {
        ws_.Print().footer = r.ElementText();
      } else if (name == "brk" && depth == 2) {
        // A break after row `id` (1-based): the next page starts at that 0-based row.
        const std::optional<int> id = Integer<int>(r.Attribute("id"));
        std::vector<int>& breaks = ws_.Print().rowBreaks;
        if (id && *id > 0 && *id < CellAddress::kMaxRows) breaks.insert(std::upper_bound(breaks.begin(), breaks.end(), *id), *id);
        breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
        r.Skip();
      } else {
        r.Skip();
      }
    }
    if (fitToPage) ws_.Print().fitToWidth = std::max(fitToWidth.value_or(1), 0);
  }

  // Shared formulas: each cell that shares one takes its master's, moved by its offset.
  void ResolveShared() {
    for (const PendingShared& p : pending_) {
      auto it = masters_.find(p.index);
      if (it == masters_.end()) continue;
      const SharedMaster& m = it->second;
      ws_.CellAt(CellAddress{static_cast<int>(p.row), static_cast<int>(p.col)}).formula =
          SharedFormula::Shift(m.formula, static_cast<int>(p.row - m.row), static_cast<int>(p.col - m.col));
    }
  }

  std::string Where(long row, long col) const { return "工作表“" + ws_.Name() + "”的单元格 " + FileAddress(row, col); }

  [[noreturn]] void Beyond(long row, long col) const {
    Fail(Where(row, col) + " 超出了 65536 行 × 256 列的范围");
  }

  std::uint32_t Style(std::optional<std::string_view> s) const {
    const auto v = Integer<std::uint32_t>(s);
    return v && *v < styleCount_ ? *v : 0;
  }

  void Column(XmlReader& r) {
    const auto min = Integer<long>(r.Attribute("min"));
    const auto max = Integer<long>(r.Attribute("max"));
    if (!min || !max || *min < 1 || *max < *min || *max > kFileColumns) {
      Fail("工作表“" + ws_.Name() + "”的列范围“" + std::string(r.Attribute("min").value_or("")) + "”至“" +
           std::string(r.Attribute("max").value_or("")) + "”无效");
    }
    auto width = Number(r.Attribute("width"));
    // A column written for its style alone carries the default width without customWidth (as
    // spreadsheet programs and our writer write it): it has no width of its own.
    if (width && !Flag(r.Attribute("customWidth"), false) &&
        VisibleWidth(*width) == SheetMetrics::kDefaultColumnCharacters) {
      width.reset();
    }
    const auto style = r.Attribute("style");
    const long last = std::min<long>(*max, CellAddress::kMaxColumns);
    for (long c = *min; c <= last; ++c) {
      if (width) ws_.SetColumnWidth(static_cast<int>(c - 1), VisibleWidth(*width));
      if (style) ws_.SetColumnStyle(static_cast<int>(c - 1), Style(style));
    }
  }

  void Merge(XmlReader& r) {
    const std::string_view ref = r.Attribute("ref").value_or("");
    const std::size_t colon = ref.find(':');
    long r0 = 0, c0 = 0, r1 = 0, c1 = 0;
    if (colon == std::string_view::npos || !ParseReference(ref.substr(0, colon), r0, c0) ||
        !ParseReference(ref.substr(colon + 1), r1, c1)) {
      return;
    }
    if (std::max(r0, r1) >= CellAddress::kMaxRows || std::max(c0, c1) >= CellAddress::kMaxColumns) return;
    const CellRange range = CellRange::Normalised(CellAddress{static_cast<int>(r0), static_cast<int>(c0)},
                                                  CellAddress{static_cast<int>(r1), static_cast<int>(c1)});
    if (range.first == range.last) return;
    // A file with overlapping merges keeps the first of them, as spreadsheets repair it.
    for (const CellRange& m : ws_.Merges()) {
      const bool apart = range.last.row < m.first.row || range.first.row > m.last.row ||
                         range.last.column < m.first.column || range.first.column > m.last.column;
      if (!apart) return;
    }
    ws_.AddMerge(range);
  }

  void SheetData(XmlReader& r) {
    if (r.SelfClosed()) return;
    const int depth = r.Depth();
    row_ = col_ = -1;
    while (r.Read()) {
      if (r.Kind() == Node::End && r.Depth() == depth) return;
      if (r.Kind() != Node::Start) continue;
      if (r.Name() == "row" && r.Depth() == depth + 1) {
        XmlReader::Attr attrs[16];
        const int n = r.Attributes(attrs, 16);
        SheetRowParts parts;
        for (int i = 0; i < n; ++i) {
          if (attrs[i].name == "r") parts.r = attrs[i].value;
          if (attrs[i].name == "ht") parts.ht = attrs[i].value;
        }
        Row(parts);
        if (r.SelfClosed()) continue;
      } else if (r.Name() == "c" && r.Depth() == depth + 2) {
        CellElement(r);
      } else {
        r.Skip();
      }
    }
  }

  void CellElement(XmlReader& r) {
    XmlReader::Attr attrs[16];
    const int n = r.Attributes(attrs, 16);
    SheetCellParts parts;
    for (int i = 0; i < n; ++i) {
      if (attrs[i].name == "r") parts.r = attrs[i].value;
      else if (attrs[i].name == "t") parts.t = attrs[i].value;
      else if (attrs[i].name == "s") parts.s = attrs[i].value;
    }
    // The attribute texts above live until the next Read(): the cell's position is taken now.
    const Position at = Locate(parts);
    parts.r.reset();
    std::string type(parts.t.value_or("n")), style(parts.s.value_or(""));
    const bool styled = parts.s.has_value();
    if (!r.SelfClosed()) {
      const int depth = r.Depth();
      while (r.Read()) {
        if (r.Kind() == Node::End && r.Depth() == depth) break;
        if (r.Kind() != Node::Start) continue;
        const std::string_view name = r.Name();
        if (name == "v") {
          parts.v = r.ElementText();
        } else if (name == "is") {
          parts.inlineText = JoinedRuns(r);
        } else if (name == "f") {
          const auto ft = r.Attribute("t");
          const auto si = r.Attribute("si");
          const std::optional<std::string> type(ft), index(si);
          parts.AddFormula(type, index, r.ElementText());
        } else {
          r.Skip();
        }
      }
    }
    parts.t = type;
    parts.s = styled ? std::optional<std::string_view>(style) : std::nullopt;
    Store(parts, at);
  }

  struct Position {
    long row, col;
  };

  void Row(const SheetRowParts& parts) {
    if (parts.r) {
      const auto v = Integer<long>(parts.r);
      if (!v || *v < 1 || *v > kFileRows) {
        Fail("工作表“" + ws_.Name() + "”的行号“" + std::string(*parts.r) + "”无效");
      }
      row_ = *v - 1;
    } else {
      ++row_;
    }
    if (row_ >= kFileRows) Fail("工作表“" + ws_.Name() + "”的行数超过 1048576");
    col_ = -1;
    if (const auto h = Number(parts.ht); h && row_ < CellAddress::kMaxRows) ws_.SetRowHeight(static_cast<int>(row_), *h);
  }

  void Cell(SheetCellParts& parts) { Store(parts, Locate(parts)); }

  // A cell's position: its r, else the one after the previous cell of its row.
  Position Locate(const SheetCellParts& parts) {
    long row = row_ < 0 ? 0 : row_;
    if (parts.r) {
      if (!ParseReference(*parts.r, row, col_)) {
        Fail("工作表“" + ws_.Name() + "”中的单元格位置“" + std::string(*parts.r) + "”无效");
      }
    } else {
      ++col_;
      if (col_ >= kFileColumns) Fail("工作表“" + ws_.Name() + "”第 " + std::to_string(row + 1) + " 行的单元格超过 16384 列");
    }
    return Position{row, col_};
  }

  void Store(SheetCellParts& parts, Position at) {
    const long row = at.row, col = at.col;
    const std::string_view t = parts.t.value_or("n");
    const std::uint32_t xf = Style(parts.s);
    if (leftOut_ && row < CellAddress::kMaxRows && col < CellAddress::kMaxColumns &&
        leftOut_->Contains(CellAddress{static_cast<int>(row), static_cast<int>(col)})) {
      // The contents are cleared by the caller: the format alone, as the clearing leaves it.
      if (parts.hasFormula && !parts.sharedChild && !parts.sharedIndex.empty()) {
        masters_[parts.sharedIndex] = SharedMaster{row, col, parts.formula};
      }
      if (xf != 0) ws_.CellAt(CellAddress{static_cast<int>(row), static_cast<int>(col)}).style = xf;
      return;
    }
    const std::optional<std::string>& v = parts.v;
    const bool hasFormula = parts.hasFormula;
    const bool inside = row < CellAddress::kMaxRows && col < CellAddress::kMaxColumns;
    CellValue value;
    if (t == "n" || t.empty()) {
      if (v && !Trimmed(*v).empty()) {
        double d = 0;
        if (!XlsxReader::ParseNumber(*v, d)) Fail(Where(row, col) + " 中的数值“" + *v + "”不是有效的数字");
        value = d;
      }
    } else if (t == "s") {
      const auto index = Integer<std::size_t>(v ? std::optional<std::string_view>(*v) : std::nullopt);
      if (!index || *index >= strings_.size()) {
        Fail(Where(row, col) + " 引用了不存在的共享字符串“" + v.value_or("") + "”");
      }
      value = strings_[*index];
    } else if (t == "str") {
      if (v) value = Unescaped(*v);
    } else if (t == "inlineStr") {
      if (parts.inlineText) value = Unescaped(std::move(*parts.inlineText));
      else if (v) value = *v;
    } else if (t == "b") {
      const std::string_view b = v ? Trimmed(*v) : std::string_view{};
      if (b == "1" || b == "true") value = true;
      else if (b == "0" || b == "false") value = false;
      else if (v) Fail(Where(row, col) + " 中的逻辑值“" + *v + "”无效");
    } else if (t == "e") {
      if (v) value = CellError{std::string(Trimmed(*v))};
    } else if (t == "d") {
      if (v && !Trimmed(*v).empty()) {
        const auto serial = IsoDate(*v);
        if (!serial) Fail(Where(row, col) + " 中的日期“" + *v + "”无效");
        value = *serial - (date1904_ ? 1462 : 0);  // 1904 system: serial 0 is 1904-01-01
      }
    } else {
      Fail(Where(row, col) + " 的类型“" + std::string(t) + "”未知");
    }
    if (hasFormula && IsEmptyValue(value) && (!v || t == "n" || t == "b" || t == "e")) value = NoStoredResult{};
    const bool hasContent = !IsEmptyValue(value) || hasFormula;
    if (!inside) {
      if (hasContent && bounded_) Beyond(row, col);
      clipped_ = clipped_ || hasContent;
      return;  // formatting beyond the sheet is dropped
    }
    if (!hasContent && xf == 0) return;
    spreadsheet::Cell& cell = ws_.CellAt(CellAddress{static_cast<int>(row), static_cast<int>(col)});
    cell.value = std::move(value);
    cell.style = xf;
    if (hasFormula) {
      if (parts.sharedChild) {
        pending_.push_back(PendingShared{row, col, parts.sharedIndex});
        cell.formula.clear();
      } else {
        if (!parts.sharedIndex.empty()) masters_[parts.sharedIndex] = SharedMaster{row, col, parts.formula};
        cell.formula = std::move(parts.formula);
      }
    }
  }

  Worksheet& ws_;
  const std::vector<std::string>& strings_;
  std::uint32_t styleCount_;
  bool date1904_;
  bool bounded_;
  const CellRange* leftOut_;
  std::size_t halvesFrom_;
  bool clipped_ = false;
  std::unordered_map<std::string, SharedMaster> masters_;
  std::vector<PendingShared> pending_;
  long row_ = -1;  // of the row being read; -1 before the first
  long col_ = -1;  // of the cell last read in that row
};

std::vector<std::string> SharedStrings(const OpcPackage& package, const std::string& part) {
  std::vector<std::string> strings;
  const std::string xml = package.Read(part);
  XmlReader r(xml, part);
  while (r.Read()) {
    if (r.Kind() == Node::Start && r.Depth() == 1 && r.Name() == "si") strings.push_back(RichText(r));
  }
  return strings;
}

// "'数据输入'!$1:$7" or "Sheet1!$A:$A,Sheet1!$1:$3" → the 0-based rows repeated on each page.
std::optional<std::pair<int, int>> TitleRows(std::string_view text) {
  std::vector<std::string_view> pieces;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] == '\'') quoted = !quoted;
    if (i == text.size() || (text[i] == ',' && !quoted)) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  for (std::string_view p : pieces) {
    const std::size_t bang = p.rfind('!');
    std::string_view range = bang == std::string_view::npos ? p : p.substr(bang + 1);
    const std::size_t colon = range.find(':');
    if (colon == std::string_view::npos) continue;
    auto row = [](std::string_view s) -> std::optional<long> {
      if (!s.empty() && s.front() == '$') s.remove_prefix(1);
      return Integer<long>(s);
    };
    const auto a = row(range.substr(0, colon)), b = row(range.substr(colon + 1));
    if (a && b && *a >= 1 && *b >= *a && *b <= CellAddress::kMaxRows) {
      return std::pair<int, int>(static_cast<int>(*a - 1), static_cast<int>(*b - 1));
    }
  }
  return std::nullopt;
}

std::string Folded(std::string_view name) { return ZipArchive::Lower(name); }

}  // namespace

bool XlsxReader::ParseNumber(std::string_view text, double& value) {
  std::string_view s = Trimmed(text);
  const bool plus = !s.empty() && s.front() == '+';
  if (plus) s.remove_prefix(1);
  const std::size_t first = !plus && !s.empty() && s.front() == '-' ? 1 : 0;
  if (s.size() <= first || !((s[first] >= '0' && s[first] <= '9') || s[first] == '.')) return false;
  double d = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d, std::chars_format::general);
  if (ec != std::errc{} || p != s.data() + s.size() || !std::isfinite(d)) return false;
  value = d;
  return true;
}

namespace {

std::uint32_t Le32(std::string_view b, std::size_t at) {
  if (at + 4 > b.size()) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

// Whether an OLE compound file holds a stream named EncryptionInfo, as a workbook protected by
// a password to open does (the package itself then is a stream EncryptedPackage): its
// directory's sectors followed through the allocation table, as far as the header lists it.
bool HasEncryptionInfo(std::string_view b) {
  if (b.size() < 512) return false;
  const unsigned shift = static_cast<unsigned char>(b[30]) | static_cast<unsigned>(static_cast<unsigned char>(b[31])) << 8;
  if (shift != 9 && shift != 12) return false;
  const std::size_t sector = std::size_t{1} << shift;
  const std::size_t perFat = sector / 4;
  auto fatNext = [&](std::uint32_t n) -> std::uint32_t {
    const std::size_t which = n / perFat;
    if (which >= 109) return 0xFFFFFFFEu;
    const std::uint32_t fat = Le32(b, 76 + 4 * which);
    if (fat >= 0xFFFFFFFAu) return 0xFFFFFFFEu;
    return Le32(b, (static_cast<std::size_t>(fat) + 1) * sector + 4 * (n % perFat));
  };
  static const char kName[] = "EncryptionInfo";
  std::uint32_t at = Le32(b, 48);
  for (int hops = 0; at < 0xFFFFFFFAu && hops < 4096; ++hops, at = fatNext(at)) {
    const std::size_t start = (static_cast<std::size_t>(at) + 1) * sector;
    if (start + sector > b.size()) return false;
    for (std::size_t e = start; e < start + sector; e += 128) {
      const unsigned length = static_cast<unsigned char>(b[e + 64]) | static_cast<unsigned>(static_cast<unsigned char>(b[e + 65])) << 8;
      if (length != 2 * sizeof kName) continue;
      bool same = true;
      for (std::size_t i = 0; i < sizeof kName - 1 && same; ++i) same = b[e + 2 * i] == kName[i] && b[e + 2 * i + 1] == 0;
      if (same) return true;
    }
  }
  return false;
}

constexpr const char* kEncrypted =
    "工作簿已加密（设有打开密码），无法读取；请在电子表格程序中去掉密码、另存为 .xlsx 后再打开";

// Files that are no zip package but another kind the user may have taken for one.
void RefuseOtherFormats(std::string_view b) {
  if (b.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
    if (HasEncryptionInfo(b)) Fail(kEncrypted);
    Fail("这是旧版 Excel 97-2003 工作簿（.xls）或其他复合文档，不是 .xlsx 工作簿；请在电子表格程序中另存为 .xlsx 后再打开");
  }
}

// A package whose zip entries are encrypted (a password set on the archive) is as unreadable
// as an encrypted workbook, and the same remedy applies.
void RefuseEncryptedEntries(const OpcPackage& package) {
  for (const ZipArchive::Entry& e : package.Zip().Entries()) {
    if (e.encrypted) Fail(kEncrypted);
  }
}

void RefuseOpenDocument(const OpcPackage& package) {
  const ZipArchive::Entry* mimetype = package.Zip().Find("mimetype");
  if (!mimetype || mimetype->size > 256) return;
  const std::string type = package.Zip().Read(*mimetype);
  if (type.rfind("application/vnd.oasis.opendocument", 0) == 0) {
    Fail("这是 OpenDocument 文档（" + type + "），不是 Excel 工作簿；请在电子表格程序中另存为 .xlsx 后再打开");
  }
}

}  // namespace

Workbook XlsxReader::Read(std::shared_ptr<const std::string> bytes, const LeftOut& leftOut,
                          std::size_t halvesFrom) {
  RefuseOtherFormats(*bytes);
  const OpcPackage package(bytes);
  RefuseEncryptedEntries(package);
  RefuseOpenDocument(package);
  const auto rootRels = package.Relationships("/");
  const OpcPackage::Relationship* office = OpcPackage::OfKind(rootRels, "officeDocument");
  if (!office) Fail("缺少指向工作簿部件的关系（/_rels/.rels 中没有 officeDocument）");
  const std::string workbookPart = office->target;
  const std::string workbookXml = package.Read(workbookPart);
  const auto rels = package.Relationships(workbookPart);

  StylesReader styles;
  if (const auto* s = OpcPackage::OfKind(rels, "styles")) styles.Read(package.Read(s->target), s->target);
  std::vector<std::string> strings;
  if (const auto* s = OpcPackage::OfKind(rels, "sharedStrings")) strings = SharedStrings(package, s->target);

  struct SheetEntry {
    std::string name;
    std::string part;  // empty: a chart or dialog sheet
  };
  std::vector<SheetEntry> entries;
  std::optional<std::size_t> activeTab;
  bool date1904 = false;
  std::map<std::size_t, std::pair<int, int>> titles;  // by position in <sheets>
  std::vector<DefinedName> fileNames;                 // local ones by position in <sheets>, for now
  {
    XmlReader r(workbookXml, workbookPart);
    while (r.Read()) {
      if (r.Kind() != Node::Start || !IsSpreadsheetNamespace(r.Namespace())) continue;
      const std::string_view name = r.Name();
      if (name == "sheet") {
        SheetEntry e;
        e.name = std::string(r.Attribute("name").value_or(""));
        const std::string id(r.Attribute("id", kRelationshipNamespaces).value_or(""));
        const OpcPackage::Relationship* rel = nullptr;
        for (const auto& x : rels) {
          if (x.id == id) rel = &x;
        }
        if (!rel || rel->external) {
          Fail("工作表“" + e.name + "”的关系“" + id + "”在 " + OpcPackage::RelsPartOf(workbookPart) + " 中不存在");
        }
        const std::string_view type = rel->type;
        if (type.size() >= 10 && type.substr(type.size() - 10) == "/worksheet") e.part = rel->target;
        entries.push_back(std::move(e));
      } else if (name == "workbookView" && !activeTab) {
        activeTab = Integer<std::size_t>(r.Attribute("activeTab")).value_or(0);
      } else if (name == "workbookPr") {
        date1904 = Flag(r.Attribute("date1904"), false);
      } else if (name == "definedName") {
        const std::string_view n = r.Attribute("name").value_or("");
        const auto local = Integer<std::size_t>(r.Attribute("localSheetId"));
        if (n == "_xlnm.Print_Titles" && local) {
          if (auto rows = TitleRows(r.ElementText())) titles[*local] = *rows;
        } else if (!n.empty() && n.rfind("_xlnm.", 0) != 0) {
          // The sheet a local name belongs to counts the file's sheets (chart sheets too).
          fileNames.push_back({std::string(n),
                               local ? static_cast<int>(std::min<std::size_t>(*local, INT_MAX)) : -1,
                               r.ElementText()});
        }
      }
    }
  }

  Workbook wb;
  wb.SetDates(date1904 ? DateSystem::From1904 : DateSystem::From1900);
  std::map<std::size_t, int> modelSheetOf;  // the file's sheet index → the model's
  PackageOrigin origin;
  origin.bytes = bytes;
  origin.styleCount = static_cast<std::uint32_t>(styles.Count());
  for (std::size_t i = 0; i < styles.Count(); ++i) wb.AppendStyle(styles.Build(i), i == 0);

  std::map<std::string, std::string> names;  // folded → as written
  std::size_t modelIndex = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const SheetEntry& e = entries[i];
    if (e.name.empty()) Fail("工作簿中有一个没有名称的工作表");
    const auto [it, added] = names.emplace(Folded(e.name), e.name);
    if (!added) Fail("工作簿中有两个同名的工作表“" + it->second + "”和“" + e.name + "”（名称不区分大小写）");
    if (e.part.empty()) continue;
    Worksheet& ws = wb.AddSheet(e.name);
    // The route's and the book's sheets must fit the model whole; another sheet is kept as the
    // file has it, whatever its size, as long as it is not changed here.
    const bool bounded = e.name == "数据输入" || e.name == "水准表";
    const CellRange* area = !leftOut.sheet.empty() && e.name == leftOut.sheet ? &leftOut.area : nullptr;
    SheetReader reader(ws, strings, std::max<std::uint32_t>(origin.styleCount, 1), date1904, bounded, area,
                       halvesFrom);
    reader.Read(package.Read(e.part), e.part);
    if (auto t = titles.find(i); t != titles.end()) {
      ws.Print().repeatRowsFirst = t->second.first;
      ws.Print().repeatRowsLast = t->second.second;
    }
    if (activeTab && *activeTab == i) wb.SetActiveSheet(modelIndex);
    modelSheetOf[i] = static_cast<int>(modelIndex);
    SheetOrigin sheetOrigin = SheetDigest::Of(ws, e.part);
    sheetOrigin.clipped = reader.Clipped();
    ws.SetOrigin(std::move(sheetOrigin));
    ++modelIndex;
  }
  if (wb.SheetCount() == 0) Fail("工作簿中没有工作表");
  // A name local to a sheet the model does not hold (a chart sheet) cannot be used here.
  std::vector<DefinedName> definedNames;
  for (DefinedName& n : fileNames) {
    if (n.sheet >= 0) {
      const auto it = modelSheetOf.find(static_cast<std::size_t>(n.sheet));
      if (it == modelSheetOf.end()) continue;
      n.sheet = it->second;
    }
    definedNames.push_back(std::move(n));
  }
  wb.SetDefinedNames(std::move(definedNames));
  origin.activeSheet = wb.ActiveSheet();
  wb.SetOrigin(std::move(origin));
  wb.SetModified(false);
  return wb;
}

}  // namespace spreadsheet
