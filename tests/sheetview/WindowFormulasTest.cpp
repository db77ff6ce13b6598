#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "leveling/LevelingModule.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "sheetview/WorkbookTableModel.h"
#include "templates/TemplateWorkbook.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "tests/sheetview/WindowEditing.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

using namespace spreadsheet;

namespace {

class SilentSink : public gaocheng::MessageSink {
 public:
  void Show(const std::string& text, const std::string& title) override { shown.push_back(title + ": " + text); }
  std::vector<std::string> shown;
};

// The application's window over real files, typed into as a surveyor types a grade line.
class WindowFormulas : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    const QString templatePath = dir.filePath("work.xlsx");
    XlsxExporter::Save(templates::TemplateWorkbook::Build(), templatePath.toStdString());
    dialogs = std::make_shared<FakeWorkbookDialogs>();
    host = std::make_unique<QtSpreadsheetHost>([](const std::string& path) { return XlsxImporter::Load(path); },
                                               &XlsxExporter::Save, dialogs);
    host->CreateApplication();
    host->OpenTemplate(templatePath.toStdString());
    host->SelectSheet(templates::TemplateWorkbook::kInputSheet);
    window().resize(1000, 700);
    window().show();
    view()->setFocus();
  }

  WorkbookWindow& window() { return *host->Window(); }
  SheetView* view() { return window().View(); }
  Worksheet& input() { return window().GetWorkbook().SheetAt(0); }
  const Cell* At(const char* address) { return input().FindCell(CellAddress::Parse(address)); }
  double Number(const char* address) {
    const Cell* cell = At(address);
    return cell && IsNumber(cell->value) ? std::get<double>(cell->value) : -1;
  }
  std::string Formula(const char* address) {
    const Cell* cell = At(address);
    return cell ? std::string(cell->formula.view()) : std::string();
  }
  void Go(const char* address) { view()->SetCurrentCell(CellAddress::Parse(address)); }
  void Enter(const char* address, const QString& typed) {
    Go(address);
    SheetKeys::Type(view(), typed);
    SheetKeys::Key(view(), Qt::Key_Return);
  }

  QTemporaryDir dir;
  std::shared_ptr<FakeWorkbookDialogs> dialogs;
  std::unique_ptr<QtSpreadsheetHost> host;
};

// A chainage computed from the formula's own row follows the row when rows go in above it.
TEST_F(WindowFormulas, ARowNumberFollowsRowsInsertedAbove) {
  Enter("H20", QStringLiteral("=(ROW()-8)*20"));
  EXPECT_EQ(Number("H20"), 240);
  Go("H10");
  window().Edits().InsertRows();
  EXPECT_EQ(Number("H21"), 260);
}

TEST_F(WindowFormulas, TypedGradeLineComputesMovesWithRowsAndIsSavedWithItsResults) {
  host->SetCellValue("E5", std::string("BM1"));
  host->SetCellValue("F5", std::string("BM2"));
  host->SetCellValue("F6", 150.9);
  for (int row = 8; row <= 20; ++row) {
    host->SetCellValue("A" + std::to_string(row), "K" + std::to_string(row));
    host->SetCellValue("B" + std::to_string(row), 0.0);
  }
  Enter("E6", QStringLiteral("150.826"));
  Enter("E8", QStringLiteral("=E6+1.5"));
  Enter("E9", QStringLiteral("=E8+0.3"));
  // The fill: E9 copied over E9:E20 by keys.
  Go("E9");
  ASSERT_TRUE(window().Edits().Copy());
  for (int i = 0; i < 11; ++i) SheetKeys::Key(view(), Qt::Key_Down, Qt::ShiftModifier);
  window().Edits().Paste();

  std::vector<double> expected{150.826 + 1.5};
  for (int row = 9; row <= 20; ++row) expected.push_back(expected.back() + 0.3);
  EXPECT_EQ(Formula("E8"), "E6+1.5");
  EXPECT_EQ(Formula("E20"), "E19+0.3");
  EXPECT_EQ(Number("E20"), expected.back());
  Go("E20");
  EXPECT_EQ(window().Model()->EditText(19, 4), "=E19+0.3");  // what the formula bar shows

  // Dependents follow an edit of the start.
  Enter("E6", QStringLiteral("150"));
  EXPECT_EQ(Number("E9"), 150 + 1.5 + 0.3);
  Enter("E6", QStringLiteral("150.826"));

  SilentSink messages;
  gaocheng::LevelingModule leveling;
  leveling.SetDefaultSettings();
  host->SetScreenUpdating(false);
  leveling.GenerateFieldBook(*host, 7, messages);
  host->SetScreenUpdating(true);
  // Every design elevation of the book is a formula's result (G of the point rows).
  std::vector<double> design;
  const Worksheet& book = *window().GetWorkbook().FindSheet("水准表");
  for (int row = 4; row < book.RowExtent(); ++row) {
    const CellValue g = book.Value(CellAddress{row, 6});
    const CellValue a = book.Value(CellAddress{row, 0});
    if (IsNumber(g) && IsText(a) && std::get<std::string>(a).rfind("K", 0) == 0) design.push_back(std::get<double>(g));
  }
  ASSERT_EQ(design.size(), expected.size());
  for (std::size_t i = 0; i < design.size(); ++i) EXPECT_NEAR(design[i], expected[i], 5e-4) << i;

  host->SelectSheet(templates::TemplateWorkbook::kInputSheet);
  Go("E9");
  window().Edits().DeleteRows();
  EXPECT_EQ(Formula("E9"), "#REF!+0.3");
  EXPECT_EQ(Formula("E10"), "E9+0.3");
  EXPECT_EQ(Formula("E19"), "E18+0.3");
  EXPECT_TRUE(At("E9") && IsError(At("E9")->value));
  EXPECT_TRUE(At("E19") && IsError(At("E19")->value));
  SheetKeys::Key(view(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Formula("E9"), "E8+0.3");
  EXPECT_EQ(Formula("E10"), "E9+0.3");
  EXPECT_EQ(Number("E20"), expected.back());

  const QString saved = dir.filePath("saved.xlsx");
  ASSERT_TRUE(window().SaveTo(saved));
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-c"),
                QStringLiteral("import sys, zipfile, openpyxl\n"
                               "ws = openpyxl.load_workbook(sys.argv[1], data_only=True)['数据输入']\n"
                               "asks = b'fullCalcOnLoad=\"1\"' in zipfile.ZipFile(sys.argv[1]).read('xl/workbook.xml')\n"
                               "print(repr(ws['E8'].value), repr(ws['E20'].value), 'asks' if asks else 'quiet')\n"),
                saved});
  ASSERT_TRUE(python.waitForFinished(30000));
  if (python.exitCode() != 0 && python.readAllStandardError().contains("openpyxl")) GTEST_SKIP() << "no openpyxl";
  const QStringList shown = QString::fromUtf8(python.readAllStandardOutput()).trimmed().split(' ');
  ASSERT_EQ(shown.size(), 3);
  EXPECT_EQ(shown[0].toDouble(), expected.front());
  EXPECT_EQ(shown[1].toDouble(), expected.back());
  EXPECT_EQ(shown[2], "quiet") << "every result was stored: no recalculation asked";
}

TEST_F(WindowFormulas, ErrorsCirclesAndBooleansShowAsInASpreadsheet) {
  const struct {
    const char* cell;
    const char* typed;
    const char* shown;
  } kCases[] = {
      {"H10", "=1/0", "#DIV/0!"},   {"H11", "=\"a\"+1", "#VALUE!"}, {"H12", "=FOO(1)", "#NAME?"},
      {"H13", "true", "TRUE"},      {"H14", "=H13", "TRUE"},        {"H15", "=1<2", "TRUE"},
      {"H16", "=SUM(H17)", "#REF!"}, {"H17", "=H16+1", "#REF!"},
  };
  for (const auto& c : kCases) Enter(c.cell, QString::fromUtf8(c.typed));
  for (const auto& c : kCases) {
    const CellAddress a = CellAddress::Parse(c.cell);
    EXPECT_EQ(window().Model()->DisplayText(a.row, a.column), c.shown) << c.cell;
  }
  EXPECT_EQ(At("H13")->value, CellValue(true));
  EXPECT_TRUE(window().StatusText().contains(QStringLiteral("循环引用：数据输入!H1"))) << window().StatusText().toStdString();
  // The notice stays while the circle does, through edits elsewhere, and goes with it.
  Enter("H18", QStringLiteral("=2*3"));
  EXPECT_TRUE(window().StatusText().contains(QStringLiteral("循环引用：数据输入!H16"))) << window().StatusText().toStdString();
  Enter("H17", QStringLiteral("5"));
  EXPECT_FALSE(window().StatusText().contains(QStringLiteral("循环引用"))) << window().StatusText().toStdString();
  EXPECT_EQ(window().Model()->DisplayText(15, 7), "5");
}

}  // namespace
