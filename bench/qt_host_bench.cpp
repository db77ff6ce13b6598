#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryFile>
#include <memory>
#include <string>

#include "workbook/CellStyle.h"
#include "bench/FullSheetRoute.h"
#include "leveling/LevelingModule.h"
#include "host/MemoryHost.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "workbook/Workbook.h"
#include "sheetview/SheetPages.h"
#include "sheetview/WorkbookDialogs.h"

// "开始计算" as the main window runs it (screen updating off, GenerateFieldBook, on again) on a
// route whose field book fills the sheet to row 65536, through MemoryHost and through the
// shown Qt workbook window. The Qt host should stay within twice the MemoryHost's time.

namespace {

using spreadsheet::CellValue;
using spreadsheet::Workbook;

using fullsheet::BenchSettings;
using fullsheet::kStepPoints;
using fullsheet::PointElevation;

// The two sheets with the route typed in and the field book's column formats, as the template has them.
Workbook RouteWorkbook() {
  Workbook workbook;
  spreadsheet::Worksheet& input = workbook.AddSheet("数据输入");
  spreadsheet::Worksheet& output = workbook.AddSheet("水准表");
  spreadsheet::CellStyle boxed;
  boxed.numberFormat = "0.000";
  boxed.left = boxed.right = boxed.top = boxed.bottom = spreadsheet::Border{spreadsheet::BorderStyle::Thin, 0};
  const auto style = workbook.InternStyle(boxed);
  for (int c = 0; c < 8; ++c) output.SetColumnStyle(c, style);
  input.SetValue({4, 4}, std::string("BM1"));
  input.SetValue({5, 4}, 0.0);
  input.SetValue({4, 5}, std::string("BM2"));
  input.SetValue({5, 5}, PointElevation(kStepPoints - 1));
  for (int i = 0; i < kStepPoints; ++i) {
    const int row = 7 + i;
    input.SetValue({row, 0}, "K" + std::to_string(i));
    input.SetValue({row, 1}, -5.0);
    input.SetValue({row, 4}, PointElevation(i) + 0.003);
    input.SetValue({row, 5}, PointElevation(i));
  }
  workbook.SetModified(false);
  return workbook;
}

class CountingSink : public gaocheng::MessageSink {
 public:
  void Show(const std::string&, const std::string&) override { ++shown; }
  int shown = 0;
};

class NoDialogs : public spreadsheet::WorkbookDialogs {
 public:
  void PreviewPages(QWidget*, const spreadsheet::SheetPages&, const std::function<void()>&) override {}
  std::optional<QString> AskOpenFileName(QWidget*, const QString&) override { return std::nullopt; }
  std::optional<QString> AskSaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  bool ChoosePrinter(QWidget*, QPrinter&) override { return false; }
  SaveChoice AskSaveChanges(QWidget*) override { return SaveChoice::Discard; }
  void ShowError(QWidget*, const QString&, const QString&) override {}
};

void RunGeneration(benchmark::State& state, spreadsheet::SpreadsheetHost& host, bool processEvents) {
  gaocheng::LevelingModule module;
  module.Settings() = BenchSettings();
  CountingSink messages;
  for (auto _ : state) {
    host.SetScreenUpdating(false);
    module.GenerateFieldBook(host, 1, messages);
    host.SetScreenUpdating(true);
    if (processEvents) QApplication::processEvents();  // the one repaint that follows
  }
  if (messages.shown != 0) state.SkipWithError("generation showed a message");
  if (host.GetCellValue("A65536") != CellValue(std::string("BM2"))) state.SkipWithError("book does not fill the sheet");
  state.counters["rows"] = 65532;
}

void BM_GenerateFieldBook_MemoryHost(benchmark::State& state) {
  spreadsheet::MemoryHost host(RouteWorkbook());
  RunGeneration(state, host, false);
}
BENCHMARK(BM_GenerateFieldBook_MemoryHost)->Unit(benchmark::kMillisecond);

void BM_GenerateFieldBook_QtHost(benchmark::State& state) {
  QTemporaryFile templateFile;
  if (!templateFile.open()) {
    state.SkipWithError("no temporary template file");
    return;
  }
  spreadsheet::QtSpreadsheetHost host([](const std::string&) { return RouteWorkbook(); }, nullptr,
                                      std::make_shared<NoDialogs>());
  host.CreateApplication();
  host.OpenTemplate(templateFile.fileName().toStdString());
  host.SetVisible(true);
  host.SetWindowState(spreadsheet::WindowState::Maximized);
  QApplication::processEvents();
  RunGeneration(state, host, true);
  host.MarkSaved();
  host.Quit();
}
BENCHMARK(BM_GenerateFieldBook_QtHost)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
