#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QFile>
#include <functional>
#include <memory>

#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "host/MemoryHost.h"
#include "sheetview/Platform.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "sheetview/SheetView.h"
#include "workbook/SpreadsheetError.h"
#include "templates/TemplateWorkbook.h"
#include "sheetview/WorkbookTableModel.h"
#include "leveling/LevelingModule.h"
#include "leveling/ProfileSheet.h"
#include <QUndoStack>

using namespace spreadsheet;

namespace {

int ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const SpreadsheetError& e) {
    return e.Number();
  }
  return 0;
}

// A template file that exists (the loader builds the workbook in code).
class QtHost : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    templatePath = dir.filePath("work.xlsx").toStdString();
    QFile file(QString::fromStdString(templatePath));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("template");
    file.close();
    dialogs = std::make_shared<FakeWorkbookDialogs>();
    host = std::make_unique<QtSpreadsheetHost>(
        [this](const std::string& path) {
          loaded.push_back(path);
          return templates::TemplateWorkbook::Build();
        },
        [this](const Workbook&, const std::string& path) { saved.push_back(path); }, dialogs);
  }

  void Start() {
    host->CreateApplication();
    host->OpenTemplate(templatePath);
  }

  QTemporaryDir dir;
  std::string templatePath;
  std::vector<std::string> loaded;
  std::vector<std::string> saved;
  std::shared_ptr<FakeWorkbookDialogs> dialogs;
  std::unique_ptr<QtSpreadsheetHost> host;
};

TEST_F(QtHost, CreatesAHiddenWindowFoundByClassAndCaption) {
  host->CreateApplication();
  ASSERT_NE(host->Window(), nullptr);
  EXPECT_FALSE(host->Window()->isVisible());
  EXPECT_TRUE(host->Window()->isWindow());
  EXPECT_EQ(host->GetCaption(), "工作簿");
  host->OpenTemplate(templatePath);
  EXPECT_EQ(host->GetCaption(), "work1 - 工作簿");
  EXPECT_EQ(host->Window()->windowTitle(), "work1 - 工作簿");
  host->SetVisible(true);
  EXPECT_TRUE(host->Window()->isVisible());
  EXPECT_EQ(platform::FindWindowA("XLMAIN", "work1 - 工作簿"), host->Window());
  EXPECT_EQ(platform::FindWindowA("XLMAIN", "work1 - 工作"), nullptr);
  EXPECT_EQ(platform::FindWindowA("OTHER", "work1 - 工作簿"), nullptr);
  host->OpenTemplate(templatePath);
  EXPECT_EQ(host->GetCaption(), "work2 - 工作簿");
  EXPECT_FALSE(host->HasUnsavedChanges());
}

TEST_F(QtHost, MissingOrUnreadableTemplateFailsWith1004NamingThePath) {
  host->CreateApplication();
  const std::string missing = dir.filePath("无此文件.xlsx").toStdString();
  for (const std::string& path : {missing, dir.path().toStdString()}) {
    try {
      host->OpenTemplate(path);
      FAIL() << path;
    } catch (const SpreadsheetError& e) {
      EXPECT_EQ(e.Number(), 1004);
      EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
    }
  }
  EXPECT_TRUE(loaded.empty());
  QtSpreadsheetHost failing([](const std::string&) -> Workbook { throw std::runtime_error("zip 损坏"); }, nullptr,
                            dialogs);
  failing.CreateApplication();
  try {
    failing.OpenTemplate(templatePath);
    FAIL();
  } catch (const SpreadsheetError& e) {
    EXPECT_EQ(e.Number(), 1004);
    EXPECT_NE(e.Description().find(templatePath), std::string::npos);
    EXPECT_NE(e.Description().find("zip 损坏"), std::string::npos);
  }
  EXPECT_EQ(failing.GetCaption(), "工作簿");
}

TEST_F(QtHost, FailuresCarryTheNumbersMemoryHostUses) {
  EXPECT_EQ(ErrorNumberOf([&] { host->SetVisible(true); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host->GetCaption(); }), 1004);
  host->CreateApplication();
  EXPECT_EQ(ErrorNumberOf([&] { host->GetCellValue("A1"); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host->SelectSheet("数据输入"); }), 1004);
  host->OpenTemplate(templatePath);
  EXPECT_EQ(ErrorNumberOf([&] { host->SelectSheet("Sheet1"); }), 9);
  EXPECT_EQ(ErrorNumberOf([&] { host->GetCellValue("E0"); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host->SetCellValue("IW1", 1.0); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host->ClearContents("A5:I65537"); }), 1004);
  host->Quit();
  EXPECT_EQ(ErrorNumberOf([&] { host->GetCellValue("E5"); }), 1004);
  EXPECT_EQ(ErrorNumberOf([&] { host->Quit(); }), 1004);
}

// The same script through both hosts leaves the same values, texts and flags.
TEST_F(QtHost, BehavesLikeMemoryHost) {
  Start();
  MemoryHost memory([](const std::string&) { return templates::TemplateWorkbook::Build(); });
  memory.CreateApplication();
  memory.OpenTemplate(templatePath);
  for (SpreadsheetHost* h : {static_cast<SpreadsheetHost*>(host.get()), static_cast<SpreadsheetHost*>(&memory)}) {
    h->SetScreenUpdating(false);
    h->SelectSheet("数据输入");
    h->SetCellValue("E5", std::string("BM1"));
    h->SetCellValue("E6", 150.8256);
    h->SetCellValue("A8", 0.0);
    h->SelectSheet("水准表");
    h->SetCellValue("A5", std::string("BM1"));
    h->SetCellValue("H6", -2.5);
    h->SetCellValue("G6", std::string());
    h->SetCellValue("I2", std::string("±6√n=±8"));
    h->ClearContents("A6:I65536");
    h->SetCellValue("B5", 1486.0);
    h->SetNumberFormat("B5:D5", "0");
    h->SetRowValues("B6", 3, {1.5, CellValue(), std::string("K1"), std::string(), -2.25, 7.0});
    h->SetScreenUpdating(true);
  }
  const CellBlock shown = host->ReadBlock("A4:E9", true);
  const CellBlock held = memory.ReadBlock("A4:E9", true);
  EXPECT_EQ(shown.rows, held.rows);
  EXPECT_EQ(shown.values, held.values);
  EXPECT_EQ(shown.texts, held.texts);
  for (const char* sheet : {"数据输入", "水准表"}) {
    host->SelectSheet(sheet);
    memory.SelectSheet(sheet);
    for (const char* a : {"E5", "E6", "A8", "A5", "H6", "G6", "I2", "A1", "B5"}) {
      EXPECT_EQ(host->GetCellValue(a), memory.GetCellValue(a)) << sheet << " " << a;
      EXPECT_EQ(host->GetCellText(a), memory.GetCellText(a)) << sheet << " " << a;
    }
  }
  EXPECT_EQ(host->GetCellText("B5"), "1486");  // the template's 0.000 made whole
  host->SelectSheet("数据输入");
  EXPECT_EQ(host->GetCellText("E6"), "150.826");
  EXPECT_EQ(host->HasUnsavedChanges(), memory.GetWorkbook().IsModified());
  host->MarkSaved();
  EXPECT_FALSE(host->HasUnsavedChanges());
}

TEST_F(QtHost, SelectSheetShowsItsTab) {
  Start();
  WorkbookWindow* window = host->Window();
  EXPECT_EQ(window->Tabs()->count(), 5);
  EXPECT_EQ(window->Tabs()->tabText(1), "水准表");
  host->SelectSheet("水准表");
  EXPECT_EQ(window->Tabs()->currentIndex(), 1);
  EXPECT_EQ(window->Model()->SheetIndex(), 1u);
  host->SetCellValue("I2", std::string("±6√n=±6"));
  host->SelectSheet("数据输入");
  EXPECT_TRUE(IsEmptyValue(host->GetCellValue("I2")));
  EXPECT_EQ(window->Tabs()->currentIndex(), 0);
}

TEST_F(QtHost, ScreenUpdatingOffSilencesTheModelUntilOneRefresh) {
  Start();
  host->SetVisible(true);
  host->SelectSheet("水准表");
  QSignalSpy changed(host->Window()->Model(), &QAbstractItemModel::dataChanged);
  QSignalSpy reset(host->Window()->Model(), &QAbstractItemModel::modelReset);
  host->SetCellValue("A5", std::string("BM1"));
  EXPECT_EQ(changed.count(), 1);
  host->SetScreenUpdating(false);
  host->ClearContents("A5:I65536");
  for (int r = 5; r < 3005; ++r) host->SetCellValue("B" + std::to_string(r), 1.234);
  host->SelectSheet("数据输入");
  host->SelectSheet("水准表");
  EXPECT_EQ(changed.count(), 1);
  EXPECT_FALSE(host->Window()->View()->updatesEnabled());
  host->SetScreenUpdating(true);
  EXPECT_EQ(changed.count() + reset.count(), 2 + 2);  // the two sheet switches and one refresh
  EXPECT_EQ(changed.count(), 2);
  EXPECT_TRUE(host->Window()->View()->updatesEnabled());
  EXPECT_EQ(host->GetCellText("B3004"), "1.234");
}

TEST_F(QtHost, EmbeddedWindowFillsItsParentAndCollapsesWhenMinimized) {
  Start();
  QWidget frame;
  frame.resize(800, 500);
  frame.show();
  host->SetVisible(true);
  QWidget* found = platform::FindWindowA("XLMAIN", QString::fromStdString(host->GetCaption()));
  ASSERT_EQ(found, host->Window());
  platform::SetParent(found, &frame);
  EXPECT_FALSE(found->isWindow());
  EXPECT_EQ(found->parentWidget(), &frame);
  EXPECT_TRUE(found->isVisible());
  EXPECT_EQ(platform::FindWindowA("XLMAIN", QString::fromStdString(host->GetCaption())), nullptr);
  host->SetWindowState(WindowState::Maximized);
  host->MaximizeActiveWindow();
  EXPECT_EQ(found->geometry(), frame.contentsRect());
  frame.resize(640, 420);
  QApplication::processEvents();
  EXPECT_EQ(found->geometry(), QRect(0, 0, 640, 420));
  host->SetWindowState(WindowState::Minimized);
  EXPECT_EQ(found->size(), QSize(0, 0));
  frame.resize(700, 450);
  QApplication::processEvents();
  EXPECT_EQ(found->size(), QSize(0, 0));  // minimized does not follow
  host->SetWindowState(WindowState::Maximized);
  EXPECT_EQ(found->geometry(), QRect(0, 0, 700, 450));
  // Quitting takes the window out of the frame without a question.
  host->SetCellValue("A8", std::string("unsaved"));
  host->Quit();
  EXPECT_EQ(host->Window(), nullptr);
  EXPECT_TRUE(frame.findChildren<WorkbookWindow*>().isEmpty());
  EXPECT_EQ(dialogs->saveChangesAsked, 0);
}

TEST_F(QtHost, TopLevelMaximizedTakesTheScreen) {
  Start();
  host->SetWindowState(WindowState::Maximized);
  host->SetVisible(true);
  EXPECT_TRUE(host->Window()->windowState() & Qt::WindowMaximized);
  host->SetWindowState(WindowState::Minimized);
  EXPECT_TRUE(host->Window()->windowState() & Qt::WindowMinimized);
}

TEST_F(QtHost, SaveAsksForANameTheFirstTimeAndNeverWritesTheTemplate) {
  Start();
  host->SetCellValue("A8", std::string("K1+000"));
  EXPECT_TRUE(host->HasUnsavedChanges());
  dialogs->saveAnswers = {QString::fromStdString(templatePath)};
  EXPECT_FALSE(host->Save());
  EXPECT_TRUE(saved.empty());
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().contains("模板"));
  EXPECT_TRUE(host->HasUnsavedChanges());
  EXPECT_FALSE(host->Save());  // cancelled
  const QString target = dir.filePath("路线一");
  dialogs->saveAnswers = {target};
  EXPECT_TRUE(host->Save());
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved.back(), (target + ".xlsx").toStdString());
  EXPECT_FALSE(host->HasUnsavedChanges());
  EXPECT_EQ(host->GetCaption(), "路线一.xlsx - 工作簿");
  host->SetCellValue("A9", std::string("K1+020"));
  EXPECT_TRUE(host->Save());  // the file is known now
  EXPECT_EQ(dialogs->saveAsked, 3);
  EXPECT_EQ(saved.size(), 2u);
}

// A workbook without "纵断面" (a template made before it had one): the generation adds the
// sheet after the last one in both hosts alike, and in the window the undo of its program step
// takes the sheet out again with the book, the redo brings both back.
TEST_F(QtHost, TheAddedProfileSheetBelongsToTheProgramStep) {
  auto withoutProfile = [](const std::string&) {
    Workbook book = templates::TemplateWorkbook::Build();
    book.RemoveSheet(static_cast<std::size_t>(book.IndexOf(gaocheng::kProfileSheetName)));
    return book;
  };
  host = std::make_unique<QtSpreadsheetHost>(withoutProfile, nullptr, dialogs);
  Start();
  MemoryHost memory(withoutProfile);
  memory.CreateApplication();
  memory.OpenTemplate(templatePath);
  WorkbookWindow& window = *host->Window();
  struct Quiet : gaocheng::MessageSink {
    void Show(const std::string&, const std::string&) override {}
  } quiet;
  for (SpreadsheetHost* h : {static_cast<SpreadsheetHost*>(host.get()), static_cast<SpreadsheetHost*>(&memory)}) {
    h->SelectSheet("数据输入");
    h->SetCellValue("E5", std::string("BM1"));
    h->SetCellValue("E6", 100.0);
    h->SetCellValue("F5", std::string("BM2"));
    h->SetCellValue("F6", 100.2);
    h->SetCellValue("A8", std::string("K0+000"));
    h->SetCellValue("E8", 100.1);
    h->SetCellValue("A9", std::string("K0+050"));
    h->SetCellValue("E9", 100.15);
  }
  window.Document().UndoStack()->clear();
  gaocheng::LevelingModule module;
  module.SetDefaultSettings();
  window.Document().BeginProgramStep(QStringLiteral("开始计算"));
  host->SetScreenUpdating(false);
  ASSERT_TRUE(module.GenerateFieldBook(*host, 7, quiet).Written);
  host->SetScreenUpdating(true);
  window.Document().EndProgramStep();
  ASSERT_TRUE(module.GenerateFieldBook(memory, 7, quiet).Written);

  ASSERT_EQ(window.Tabs()->count(), 5);
  EXPECT_EQ(window.Tabs()->tabText(4), "纵断面");
  EXPECT_EQ(window.Tabs()->currentIndex(), 1);  // 水准表 stays in view
  host->SelectSheet("纵断面");
  memory.SelectSheet("纵断面");
  EXPECT_EQ(host->ReadBlock("A1:I12", true).texts, memory.ReadBlock("A1:I12", true).texts);
  EXPECT_EQ(host->GetCellText("B6"), "0.000");
  EXPECT_EQ(host->GetCellText("A4"), "点名");
  EXPECT_EQ(window.GetWorkbook().FindSheet("纵断面")->Charts().size(), 2u);
  const CellBlock filled = host->ReadBlock("A1:I12", true);
  host->SelectSheet("水准表");

  ASSERT_EQ(window.Document().UndoStack()->count(), 1);
  window.Undo();
  EXPECT_EQ(window.GetWorkbook().SheetCount(), 4u);
  EXPECT_EQ(window.Tabs()->count(), 4);
  EXPECT_EQ(window.Tabs()->currentIndex(), 1);
  EXPECT_EQ(ErrorNumberOf([&] { host->SelectSheet("纵断面"); }), 9);
  host->SelectSheet("水准表");
  EXPECT_TRUE(IsEmptyValue(host->GetCellValue("A5")));
  window.Redo();
  ASSERT_EQ(window.Tabs()->count(), 5);
  host->SelectSheet("纵断面");
  EXPECT_EQ(host->ReadBlock("A1:I12", true).texts, filled.texts);
  host->SelectSheet("水准表");
  EXPECT_EQ(host->GetCellText("A5"), "BM1");
}

}  // namespace
