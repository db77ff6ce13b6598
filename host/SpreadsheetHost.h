#pragma once

#include <string>
#include <vector>

#include "host/CellBlock.h"
#include "workbook/CellValue.h"
#include "workbook/PrintSetup.h"
#include "workbook/Workbook.h"

namespace spreadsheet {

enum class WindowState { Normal, Minimized, Maximized };

// The hosted spreadsheet application behind twenty-three operations. Cells are addressed by
// A1 text ("E5", "A5:I65536") on the active sheet, the one last selected. Every operation
// throws SpreadsheetError on failure: 1004 for the application's own failures (a template
// that cannot be opened), 9 for a missing sheet, 1004 for a malformed address.
class SpreadsheetHost {
 public:
  virtual ~SpreadsheetHost() = default;

  virtual void CreateApplication() = 0;                       // running, not yet visible
  virtual void SetVisible(bool visible) = 0;
  virtual void OpenTemplate(const std::string& path) = 0;     // a new, untitled active workbook
  virtual std::string GetCaption() = 0;                       // exact title of the top-level window
  virtual void SetWindowState(WindowState state) = 0;
  virtual void MaximizeActiveWindow() = 0;
  virtual void SetScreenUpdating(bool on) = 0;                // false: no repaint until true again
  virtual void SelectSheet(const std::string& name) = 0;      // throws 9 when there is no such sheet
  // Adds a copy of sheet `name` of `source` (Workbook::AddSheetCopy) after the last sheet of the
  // open workbook and makes it the active sheet. Throws 9 when `source` has no such sheet, 1004
  // when the open workbook has one.
  virtual void AddSheetCopy(const Workbook& source, const std::string& name) = 0;
  virtual CellValue GetCellValue(const std::string& address) = 0;
  virtual std::string GetCellText(const std::string& address) = 0;  // as displayed by its number format
  // The cell's formula without its '=', "" when it holds none.
  virtual std::string GetCellFormula(const std::string& address) = 0;
  virtual void SetCellValue(const std::string& address, const CellValue& value) = 0;
  // The cells of a rectangle ("A8:F4103") in one call, the address parsed once: the values as
  // GetCellValue gives them, and with `withTexts` the texts as GetCellText gives them.
  virtual CellBlock ReadBlock(const std::string& range, bool withTexts) = 0;
  // Rows of cells in one call: `values` row by row, `columns` to a row, the first row's first
  // cell at `firstCell` ("A5"). Each value is written as SetCellValue writes it; an empty one
  // (std::monostate) leaves its cell as it is. Throws 1004 when the values do not fill whole
  // rows or the block runs past the sheet.
  virtual void SetRowValues(const std::string& firstCell, int columns, const std::vector<CellValue>& values) = 0;
  virtual void ClearContents(const std::string& range) = 0;   // values go, formats stay
  // Every merge that shares a cell with the range is dissolved; the cells keep their values.
  virtual void UnmergeCells(const std::string& range) = 0;
  // Every cell of the range shows numbers with the format code ("0", "0.000"); values stay.
  virtual void SetNumberFormat(const std::string& range, const std::string& code) = 0;
  // The page setup of the active sheet (paper, repeated rows, header, footer, manual breaks).
  virtual PrintSetup GetPrintSetup() = 0;
  virtual void SetPrintSetup(const PrintSetup& setup) = 0;
  // The 0-based rows that start the printed pages of the active sheet after the first, as
  // PageRows::Starts lays them out.
  virtual std::vector<int> PrintedPageStarts() = 0;
  virtual void MarkSaved() = 0;                               // quitting then asks nothing
  virtual void Quit() = 0;
};

}  // namespace spreadsheet
