#include "sheetview/SheetPrinter.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <vector>

#include "sheetview/CellPainter.h"
#include "numfmt/NumberFormat.h"
#include "workbook/SheetMetrics.h"
#include "workbook/SpreadsheetError.h"
#include "sheetview/TextOverflow.h"

namespace spreadsheet {

namespace {

QPageSize::PageSizeId PaperOf(int code) {
  switch (code) {
    case 1: return QPageSize::Letter;
    case 5: return QPageSize::Legal;
    case 8: return QPageSize::A3;
    case 11: return QPageSize::A5;
    case 13: return QPageSize::B5;
    default: return QPageSize::A4;
  }
}

bool Visible(const CellStyle& style) {
  return style.fill || style.left.style != BorderStyle::None || style.right.style != BorderStyle::None ||
         style.top.style != BorderStyle::None || style.bottom.style != BorderStyle::None;
}

// One page: the sheet rows and the columns it shows, in order, with the pixel offsets at 96 dpi.
struct Page {
  std::vector<int> rows;
  int firstColumn = 0;
  int lastColumn = 0;
};

class PagePainter {
 public:
  PagePainter(const Workbook& workbook, const Worksheet& sheet, QPainter& painter)
      : workbook_(workbook), sheet_(sheet), painter_(painter) {}

  void Paint(const Page& page) {
    std::vector<double> top(page.rows.size());
    double y = 0;
    for (std::size_t i = 0; i < page.rows.size(); ++i) {
      top[i] = y;
      y += SheetMetrics::RowHeight(sheet_, page.rows[i]);
    }
    std::vector<double> left;
    double x = 0;
    for (int c = page.firstColumn; c <= page.lastColumn; ++c) {
      left.push_back(x);
      x += SheetMetrics::ColumnWidth(sheet_, c);
    }
    const QRectF area(0, 0, x, y);
    painter_.save();
    painter_.setClipRect(area);
    for (int pass = 0; pass < 3; ++pass) {
      for (std::size_t i = 0; i < page.rows.size(); ++i) {
        const int r = page.rows[i];
        const bool firstOnPage = i == 0 || page.rows[i - 1] != r - 1;
        for (int c = page.firstColumn; c <= page.lastColumn; ++c) {
          const QRectF rect = CellRect(page, top, left, i, c);
          if (rect.isEmpty()) continue;
          if (pass == 0) PaintContent(r, c, rect);
          if (pass == 0) PaintSpills(page, left, r, c, rect);
          if (pass == 1 && sheet_.Print().printGridLines) PaintGrid(rect);
          if (pass == 2) PaintBorders(r, c, rect, firstOnPage, c == page.firstColumn);
        }
      }
    }
    painter_.restore();
  }

 private:
  const CellStyle& Style(int r, int c) const {
    if (r < 0 || c < 0 || r >= CellAddress::kMaxRows || c >= CellAddress::kMaxColumns) return workbook_.Style(0);
    return workbook_.Style(sheet_.StyleAt(CellAddress{r, c}));
  }

  // The rectangle a cell paints into: a merge's anchor covers the whole merge, its other cells
  // nothing.
  QRectF CellRect(const Page& page, const std::vector<double>& top, const std::vector<double>& left, std::size_t i,
                  int c) const {
    const int r = page.rows[i];
    const double x = left[static_cast<std::size_t>(c - page.firstColumn)];
    const CellRange* merge = sheet_.MergeAt(CellAddress{r, c});
    if (!merge) return QRectF(x, top[i], SheetMetrics::ColumnWidth(sheet_, c), SheetMetrics::RowHeight(sheet_, r));
    // The anchor, or the first cell of the merge that this page shows.
    const bool firstRowHere = r == merge->first.row || i == 0 || page.rows[i - 1] != r - 1;
    const bool firstColumnHere = c == merge->first.column || c == page.firstColumn;
    if (!firstRowHere || !firstColumnHere) return {};
    double w = 0;
    for (int k = c; k <= std::min(merge->last.column, page.lastColumn); ++k) w += SheetMetrics::ColumnWidth(sheet_, k);
    double h = 0;
    for (std::size_t k = i; k < page.rows.size() && page.rows[k] <= merge->last.row; ++k) {
      if (k > i && page.rows[k] != page.rows[k - 1] + 1) break;
      h += SheetMetrics::RowHeight(sheet_, page.rows[k]);
    }
    return QRectF(x, top[i], w, h);
  }

  void PaintContent(int r, int c, const QRectF& rect) {
    const CellRange* merge = sheet_.MergeAt(CellAddress{r, c});
    const CellAddress anchor = merge ? merge->first : CellAddress{r, c};
    const CellStyle& style = Style(anchor.row, anchor.column);
    if (style.fill) CellPainter::PaintFill(painter_, rect, style);
    const CellValue value = sheet_.Value(anchor);
    if (IsEmptyValue(value)) return;
    CellPainter::PaintValue(painter_, rect, style, value, NumberFormat(style.numberFormat), workbook_.Dates());
  }

  void PaintSpills(const Page& page, const std::vector<double>& left, int r, int c, const QRectF& rect) {
    const auto geometry = [&](int column) {
      return std::pair<double, double>(left[static_cast<std::size_t>(column - page.firstColumn)],
                                       SheetMetrics::ColumnWidth(sheet_, column));
    };
    for (const TextOverflow::Spill& spill : TextOverflow::Into(workbook_, sheet_, CellAddress{r, c}, rect.top(),
                                                               rect.height(), geometry, page.firstColumn,
                                                               page.lastColumn)) {
      const CellStyle& style = Style(spill.source.row, spill.source.column);
      painter_.save();
      painter_.setClipRect(rect, Qt::IntersectClip);
      CellPainter::PaintText(painter_, spill.extent, style,
                             QString::fromStdString(NumberFormat::Display(sheet_.Value(spill.source), style.numberFormat)),
                             false);
      painter_.restore();
    }
  }

  void PaintGrid(const QRectF& rect) {
    painter_.save();
    painter_.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 0.5));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRect(rect);
    painter_.restore();
  }

  void PaintBorders(int r, int c, const QRectF& rect, bool firstRowOnPage, bool firstColumnOnPage) {
    const CellRange* merge = sheet_.MergeAt(CellAddress{r, c});
    const int lastRow = merge ? merge->last.row : r;
    const int lastColumn = merge ? merge->last.column : c;
    const Border none;
    const Border& right = CellPainter::Stronger(Style(r, lastColumn).right, Style(r, lastColumn + 1).left);
    const Border& bottom = CellPainter::Stronger(Style(lastRow, c).bottom, Style(lastRow + 1, c).top);
    const Border& left = firstColumnOnPage ? CellPainter::Stronger(Style(r, c).left, Style(r, c - 1).right) : none;
    const Border& top = firstRowOnPage ? CellPainter::Stronger(Style(r, c).top, Style(r - 1, c).bottom) : none;
    // Lines straddle the cell edge a little so that neighbouring cells' lines meet.
    CellPainter::PaintBorders(painter_, rect.adjusted(-0.5, -0.5, 0.5, 0.5), left, top, right, bottom);
  }

  const Workbook& workbook_;
  const Worksheet& sheet_;
  QPainter& painter_;
};

}  // namespace

std::optional<CellRange> SheetPrinter::PrintRange(const Workbook& workbook, const Worksheet& sheet) {
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

void SheetPrinter::SetUpPage(const Worksheet& sheet, QPrinter& printer) {
  const PrintSetup& setup = sheet.Print();
  constexpr double kMillimetresPerInch = 25.4;
  const QMarginsF margins(setup.marginLeft * kMillimetresPerInch, setup.marginTop * kMillimetresPerInch,
                          setup.marginRight * kMillimetresPerInch, setup.marginBottom * kMillimetresPerInch);
  printer.setPageLayout(QPageLayout(QPageSize(PaperOf(setup.paperSize)),
                                    setup.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, margins,
                                    QPageLayout::Millimeter));
}

int SheetPrinter::Print(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer) {
  const std::optional<CellRange> range = PrintRange(workbook, sheet);
  if (!range) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "工作表“" + sheet.Name() + "”中没有可打印的内容");
  }
  SetUpPage(sheet, printer);
  const PrintSetup& setup = sheet.Print();
  const QRectF paper = printer.pageLayout().paintRectPixels(printer.resolution());
  const double toDevice = printer.resolution() / 96.0;
  const double pageWidth = paper.width() / toDevice;
  const double pageHeight = paper.height() / toDevice;

  double totalWidth = 0;
  for (int c = range->first.column; c <= range->last.column; ++c) totalWidth += SheetMetrics::ColumnWidth(sheet, c);
  double fit = 1;
  if (setup.fitToWidth > 0 && totalWidth > pageWidth * setup.fitToWidth) {
    fit = pageWidth * setup.fitToWidth / totalWidth;
  }
  const double usableWidth = pageWidth / fit;
  const double usableHeight = pageHeight / fit;

  // Column bands across, each as wide as fits (at least one column).
  std::vector<std::pair<int, int>> bands;
  for (int c = range->first.column; c <= range->last.column;) {
    int last = c;
    double w = SheetMetrics::ColumnWidth(sheet, c);
    while (last + 1 <= range->last.column && w + SheetMetrics::ColumnWidth(sheet, last + 1) <= usableWidth) {
      w += SheetMetrics::ColumnWidth(sheet, ++last);
    }
    bands.emplace_back(c, last);
    c = last + 1;
  }

  // Row pages down; the repeated rows head every page after the first.
  std::vector<int> header;
  if (setup.repeatRowsFirst >= 0 && setup.repeatRowsLast >= setup.repeatRowsFirst) {
    for (int r = setup.repeatRowsFirst; r <= std::min(setup.repeatRowsLast, range->last.row); ++r) header.push_back(r);
  }
  double headerHeight = 0;
  for (int r : header) headerHeight += SheetMetrics::RowHeight(sheet, r);
  std::vector<std::vector<int>> rowPages;
  for (int r = range->first.row; r <= range->last.row;) {
    std::vector<int> rows;
    double h = 0;
    if (!rowPages.empty() && !header.empty() && r > header.back() && headerHeight < usableHeight / 2) {
      rows = header;
      h = headerHeight;
    }
    const std::size_t before = rows.size();
    while (r <= range->last.row) {
      const double rh = SheetMetrics::RowHeight(sheet, r);
      if (rows.size() > before && h + rh > usableHeight) break;
      rows.push_back(r++);
      h += rh;
    }
    rowPages.push_back(std::move(rows));
  }

  QPainter painter;
  if (!painter.begin(&printer)) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "无法打开打印输出“" + printer.outputFileName().toStdString() + "”");
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  PagePainter pages(workbook, sheet, painter);
  const int total = static_cast<int>(bands.size() * rowPages.size());
  const QRectF full = printer.pageLayout().fullRectPixels(printer.resolution());
  // The footer's line in the middle of the bottom margin, in the painter's coordinates (the
  // origin is the printable area's top-left corner).
  const double marginBottom = full.bottom() - paper.bottom();
  const QRectF footer(0, paper.height() + marginBottom / 4, paper.width(), marginBottom / 2);
  QFont footerFont = CellPainter::FontFor(CellStyle{});
  footerFont.setPointSizeF(9);
  int count = 0;
  for (const auto& band : bands) {
    double bandWidth = 0;
    for (int c = band.first; c <= band.second; ++c) bandWidth += SheetMetrics::ColumnWidth(sheet, c);
    for (const auto& rows : rowPages) {
      if (count > 0) printer.newPage();
      painter.save();
      painter.scale(toDevice * fit, toDevice * fit);
      if (setup.centerHorizontally) painter.translate((usableWidth - bandWidth) / 2, 0);
      pages.Paint(Page{rows, band.first, band.second});
      painter.restore();
      ++count;
      painter.setFont(footerFont);
      painter.setPen(Qt::black);
      painter.drawText(footer, Qt::AlignCenter, QStringLiteral("第 %1 页 共 %2 页").arg(count).arg(total));
    }
  }
  painter.end();
  return count;
}

}  // namespace spreadsheet
