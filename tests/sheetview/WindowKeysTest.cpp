#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QStringList>
#include <QUndoStack>
#include <QTest>
#include <QToolBar>
#include <map>

#include "sheetview/FormulaBar.h"
#include "sheetview/EditCommands.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/WorkbookTableModel.h"
#include "tests/sheetview/WindowEditing.h"

using namespace spreadsheet;

namespace {

// A key sequence on the template's 数据输入 holding "K" in A8:A12, B8:D8 and A20:A22 and 1 in
// F25, then where the current cell is, what is selected and what the cells hold.
struct KeyCase {
  const char* name;
  const char* start;
  const char* keys;       // "C-Down" Ctrl, "S-" Shift, "CS-" both; "T:text" types text
  const char* current;
  const char* selection;
  const char* checks;     // "A8=K A9=" (empty: cleared); "clip=K" the clipboard's text
};

class WindowKeys : public WindowEditing, public ::testing::WithParamInterface<KeyCase> {
 protected:
  void Fill() {
    for (const char* a : {"A8", "A9", "A10", "A11", "A12", "B8", "C8", "D8", "A20", "A21", "A22"}) {
      input().SetValue(CellAddress::Parse(a), std::string("K"));
    }
    input().SetValue(CellAddress::Parse("F25"), 1.0);
  }

  void Press(const QString& token) {
    static const std::map<QString, Qt::Key> keys = {
        {"Up", Qt::Key_Up},       {"Down", Qt::Key_Down},     {"Left", Qt::Key_Left},     {"Right", Qt::Key_Right},
        {"Home", Qt::Key_Home},   {"End", Qt::Key_End},       {"PgUp", Qt::Key_PageUp},   {"PgDn", Qt::Key_PageDown},
        {"Del", Qt::Key_Delete},  {"Tab", Qt::Key_Tab},  {"BTab", Qt::Key_Backtab},       {"Enter", Qt::Key_Return},  {"F2", Qt::Key_F2},
        {"A", Qt::Key_A},         {"C", Qt::Key_C},           {"X", Qt::Key_X},           {"V", Qt::Key_V},
        {"Y", Qt::Key_Y},         {"Z", Qt::Key_Z},           {"D", Qt::Key_D},           {"R", Qt::Key_R},
        {"Esc", Qt::Key_Escape}};
    if (token.startsWith("T:")) return Type(token.mid(2));
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    QString name = token;
    const qsizetype dash = token.indexOf('-');
    if (dash > 0) {
      if (token.left(dash).contains('C')) modifiers |= Qt::ControlModifier;
      if (token.left(dash).contains('S')) modifiers |= Qt::ShiftModifier;
      name = token.mid(dash + 1);
    }
    ASSERT_TRUE(keys.count(name)) << token.toStdString();
    Key(keys.at(name), modifiers);
  }
};

TEST_P(WindowKeys, MoveSelectAndActOnWhatIsShown) {
  const KeyCase& c = GetParam();
  Fill();
  Go(c.start);
  for (const QString& token : QString(c.keys).split(' ', Qt::SkipEmptyParts)) Press(token);
  EXPECT_EQ(Current(), c.current);
  EXPECT_EQ(window->Bar()->Address().toStdString(), c.current);  // the name box shows the current cell
  EXPECT_EQ(view()->SelectedRanges().size(), 1u);
  EXPECT_EQ(view()->SelectedRange(), CellRange::Parse(c.selection)) << view()->SelectedRange().ToString();
  for (const QString& check : QString(c.checks).split(' ', Qt::SkipEmptyParts)) {
    const QString address = check.section('=', 0, 0);
    const QString expected = check.section('=', 1);
    if (address == "clip") {
      EXPECT_EQ(QApplication::clipboard()->text(), expected + "\n");
      continue;
    }
    const CellAddress a = CellAddress::Parse(address.toStdString());
    EXPECT_EQ(window->Model()->EditText(a.row, a.column), expected) << check.toStdString();
  }
}

const KeyCase kKeyCases[] = {
    // Ctrl+Down stops at the block's end, then at the next block; Delete clears what is shown.
    {"CtrlDownTwiceThenDelete", "A8", "C-Down C-Down Del", "A20", "A20", "A20= A8=K A12=K A21=K"},
    {"CtrlDownThenCopy", "A13", "C-Down C-C", "A20", "A20", "clip=K"},
    {"CtrlDownPastTheLastBlock", "A22", "C-Down", "A65536", "A65536", ""},
    {"CtrlRightToBlockEndThenSheetEdge", "A8", "C-Right C-Right C-Right", "IV8", "IV8", ""},  // via the label in H8
    {"CtrlUpStopsAtTheHeader", "A12", "C-Up", "A7", "A7", ""},
    {"CtrlEndIsTheLastUsedCell", "A8", "C-End", "H25", "H25", ""},  // the project's labels in H
    {"CtrlHomeGoesBelowTheFrozenRows", "F25", "C-Home", "A8", "A8", ""},
    {"CtrlUpIntoTheMergedTitle", "F25", "C-Up C-Up C-Up", "A1", "A1:F1", ""},
    {"UpIntoAMergeSelectsItWhole", "A8", "Up Up", "A4", "A4:C6", ""},
    {"DownLeavesTheMerge", "B5", "Down", "A7", "A7", ""},
    {"HomeGoesToColumnA", "D8", "Home", "A8", "A8", ""},
    {"ShiftExtendsCurrentStays", "A8", "S-Down S-Down S-Right Del", "A8", "A8:B10",
     "A8= A9= A10= B8= A11=K C8=K"},
    {"CtrlShiftDownToBlockEnd", "A8", "CS-Down", "A8", "A8:A12", ""},
    {"CtrlShiftEnd", "A8", "CS-End", "A8", "A8:H25", ""},
    {"CtrlShiftThenShiftBack", "A8", "CS-Right S-Left", "A8", "A8:C8", ""},
    {"CtrlADeleteClearsAll", "A8", "C-A Del", "A8", "A1:IV65536", "A8= A20= A7= F25="},
    {"UndoRedoWithCtrlY", "A8", "Del C-Z C-Y", "A8", "A8", "A8= A9=K"},
    {"UndoRedoWithCtrlShiftZ", "A8", "Del C-Z CS-Z", "A8", "A8", "A8="},
    {"UndoBringsBack", "A8", "S-Down Del C-Z", "A8", "A8:A9", "A8=K A9=K"},
    // A cut leaves the cells until the paste lands; then one undo brings both back.
    {"CutKeepsTheSourceUntilPasted", "A20", "C-X", "A20", "A20", "A20=K clip=K"},
    {"CutThenPasteMoves", "A20", "C-X Right Right C-V", "C20", "C20", "A20= C20=K"},
    {"CutPasteIsOneUndo", "A20", "C-X Right Right C-V C-Z", "A20", "A20", "A20=K C20="},
    {"EscapeEndsTheCut", "A20", "C-X Esc Right Right C-V", "C20", "C20", "A20=K C20=K"},
    {"CutOntoItsOwnBlock", "A20", "S-Down C-X C-V", "A20", "A20:A21", "A20=K A21=K"},
    {"CtrlDFillsDown", "B8", "S-Down S-Down C-D", "B8", "B8:B10", "B9=K B10=K B11="},
    {"CtrlDOneRowTakesTheOneAbove", "A13", "C-D", "A13", "A13", "A13=K"},
    {"CtrlRFillsRight", "D8", "S-Right S-Right C-R", "D8", "D8:F8", "E8=K F8=K"},
    {"CtrlEnterFillsTheSelection", "G8", "S-Down S-Right T:5 C-Enter", "G8", "G8:H9", "G8=5 H8=5 G9=5 H9=5 G10="},
    {"CtrlEnterOverAWholeMerge", "A7", "S-Up T:5 C-Enter", "A7", "A4:C7", "A4=5 B4= A5= A7=5 C7=5"},
    {"EnterAfterTabsReturnsToTheRunsColumn", "A13", "T:1 Tab T:2 Tab T:3 Enter", "A14", "A14",
     "A13=1 B13=2 C13=3"},
    {"EnterAfterTabsWithoutTyping", "B30", "Tab Tab Enter", "B31", "B31", ""},
    {"ArrowEndsTheTabRun", "B30", "Tab Down Enter", "C32", "C32", ""},
    {"ShiftEnterMovesUp", "B30", "S-Enter", "B29", "B29", ""},
    {"EnterFillsTheSelectedBlockDownItsColumns", "A30", "S-Down S-Right T:1 Enter T:2 Enter T:3 Enter T:4 Enter",
     "A30", "A30:B31", "A30=1 A31=2 B30=3 B31=4 A32="},
    {"TabRunsAlongTheBlocksRows", "A30", "S-Down S-Right Tab Tab Tab", "B31", "A30:B31", ""},
    {"ShiftTabWrapsBackwards", "A30", "S-Down S-Right S-BTab", "B31", "A30:B31", ""},
    {"ArrowWhileTypingCommitsAndMovesOnce", "A13", "T:5 Down T:6 Right", "B14", "B14", "A13=5 A14=6"},
    {"F2ThenArrowStaysInTheCell", "A8", "F2 Left T:X Enter", "A9", "A9", "A8=XK"},
};

INSTANTIATE_TEST_SUITE_P(Table, WindowKeys, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowEditing, PageDownAndUpMoveByTheRowsInView) {
  Go("A8");
  Key(Qt::Key_PageDown);
  const int page = view()->currentIndex().row() - 7;
  EXPECT_GT(page, 10);  // a 700-pixel window shows more than ten rows
  EXPECT_EQ(view()->currentIndex().column(), 0);
  EXPECT_GE(view()->verticalScrollBar()->value(), page);
  // Back up by a screen of the default rows, which is at least as many.
  Key(Qt::Key_PageUp);
  EXPECT_LE(view()->currentIndex().row(), 7);
  EXPECT_EQ(view()->currentIndex().column(), 0);
}

TEST_F(WindowEditing, ClicksKeepTheCurrentCellSelected) {
  Go("B10");
  auto centre = [this](const char* address) {
    const CellAddress a = CellAddress::Parse(address);
    return view()->visualRect(view()->model()->index(a.row, a.column)).center();
  };
  QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::ShiftModifier, centre("C12"));
  EXPECT_EQ(Current(), "B10");
  EXPECT_EQ(view()->SelectedRange(), CellRange::Parse("B10:C12"));
  // Ctrl+click on the current cell adds it, never deselects it.
  QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::ControlModifier, centre("B10"));
  EXPECT_EQ(Current(), "B10");
  const auto ranges = view()->SelectedRanges();
  EXPECT_TRUE(std::any_of(ranges.begin(), ranges.end(), [](const CellRange& r) { return r.Contains({9, 1}); }));
  // The selection's state after a click is where Shift+arrows grow from.
  QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, centre("D15"));
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(Current(), "D15");
  EXPECT_EQ(view()->SelectedRange(), CellRange::Parse("D15:D16"));
}

struct LimitCase {
  const char* name;
  const char* start;
  bool selectAll;
  QString clipboard;
  QString error;  // a part of the message; empty: accepted
};

class PasteLimits : public WindowEditing, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(PasteLimits, RefuseWholeWithAMessageOrPasteAll) {
  const LimitCase& c = GetParam();
  Go(c.start);
  if (c.selectAll) Key(Qt::Key_A, Qt::ControlModifier);
  QApplication::clipboard()->setText(c.clipboard);
  window->Edits().Paste();
  if (c.error.isEmpty()) {
    EXPECT_TRUE(dialogs->errors.isEmpty()) << dialogs->errors.join('\n').toStdString();
    EXPECT_EQ(window->Document().UndoStack()->count(), 1);
    return;
  }
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().contains(c.error)) << dialogs->errors.front().toStdString();
  EXPECT_EQ(window->Document().UndoStack()->count(), 0);
  EXPECT_FALSE(window->Document().IsModified());
}

QString Lines(int count) { return QString("1\n").repeated(count); }

const LimitCase kLimitCases[] = {
    {"RowsPastTheLastRow", "A8", false, Lines(100000), "有 100000 行，从第 8 行到工作表末行（第 65536 行）只能放下 65529 行"},
    {"RowsThatJustFit", "A8", false, Lines(65529), ""},
    {"BlockAtTheLastCell", "IV65536", false, "1\t2\n3\t4\n", "只能放下 1 行"},
    {"ColumnsPastIV", "IU1", false, "1\t2\t3\n4\n", "有 3 列，从 IU 列到工作表末列（IV 列）只能放下 2 列"},
    {"OneValueOverTheWholeSheet", "A8", true, "7\n", "所选区域有 16777216 个单元格，一次最多处理 1000000 个"},
    {"TextOverTheCellLimit", "A8", false, QString(32768, 'x'), "单元格 A8 的内容有 32768 个字符，一个单元格最多 32767 个字符"},
    {"TextAtTheCellLimit", "A8", false, QString(32767, QChar(0x6C34)), ""},
    {"BlockOverPartOfAMerge", "A4", false, "1\t2\n", "不能对合并单元格的一部分进行更改"},
    {"BlockOverAWholeMerge", "A1", false, "a\tb\tc\td\te\tf\n", ""},
};

INSTANTIATE_TEST_SUITE_P(Table, PasteLimits, ::testing::ValuesIn(kLimitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A formula that does not parse, typed into a cell and ended with Enter or Tab, is refused with
// a message and stays in its cell's open editor to be mended; one from the formula bar leaves
// the next cell's entry alone.
TEST_F(WindowEditing, ARefusedFormulaStaysOpenInItsCell) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Tab}) {
    dialogs->errors.clear();
    Go("F13");
    Type("=E8+");
    Key(key);
    ASSERT_EQ(dialogs->errors.size(), 1);
    EXPECT_TRUE(dialogs->errors.front().startsWith("输入|单元格 F13 的公式无效"))
        << dialogs->errors.front().toStdString();
    EXPECT_EQ(Current(), "F13");
    auto* editor = qobject_cast<QLineEdit*>(view()->indexWidget(view()->currentIndex()));
    ASSERT_NE(editor, nullptr) << "the editor is open again";
    EXPECT_EQ(editor->text(), "=E8+");
    EXPECT_EQ(window->Bar()->ContentEdit()->text(), "=E8+");
    Type("1");
    Key(key);
    EXPECT_EQ(input().FindCell(spreadsheet::CellAddress::Parse("F13"))->formula, "E8+1");
    EXPECT_NE(Current(), "F13");
  }
  dialogs->errors.clear();
  Go("A9");
  window->Bar()->ContentEdit()->setText("=1+");
  QTest::keyClick(window->Bar()->ContentEdit(), Qt::Key_Return);
  ASSERT_EQ(dialogs->errors.size(), 1);
  Go("A10");
  Type("7");
  Key(Qt::Key_Return);
  EXPECT_EQ(At("A10"), spreadsheet::CellValue(7.0));
  EXPECT_EQ(view()->indexWidget(view()->model()->index(9, 0)), nullptr) << "no editor opened again";
}

// The bar shows an entry as it is typed into the cell, and the cell again once it is entered
// or cancelled.
TEST_F(WindowEditing, TheBarFollowsTheEntryTypedInTheCell) {
  input().SetValue(spreadsheet::CellAddress::Parse("B20"), std::string("old"));
  Go("B20");
  Type("abc");
  EXPECT_EQ(window->Bar()->ContentEdit()->text(), "abc");
  Key(Qt::Key_Escape);
  EXPECT_EQ(window->Bar()->ContentEdit()->text(), "old");
  Type("=1+2");
  EXPECT_EQ(window->Bar()->ContentEdit()->text(), "=1+2");
  Key(Qt::Key_Return);
  EXPECT_EQ(Current(), "B21");
  Key(Qt::Key_Up);
  EXPECT_EQ(window->Bar()->ContentEdit()->text(), "=1+2");
  EXPECT_FALSE(window->Bar()->HasPendingEntry());
}

TEST_F(WindowEditing, TypedTextOverTheCellLimitIsRefused) {
  Go("A8");
  window->Bar()->ContentEdit()->setText(QString(40000, 'x'));
  QTest::keyClick(window->Bar()->ContentEdit(), Qt::Key_Return);
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().startsWith("输入|单元格 A8 的内容有 40000 个字符"));
  EXPECT_TRUE(IsEmptyValue(At("A8")));
  EXPECT_FALSE(window->Document().IsModified());
}

}  // namespace

// Each sheet is shown again as it was left; its frozen rows always show the sheet's first rows.
TEST_F(WindowEditing, EachSheetKeepsItsPlaceAndItsFrozenRows) {
  const auto topRowOfPanes = [this] {
    std::vector<int> rows;
    for (SheetView* pane : view()->Panes()) rows.push_back(pane->rowAt(0));
    return rows;
  };
  window->ShowSheet(1);
  Go("C300");
  const int scrolled = view()->verticalScrollBar()->value();
  ASSERT_GT(scrolled, 0);
  window->ShowSheet(0);
  EXPECT_EQ(Current(), "A1");  // never shown before: at its start
  EXPECT_EQ(view()->verticalScrollBar()->value(), 0);
  EXPECT_EQ(topRowOfPanes(), std::vector<int>{0});
  Key(Qt::Key_PageDown, Qt::ControlModifier);  // to the next sheet, as it was left
  EXPECT_EQ(window->ShownSheet(), 1u);
  EXPECT_EQ(Current(), "C300");
  EXPECT_EQ(view()->verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(topRowOfPanes(), std::vector<int>{0});
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Current(), "A5");  // below the sheet's own frozen rows
  Key(Qt::Key_PageUp, Qt::ControlModifier);
  Key(Qt::Key_PageUp, Qt::ControlModifier);  // the first sheet has none before it
  EXPECT_EQ(window->ShownSheet(), 0u);
  Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(Current(), "A8");
  // A workbook opened afresh starts at the top, whatever the last one showed.
  window->SetWorkbook(templates::TemplateWorkbook::Build(), "work2", QString());
  EXPECT_EQ(Current(), "A1");
  EXPECT_EQ(view()->verticalScrollBar()->value(), 0);
}

// A cut is marked on its own sheet until it is pasted or Escape ends it.
TEST_F(WindowEditing, ACutIsMarkedUntilPastedOrEscaped) {
  input().SetValue(CellAddress::Parse("A20"), std::string("K"));
  Go("A20");
  Key(Qt::Key_X, Qt::ControlModifier);
  ASSERT_TRUE(view()->MarkedRange().has_value());
  EXPECT_EQ(*view()->MarkedRange(), CellRange::Parse("A20"));
  window->ShowSheet(1);
  EXPECT_FALSE(view()->MarkedRange().has_value());
  window->ShowSheet(0);
  EXPECT_TRUE(view()->MarkedRange().has_value());
  Key(Qt::Key_Escape);
  EXPECT_FALSE(view()->MarkedRange().has_value());
  Key(Qt::Key_X, Qt::ControlModifier);
  Go("B20");
  Key(Qt::Key_V, Qt::ControlModifier);
  EXPECT_FALSE(view()->MarkedRange().has_value());
  EXPECT_EQ(window->Model()->EditText(19, 1), "K");
}

// A value still being typed, in the cell or in the formula bar, is entered before a command
// that reads the whole workbook, as a click elsewhere enters it; nothing typed is left out.
struct PendingEntryCase {
  const char* name;
  bool inFormulaBar;
  const char* command;  // a toolbar action's text, or "关闭" for closing the window
  int saveQuestions;    // how often closing asked about unsaved changes
};

class EnteredFirst : public WindowEditing, public ::testing::WithParamInterface<PendingEntryCase> {};

TEST_P(EnteredFirst, TheTypedValueIsPartOfWhatTheCommandSees) {
  const PendingEntryCase& c = GetParam();
  Go("A20");
  if (c.inFormulaBar) {
    QTest::keyClicks(window->Bar()->ContentEdit(), "8");
  } else {
    Type("8");
    ASSERT_NE(view()->indexWidget(view()->currentIndex()), nullptr);
  }
  ASSERT_TRUE(IsEmptyValue(At("A20")));
  if (QString(c.command) == "关闭") {
    window->close();  // the question is cancelled: the window stays
  } else {
    for (QAction* action : window->ToolBar()->actions()) {
      if (action->text() == c.command) action->trigger();
    }
    EXPECT_EQ(dialogs->previewsShown, 1);
  }
  EXPECT_EQ(At("A20"), CellValue(8.0));
  EXPECT_EQ(view()->indexWidget(view()->currentIndex()), nullptr);
  EXPECT_EQ(Current(), "A20");
  EXPECT_EQ(dialogs->saveChangesAsked, c.saveQuestions);
}

INSTANTIATE_TEST_SUITE_P(Commands, EnteredFirst,
                         ::testing::Values(PendingEntryCase{"CellBeforePreview", false, "打印预览", 0},
                                           PendingEntryCase{"FormulaBarBeforePreview", true, "打印预览", 0},
                                           PendingEntryCase{"CellBeforeClosing", false, "关闭", 1},
                                           PendingEntryCase{"FormulaBarBeforeClosing", true, "关闭", 1}),
                         [](const auto& info) { return std::string(info.param.name); });
