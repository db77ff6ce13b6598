#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QWidget;

namespace spreadsheet {

class WorkbookDialogs;
class WorkbookDocument;
class WorkbookTableModel;

// Printing the shown sheet: to a printer the user chooses, in a preview, or into a PDF file
// (the field book "水准表" followed by its profile, SheetPrinter::DocumentOf). "纵断面" prints
// and previews as its chart. Each reports failures in a message over `owner` and returns
// whether it did its work.
class PrintCommands : public QObject {
  Q_OBJECT

 public:
  PrintCommands(WorkbookDocument& document, WorkbookTableModel& model, std::shared_ptr<WorkbookDialogs> dialogs,
                QWidget& owner);

  bool Print();
  bool PrintPreview();  // the shown sheet's pages in a preview, printable from there
  bool ExportPdf();     // asks where, next to the workbook's file by default
  bool ExportPdfTo(const QString& path);

 private:
  WorkbookDocument& document_;
  WorkbookTableModel& model_;
  std::shared_ptr<WorkbookDialogs> dialogs_;
  QWidget& owner_;
};

}  // namespace spreadsheet
