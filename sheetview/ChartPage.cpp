#include "sheetview/ChartPage.h"

#include <QPageSize>
#include <QRectF>

namespace spreadsheet {

namespace {

constexpr int kDpi = 96;

}  // namespace

ChartPage::ChartPage(ProfileChart chart) : chart_(std::move(chart)) {}

QPageLayout ChartPage::Layout() const {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                     QPageLayout::Millimeter);
}

QSizeF ChartPage::PaperSize() const { return Layout().fullRectPixels(kDpi).size(); }

QMarginsF ChartPage::Margins() const {
  const QPageLayout layout = Layout();
  const QRectF full = layout.fullRectPixels(kDpi);
  const QRectF printable = layout.paintRectPixels(kDpi);
  return QMarginsF(printable.left() - full.left(), printable.top() - full.top(), full.right() - printable.right(),
                   full.bottom() - printable.bottom());
}

void ChartPage::Paint(QPainter& painter, int) const {
  const QRectF printable = Layout().paintRectPixels(kDpi);
  chart_.Paint(painter, QRectF(0, 0, printable.width(), printable.height()));
}

}  // namespace spreadsheet
