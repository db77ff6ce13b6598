// The main window with the real workbook window embedded, on the offscreen platform. Message
// boxes, the save question and the workbook's file dialogs are answered by the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "host/MemoryHost.h"
#include "leveling/LevelingModule.h"
#include "leveling/LevelingSettings.h"
#include "settings/FormSet.h"
#include "workbook/CellInput.h"
#include "sheetview/WorkbookDocument.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookWindow.h"
#include "templates/TemplateWorkbook.h"
#include "tests/app/AppTestSupport.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "tests/support/ParamName.h"
#include "ui_FormMain.h"
#include "ui_FormSet.h"
#include "windows/FormPj.h"
#include "windows/MakerWebPages.h"
#include "xlsx/XlsxImporter.h"

namespace {

using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::Workbook;
using spreadsheet::WorkbookWindow;
using SaveChoice = spreadsheet::WorkbookDialogs::SaveChoice;

constexpr int kBarWidth = 83;       // 1245 twips
constexpr int kSmallButton = 41;    // 615 twips
constexpr int kPicBoxHeight = 177;  // 2655 twips

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    WriteTemplate(TemplatePath());
    const FormMain::HostFactory qtHost = FormMain::QtHostFactory(dialogs);
    window = std::make_unique<FormMain>(leveling, [this, qtHost] {
      ++hostsMade;
      return qtHost();
    });
    window->setTemplatePath(TemplatePath());
    window->setMessageBox(RecordMessages(shown));
    window->setSaveQuestion([this](QWidget*) {
      ++questions;
      if (answers.empty()) return SaveChoice::Cancel;
      const SaveChoice answer = answers.front();
      answers.pop_front();
      return answer;
    });
    window->setUrlOpener([this](const QUrl& url, const std::function<void()>& failed) {
      opened.push_back(url);
      if (!browserStarts) failed();
    });
    window->setSeedSource([this] {
      ++seedsDrawn;
      return kSeed;
    });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void TearDown() override {
    window.reset();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<FormPj*>(widget) != nullptr) delete widget;
    }
  }

  QString TemplatePath() const { return dir.filePath(QStringLiteral("work.xlsx")); }
  const Ui::FormMain& ui() const { return window->ui(); }
  spreadsheet::QtSpreadsheetHost* host() const {
    return dynamic_cast<spreadsheet::QtSpreadsheetHost*>(window->Application());
  }
  WorkbookWindow* workbookWindow() const { return host() != nullptr ? host()->Window() : nullptr; }
  Workbook& workbook() const { return workbookWindow()->GetWorkbook(); }
  CellValue Output(const char* address) const {
    return workbook()
        .FindSheet(templates::TemplateWorkbook::kOutputSheet)
        ->Value(CellAddress::Parse(address));
  }

  void NewTemplate() { ui().menunew->trigger(); }
  void Compute() { ui().menuClac->trigger(); }

  void TypeInto(const char* address, const QString& text) {
    ::TypeInto(workbookWindow()->View(), address, text);
  }

  void TypeRoute() {
    TypeInto("E5", QStringLiteral("BM1"));
    TypeInto("E6", QStringLiteral("150.826"));
    TypeInto("F5", QStringLiteral("BM2"));
    TypeInto("F6", QStringLiteral("151.412"));
    const char* rows[][4] = {
        {"A8", "B8", "E8", "K1+000"}, {"A9", "B9", "E9", "K1+020"}, {"A10", "B10", "E10", "K1+040"}};
    const char* offsets[] = {"-12.5", "0", "12.5"};
    const char* design[] = {"151.102", "152.374", "150.968"};
    for (int i = 0; i < 3; ++i) {
      TypeInto(rows[i][0], QString::fromUtf8(rows[i][3]));
      TypeInto(rows[i][1], QString::fromLatin1(offsets[i]));
      TypeInto(rows[i][2], QString::fromLatin1(design[i]));
    }
    TypeInto("F9", QStringLiteral("152.371"));
  }

  // Through the window, as the platform delivers it: press, release, double click, release.
  void DoubleClick(QWidget* button) {
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                       button->mapTo(window.get(), button->rect().center()));
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
  }

  bool FillsPicExcel() const {
    return workbookWindow() != nullptr && workbookWindow()->parentWidget() == ui().PicEXCEL &&
           workbookWindow()->isVisible() && workbookWindow()->geometry() == ui().PicEXCEL->contentsRect();
  }

  static constexpr std::uint64_t kSeed = 20240611;

  QTemporaryDir dir;
  gaocheng::LevelingModule leveling;
  std::shared_ptr<FakeWorkbookDialogs> dialogs = std::make_shared<FakeWorkbookDialogs>();
  std::unique_ptr<FormMain> window;
  std::vector<ShownMessage> shown;
  std::deque<SaveChoice> answers;
  std::vector<QUrl> opened;
  bool browserStarts = true;
  int questions = 0;
  int hostsMade = 0;
  int seedsDrawn = 0;
};

TEST_F(MainWindow, OpensMaximizedWithDefaultSettingsAndAnEmptyFrame) {
  gaocheng::LevelingSettings defaults;
  gaocheng::SetDefaultSettings(defaults);
  // A second window loads the defaults again over whatever the record held.
  leveling.Settings().TurnPointPrefix = "TP";
  leveling.Settings().StaffMaxReading = 3;
  FormMain second(leveling, FormMain::QtHostFactory(dialogs));
  EXPECT_EQ(leveling.Settings(), defaults);
  EXPECT_TRUE(second.windowState().testFlag(Qt::WindowMaximized));

  EXPECT_TRUE(window->isMaximized());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("普通水准表格"));
  EXPECT_EQ(window->Application(), nullptr);
  EXPECT_TRUE(SpreadsheetWindows().empty());
  // The first layout pass has run on the maximized client area.
  const QWidget* client = window->centralWidget();
  EXPECT_EQ(ui().PicEXCEL->geometry(), QRect(0, 0, client->width() - kBarWidth, client->height()));
  EXPECT_EQ(ui().bar->geometry(), QRect(client->width() - kBarWidth, 0, kBarWidth, client->height()));
  EXPECT_EQ(ui().ButtonB1->y(), client->height() - kSmallButton);
  EXPECT_EQ(ui().ButtonB2->y(), client->height() - kSmallButton);
  EXPECT_EQ(ui().PicBox->y(), client->height() - kSmallButton - kPicBoxHeight);
}

TEST_F(MainWindow, ComputeBeforeNewTemplateDoesNothing) {
  Compute();
  QTest::mouseClick(ui().ButtonFx2, Qt::LeftButton);
  EXPECT_EQ(hostsMade, 0);
  EXPECT_EQ(seedsDrawn, 0);
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(SpreadsheetWindows().empty());
}

TEST_F(MainWindow, NewTemplateEmbedsTheWorkbookFillingTheFrameOnce) {
  NewTemplate();
  ASSERT_NE(workbookWindow(), nullptr);
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(FillsPicExcel());
  EXPECT_FALSE(workbookWindow()->isWindow());
  EXPECT_EQ(workbookWindow()->windowTitle(), QStringLiteral("work1 - 工作簿"));
  EXPECT_EQ(workbook().IndexOf(templates::TemplateWorkbook::kInputSheet), 0);
  EXPECT_FALSE(workbookWindow()->Document().IsModified());

  WorkbookWindow* first = workbookWindow();
  NewTemplate();
  QTest::mouseClick(ui().ButtonFx3, Qt::LeftButton);
  EXPECT_EQ(hostsMade, 1);
  EXPECT_EQ(workbookWindow(), first);
  EXPECT_EQ(SpreadsheetWindows().size(), 1u);
  EXPECT_TRUE(shown.empty());
}

TEST_F(MainWindow, MissingTemplateReportsErrorAndARetryStartsAfresh) {
  ASSERT_TRUE(QFile::remove(TemplatePath()));
  NewTemplate();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("错误1004"));
  EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("发生错误，错误内容：\r\n")));
  EXPECT_TRUE(shown[0].text.contains(TemplatePath()));
  EXPECT_EQ(window->Application(), nullptr);
  EXPECT_TRUE(SpreadsheetWindows().empty());

  WriteTemplate(TemplatePath());
  NewTemplate();
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_EQ(hostsMade, 2);
  EXPECT_TRUE(FillsPicExcel());
  EXPECT_EQ(SpreadsheetWindows().size(), 1u);
}

TEST_F(MainWindow, TemplateThatIsNoWorkbookIsReportedToo) {
  QFile file(TemplatePath());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("not a workbook");
  file.close();
  NewTemplate();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("错误1004"));
  EXPECT_EQ(window->Application(), nullptr);
  EXPECT_TRUE(SpreadsheetWindows().empty());
}

TEST_F(MainWindow, RouteTypedIntoTheGridIsComputedIntoTheOutputSheet) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  NewTemplate();
  ASSERT_NE(workbookWindow(), nullptr);
  TypeRoute();
  const Workbook typed = workbook();
  ASSERT_EQ(typed.FindSheet(templates::TemplateWorkbook::kInputSheet)->Value(CellAddress::Parse("E6")),
            CellValue(150.826));
  ASSERT_EQ(typed.FindSheet(templates::TemplateWorkbook::kInputSheet)->Value(CellAddress::Parse("A10")),
            CellValue(std::string("K1+040")));

  Compute();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(seedsDrawn, 1);
  EXPECT_EQ(workbookWindow()->ShownSheet(),
            static_cast<std::size_t>(workbook().IndexOf(templates::TemplateWorkbook::kOutputSheet)));
  EXPECT_TRUE(workbookWindow()->IsScreenUpdating());
  EXPECT_EQ(Output("A5"), CellValue(std::string("BM1")));
  EXPECT_EQ(Output("G5"), CellValue(150.826));
  EXPECT_TRUE(spreadsheet::IsNumber(Output("B5")));
  const CellValue tolerance = Output("I2");
  ASSERT_TRUE(spreadsheet::IsText(tolerance));
  EXPECT_EQ(std::get<std::string>(tolerance).rfind("±6√n=±", 0), 0u);

  // The same input and seed through the engine alone gives the same sheet, cell for cell.
  spreadsheet::MemoryHost memory{Workbook(typed)};
  gaocheng::LevelingModule alone;
  alone.SetDefaultSettings();
  struct Silent : gaocheng::MessageSink {
    void Show(const std::string&, const std::string&) override {}
  } silent;
  alone.GenerateFieldBook(memory, kSeed, silent);
  int closingRow = 0;
  for (int row = 5; row < 200; ++row) {
    for (const char column : std::string("ABCDEFGHI")) {
      const std::string address = column + std::to_string(row);
      EXPECT_EQ(Output(address.c_str()), memory.GetCellValue(address)) << address;
    }
    if (Output(("A" + std::to_string(row)).c_str()) == CellValue(std::string("BM2"))) closingRow = row;
  }
  EXPECT_GE(closingRow, 9);  // start, three route points, at least one turning point, closing
  EXPECT_EQ(tolerance, memory.GetCellValue("I2"));
}

// Every cell of the output sheet with its style, as text: two books compare cell for cell.
std::string SheetText(const Workbook& book) {
  const spreadsheet::Worksheet& sheet = *book.FindSheet(templates::TemplateWorkbook::kOutputSheet);
  std::string text;
  for (int r = 0; r < sheet.RowExtent(); ++r) {
    for (int c = 0; c < static_cast<int>(sheet.Row(r).size()); ++c) {
      const spreadsheet::CellAddress a{r, c};
      text += a.ToString() + "=" + spreadsheet::CellInput::EditText(sheet.Value(a)) + "#" +
              book.Style(sheet.StyleAt(a)).numberFormat + "\n";
    }
  }
  return text;
}

TEST_F(MainWindow, StartComputingIsOneUndoStepAndKeepsTheHistory) {
  NewTemplate();
  TypeRoute();
  const std::size_t typedSteps = static_cast<std::size_t>(workbookWindow()->Document().UndoStack()->count());
  std::uint64_t seed = 40;
  window->setSeedSource([&seed] { return ++seed; });
  Compute();
  const std::string first = SheetText(workbook());
  ui().menuClac->trigger();  // F9's action
  const std::string second = SheetText(workbook());
  ASSERT_NE(first, second);
  EXPECT_NE(first.find("41"), std::string::npos);  // the seed in the check block

  workbookWindow()->Undo();
  EXPECT_EQ(SheetText(workbook()), first);
  workbookWindow()->Redo();
  EXPECT_EQ(SheetText(workbook()), second);
  workbookWindow()->Undo();
  workbookWindow()->Undo();
  EXPECT_EQ(Output("A5"), CellValue());  // before the first book
  EXPECT_EQ(static_cast<std::size_t>(workbookWindow()->Document().UndoStack()->index()), typedSteps);
  workbookWindow()->Undo();  // the typing before it is still there to undo
  EXPECT_EQ(workbook().FindSheet(templates::TemplateWorkbook::kInputSheet)->Value(CellAddress::Parse("F9")),
            CellValue());
  EXPECT_TRUE(workbookWindow()->Document().IsModified());
}

// 开始计算 clicked while the start elevation is still being typed computes with what is typed.
TEST_F(MainWindow, StartComputingEntersTheValueBeingTyped) {
  NewTemplate();
  TypeRoute();
  spreadsheet::SheetView* view = workbookWindow()->View();
  view->SetCurrentCell(CellAddress::Parse("E6"));
  QTest::keyClicks(view, "1");
  QWidget* editor = view->indexWidget(view->currentIndex());
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "51.5");
  QTest::mouseClick(ui().ButtonFx2, Qt::LeftButton);
  EXPECT_EQ(workbook().FindSheet(templates::TemplateWorkbook::kInputSheet)->Value(CellAddress::Parse("E6")),
            CellValue(151.5));
  EXPECT_EQ(Output("G5"), CellValue(151.5));
}

// A merge over the book's area would hide readings under the new book: 开始计算 dissolves it as
// the command line does, and Ctrl+Z brings it back with the sheet as it was.
TEST_F(MainWindow, StartComputingDissolvesMergesOverTheBookInTheSameUndoStep) {
  NewTemplate();
  TypeRoute();
  Workbook& book = workbook();
  const int output = book.IndexOf(templates::TemplateWorkbook::kOutputSheet);
  ASSERT_GE(output, 0);
  book.SheetAt(static_cast<std::size_t>(output)).AddMerge(spreadsheet::CellRange::Parse("B7:C7"));
  workbookWindow()->ShowSheet(static_cast<std::size_t>(output));
  spreadsheet::SheetView* view = workbookWindow()->View();
  ASSERT_EQ(view->columnSpan(6, 1), 2);

  Compute();
  const spreadsheet::Worksheet& sheet = book.SheetAt(static_cast<std::size_t>(output));
  EXPECT_EQ(sheet.MergeAt(CellAddress::Parse("B7")), nullptr);
  EXPECT_EQ(view->columnSpan(6, 1), 1);
  EXPECT_TRUE(spreadsheet::IsNumber(Output("B7")) || spreadsheet::IsNumber(Output("C7")));

  view->setFocus();
  QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
  ASSERT_NE(sheet.MergeAt(CellAddress::Parse("C7")), nullptr);
  EXPECT_EQ(sheet.MergeAt(CellAddress::Parse("C7"))->ToString(), "B7:C7");
  EXPECT_EQ(view->columnSpan(6, 1), 2);
  EXPECT_EQ(Output("A5"), CellValue());
}

struct ClientSize {
  int width;
  int height;
};

class MainWindowResize : public MainWindow, public ::testing::WithParamInterface<std::vector<ClientSize>> {};

TEST_P(MainWindowResize, WorkbookFillsTheFrameAfterEveryResize) {
  NewTemplate();
  ASSERT_TRUE(FillsPicExcel());
  for (const ClientSize size : GetParam()) {
    ASSERT_TRUE(ResizeClient(*window, size.width, size.height));
    const QWidget* client = window->centralWidget();
    SCOPED_TRACE(QStringLiteral("%1 x %2").arg(client->width()).arg(client->height()).toStdString());
    EXPECT_EQ(ui().PicEXCEL->geometry(), QRect(0, 0, client->width() - kBarWidth, client->height()));
    EXPECT_EQ(ui().bar->geometry(), QRect(client->width() - kBarWidth, 0, kBarWidth, client->height()));
    EXPECT_TRUE(FillsPicExcel());
    EXPECT_EQ(workbookWindow()->State(), spreadsheet::WindowState::Maximized);
    EXPECT_TRUE(workbookWindow()->IsScreenUpdating());
  }
  window->showMaximized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->isMaximized(); }, 2000));
  QApplication::processEvents();
  EXPECT_TRUE(FillsPicExcel());
}

INSTANTIATE_TEST_SUITE_P(Sequences, MainWindowResize,
                         ::testing::Values(std::vector<ClientSize>{{900, 700}, {500, 400}, {1200, 300}},
                                           std::vector<ClientSize>{{300, 900}, {700, 200}, {640, 480}}),
                         testsupport::NameBy([](const std::vector<ClientSize>& sizes) {
                           std::string name;
                           for (const ClientSize& s : sizes)
                             name += (name.empty() ? "" : "_") + std::to_string(s.width) + "x" +
                                     std::to_string(s.height);
                           return name;
                         }));

TEST_F(MainWindow, ClientNarrowerThanTheBarSkipsOnlyTheFrame) {
  NewTemplate();
  ASSERT_TRUE(ResizeClient(*window, 600, 400));
  const QRect frame = ui().PicEXCEL->geometry();
  ASSERT_TRUE(ResizeClient(*window, 50, 300));
  const QWidget* client = window->centralWidget();
  ASSERT_LT(client->width(), kBarWidth);
  EXPECT_EQ(ui().PicEXCEL->geometry(), frame);
  EXPECT_EQ(ui().bar->geometry(), QRect(client->width() - kBarWidth, 0, kBarWidth, client->height()));
  EXPECT_EQ(ui().ButtonB1->pos(), QPoint(0, client->height() - kSmallButton));
  EXPECT_EQ(ui().ButtonB2->pos(), QPoint(kSmallButton, client->height() - kSmallButton));
  EXPECT_EQ(ui().PicBox->y(), client->height() - kSmallButton - kPicBoxHeight);
  EXPECT_TRUE(FillsPicExcel());
  EXPECT_TRUE(workbookWindow()->IsScreenUpdating());
}

struct HeightCase {
  int windowHeight;
  bool overlaps;
};

class MainWindowHeight : public MainWindow, public ::testing::WithParamInterface<HeightCase> {};

// There is no minimum size: in a short window the panel rises over the buttons at the top of
// the bar, always resting on the two small buttons.
TEST_P(MainWindowHeight, PanelRestsOnTheSmallButtons) {
  ASSERT_TRUE(ResizeClient(*window, 700, GetParam().windowHeight));
  const QRect panel = ui().PicBox->geometry();
  EXPECT_EQ(panel.bottom() + 1, ui().ButtonB1->y());
  EXPECT_EQ(ui().ButtonB1->geometry().bottom() + 1, ui().bar->height());
  const bool overlaps = panel.intersects(ui().ButtonSave->geometry()) ||
                        panel.intersects(ui().ButtonFx2->geometry()) ||
                        panel.intersects(ui().ButtonFx3->geometry());
  EXPECT_EQ(overlaps, GetParam().overlaps);
}

INSTANTIATE_TEST_SUITE_P(Heights, MainWindowHeight,
                         ::testing::Values(HeightCase{600, false}, HeightCase{420, true},
                                           HeightCase{150, true}),
                         testsupport::NameBy([](const HeightCase& c) {
                           return testsupport::ParamName(c.windowHeight, c.overlaps ? "overlaps" : "clear");
                         }));

TEST_F(MainWindow, SideBarButtonsRepeatTheMenuCommands) {
  QTest::mouseClick(ui().ButtonFx3, Qt::LeftButton);
  ASSERT_TRUE(FillsPicExcel());
  host()->SelectSheet(templates::TemplateWorkbook::kInputSheet);
  host()->SetCellValue("E5", std::string("BM1"));
  host()->SetCellValue("E6", 100.0);
  host()->SetCellValue("F5", std::string("BM2"));
  host()->SetCellValue("F6", 100.003);

  QTest::mouseClick(ui().ButtonFx2, Qt::LeftButton);
  EXPECT_EQ(seedsDrawn, 1);
  EXPECT_EQ(Output("A5"), CellValue(std::string("BM1")));
  EXPECT_EQ(Output("A6"), CellValue(std::string("BM2")));
  EXPECT_EQ(Output("I2"), CellValue(std::string("±6√n=±6")));

  // A double click is two clicks: two generations, and "新建模板" twice does nothing new.
  DoubleClick(ui().ButtonFx2);
  EXPECT_EQ(seedsDrawn, 3);
  DoubleClick(ui().ButtonFx3);
  EXPECT_EQ(hostsMade, 1);

  // The save button saves as Ctrl+S does: a new workbook first asks for its name.
  QTest::mouseClick(ui().ButtonSave, Qt::LeftButton);
  EXPECT_EQ(seedsDrawn, 3);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(questions, 0);
  EXPECT_EQ(dialogs->saveAsked, 1);
  const std::pair<QWidget*, const char*> tips[] = {{ui().ButtonFx3, "新建模板"}, {ui().ButtonFx2, "开始计算"},
                                                   {ui().ButtonSave, "保存"},    {ui().ButtonB1, "项目"},
                                                   {ui().ButtonB2, "设置"}};
  for (const auto& [button, command] : tips) {
    EXPECT_TRUE(button->toolTip().contains(QString::fromUtf8(command))) << button->objectName().toStdString();
  }
}

TEST_F(MainWindow, CheckForUpdatesOpensTheMakersPage) {
  ui().menuupdate->trigger();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], QUrl(QString::fromLatin1(levelbook::kMakerHomePage)));
  ui().menuQQ->trigger();
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_TRUE(shown.empty());
  // Without a browser the address is given to open by hand.
  browserStarts = false;
  ui().menuupdate->trigger();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "检查更新");
  EXPECT_TRUE(shown[0].text.endsWith(QString::fromLatin1(levelbook::kMakerHomePage))) << shown[0].text.toStdString();
}

TEST_F(MainWindow, ProjectButtonShowsOneModelessWindowWithoutOwner) {
  QTest::mouseClick(ui().ButtonB1, Qt::LeftButton);
  FormPj* project = window->ProjectWindow();
  ASSERT_NE(project, nullptr);
  EXPECT_TRUE(project->isVisible());
  EXPECT_EQ(project->parentWidget(), nullptr);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  QTest::mouseClick(ui().ButtonB1, Qt::LeftButton);
  EXPECT_EQ(window->ProjectWindow(), project);
  int projectWindows = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    projectWindows += qobject_cast<FormPj*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
  EXPECT_EQ(projectWindows, 1);

  // A closed project window is gone; the next click makes a fresh one.
  project->TextPM(0)->setText(QStringLiteral("typed"));
  project->close();
  QApplication::processEvents();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window->ProjectWindow(), nullptr);
  QTest::mouseClick(ui().ButtonB1, Qt::LeftButton);
  ASSERT_NE(window->ProjectWindow(), nullptr);
  EXPECT_EQ(window->ProjectWindow()->TextPM(0)->text(), QStringLiteral("期待2.0版本"));
}

// The program runs until its last window closes: the project window outlives the main one.
TEST_F(MainWindow, ProjectWindowKeepsTheProgramRunningAfterTheMainWindowCloses) {
  QTest::mouseClick(ui().ButtonB1, Qt::LeftButton);
  QPointer<FormPj> project = window->ProjectWindow();
  ASSERT_FALSE(project.isNull());
  bool projectOpenAfterMainClosed = false;
  bool timedOut = false;
  QTimer::singleShot(0, [&] { window->close(); });
  QTimer::singleShot(50, [&] {
    projectOpenAfterMainClosed = !window->isVisible() && !project.isNull() && project->isVisible();
    project->close();
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    timedOut = true;
    QApplication::quit();
  });
  guard.start(5000);
  const bool quitOnLast = QApplication::quitOnLastWindowClosed();
  QApplication::setQuitOnLastWindowClosed(true);
  QApplication::exec();
  QApplication::setQuitOnLastWindowClosed(quitOnLast);
  EXPECT_TRUE(projectOpenAfterMainClosed);
  EXPECT_FALSE(timedOut);  // the program ended when the project window closed
}

TEST_F(MainWindow, SettingsButtonShowsTheDialogModallyWithoutOwner) {
  FormSet* seen = nullptr;
  QWidget* parent = window.get();
  bool modalWhileOpen = false;
  std::vector<QString> dialogMessages;
  window->setSettingsDialogSetup([&](FormSet& dialog) {
    seen = &dialog;
    parent = dialog.parentWidget();
    dialog.setMessageBox(
        [&](QWidget*, const QString& text, const QString&) { dialogMessages.push_back(text); });
    QTimer::singleShot(0, [&] {
      modalWhileOpen = QApplication::activeModalWidget() == seen;
      seen->TextSZ(7)->setText(QStringLiteral("TP"));
      seen->TextSZ(1)->setText(QStringLiteral("4.5"));
      QTest::mouseClick(seen->ui().CmdSet, Qt::LeftButton);
      QTest::mouseClick(seen->ui().CmdOK_0, Qt::LeftButton);
    });
  });
  QTest::mouseClick(ui().ButtonB2, Qt::LeftButton);
  // The click returns only once the dialog has closed.
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(parent, nullptr);
  EXPECT_TRUE(modalWhileOpen);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(dialogMessages, std::vector<QString>{QStringLiteral("设置已经保存")});
  EXPECT_EQ(leveling.Settings().TurnPointPrefix, "TP");
  EXPECT_EQ(leveling.Settings().StaffMaxReading, 4.5);
}

struct CloseCase {
  const char* name;
  bool typeSomething;
  std::vector<SaveChoice> answers;
  bool fileName;  // the save dialog gets a name
  bool closes;
  bool saved;
};

class MainWindowClose : public MainWindow, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(MainWindowClose, AsksOnlyAboutUnsavedWork) {
  const CloseCase& c = GetParam();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  NewTemplate();
  ASSERT_NE(workbookWindow(), nullptr);
  if (c.typeSomething) TypeInto("E5", QStringLiteral("BM1"));
  ASSERT_EQ(workbookWindow()->Document().IsModified(), c.typeSomething);
  answers.assign(c.answers.begin(), c.answers.end());
  const QString savedPath = dir.filePath(QStringLiteral("路线.xlsx"));
  if (c.fileName) dialogs->saveAnswers.push_back(savedPath);

  EXPECT_EQ(window->close(), c.closes);
  EXPECT_EQ(questions, c.typeSomething ? 1 : 0);
  EXPECT_EQ(window->isVisible(), !c.closes);
  EXPECT_EQ(window->Application() == nullptr, c.closes);
  EXPECT_EQ(SpreadsheetWindows().empty(), c.closes);
  EXPECT_EQ(QFile::exists(savedPath), c.saved);
  if (c.saved) {
    const Workbook reread = spreadsheet::XlsxImporter::LoadInProcess(savedPath.toStdString());
    EXPECT_EQ(reread.FindSheet(templates::TemplateWorkbook::kInputSheet)->Value(CellAddress::Parse("E5")),
              CellValue(std::string("BM1")));
  }
  if (!c.closes) {
    EXPECT_TRUE(workbookWindow()->Document().IsModified());  // the typed work is still there
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainWindowClose,
    ::testing::Values(CloseCase{"Unchanged", false, {}, false, true, false},
                      CloseCase{"Cancel", true, {SaveChoice::Cancel}, false, false, false},
                      CloseCase{"Discard", true, {SaveChoice::Discard}, false, true, false},
                      CloseCase{"Save", true, {SaveChoice::Save}, true, true, true},
                      CloseCase{"SaveWithoutName", true, {SaveChoice::Save}, false, false, false}),
    [](const ::testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

TEST_F(MainWindow, CloseWithoutSpreadsheetAsksNothing) {
  EXPECT_TRUE(window->close());
  EXPECT_EQ(questions, 0);
}

}  // namespace

namespace {

TEST_F(MainWindow, TypingAfterNewTemplateOrOpeningGoesToTheSheet) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  NewTemplate();
  ASSERT_NE(workbookWindow(), nullptr);
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(qobject_cast<spreadsheet::SheetView*>(focus), nullptr)
      << (focus ? focus->metaObject()->className() : "no focus");
  EXPECT_TRUE(workbookWindow()->isAncestorOf(focus));
  // The first key opens the cell's editor, which takes the rest, as a person types.
  const QModelIndex cell = workbookWindow()->View()->currentIndex();
  QTest::keyClicks(focus, QStringLiteral("K"));
  QWidget* editor = workbookWindow()->View()->indexWidget(cell);
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, QStringLiteral("9"));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(workbook().SheetAt(0).Value(CellAddress{cell.row(), cell.column()}), CellValue(std::string("K9")));
}

TEST_F(MainWindow, FileOnTheCommandLineOpensAsNewTemplateThenOpen) {
  const QString route = dir.filePath(QStringLiteral("路线.xlsx"));
  Workbook book = templates::TemplateWorkbook::Build();
  book.SheetAt(0).SetValue(CellAddress::Parse("A8"), std::string("K1+000"));
  WriteTemplate(route, book);
  window->OpenOnStart(route);
  ASSERT_TRUE(FillsPicExcel());
  EXPECT_EQ(workbookWindow()->windowTitle(), QStringLiteral("路线.xlsx - 工作簿"));
  EXPECT_EQ(workbookWindow()->Document().Path(), QFileInfo(route).absoluteFilePath());
  EXPECT_EQ(workbook().SheetAt(0).Value(CellAddress::Parse("A8")), CellValue(std::string("K1+000")));
  EXPECT_FALSE(workbookWindow()->Document().IsModified());
  EXPECT_TRUE(dialogs->errors.isEmpty());
}

TEST_F(MainWindow, BadFileOnTheCommandLineIsReportedAndLeavesNoWorkbook) {
  const QString bad = dir.filePath(QStringLiteral("bad.xlsx"));
  QFile file(bad);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a workbook");
  file.close();
  window->OpenOnStart(bad);
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors.front().startsWith(QStringLiteral("打开|")))
      << dialogs->errors.front().toStdString();
  EXPECT_TRUE(dialogs->errors.front().contains(QStringLiteral("bad.xlsx")));
  EXPECT_EQ(window->Application(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([] { return SpreadsheetWindows().empty(); }, 2000));
  // The program stays up and 新建模板 works as ever.
  NewTemplate();
  EXPECT_TRUE(FillsPicExcel());
}

TEST_F(MainWindow, CtrlNAndF9RunTheMenuCommandsUnderTheirOwnCaptions) {
  window->activateWindow();
  QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
  ASSERT_TRUE(FillsPicExcel());
  host()->SelectSheet(templates::TemplateWorkbook::kInputSheet);
  host()->SetCellValue("E5", std::string("BM1"));
  host()->SetCellValue("E6", 100.0);
  host()->SetCellValue("F5", std::string("BM2"));
  host()->SetCellValue("F6", 100.003);
  workbookWindow()->View()->setFocus();
  QTest::keyClick(workbookWindow()->View(), Qt::Key_F9);
  EXPECT_EQ(seedsDrawn, 1);
  EXPECT_EQ(Output("A5"), CellValue(std::string("BM1")));
  EXPECT_EQ(ui().menunew->text(), QStringLiteral("新建模板"));
  EXPECT_EQ(ui().menuClac->text(), QStringLiteral("开始计算"));
}

}  // namespace
