#include "sheetview/WorkbookTableModel.h"

#include <QUndoStack>
#include <algorithm>
#include <stdexcept>
#include <utility>
#include <variant>

#include "calc/Formula.h"
#include "calc/ReferenceRewriter.h"
#include "workbook/CellInput.h"
#include "workbook/SpreadsheetError.h"
#include "sheetview/CellPainter.h"
#include "sheetview/SetCellsCommand.h"

namespace spreadsheet {

namespace {

const CellStyle& DefaultStyle() {
  static const CellStyle style;
  return style;
}

// A formula is the same content when its text is (its result follows from it).
bool SameContent(const Cell& a, const Cell& b) {
  if (a.HasFormula() || b.HasFormula()) return a.formula == b.formula;
  return a.value == b.value;
}

// The cells of a block that exist on the sheet.
void CellsOf(const Worksheet& sheet, std::size_t index, const CellRange& range, std::vector<calc::SheetCell>& out) {
  const int lastRow = std::min(range.last.row, sheet.RowExtent() - 1);
  for (int r = range.first.row; r <= lastRow; ++r) {
    const int lastColumn = std::min(range.last.column, static_cast<int>(sheet.Row(r).size()) - 1);
    for (int c = range.first.column; c <= lastColumn; ++c) out.push_back({index, CellAddress{r, c}});
  }
}

}  // namespace

WorkbookTableModel::WorkbookTableModel(QObject* parent) : QAbstractTableModel(parent) {}

WorkbookTableModel::~WorkbookTableModel() = default;

Cell WorkbookTableModel::Typed(std::string_view typed) {
  Cell cell;
  if (typed.size() > 1 && typed.front() == '=') {
    cell.formula = typed.substr(1);
    cell.value = NoStoredResult{};
  } else {
    cell.value = CellInput::Parse(typed);
  }
  return cell;
}

std::string WorkbookTableModel::Moved(std::string_view typed, int rows, int columns) {
  if (typed.size() <= 1 || typed.front() != '=' || (rows == 0 && columns == 0)) return std::string(typed);
  return "=" + calc::ReferenceRewriter::Shift(typed.substr(1), rows, columns);
}

void WorkbookTableModel::SetWorkbook(Workbook* workbook) {
  beginResetModel();
  workbook_ = workbook;
  sheet_ = workbook && workbook->SheetCount() > 0 ? workbook->ActiveSheet() : 0;
  formulas_.reset();
  pending_.clear();
  calc::Recalculation done;
  if (workbook) {
    formulas_ = std::make_unique<calc::Recalculator>(*workbook);
    formulas_->Rebuild();
    // Formulas the file stored no result for (written here, or by a program that computes
    // nothing) are computed now; stored results stay as the file has them.
    std::vector<calc::SheetCell> missing;
    for (std::size_t s = 0; s < workbook->SheetCount(); ++s) {
      const Worksheet& ws = workbook->SheetAt(s);
      for (int r = 0; r < ws.RowExtent(); ++r) {
        const auto& cells = ws.Row(r);
        for (std::size_t c = 0; c < cells.size(); ++c) {
          if (cells[c].HasFormula() && std::holds_alternative<NoStoredResult>(cells[c].value)) {
            missing.push_back({s, CellAddress{r, static_cast<int>(c)}});
          }
        }
      }
    }
    if (!missing.empty()) done = formulas_->Changed(missing);
  }
  endResetModel();
  Report(done);
}

void WorkbookTableModel::Recalculate(const std::vector<calc::SheetCell>& cells) {
  if (!formulas_ || cells.empty()) return;
  if (suspended_) {
    pending_.insert(pending_.end(), cells.begin(), cells.end());
    return;
  }
  const calc::Recalculation done = formulas_->Changed(cells);
  if (done.computed > 0 && Sheet()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  Report(done);
}

void WorkbookTableModel::ComputePending() {
  if (!formulas_ || pending_.empty()) return;
  std::vector<calc::SheetCell> pending;
  pending.swap(pending_);
  Report(formulas_->Changed(pending));
}

void WorkbookTableModel::RecalculateAll() {
  if (!formulas_) return;
  pending_.clear();
  const calc::Recalculation done = formulas_->RecalculateAll();
  if (Sheet() && !suspended_) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  Report(done);
}

void WorkbookTableModel::Report(const calc::Recalculation& done) {
  if (done.computed == 0 && !done.circular) return;
  if (!done.circular || !workbook_ || done.circular->sheet >= workbook_->SheetCount()) {
    emit circularReferenceChanged(QString());
    return;
  }
  const std::string name = calc::ReferenceRewriter::SheetPrefix(workbook_->SheetAt(done.circular->sheet).Name());
  emit circularReferenceChanged(QString::fromStdString(name + done.circular->cell.ToString()));
}

void WorkbookTableModel::ShowSheet(std::size_t index) {
  if (!workbook_ || index >= workbook_->SheetCount()) throw std::out_of_range("sheet index");
  if (index == sheet_) return;
  beginResetModel();
  sheet_ = index;
  endResetModel();
}

Worksheet* WorkbookTableModel::Sheet() const {
  if (!workbook_ || sheet_ >= workbook_->SheetCount()) return nullptr;
  return &workbook_->SheetAt(sheet_);
}

int WorkbookTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !Sheet() ? 0 : CellAddress::kMaxRows;
}

int WorkbookTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !Sheet() ? 0 : CellAddress::kMaxColumns;
}

const CellStyle& WorkbookTableModel::StyleAt(int row, int column) const {
  const Worksheet* sheet = Sheet();
  if (!sheet) return DefaultStyle();
  return workbook_->Style(sheet->StyleAt(CellAddress{row, column}));
}

CellValue WorkbookTableModel::Shown(const Cell* cell) {
  if (!cell) return {};
  if (cell->HasFormula() && std::holds_alternative<NoStoredResult>(cell->value)) {
    try {
      if (calc::Formula::Parse(cell->formula.view()).HasUnknownNames()) return CellError{"#NAME?"};
    } catch (const SpreadsheetError&) {
      // A formula that does not parse shows nothing: the file's text is kept as it was.
    }
  }
  return cell->value;
}

QString WorkbookTableModel::DisplayText(int row, int column) const {
  const Worksheet* sheet = Sheet();
  if (!sheet) return {};
  const CellValue shown = Shown(sheet->FindCell(CellAddress{row, column}));
  if (IsEmptyValue(shown) || std::holds_alternative<NoStoredResult>(shown)) return {};
  return QString::fromStdString(
      formats_.Display(shown, StyleAt(row, column).numberFormat, workbook_->Dates()));
}

QString WorkbookTableModel::EditText(int row, int column) const {
  const Worksheet* sheet = Sheet();
  if (!sheet) return {};
  return QString::fromStdString(CellInput::EditText(sheet->FindCell(CellAddress{row, column})));
}

QVariant WorkbookTableModel::data(const QModelIndex& index, int role) const {
  const Worksheet* sheet = Sheet();
  if (!sheet || !checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  const int row = index.row();
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole: return DisplayText(row, column);
    case Qt::EditRole: return EditText(row, column);
    case Qt::FontRole: return CellPainter::FontFor(StyleAt(row, column));
    case Qt::TextAlignmentRole: {
      const CellStyle& style = StyleAt(row, column);
      Qt::Alignment h = Qt::AlignLeft;
      if (style.horizontal == HorizontalAlignment::Center) h = Qt::AlignHCenter;
      if (style.horizontal == HorizontalAlignment::Right) h = Qt::AlignRight;
      if (style.horizontal == HorizontalAlignment::General && IsNumber(sheet->Value(CellAddress{row, column}))) {
        h = Qt::AlignRight;
      }
      const Qt::Alignment v = style.vertical == VerticalAlignment::Top      ? Qt::AlignTop
                              : style.vertical == VerticalAlignment::Center ? Qt::AlignVCenter
                                                                            : Qt::AlignBottom;
      return QVariant::fromValue(h | v);
    }
    case Qt::BackgroundRole: {
      const CellStyle& style = StyleAt(row, column);
      return style.fill ? QVariant(CellPainter::ToColor(*style.fill)) : QVariant();
    }
    case Qt::ForegroundRole: {
      const CellStyle& style = StyleAt(row, column);
      return style.fontColor ? QVariant(CellPainter::ToColor(*style.fontColor)) : QVariant();
    }
    case IsNumberRole: return IsNumber(sheet->Value(CellAddress{row, column}));
    case StyleIdRole: return sheet->StyleAt(CellAddress{row, column});
    default: return {};
  }
}

QVariant WorkbookTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  if (orientation == Qt::Horizontal) {
    if (section < 0 || section >= CellAddress::kMaxColumns) return {};
    return QString::fromStdString(CellAddress::ColumnName(section));
  }
  if (section < 0 || section >= CellAddress::kMaxRows) return {};
  return section + 1;
}

Qt::ItemFlags WorkbookTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool WorkbookTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !Sheet() || !checkIndex(index, CheckIndexOption::IndexIsValid)) return false;
  const QString typed = value.toString();
  // Committing an editor that was opened and left alone must not turn a formula into text.
  if (typed == EditText(index.row(), index.column())) return false;
  return EditTyped({{CellAddress{index.row(), index.column()}, typed.toStdString()}}, tr("输入"));
}

bool WorkbookTableModel::Edit(const std::vector<std::pair<CellAddress, CellValue>>& values, const QString& text) {
  CellContents after;
  after.reserve(values.size());
  for (const auto& [address, value] : values) {
    Cell cell;
    cell.value = value;
    after.emplace_back(address, std::move(cell));
  }
  return EditContents(std::move(after), text);
}

bool WorkbookTableModel::EditTyped(const TypedEntries& entries, const QString& text) {
  CellContents after;
  after.reserve(entries.size());
  for (const auto& [address, typed] : entries) {
    Cell cell = Typed(typed);
    if (cell.HasFormula()) {
      // A formula that cannot be read is refused as typed, as spreadsheets refuse it.
      try {
        calc::Formula::Parse(cell.formula.view());
      } catch (const SpreadsheetError& e) {
        emit editRefused(tr("单元格 %1 的公式无效：%2。没有做任何更改。")
                             .arg(QString::fromStdString(address.ToString()), QString::fromStdString(e.Description())));
        return false;
      }
    }
    after.emplace_back(address, std::move(cell));
  }
  return EditContents(std::move(after), text);
}

bool WorkbookTableModel::EditContents(CellContents contents, const QString& text) {
  Worksheet* sheet = Sheet();
  if (!sheet) return false;
  for (const auto& [address, content] : contents) {
    const auto* text = std::get_if<std::string>(&content.value);
    if (!text || text->size() <= static_cast<std::size_t>(kMaxTextLength)) continue;  // UTF-8 never shorter
    const qsizetype length = QString::fromStdString(*text).size();
    if (length <= kMaxTextLength) continue;
    emit editRefused(tr("单元格 %1 的内容有 %2 个字符，一个单元格最多 %3 个字符。没有做任何更改。")
                         .arg(QString::fromStdString(address.ToString()))
                         .arg(length)
                         .arg(kMaxTextLength));
    return false;
  }
  CellContents before;
  CellContents after;
  for (auto& [address, newContent] : contents) {
    const Cell* old = sheet->FindCell(address);
    Cell oldContent;
    if (old) {
      oldContent.value = old->value;
      oldContent.formula = old->formula;
    }
    if (SameContent(oldContent, newContent)) continue;
    before.emplace_back(address, std::move(oldContent));
    after.emplace_back(address, std::move(newContent));
  }
  if (after.empty()) return false;
  if (undoStack_) {
    undoStack_->push(new SetCellsCommand(*this, sheet_, std::move(before), std::move(after), text));
  } else {
    SetContents(sheet_, after);
  }
  return true;
}

void WorkbookTableModel::SetContents(std::size_t sheetIndex, const CellContents& contents) {
  if (!workbook_ || sheetIndex >= workbook_->SheetCount() || contents.empty()) return;
  Worksheet& sheet = workbook_->SheetAt(sheetIndex);
  CellRange bounds{contents.front().first, contents.front().first};
  for (const auto& [address, content] : contents) {
    Cell& cell = sheet.CellAt(address);
    cell.value = content.value;
    cell.formula = content.formula;
    bounds.first.row = std::min(bounds.first.row, address.row);
    bounds.first.column = std::min(bounds.first.column, address.column);
    bounds.last.row = std::max(bounds.last.row, address.row);
    bounds.last.column = std::max(bounds.last.column, address.column);
  }
  if (sheetIndex == sheet_ && !suspended_) {
    emit dataChanged(index(bounds.first.row, bounds.first.column), index(bounds.last.row, bounds.last.column));
  }
  std::vector<calc::SheetCell> changed;
  changed.reserve(contents.size());
  for (const auto& entry : contents) changed.push_back({sheetIndex, entry.first});
  Recalculate(changed);
  emit cellsEdited(sheetIndex, bounds);
}

void WorkbookTableModel::ReplaceSheet(std::size_t index, const Worksheet& sheet, const std::vector<FormulaWrite>& others) {
  if (!workbook_ || index >= workbook_->SheetCount()) return;
  std::vector<calc::SheetCell> changed;
  for (const FormulaWrite& write : others) {
    if (write.sheet >= workbook_->SheetCount() || write.sheet == index) continue;
    Cell& cell = workbook_->SheetAt(write.sheet).CellAt(write.cell);
    cell.formula = write.formula;
    cell.value = NoStoredResult{};
    changed.push_back({write.sheet, write.cell});
  }
  workbook_->SheetAt(index) = sheet;
  if (formulas_) {
    // Rows or columns moved: the graph is read anew, and the replaced sheet computed whole.
    formulas_->Rebuild();
    CellsOf(sheet, index, CellRange{{0, 0}, {CellAddress::kMaxRows - 1, CellAddress::kMaxColumns - 1}}, changed);
    Recalculate(changed);
  }
  if (index == sheet_ && !suspended_) emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, columnCount() - 1));
  emit sheetReplaced(index);
}

void WorkbookTableModel::AddSheetCopy(const Workbook& source, const Worksheet& sheet) {
  if (!workbook_) return;
  ComputePending();
  workbook_->AddSheetCopy(source, sheet);
  SheetsChanged();
  emit sheetAdded(workbook_->SheetCount() - 1);
}

void WorkbookTableModel::AddSheet(Worksheet sheet) {
  if (!workbook_) return;
  ComputePending();
  workbook_->AddSheet(std::move(sheet));
  SheetsChanged();
  emit sheetAdded(workbook_->SheetCount() - 1);
}

Worksheet WorkbookTableModel::RemoveSheet(std::size_t index) {
  if (!workbook_) throw std::out_of_range("sheet index");
  ComputePending();
  Worksheet removed = workbook_->RemoveSheet(index);
  if (sheet_ > index || (sheet_ == index && sheet_ > 0)) --sheet_;
  SheetsChanged();
  if (!suspended_ && Sheet()) emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, columnCount() - 1));
  emit sheetRemoved(index);
  return removed;
}

void WorkbookTableModel::SheetsChanged() {
  if (!formulas_) return;
  // A formula naming a sheet that came or went changes its result.
  Report(formulas_->RecalculateAll());
}

void WorkbookTableModel::SetValue(CellAddress address, CellValue value) {
  Worksheet* sheet = Sheet();
  if (!sheet) return;
  sheet->SetValue(address, std::move(value));
  if (!suspended_) {
    const QModelIndex i = index(address.row, address.column);
    emit dataChanged(i, i);
  }
  Recalculate({{sheet_, address}});
}

void WorkbookTableModel::SetValues(const CellRange& block, const std::vector<CellValue>& values) {
  Worksheet* sheet = Sheet();
  if (!sheet || values.empty()) return;
  const int columns = block.ColumnCount();
  std::vector<calc::SheetCell> changed;
  if (formulas_) changed.reserve(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (std::holds_alternative<std::monostate>(values[i])) continue;
    const CellAddress at{block.first.row + static_cast<int>(i) / columns,
                         block.first.column + static_cast<int>(i) % columns};
    sheet->SetValue(at, values[i]);
    if (formulas_) changed.push_back({sheet_, at});
  }
  if (!suspended_) {
    emit dataChanged(index(block.first.row, block.first.column), index(block.last.row, block.last.column));
  }
  Recalculate(changed);
}

void WorkbookTableModel::Clear(const CellRange& range) {
  Worksheet* sheet = Sheet();
  if (!sheet) return;
  sheet->ClearContents(range);
  if (!suspended_) {
    emit dataChanged(index(range.first.row, range.first.column), index(range.last.row, range.last.column));
  }
  std::vector<calc::SheetCell> changed;
  CellsOf(*sheet, sheet_, range, changed);
  Recalculate(changed);
}

void WorkbookTableModel::Unmerge(const CellRange& range) {
  Worksheet* sheet = Sheet();
  if (!sheet) return;
  const std::size_t merges = sheet->Merges().size();
  sheet->RemoveMergesIn(range);
  if (sheet->Merges().size() != merges) emit sheetReplaced(sheet_);
}

void WorkbookTableModel::SetNumberFormat(const CellRange& range, const std::string& code) {
  Worksheet* sheet = Sheet();
  if (!sheet) return;
  workbook_->SetNumberFormat(*sheet, range, code);
  if (!suspended_) {
    emit dataChanged(index(range.first.row, range.first.column), index(range.last.row, range.last.column));
  }
}

void WorkbookTableModel::SetSuspended(bool suspended) {
  if (suspended == suspended_) return;
  suspended_ = suspended;
  if (!suspended_) ComputePending();
  if (!suspended_ && Sheet()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
}

}  // namespace spreadsheet
