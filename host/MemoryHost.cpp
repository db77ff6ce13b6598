#include "host/MemoryHost.h"

#include "workbook/PageRows.h"
#include <algorithm>
#include <exception>
#include <memory>
#include <utility>
#include <variant>

#include "workbook/CellRange.h"
#include "numfmt/NumberFormat.h"
#include "workbook/SpreadsheetError.h"

namespace spreadsheet {

namespace {
constexpr int kAppError = SpreadsheetError::kApplicationDefined;
}

MemoryHost::MemoryHost(Loader loader) : loader_(std::move(loader)) {}

MemoryHost::MemoryHost(Workbook workbook)
    : application_(true), workbook_(std::move(workbook)), title_("work1"), untitledCount_(1) {}

void MemoryHost::RequireApplication() const {
  if (!application_) throw SpreadsheetError(kAppError, "电子表格程序未运行");
}

Workbook& MemoryHost::GetWorkbook() {
  Workbook& wb = Book();
  Recalculate();
  // The caller may change the workbook directly: the next recalculation reads it anew.
  Forget();
  return wb;
}

void MemoryHost::Forget() {
  recalculator_.reset();
  readByFormulas_.clear();
}

bool MemoryHost::FormulasMayRead(std::size_t sheet) {
  if (readByFormulas_.size() != workbook_->SheetCount()) readByFormulas_ = calc::Recalculator::SheetsFormulasRead(*workbook_);
  return sheet < readByFormulas_.size() && readByFormulas_[sheet];
}

calc::Recalculator& MemoryHost::Formulas() {
  if (!recalculator_ || recalculatorFor_ != &*workbook_) {
    recalculator_ = std::make_unique<calc::Recalculator>(*workbook_);
    recalculatorFor_ = &*workbook_;
    recalculator_->Rebuild();
  }
  return *recalculator_;
}

void MemoryHost::Recalculate() {
  if (pending_.empty() || !workbook_) return;
  if (std::none_of(pending_.begin(), pending_.end(), [&](const calc::SheetCell& c) { return FormulasMayRead(c.sheet); })) {
    pending_.clear();
    return;
  }
  calc::Recalculator& formulas = Formulas();
  if (formulas.FormulaCount() != 0) formulas.Changed(pending_);
  pending_.clear();
}

void MemoryHost::Changed(CellAddress at) {
  pending_.push_back(calc::SheetCell{workbook_->ActiveSheet(), at});
  if (screenUpdating_ && pending_.size() >= kPendingLimit) Recalculate();
}

Workbook& MemoryHost::Book() {
  RequireApplication();
  if (!workbook_) throw SpreadsheetError(kAppError, "没有打开的工作簿");
  return *workbook_;
}

Worksheet& MemoryHost::ActiveSheet() {
  Workbook& wb = Book();
  if (wb.SheetCount() == 0) throw SpreadsheetError(kAppError, "工作簿中没有工作表");
  return wb.SheetAt(wb.ActiveSheet());
}

void MemoryHost::CreateApplication() {
  calls_.push_back("CreateApplication");
  application_ = true;
  visible_ = false;
  screenUpdating_ = true;
  windowState_ = WindowState::Normal;
}

void MemoryHost::SetVisible(bool visible) {
  RequireApplication();
  calls_.push_back(visible ? "SetVisible(true)" : "SetVisible(false)");
  visible_ = visible;
}

void MemoryHost::OpenTemplate(const std::string& path) {
  RequireApplication();
  calls_.push_back("OpenTemplate(" + path + ")");
  if (!loader_) throw SpreadsheetError(kAppError, "无法打开模板“" + path + "”");
  Workbook wb;
  try {
    wb = loader_(path);
  } catch (const SpreadsheetError& e) {
    throw SpreadsheetError(kAppError, e.Description());
  } catch (const std::exception& e) {
    throw SpreadsheetError(kAppError, "无法打开模板“" + path + "”：" + e.what());
  }
  wb.SetModified(false);
  Forget();
  pending_.clear();
  workbook_ = std::move(wb);
  title_ = "work" + std::to_string(++untitledCount_);
}

std::string MemoryHost::GetCaption() {
  RequireApplication();
  return workbook_ ? title_ + " - 工作簿" : std::string("工作簿");
}

void MemoryHost::SetWindowState(WindowState state) {
  RequireApplication();
  calls_.push_back(state == WindowState::Maximized   ? "SetWindowState(Maximized)"
                   : state == WindowState::Minimized ? "SetWindowState(Minimized)"
                                                     : "SetWindowState(Normal)");
  windowState_ = state;
}

void MemoryHost::MaximizeActiveWindow() {
  Book();
  calls_.push_back("MaximizeActiveWindow");
}

void MemoryHost::SetScreenUpdating(bool on) {
  RequireApplication();
  calls_.push_back(on ? "SetScreenUpdating(true)" : "SetScreenUpdating(false)");
  screenUpdating_ = on;
  if (on) Recalculate();
}

void MemoryHost::SelectSheet(const std::string& name) {
  Workbook& wb = Book();
  int index = wb.IndexOf(name);
  if (index < 0) {
    throw SpreadsheetError(SpreadsheetError::kSubscriptOutOfRange, "找不到工作表“" + name + "”");
  }
  wb.SetActiveSheet(static_cast<std::size_t>(index));
}

void MemoryHost::AddSheetCopy(const Workbook& source, const std::string& name) {
  Workbook& wb = Book();
  const Worksheet* sheet = source.FindSheet(name);
  if (sheet == nullptr) {
    throw SpreadsheetError(SpreadsheetError::kSubscriptOutOfRange, "找不到工作表“" + name + "”");
  }
  // Pending writes are computed on the workbook they were made in; then, when a formula names
  // the new sheet (it gets a value now) or the sheet brings formulas, all are read anew and
  // computed. Without one, every result is as true as before.
  Recalculate();
  wb.AddSheetCopy(source, *sheet);
  Forget();
  if (FormulasMayRead(wb.SheetCount() - 1)) Formulas().RecalculateAll();
  wb.SetActiveSheet(wb.SheetCount() - 1);
  wb.SetModified(true);
}

CellValue MemoryHost::GetCellValue(const std::string& address) {
  Recalculate();
  return ActiveSheet().Value(CellAddress::Parse(address));
}

std::string MemoryHost::GetCellText(const std::string& address) {
  Recalculate();
  Worksheet& sheet = ActiveSheet();
  const CellAddress a = CellAddress::Parse(address);
  return NumberFormat::Display(sheet.Value(a), Book().Style(sheet.StyleAt(a)).numberFormat, Book().Dates());
}

std::string MemoryHost::GetCellFormula(const std::string& address) {
  const Cell* cell = ActiveSheet().FindCell(CellAddress::Parse(address));
  return cell ? std::string(cell->formula.view()) : std::string();
}

void MemoryHost::SetCellValue(const std::string& address, const CellValue& value) {
  Worksheet& sheet = ActiveSheet();
  const CellAddress at = CellAddress::Parse(address);
  sheet.SetValue(at, value);
  workbook_->SetModified(true);
  Changed(at);
}

CellBlock MemoryHost::ReadBlock(const std::string& range, bool withTexts) {
  Recalculate();
  const Worksheet& sheet = ActiveSheet();
  return ReadCellBlock(Book(), sheet, CellRange::Parse(range), withTexts);
}

void MemoryHost::SetRowValues(const std::string& firstCell, int columns, const std::vector<CellValue>& values) {
  Worksheet& sheet = ActiveSheet();
  const CellRange block = RowsBlock(CellAddress::Parse(firstCell), columns, values.size());
  if (values.empty()) return;
  workbook_->SetModified(true);
  // Written in place, the block's dependents computed once for it as ClearContents does (the
  // cells left as they were recompute to what they hold).
  Recalculate();
  const auto width = static_cast<std::size_t>(columns);
  for (std::size_t first = 0; first < values.size(); first += width) {
    const int row = block.first.row + static_cast<int>(first / width);
    // The row made as wide as its last value needs at once, then filled.
    std::size_t last = width;
    while (last > 0 && std::holds_alternative<std::monostate>(values[first + last - 1])) --last;
    if (last == 0) continue;
    sheet.CellAt({row, block.first.column + static_cast<int>(last) - 1});
    for (std::size_t c = 0; c < last; ++c) {
      const CellValue& value = values[first + c];
      if (std::holds_alternative<std::monostate>(value)) continue;
      Cell& cell = sheet.CellAt({row, block.first.column + static_cast<int>(c)});
      if (const double* number = std::get_if<double>(&value)) {
        cell.value.emplace<double>(*number);
      } else {
        cell.value = value;
      }
      cell.formula.clear();
    }
  }
  if (!FormulasMayRead(workbook_->ActiveSheet())) return;
  calc::Recalculator& formulas = Formulas();
  if (formulas.FormulaCount() != 0) formulas.Changed(workbook_->ActiveSheet(), block);
}

void MemoryHost::ClearContents(const std::string& range) {
  Worksheet& sheet = ActiveSheet();
  const CellRange cleared = CellRange::Parse(range);
  Recalculate();
  sheet.ClearContents(cleared);
  workbook_->SetModified(true);
  if (!FormulasMayRead(workbook_->ActiveSheet())) return;
  calc::Recalculator& formulas = Formulas();
  if (formulas.FormulaCount() != 0) formulas.Changed(workbook_->ActiveSheet(), cleared);
}

void MemoryHost::UnmergeCells(const std::string& range) {
  Worksheet& sheet = ActiveSheet();
  sheet.RemoveMergesIn(CellRange::Parse(range));
  workbook_->SetModified(true);
}

void MemoryHost::SetNumberFormat(const std::string& range, const std::string& code) {
  Worksheet& sheet = ActiveSheet();
  workbook_->SetNumberFormat(sheet, CellRange::Parse(range), code);
  workbook_->SetModified(true);
}

PrintSetup MemoryHost::GetPrintSetup() { return ActiveSheet().Print(); }

void MemoryHost::SetPrintSetup(const PrintSetup& setup) {
  ActiveSheet().Print() = setup;
  workbook_->SetModified(true);
}

std::vector<int> MemoryHost::PrintedPageStarts() {
  Recalculate();
  return PageRows::Starts(*workbook_, ActiveSheet());
}

void MemoryHost::MarkSaved() {
  Book().SetModified(false);
  calls_.push_back("MarkSaved");
}

void MemoryHost::Quit() {
  RequireApplication();
  calls_.push_back("Quit");
  application_ = false;
  visible_ = false;
  Forget();
  pending_.clear();
  workbook_.reset();
}

}  // namespace spreadsheet
