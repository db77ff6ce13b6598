#pragma once

#include <QRect>
#include <QSet>
#include <QStringList>
#include <QWidget>
#include <ostream>
#include <string>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace WidgetSupport {

// Layout positions are twips; 15 twips make one pixel.
inline QRect twips(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}

// Control arrays are object names with the index after an underscore.
inline QString element(const char* array, int index) {
  return QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index);
}

// Of the controls named in `tabOrder`, those that take the keyboard focus; labels, frames and
// picture buttons hold a place in the order but are passed over.
inline QStringList focusable(QWidget& window, const QStringList& tabOrder) {
  QStringList names;
  for (const QString& name : tabOrder) {
    auto* widget = window.findChild<QWidget*>(name);
    if (widget != nullptr && widget->focusPolicy() != Qt::NoFocus) names << name;
  }
  return names;
}

// The controls of `names` in the order the Tab key visits them, starting at `first`.
inline QStringList focusOrder(QWidget* first, const QStringList& names) {
  const QSet<QString> wanted(names.begin(), names.end());
  QStringList order;
  QWidget* widget = first;
  do {
    if (wanted.contains(widget->objectName()) && !order.contains(widget->objectName()))
      order << widget->objectName();
    widget = widget->nextInFocusChain();
  } while (widget != first && order.size() < names.size());
  return order;
}

inline std::string str(const QString& text) { return text.toStdString(); }

}  // namespace WidgetSupport
