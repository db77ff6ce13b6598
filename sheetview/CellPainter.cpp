#include "sheetview/CellPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QTransform>
#include <cmath>

namespace spreadsheet {

namespace {

int Weight(BorderStyle s) {
  switch (s) {
    case BorderStyle::None: return 0;
    case BorderStyle::Hair: return 1;
    case BorderStyle::Dotted: return 2;
    case BorderStyle::Dashed: return 3;
    case BorderStyle::Thin: return 4;
    case BorderStyle::Medium: return 5;
    case BorderStyle::Double: return 6;
    case BorderStyle::Thick: return 7;
  }
  return 0;
}

enum class Edge { Left, Top, Right, Bottom };

void PaintEdge(QPainter& painter, const QRectF& rect, const Border& border, Edge edge) {
  const double w = CellPainter::BorderWidth(border);
  if (w <= 0) return;
  const QColor color = CellPainter::ToColor(border.color);
  const bool vertical = edge == Edge::Left || edge == Edge::Right;
  // Scaled down (the print preview), a band thinner than a device pixel can fall between the
  // pixels' centres and vanish: it grows to one device pixel about its middle.
  const QTransform& device = painter.deviceTransform();
  const double scale = vertical ? std::hypot(device.m11(), device.m12()) : std::hypot(device.m21(), device.m22());
  const double pixel = scale > 0 ? 1 / scale : 0;
  auto band = [&](double offset, double width) {
    if (width < pixel) {
      offset -= (pixel - width) / 2;
      width = pixel;
    }
    switch (edge) {
      case Edge::Left: return QRectF(rect.left() + offset, rect.top(), width, rect.height());
      case Edge::Right: return QRectF(rect.right() - offset - width, rect.top(), width, rect.height());
      case Edge::Top: return QRectF(rect.left(), rect.top() + offset, rect.width(), width);
      case Edge::Bottom: return QRectF(rect.left(), rect.bottom() - offset - width, rect.width(), width);
    }
    return QRectF();
  };
  switch (border.style) {
    case BorderStyle::Double:
      painter.fillRect(band(0, 1), color);
      painter.fillRect(band(2, 1), color);
      return;
    case BorderStyle::Dashed:
    case BorderStyle::Dotted:
    case BorderStyle::Hair: {
      const QRectF b = band(0, 1);
      QPen pen(color, 1, border.style == BorderStyle::Dashed ? Qt::DashLine : Qt::DotLine, Qt::FlatCap);
      painter.save();
      painter.setPen(pen);
      if (vertical) {
        painter.drawLine(QPointF(b.center().x(), b.top()), QPointF(b.center().x(), b.bottom()));
      } else {
        painter.drawLine(QPointF(b.left(), b.center().y()), QPointF(b.right(), b.center().y()));
      }
      painter.restore();
      return;
    }
    default:
      painter.fillRect(band(0, w), color);
  }
}

}  // namespace

const QString& CellPainter::DefaultFontFamily() {
  static const QString family = QStringLiteral("宋体");
  return family;
}

QFont CellPainter::FontFor(const CellStyle& style) {
  QFont font;
  font.setFamilies({style.fontName.empty() ? DefaultFontFamily() : QString::fromStdString(style.fontName),
                    QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                    QStringLiteral("WenQuanYi Zen Hei")});
  const double points = style.fontSize > 0 ? style.fontSize : kDefaultFontPoints;
  font.setPixelSize(std::max(1, static_cast<int>(points * 96 / 72 + 0.5)));
  font.setBold(style.bold);
  font.setItalic(style.italic);
  return font;
}

void CellPainter::PaintFill(QPainter& painter, const QRectF& rect, const CellStyle& style) {
  painter.fillRect(rect, style.fill ? ToColor(*style.fill) : QColor(Qt::white));
}

void CellPainter::PaintText(QPainter& painter, const QRectF& rect, const CellStyle& style, const QString& text,
                            bool isNumber) {
  if (text.isEmpty()) return;
  int flags = 0;
  switch (style.horizontal) {
    case HorizontalAlignment::Left: flags |= Qt::AlignLeft; break;
    case HorizontalAlignment::Center: flags |= Qt::AlignHCenter; break;
    case HorizontalAlignment::Right: flags |= Qt::AlignRight; break;
    case HorizontalAlignment::General: flags |= isNumber ? Qt::AlignRight : Qt::AlignLeft; break;
  }
  switch (style.vertical) {
    case VerticalAlignment::Top: flags |= Qt::AlignTop; break;
    case VerticalAlignment::Center: flags |= Qt::AlignVCenter; break;
    case VerticalAlignment::Bottom: flags |= Qt::AlignBottom; break;
  }
  flags |= style.wrapText ? Qt::TextWordWrap : Qt::TextSingleLine;
  // The cell's edges clip, not the padding inside them: a text a few pixels too wide for the
  // padded room keeps its first and last strokes (drawText alone cuts at the padded rectangle).
  flags |= Qt::TextDontClip;
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  painter.setFont(FontFor(style));
  painter.setPen(style.fontColor ? ToColor(*style.fontColor) : QColor(Qt::black));
  painter.drawText(rect.adjusted(kTextPadding, 1, -kTextPadding, -1), flags, text);
  painter.restore();
}

QString CellPainter::FittedText(const QRectF& rect, const CellStyle& style, const CellValue& value,
                                const NumberFormat& format, DateSystem dates) {
  if (!IsNumber(value)) return QString::fromStdString(format.Format(value, dates));
  const QFontMetricsF metrics(FontFor(style));
  const auto width = [&metrics](std::string_view text) {
    return metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  };
  // The room PaintText leaves between the padding on both sides.
  const double available = rect.width() - 2 * kTextPadding;
  return QString::fromStdString(format.Fit(value, available, width, dates));
}

void CellPainter::PaintValue(QPainter& painter, const QRectF& rect, const CellStyle& style, const CellValue& value,
                             const NumberFormat& format, DateSystem dates) {
  const QString text = FittedText(rect, style, value, format, dates);
  if (style.horizontal == HorizontalAlignment::General && (IsBoolean(value) || IsError(value))) {
    CellStyle centred = style;
    centred.horizontal = HorizontalAlignment::Center;
    return PaintText(painter, rect, centred, text, false);
  }
  PaintText(painter, rect, style, text, IsNumber(value));
}

double CellPainter::BorderWidth(const Border& border) {
  switch (border.style) {
    case BorderStyle::None: return 0;
    case BorderStyle::Medium: return 2;
    case BorderStyle::Thick:
    case BorderStyle::Double: return 3;
    default: return 1;
  }
}

const Border& CellPainter::Stronger(const Border& a, const Border& b) {
  return Weight(b.style) > Weight(a.style) ? b : a;
}

void CellPainter::PaintBorders(QPainter& painter, const QRectF& rect, const Border& left, const Border& top,
                               const Border& right, const Border& bottom) {
  PaintEdge(painter, rect, left, Edge::Left);
  PaintEdge(painter, rect, top, Edge::Top);
  PaintEdge(painter, rect, right, Edge::Right);
  PaintEdge(painter, rect, bottom, Edge::Bottom);
}

}  // namespace spreadsheet
