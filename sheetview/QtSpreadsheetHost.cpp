#include "sheetview/QtSpreadsheetHost.h"

#include "workbook/PageRows.h"
#include <QApplication>
#include <QFileInfo>
#include <exception>

#include "numfmt/NumberFormat.h"
#include "sheetview/QtWorkbookDialogs.h"
#include "workbook/SpreadsheetError.h"
#include "sheetview/WorkbookTableModel.h"

namespace spreadsheet {

namespace {

constexpr int kAppError = SpreadsheetError::kApplicationDefined;

std::string TemplateError(const std::string& path, const std::string& reason) {
  // The loader's own message names the file already; others get the path in front.
  if (reason.find(path) != std::string::npos) return reason;
  return "无法打开模板“" + path + "”" + (reason.empty() ? std::string() : "：" + reason);
}

}  // namespace

QtSpreadsheetHost::QtSpreadsheetHost(WorkbookLoader load, WorkbookSaver save, std::shared_ptr<WorkbookDialogs> dialogs)
    : load_(std::move(load)),
      save_(std::move(save)),
      dialogs_(dialogs ? std::move(dialogs) : std::make_shared<QtWorkbookDialogs>()) {}

QtSpreadsheetHost::~QtSpreadsheetHost() { delete window_.data(); }

WorkbookWindow& QtSpreadsheetHost::RequireApplication() const {
  if (!window_) throw SpreadsheetError(kAppError, "电子表格程序未运行");
  return *window_;
}

WorkbookWindow& QtSpreadsheetHost::RequireWorkbook() const {
  WorkbookWindow& window = RequireApplication();
  if (!window.HasWorkbook()) throw SpreadsheetError(kAppError, "没有打开的工作簿");
  return window;
}

Worksheet& QtSpreadsheetHost::ActiveSheet() const {
  WorkbookWindow& window = RequireWorkbook();
  Worksheet* sheet = window.Model()->Sheet();
  if (!sheet) throw SpreadsheetError(kAppError, "工作簿中没有工作表");
  return *sheet;
}

void QtSpreadsheetHost::CreateApplication() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw SpreadsheetError(kAppError, "没有图形界面，无法创建工作簿窗口");
  }
  delete window_.data();
  window_ = new WorkbookWindow(load_, save_, dialogs_);
}

void QtSpreadsheetHost::SetVisible(bool visible) { RequireApplication().setVisible(visible); }

void QtSpreadsheetHost::OpenTemplate(const std::string& path) {
  WorkbookWindow& window = RequireApplication();
  const QFileInfo file(QString::fromStdString(path));
  if (!file.exists()) throw SpreadsheetError(kAppError, TemplateError(path, "文件不存在"));
  if (!file.isFile() || !file.isReadable()) throw SpreadsheetError(kAppError, TemplateError(path, "文件无法读取"));
  if (!load_) throw SpreadsheetError(kAppError, TemplateError(path, ""));
  Workbook workbook;
  try {
    workbook = load_(path);
  } catch (const SpreadsheetError& e) {
    throw SpreadsheetError(kAppError, TemplateError(path, e.Description()));
  } catch (const std::exception& e) {
    throw SpreadsheetError(kAppError, TemplateError(path, e.what()));
  }
  if (workbook.SheetCount() == 0) throw SpreadsheetError(kAppError, TemplateError(path, "模板中没有工作表"));
  window.SetWorkbook(std::move(workbook), QStringLiteral("work%1").arg(++untitledCount_), QString());
  window.Document().ProtectFile(file.absoluteFilePath());
}

std::string QtSpreadsheetHost::GetCaption() { return RequireApplication().Caption().toStdString(); }

void QtSpreadsheetHost::SetWindowState(WindowState state) { RequireApplication().SetState(state); }

void QtSpreadsheetHost::MaximizeActiveWindow() {
  // The window shows one workbook, which always fills it.
  RequireWorkbook();
}

void QtSpreadsheetHost::SetScreenUpdating(bool on) { RequireApplication().SetScreenUpdating(on); }

void QtSpreadsheetHost::SelectSheet(const std::string& name) {
  WorkbookWindow& window = RequireWorkbook();
  const int index = window.GetWorkbook().IndexOf(name);
  if (index < 0) {
    throw SpreadsheetError(SpreadsheetError::kSubscriptOutOfRange, "找不到工作表“" + name + "”");
  }
  window.ShowSheet(static_cast<std::size_t>(index));
}

void QtSpreadsheetHost::AddSheetCopy(const Workbook& source, const std::string& name) {
  RequireWorkbook().AddSheetCopy(source, name);
}

CellValue QtSpreadsheetHost::GetCellValue(const std::string& address) {
  ActiveSheet();
  window_->Model()->ComputePending();
  return ActiveSheet().Value(CellAddress::Parse(address));
}

std::string QtSpreadsheetHost::GetCellText(const std::string& address) {
  ActiveSheet();
  window_->Model()->ComputePending();
  const Worksheet& sheet = ActiveSheet();
  const CellAddress a = CellAddress::Parse(address);
  const Workbook& workbook = window_->GetWorkbook();
  return NumberFormat::Display(sheet.Value(a), workbook.Style(sheet.StyleAt(a)).numberFormat, workbook.Dates());
}

std::string QtSpreadsheetHost::GetCellFormula(const std::string& address) {
  const Cell* cell = ActiveSheet().FindCell(CellAddress::Parse(address));
  return cell ? std::string(cell->formula.view()) : std::string();
}

void QtSpreadsheetHost::SetCellValue(const std::string& address, const CellValue& value) {
  ActiveSheet();
  window_->WriteValue(CellAddress::Parse(address), value);
}

CellBlock QtSpreadsheetHost::ReadBlock(const std::string& range, bool withTexts) {
  ActiveSheet();
  window_->Model()->ComputePending();
  return ReadCellBlock(window_->GetWorkbook(), ActiveSheet(), CellRange::Parse(range), withTexts);
}

void QtSpreadsheetHost::SetRowValues(const std::string& firstCell, int columns, const std::vector<CellValue>& values) {
  ActiveSheet();
  const CellRange block = RowsBlock(CellAddress::Parse(firstCell), columns, values.size());
  if (!values.empty()) window_->WriteValues(block, values);
}

void QtSpreadsheetHost::ClearContents(const std::string& range) {
  ActiveSheet();
  window_->ClearContents(CellRange::Parse(range));
}

void QtSpreadsheetHost::UnmergeCells(const std::string& range) {
  ActiveSheet();
  window_->UnmergeCells(CellRange::Parse(range));
}

void QtSpreadsheetHost::SetNumberFormat(const std::string& range, const std::string& code) {
  ActiveSheet();
  window_->SetNumberFormat(CellRange::Parse(range), code);
}

PrintSetup QtSpreadsheetHost::GetPrintSetup() { return ActiveSheet().Print(); }

void QtSpreadsheetHost::SetPrintSetup(const PrintSetup& setup) {
  ActiveSheet();
  window_->SetPrintSetup(setup);
}

std::vector<int> QtSpreadsheetHost::PrintedPageStarts() {
  ActiveSheet();
  window_->Model()->ComputePending();
  return PageRows::Starts(window_->GetWorkbook(), ActiveSheet());
}

void QtSpreadsheetHost::MarkSaved() { RequireWorkbook().Document().MarkSaved(); }

void QtSpreadsheetHost::Quit() {
  WorkbookWindow& window = RequireApplication();
  window.CloseWithoutQuestion();
  delete &window;
}

bool QtSpreadsheetHost::HasUnsavedChanges() const { return window_ && window_->Document().IsModified(); }

bool QtSpreadsheetHost::Save() { return window_ && window_->Save(); }

}  // namespace spreadsheet
