#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <memory>

#include "sheetview/EditCommands.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookWindow.h"
#include "templates/TemplateWorkbook.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"

// Keys sent to a sheet where the user's keys would go: into the open editor, else to the grid.
struct SheetKeys {
  static QWidget* Target(spreadsheet::SheetView* view) {
    QWidget* editor = view->indexWidget(view->currentIndex());
    return editor ? editor : view;
  }
  static void Type(spreadsheet::SheetView* view, const QString& text) {
    for (const QChar ch : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(Target(view), &press);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(Target(view), &release);
    }
    QApplication::processEvents();
  }
  static void Key(spreadsheet::SheetView* view, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(Target(view), key, modifiers);
    QApplication::processEvents();  // Enter commits through a queued call
  }
};

// A shown workbook window holding the template, keys sent where the user's keys would go.
class WindowEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    dialogs = std::make_shared<FakeWorkbookDialogs>();
    window = std::make_unique<spreadsheet::WorkbookWindow>(nullptr, nullptr, dialogs);
    window->SetWorkbook(templates::TemplateWorkbook::Build(), "work1", QString());
    window->resize(1000, 700);
    window->show();
    view()->setFocus();
  }

  spreadsheet::SheetView* view() { return window->View(); }
  spreadsheet::Worksheet& input() { return window->GetWorkbook().SheetAt(0); }
  spreadsheet::CellValue At(const char* address) { return input().Value(spreadsheet::CellAddress::Parse(address)); }
  void Go(const char* address) { view()->SetCurrentCell(spreadsheet::CellAddress::Parse(address)); }
  std::string Current() {
    return spreadsheet::CellAddress{view()->currentIndex().row(), view()->currentIndex().column()}.ToString();
  }
  // Keys go where the user's keys would: into the open editor, else to the grid.
  QWidget* KeyTarget() { return SheetKeys::Target(view()); }
  void Type(const QString& text) { SheetKeys::Type(view(), text); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { SheetKeys::Key(view(), key, modifiers); }

  std::shared_ptr<FakeWorkbookDialogs> dialogs;
  std::unique_ptr<spreadsheet::WorkbookWindow> window;
};

