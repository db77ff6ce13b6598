#include "xlsx/write/SheetXml.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <variant>

#include "workbook/SpreadsheetError.h"
#include "xlsx/read/Utf8.h"

namespace spreadsheet {

namespace {

void AppendNumber(std::string& out, double d) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
  out.append(buf, end);
}

void AppendInt(std::string& out, long v) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, end);
}

std::size_t Characters(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t k = Utf8::SequenceAt(text, i);
    n += k == 4 ? 2 : 1;  // as the file format counts: UTF-16 code units
    i += k == 0 ? 1 : k;
  }
  return n;
}

std::string Where(const Worksheet& sheet, int row, int col) {
  return "工作表“" + sheet.Name() + "”的单元格 " + CellAddress{row, col}.ToString();
}

bool IsHexEscapeAt(std::string_view text, std::size_t i) {
  if (text.size() < i + 7 || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return false;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    if (!std::isxdigit(static_cast<unsigned char>(text[k]))) return false;
  }
  return true;
}

// The most bytes one byte of text becomes escaped ("_x0001_").
constexpr std::size_t kEscapedGrowth = 7;

// Writes `text` escaped at `p`, which has room for kEscapedGrowth bytes per byte of text;
// returns the end.
char* Escape(char* p, std::string_view text, bool cellText) {
  auto put = [&](std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    p += s.size();
  };
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u <= 0x7f && c != '&' && c != '<' && c != '>' && c != '"' && c != '_') {
      *p++ = c;
      ++i;
      continue;
    }
    const std::size_t n = Utf8::SequenceAt(text, i);
    if (n == 0) {
      put("\xEF\xBF\xBD");
      ++i;
      continue;
    }
    if (n == 1) {
      switch (c) {
        case '&': put("&amp;"); break;
        case '<': put("&lt;"); break;
        case '>': put("&gt;"); break;
        case '"': put("&quot;"); break;
        // As references, so that an attribute value keeps them (a parser turns a literal tab or
        // line break there into a space).
        case '\t': put("&#9;"); break;
        case '\n': put("&#10;"); break;
        case '\r': put("&#13;"); break;
        case '_': put(cellText && IsHexEscapeAt(text, i) ? "_x005F_" : "_"); break;
        default: {
          // XML 1.0 has no such character; spreadsheet files write it as _xHHHH_.
          static constexpr char kHex[] = "0123456789ABCDEF";
          const char escaped[7] = {'_', 'x', '0', '0', kHex[u >> 4], kHex[u & 15], '_'};
          put(std::string_view(escaped, 7));
        }
      }
    } else {
      // U+FFFE and U+FFFF are no XML characters either.
      const std::string_view seq = text.substr(i, n);
      put(seq == "\xEF\xBF\xBE" || seq == "\xEF\xBF\xBF" ? std::string_view("\xEF\xBF\xBD") : seq);
    }
    i += n;
  }
  return p;
}

char* Put(char* p, std::string_view s) {
  std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// Markup of a few bytes, copied in one move of fixed size: the output has room to spare.
class Piece {
 public:
  static constexpr std::size_t kShort = 32;
  Piece() = default;
  explicit Piece(std::string_view text) : size_(text.size()) {
    if (size_ <= kShort) std::memcpy(short_, text.data(), size_);
    else long_ = text;
  }
  std::size_t size() const { return size_; }
  friend char* Put(char* p, const Piece& piece) {
    if (piece.size_ <= kShort) std::memcpy(p, piece.short_, kShort);
    else std::memcpy(p, piece.long_.data(), piece.size_);
    return p + piece.size_;
  }

 private:
  char short_[kShort] = {};
  std::string long_;
  std::size_t size_ = 0;
};

// Sheet XML built in one buffer, handed on at the end of a row once it holds 64 KiB.
class Chunks {
 public:
  explicit Chunks(const XmlOutput& out) : out_(out) { buffer_.resize(kChunk * 2); }
  // Where `n` more bytes (and a Piece beyond them) may be written; Advance() to the end of what was.
  char* Room(std::size_t n) {
    n += Piece::kShort;
    if (used_ + n > buffer_.size()) buffer_.resize(std::max(buffer_.size() * 2, used_ + n));
    return buffer_.data() + used_;
  }
  void Advance(const char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
  std::size_t Used() const { return used_; }
  void Truncate(std::size_t used) { used_ = used; }
  void EndRow() {
    if (used_ >= kChunk) Flush();
  }
  void Flush() {
    if (used_ > 0) out_(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  const XmlOutput& out_;
  std::string buffer_;
  std::size_t used_ = 0;
};

// The markup of one sheet's cells with its namespace prefix, made once per sheet.
struct Markup {
  explicit Markup(std::string_view p)
      : cell(Tag("<", p, "c r=\"")), cellEnd(Tag("</", p, "c>")), value(Tag("<", p, "v>")),
        valueEnd(Tag("</", p, "v>")), formula(Tag("<", p, "f>")), formulaEnd(Tag("</", p, "f>")),
        text(Tag("<", p, "is><" + std::string(p) + "t>")),
        spacedText(Tag("<", p, "is><" + std::string(p) + "t xml:space=\"preserve\">")),
        textEnd(Tag("</", p, "t></" + std::string(p) + "is>")), row(Tag("<", p, "row r=\"")),
        rowEnd(Tag("</", p, "row>")), fixed(160 + 12 * p.size()) {
    for (int c = 0; c < CellAddress::kMaxColumns; ++c) columns[c] = Piece(CellAddress::ColumnName(c));
  }
  static Piece Tag(std::string_view open, std::string_view prefix, const std::string& rest) {
    return Piece(std::string(open) + std::string(prefix) + rest);
  }
  Piece cell, cellEnd, value, valueEnd, formula, formulaEnd, text, spacedText, textEnd, row, rowEnd;
  std::size_t fixed;  // room for a cell's markup without its texts
  Piece columns[CellAddress::kMaxColumns];
};

// A number as std::to_chars writes it: the shortest text that reads back as it, in fixed or
// exponent notation, whichever is shorter. Quicker for a number that has few decimals: when
// d = m / 10^k exactly (both exact in a double, the division rounded once) with m of at most
// 15 digits and k the least, m·10^-k is the only decimal of at most 15 digits that reads back
// as d, so it is the shortest.
char* Number(char* p, double d) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  constexpr double kLimit = 1e15;
  const double a = std::fabs(d);
  if (!(a > 0 && a < kLimit)) return std::to_chars(p, p + 32, d).ptr;
  int k = 0;
  std::uint64_t m = 0;
  for (;; ++k) {
    const double scaled = a * kPowers[k];
    if (k == 15 || scaled >= kLimit) return std::to_chars(p, p + 32, d).ptr;
    m = static_cast<std::uint64_t>(scaled + 0.5);
    if (static_cast<double>(m) / kPowers[k] == a) break;
  }
  char digits[20];
  const int length = static_cast<int>(std::to_chars(digits, digits + sizeof digits, m).ptr - digits);
  int significant = length;
  while (k == 0 && significant > 1 && digits[significant - 1] == '0') --significant;
  const int exponent = length - 1 - k;
  const int exponentDigits = std::abs(exponent) >= 100 ? 3 : 2;
  const int scientific = significant + (significant > 1 ? 1 : 0) + 2 + exponentDigits;
  const int fixed = k == 0 ? length : length > k ? length + 1 : k + 2;
  if (fixed > scientific) return std::to_chars(p, p + 32, d).ptr;
  if (std::signbit(d)) *p++ = '-';
  if (k == 0) return Put(p, std::string_view(digits, static_cast<std::size_t>(length)));
  if (length > k) {
    p = Put(p, std::string_view(digits, static_cast<std::size_t>(length - k)));
    *p++ = '.';
    return Put(p, std::string_view(digits + length - k, static_cast<std::size_t>(k)));
  }
  *p++ = '0';
  *p++ = '.';
  for (int z = length; z < k; ++z) *p++ = '0';
  return Put(p, std::string_view(digits, static_cast<std::size_t>(length)));
}

void WriteCell(Chunks& out, const Markup& m, const Worksheet& sheet, const SheetExtras& kept, int row,
               const Piece& rowNumber, int col, const Cell& cell, std::uint32_t columnStyle) {
  const std::uint32_t style = cell.style != 0 ? cell.style : columnStyle;
  const bool formula = cell.HasFormula();
  const double* number = std::get_if<double>(&cell.value);
  const std::string* text = std::get_if<std::string>(&cell.value);
  // A file holds no empty text constant: such a cell is written empty, as spreadsheets do.
  if (text && text->empty() && !formula) text = nullptr;
  const CellError* error = std::get_if<CellError>(&cell.value);
  const bool* flag = std::get_if<bool>(&cell.value);
  const bool empty = !number && !text && !error && !flag && !formula;
  if (empty && style == 0) return;
  if (number && !std::isfinite(*number)) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           Where(sheet, row, col) + " 中的数值 " +
                               (std::isnan(*number) ? std::string("NaN") : *number > 0 ? std::string("∞") : std::string("-∞")) +
                               " 不是有限数，无法写入文件");
  }
  if (text && text->size() > 32767 && Characters(*text) > 32767) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, Where(sheet, row, col) + " 中的文本超过 32767 个字符");
  }
  const bool boolean = flag || (number && (*number == 0 || *number == 1) && kept.WasBoolean(row, col));
  const std::size_t texts = (text ? text->size() : 0) + (error ? error->code.size() : 0) + cell.formula.size();
  char* p = out.Room(m.fixed + texts * kEscapedGrowth);
  p = Put(p, m.cell);
  p = Put(p, m.columns[col]);
  p = Put(p, rowNumber);
  *p++ = '"';
  if (style != 0) {
    p = Put(p, " s=\"");
    p = std::to_chars(p, p + 10, style).ptr;
    *p++ = '"';
  }
  if (error) p = Put(p, " t=\"e\"");
  else if (text) p = Put(p, formula ? " t=\"str\"" : " t=\"inlineStr\"");
  else if (boolean) p = Put(p, " t=\"b\"");
  if (empty) {
    out.Advance(Put(p, "/>"));
    return;
  }
  *p++ = '>';
  if (formula) {
    p = Put(p, m.formula);
    p = Escape(p, cell.formula, false);
    p = Put(p, m.formulaEnd);
  }
  if (number) {
    p = Put(p, m.value);
    p = boolean ? Put(p, *number == 1 ? "1" : "0") : Number(p, *number);
    p = Put(p, m.valueEnd);
  } else if (flag) {
    p = Put(p, m.value);
    p = Put(p, *flag ? "1" : "0");
    p = Put(p, m.valueEnd);
  } else if (error) {
    p = Put(p, m.value);
    p = Escape(p, error->code, false);
    p = Put(p, m.valueEnd);
  } else if (text && formula) {
    p = Put(p, m.value);
    p = Escape(p, *text, true);
    p = Put(p, m.valueEnd);
  } else if (text) {
    const char first = text->front(), last = text->back();
    const bool spaces = first == ' ' || last == ' ' || first == '\n' || last == '\n' || first == '\t' || last == '\t';
    p = Put(p, spaces ? m.spacedText : m.text);
    p = Escape(p, *text, true);
    p = Put(p, m.textEnd);
  }
  out.Advance(Put(p, m.cellEnd));
}

}  // namespace

void SheetXml::AppendEscaped(std::string& out, std::string_view text, bool cellText) {
  const std::size_t at = out.size();
  out.resize(at + text.size() * kEscapedGrowth);
  out.resize(static_cast<std::size_t>(Escape(out.data() + at, text, cellText) - out.data()));
}

double SheetXml::StoredWidth(double characters) {
  const double pixels = characters < 1 ? std::round(characters * 12) : std::round(characters * 7) + 5;
  return std::floor(pixels / 7 * 256) / 256;
}

void SheetXml::SheetData(const Worksheet& sheet, std::string_view p, const SheetExtras& kept, const XmlOutput& output) {
  const Markup m(p);
  std::uint32_t columnStyles[CellAddress::kMaxColumns] = {};
  for (const auto& [col, style] : sheet.ColumnStyles()) {
    if (col >= 0 && col < CellAddress::kMaxColumns) columnStyles[col] = style;
  }
  Chunks out(output);
  char* start = out.Room(m.fixed);
  start = Put(start, "<");
  start = Put(start, p);
  out.Advance(Put(start, "sheetData>"));
  const auto& heights = sheet.RowHeights();
  auto height = heights.begin();
  const auto& extras = kept.Rows();
  auto extra = extras.begin();
  const int extent = sheet.RowExtent();
  for (int r = 0;; ++r) {
    // The next row that has cells, a height or attributes kept from the file.
    r = std::min({r < extent ? r : CellAddress::kMaxRows, height != heights.end() ? height->first : CellAddress::kMaxRows,
                  extra != extras.end() ? extra->row : CellAddress::kMaxRows});
    if (r >= CellAddress::kMaxRows) break;
    const bool hasHeight = height != heights.end() && height->first == r;
    const std::string* attributes = extra != extras.end() && extra->row == r ? &extra->attributes : nullptr;
    char number[12];
    const Piece rowNumber(std::string_view(number, static_cast<std::size_t>(std::to_chars(number, number + sizeof number, r + 1).ptr - number)));
    const std::size_t rowStart = out.Used();
    char* q = out.Room(m.fixed + (attributes ? attributes->size() : 0));
    q = Put(q, m.row);
    q = Put(q, rowNumber);
    *q++ = '"';
    if (hasHeight) {
      q = Put(q, " ht=\"");
      q = std::to_chars(q, q + 32, height->second).ptr;
      q = Put(q, "\" customHeight=\"1\"");
      ++height;
    }
    if (attributes) {
      q = Put(q, *attributes);
      ++extra;
    }
    *q++ = '>';
    out.Advance(q);
    const std::size_t cellsStart = out.Used();
    const auto& row = sheet.Row(r);
    for (std::size_t c = 0; c < row.size(); ++c) {
      WriteCell(out, m, sheet, kept, r, rowNumber, static_cast<int>(c), row[c], columnStyles[c]);
    }
    if (out.Used() == cellsStart && !hasHeight && !attributes) {
      out.Truncate(rowStart);
    } else if (out.Used() == cellsStart) {
      out.Truncate(cellsStart - 1);
      out.Advance(Put(out.Room(2), "/>"));
    } else {
      out.Advance(Put(out.Room(m.rowEnd.size()), m.rowEnd));
    }
    out.EndRow();
  }
  char* end = out.Room(m.fixed);
  end = Put(end, "</");
  end = Put(end, p);
  out.Advance(Put(end, "sheetData>"));
  out.Flush();
}

std::string SheetXml::Dimension(const Worksheet& sheet, std::string_view p) {
  int r0 = -1, r1 = -1, c0 = CellAddress::kMaxColumns, c1 = -1;
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    const auto& row = sheet.Row(r);
    for (std::size_t c = 0; c < row.size(); ++c) {
      const Cell& cell = row[c];
      if (IsEmptyValue(cell.value) && !cell.HasFormula() && cell.style == 0) continue;
      if (r0 < 0) r0 = r;
      r1 = r;
      c0 = std::min(c0, static_cast<int>(c));
      c1 = std::max(c1, static_cast<int>(c));
    }
  }
  std::string ref = r0 < 0 ? "A1" : CellAddress{r0, c0}.ToString();
  if (r0 >= 0 && (r1 != r0 || c1 != c0)) ref += ":" + CellAddress{r1, c1}.ToString();
  return "<" + std::string(p) + "dimension ref=\"" + ref + "\"/>";
}

std::string SheetXml::Cols(const Worksheet& sheet, std::string_view p, const SheetExtras& kept) {
  struct Column {
    double width = -1;  // shown width; negative when the model has none
    std::uint32_t style = 0;
    bool modelled = false;
  };
  std::map<int, Column> columns;
  for (const auto& [col, width] : sheet.ColumnWidths()) columns[col] = Column{width, 0, true};
  for (const auto& [col, style] : sheet.ColumnStyles()) {
    Column& c = columns[col];
    c.style = style;
    c.modelled = true;
  }
  for (int col = 0; col < CellAddress::kMaxColumns; ++col) {
    if (!kept.Column(col).empty()) columns.try_emplace(col);
  }
  if (columns.empty()) return {};
  std::string out = "<" + std::string(p) + "cols>";
  // One <col> per column: programs that show column formats by column read ranges poorly.
  for (const auto& [col, c] : columns) {
    out += "<" + std::string(p) + "col min=\"";
    AppendInt(out, col + 1);
    out += "\" max=\"";
    AppendInt(out, col + 1);
    out += '"';
    // A column the file held only for what the model lacks (hidden, say) keeps its default width.
    if (c.modelled) {
      out += " width=\"";
      AppendNumber(out, StoredWidth(c.width >= 0 ? c.width : 8.43));
      out += '"';
    }
    if (c.style != 0) {
      out += " style=\"";
      AppendInt(out, c.style);
      out += '"';
    }
    if (c.width >= 0) out += " customWidth=\"1\"";
    out += kept.Column(col);
    out += "/>";
  }
  out += "</" + std::string(p) + "cols>";
  return out;
}

std::string SheetXml::MergeCells(const Worksheet& sheet, std::string_view p) {
  if (sheet.Merges().empty()) return {};
  std::string out = "<" + std::string(p) + "mergeCells count=\"";
  AppendInt(out, static_cast<long>(sheet.Merges().size()));
  out += "\">";
  for (const CellRange& m : sheet.Merges()) out += "<" + std::string(p) + "mergeCell ref=\"" + m.ToString() + "\"/>";
  out += "</" + std::string(p) + "mergeCells>";
  return out;
}

std::string SheetXml::PrintOptions(const PrintSetup& s, std::string_view p) {
  if (!s.centerHorizontally && !s.printGridLines) return {};
  std::string out = "<" + std::string(p) + "printOptions";
  if (s.centerHorizontally) out += " horizontalCentered=\"1\"";
  if (s.printGridLines) out += " gridLines=\"1\"";
  return out + "/>";
}

std::string SheetXml::PageMargins(const PrintSetup& s, std::string_view p) {
  std::string out = "<" + std::string(p) + "pageMargins left=\"";
  AppendNumber(out, s.marginLeft);
  out += "\" right=\"";
  AppendNumber(out, s.marginRight);
  out += "\" top=\"";
  AppendNumber(out, s.marginTop);
  out += "\" bottom=\"";
  AppendNumber(out, s.marginBottom);
  return out + "\" header=\"0.3\" footer=\"0.3\"/>";
}

std::string SheetXml::PageSetup(const PrintSetup& s, std::string_view p, std::string_view kept) {
  std::string out = "<" + std::string(p) + "pageSetup paperSize=\"";
  AppendInt(out, s.paperSize);
  out += '"';
  if (s.fitToWidth > 0) {
    out += " fitToWidth=\"";
    AppendInt(out, s.fitToWidth);
    out += "\" fitToHeight=\"0\"";
  }
  out += s.landscape ? " orientation=\"landscape\"" : " orientation=\"portrait\"";
  out += kept;
  return out + "/>";
}

std::string SheetXml::HeaderFooter(const PrintSetup& s, std::string_view p) {
  if (s.header.empty() && s.footer.empty()) return {};
  const std::string prefix(p);
  std::string out = "<" + prefix + "headerFooter>";
  for (const auto& [name, text] : {std::pair<const char*, const std::string&>("oddHeader", s.header),
                                   std::pair<const char*, const std::string&>("oddFooter", s.footer)}) {
    if (text.empty()) continue;
    out += "<" + prefix + name + ">";
    AppendEscaped(out, text);
    out += "</" + prefix + name + ">";
  }
  return out + "</" + prefix + "headerFooter>";
}

std::string SheetXml::RowBreaks(const PrintSetup& s, std::string_view p) {
  if (s.rowBreaks.empty()) return {};
  const std::string prefix(p);
  std::string out = "<" + prefix + "rowBreaks count=\"";
  AppendInt(out, static_cast<long>(s.rowBreaks.size()));
  out += "\" manualBreakCount=\"";
  AppendInt(out, static_cast<long>(s.rowBreaks.size()));
  out += "\">";
  for (int row : s.rowBreaks) {
    out += "<" + prefix + "brk id=\"";
    AppendInt(out, row);
    out += "\" max=\"16383\" man=\"1\"/>";
  }
  return out + "</" + prefix + "rowBreaks>";
}

std::string SheetXml::Pane(const FrozenPane& pane, std::string_view p) {
  if (pane.rows <= 0 && pane.columns <= 0) return {};
  std::string out = "<" + std::string(p) + "pane";
  if (pane.columns > 0) {
    out += " xSplit=\"";
    AppendInt(out, pane.columns);
    out += '"';
  }
  if (pane.rows > 0) {
    out += " ySplit=\"";
    AppendInt(out, pane.rows);
    out += '"';
  }
  const char* active = pane.rows > 0 && pane.columns > 0 ? "bottomRight" : pane.rows > 0 ? "bottomLeft" : "topRight";
  out += " topLeftCell=\"" + CellAddress{pane.rows, pane.columns}.ToString() + "\" activePane=\"" + active +
         "\" state=\"frozen\"/>";
  return out;
}

}  // namespace spreadsheet
