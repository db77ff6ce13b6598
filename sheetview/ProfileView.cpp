#include "sheetview/ProfileView.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>

namespace spreadsheet {

ProfileView::ProfileView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("profileView"));
  setAutoFillBackground(false);
  setFocusPolicy(Qt::StrongFocus);
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

void ProfileView::keyPressEvent(QKeyEvent* event) {
  const bool control = event->modifiers() == Qt::ControlModifier;
  if (control && event->key() == Qt::Key_PageUp) {
    emit sheetStepRequested(-1);
  } else if (control && event->key() == Qt::Key_PageDown) {
    emit sheetStepRequested(1);
  } else if (event->matches(QKeySequence::Undo)) {
    emit undoRequested();
  } else if (event->matches(QKeySequence::Redo)) {
    emit redoRequested();
  } else {
    QWidget::keyPressEvent(event);
  }
}

}  // namespace spreadsheet
