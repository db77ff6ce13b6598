#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "workbook/Cell.h"
#include "workbook/CellRange.h"
#include "numfmt/NumberFormatCache.h"
#include "workbook/Workbook.h"

class QUndoStack;

namespace spreadsheet {

// One sheet of a Workbook as a 65,536 × 256 table: display text under the number format,
// font, alignment and colours per cell, column letters and row numbers as headers. The
// model reads the workbook lazily, so its size costs nothing. Edits made through setData go
// on the undo stack; the host's writes (SetValue, Clear) do not. While suspended, writes
// emit nothing; resuming emits one dataChanged over the whole sheet.
class WorkbookTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role { IsNumberRole = Qt::UserRole + 1, StyleIdRole };
  using CellContents = std::vector<std::pair<CellAddress, Cell>>;  // value and formula; styles stay

  explicit WorkbookTableModel(QObject* parent = nullptr);

  // The workbook must outlive its use here; nullptr shows nothing. Shows its active sheet.
  void SetWorkbook(Workbook* workbook);
  void ShowSheet(std::size_t index);  // throws std::out_of_range
  Workbook* GetWorkbook() const { return workbook_; }
  Worksheet* Sheet() const;  // the shown sheet, or nullptr
  std::size_t SheetIndex() const { return sheet_; }
  void SetUndoStack(QUndoStack* stack) { undoStack_ = stack; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // EditRole text is read as typed (CellInput::Parse); an unchanged entry changes nothing.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  const CellStyle& StyleAt(int row, int column) const;
  QString DisplayText(int row, int column) const;  // whole, whatever the column's width
  const NumberFormat& FormatAt(int row, int column) const { return formats_.Get(StyleAt(row, column).numberFormat); }
  QString EditText(int row, int column) const;

  // The longest text a cell takes, in UTF-16 units, as in the spreadsheet programs.
  static constexpr int kMaxTextLength = 32767;

  // User edits of the shown sheet as one undoable step named `text`; unchanged cells are
  // left out. A text longer than kMaxTextLength refuses the whole step (editRefused).
  // Returns whether anything changed.
  bool Edit(const std::vector<std::pair<CellAddress, CellValue>>& values, const QString& text);
  // Puts contents into a sheet (the undo commands use this); emits cellsEdited.
  void SetContents(std::size_t sheet, const CellContents& contents);

  // Puts a whole sheet in place (structure edits and their undo); emits sheetReplaced.
  void ReplaceSheet(std::size_t index, const Worksheet& sheet);

  // The host's writes into the shown sheet: not undoable, signalled unless suspended.
  void SetValue(CellAddress address, CellValue value);
  void Clear(const CellRange& range);
  void SetNumberFormat(const CellRange& range, const std::string& code);

  void SetSuspended(bool suspended);
  bool IsSuspended() const { return suspended_; }

 signals:
  // After SetContents (user edits, undo, redo): which sheet and block changed.
  void cellsEdited(std::size_t sheet, spreadsheet::CellRange range);
  void sheetReplaced(std::size_t sheet);
  // An edit was refused; `message` says why, naming the cell.
  void editRefused(const QString& message);

 private:
  Workbook* workbook_ = nullptr;
  std::size_t sheet_ = 0;
  QUndoStack* undoStack_ = nullptr;
  bool suspended_ = false;
  mutable NumberFormatCache formats_;  // the grid shows the same few codes over and over
};

}  // namespace spreadsheet

Q_DECLARE_METATYPE(spreadsheet::CellRange)
