#pragma once

#include "sheetview/WorkbookDialogs.h"

namespace spreadsheet {

// The real dialogs: QFileDialog, QPrintDialog and QMessageBox.
class QtWorkbookDialogs : public WorkbookDialogs {
 public:
  std::optional<QString> AskOpenFileName(QWidget* parent, const QString& folder) override;
  std::optional<QString> AskSaveFileName(QWidget* parent, const QString& title, const QString& suggested,
                                         const QString& filter) override;
  bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;
  void PreviewPrint(QWidget* parent, QPrinter& printer, const std::function<void(QPrinter&)>& paint) override;
  SaveChoice AskSaveChanges(QWidget* parent) override;
  void ShowError(QWidget* parent, const QString& title, const QString& text) override;
};

}  // namespace spreadsheet
