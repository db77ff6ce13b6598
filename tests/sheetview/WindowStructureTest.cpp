#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QUndoStack>

#include "sheetview/EditCommands.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/WorkbookTableModel.h"
#include "tests/sheetview/WindowEditing.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

using namespace spreadsheet;

namespace {

QAction* MenuItem(QMenu* menu, const QString& text) {
  for (QAction* action : menu->actions()) {
    if (action->text() == text) return action;
  }
  return nullptr;
}

std::string Merges(const Worksheet& sheet) {
  std::string out;
  for (const CellRange& m : sheet.Merges()) out += m.ToString() + " ";
  return out;
}

TEST_F(WindowEditing, RightClickMenuInsertsAndDeletesRowsUndoably) {
  QStringList items;
  for (QAction* action : window->ContextMenu()->actions()) {
    if (!action->isSeparator()) items << action->text();
  }
  EXPECT_EQ(items.join(' '), "剪切 复制 粘贴 清除内容 插入行 删除行 插入列 删除列");

  input().SetValue(CellAddress::Parse("A8"), std::string("K1+000"));
  const std::string before = Merges(input());
  // The merged note A2:F3 is selected whole: two rows go in above it, and it moves with its heights.
  Go("B2");
  const QPoint at = view()->visualRect(view()->currentIndex()).center();
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, view()->viewport()->mapToGlobal(at));
  QApplication::sendEvent(view()->viewport(), &click);
  EXPECT_TRUE(window->ContextMenu()->isVisible());
  window->ContextMenu()->hide();
  MenuItem(window->ContextMenu(), "插入行")->trigger();
  EXPECT_EQ(At("A10"), CellValue(std::string("K1+000")));
  EXPECT_NE(input().MergeAt(CellAddress::Parse("F5")), nullptr);
  EXPECT_EQ(input().MergeAt(CellAddress::Parse("A3")), nullptr);
  EXPECT_EQ(input().RowHeight(3), 20.0);
  EXPECT_FALSE(input().RowHeight(1).has_value());
  EXPECT_EQ(view()->rowSpan(3, 0), 2);  // the grid shows the moved merge
  EXPECT_TRUE(window->Document().IsModified());
  window->Undo();
  EXPECT_EQ(At("A8"), CellValue(std::string("K1+000")));
  EXPECT_EQ(Merges(input()), before);
  EXPECT_EQ(view()->rowSpan(1, 0), 2);
  EXPECT_FALSE(window->Document().IsModified());

  Go("A8");
  MenuItem(window->ContextMenu(), "删除行")->trigger();
  EXPECT_TRUE(IsEmptyValue(At("A8")));
  Go("B8");
  input().SetValue(CellAddress::Parse("C8"), 5.0);
  MenuItem(window->ContextMenu(), "删除列")->trigger();
  EXPECT_EQ(At("B8"), CellValue(5.0));
  EXPECT_EQ(window->Document().UndoStack()->count(), 2);
}

TEST_F(WindowEditing, RowsThatWouldPushContentsOffTheSheetAreRefused) {
  input().SetValue(CellAddress::Parse("A65536"), std::string("end"));
  Go("A8");
  window->Edits().InsertRows();
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().startsWith("插入行|不能插入 1 行：第 65536 行有内容"));
  EXPECT_EQ(At("A65536"), CellValue(std::string("end")));
  EXPECT_EQ(window->Document().UndoStack()->count(), 0);
}

TEST_F(WindowEditing, RightClickOnARowHeaderSelectsThatRow) {
  Go("C20");
  const int y = view()->verticalHeader()->sectionViewportPosition(11) + 5;
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, y),
                          view()->verticalHeader()->viewport()->mapToGlobal(QPoint(10, y)));
  QApplication::sendEvent(view()->verticalHeader()->viewport(), &click);
  EXPECT_EQ(view()->SelectedRange(), CellRange::Parse("A12:IV12"));
  EXPECT_TRUE(window->ContextMenu()->isVisible());
  window->ContextMenu()->hide();
}

TEST_F(WindowEditing, StatusLineShowsTheNameAndUnsavedChanges) {
  auto* status = window->findChild<QLabel*>();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->text(), "work1");
  Go("A8");
  Type("x");
  Key(Qt::Key_Return);
  EXPECT_EQ(status->text(), "work1 — 已修改");
  window->Undo();
  EXPECT_EQ(status->text(), "work1");
}

TEST(WindowFolders, DialogsStartInTheLastFolderAndRecentFilesReopen) {
  QSettings(QStringLiteral("levelbook"), QStringLiteral("levelbook")).clear();
  QTemporaryDir dir;
  auto dialogs = std::make_shared<FakeWorkbookDialogs>();
  WorkbookWindow window([](const std::string& path) { return XlsxImporter::Load(path); },
                        [](const Workbook& book, const std::string& path) { XlsxExporter::Save(book, path); }, dialogs);
  window.SetWorkbook(templates::TemplateWorkbook::Build(), "work1", QString());
  EXPECT_EQ(WorkbookDocument::LastFolder(), QDir::homePath());
  window.Open();
  EXPECT_EQ(dialogs->openFolder, QDir::homePath());

  for (int i = 0; i < 10; ++i) ASSERT_TRUE(window.SaveTo(dir.filePath(QString("路线%1.xlsx").arg(i))));
  EXPECT_EQ(window.findChild<QLabel*>()->text(), "路线9.xlsx");
  const QStringList recent = WorkbookDocument::RecentFiles();
  ASSERT_EQ(recent.size(), WorkbookDocument::kMaxRecentFiles);
  EXPECT_EQ(recent.front(), dir.filePath("路线9.xlsx"));
  EXPECT_EQ(recent.back(), dir.filePath("路线2.xlsx"));
  EXPECT_EQ(WorkbookDocument::LastFolder(), dir.path());
  window.Open();
  EXPECT_EQ(dialogs->openFolder, dir.path());
  window.SetWorkbook(templates::TemplateWorkbook::Build(), "work2", QString());
  window.SaveAs();
  EXPECT_EQ(dialogs->saveSuggested, dir.filePath("work2.xlsx"));

  emit window.RecentMenu()->aboutToShow();
  const QList<QAction*> items = window.RecentMenu()->actions();
  ASSERT_EQ(items.size(), WorkbookDocument::kMaxRecentFiles);
  EXPECT_TRUE(items[3]->text().endsWith("路线6.xlsx"));
  items[3]->trigger();
  EXPECT_EQ(window.Caption(), "路线6.xlsx - 工作簿");
  EXPECT_EQ(WorkbookDocument::RecentFiles().front(), dir.filePath("路线6.xlsx"));
}

// A frozen cell is edited where it is drawn: its editor lies on the pane over the sheet, in view,
// also after the sheet has scrolled, and what is typed goes into the cell.
TEST_F(WindowEditing, EditorOfAFrozenCellShowsOnThePane) {
  const struct {
    const char* cell;
    FrozenPane frozen;
    bool scroll;
  } kCases[] = {{"F6", {7, 0}, false}, {"E5", {7, 0}, false}, {"E6", {7, 0}, true},
                {"A9", {0, 1}, false}, {"A8", {8, 1}, false}, {"B8", {8, 2}, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.cell);
    input().SetFrozen(c.frozen);
    view()->ApplySheetLayout(input());
    if (c.scroll) Go("J300");  // moving the current cell scrolls it into view
    Go(c.cell);
    Type(QStringLiteral("B"));
    const QModelIndex index = view()->currentIndex();
    QWidget* editor = view()->indexWidget(index);
    ASSERT_NE(editor, nullptr);
    const SheetView* pane = nullptr;
    for (const SheetView* p : view()->Panes()) {
      if (p->viewport() == editor->parentWidget()) pane = p;
    }
    ASSERT_NE(pane, nullptr) << "the editor lies under the frozen pane";
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->geometry(), pane->visualRect(index).adjusted(0, 0, 1, 1));
    Type(QStringLiteral("M9"));
    Key(Qt::Key_Return);
    EXPECT_EQ(At(c.cell), CellValue(std::string("BM9")));
    EXPECT_EQ(view()->currentIndex().row(), index.row() + 1);  // Enter moved down once
  }
}

TEST_F(WindowEditing, FrozenHeaderRowsStayInViewWhileTheSheetScrolls) {
  ASSERT_EQ(view()->Frozen(), (FrozenPane{7, 0}));  // the template freezes 数据输入's rows 1–7
  ASSERT_EQ(view()->Panes().size(), 1u);
  const SheetView* top = view()->Panes().front();
  int height = 0;
  for (int r = 0; r < 7; ++r) height += view()->rowHeight(r);
  EXPECT_EQ(top->geometry(), QRect(view()->viewport()->x() - view()->verticalHeader()->width(),
                                   view()->viewport()->y(), view()->verticalHeader()->width() + view()->viewport()->width(),
                                   height));
  Go("A200");
  const int scrolled = view()->verticalScrollBar()->value();
  EXPECT_GT(scrolled, 0);
  EXPECT_EQ(top->rowViewportPosition(0), 0);  // row 1 stays on top
  EXPECT_GE(view()->rowViewportPosition(199), height);
  // Whole rows scroll away: row 200's top lies on the frozen rows' edge or a whole row below.
  EXPECT_EQ((view()->rowViewportPosition(199) - height) % view()->verticalHeader()->defaultSectionSize(), 0);
  Go("A3");  // a frozen cell is in view without scrolling
  EXPECT_EQ(view()->verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(Current(), "A2");  // inside the merged note A2:F3
  Key(Qt::Key_Down, Qt::ControlModifier);
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);  // A4, A7, then A8 comes out from under the frozen rows
  EXPECT_EQ(Current(), "A8");
  EXPECT_GE(view()->rowViewportPosition(7), height);
  // Frozen rows and columns together: three panes; a sheet without panes gets none.
  input().SetFrozen({2, 1});
  view()->ApplySheetLayout(input());
  EXPECT_EQ(view()->Panes().size(), 3u);
  input().SetFrozen({});
  view()->ApplySheetLayout(input());
  EXPECT_TRUE(view()->Panes().empty());
  EXPECT_EQ(view()->verticalScrollMode(), QAbstractItemView::ScrollPerItem);
}

}  // namespace
