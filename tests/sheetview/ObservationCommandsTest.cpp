// "导入观测…" and "实测计算" in the workbook window: a level's file into the record, the record
// into the book and the results; refusals in one message, nothing written.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUndoStack>
#include <memory>

#include "leveling/LevelingSettings.h"
#include "sheetview/ObservationCommands.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "sheetview/WorkbookDocument.h"
#include "sheetview/WorkbookWindow.h"
#include "templates/TemplateWorkbook.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

using namespace spreadsheet;

namespace {

const QString kData = QStringLiteral(LEVELING_TEST_DATA);

class ObservationCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("work.xlsx");
    XlsxExporter::Save(templates::TemplateWorkbook::Build(), path.toStdString());
    host = std::make_unique<QtSpreadsheetHost>([](const std::string& p) { return XlsxImporter::Load(p); },
                                               &XlsxExporter::Save, std::make_shared<FakeWorkbookDialogs>());
    host->CreateApplication();
    host->OpenTemplate(path.toStdString());
    host->SelectSheet("数据输入");
    host->SetCellValue("E5", std::string("BM1"));
    host->SetCellValue("E6", 100.0);
    host->SetCellValue("F5", std::string("BM2"));
    host->SetCellValue("F6", 100.9985);
    commands = new ObservationCommands(*host->Window(), [this] { return settings; });
    commands->setMessageBox([this](QWidget*, const QString& title, const QString& text) {
      messages << title + "|" + text;
    });
  }

  QTemporaryDir dir;
  std::unique_ptr<QtSpreadsheetHost> host;
  ObservationCommands* commands = nullptr;
  gaocheng::LevelingSettings settings;
  QStringList messages;
};

TEST_F(ObservationCommandsTest, SitOnTheToolbarWithF10) {
  const QList<QAction*> actions = host->Window()->ToolBar()->actions();
  EXPECT_TRUE(actions.contains(commands->ImportAction()));
  EXPECT_TRUE(actions.contains(commands->ComputeAction()));
  EXPECT_EQ(commands->ImportAction()->text(), QStringLiteral("导入观测…"));
  EXPECT_EQ(commands->ComputeAction()->text(), QStringLiteral("实测计算"));
  EXPECT_EQ(commands->ComputeAction()->shortcut(), QKeySequence(Qt::Key_F10));
}

TEST_F(ObservationCommandsTest, ImportThenComputeWritesTheBookAndTheResults) {
  commands->setFileQuestion([](QWidget*) { return std::optional<QString>(kData + "/closed_route_gsi16.gsi"); });
  ASSERT_TRUE(commands->Import()) << messages.join("\n").toStdString();
  EXPECT_EQ(host->GetCellValue("A7"), CellValue("TP1"));  // "观测记录" is shown
  settings.ClosureToleranceFormula = gaocheng::ClosureToleranceFormula::TwentyRootL;
  ASSERT_TRUE(commands->ComputeAction()->isEnabled());
  commands->ComputeAction()->trigger();
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  EXPECT_EQ(host->Window()->GetWorkbook().SheetAt(host->Window()->ShownSheet()).Name(), "水准表");
  EXPECT_EQ(host->GetCellValue("I2"), CellValue("±20√L=±14"));
  EXPECT_EQ(host->GetCellValue("B27"), CellValue("合格"));
  EXPECT_TRUE(host->Window()->IsScreenUpdating());
  host->SelectSheet("成果表");
  EXPECT_EQ(host->GetCellValue("D13"), CellValue(100.9985));
}

TEST_F(ObservationCommandsTest, ImportAndComputeAreOneUndoStepEach) {
  host->SelectSheet("水准表");
  const CellValue bookBefore = host->GetCellValue("B27");
  host->SelectSheet("观测记录");
  const CellValue recordBefore = host->GetCellValue("A7");
  QUndoStack* undo = host->Window()->Document().UndoStack();
  const int before = undo->count();
  settings.ClosureToleranceFormula = gaocheng::ClosureToleranceFormula::TwentyRootL;
  ASSERT_TRUE(commands->ImportFile(kData + "/closed_route_gsi16.gsi"));
  ASSERT_TRUE(commands->Compute()) << messages.join("\n").toStdString();
  ASSERT_EQ(undo->count(), before + 2);
  undo->undo();  // the book and the results go, the imported record stays
  host->SelectSheet("水准表");
  EXPECT_EQ(host->GetCellValue("B27"), bookBefore);
  host->SelectSheet("观测记录");
  EXPECT_EQ(host->GetCellValue("A7"), CellValue("TP1"));
  undo->undo();
  EXPECT_EQ(host->GetCellValue("A7"), recordBefore);
  undo->redo();
  undo->redo();
  host->SelectSheet("水准表");
  EXPECT_EQ(host->GetCellValue("B27"), CellValue("合格"));
}

TEST_F(ObservationCommandsTest, RefusalsAreShownAndWriteNothing) {
  QFile bad(dir.filePath("bad.gsi"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("110001+00000BM1 331.08+00142300 \n110002+00000TP1 332.0x+00100000 \n");
  bad.close();
  EXPECT_FALSE(commands->ImportFile(bad.fileName()));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(QStringLiteral("第 2 行“332.0x+00100000”"))) << messages[0].toStdString();
  host->SelectSheet("观测记录");
  EXPECT_EQ(host->GetCellValue("A5"), CellValue());

  // An empty record: 实测计算 says so and leaves "水准表" alone.
  EXPECT_FALSE(commands->Compute());
  ASSERT_EQ(messages.size(), 2);
  EXPECT_TRUE(messages[1].startsWith(QStringLiteral("实测计算|5\n观测记录至少要有两行"))) << messages[1].toStdString();
  host->SelectSheet("水准表");
  EXPECT_EQ(host->GetCellValue("A5"), CellValue());
  EXPECT_TRUE(host->Window()->IsScreenUpdating());
}

}  // namespace
