#pragma once

#include <QString>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace spreadsheet {

class PrintedPages;

// Every question the workbook window asks the user, so that tests answer them without a
// modal dialog ever opening.
class WorkbookDialogs {
 public:
  enum class SaveChoice { Save, Discard, Cancel };

  virtual ~WorkbookDialogs() = default;
  // A workbook file to open, starting in `folder`, or nothing when the user cancels.
  virtual std::optional<QString> AskOpenFileName(QWidget* parent, const QString& folder) = 0;
  // Where to save; `filter` is a file-dialog filter such as "Excel 工作簿 (*.xlsx)".
  virtual std::optional<QString> AskSaveFileName(QWidget* parent, const QString& title, const QString& suggested,
                                                 const QString& filter) = 0;
  // Lets the user choose and set up the printer; false when cancelled.
  virtual bool ChoosePrinter(QWidget* parent, QPrinter& printer) = 0;
  // Shows the pages, from which the user may print them with `print`.
  virtual void PreviewPages(QWidget* parent, const PrintedPages& pages, const std::function<void()>& print) = 0;
  // The one question about unsaved changes, wherever it is asked: 保存, 不保存 or 取消.
  static constexpr const char* kSaveQuestion = "是否保存对工作簿的更改？";
  static constexpr const char* kSaveQuestionTitle = "普通水准表格";
  virtual SaveChoice AskSaveChanges(QWidget* parent) = 0;
  virtual void ShowError(QWidget* parent, const QString& title, const QString& text) = 0;
};

}  // namespace spreadsheet
