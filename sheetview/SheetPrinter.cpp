#include "sheetview/SheetPrinter.h"

#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

#include "leveling/FieldBookOutput.h"
#include "leveling/ProfileSheet.h"
#include "sheetview/ChartPage.h"
#include "sheetview/ProfileChart.h"
#include "sheetview/SheetPages.h"
#include "workbook/PageRows.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

QPageSize::PageSizeId PaperOf(int code) {
  switch (code) {
    case 1: return QPageSize::Letter;
    case 5: return QPageSize::Legal;
    case 8: return QPageSize::A3;
    case 11: return QPageSize::A5;
    case 13: return QPageSize::B5;
    default: return QPageSize::A4;
  }
}

std::vector<const PrintedPages*> Parts(const std::vector<std::unique_ptr<PrintedPages>>& owned) {
  std::vector<const PrintedPages*> parts;
  for (const auto& p : owned) parts.push_back(p.get());
  return parts;
}

}  // namespace

std::optional<CellRange> SheetPrinter::PrintRange(const Workbook& workbook, const Worksheet& sheet) {
  return PageRows::PrintRange(workbook, sheet);
}

QPageLayout SheetPrinter::LayoutOf(const Worksheet& sheet) {
  const PrintSetup& setup = sheet.Print();
  constexpr double kMillimetresPerInch = 25.4;
  const QMarginsF margins(setup.marginLeft * kMillimetresPerInch, setup.marginTop * kMillimetresPerInch,
                          setup.marginRight * kMillimetresPerInch, setup.marginBottom * kMillimetresPerInch);
  return QPageLayout(QPageSize(PaperOf(setup.paperSize)),
                     setup.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, margins,
                     QPageLayout::Millimeter);
}

void SheetPrinter::SetUpPage(const Worksheet& sheet, QPrinter& printer) { printer.setPageLayout(LayoutOf(sheet)); }

std::unique_ptr<PrintedPages> SheetPrinter::PagesOf(const Workbook& workbook, const Worksheet& sheet) {
  if (std::optional<ProfileChart> chart = ProfileChart::Of(workbook, sheet)) {
    return std::make_unique<ChartPage>(std::move(*chart));
  }
  return std::make_unique<SheetPages>(workbook, sheet, LayoutOf(sheet));
}

std::vector<std::unique_ptr<PrintedPages>> SheetPrinter::DocumentOf(const Workbook& workbook, const Worksheet& sheet) {
  std::vector<std::unique_ptr<PrintedPages>> parts;
  parts.push_back(PagesOf(workbook, sheet));
  const Worksheet* profile = workbook.FindSheet(gaocheng::kProfileSheetName);
  if (sheet.Name() == gaocheng::kOutputSheetName && profile != nullptr) {
    std::optional<ProfileChart> chart = ProfileChart::Of(workbook, *profile);
    if (chart && !chart->IsEmpty()) parts.push_back(std::make_unique<ChartPage>(std::move(*chart)));
  }
  return parts;
}

int SheetPrinter::Print(const std::vector<const PrintedPages*>& parts, QPrinter& printer) {
  QPainter painter;
  int printed = 0;
  for (const PrintedPages* part : parts) {
    // A PDF takes a new paper from the next page on; the layout must be set before newPage().
    printer.setPageLayout(part->Layout());
    for (int i = 0; i < part->Count(); ++i) {
      if (printed == 0) {
        if (!painter.begin(&printer)) {
          throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                                 "无法打开打印输出“" + printer.outputFileName().toStdString() + "”");
        }
      } else {
        printer.newPage();
      }
      const double toDevice = printer.resolution() / 96.0;
      painter.save();
      painter.scale(toDevice, toDevice);
      part->Paint(painter, i);
      painter.restore();
      ++printed;
    }
  }
  if (painter.isActive()) painter.end();
  return printed;
}

int SheetPrinter::Print(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer) {
  const std::unique_ptr<PrintedPages> pages = PagesOf(workbook, sheet);
  return Print({pages.get()}, printer);
}

int SheetPrinter::PrintDocument(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer) {
  const std::vector<std::unique_ptr<PrintedPages>> parts = DocumentOf(workbook, sheet);
  return Print(Parts(parts), printer);
}

}  // namespace spreadsheet
