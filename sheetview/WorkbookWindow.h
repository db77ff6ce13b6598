#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>
#include <memory>
#include <vector>

#include "host/SpreadsheetHost.h"
#include "sheetview/WorkbookDocument.h"
#include "workbook/CellRange.h"
#include "workbook/CellValue.h"
#include "workbook/Workbook.h"

class QTabBar;
class QToolBar;
class QLabel;
class QMenu;

namespace spreadsheet {

class EditCommands;
class FormulaBar;
class PrintCommands;
class ProfileView;
class SheetView;
class WorkbookDialogs;
class WorkbookTableModel;

// The workbook window: its own toolbar (打开, 保存, 另存为, 打印, 打印预览, 导出PDF), the formula
// bar, the grid and the sheet tabs, titled "<name> - 工作簿" and carrying the class name
// "XLMAIN" so that it can be found and embedded like the spreadsheet application's main
// window. It lays these out and wires the keys and menus to the document (the workbook, its
// file and undo history), the editing commands and the printing. Each sheet keeps where it was
// scrolled to and what was selected while another is shown.
class WorkbookWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kClassName = "XLMAIN";

  WorkbookWindow(WorkbookLoader load, WorkbookSaver save, std::shared_ptr<WorkbookDialogs> dialogs,
                 QWidget* parent = nullptr);
  ~WorkbookWindow() override;

  // Shows `workbook` under `name` ("work1", "路线.xlsx"); saves go to `path`, and the first save
  // asks for a file when it is empty. Unmodified, no undo history, its active sheet shown at
  // its top, every sheet at A1.
  void SetWorkbook(Workbook workbook, const QString& name, const QString& path);
  bool HasWorkbook() const;
  Workbook& GetWorkbook();  // throws SpreadsheetError 1004 when none is open
  QString Caption() const;  // "work1 - 工作簿"; "工作簿" without a workbook

  // Shows the sheet's tab as that sheet was last left; throws std::out_of_range.
  void ShowSheet(std::size_t index);
  std::size_t ShownSheet() const;

  // The host's AddSheetCopy: sheet `name` of `source` copied after the last sheet and shown;
  // undone with the program step it belongs to. Throws SpreadsheetError 9 when `source` has
  // no such sheet, 1004 when this workbook has one.
  void AddSheetCopy(const Workbook& source, const std::string& name);
  // The host's writes into the shown sheet: undoable only inside a program step.
  void WriteValue(CellAddress address, CellValue value);
  void WriteValues(const CellRange& block, const std::vector<CellValue>& values);  // as WorkbookTableModel::SetValues
  void ClearContents(const CellRange& range);
  void UnmergeCells(const CellRange& range);
  void SetNumberFormat(const CellRange& range, const std::string& code);
  void SetPrintSetup(const PrintSetup& setup);
  // Off: no signals and no repainting; on again: one refresh of the whole sheet.
  void SetScreenUpdating(bool on);
  bool IsScreenUpdating() const { return screenUpdating_; }
  // Maximized fills the parent's client area (the screen while top-level) and follows its
  // size; minimized collapses the window.
  void SetState(WindowState state);
  WindowState State() const { return state_; }

  // The toolbar's file commands; each reports failures in a message and returns whether it did its work.
  bool Open();
  bool OpenFile(const QString& path);  // the open workbook stays when the file cannot be read
  bool Save();                         // asks for a file name when the workbook has none
  bool SaveAs();
  bool SaveTo(const QString& path);
  void Undo();
  void Redo();
  // Closes without asking about unsaved changes.
  void CloseWithoutQuestion();
  // Enters what is still being typed, in a cell or in the formula bar, as a click elsewhere
  // does. Saving, printing, the close question and the program's commands call it first, so a
  // value on the screen is never left out of what they read.
  void CommitEntry();

  // "sample.xlsx — 已修改" under the grid: the workbook's name, whether it has unsaved changes and,
  // after a recalculation that met a circular reference, "循环引用：" and a cell of it.
  QString StatusText() const;

  WorkbookDocument& Document() const { return *document_; }
  EditCommands& Edits() const { return *edits_; }
  PrintCommands& Printing() const { return *printing_; }
  SheetView* View() const { return view_; }
  ProfileView* Profile() const { return profileView_; }
  WorkbookTableModel* Model() const { return model_; }
  FormulaBar* Bar() const { return formulaBar_; }
  QTabBar* Tabs() const { return tabs_; }
  QToolBar* ToolBar() const { return toolBar_; }
  // The grid's and the headers' right-click menu: 剪切, 复制, 粘贴, 清除内容, 插入行, 删除行, 插入列, 删除列.
  QMenu* ContextMenu() const { return contextMenu_; }
  QMenu* RecentMenu() const { return recentMenu_; }

 signals:
  void modifiedChanged(bool modified);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Where a sheet was left: its scroll position, selection and current cell.
  struct SheetPlace {
    bool known = false;
    int vertical = 0;
    int horizontal = 0;
    std::vector<CellRange> selection;
    CellAddress current;
  };
  void BuildToolBar();
  void BuildContextMenu();
  void RebuildTabs();
  void UpdateFormulaBar();
  void UpdateStatus();
  void UpdateTitle();
  // The sheet "纵断面" shows as its chart instead of the grid.
  void UpdateProfile();
  void BeforeProgramWrite();
  void FillParent();
  void OnCellsEdited(std::size_t sheet, const CellRange& range);
  void OnAddressEntered(const QString& text);
  void OnContentCommitted(const QString& text);
  void OnSheetReplaced(std::size_t sheet);
  void OnSheetAdded(std::size_t sheet);
  void OnSheetRemoved(std::size_t sheet);
  void RememberPlace();
  void RestorePlace(std::size_t sheet);
  void FillRecentMenu();
  bool ConfirmDiscard();

  std::shared_ptr<WorkbookDialogs> dialogs_;
  WorkbookDocument* document_;
  QString circular_;  // a cell of the circular reference the last recalculation met, or empty
  bool screenUpdating_ = true;
  bool closingSilently_ = false;
  WindowState state_ = WindowState::Normal;
  QWidget* watchedParent_ = nullptr;
  std::vector<SheetPlace> places_;  // one per sheet

  QToolBar* toolBar_;
  ProfileView* profileView_;
  FormulaBar* formulaBar_;
  SheetView* view_;
  QTabBar* tabs_;
  QLabel* status_;
  QMenu* contextMenu_;
  QMenu* recentMenu_ = nullptr;
  WorkbookTableModel* model_;
  EditCommands* edits_;
  PrintCommands* printing_;
};

}  // namespace spreadsheet
