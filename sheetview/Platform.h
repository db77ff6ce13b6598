#pragma once

#include <QString>

class QWidget;

// What the window system offered for finding and embedding another program's window, over
// Qt's own top-level widgets. A window's class name is its dynamic property "windowClassName".
namespace spreadsheet::platform {

inline constexpr const char* kWindowClassProperty = "windowClassName";

// The top-level widget whose class name and title both match exactly, or nullptr.
QWidget* FindWindowA(const QString& className, const QString& title);
// Makes `window` a child of `newParent`, shown inside it at its top-left corner when it was
// visible before (nullptr for newParent makes it a top-level window again). Does nothing
// when `window` is nullptr.
void SetParent(QWidget* window, QWidget* newParent);

}  // namespace spreadsheet::platform
