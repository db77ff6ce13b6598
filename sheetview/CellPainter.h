#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

#include "numfmt/NumberFormat.h"
#include "workbook/CellStyle.h"
#include "workbook/CellValue.h"
#include "workbook/DateSystem.h"

class QPainter;

namespace spreadsheet {

// Paints one cell the way the workbook defines it, on screen and on paper alike. Lengths are
// pixels at 96 dpi (a printer's painter is scaled to that), so fonts get pixel sizes.
class CellPainter {
 public:
  static constexpr double kDefaultFontPoints = 11;
  static constexpr double kTextPadding = 2;  // pixels between the text and the cell's sides
  static const QString& DefaultFontFamily();  // "宋体"; fontconfig falls back to a CJK face

  // The cell's font: its family and size, or the defaults when the style leaves them open.
  static QFont FontFor(const CellStyle& style);
  static QColor ToColor(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb & 0xFFFFFF)); }

  // Fill (white when the style has none) over the whole rectangle.
  static void PaintFill(QPainter& painter, const QRectF& rect, const CellStyle& style);
  // The display text, single line unless the style wraps, clipped to the rectangle.
  // General alignment puts numbers right and texts left.
  static void PaintText(QPainter& painter, const QRectF& rect, const CellStyle& style,
                        const QString& text, bool isNumber);
  // The text a cell `rect` wide shows for its value in its font: a number that does not fit
  // shows as spreadsheets show it (General with fewer decimals or in exponent form, else "###"
  // across the cell), never cut; texts, errors and the rest as their format shows them.
  static QString FittedText(const QRectF& rect, const CellStyle& style, const CellValue& value,
                            const NumberFormat& format, DateSystem dates);
  // PaintText of FittedText: the cell's value, on screen and on paper alike. General alignment
  // centres booleans and error values, as spreadsheets do.
  static void PaintValue(QPainter& painter, const QRectF& rect, const CellStyle& style, const CellValue& value,
                         const NumberFormat& format, DateSystem dates);
  // Borders drawn inside the rectangle along its edges; a None border draws nothing.
  static void PaintBorders(QPainter& painter, const QRectF& rect, const Border& left, const Border& top,
                           const Border& right, const Border& bottom);
  // Width in pixels a border takes (0 for None).
  static double BorderWidth(const Border& border);
  // The stronger of two borders meeting on one edge (the heavier line wins).
  static const Border& Stronger(const Border& a, const Border& b);
};

}  // namespace spreadsheet
