#include "xlsx/write/SheetExtras.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "workbook/CellAddress.h"

namespace spreadsheet {

namespace {

std::optional<long> Integer(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// "AB12" → row 11, column 27 (0-based); false for anything else.
bool CellReference(std::string_view ref, long& row, long& column) {
  std::size_t i = 0;
  long c = 0;
  while (i < ref.size() && i < 3 && ref[i] >= 'A' && ref[i] <= 'Z') c = c * 26 + (ref[i++] - 'A' + 1);
  const auto r = i > 0 ? Integer(ref.substr(i)) : std::nullopt;
  if (!r || *r < 1) return false;
  row = *r - 1;
  column = c - 1;
  return true;
}

void AppendAttribute(std::string& to, std::string_view xml, const XmlAttribute& a) {
  to += ' ';
  to.append(xml.substr(a.begin, a.end - a.begin));
}

}  // namespace

SheetExtras::SheetExtras(std::string_view xml, const XmlSpan* sheetData, const XmlSpan* cols) {
  if (sheetData) ReadRows(xml, *sheetData);
  if (cols) ReadColumns(xml, *cols);
}

void SheetExtras::ReadRows(std::string_view xml, const XmlSpan& sheetData) {
  const std::vector<XmlSpan> rows = XmlSplice::Children(xml, sheetData);
  std::vector<long> numbers(rows.size(), -1);
  long row = -1;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].name != "row") continue;
    std::string kept;
    std::optional<long> r;
    for (const XmlAttribute& a : XmlSplice::Attributes(xml, rows[i])) {
      if (a.qname == "r") r = Integer(a.value);
      else if (a.qname != "spans" && a.qname != "ht" && a.qname != "customHeight") AppendAttribute(kept, xml, a);
    }
    row = r ? *r - 1 : row + 1;
    numbers[i] = row;
    if (!kept.empty() && row >= 0 && row < CellAddress::kMaxRows) rows_.push_back(Row{static_cast<int>(row), kept});
  }
  std::stable_sort(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) { return a.row < b.row; });
  rows_.erase(std::unique(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) { return a.row == b.row; }),
              rows_.end());

  // Boolean cells: only a row whose text holds a value "b" can have one, and in a sheet of
  // numbers and texts that letter is rare, so the rows to walk cell by cell are found by it.
  std::vector<bool> walk(rows.size(), false);
  const char* data = xml.data();
  for (std::size_t pos = sheetData.contentBegin; pos + 1 < sheetData.contentEnd;) {
    const void* hit = std::memchr(data + pos, 'b', sheetData.contentEnd - pos - 1);
    if (!hit) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    pos = at + 1;
    if ((data[at - 1] != '"' && data[at - 1] != '\'') || data[at + 1] != data[at - 1]) continue;
    const auto after = std::upper_bound(rows.begin(), rows.end(), at,
                                        [](std::size_t p, const XmlSpan& s) { return p < s.begin; });
    if (after != rows.begin()) walk[static_cast<std::size_t>(after - rows.begin() - 1)] = true;
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!walk[i] || numbers[i] < 0) continue;
    long column = -1;
    for (const XmlSpan& c : XmlSplice::Children(xml, rows[i])) {
      if (c.name != "c") continue;
      long r = numbers[i];
      bool boolean = false, placed = false;
      for (const XmlAttribute& a : XmlSplice::Attributes(xml, c)) {
        if (a.qname == "t") boolean = a.value == "b";
        if (a.qname == "r") placed = CellReference(a.value, r, column);
      }
      if (!placed) ++column;
      if (boolean && r < CellAddress::kMaxRows && column >= 0 && column < CellAddress::kMaxColumns) {
        booleans_.push_back(static_cast<std::uint32_t>(r) << 8 | static_cast<std::uint32_t>(column));
      }
    }
  }
  std::sort(booleans_.begin(), booleans_.end());
}

void SheetExtras::ReadColumns(std::string_view xml, const XmlSpan& cols) {
  for (const XmlSpan& c : XmlSplice::Children(xml, cols)) {
    if (c.name != "col") continue;
    std::optional<long> min, max;
    std::string kept;
    for (const XmlAttribute& a : XmlSplice::Attributes(xml, c)) {
      if (a.qname == "min") min = Integer(a.value);
      else if (a.qname == "max") max = Integer(a.value);
      else if (a.qname != "width" && a.qname != "customWidth" && a.qname != "style") AppendAttribute(kept, xml, a);
    }
    if (!min || !max || kept.empty()) continue;
    columns_.resize(CellAddress::kMaxColumns);
    for (long i = std::max(*min, 1L); i <= std::min<long>(*max, CellAddress::kMaxColumns); ++i) {
      columns_[static_cast<std::size_t>(i - 1)] = kept;
    }
  }
}

void SheetExtras::FollowMoves(const Worksheet& now) {
  if (!now.MovedSinceOrigin()) return;
  std::vector<Row> rows;
  for (Row& r : rows_) {
    if (const auto at = now.RowSinceOrigin(r.row)) rows.push_back(Row{*at, std::move(r.attributes)});
  }
  rows_ = std::move(rows);  // the renumbering keeps the order: it never swaps two rows
  if (!columns_.empty()) {
    std::vector<std::string> columns(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const auto at = columns_[i].empty() ? std::nullopt : now.ColumnSinceOrigin(static_cast<int>(i));
      if (at) columns[static_cast<std::size_t>(*at)] = std::move(columns_[i]);
    }
    columns_ = std::move(columns);
  }
  std::vector<std::uint32_t> booleans;
  for (const std::uint32_t b : booleans_) {
    const auto row = now.RowSinceOrigin(static_cast<int>(b >> 8));
    const auto column = now.ColumnSinceOrigin(static_cast<int>(b & 0xFF));
    if (row && column) booleans.push_back(static_cast<std::uint32_t>(*row) << 8 | static_cast<std::uint32_t>(*column));
  }
  booleans_ = std::move(booleans);
}

const std::string& SheetExtras::Column(int column) const {
  static const std::string kNone;
  return column >= 0 && static_cast<std::size_t>(column) < columns_.size() ? columns_[static_cast<std::size_t>(column)]
                                                                            : kNone;
}

bool SheetExtras::WasBoolean(int row, int column) const {
  return std::binary_search(booleans_.begin(), booleans_.end(),
                            static_cast<std::uint32_t>(row) << 8 | static_cast<std::uint32_t>(column));
}

}  // namespace spreadsheet
