#pragma once

#include "sheetview/WorkbookDialogs.h"

namespace spreadsheet {

// The real dialogs: QFileDialog, QPrintDialog, PrintPreview and QMessageBox.
class QtWorkbookDialogs : public WorkbookDialogs {
 public:
  std::optional<QString> AskOpenFileName(QWidget* parent, const QString& folder) override;
  std::optional<QString> AskSaveFileName(QWidget* parent, const QString& title, const QString& suggested,
                                         const QString& filter) override;
  bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;
  void PreviewPages(QWidget* parent, const SheetPages& pages, const std::function<void()>& print) override;
  SaveChoice AskSaveChanges(QWidget* parent) override;
  void ShowError(QWidget* parent, const QString& title, const QString& text) override;
};

}  // namespace spreadsheet
