#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPrinter>
#include <QTemporaryFile>
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "workbook/CellStyle.h"
#include "bench/FullSheetRoute.h"
#include "leveling/LevelingModule.h"
#include "host/MemoryHost.h"
#include "sheetview/QtSpreadsheetHost.h"
#include "workbook/Workbook.h"
#include "sheetview/PrintPreview.h"
#include "sheetview/SheetPages.h"
#include "sheetview/SheetPrinter.h"
#include "sheetview/WorkbookTableModel.h"
#include "sheetview/WorkbookWindow.h"
#include "sheetview/WorkbookDialogs.h"

// "开始计算" as the main window runs it (screen updating off, GenerateFieldBook, on again) on a
// route whose field book fills the sheet to row 65536, through MemoryHost and through the
// shown Qt workbook window. The Qt host should stay within twice the MemoryHost's time. Then
// the print preview of that book.

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
  void PreviewPages(QWidget*, const spreadsheet::PrintedPages&, const std::function<void()>&) override {}
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

// A number typed at the top of a 65,536-row formula chain (A1 a number, A2 = A1+1, …) in the
// shown window, as the grid commits it (one undo step), every formula below recomputed, and the
// repaint that follows: what the user waits for (target < 100 ms, so the window does not freeze).
void BM_EditTopOfFormulaChain_QtHost(benchmark::State& state) {
  QTemporaryFile templateFile;
  if (!templateFile.open()) {
    state.SkipWithError("no temporary template file");
    return;
  }
  const auto chain = [](const std::string&) {
    Workbook workbook;
    spreadsheet::Worksheet& ws = workbook.AddSheet("数据输入");
    ws.SetValue({0, 0}, 1.0);
    for (int r = 1; r < spreadsheet::CellAddress::kMaxRows; ++r) {
      ws.SetFormula({r, 0}, "A" + std::to_string(r) + "+1", spreadsheet::NoStoredResult{});
    }
    workbook.SetModified(false);
    return workbook;
  };
  spreadsheet::QtSpreadsheetHost host(chain, nullptr, std::make_shared<NoDialogs>());
  host.CreateApplication();
  host.OpenTemplate(templateFile.fileName().toStdString());
  host.SetVisible(true);
  host.SetWindowState(spreadsheet::WindowState::Maximized);
  QApplication::processEvents();
  spreadsheet::WorkbookTableModel& model = *host.Window()->Model();
  int typed = 1;
  for (auto _ : state) {
    model.setData(model.index(0, 0), QString::number(++typed), Qt::EditRole);
    QApplication::processEvents();
  }
  if (host.GetCellValue("A65536") != CellValue(static_cast<double>(typed + 65535))) state.SkipWithError("wrong result");
  host.MarkSaved();
  host.Quit();
}
BENCHMARK(BM_EditTopOfFormulaChain_QtHost)->Unit(benchmark::kMillisecond);

// Resident memory of this process now and at its peak, in MiB (Linux /proc; 0 elsewhere).
double ResidentMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size())) / 1024;
  }
  return 0;
}

// The preview of the full-sheet book (65,532 rows, about 1,600 pages): from the command to the
// first page on screen, and the memory the open preview holds beyond the book itself.
void BM_PrintPreview_FullSheet(benchmark::State& state) {
  spreadsheet::MemoryHost host(RouteWorkbook());
  gaocheng::LevelingModule module;
  module.Settings() = BenchSettings();
  CountingSink messages;
  module.GenerateFieldBook(host, 1, messages);
  const Workbook& book = host.GetWorkbook();
  const spreadsheet::Worksheet& sheet = *book.FindSheet("水准表");
  QPrinter printer(QPrinter::HighResolution);
  spreadsheet::SheetPrinter::SetUpPage(sheet, printer);
  double held = 0;
  double left = 0;
  int pages = 0;
  for (auto _ : state) {
    const double before = ResidentMiB("VmRSS:");
    {
      const spreadsheet::SheetPages sheetPages(book, sheet, printer.pageLayout());
      spreadsheet::PrintPreview preview(sheetPages, nullptr);
      preview.resize(900, 1000);
      preview.show();
      QImage first(preview.size(), QImage::Format_RGB32);
      preview.render(&first);  // the first page painted, as the screen gets it
      pages = sheetPages.Count();
      state.PauseTiming();
      preview.ShowPage(pages / 2);  // scrolling far paints only what comes into view
      preview.render(&first);
      held = std::max(held, ResidentMiB("VmRSS:") - before);
      state.ResumeTiming();
    }
    left = ResidentMiB("VmRSS:") - before;
  }
  state.counters["pages"] = pages;
  state.counters["held_MiB"] = held;
  state.counters["after_close_MiB"] = left;
  state.counters["peak_MiB"] = ResidentMiB("VmHWM:");
}
BENCHMARK(BM_PrintPreview_FullSheet)->Unit(benchmark::kMillisecond);

}  // namespace
