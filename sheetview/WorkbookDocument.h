#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "workbook/Workbook.h"

class QUndoCommand;
class QUndoStack;

namespace spreadsheet {

// Reads a workbook file (throws SpreadsheetError naming the file) and writes one atomically.
using WorkbookLoader = std::function<Workbook(const std::string& path)>;
using WorkbookSaver = std::function<void(const Workbook& workbook, const std::string& path)>;

// One open workbook: the cells, its name and file, the undo history and whether it differs
// from what was last saved. It asks nothing and shows nothing: reading and writing throw, the
// window reports. The program's writes (the host's) either end the undo history, like a
// macro, or, inside a program step, become one undoable step with the sheets they changed.
class WorkbookDocument : public QObject {
  Q_OBJECT

 public:
  WorkbookDocument(WorkbookLoader load, WorkbookSaver save, QObject* parent = nullptr);
  ~WorkbookDocument() override;

  // Takes `workbook` under `name` ("work1", "路线.xlsx"), saved to `path` (empty: never saved).
  // Unmodified, no undo history; an active sheet out of range becomes the first.
  void Set(Workbook workbook, const QString& name, const QString& path);
  bool HasWorkbook() const { return workbook_ != nullptr; }
  Workbook& Get();  // throws SpreadsheetError 1004 when none is open
  Workbook* Pointer() const { return workbook_.get(); }
  QString Name() const { return name_; }
  QString Path() const { return path_; }
  QString Caption() const;  // "work1 - 工作簿"; "工作簿" without a workbook

  // A file this document never writes: the template it was made from.
  void ProtectFile(const QString& path);
  bool IsProtected(const QString& path) const;
  // Where a save without a usable path (new, or the template) is suggested: "<folder>/work1.xlsx".
  QString SuggestedPath() const;

  QUndoStack* UndoStack() const { return undo_; }
  bool IsModified() const;
  void MarkSaved();  // what the workbook holds now counts as saved

  // Reads a workbook file; throws SpreadsheetError naming the file when it cannot be read or
  // holds no sheet.
  Workbook Read(const QString& path) const;
  // Writes the workbook to `path` and makes that its file and name; throws SpreadsheetError
  // naming the file (the template is refused), leaving name, path and modified flag as they were.
  void Write(const QString& path);

  // The program is about to change sheet `sheet`: inside a step its state before is kept for
  // the undo, outside one the undo history ends.
  void BeforeProgramWrite(std::size_t sheet);
  // The program adds a sheet (after the last one): inside a step the undo takes it out again,
  // outside one the undo history ends. Call before the sheet is added.
  void BeforeProgramAddSheet();
  // The program's writes between Begin and End are one undo step named `text` (开始计算), which
  // brings back every sheet they changed as it was and takes out the sheets they added. Steps
  // do not nest; End without Begin does nothing.
  void BeginProgramStep(const QString& text);
  void EndProgramStep();
  bool InProgramStep() const { return step_ != nullptr; }
  // How a program step's undo and redo put a sheet back (the window's model, which repaints);
  // without one the sheet is assigned directly.
  using SheetReplacer = std::function<void(std::size_t sheet, const Worksheet& content)>;
  void SetSheetReplacer(SheetReplacer replacer) { replacer_ = std::move(replacer); }
  // How the undo of a step takes out a sheet it added, and the redo puts it back after the last
  // one; without them the workbook is changed directly.
  using SheetRemover = std::function<Worksheet(std::size_t sheet)>;
  using SheetAppender = std::function<void(Worksheet sheet)>;
  void SetSheetListChangers(SheetRemover remove, SheetAppender append) {
    remover_ = std::move(remove);
    appender_ = std::move(append);
  }

  // The files last opened or saved, newest first, kept with QSettings; the dialogs start in
  // the folder last used (the home folder at first).
  static constexpr int kMaxRecentFiles = 8;
  static QStringList RecentFiles();
  static QString LastFolder();
  static void RememberFile(const QString& path);

 signals:
  void modifiedChanged(bool modified);
  void renamed();  // name or path changed by a save

 private:
  struct Step;
  void UpdateModified();
  void ChangedOutsideStep();
  void ReplaceSheet(std::size_t sheet, const Worksheet& content);
  Worksheet RemoveSheet(std::size_t sheet);
  void AppendSheet(Worksheet sheet);
  class StepCommand;

  WorkbookLoader load_;
  WorkbookSaver save_;
  std::unique_ptr<Workbook> workbook_;
  QString name_;
  QString path_;
  QStringList protected_;
  bool programDirty_ = false;  // changed by the program outside a step since the last save
  bool lastModified_ = false;
  QUndoStack* undo_;
  std::unique_ptr<Step> step_;
  SheetReplacer replacer_;
  SheetRemover remover_;
  SheetAppender appender_;
};

}  // namespace spreadsheet
