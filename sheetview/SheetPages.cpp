#include "sheetview/SheetPages.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <algorithm>
#include <optional>
#include <stdexcept>

#include "numfmt/NumberFormat.h"
#include "sheetview/CellPainter.h"
#include "sheetview/SheetPrinter.h"
#include "sheetview/TextOverflow.h"
#include "sheetview/WorkbookTableModel.h"
#include "workbook/HeaderFooterText.h"
#include "workbook/PageRows.h"
#include "workbook/SheetMetrics.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

// One page: the sheet rows and the columns it shows, in order, with the pixel offsets at 96 dpi.
struct Page {
  const std::vector<int>& rows;
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
      // The borders straddle the cells' edges: the outer ones reach half a line beyond the area,
      // and clipped there they would print at half their width or not show in the preview.
      if (pass == 2) {
        painter_.restore();
        painter_.save();
      }
      for (std::size_t i = 0; i < page.rows.size(); ++i) {
        const int r = page.rows[i];
        const bool firstOnPage = i == 0 || page.rows[i - 1] != r - 1;
        for (int c = page.firstColumn; c <= page.lastColumn; ++c) {
          const QRectF rect = CellRect(page, top, left, i, c);
          if (rect.isEmpty()) continue;
          if (pass == 0) PaintContent(page, r, c, rect);
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

  void PaintContent(const Page& page, int r, int c, const QRectF& rect) {
    const CellRange* merge = sheet_.MergeAt(CellAddress{r, c});
    const CellAddress anchor = merge ? merge->first : CellAddress{r, c};
    const CellStyle& style = Style(anchor.row, anchor.column);
    if (style.fill) CellPainter::PaintFill(painter_, rect, style);
    const CellValue value = WorkbookTableModel::Shown(sheet_.FindCell(anchor));
    if (IsEmptyValue(value)) return;
    // Numbers as spreadsheets fit them ("###" rather than cut), errors and booleans as shown.
    if (!IsText(value) || style.wrapText) {
      return CellPainter::PaintValue(painter_, rect, style, value, NumberFormat(style.numberFormat), workbook_.Dates());
    }
    const QString text = QString::fromStdString(NumberFormat::Display(value, style.numberFormat));
    // A text prints whole, never cut: past its alignment's side when only the other side is
    // free (the seed beside its label), in a smaller font when neither gives it room.
    const double width = QFontMetricsF(CellPainter::FontFor(style)).horizontalAdvance(text) + 2 * CellPainter::kTextPadding;
    const double room = Room(page, anchor, rect.width(), style.horizontal);
    if (width <= room) return CellPainter::PaintText(painter_, rect, style, text, false);
    const bool towardsLeft = style.horizontal != HorizontalAlignment::Right;
    const double other = InMerge(anchor) ? rect.width() : rect.width() + Side(page, anchor, towardsLeft ? -1 : 1);
    CellStyle turned = style;
    QRectF area = rect;
    if (other > room) {
      turned.horizontal = towardsLeft ? HorizontalAlignment::Right : HorizontalAlignment::Left;
      area = towardsLeft ? QRectF(rect.right() - other, rect.top(), other, rect.height())
                         : QRectF(rect.left(), rect.top(), other, rect.height());
    }
    const double available = std::max(room, other);
    if (width > available) {
      turned.fontSize = (style.fontSize > 0 ? style.fontSize : CellPainter::kDefaultFontPoints) *
                        (available - 2 * CellPainter::kTextPadding) / (width - 2 * CellPainter::kTextPadding);
    }
    painter_.save();
    painter_.setClipRect(area, Qt::IntersectClip);
    CellPainter::PaintText(painter_, area, turned, text, false);
    painter_.restore();
  }

  // The width a text of cell `a` may take: its own and that of the empty cells it may run into
  // on the page, on the side its alignment sends it.
  double Room(const Page& page, CellAddress a, double own, HorizontalAlignment alignment) const {
    if (InMerge(a) || !TextOverflow::Spills(workbook_, sheet_, a)) return own;
    switch (alignment) {
      case HorizontalAlignment::Right: return own + Side(page, a, -1);
      case HorizontalAlignment::Center: return own + 2 * std::min(Side(page, a, -1), Side(page, a, 1));
      default: return own + Side(page, a, 1);
    }
  }
  // The width of the empty cells beside `a` on the page, leftwards (-1) or rightwards (+1).
  double Side(const Page& page, CellAddress a, int step) const {
    double room = 0;
    for (int c = a.column + step; c >= page.firstColumn && c <= page.lastColumn; c += step) {
      const CellAddress next{a.row, c};
      if (!IsEmptyValue(sheet_.Value(next)) || InMerge(next)) break;
      room += SheetMetrics::ColumnWidth(sheet_, c);
    }
    return room;
  }
  bool InMerge(CellAddress a) const { return sheet_.MergeAt(a) != nullptr; }

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

SheetPages::SheetPages(const Workbook& workbook, const Worksheet& sheet, const QPageLayout& layout)
    : workbook_(workbook), sheet_(sheet), layout_(layout) {
  const std::optional<CellRange> range = PageRows::PrintRange(workbook, sheet);
  if (!range) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作表“" + sheet.Name() + "”中没有可打印的内容");
  }
  constexpr int kDpi = 96;
  const QRectF full = layout.fullRectPixels(kDpi);
  const QRectF printable = layout.paintRectPixels(kDpi);
  paper_ = full.size();
  margins_ = QMarginsF(printable.left() - full.left(), printable.top() - full.top(), full.right() - printable.right(),
                       full.bottom() - printable.bottom());
  centred_ = sheet.Print().centerHorizontally;

  fit_ = PageRows::Fit(sheet, *range, printable.width());
  const double usableWidth = printable.width() / fit_;
  const double usableHeight = printable.height() / fit_;

  // Column bands across, each as wide as fits (at least one column).
  for (int c = range->first.column; c <= range->last.column;) {
    int last = c;
    double w = SheetMetrics::ColumnWidth(sheet, c);
    while (last + 1 <= range->last.column && w + SheetMetrics::ColumnWidth(sheet, last + 1) <= usableWidth) {
      w += SheetMetrics::ColumnWidth(sheet, ++last);
    }
    bands_.emplace_back(c, last);
    c = last + 1;
  }
  rowPages_ = PageRows::Pages(sheet, *range, usableHeight, true);
}

const std::vector<int>& SheetPages::RowsOf(int index) const {
  if (index < 0 || index >= Count()) throw std::out_of_range("page index");
  return rowPages_[static_cast<std::size_t>(index) % rowPages_.size()];
}

void SheetPages::Paint(QPainter& painter, int index) const {
  const std::pair<int, int>& band = bands_.at(static_cast<std::size_t>(index) / rowPages_.size());
  const std::vector<int>& rows = RowsOf(index);
  const double printableWidth = paper_.width() - margins_.left() - margins_.right();
  const double printableHeight = paper_.height() - margins_.top() - margins_.bottom();
  double bandWidth = 0;
  for (int c = band.first; c <= band.second; ++c) bandWidth += SheetMetrics::ColumnWidth(sheet_, c);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.scale(fit_, fit_);
  if (centred_) painter.translate((printableWidth / fit_ - bandWidth) / 2, 0);
  PagePainter(workbook_, sheet_, painter).Paint(Page{rows, band.first, band.second});
  painter.restore();
  // The header in the middle of the top margin, the footer in the middle of the bottom one,
  // each in three sections; a sheet without either shows "第 N 页 共 M 页" as its footer.
  const PrintSetup& setup = sheet_.Print();
  const std::string footer = setup.header.empty() && setup.footer.empty() ? "&C第 &P 页 共 &N 页" : setup.footer;
  QFont font = CellPainter::FontFor(CellStyle{});
  font.setPixelSize(12);  // 9 points
  painter.save();
  painter.setFont(font);
  painter.setPen(Qt::black);
  const auto paint = [&](const std::string& codes, const QRectF& box) {
    const HeaderFooterText::Sections s = HeaderFooterText::Expand(codes, index + 1, Count(), sheet_.Name());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(s.left));
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignVCenter, QString::fromStdString(s.centre));
    painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, QString::fromStdString(s.right));
  };
  paint(setup.header, QRectF(0, -margins_.top() * 3 / 4, printableWidth, margins_.top() / 2));
  paint(footer, QRectF(0, printableHeight + margins_.bottom() / 4, printableWidth, margins_.bottom() / 2));
  painter.restore();
}

}  // namespace spreadsheet
