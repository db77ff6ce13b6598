#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "workbook/CellRange.h"
#include "calc/ReferenceRewriter.h"
#include "workbook/CellValue.h"
#include "host/SpreadsheetHost.h"
#include "workbook/Workbook.h"

class QTabBar;
class QToolBar;
class QUndoStack;
class QAction;
class QLabel;
class QMenu;

namespace spreadsheet {

class FormulaBar;
class SheetView;
class WorkbookDialogs;
class WorkbookTableModel;

// Reads a workbook file (throws SpreadsheetError naming the file) and writes one atomically.
using WorkbookLoader = std::function<Workbook(const std::string& path)>;
using WorkbookSaver = std::function<void(const Workbook& workbook, const std::string& path)>;

// The workbook window: its own toolbar (打开, 保存, 另存为, 打印, 导出PDF), the formula bar,
// the grid and the sheet tabs, titled "<name> - 工作簿" and carrying the class name "XLMAIN"
// so that it can be found and embedded like the spreadsheet application's main window.
// Edits made by the user are undoable; the host's writes are not, and clear the undo
// history. The workbook counts as modified while it differs from what was last saved.
class WorkbookWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kClassName = "XLMAIN";

  WorkbookWindow(WorkbookLoader load, WorkbookSaver save, std::shared_ptr<WorkbookDialogs> dialogs,
                 QWidget* parent = nullptr);
  ~WorkbookWindow() override;

  // Shows `workbook` under `name` ("work1", "路线.xlsx"); saves go to `path`, and the first save
  // asks for a file when it is empty. Unmodified, no undo history, its active sheet shown.
  void SetWorkbook(Workbook workbook, const QString& name, const QString& path);
  bool HasWorkbook() const { return workbook_ != nullptr; }
  Workbook& GetWorkbook();  // throws SpreadsheetError 1004 when none is open
  QString Caption() const;  // "work1 - 工作簿"; "工作簿" without a workbook
  QString FilePath() const { return path_; }
  // A file this window never writes: the template it was made from.
  void ProtectFile(const QString& path);

  void ShowSheet(std::size_t index);  // shows its tab; throws std::out_of_range
  std::size_t ShownSheet() const;

  // The host's writes into the shown sheet.
  void WriteValue(CellAddress address, CellValue value);
  void ClearContents(const CellRange& range);
  void SetNumberFormat(const CellRange& range, const std::string& code);
  // Off: no signals and no repainting; on again: one refresh of the whole sheet.
  void SetScreenUpdating(bool on);
  bool IsScreenUpdating() const { return screenUpdating_; }
  // Maximized fills the parent's client area (the screen while top-level) and follows its
  // size; minimized collapses the window.
  void SetState(WindowState state);
  WindowState State() const { return state_; }

  bool IsModified() const;
  void MarkSaved();  // what is shown now counts as saved

  // The toolbar's commands; each reports failures in a message and returns whether it did its work.
  bool Open();
  bool OpenFile(const QString& path);  // the open workbook stays when the file cannot be read
  bool Save();                         // asks for a file name when the workbook has none
  bool SaveAs();
  bool SaveTo(const QString& path);
  bool Print();
  bool PrintPreview();  // the shown sheet's pages in a preview, printable from there
  bool ExportPdf();
  bool ExportPdfTo(const QString& path);
  // Closes without asking about unsaved changes.
  void CloseWithoutQuestion();

  // Cells one paste, fill or copy may touch; more are refused with a message (memory and time).
  static constexpr long long kMaxCellsPerCommand = 1'000'000;

  // Editing commands on the selection of the shown sheet; a paste that does not fit the sheet
  // or that touches too many cells is refused whole, with a message saying what fits.
  bool Copy();
  void Cut();
  void Paste();
  void ClearSelection();
  void Undo();
  void Redo();
  // Structure edits on the rows or columns of the selection, each one undoable step that moves
  // merges and row heights with the cells; one that would push contents off the sheet is
  // refused with a message.
  void InsertRows();
  void DeleteRows();
  void InsertColumns();
  void DeleteColumns();
  // The grid's and the headers' right-click menu: 剪切, 复制, 粘贴, 清除内容, 插入行, 删除行, 插入列, 删除列.
  QMenu* ContextMenu() const { return contextMenu_; }

  // "sample.xlsx — 已修改" under the grid: the workbook's name, whether it has unsaved changes and,
  // after a recalculation that met a circular reference, "循环引用：" and a cell of it.
  QString StatusText() const;
  // The files last opened or saved, newest first, kept with QSettings; the dialogs start in
  // the folder last used (the home folder at first).
  static constexpr int kMaxRecentFiles = 8;
  static QStringList RecentFiles();
  static QString LastFolder();
  QMenu* RecentMenu() const { return recentMenu_; }

  SheetView* View() const { return view_; }
  WorkbookTableModel* Model() const { return model_; }
  FormulaBar* Bar() const { return formulaBar_; }
  QTabBar* Tabs() const { return tabs_; }
  QToolBar* ToolBar() const { return toolBar_; }
  QUndoStack* UndoStack() const { return undo_; }

 signals:
  void modifiedChanged(bool modified);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void RebuildTabs();
  void UpdateFormulaBar();
  void UpdateModified();
  void UpdateTitle();
  void AfterProgramWrite();
  void FillParent();
  void OnCellsEdited(std::size_t sheet, const CellRange& range);
  void OnAddressEntered(const QString& text);
  void OnContentCommitted(const QString& text);
  bool IsProtected(const QString& path) const;
  bool CheckCellCount(const QString& title, long long cells);
  // The change of the shown sheet as its formulas' references follow it.
  calc::StructureChange Structure(calc::StructureChange::Axis axis, int at, int count) const;
  void ChangeStructure(const QString& text, const std::function<void(Worksheet&)>& change,
                       const calc::StructureChange& formulas);
  void OnSheetReplaced(std::size_t sheet);
  void RememberFile(const QString& path);
  void FillRecentMenu();
  bool ConfirmDiscard();

  WorkbookLoader load_;
  WorkbookSaver save_;
  std::shared_ptr<WorkbookDialogs> dialogs_;
  std::unique_ptr<Workbook> workbook_;  // its address is what the model holds
  QString name_;
  QString circular_;  // a cell of the circular reference the last recalculation met, or empty
  QString path_;
  QStringList protected_;
  bool programDirty_ = false;  // changed by the host since the last save (not undoable)
  bool lastModified_ = false;
  bool screenUpdating_ = true;
  bool closingSilently_ = false;
  WindowState state_ = WindowState::Normal;
  QWidget* watchedParent_ = nullptr;

  QToolBar* toolBar_;
  FormulaBar* formulaBar_;
  SheetView* view_;
  QTabBar* tabs_;
  QLabel* status_;
  QMenu* contextMenu_;
  QMenu* recentMenu_ = nullptr;
  WorkbookTableModel* model_;
  QUndoStack* undo_;
};

}  // namespace spreadsheet
