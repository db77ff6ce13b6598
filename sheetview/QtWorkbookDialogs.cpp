#include "sheetview/QtWorkbookDialogs.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeView>

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

std::optional<QString> QtWorkbookDialogs::AskFile(QWidget* parent, const QString& title, const QString& start,
                                                  const QString& filter, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, title, start, filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  // Qt's widget dialog gives its detail columns fixed widths that cut a size ("12....KiB") or a
  // date; a platform's native dialog has no such view and is left as it is.
  auto* model = dialog.findChild<QFileSystemModel*>();
  auto* view = dialog.findChild<QTreeView*>();
  if (model && view) {
    QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
      view->header()->resizeSections(QHeaderView::ResizeToContents);
    });
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().constFirst();
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtWorkbookDialogs::AskOpenFileName(QWidget* parent, const QString& folder) {
  return AskFile(parent, QStringLiteral("打开"), folder, QStringLiteral("Excel 工作簿 (*.xlsx *.xlsm *.xltx)"),
                 QFileDialog::AcceptOpen);
}

std::optional<QString> QtWorkbookDialogs::AskSaveFileName(QWidget* parent, const QString& title,
                                                          const QString& suggested, const QString& filter) {
  return AskFile(parent, title, suggested, filter, QFileDialog::AcceptSave);
}

bool QtWorkbookDialogs::ChoosePrinter(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

void QtWorkbookDialogs::PreviewPages(QWidget* parent, const PrintedPages& pages, const std::function<void()>& print) {
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
