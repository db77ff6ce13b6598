#include "workbook/PageRows.h"

#include <algorithm>

#include "workbook/SheetMetrics.h"

namespace spreadsheet {

namespace {

bool Visible(const CellStyle& style) {
  return style.fill || style.left.style != BorderStyle::None || style.right.style != BorderStyle::None ||
         style.top.style != BorderStyle::None || style.bottom.style != BorderStyle::None;
}

bool HoldsValue(const Worksheet& sheet, int row, int lastColumn) {
  if (row >= sheet.RowExtent()) return false;
  const auto& cells = sheet.Row(row);
  for (int c = 0; c <= std::min(lastColumn, static_cast<int>(cells.size()) - 1); ++c) {
    if (!IsEmptyValue(cells[static_cast<std::size_t>(c)].value)) return true;
  }
  return false;
}

// Paper width and height in inches, portrait.
std::pair<double, double> Paper(int code) {
  switch (code) {
    case 1: return {8.5, 11};
    case 5: return {8.5, 14};
    case 8: return {297 / 25.4, 420 / 25.4};
    case 11: return {148 / 25.4, 210 / 25.4};
    case 13: return {176 / 25.4, 250 / 25.4};
    default: return {210 / 25.4, 297 / 25.4};
  }
}

constexpr double kDpi = 96;

}  // namespace

std::optional<CellRange> PageRows::PrintRange(const Workbook& workbook, const Worksheet& sheet) {
  int lastRow = -1;
  int lastColumn = -1;
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    const auto& cells = sheet.Row(r);
    for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
      const Cell& cell = cells[static_cast<std::size_t>(c)];
      if (!IsEmptyValue(cell.value) || (cell.style != 0 && Visible(workbook.Style(cell.style)))) {
        lastRow = std::max(lastRow, r);
        lastColumn = std::max(lastColumn, c);
      }
    }
  }
  for (const CellRange& m : sheet.Merges()) {
    lastRow = std::max(lastRow, m.last.row);
    lastColumn = std::max(lastColumn, m.last.column);
  }
  if (lastRow < 0) return std::nullopt;
  return CellRange{{0, 0}, {lastRow, lastColumn}};
}

double PageRows::PrintableWidth(const PrintSetup& setup) {
  const auto [w, h] = Paper(setup.paperSize);
  return std::max(0.0, (setup.landscape ? h : w) - setup.marginLeft - setup.marginRight) * kDpi;
}

double PageRows::PrintableHeight(const PrintSetup& setup) {
  const auto [w, h] = Paper(setup.paperSize);
  return std::max(0.0, (setup.landscape ? w : h) - setup.marginTop - setup.marginBottom) * kDpi;
}

double PageRows::Fit(const Worksheet& sheet, const CellRange& range, double printableWidth) {
  const int across = sheet.Print().fitToWidth;
  if (across <= 0) return 1;
  double total = 0;
  for (int c = range.first.column; c <= range.last.column; ++c) total += SheetMetrics::ColumnWidth(sheet, c);
  return total > printableWidth * across ? printableWidth * across / total : 1;
}

std::vector<std::vector<int>> PageRows::Pages(const Worksheet& sheet, const CellRange& range, double usableHeight,
                                              bool keepBlocks) {
  const PrintSetup& setup = sheet.Print();
  std::vector<int> header;
  if (setup.repeatRowsFirst >= 0 && setup.repeatRowsLast >= setup.repeatRowsFirst) {
    for (int r = setup.repeatRowsFirst; r <= std::min(setup.repeatRowsLast, range.last.row); ++r) header.push_back(r);
  }
  double headerHeight = 0;
  for (int r : header) headerHeight += SheetMetrics::RowHeight(sheet, r);
  const int lastColumn = range.last.column;
  const auto blockHeight = [&](int from) {
    double h = 0;
    for (int r = from; r <= range.last.row && HoldsValue(sheet, r, lastColumn); ++r) h += SheetMetrics::RowHeight(sheet, r);
    return h;
  };
  auto nextBreak = std::upper_bound(setup.rowBreaks.begin(), setup.rowBreaks.end(), range.first.row);
  std::vector<std::vector<int>> pages;
  for (int r = range.first.row; r <= range.last.row;) {
    while (nextBreak != setup.rowBreaks.end() && *nextBreak <= r) ++nextBreak;
    const int stop = nextBreak != setup.rowBreaks.end() ? *nextBreak : range.last.row + 1;
    std::vector<int> rows;
    double h = 0;
    if (!pages.empty() && !header.empty() && r > header.back() && headerHeight < usableHeight / 2) {
      rows = header;
      h = headerHeight;
    }
    const std::size_t before = rows.size();
    const int pageFirst = r;
    while (r <= range.last.row && r < stop) {
      const double rh = SheetMetrics::RowHeight(sheet, r);
      if (rows.size() > before && h + rh > usableHeight) break;
      rows.push_back(r++);
      h += rh;
    }
    // A break inside a block of filled rows that began after an empty row on this page moves
    // before the block, when the whole block fits on the next page.
    if (keepBlocks && r < stop && r <= range.last.row && HoldsValue(sheet, r, lastColumn) &&
        HoldsValue(sheet, r - 1, lastColumn)) {
      int start = r - 1;
      while (start > pageFirst && HoldsValue(sheet, start - 1, lastColumn)) --start;
      if (start > pageFirst && blockHeight(start) <= usableHeight - headerHeight) {
        rows.resize(rows.size() - static_cast<std::size_t>(r - start));
        r = start;
      }
    }
    pages.push_back(std::move(rows));
  }
  return pages;
}

std::vector<int> PageRows::Starts(const Workbook& workbook, const Worksheet& sheet) {
  const std::optional<CellRange> range = PrintRange(workbook, sheet);
  if (!range) return {};
  const double fit = Fit(sheet, *range, PrintableWidth(sheet.Print()));
  const auto pages = Pages(sheet, *range, PrintableHeight(sheet.Print()) / fit * kSafeShare, true);
  std::vector<int> starts;
  for (std::size_t i = 1; i < pages.size(); ++i) starts.push_back(pages[i - 1].back() + 1);
  return starts;
}

}  // namespace spreadsheet
