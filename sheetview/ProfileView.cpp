#include "sheetview/ProfileView.h"

#include <QPainter>

namespace spreadsheet {

ProfileView::ProfileView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("profileView"));
  setAutoFillBackground(false);
}

void ProfileView::SetChart(std::optional<ProfileChart> chart) {
  chart_ = std::move(chart);
  update();
}

void ProfileView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (chart_) {
    chart_->Paint(painter, QRectF(rect()).adjusted(8, 8, -8, -8));
  } else {
    painter.fillRect(rect(), Qt::white);
  }
}

}  // namespace spreadsheet
