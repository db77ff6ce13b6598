#include "sheetview/WindowSheetHost.h"

#include "workbook/PageRows.h"
#include "numfmt/NumberFormat.h"
#include "sheetview/WorkbookTableModel.h"
#include "sheetview/WorkbookWindow.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {
namespace {

[[noreturn]] void NotHere(const char* what) {
  throw SpreadsheetError(SpreadsheetError::kApplicationDefined, std::string("工作簿窗口的命令不能") + what);
}

Worksheet& Shown(WorkbookWindow& window) {
  window.GetWorkbook();
  Worksheet* sheet = window.Model()->Sheet();
  if (sheet == nullptr) throw SpreadsheetError(SpreadsheetError::kApplicationDefined, "工作簿中没有工作表");
  return *sheet;
}

}  // namespace

void WindowSheetHost::CreateApplication() { NotHere("创建电子表格程序"); }
void WindowSheetHost::SetVisible(bool) { NotHere("显示或隐藏窗口"); }
void WindowSheetHost::OpenTemplate(const std::string&) { NotHere("打开模板"); }
std::string WindowSheetHost::GetCaption() { return window_.Caption().toStdString(); }
void WindowSheetHost::SetWindowState(WindowState) { NotHere("改变窗口状态"); }
void WindowSheetHost::MaximizeActiveWindow() { NotHere("改变窗口状态"); }
void WindowSheetHost::SetScreenUpdating(bool on) { window_.SetScreenUpdating(on); }

void WindowSheetHost::SelectSheet(const std::string& name) {
  const int index = window_.GetWorkbook().IndexOf(name);
  if (index < 0) throw SpreadsheetError(SpreadsheetError::kSubscriptOutOfRange, "找不到工作表“" + name + "”");
  window_.ShowSheet(static_cast<std::size_t>(index));
}

void WindowSheetHost::AddSheetCopy(const Workbook& source, const std::string& name) {
  window_.AddSheetCopy(source, name);
}

CellValue WindowSheetHost::GetCellValue(const std::string& address) {
  return Shown(window_).Value(CellAddress::Parse(address));
}

std::string WindowSheetHost::GetCellText(const std::string& address) {
  const Worksheet& sheet = Shown(window_);
  const CellAddress a = CellAddress::Parse(address);
  const Workbook& workbook = window_.GetWorkbook();
  return NumberFormat::Display(sheet.Value(a), workbook.Style(sheet.StyleAt(a)).numberFormat, workbook.Dates());
}

std::string WindowSheetHost::GetCellFormula(const std::string& address) {
  const Cell* cell = Shown(window_).FindCell(CellAddress::Parse(address));
  return cell ? std::string(cell->formula.view()) : std::string();
}

void WindowSheetHost::SetCellValue(const std::string& address, const CellValue& value) {
  Shown(window_);
  window_.WriteValue(CellAddress::Parse(address), value);
}

CellBlock WindowSheetHost::ReadBlock(const std::string& range, bool withTexts) {
  const Worksheet& sheet = Shown(window_);
  return ReadCellBlock(window_.GetWorkbook(), sheet, CellRange::Parse(range), withTexts);
}

void WindowSheetHost::SetRowValues(const std::string& firstCell, int columns, const std::vector<CellValue>& values) {
  Shown(window_);
  const CellRange block = RowsBlock(CellAddress::Parse(firstCell), columns, values.size());
  if (!values.empty()) window_.WriteValues(block, values);
}

void WindowSheetHost::ClearContents(const std::string& range) {
  Shown(window_);
  window_.ClearContents(CellRange::Parse(range));
}

void WindowSheetHost::UnmergeCells(const std::string& range) {
  Shown(window_);
  window_.UnmergeCells(CellRange::Parse(range));
}

void WindowSheetHost::SetNumberFormat(const std::string& range, const std::string& code) {
  Shown(window_);
  window_.SetNumberFormat(CellRange::Parse(range), code);
}

PrintSetup WindowSheetHost::GetPrintSetup() { return Shown(window_).Print(); }

void WindowSheetHost::SetPrintSetup(const PrintSetup& setup) {
  Shown(window_);
  window_.SetPrintSetup(setup);
}

std::vector<int> WindowSheetHost::PrintedPageStarts() {
  const Worksheet& sheet = Shown(window_);
  window_.Model()->ComputePending();
  return PageRows::Starts(window_.GetWorkbook(), sheet);
}

void WindowSheetHost::MarkSaved() { NotHere("标记工作簿已保存"); }
void WindowSheetHost::Quit() { NotHere("退出电子表格程序"); }

}  // namespace spreadsheet
