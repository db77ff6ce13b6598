#include "sheetview/Platform.h"

#include <QApplication>
#include <QWidget>

namespace spreadsheet::platform {

QWidget* FindWindowA(const QString& className, const QString& title) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->property(kWindowClassProperty).toString() == className && widget->windowTitle() == title) {
      return widget;
    }
  }
  return nullptr;
}

void SetParent(QWidget* window, QWidget* newParent) {
  if (!window) return;
  const bool wasVisible = !window->isHidden();
  window->setParent(newParent, newParent ? Qt::Widget : Qt::Window);
  if (newParent) window->move(0, 0);
  // setParent hides the widget; the embedded window keeps its visibility as SetParent did.
  if (wasVisible) window->show();
}

}  // namespace spreadsheet::platform
