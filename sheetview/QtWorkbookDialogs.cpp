#include "sheetview/QtWorkbookDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace spreadsheet {

std::optional<QString> QtWorkbookDialogs::AskOpenFileName(QWidget* parent) {
  const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("打开"), QString(),
                                                    QStringLiteral("Excel 工作簿 (*.xlsx *.xlsm *.xltx)"));
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtWorkbookDialogs::AskSaveFileName(QWidget* parent, const QString& title,
                                                          const QString& suggested, const QString& filter) {
  const QString path = QFileDialog::getSaveFileName(parent, title, suggested, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

bool QtWorkbookDialogs::ChoosePrinter(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

WorkbookDialogs::SaveChoice QtWorkbookDialogs::AskSaveChanges(QWidget* parent) {
  const auto answer = QMessageBox::question(parent, QStringLiteral("工作簿"), QStringLiteral("是否保存对工作簿的更改？"),
                                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                            QMessageBox::Yes);
  if (answer == QMessageBox::Yes) return SaveChoice::Save;
  if (answer == QMessageBox::No) return SaveChoice::Discard;
  return SaveChoice::Cancel;
}

void QtWorkbookDialogs::ShowError(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox::warning(parent, title, text);
}

}  // namespace spreadsheet
