#pragma once

#include <QPointer>
#include <memory>

#include "host/SpreadsheetHost.h"
#include "sheetview/WorkbookWindow.h"

namespace spreadsheet {

class WorkbookDialogs;

// The host interface over the Qt workbook window. CreateApplication makes the hidden
// top-level window; OpenTemplate loads a template into it as a new untitled workbook
// ("work1 - 工作簿", "work2 - 工作簿", …) whose file is never written; cell operations
// address the shown sheet. Failures throw SpreadsheetError as MemoryHost does: 1004 while no
// application runs or no workbook is open, for a template that cannot be read (naming its
// path) and for a malformed address; 9 for a missing sheet. Needs a QApplication.
class QtSpreadsheetHost : public SpreadsheetHost {
 public:
  // load/save: the workbook file reader and writer the application chooses;
  // dialogs: the window's questions (nullptr: the real Qt dialogs).
  QtSpreadsheetHost(WorkbookLoader load, WorkbookSaver save, std::shared_ptr<WorkbookDialogs> dialogs = nullptr);
  ~QtSpreadsheetHost() override;
  QtSpreadsheetHost(const QtSpreadsheetHost&) = delete;
  QtSpreadsheetHost& operator=(const QtSpreadsheetHost&) = delete;

  void CreateApplication() override;
  void SetVisible(bool visible) override;
  void OpenTemplate(const std::string& path) override;
  std::string GetCaption() override;
  void SetWindowState(WindowState state) override;
  void MaximizeActiveWindow() override;
  void SetScreenUpdating(bool on) override;
  void SelectSheet(const std::string& name) override;
  void AddSheetCopy(const Workbook& source, const std::string& name) override;
  CellValue GetCellValue(const std::string& address) override;
  std::string GetCellText(const std::string& address) override;
  std::string GetCellFormula(const std::string& address) override;
  void SetCellValue(const std::string& address, const CellValue& value) override;
  CellBlock ReadBlock(const std::string& range, bool withTexts) override;
  void SetRowValues(const std::string& firstCell, int columns, const std::vector<CellValue>& values) override;
  void ClearContents(const std::string& range) override;
  void UnmergeCells(const std::string& range) override;
  void SetNumberFormat(const std::string& range, const std::string& code) override;
  PrintSetup GetPrintSetup() override;
  void SetPrintSetup(const PrintSetup& setup) override;
  std::vector<int> PrintedPageStarts() override;
  void MarkSaved() override;
  void Quit() override;

  bool HasApplication() const { return !window_.isNull(); }
  // The window while the application runs, else nullptr.
  WorkbookWindow* Window() const { return window_.data(); }
  // What the main window asks before it closes.
  bool HasUnsavedChanges() const;
  // Saves the workbook, asking for a file name when it has none; whether it saved.
  bool Save();

 private:
  WorkbookWindow& RequireApplication() const;
  WorkbookWindow& RequireWorkbook() const;
  Worksheet& ActiveSheet() const;

  WorkbookLoader load_;
  WorkbookSaver save_;
  std::shared_ptr<WorkbookDialogs> dialogs_;
  QPointer<WorkbookWindow> window_;
  int untitledCount_ = 0;
};

}  // namespace spreadsheet
