#include "sheetview/SheetPrinter.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <vector>

#include "workbook/PageRows.h"
#include "workbook/SpreadsheetError.h"
#include "sheetview/ProfileChart.h"
#include "sheetview/SheetPages.h"

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

}  // namespace

std::optional<CellRange> SheetPrinter::PrintRange(const Workbook& workbook, const Worksheet& sheet) {
  return PageRows::PrintRange(workbook, sheet);
}

void SheetPrinter::SetUpPage(const Worksheet& sheet, QPrinter& printer) {
  const PrintSetup& setup = sheet.Print();
  constexpr double kMillimetresPerInch = 25.4;
  const QMarginsF margins(setup.marginLeft * kMillimetresPerInch, setup.marginTop * kMillimetresPerInch,
                          setup.marginRight * kMillimetresPerInch, setup.marginBottom * kMillimetresPerInch);
  printer.setPageLayout(QPageLayout(QPageSize(PaperOf(setup.paperSize)),
                                    setup.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, margins,
                                    QPageLayout::Millimeter));
}

int SheetPrinter::Print(const Workbook& workbook, const Worksheet& sheet, QPrinter& printer) {
  if (const std::optional<ProfileChart> chart = ProfileChart::Of(workbook, sheet)) return PrintChart(*chart, printer);
  const SheetPages pages(workbook, sheet, [&] {
    SetUpPage(sheet, printer);
    return printer.pageLayout();
  }());
  QPainter painter;
  if (!painter.begin(&printer)) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "无法打开打印输出“" + printer.outputFileName().toStdString() + "”");
  }
  const double toDevice = printer.resolution() / 96.0;
  for (int i = 0; i < pages.Count(); ++i) {
    if (i > 0) printer.newPage();
    painter.save();
    painter.scale(toDevice, toDevice);
    pages.Paint(painter, i);
    painter.restore();
  }
  painter.end();
  return pages.Count();
}

int SheetPrinter::PrintChart(const ProfileChart& chart, QPrinter& printer) {
  printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                                    QPageLayout::Millimeter));
  QPainter painter;
  if (!painter.begin(&printer)) {
    throw SpreadsheetError(SpreadsheetError::kApplicationDefined,
                           "无法打开打印输出“" + printer.outputFileName().toStdString() + "”");
  }
  const double toDevice = printer.resolution() / 96.0;
  painter.scale(toDevice, toDevice);
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  chart.Paint(painter, QRectF(0, 0, page.width() / toDevice, page.height() / toDevice));
  painter.end();
  return 1;
}

}  // namespace spreadsheet
