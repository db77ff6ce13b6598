// The main window's commands against in-memory hosts that record every call and fail where
// a test says: no workbook window is embedded here.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "host/MemoryHost.h"
#include "leveling/LevelingModule.h"
#include "templates/SampleRoute.h"
#include "templates/TemplateWorkbook.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ParamName.h"
#include "ui_FormMain.h"
#include "workbook/SpreadsheetError.h"

namespace {

using spreadsheet::CellValue;
using spreadsheet::MemoryHost;
using spreadsheet::SpreadsheetError;
using spreadsheet::WindowState;
using Log = std::vector<std::string>;

// A MemoryHost that logs each operation (window states as "SetWindowState(min)"/"(max)",
// screen updating as "SetScreenUpdating(0)"/"(1)") into a log that outlives it, and throws
// the error planned for an operation instead of doing it.
class RecordingHost : public MemoryHost {
 public:
  RecordingHost(Loader loader, std::shared_ptr<Log> log, std::map<std::string, int> failures)
      : MemoryHost(std::move(loader)), m_log(std::move(log)), m_failures(std::move(failures)) {}

  void CreateApplication() override {
    Step("CreateApplication", [&] { MemoryHost::CreateApplication(); });
  }
  void SetVisible(bool visible) override {
    Step("SetVisible", [&] { MemoryHost::SetVisible(visible); });
  }
  void OpenTemplate(const std::string& path) override {
    Step("OpenTemplate", [&] { MemoryHost::OpenTemplate(path); });
  }
  std::string GetCaption() override {
    std::string caption;
    Step("GetCaption", [&] { caption = MemoryHost::GetCaption(); });
    return caption;
  }
  void SetWindowState(WindowState state) override {
    const std::string name = state == WindowState::Minimized ? "SetWindowState(min)" : "SetWindowState(max)";
    Step(name, [&] { MemoryHost::SetWindowState(state); });
  }
  void MaximizeActiveWindow() override {
    Step("MaximizeActiveWindow", [&] { MemoryHost::MaximizeActiveWindow(); });
  }
  void SetScreenUpdating(bool on) override {
    Step(on ? "SetScreenUpdating(1)" : "SetScreenUpdating(0)", [&] { MemoryHost::SetScreenUpdating(on); });
  }
  void SelectSheet(const std::string& name) override {
    Step("SelectSheet", [&] { MemoryHost::SelectSheet(name); });
  }
  void MarkSaved() override {
    Step("MarkSaved", [&] { MemoryHost::MarkSaved(); });
  }
  void Quit() override {
    Step("Quit", [&] { MemoryHost::Quit(); });
  }

 private:
  template <typename Action>
  void Step(const std::string& name, Action&& action) {
    m_log->push_back(name);
    if (const auto failure = m_failures.find(name); failure != m_failures.end())
      throw SpreadsheetError(failure->second, "planned failure of " + name);
    action();
  }

  std::shared_ptr<Log> m_log;
  std::map<std::string, int> m_failures;
};

class FormMainLogic : public ::testing::Test {
 protected:
  void MakeWindow(spreadsheet::Workbook templateBook = templates::SampleRoute::Build()) {
    m_template = std::move(templateBook);
    window = std::make_unique<FormMain>(leveling, [this]() -> std::unique_ptr<spreadsheet::SpreadsheetHost> {
      ++hostsMade;
      auto host =
          std::make_unique<RecordingHost>([this](const std::string&) { return m_template; }, log, failures);
      lastHost = host.get();
      return host;
    });
    window->setMessageBox(RecordMessages(shown));
    window->setSeedSource([this] {
      ++seedsDrawn;
      return std::uint64_t{4711};
    });
  }

  std::vector<std::string> Since(std::size_t from) const { return {log->begin() + from, log->end()}; }

  gaocheng::LevelingModule leveling;
  std::shared_ptr<Log> log = std::make_shared<Log>();
  std::map<std::string, int> failures;
  std::unique_ptr<FormMain> window;
  RecordingHost* lastHost = nullptr;
  std::vector<ShownMessage> shown;
  int hostsMade = 0;
  int seedsDrawn = 0;

 private:
  spreadsheet::Workbook m_template;
};

TEST_F(FormMainLogic, NewTemplateRunsTheStepsInOrder) {
  MakeWindow();
  window->menunew_Click();
  ASSERT_NE(window->Application(), nullptr);
  EXPECT_EQ(*log, (Log{"CreateApplication", "SetVisible", "OpenTemplate", "GetCaption", "SetWindowState(max)",
                       "MaximizeActiveWindow", "SetVisible"}));
  EXPECT_TRUE(shown.empty());
}

struct NewTemplateFailure {
  const char* operation;
  int number;
};

class NewTemplateFailures : public FormMainLogic, public ::testing::WithParamInterface<NewTemplateFailure> {};

// Whatever the number, a failure after the application was made quits it, so that the
// command can be tried again from the start.
TEST_P(NewTemplateFailures, QuitTheApplicationReportAndAllowARetry) {
  const NewTemplateFailure failure = GetParam();
  failures = {{failure.operation, failure.number}};
  MakeWindow();
  window->menunew_Click();

  EXPECT_EQ(window->Application(), nullptr);
  ASSERT_FALSE(log->empty());
  EXPECT_EQ(log->back(), "Quit");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("错误") + QString::number(failure.number));
  EXPECT_EQ(shown[0].text, QStringLiteral("发生错误，错误内容：\r\nplanned failure of ") + failure.operation);

  failures.clear();
  MakeWindow();
  window->menunew_Click();
  EXPECT_NE(window->Application(), nullptr);
  EXPECT_EQ(hostsMade, 2);  // one for each window
  EXPECT_EQ(shown.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(AfterCreation, NewTemplateFailures,
                         ::testing::Values(NewTemplateFailure{"SetVisible", 1004},
                                           NewTemplateFailure{"OpenTemplate", 1004},
                                           NewTemplateFailure{"GetCaption", 13},
                                           NewTemplateFailure{"SetWindowState(max)", 5},
                                           NewTemplateFailure{"MaximizeActiveWindow", 91}),
                         testsupport::NameBy([](const NewTemplateFailure& c) { return c.operation; }));

TEST_F(FormMainLogic, RetryInTheSameWindowMakesAFreshApplication) {
  failures = {{"GetCaption", 13}};
  MakeWindow();
  window->menunew_Click();
  ASSERT_EQ(window->Application(), nullptr);
  window->menunew_Click();  // the same planned failure again: a new host each time
  EXPECT_EQ(hostsMade, 2);
  EXPECT_EQ(std::count(log->begin(), log->end(), "CreateApplication"), 2);
  EXPECT_EQ(std::count(log->begin(), log->end(), "Quit"), 2);
  EXPECT_EQ(shown.size(), 2u);
}

TEST_F(FormMainLogic, ApplicationThatCannotStartIsNotQuit) {
  failures = {{"CreateApplication", 429}};
  MakeWindow();
  window->menunew_Click();
  EXPECT_EQ(window->Application(), nullptr);
  EXPECT_EQ(*log, Log{"CreateApplication"});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("错误429"));
}

TEST_F(FormMainLogic, ComputeWithoutSpreadsheetDoesNothing) {
  MakeWindow();
  window->menuClac_Click();
  EXPECT_EQ(hostsMade, 0);
  EXPECT_EQ(seedsDrawn, 0);
  EXPECT_TRUE(shown.empty());
}

TEST_F(FormMainLogic, ComputeWritesTheFieldBookWithScreenUpdatingOff) {
  MakeWindow();
  window->menunew_Click();
  const std::size_t before = log->size();
  window->menuClac_Click();
  const Log calls = Since(before);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), "SetScreenUpdating(0)");
  EXPECT_EQ(calls.back(), "SetScreenUpdating(1)");
  EXPECT_EQ(seedsDrawn, 1);
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(lastHost->IsScreenUpdating());
  EXPECT_EQ(lastHost->GetCellValue("A5"), CellValue(std::string("BM1")));
  EXPECT_TRUE(spreadsheet::IsText(lastHost->GetCellValue("I2")));

  window->menuClac_Click();
  EXPECT_EQ(seedsDrawn, 2);  // a fresh engine for every run
}

// A closure beyond ±6√n: the book with its block and the drawn seed is written, then one
// information box says so after screen updating is back on.
TEST_F(FormMainLogic, ClosureBeyondTheLimitIsShownAfterTheBook) {
  MakeWindow();
  leveling.Settings().ClosureMinusTolerance = 29;
  leveling.Settings().ClosurePlusTolerance = 29;
  window->setMessageBox([this](QWidget*, const QString& text, const QString& title) {
    EXPECT_TRUE(lastHost->IsScreenUpdating());
    shown.push_back({text, title});
  });
  window->menunew_Click();
  window->menuClac_Click();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("普通水准表格"));
  EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("闭合差 +29 mm 超过限差 ±")))
      << shown[0].text.toStdString();
  int seedRow = 5;
  while (lastHost->GetCellValue("A" + std::to_string(seedRow)) != CellValue(std::string("随机种子 4711")) &&
         seedRow < 400)
    ++seedRow;
  EXPECT_TRUE(spreadsheet::IsEmptyValue(lastHost->GetCellValue("B" + std::to_string(seedRow))));
  EXPECT_EQ(lastHost->GetCellValue("B" + std::to_string(seedRow - 1)), CellValue(std::string("超限")));
}

TEST_F(FormMainLogic, OutputFailureIsReportedAndScreenUpdatingComesBack) {
  spreadsheet::Workbook inputOnly;
  inputOnly.AddSheet(templates::TemplateWorkbook::kInputSheet);
  templates::SampleRoute::Fill(inputOnly);
  MakeWindow(std::move(inputOnly));
  window->menunew_Click();
  window->menuClac_Click();

  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
  EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("9\n")));
  EXPECT_TRUE(shown[0].text.contains(QStringLiteral("水准表")));
  EXPECT_EQ(log->back(), "SetScreenUpdating(1)");
  EXPECT_TRUE(lastHost->IsScreenUpdating());
}

TEST_F(FormMainLogic, ReadingFailureIsTheModulesMessageOnly) {
  spreadsheet::Workbook book = templates::TemplateWorkbook::Build();
  book.FindSheet(templates::TemplateWorkbook::kInputSheet)
      ->SetValue(spreadsheet::CellAddress::Parse("E6"), std::string("abc"));
  MakeWindow(std::move(book));
  window->menunew_Click();
  window->menuClac_Click();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
  EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("13")));
  EXPECT_TRUE(lastHost->IsScreenUpdating());
}

class LayoutFailures : public FormMainLogic,
                       public ::testing::WithParamInterface<std::vector<std::string>> {};

// Each spreadsheet step of the layout pass is tried even when the one before failed.
TEST_P(LayoutFailures, LaterStepsStillRun) {
  for (const std::string& operation : GetParam()) failures[operation] = 1004;
  MakeWindow();
  window->menunew_Click();
  ASSERT_NE(window->Application(), nullptr);
  const std::size_t before = log->size();
  window->Form_Resize();
  EXPECT_EQ(Since(before), (Log{"SetScreenUpdating(0)", "SetWindowState(min)", "SetWindowState(max)",
                                "SetScreenUpdating(1)"}));
  EXPECT_TRUE(shown.empty());
}

INSTANTIATE_TEST_SUITE_P(EachStep, LayoutFailures,
                         ::testing::Values(std::vector<std::string>{"SetScreenUpdating(0)"},
                                           std::vector<std::string>{"SetWindowState(min)"},
                                           std::vector<std::string>{"SetScreenUpdating(0)",
                                                                    "SetWindowState(min)"}),
                         testsupport::NameBy([](const std::vector<std::string>& steps) {
                           std::string name;
                           for (const std::string& step : steps)
                             name += (name.empty() ? "" : " then ") + step;
                           return name;
                         }));

TEST_F(FormMainLogic, NarrowClientStillRunsTheSpreadsheetSteps) {
  MakeWindow();
  window->show();
  ASSERT_TRUE(ResizeClient(*window, 600, 400));
  window->menunew_Click();
  const QRect before = window->ui().PicEXCEL->geometry();
  const std::size_t calls = log->size();
  ASSERT_TRUE(ResizeClient(*window, 50, 400));
  ASSERT_LT(window->centralWidget()->width(), window->ui().bar->width());
  EXPECT_EQ(window->ui().PicEXCEL->geometry(), before);
  const Log after = Since(calls);
  ASSERT_GE(after.size(), 4u);
  EXPECT_EQ(Log(after.end() - 4, after.end()), (Log{"SetScreenUpdating(0)", "SetWindowState(min)",
                                                    "SetWindowState(max)", "SetScreenUpdating(1)"}));
}

TEST_F(FormMainLogic, LayoutWithoutSpreadsheetTouchesNoHost) {
  MakeWindow();
  window->show();
  ASSERT_TRUE(ResizeClient(*window, 700, 500));
  window->Form_Resize();
  EXPECT_EQ(hostsMade, 0);
  EXPECT_TRUE(log->empty());
}

TEST_F(FormMainLogic, CloseEndsTheSpreadsheetEvenWhenMarkingSavedFails) {
  failures = {{"MarkSaved", 1004}};
  MakeWindow();
  window->show();
  window->menunew_Click();
  const std::size_t before = log->size();
  EXPECT_TRUE(window->close());
  EXPECT_EQ(Since(before), (Log{"MarkSaved", "Quit"}));
  EXPECT_EQ(window->Application(), nullptr);
}

TEST_F(FormMainLogic, CloseWithoutSpreadsheetTouchesNoHost) {
  MakeWindow();
  window->show();
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(log->empty());
}

}  // namespace
