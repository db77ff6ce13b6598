#include "sheetview/QtWorkbookDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "sheetview/PrintPreview.h"
#include "windows/ToolWindow.h"

namespace spreadsheet {

namespace {

// A question asked from inside a busy command (a refused paste) shows the normal pointer.
void ExecWithArrow(QDialog& dialog) {
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  dialog.exec();
  QApplication::restoreOverrideCursor();
}

}  // namespace

std::optional<QString> QtWorkbookDialogs::AskOpenFileName(QWidget* parent, const QString& folder) {
  const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("打开"), folder,
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

void QtWorkbookDialogs::PreviewPages(QWidget* parent, const SheetPages& pages, const std::function<void()>& print) {
  PrintPreview dialog(pages, print, parent);
  if (parent) dialog.resize(parent->window()->size() * 9 / 10);
  dialog.exec();
}

WorkbookDialogs::SaveChoice QtWorkbookDialogs::AskSaveChanges(QWidget* parent) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kSaveQuestionTitle), QString::fromUtf8(kSaveQuestion),
                  QMessageBox::NoButton, parent);
  QPushButton* save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(QStringLiteral("不保存"), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.setEscapeButton(cancel);
  levelbook::WidenToTitle(box);
  ExecWithArrow(box);
  if (box.clickedButton() == save) return SaveChoice::Save;
  if (box.clickedButton() == discard) return SaveChoice::Discard;
  return SaveChoice::Cancel;
}

void QtWorkbookDialogs::ShowError(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  levelbook::WidenToTitle(box);
  ExecWithArrow(box);
}

}  // namespace spreadsheet
