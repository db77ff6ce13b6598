#include "sheetview/WorkbookTableModel.h"

#include <QUndoStack>
#include <algorithm>

#include "workbook/CellInput.h"
#include "sheetview/CellPainter.h"
#include "sheetview/SetCellsCommand.h"

namespace spreadsheet {

namespace {

const CellStyle& DefaultStyle() {
  static const CellStyle style;
  return style;
}

bool SameContent(const Cell& a, const Cell& b) { return a.value == b.value && a.formula == b.formula; }

}  // namespace

WorkbookTableModel::WorkbookTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void WorkbookTableModel::SetWorkbook(Workbook* workbook) {
  beginResetModel();
  workbook_ = workbook;
  sheet_ = workbook && workbook->SheetCount() > 0 ? workbook->ActiveSheet() : 0;
  endResetModel();
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

QString WorkbookTableModel::DisplayText(int row, int column) const {
  const Worksheet* sheet = Sheet();
  if (!sheet) return {};
  const Cell* cell = sheet->FindCell(CellAddress{row, column});
  if (!cell || IsEmptyValue(cell->value)) return {};
  return QString::fromStdString(formats_.Display(cell->value, StyleAt(row, column).numberFormat, workbook_->Dates()));
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
  return Edit({{CellAddress{index.row(), index.column()}, CellInput::Parse(typed.toStdString())}},
              tr("输入"));
}

bool WorkbookTableModel::Edit(const std::vector<std::pair<CellAddress, CellValue>>& values, const QString& text) {
  Worksheet* sheet = Sheet();
  if (!sheet) return false;
  for (const auto& [address, value] : values) {
    const auto* text = std::get_if<std::string>(&value);
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
  for (const auto& [address, value] : values) {
    const Cell* old = sheet->FindCell(address);
    Cell oldContent;
    if (old) {
      oldContent.value = old->value;
      oldContent.formula = old->formula;
    }
    Cell newContent;
    newContent.value = value;
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
  emit cellsEdited(sheetIndex, bounds);
}

void WorkbookTableModel::ReplaceSheet(std::size_t index, const Worksheet& sheet) {
  if (!workbook_ || index >= workbook_->SheetCount()) return;
  workbook_->SheetAt(index) = sheet;
  if (index == sheet_ && !suspended_) emit dataChanged(this->index(0, 0), this->index(rowCount() - 1, columnCount() - 1));
  emit sheetReplaced(index);
}

void WorkbookTableModel::SetValue(CellAddress address, CellValue value) {
  Worksheet* sheet = Sheet();
  if (!sheet) return;
  sheet->SetValue(address, std::move(value));
  if (!suspended_) {
    const QModelIndex i = index(address.row, address.column);
    emit dataChanged(i, i);
  }
}

void WorkbookTableModel::Clear(const CellRange& range) {
  Worksheet* sheet = Sheet();
  if (!sheet) return;
  sheet->ClearContents(range);
  if (!suspended_) {
    emit dataChanged(index(range.first.row, range.first.column), index(range.last.row, range.last.column));
  }
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
  if (!suspended_ && Sheet()) {
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  }
}

}  // namespace spreadsheet
