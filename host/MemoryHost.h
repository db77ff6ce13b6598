#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calc/Recalculator.h"
#include "host/SpreadsheetHost.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

// The whole host interface over a Workbook, without any window: used by the command-line
// generator and by the tests. Window operations are recorded (see Calls) and change only
// the recorded state. Every operation but CreateApplication throws 1004 while no
// application runs (before CreateApplication, after Quit); cell operations also while no
// workbook is open.
class MemoryHost : public SpreadsheetHost {
 public:
  using Loader = std::function<Workbook(const std::string& path)>;

  // No application yet; OpenTemplate reads the file through the loader (none: every open fails with 1004).
  explicit MemoryHost(Loader loader = {});
  // Application created and this workbook open, its first sheet active.
  explicit MemoryHost(Workbook workbook);

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

  bool HasApplication() const { return application_; }
  bool HasWorkbook() const { return workbook_.has_value(); }
  // Throws 1004 when none is open. Formula results are brought up to date first; changes made
  // through it directly are read anew by the next recalculation.
  Workbook& GetWorkbook();
  bool IsVisible() const { return visible_; }
  bool IsScreenUpdating() const { return screenUpdating_; }
  WindowState GetWindowState() const { return windowState_; }
  // Window-level operations in the order they were made, e.g. "SetScreenUpdating(false)".
  const std::vector<std::string>& Calls() const { return calls_; }

 private:
  // Writes are collected and their dependents computed together: when read, when screen
  // updating is switched on again, when the workbook is handed out, or every kPendingLimit
  // writes while updating is on.
  static constexpr std::size_t kPendingLimit = 4096;
  void RequireApplication() const;
  Workbook& Book();
  Worksheet& ActiveSheet();
  void Changed(CellAddress at);
  void Recalculate();
  calc::Recalculator& Formulas();  // built on the open workbook when needed
  // Whether a change to the cells of sheet `sheet` may change a formula (one stands on it or
  // names it): the recalculator is not built, nor told, for writes to no such sheet.
  bool FormulasMayRead(std::size_t sheet);
  // The workbook may have changed beyond the host's writes: formulas are read anew when needed.
  void Forget();

  Loader loader_;
  bool application_ = false;
  bool visible_ = false;
  bool screenUpdating_ = true;
  WindowState windowState_ = WindowState::Normal;
  std::optional<Workbook> workbook_;
  std::string title_;
  int untitledCount_ = 0;
  std::vector<std::string> calls_;
  std::unique_ptr<calc::Recalculator> recalculator_;
  const Workbook* recalculatorFor_ = nullptr;  // the workbook the recalculator was built on
  // Per sheet, what FormulasMayRead answers; empty until asked. The host's writes never add a
  // formula (a value written over one removes it), so it stays true until Forget().
  std::vector<bool> readByFormulas_;
  std::vector<calc::SheetCell> pending_;
};

}  // namespace spreadsheet
