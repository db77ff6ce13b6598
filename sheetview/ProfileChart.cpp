#include "sheetview/ProfileChart.h"

#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace spreadsheet {

namespace {

const QColor kDesign(0x1F, 0x4E, 0x9A);
const QColor kMeasured(0xC0, 0x39, 0x2B);
const QColor kTurning(0x2E, 0x8B, 0x57);
const QColor kTolerance(0x7F, 0x7F, 0x7F);
const QColor kGrid(0xD9, 0xD9, 0xD9);

constexpr double kLeft = 64, kRight = 16, kTop = 28, kBottom = 50, kGap = 12;

// Padded bounds of the finite values of the series; [0, 1] when there are none.
void Bounds(std::initializer_list<const std::vector<double>*> series, double& low, double& high) {
  low = INFINITY;
  high = -INFINITY;
  for (const auto* s : series) {
    for (double v : *s) {
      if (std::isfinite(v)) {
        low = std::min(low, v);
        high = std::max(high, v);
      }
    }
  }
  if (low > high) {
    low = 0;
    high = 1;
  }
  const double pad = high > low ? (high - low) * 0.05 : 0.5;
  low -= pad;
  high += pad;
}

// A step of 1, 2 or 5 times a power of ten giving about `count` ticks over the span.
double NiceStep(double span, int count) {
  const double raw = span / std::max(count, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

QString Number(double v, double step) {
  const int decimals = step >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  return QString::number(std::abs(v) < step * 1e-9 ? 0.0 : v, 'f', decimals);
}

// The points of a series as device positions, thinned to first, lowest, highest and last per
// pixel column when there are more points than columns. Rows without a value are skipped
// (the line spans them, as the workbook's chart does).
std::vector<QPointF> Thinned(const std::vector<double>& xs, const std::vector<double>& ys,
                             const std::function<QPointF(double, double)>& at, double columns) {
  std::vector<QPointF> all;
  all.reserve(xs.size());
  for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
    if (std::isfinite(xs[i]) && std::isfinite(ys[i])) all.push_back(at(xs[i], ys[i]));
  }
  if (static_cast<double>(all.size()) <= 2 * columns) return all;
  std::vector<QPointF> out;
  std::size_t begin = 0;
  while (begin < all.size()) {
    const long column = std::lround(std::floor(all[begin].x()));
    std::size_t end = begin + 1, low = begin, high = begin;
    while (end < all.size() && std::lround(std::floor(all[end].x())) == column) {
      if (all[end].y() > all[low].y()) low = end;  // device y grows downwards
      if (all[end].y() < all[high].y()) high = end;
      ++end;
    }
    std::size_t picks[] = {begin, std::min(low, high), std::max(low, high), end - 1};
    for (std::size_t k = 0; k < 4; ++k) {
      if (k == 0 || picks[k] != picks[k - 1]) out.push_back(all[picks[k]]);
    }
    begin = end;
  }
  return out;
}

}  // namespace

ProfileChart::ProfileChart(gaocheng::ProfileData data) : data_(std::move(data)) {
  xLow_ = INFINITY;
  xHigh_ = -INFINITY;
  for (double x : data_.Chainage) {
    if (std::isfinite(x)) {
      xLow_ = std::min(xLow_, x);
      xHigh_ = std::max(xHigh_, x);
    }
  }
  if (xLow_ == xHigh_) {
    xLow_ -= 1;
    xHigh_ += 1;
  }
  // A row without an x is not drawn, so its values do not stretch the axes either.
  for (std::size_t i = 0; i < data_.Chainage.size(); ++i) {
    if (std::isfinite(data_.Chainage[i])) continue;
    for (std::vector<double>* s : {&data_.Design, &data_.Measured, &data_.TurningPoint, &data_.DeviationMm}) {
      if (i < s->size()) (*s)[i] = NAN;
    }
  }
  Bounds({&data_.Design, &data_.Measured, &data_.TurningPoint}, elevationLow_, elevationHigh_);
  Bounds({&data_.DeviationMm}, deviationLow_, deviationHigh_);
  const double reach = std::max(std::abs(data_.PlusToleranceMm), std::abs(data_.MinusToleranceMm)) * 1.5;
  deviationLow_ = std::min(deviationLow_, -reach);
  deviationHigh_ = std::max(deviationHigh_, reach);
}

std::optional<ProfileChart> ProfileChart::Of(const Workbook& workbook, const Worksheet& sheet) {
  if (sheet.Name() != gaocheng::kProfileSheetName) return std::nullopt;
  auto data = gaocheng::ReadProfile(workbook);
  if (!data) return std::nullopt;
  return ProfileChart(std::move(*data));
}

QRectF ProfileChart::ElevationPlot(const QRectF& area) const {
  const double height = (area.height() - kGap) * 0.6;
  return QRectF(area.left() + kLeft, area.top() + kTop, area.width() - kLeft - kRight, height - kTop - kBottom);
}

QRectF ProfileChart::DeviationPlot(const QRectF& area) const {
  const double top = area.top() + (area.height() - kGap) * 0.6 + kGap;
  return QRectF(area.left() + kLeft, top + kTop, area.width() - kLeft - kRight, area.bottom() - top - kTop - kBottom);
}

double ProfileChart::XOf(double chainage, const QRectF& plot) const {
  return plot.left() + (chainage - xLow_) / (xHigh_ - xLow_) * plot.width();
}

double ProfileChart::ElevationYOf(double metres, const QRectF& plot) const {
  return plot.bottom() - (metres - elevationLow_) / (elevationHigh_ - elevationLow_) * plot.height();
}

double ProfileChart::DeviationYOf(double millimetres, const QRectF& plot) const {
  return plot.bottom() - (millimetres - deviationLow_) / (deviationHigh_ - deviationLow_) * plot.height();
}

void ProfileChart::Paint(QPainter& painter, const QRectF& area) const {
  painter.save();
  painter.fillRect(area, Qt::white);
  painter.setRenderHint(QPainter::Antialiasing, false);
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);
  const QString xTitle = data_.ChainageFromNames ? QStringLiteral("里程（m）") : QStringLiteral("测点序号");
  if (IsEmpty()) {
    painter.setPen(Qt::black);
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("纵断面尚无数据：请先“开始计算”"));
    painter.restore();
    return;
  }
  struct Line {
    const std::vector<double>* ys;  // nullptr: a level line at `level`
    QColor color;
    bool line, marker, dashed;
    QString name;
    double level = 0;
  };
  auto plot = [&](const QRectF& r, const QString& title, const QString& yTitle, double low, double high,
                  const std::function<double(double)>& yOf, const std::vector<Line>& lines) {
    painter.setPen(Qt::black);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(14);
    painter.setFont(bold);
    painter.drawText(QRectF(r.left(), r.top() - kTop, r.width(), kTop - 4), Qt::AlignCenter, title);
    painter.setFont(font);
    const double xStep = NiceStep(xHigh_ - xLow_, 8), yStep = NiceStep(high - low, 6);
    for (double x = std::ceil(xLow_ / xStep) * xStep; x <= xHigh_; x += xStep) {
      const double px = XOf(x, r);
      painter.setPen(kGrid);
      painter.drawLine(QPointF(px, r.top()), QPointF(px, r.bottom()));
      painter.setPen(Qt::black);
      painter.drawText(QRectF(px - 40, r.bottom() + 2, 80, 16), Qt::AlignHCenter | Qt::AlignTop, Number(x, xStep));
    }
    for (double y = std::ceil(low / yStep) * yStep; y <= high; y += yStep) {
      const double py = yOf(y);
      painter.setPen(kGrid);
      painter.drawLine(QPointF(r.left(), py), QPointF(r.right(), py));
      painter.setPen(Qt::black);
      painter.drawText(QRectF(r.left() - kLeft, py - 8, kLeft - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                       Number(y, yStep));
    }
    painter.setPen(Qt::black);
    painter.drawRect(r);
    painter.drawText(QRectF(r.left(), r.bottom() + 16, r.width(), 14), Qt::AlignHCenter, xTitle);
    painter.save();
    painter.translate(r.left() - kLeft + 2, r.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-r.height() / 2, 0, r.height(), 14), Qt::AlignHCenter | Qt::AlignTop, yTitle);
    painter.restore();
    // Legend under the axis title.
    double lx = r.left();
    const double ly = r.bottom() + 32;
    for (const Line& l : lines) {
      painter.setPen(QPen(l.color, 2, l.dashed ? Qt::DashLine : Qt::SolidLine));
      if (l.line) painter.drawLine(QPointF(lx, ly + 6), QPointF(lx + 18, ly + 6));
      if (l.marker) painter.fillRect(QRectF(lx + 6, ly + 3, 6, 6), l.color);
      painter.setPen(Qt::black);
      painter.drawText(QRectF(lx + 22, ly, 120, 12), Qt::AlignLeft | Qt::AlignVCenter, l.name);
      lx += 30 + painter.fontMetrics().horizontalAdvance(l.name);
    }
    painter.save();
    painter.setClipRect(r.adjusted(-4, -4, 4, 4));
    const auto at = [&](double x, double y) { return QPointF(XOf(x, r), yOf(y)); };
    // Drawn last to first, so the design line lies over the measured one it mostly covers.
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
      const Line& l = *it;
      if (l.ys == nullptr) {
        painter.setPen(QPen(l.color, 1.5, Qt::DashLine));
        painter.drawLine(QPointF(r.left(), yOf(l.level)), QPointF(r.right(), yOf(l.level)));
        continue;
      }
      const std::vector<QPointF> points = Thinned(data_.Chainage, *l.ys, at, r.width());
      if (l.line && points.size() > 1) {
        // A wide pen strokes a path of thousands of zigzags slowly; a hairline draws it at once.
        QPen pen(l.color, points.size() > r.width() ? 0 : 1.5);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
      }
      if (l.marker && points.size() <= r.width() / 3) {
        for (const QPointF& p : points) painter.fillRect(QRectF(p.x() - 2.5, p.y() - 2.5, 5, 5), l.color);
      }
    }
    painter.restore();
  };
  const QRectF top = ElevationPlot(area);
  plot(top, QStringLiteral("纵断面：设计高程与实测高程"), QStringLiteral("高程（m）"), elevationLow_, elevationHigh_,
       [&](double y) { return ElevationYOf(y, top); },
       {{&data_.Design, kDesign, true, false, false, QStringLiteral("设计高程")},
        {&data_.Measured, kMeasured, true, true, false, QStringLiteral("实测高程")},
        {&data_.TurningPoint, kTurning, false, true, false, QStringLiteral("转点")}});
  const QRectF bottom = DeviationPlot(area);
  plot(bottom, QStringLiteral("偏差（实测高程 − 设计高程）"), QStringLiteral("偏差（mm）"), deviationLow_, deviationHigh_,
       [&](double y) { return DeviationYOf(y, bottom); },
       {{&data_.DeviationMm, kMeasured, true, true, false, QStringLiteral("偏差")},
        {nullptr, kTolerance, true, false, true, QStringLiteral("正限差"), data_.PlusToleranceMm},
        {nullptr, kTolerance, true, false, true, QStringLiteral("负限差"), data_.MinusToleranceMm}});
  painter.restore();
}

}  // namespace spreadsheet
