#include "xlsx/SheetXml.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <map>
#include <variant>

#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

// Length of the well-formed UTF-8 sequence at text[i] (no overlong forms, surrogates or code
// points beyond U+10FFFF), or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
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
    const std::size_t k = Utf8SequenceAt(text, i);
    n += k == 4 ? 2 : 1;  // as the file format counts: UTF-16 code units
    i += k == 0 ? 1 : k;
  }
  return n;
}

std::string Where(const Worksheet& sheet, int row, int col) {
  return "工作表“" + sheet.Name() + "”的单元格 " + CellAddress{row, col}.ToString();
}

void AppendCell(std::string& out, const Worksheet& sheet, int row, int col, const Cell& cell, std::string_view p) {
  const std::uint32_t style = cell.style != 0 ? cell.style : sheet.ColumnStyle(col);
  const bool formula = cell.HasFormula();
  // A file holds no empty text constant: such a cell is written empty, as spreadsheets do.
  const bool emptyText = !formula && std::holds_alternative<std::string>(cell.value) &&
                         std::get<std::string>(cell.value).empty();
  if ((IsEmptyValue(cell.value) || emptyText) && !formula && style == 0) return;
  out += '<';
  out += p;
  out += "c r=\"";
  out += CellAddress{row, col}.ToString();
  out += '"';
  if (style != 0) {
    out += " s=\"";
    AppendInt(out, style);
    out += '"';
  }
  const double* number = std::get_if<double>(&cell.value);
  const std::string* text = emptyText ? nullptr : std::get_if<std::string>(&cell.value);
  const CellError* error = std::get_if<CellError>(&cell.value);
  if (number && !std::isfinite(*number)) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           Where(sheet, row, col) + " 中的数值 " +
                               (std::isnan(*number) ? std::string("NaN") : *number > 0 ? std::string("∞") : std::string("-∞")) +
                               " 不是有限数，无法写入文件");
  }
  if (text && Characters(*text) > 32767) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, Where(sheet, row, col) + " 中的文本超过 32767 个字符");
  }
  if (error) out += " t=\"e\"";
  else if (text) out += formula ? " t=\"str\"" : " t=\"inlineStr\"";
  if ((IsEmptyValue(cell.value) || emptyText) && !formula) {
    out += "/>";
    return;
  }
  out += '>';
  if (formula) {
    out += '<';
    out += p;
    out += "f>";
    SheetXml::AppendEscaped(out, cell.formula);
    out += "</";
    out += p;
    out += "f>";
  }
  auto value = [&](auto append) {
    out += '<';
    out += p;
    out += "v>";
    append();
    out += "</";
    out += p;
    out += "v>";
  };
  if (number) {
    value([&] { AppendNumber(out, *number); });
  } else if (error) {
    value([&] { SheetXml::AppendEscaped(out, error->code); });
  } else if (text && formula) {
    value([&] { SheetXml::AppendEscaped(out, *text, true); });
  } else if (text) {
    const bool spaces = !text->empty() && (text->front() == ' ' || text->back() == ' ' || text->front() == '\n' ||
                                           text->back() == '\n' || text->front() == '\t' || text->back() == '\t');
    out += '<';
    out += p;
    out += "is><";
    out += p;
    out += spaces ? "t xml:space=\"preserve\">" : "t>";
    SheetXml::AppendEscaped(out, *text, true);
    out += "</";
    out += p;
    out += "t></";
    out += p;
    out += "is>";
  }
  out += "</";
  out += p;
  out += "c>";
}

}  // namespace

bool SheetXml::IsWellFormedUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceAt(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

static bool IsHexEscapeAt(std::string_view text, std::size_t i) {
  if (text.size() < i + 7 || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return false;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    if (!std::isxdigit(static_cast<unsigned char>(text[k]))) return false;
  }
  return true;
}

void SheetXml::AppendEscaped(std::string& out, std::string_view text, bool cellText) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = Utf8SequenceAt(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    const char c = text[i];
    if (n == 1) {
      switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\t':
        case '\n': out += c; break;
        case '\r': out += "&#13;"; break;
        case '_':
          out += cellText && IsHexEscapeAt(text, i) ? "_x005F_" : "_";
          break;
        default:
          if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            // XML 1.0 has no such character; spreadsheet files write it as _xHHHH_.
            char buf[8];
            std::snprintf(buf, sizeof buf, "_x%04X_", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += buf;
          } else {
            out += c;
          }
      }
    } else {
      // U+FFFE and U+FFFF are no XML characters either.
      const std::string_view seq = text.substr(i, n);
      if (seq == "\xEF\xBF\xBE" || seq == "\xEF\xBF\xBF") out += "\xEF\xBF\xBD";
      else out.append(seq);
    }
    i += n;
  }
}

double SheetXml::StoredWidth(double characters) {
  const double pixels = characters < 1 ? std::round(characters * 12) : std::round(characters * 7) + 5;
  return std::floor(pixels / 7 * 256) / 256;
}

std::string SheetXml::SheetData(const Worksheet& sheet, std::string_view p) {
  std::string out;
  out.reserve(static_cast<std::size_t>(sheet.RowExtent()) * 96);
  out += '<';
  out += p;
  out += "sheetData>";
  const auto& heights = sheet.RowHeights();
  auto height = heights.begin();
  const int extent = sheet.RowExtent();
  for (int r = 0; r < extent || height != heights.end();) {
    // The next row that has cells or a height.
    const int next = std::min(r < extent ? r : CellAddress::kMaxRows, height != heights.end() ? height->first : CellAddress::kMaxRows);
    if (next >= CellAddress::kMaxRows) break;
    r = next;
    const auto& row = sheet.Row(r);
    const bool hasHeight = height != heights.end() && height->first == r;
    std::size_t start = out.size();
    out += '<';
    out += p;
    out += "row r=\"";
    AppendInt(out, r + 1);
    out += '"';
    if (hasHeight) {
      out += " ht=\"";
      AppendNumber(out, height->second);
      out += "\" customHeight=\"1\"";
      ++height;
    }
    out += '>';
    const std::size_t cellsStart = out.size();
    for (std::size_t c = 0; c < row.size(); ++c) AppendCell(out, sheet, r, static_cast<int>(c), row[c], p);
    if (out.size() == cellsStart && !hasHeight) {
      out.resize(start);
    } else if (out.size() == cellsStart) {
      out.back() = '/';
      out += '>';
    } else {
      out += "</";
      out += p;
      out += "row>";
    }
    ++r;
  }
  out += "</";
  out += p;
  out += "sheetData>";
  return out;
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

std::string SheetXml::Cols(const Worksheet& sheet, std::string_view p) {
  std::map<int, std::pair<double, std::uint32_t>> columns;  // column → shown width, style
  for (const auto& [col, width] : sheet.ColumnWidths()) columns[col] = {width, 0};
  for (const auto& [col, style] : sheet.ColumnStyles()) {
    auto [it, added] = columns.try_emplace(col, -1.0, style);
    if (!added) it->second.second = style;
  }
  if (columns.empty()) return {};
  std::string out = "<" + std::string(p) + "cols>";
  for (auto it = columns.begin(); it != columns.end();) {
    // One <col> per column: programs that show column formats by column read ranges poorly.
    const auto last = it;
    const auto [width, style] = it->second;
    out += "<" + std::string(p) + "col min=\"";
    AppendInt(out, it->first + 1);
    out += "\" max=\"";
    AppendInt(out, last->first + 1);
    out += "\" width=\"";
    AppendNumber(out, StoredWidth(width >= 0 ? width : 8.43));
    out += '"';
    if (style != 0) {
      out += " style=\"";
      AppendInt(out, style);
      out += '"';
    }
    if (width >= 0) out += " customWidth=\"1\"";
    out += "/>";
    it = std::next(last);
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

std::string SheetXml::PageSetup(const PrintSetup& s, std::string_view p) {
  std::string out = "<" + std::string(p) + "pageSetup paperSize=\"";
  AppendInt(out, s.paperSize);
  out += '"';
  if (s.fitToWidth > 0) {
    out += " fitToWidth=\"";
    AppendInt(out, s.fitToWidth);
    out += "\" fitToHeight=\"0\"";
  }
  out += s.landscape ? " orientation=\"landscape\"" : " orientation=\"portrait\"";
  return out + "/>";
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
