#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <iostream>

#include "sheetview/SheetPrinter.h"
#include "workbook/NumberedError.h"
#include "xlsx/XlsxImporter.h"

// levelbook-pdf BOOK.xlsx OUT.pdf: the active sheet of the workbook printed into a PDF file as
// the workbook window's "导出PDF" prints it (the field book "水准表", then its profile on a
// landscape page when "纵断面" holds rows). Started by levelbook-cli with
// QT_QPA_PLATFORM=offscreen; a failure is one line in Chinese on standard error, exit status 1.
int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "用法：levelbook-pdf BOOK.xlsx OUT.pdf\n";
    return 2;
  }
  QApplication app(argc, argv);
  try {
    const spreadsheet::Workbook workbook = spreadsheet::XlsxImporter::Load(argv[1]);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromLocal8Bit(argv[2]));
    printer.setDocName(QFileInfo(QString::fromLocal8Bit(argv[1])).fileName());
    printer.setCreator(QStringLiteral("普通水准计算"));
    spreadsheet::SheetPrinter::PrintDocument(workbook, workbook.SheetAt(workbook.ActiveSheet()), printer);
  } catch (const spreadsheet::NumberedError& e) {
    std::cerr << e.Description() << "\n";
    return 1;
  }
  return 0;
}
