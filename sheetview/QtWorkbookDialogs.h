#pragma once

#include <QFileDialog>

#include "sheetview/WorkbookDialogs.h"

namespace spreadsheet {

// The real dialogs: QFileDialog, QPrintDialog, PrintPreview and QMessageBox.
class QtWorkbookDialogs : public WorkbookDialogs {
 public:
  std::optional<QString> AskOpenFileName(QWidget* parent, const QString& folder) override;
  std::optional<QString> AskSaveFileName(QWidget* parent, const QString& title, const QString& suggested,
                                         const QString& filter) override;
  bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;
  void PreviewPages(QWidget* parent, const PrintedPages& pages, const std::function<void()>& print) override;
  SaveChoice AskSaveChanges(QWidget* parent) override;
  void ShowError(QWidget* parent, const QString& title, const QString& text) override;

  // A file chosen in a file dialog opened at `start` (a folder, or a file to propose), nullopt
  // when cancelled. Qt's own dialog sizes its columns for each folder it lists, so sizes and
  // dates show whole rather than cut.
  static std::optional<QString> AskFile(QWidget* parent, const QString& title, const QString& start,
                                        const QString& filter, QFileDialog::AcceptMode mode);
};

}  // namespace spreadsheet
