#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QString>
#include <QTest>
#include <QWidget>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "sheetview/SheetView.h"
#include "templates/TemplateWorkbook.h"
#include "workbook/CellAddress.h"
#include "workbook/Workbook.h"
#include "xlsx/XlsxExporter.h"

// What the main window showed in its message boxes, in order.
struct ShownMessage {
  QString text;
  QString title;
};

inline FormMain::MessageBox RecordMessages(std::vector<ShownMessage>& shown) {
  return [&shown](QWidget*, const QString& text, const QString& title) { shown.push_back({text, title}); };
}

inline void WriteTemplate(const QString& path,
                          const spreadsheet::Workbook& workbook = templates::TemplateWorkbook::Build()) {
  spreadsheet::XlsxExporter::Save(workbook, path.toStdString());
}

// Widgets anywhere in the program that carry the spreadsheet window's class name.
inline std::vector<QWidget*> SpreadsheetWindows() {
  std::vector<QWidget*> found;
  for (QWidget* widget : QApplication::allWidgets()) {
    if (widget->property("windowClassName").toString() == QLatin1String(FormMain::kSpreadsheetWindowClass))
      found.push_back(widget);
  }
  return found;
}

// Resizes the window to a normal (not maximized) outer size and waits until its client
// area has taken the new size.
inline bool ResizeClient(FormMain& window, int width, int height) {
  if (window.isMaximized()) window.showNormal();
  window.resize(width, height);
  return QTest::qWaitFor([&] { return window.width() == width && window.height() == height; }, 2000);
}

// Types into the grid as a user does: the cell, the text, Enter. The first key opens the
// cell's editor, which takes the rest.
inline void TypeInto(spreadsheet::SheetView* view, const char* address, const QString& text) {
  view->setFocus();
  view->SetCurrentCell(spreadsheet::CellAddress::Parse(address));
  QTest::keyClicks(view, text.left(1));
  QWidget* editor = view->indexWidget(view->currentIndex());
  ASSERT_NE(editor, nullptr) << address;
  QTest::keyClicks(editor, text.mid(1));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
}
