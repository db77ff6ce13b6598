// The main window with the real workbook window, offscreen: bad input under "开始计算" and
// saves that fail under the close question.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "leveling/LevelingModule.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookWindow.h"
#include "templates/TemplateWorkbook.h"
#include "tests/app/AppTestSupport.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "tests/xlsx/SaveFaults.h"
#include "ui_FormMain.h"
#include "xlsx/XlsxImporter.h"

namespace {

using spreadsheet::CellAddress;
using spreadsheet::CellValue;
using spreadsheet::Workbook;
using spreadsheet::WorkbookWindow;
using SaveChoice = spreadsheet::WorkbookDialogs::SaveChoice;

class HardenedWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    // nobody must reach the folder of a saved file (savefaults::InReadOnlyFolder).
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                      QFile::ExeOther));
    WriteTemplate(dir.filePath(QStringLiteral("work.xlsx")));
    window = std::make_unique<FormMain>(leveling, FormMain::QtHostFactory(dialogs));
    window->setTemplatePath(dir.filePath(QStringLiteral("work.xlsx")));
    window->setMessageBox(RecordMessages(shown));
    window->setSaveQuestion([this](QWidget*) {
      ++questions;
      if (answers.empty()) return SaveChoice::Cancel;
      const SaveChoice answer = answers.front();
      answers.pop_front();
      return answer;
    });
    window->setSeedSource([] { return std::uint64_t{99}; });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->ui().menunew->trigger();
    ASSERT_NE(workbookWindow(), nullptr);
    ASSERT_TRUE(shown.empty());
  }

  void TearDown() override { window.reset(); }

  spreadsheet::QtSpreadsheetHost* host() const {
    return dynamic_cast<spreadsheet::QtSpreadsheetHost*>(window->Application());
  }
  WorkbookWindow* workbookWindow() const { return host() != nullptr ? host()->Window() : nullptr; }
  const spreadsheet::Worksheet& Output() const {
    return *workbookWindow()->GetWorkbook().FindSheet(templates::TemplateWorkbook::kOutputSheet);
  }
  void Compute() { window->ui().menuClac->trigger(); }

  void PutInput(const char* address, const CellValue& value) {
    host()->SelectSheet(templates::TemplateWorkbook::kInputSheet);
    host()->SetCellValue(address, value);
  }

  void PutRoute() {
    PutInput("E5", std::string("BM1"));
    PutInput("E6", 150.826);
    PutInput("F5", std::string("BM2"));
    PutInput("F6", 151.412);
    const double design[] = {151.102, 152.374, 150.968, 149.5};
    for (int i = 0; i < 4; ++i) {
      const std::string row = std::to_string(8 + i);
      PutInput(("A" + row).c_str(), "K1+0" + std::to_string(i) + "0");
      PutInput(("B" + row).c_str(), -12.5 + i * 6);
      PutInput(("E" + row).c_str(), design[i]);
    }
    PutInput("F9", 152.371);
  }

  void TypeInto(const char* address, const QString& text) {
    ::TypeInto(workbookWindow()->View(), address, text);
  }

  // Every cell of the output sheet: value, formula and style.
  std::vector<std::tuple<int, int, CellValue, std::string, std::uint32_t>> OutputCells() const {
    std::vector<std::tuple<int, int, CellValue, std::string, std::uint32_t>> cells;
    const spreadsheet::Worksheet& sheet = Output();
    for (int r = 0; r < sheet.RowExtent(); ++r) {
      for (int c = 0; c < static_cast<int>(sheet.Row(r).size()); ++c) {
        const spreadsheet::Cell& cell = sheet.Row(r)[static_cast<std::size_t>(c)];
        cells.emplace_back(r, c, cell.value, cell.formula, cell.style);
      }
    }
    return cells;
  }

  QTemporaryDir dir;
  gaocheng::LevelingModule leveling;
  std::shared_ptr<FakeWorkbookDialogs> dialogs = std::make_shared<FakeWorkbookDialogs>();
  std::unique_ptr<FormMain> window;
  std::vector<ShownMessage> shown;
  std::deque<SaveChoice> answers;
  int questions = 0;
};

struct BadCase {
  const char* name;
  const char* address;
  CellValue value;
  QString message;  // the whole text, or its start when it ends in "…"
};

class BadInputOnScreen : public HardenedWindow, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BadInputOnScreen, ShowsTheCellAndKeepsThePreviousBook) {
  const BadCase& c = GetParam();
  PutRoute();
  Compute();
  ASSERT_TRUE(shown.empty()) << shown[0].text.toStdString();
  ASSERT_EQ(Output().Value(CellAddress::Parse("A5")), CellValue(std::string("BM1")));
  ASSERT_TRUE(spreadsheet::IsText(Output().Value(CellAddress::Parse("I2"))));
  const auto before = OutputCells();

  PutInput(c.address, c.value);
  Compute();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
  if (c.message.endsWith(QStringLiteral("…")))
    EXPECT_TRUE(shown[0].text.startsWith(c.message.chopped(1))) << shown[0].text.toStdString();
  else
    EXPECT_EQ(shown[0].text, c.message);
  EXPECT_TRUE(OutputCells() == before) << "the previous field book must stay as it was";
  EXPECT_TRUE(workbookWindow()->IsScreenUpdating());
  EXPECT_NE(window->Application(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Subset, BadInputOnScreen,
    ::testing::Values(BadCase{"StartElevationText", "E6", std::string("abc"),
                              QStringLiteral("13\n单元格 E6 的内容“abc”不是数字")},
                      BadCase{"EndElevationComma", "F6", std::string("1,5"),
                              QStringLiteral("13\n单元格 F6 的内容“1,5”不是数字")},
                      BadCase{"DesignNaN", "E9", std::numeric_limits<double>::quiet_NaN(),
                              QStringLiteral("13\n单元格 E9 的内容“nan”不是数字")},
                      BadCase{"MeasuredInfinity", "F10", -std::numeric_limits<double>::infinity(),
                              QStringLiteral("13\n单元格 F10 的内容“-inf”不是数字")},
                      BadCase{"LastRowChinese", "E11", std::string("一百"),
                              QStringLiteral("13\n单元格 E11 的内容“一百”不是数字")},
                      BadCase{"InvalidUtf8", "E8", std::string("\xff\xfe"),
                              QStringLiteral("13\n单元格 E8 的内容“\uFFFD\uFFFD”不是数字")},
                      BadCase{"LongText", "F8", std::string(5000, 'x'),
                              QStringLiteral("13\n单元格 F8 的内容“") + QString(64, QLatin1Char('x')) +
                                  QStringLiteral("……")},
                      BadCase{"ElevationNoBookCanHold", "F6", 1e308,
                              QStringLiteral("6\n水准记录超过 65532 行…")}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST_F(HardenedWindow, TextTypedIntoTheGridIsReportedWithItsCell) {
  PutRoute();
  Compute();
  const auto before = OutputCells();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  host()->SelectSheet(templates::TemplateWorkbook::kInputSheet);  // the book left "水准表" shown
  TypeInto("E6", QStringLiteral("15O.826"));                      // a letter O for a zero
  Compute();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
  EXPECT_EQ(shown[0].text, QStringLiteral("13\n单元格 E6 的内容“15O.826”不是数字"));
  EXPECT_TRUE(OutputCells() == before);
  EXPECT_TRUE(workbookWindow()->IsScreenUpdating());

  // Corrected, the next command computes again.
  shown.clear();
  host()->SelectSheet(templates::TemplateWorkbook::kInputSheet);
  TypeInto("E6", QStringLiteral("150.826"));
  Compute();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(Output().Value(CellAddress::Parse("G5")), CellValue(150.826));
}

TEST_F(HardenedWindow, MissingInputSheetIsReportedAndTheOutputStays) {
  PutRoute();
  Compute();
  Workbook& workbook = workbookWindow()->GetWorkbook();
  workbook.FindSheet(templates::TemplateWorkbook::kInputSheet)->Rename("输入");
  const auto before = OutputCells();
  Compute();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QStringLiteral("Error"));
  EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("9\n"))) << shown[0].text.toStdString();
  EXPECT_TRUE(shown[0].text.contains(QStringLiteral("数据输入"))) << shown[0].text.toStdString();
  EXPECT_TRUE(OutputCells() == before);
  EXPECT_TRUE(workbookWindow()->IsScreenUpdating());
}

// 保存 under the close question when the save fails: the window stays open with its workbook
// unsaved, the previous file intact; answering 不保存 then closes.
TEST_F(HardenedWindow, CloseWhoseSaveCannotWriteTheFolderKeepsTheWindow) {
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("路线")));
  const QString folder = dir.filePath(QStringLiteral("路线"));
  const QString path = QDir(folder).filePath(QStringLiteral("水准.xlsx"));
  dialogs->saveAnswers.push_back(path);
  ASSERT_TRUE(workbookWindow()->Save());
  const QByteArray previous = savefaults::Digest(path);
  PutRoute();
  Compute();
  ASSERT_TRUE(host()->HasUnsavedChanges());

  answers = {SaveChoice::Save};
  bool closed = true;
  ASSERT_TRUE(savefaults::InReadOnlyFolder(folder, [&] { closed = window->close(); }));
  EXPECT_FALSE(closed);
  EXPECT_EQ(questions, 1);
  EXPECT_TRUE(window->isVisible());
  ASSERT_NE(workbookWindow(), nullptr);
  EXPECT_TRUE(workbookWindow()->Document().IsModified());
  EXPECT_EQ(Output().Value(CellAddress::Parse("A5")), CellValue(std::string("BM1")));
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors[0].contains(path)) << dialogs->errors[0].toStdString();
  EXPECT_EQ(savefaults::Digest(path), previous);
  EXPECT_EQ(savefaults::Entries(folder), QStringList{QStringLiteral("水准.xlsx")});

  answers = {SaveChoice::Discard};
  EXPECT_TRUE(window->close());
  EXPECT_EQ(window->Application(), nullptr);
  EXPECT_EQ(savefaults::Digest(path), previous);
}

TEST_F(HardenedWindow, CloseWhoseSaveHitsTheFileSizeLimitKeepsTheWindow) {
  const QString path = dir.filePath(QStringLiteral("水准.xlsx"));
  dialogs->saveAnswers.push_back(path);
  ASSERT_TRUE(workbookWindow()->Save());
  const QByteArray previous = savefaults::Digest(path);
  PutRoute();
  Compute();
  spreadsheet::Worksheet& output =
      *workbookWindow()->GetWorkbook().FindSheet(templates::TemplateWorkbook::kOutputSheet);
  for (int r = 100; r < 20100; ++r) {
    for (int c = 0; c < 9; ++c) output.SetValue(CellAddress{r, c}, r * 0.001 + c / 7.0);
  }

  answers = {SaveChoice::Save};
  bool closed = true;
  savefaults::WithFileSizeLimit(64 * 1024, [&] { closed = window->close(); });
  EXPECT_FALSE(closed);
  EXPECT_TRUE(window->isVisible());
  ASSERT_NE(workbookWindow(), nullptr);
  EXPECT_TRUE(workbookWindow()->Document().IsModified());
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors[0].contains(QStringLiteral("写入失败"))) << dialogs->errors[0].toStdString();
  EXPECT_EQ(savefaults::Digest(path), previous);
  EXPECT_EQ(savefaults::Entries(dir.path()),
            (QStringList{QStringLiteral("work.xlsx"), QStringLiteral("水准.xlsx")}));

  // The fault gone, 保存 writes the whole workbook and the window closes.
  answers = {SaveChoice::Save};
  EXPECT_TRUE(window->close());
  const Workbook reread = spreadsheet::XlsxImporter::LoadInProcess(path.toStdString());
  EXPECT_EQ(reread.FindSheet(templates::TemplateWorkbook::kOutputSheet)->Value(CellAddress{20099, 8}),
            CellValue(20.099 + 8 / 7.0));
}

TEST_F(HardenedWindow, CloseWhoseNewFileIsAFolderKeepsTheWindow) {
  PutRoute();
  Compute();
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("路线.xlsx")));
  dialogs->saveAnswers.push_back(dir.filePath(QStringLiteral("路线.xlsx")));
  answers = {SaveChoice::Save};
  EXPECT_FALSE(window->close());
  EXPECT_EQ(dialogs->saveAsked, 1);
  ASSERT_EQ(dialogs->errors.size(), 1);
  EXPECT_TRUE(dialogs->errors[0].contains(QStringLiteral("目标是一个文件夹")))
      << dialogs->errors[0].toStdString();
  EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("路线.xlsx"))).isDir());
  EXPECT_TRUE(window->isVisible());
  ASSERT_NE(workbookWindow(), nullptr);
  EXPECT_TRUE(workbookWindow()->Document().IsModified());
  EXPECT_TRUE(workbookWindow()->Document().Path().isEmpty());
}

}  // namespace
