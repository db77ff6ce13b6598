#include "windows/ToolWindow.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace levelbook {

void MakeFixedToolWindow(QWidget& window) {
  window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  window.setFixedSize(window.size());
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  QRect frame = window.geometry();
  frame.moveCenter(area.center());
  window.move(frame.topLeft());
}

void WidenToTitle(QMessageBox& box) {
  // The title bar's font is the window manager's, usually the application's one or a little
  // bolder; room for the icon and three buttons on either side.
  QFont bold = box.font();
  bold.setBold(true);
  const int titleBarExtras = 4 * 32 + 24;
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + titleBarExtras;
  // QMessageBox sizes itself when shown, over any minimum width: a spacer in its grid holds it.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0,
                  1, grid->columnCount());
}

void AutoSizeLabel(QLabel& label) { label.resize(label.sizeHint()); }

}  // namespace levelbook
