#pragma once

#include <string>

#include "host/SpreadsheetHost.h"

namespace spreadsheet {

class WorkbookWindow;

// The cell operations of the host interface over the workbook shown in a window, for the
// window's own commands: SelectSheet shows the sheet, the cells are those of the shown sheet,
// writes go through the window (not undoable, as every program write). The application-level
// operations (create, open, caption, window state, saved flag, quit) are not the window's to
// answer here and throw 1004. Throws 1004 while the window has no workbook, 9 for a missing
// sheet, as QtSpreadsheetHost does.
class WindowSheetHost : public SpreadsheetHost {
 public:
  explicit WindowSheetHost(WorkbookWindow& window) : window_(window) {}

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

 private:
  WorkbookWindow& window_;
};

}  // namespace spreadsheet
