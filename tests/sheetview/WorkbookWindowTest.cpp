#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>
#include <memory>

#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "tests/sheetview/WindowEditing.h"
#include "sheetview/FormulaBar.h"
#include "sheetview/QtWorkbookDialogs.h"
#include "templates/SampleRoute.h"
#include "sheetview/SheetView.h"
#include "workbook/SpreadsheetError.h"
#include "templates/TemplateWorkbook.h"
#include "sheetview/EditCommands.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/WorkbookTableModel.h"
#include "sheetview/WorkbookWindow.h"

using namespace spreadsheet;

namespace {

TEST_F(WindowEditing, TypingReplacesAndEnterMovesDown) {
  input().SetValue(CellAddress::Parse("A8"), std::string("old"));
  Go("A8");
  Type("K1+000");
  Key(Qt::Key_Return);
  EXPECT_EQ(At("A8"), CellValue(std::string("K1+000")));
  EXPECT_EQ(Current(), "A9");
  Type("-12.5");
  Key(Qt::Key_Tab);
  EXPECT_EQ(At("A9"), CellValue(-12.5));
  EXPECT_EQ(Current(), "B9");
  Type("'0012");
  Key(Qt::Key_Enter);
  EXPECT_EQ(At("B9"), CellValue(std::string("0012")));
  EXPECT_EQ(Current(), "A10");  // back to the column where the Tabs started
  Type("左边");
  Key(Qt::Key_Escape);
  EXPECT_TRUE(IsEmptyValue(At("A10")));
}

TEST_F(WindowEditing, F2EditsTheContentInPlace) {
  input().SetValue(CellAddress::Parse("E8"), 152.3);
  Go("E8");
  Key(Qt::Key_F2);
  Type("4");
  Key(Qt::Key_Return);
  EXPECT_EQ(At("E8"), CellValue(152.34));
  EXPECT_EQ(Current(), "E9");
  // Enter without editing moves too, Shift+Enter back up; Tab and Shift+Tab sideways.
  Key(Qt::Key_Return);
  EXPECT_EQ(Current(), "E10");
  Key(Qt::Key_Return, Qt::ShiftModifier);
  Key(Qt::Key_Tab);
  EXPECT_EQ(Current(), "F9");
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(Current(), "E9");
}

TEST_F(WindowEditing, DeleteClearsTheSelectionAsOneUndoStep) {
  for (const char* a : {"A8", "B8", "A9", "B9", "C20"}) input().SetValue(CellAddress::Parse(a), 1.0);
  window->Document().MarkSaved();
  Go("A8");
  view()->selectionModel()->select(QItemSelection(view()->model()->index(7, 0), view()->model()->index(8, 1)),
                                   QItemSelectionModel::Select);
  Key(Qt::Key_Delete);
  for (const char* a : {"A8", "B8", "A9", "B9"}) EXPECT_TRUE(IsEmptyValue(At(a))) << a;
  EXPECT_EQ(At("C20"), CellValue(1.0));
  EXPECT_EQ(window->Document().UndoStack()->count(), 1);
  EXPECT_TRUE(window->Document().IsModified());
  window->Undo();
  for (const char* a : {"A8", "B8", "A9", "B9"}) EXPECT_EQ(At(a), CellValue(1.0)) << a;
  EXPECT_FALSE(window->Document().IsModified());
}

TEST_F(WindowEditing, ModifiedFlagFollowsUndoRedoSaveAndProgramWrites) {
  QSignalSpy flag(window.get(), &WorkbookWindow::modifiedChanged);
  EXPECT_FALSE(window->Document().IsModified());
  Go("A8");
  Type("BM1");
  Key(Qt::Key_Return);
  EXPECT_TRUE(window->Document().IsModified());
  EXPECT_TRUE(window->GetWorkbook().IsModified());
  window->Undo();
  EXPECT_FALSE(window->Document().IsModified());
  EXPECT_FALSE(window->GetWorkbook().IsModified());
  window->Redo();
  EXPECT_TRUE(window->Document().IsModified());
  window->Document().MarkSaved();
  EXPECT_FALSE(window->Document().IsModified());
  window->Undo();  // back past the save: differs from the file again
  EXPECT_TRUE(window->Document().IsModified());
  window->Redo();
  EXPECT_FALSE(window->Document().IsModified());
  EXPECT_EQ(flag.count(), 6);
  // A write by the program cannot be undone and ends the undo history.
  window->WriteValue(CellAddress::Parse("E6"), 100.0);
  EXPECT_TRUE(window->Document().IsModified());
  EXPECT_EQ(window->Document().UndoStack()->count(), 0);
  window->Document().MarkSaved();
  EXPECT_FALSE(window->Document().IsModified());
}

TEST_F(WindowEditing, PastesATabSeparatedBlockFromOtherSpreadsheets) {
  auto* mime = new QMimeData;
  mime->setText(QStringLiteral("K1+000\t-12.5\t\t\t152.34\r\nK1+000\t0\t中桩\t\t152.59\t152.593\r\n测点 3\t右5米\r\n"));
  QApplication::clipboard()->setMimeData(mime);
  Go("A8");
  window->Edits().Paste();
  EXPECT_EQ(At("A8"), CellValue(std::string("K1+000")));
  EXPECT_EQ(At("B8"), CellValue(-12.5));
  EXPECT_TRUE(IsEmptyValue(At("C8")));
  EXPECT_EQ(At("E8"), CellValue(152.34));
  EXPECT_EQ(At("B9"), CellValue(0.0));
  EXPECT_EQ(At("C9"), CellValue(std::string("中桩")));
  EXPECT_EQ(At("F9"), CellValue(152.593));
  EXPECT_EQ(At("A10"), CellValue(std::string("测点 3")));
  EXPECT_EQ(At("B10"), CellValue(std::string("右5米")));
  EXPECT_TRUE(IsEmptyValue(At("A11")));
  // The pasted block is selected and one undo takes it all back.
  EXPECT_EQ(view()->SelectedRange(), CellRange::Parse("A8:F10"));
  EXPECT_EQ(window->Document().UndoStack()->count(), 1);
  window->Undo();
  for (const char* a : {"A8", "B8", "E8", "C9", "F9", "A10", "B10"}) EXPECT_TRUE(IsEmptyValue(At(a))) << a;
  window->Redo();
  EXPECT_EQ(At("C9"), CellValue(std::string("中桩")));
}

TEST_F(WindowEditing, OneValueFillsTheSelection) {
  QApplication::clipboard()->setText(QStringLiteral("7\n"));
  Go("C10");
  view()->selectionModel()->select(QItemSelection(view()->model()->index(9, 2), view()->model()->index(11, 3)),
                                   QItemSelectionModel::Select);
  window->Edits().Paste();
  for (const char* a : {"C10", "D10", "C12", "D12"}) EXPECT_EQ(At(a), CellValue(7.0)) << a;
  EXPECT_TRUE(IsEmptyValue(At("E10")));
}

TEST_F(WindowEditing, CopiesShownTextForOthersAndFullValuesForItself) {
  input().SetValue(CellAddress::Parse("E8"), 152.3456);
  input().SetValue(CellAddress::Parse("A8"), std::string("K1+000"));
  input().SetValue(CellAddress::Parse("A9"), std::string("12"));
  Go("A8");
  view()->selectionModel()->select(QItemSelection(view()->model()->index(7, 0), view()->model()->index(8, 4)),
                                   QItemSelectionModel::Select);
  QTest::keyClick(view(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "K1+000\t\t\t\t152.346\n12\t\t\t\t\n");
  Go("A20");
  QTest::keyClick(view(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(At("E20"), CellValue(152.3456));
  EXPECT_EQ(At("A21"), CellValue(std::string("12")));  // stays text
  QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(IsEmptyValue(At("E20")));
}

TEST_F(WindowEditing, FormulaBarShowsAndEditsTheCurrentCell) {
  input().SetValue(CellAddress::Parse("E8"), 152.3);
  Go("E8");
  EXPECT_EQ(window->Bar()->Address(), "E8");
  EXPECT_EQ(window->Bar()->Content(), "152.3");
  window->Bar()->ContentEdit()->setText("153");
  QTest::keyClick(window->Bar()->ContentEdit(), Qt::Key_Return);
  EXPECT_EQ(At("E8"), CellValue(153.0));
  EXPECT_EQ(Current(), "E9");
  window->Bar()->NameBox()->setText("c20");
  QTest::keyClick(window->Bar()->NameBox(), Qt::Key_Return);
  EXPECT_EQ(Current(), "C20");
  window->Bar()->NameBox()->setText("XYZ0");
  QTest::keyClick(window->Bar()->NameBox(), Qt::Key_Return);
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().contains("XYZ0"));
  EXPECT_EQ(Current(), "C20");
}

TEST_F(WindowEditing, AnAddressOnAnotherSheetShowsThatSheet) {
  QLineEdit* box = window->Bar()->NameBox();
  const auto enter = [box](const QString& text) {
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
  };
  enter(QStringLiteral("水准表!b6:c7"));
  EXPECT_EQ(window->ShownSheet(), 1u);
  EXPECT_EQ(Current(), "B6");
  enter(QStringLiteral("'数据输入'!E6"));
  EXPECT_EQ(window->ShownSheet(), 0u);
  EXPECT_EQ(Current(), "E6");
  enter(QStringLiteral("没有这张表!A1"));
  enter(QStringLiteral("水准表!XYZ0"));
  ASSERT_EQ(dialogs->errors.size(), 2);
  EXPECT_TRUE(dialogs->errors[0].contains(QStringLiteral("找不到工作表“没有这张表”")));
  EXPECT_TRUE(dialogs->errors[1].contains(QStringLiteral("XYZ0")));
  EXPECT_EQ(window->ShownSheet(), 0u) << "a bad address shows no other sheet";
  EXPECT_EQ(Current(), "E6");
}

TEST_F(WindowEditing, AClickIntoTheNameBoxSelectsTheAddressThatTypingReplaces) {
  Go("C20");
  QLineEdit* box = window->Bar()->NameBox();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  // A click between "C" and "20": the caret would land there without the selection.
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() / 2));
  QCoreApplication::processEvents();
  ASSERT_TRUE(box->hasFocus());
  EXPECT_EQ(box->selectedText(), "C20");
  QTest::keyClicks(box, "E8");
  QTest::keyClick(box, Qt::Key_Return);
  EXPECT_EQ(Current(), "E8");
  EXPECT_TRUE(dialogs->errors.empty());
  QTest::keyClicks(box, "Z9");
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_EQ(box->text(), "E8");
  EXPECT_EQ(Current(), "E8");
}

TEST_F(WindowEditing, UndoOnAnotherSheetShowsThatSheet) {
  Go("A8");
  Type("x");
  Key(Qt::Key_Return);
  window->ShowSheet(1);
  window->Undo();
  EXPECT_EQ(window->ShownSheet(), 0u);
  EXPECT_EQ(window->Tabs()->currentIndex(), 0);
  EXPECT_EQ(Current(), "A8");
  EXPECT_TRUE(IsEmptyValue(At("A8")));
}

TEST_F(WindowEditing, ClosingByTheUserAsksAboutUnsavedChangesOnly) {
  window->close();
  EXPECT_EQ(dialogs->saveChangesAsked, 0);
  window->show();
  Go("A8");
  Type("x");
  Key(Qt::Key_Return);
  dialogs->saveChangesAnswers = {WorkbookDialogs::SaveChoice::Cancel};
  EXPECT_FALSE(window->close());
  EXPECT_EQ(dialogs->saveChangesAsked, 1);
  window->CloseWithoutQuestion();
  EXPECT_EQ(dialogs->saveChangesAsked, 1);
  EXPECT_FALSE(window->isVisible());
}

// The real question, answered by clicking its button as the user would.
TEST(QtWorkbookDialogsTest, OneSaveQuestionWithItsWholeTitle) {
  QString title, text;
  QStringList buttons;
  int width = 0, titleWidth = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    width = box->width();
    titleWidth = box->fontMetrics().horizontalAdvance(title);
    for (QAbstractButton* b : box->buttons()) {
      if (b->text() == "不保存") b->click();
    }
  });
  EXPECT_EQ(QtWorkbookDialogs().AskSaveChanges(nullptr), WorkbookDialogs::SaveChoice::Discard);
  EXPECT_EQ(title, "普通水准表格");
  EXPECT_EQ(text, "是否保存对工作簿的更改？");
  QStringList expected{"保存", "不保存", "取消"};
  expected.sort();
  buttons.sort();
  EXPECT_EQ(buttons, expected);
  EXPECT_GT(width, titleWidth + 100);  // the title and the title bar's buttons fit
}

// A file dialog lists a folder with its sizes, types and dates whole, not cut to "12....KiB".
TEST(QtWorkbookDialogsTest, FileDialogColumnsShowTheirTextsWhole) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile file(dir.filePath("道路改建工程第一合同段水准测量记录.xlsx"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(12345, 'x'));
  file.close();
  int rows = 0;
  QStringList cut;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    auto* view = dialog ? dialog->findChild<QTreeView*>() : nullptr;
    if (!view || !view->model()) return;
    const QModelIndex folder = view->rootIndex();
    rows = view->model()->rowCount(folder);
    if (rows == 0) return;
    for (int column = 0; column < view->header()->count(); ++column) {
      if (view->header()->sectionSize(column) < static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column)) {
        cut << view->model()->index(0, column, folder).data().toString();
      }
    }
    dialog->reject();
  });
  poll.start(20);
  QTimer::singleShot(5000, [] {
    if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  EXPECT_EQ(QtWorkbookDialogs::AskFile(nullptr, "另存为", file.fileName(), "Excel 工作簿 (*.xlsx)",
                                       QFileDialog::AcceptSave),
            std::nullopt);
  EXPECT_EQ(rows, 1);
  EXPECT_TRUE(cut.isEmpty()) << cut.join(" | ").toStdString();
}

}  // namespace
