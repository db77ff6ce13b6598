#include "windows/ToolWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace levelbook {

void MakeFixedToolWindow(QWidget& window)
{
    window.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
    window.setFixedSize(window.size());
}

void CentreOnScreen(QWidget& window)
{
    QScreen* screen = window.screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = window.geometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

void AutoSizeLabel(QLabel& label)
{
    label.resize(label.sizeHint());
}

}  // namespace levelbook
