#include "sheetview/PrintCommands.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QWidget>
#include <memory>
#include <optional>

#include "sheetview/BusyCursor.h"
#include "sheetview/PrintedPages.h"
#include "sheetview/SheetPrinter.h"
#include "sheetview/WorkbookDialogs.h"
#include "sheetview/WorkbookDocument.h"
#include "sheetview/WorkbookTableModel.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {

QString WithSuffix(QString path, const QString& suffix) {
  if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
  return path;
}

}  // namespace

PrintCommands::PrintCommands(WorkbookDocument& document, WorkbookTableModel& model,
                             std::shared_ptr<WorkbookDialogs> dialogs, QWidget& owner)
    : QObject(&owner), document_(document), model_(model), dialogs_(std::move(dialogs)), owner_(owner) {}

bool PrintCommands::Print() {
  if (!document_.HasWorkbook() || !model_.Sheet()) return false;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(document_.Caption());
  try {
    const std::unique_ptr<PrintedPages> pages = SheetPrinter::PagesOf(document_.Get(), *model_.Sheet());
    printer.setPageLayout(pages->Layout());
    if (!dialogs_->ChoosePrinter(&owner_, printer)) return false;
    const BusyCursor busy;
    SheetPrinter::Print({pages.get()}, printer);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(&owner_, QStringLiteral("打印"), QString::fromStdString(e.Description()));
    return false;
  }
  return true;
}

bool PrintCommands::PrintPreview() {
  if (!document_.HasWorkbook() || !model_.Sheet()) return false;
  std::unique_ptr<PrintedPages> pages;
  try {
    const BusyCursor busy;
    pages = SheetPrinter::PagesOf(document_.Get(), *model_.Sheet());
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(&owner_, QStringLiteral("打印预览"), QString::fromStdString(e.Description()));
    return false;
  }
  dialogs_->PreviewPages(&owner_, *pages, [this] { Print(); });
  return true;
}

bool PrintCommands::ExportPdf() {
  if (!document_.HasWorkbook()) return false;
  const QString path = document_.Path();
  const QString base = path.isEmpty() ? QDir(WorkbookDocument::LastFolder()).filePath(QFileInfo(document_.Name()).completeBaseName())
                                      : QFileInfo(path).absolutePath() + '/' + QFileInfo(path).completeBaseName();
  const std::optional<QString> chosen = dialogs_->AskSaveFileName(
      &owner_, QStringLiteral("导出PDF"), base + QStringLiteral(".pdf"), QStringLiteral("PDF 文件 (*.pdf)"));
  if (!chosen) return false;
  return ExportPdfTo(WithSuffix(*chosen, QStringLiteral(".pdf")));
}

bool PrintCommands::ExportPdfTo(const QString& path) {
  if (!document_.HasWorkbook() || !model_.Sheet()) return false;
  if (document_.IsProtected(path)) {
    dialogs_->ShowError(&owner_, QStringLiteral("导出PDF"), QStringLiteral("“%1”是模板文件，不能被覆盖。").arg(path));
    return false;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  printer.setDocName(document_.Caption());
  printer.setCreator(QStringLiteral("普通水准计算"));
  try {
    const BusyCursor busy;
    SheetPrinter::PrintDocument(document_.Get(), *model_.Sheet(), printer);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(&owner_, QStringLiteral("导出PDF"), QString::fromStdString(e.Description()));
    return false;
  }
  return true;
}

}  // namespace spreadsheet
