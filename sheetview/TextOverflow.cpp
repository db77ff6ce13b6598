#include "sheetview/TextOverflow.h"

#include <QFontMetricsF>
#include <algorithm>

#include "sheetview/CellPainter.h"
#include "numfmt/NumberFormat.h"

namespace spreadsheet {

namespace {

constexpr int kReach = 16;  // columns searched for a spilling text on either side

bool HoldsValue(const Worksheet& sheet, CellAddress a) {
  const Cell* cell = sheet.FindCell(a);
  return cell && !IsEmptyValue(cell->value);
}

}  // namespace

bool TextOverflow::Spills(const Workbook& workbook, const Worksheet& sheet, CellAddress cell) {
  const Cell* c = sheet.FindCell(cell);
  if (!c || !IsText(c->value) || std::get<std::string>(c->value).empty()) return false;
  if (sheet.MergeAt(cell)) return false;
  return !workbook.Style(sheet.StyleAt(cell)).wrapText;
}

QRectF TextOverflow::Extent(const Workbook& workbook, const Worksheet& sheet, CellAddress cell, const QRectF& rect) {
  if (!Spills(workbook, sheet, cell)) return rect;
  const CellStyle& style = workbook.Style(sheet.StyleAt(cell));
  const QString text =
      QString::fromStdString(NumberFormat::Display(sheet.Value(cell), style.numberFormat));
  const double width = QFontMetricsF(CellPainter::FontFor(style)).horizontalAdvance(text) + 2 * CellPainter::kTextPadding + 1;
  if (width <= rect.width()) return rect;
  switch (style.horizontal) {
    case HorizontalAlignment::Right: return QRectF(rect.right() - width, rect.top(), width, rect.height());
    case HorizontalAlignment::Center:
      return QRectF(rect.center().x() - width / 2, rect.top(), width, rect.height());
    default: return QRectF(rect.left(), rect.top(), width, rect.height());
  }
}

std::vector<TextOverflow::Spill> TextOverflow::Into(const Workbook& workbook, const Worksheet& sheet, CellAddress into,
                                                    double top, double height, const ColumnGeometry& geometry,
                                                    int firstColumn, int lastColumn) {
  std::vector<Spill> spills;
  if (HoldsValue(sheet, into) || sheet.MergeAt(into)) return spills;
  const auto [intoLeft, intoWidth] = geometry(into.column);
  auto probe = [&](int column) {
    const CellAddress source{into.row, column};
    if (!Spills(workbook, sheet, source)) return;
    const auto [left, width] = geometry(column);
    const QRectF extent = Extent(workbook, sheet, source, QRectF(left, top, width, height));
    if (extent.right() > intoLeft && extent.left() < intoLeft + intoWidth) spills.push_back(Spill{source, extent});
  };
  for (int c = into.column - 1; c >= std::max(firstColumn, into.column - kReach); --c) {
    if (HoldsValue(sheet, CellAddress{into.row, c})) {
      probe(c);
      break;
    }
  }
  for (int c = into.column + 1; c <= std::min(lastColumn, into.column + kReach); ++c) {
    if (HoldsValue(sheet, CellAddress{into.row, c})) {
      probe(c);
      break;
    }
  }
  return spills;
}

}  // namespace spreadsheet
