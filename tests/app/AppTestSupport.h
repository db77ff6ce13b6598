#pragma once

#include "FormMain.h"
#include "TemplateWorkbook.h"
#include "Workbook.h"
#include "XlsxExporter.h"

#include <QApplication>
#include <QString>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

// What the main window showed in its message boxes, in order.
struct ShownMessage {
    QString text;
    QString title;
};

inline FormMain::MessageBox RecordMessages(std::vector<ShownMessage>& shown)
{
    return [&shown](QWidget*, const QString& text, const QString& title) { shown.push_back({text, title}); };
}

inline void WriteTemplate(const QString& path,
                          const spreadsheet::Workbook& workbook = templates::TemplateWorkbook::Build())
{
    spreadsheet::XlsxExporter::Save(workbook, path.toStdString());
}

// Widgets anywhere in the program that carry the spreadsheet window's class name.
inline std::vector<QWidget*> SpreadsheetWindows()
{
    std::vector<QWidget*> found;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (widget->property("windowClassName").toString() == QLatin1String(FormMain::kSpreadsheetWindowClass))
            found.push_back(widget);
    }
    return found;
}

// Resizes the window to a normal (not maximized) outer size and waits until its client
// area has taken the new size.
inline bool ResizeClient(FormMain& window, int width, int height)
{
    if (window.isMaximized())
        window.showNormal();
    window.resize(width, height);
    return QTest::qWaitFor([&] { return window.width() == width && window.height() == height; }, 2000);
}
