#include "xlsx/read/SheetDigest.h"

#include <cstring>
#include <string_view>
#include <variant>

namespace spreadsheet {

namespace {

class Hasher {
 public:
  void Add(std::uint64_t v) {
    h_ ^= v + 0x9e3779b97f4a7c15ull + (h_ << 6) + (h_ >> 2);
    h_ *= 0xff51afd7ed558ccdull;
    h_ ^= h_ >> 33;
  }
  void Add(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    Add(bits);
  }
  void Add(std::string_view s) {
    Add(static_cast<std::uint64_t>(s.size()));
    Add(static_cast<std::uint64_t>(std::hash<std::string_view>{}(s)));
  }
  std::uint64_t Value() const { return h_; }

 private:
  std::uint64_t h_ = 0x243f6a8885a308d3ull;
};

}  // namespace

SheetOrigin SheetDigest::Of(const Worksheet& sheet, std::string part, bool* uncomputed) {
  SheetOrigin o;
  bool noResult = false;
  o.part = std::move(part);
  Hasher cells;
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    const auto& row = sheet.Row(r);
    for (std::size_t c = 0; c < row.size(); ++c) {
      const Cell& cell = row[c];
      if (IsEmptyValue(cell.value) && cell.formula.empty() && cell.style == 0) continue;
      // Row (16 bits), column (8), formula or not, kind of value (3) and style in one word.
      cells.Add(std::uint64_t(r) << 48 | std::uint64_t(c) << 40 | std::uint64_t(cell.HasFormula()) << 39 |
                std::uint64_t(cell.value.index()) << 32 | cell.style);
      if (const double* d = std::get_if<double>(&cell.value)) cells.Add(*d);
      if (const bool* b = std::get_if<bool>(&cell.value)) cells.Add(std::uint64_t(*b));
      if (const std::string* s = std::get_if<std::string>(&cell.value)) cells.Add(std::string_view(*s));
      if (const CellError* e = std::get_if<CellError>(&cell.value)) cells.Add(std::string_view(e->code));
      if (cell.HasFormula()) {
        cells.Add(std::string_view(cell.formula));
        noResult = noResult || std::holds_alternative<NoStoredResult>(cell.value);
      }
    }
  }
  if (uncomputed) *uncomputed = noResult;
  for (const auto& [row, height] : sheet.RowHeights()) {
    cells.Add(std::uint64_t(row));
    cells.Add(height);
  }
  // A sheet whose cells were released holds them (and its row heights) as its part does.
  o.cells = sheet.CellsReleased() ? sheet.Origin().cells : cells.Value();
  Hasher columns;
  for (const auto& [col, width] : sheet.ColumnWidths()) {
    columns.Add(std::uint64_t(col));
    columns.Add(width);
  }
  columns.Add(std::uint64_t{0xC0});
  for (const auto& [col, style] : sheet.ColumnStyles()) {
    columns.Add(std::uint64_t(col));
    columns.Add(std::uint64_t{style});
  }
  o.columns = columns.Value();
  Hasher merges;
  for (const CellRange& m : sheet.Merges()) {
    merges.Add((std::uint64_t(m.first.row) << 32) | std::uint64_t(m.first.column));
    merges.Add((std::uint64_t(m.last.row) << 32) | std::uint64_t(m.last.column));
  }
  o.merges = merges.Value();
  Hasher layout;
  const PrintSetup& p = sheet.Print();
  layout.Add(std::uint64_t(p.landscape) | std::uint64_t(p.centerHorizontally) << 1 | std::uint64_t(p.printGridLines) << 2);
  layout.Add(std::uint64_t(std::int64_t{p.paperSize}));
  layout.Add(std::uint64_t(std::int64_t{p.repeatRowsFirst}));
  layout.Add(std::uint64_t(std::int64_t{p.repeatRowsLast}));
  layout.Add(std::uint64_t(std::int64_t{p.fitToWidth}));
  for (double m : {p.marginLeft, p.marginRight, p.marginTop, p.marginBottom}) layout.Add(m);
  layout.Add(std::string_view(p.header));
  layout.Add(std::string_view(p.footer));
  layout.Add(static_cast<std::uint64_t>(p.rowBreaks.size()));
  for (int b : p.rowBreaks) layout.Add(std::uint64_t(std::int64_t{b}));
  layout.Add((std::uint64_t(sheet.Frozen().rows) << 32) | std::uint64_t(sheet.Frozen().columns));
  o.layout = layout.Value();
  return o;
}

}  // namespace spreadsheet
