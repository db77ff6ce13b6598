#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstddef>
#include <memory>
#include <string_view>
#include <string>
#include <utility>
#include <vector>

#include "calc/Recalculator.h"
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
  // A formula text written into a cell of a sheet (structure edits rewrite references).
  struct FormulaWrite {
    std::size_t sheet;
    CellAddress cell;
    std::string formula;
  };
  using TypedEntries = std::vector<std::pair<CellAddress, std::string>>;

  explicit WorkbookTableModel(QObject* parent = nullptr);
  ~WorkbookTableModel() override;

  // What a typed entry becomes: "=…" a formula (its result computed when written), anything
  // else as CellInput::Parse reads it.
  static Cell Typed(std::string_view typed);
  // A typed entry copied `rows` down and `columns` right: a formula's relative references
  // move with it (ReferenceRewriter::Shift); any other entry stays as it is.
  static std::string Moved(std::string_view typed, int rows, int columns);
  // The value a cell shows on screen and on paper: its own, except a formula naming a function
  // or name no calculation here knows, which has none and shows the error #NAME? as
  // spreadsheets show it. Empty for no cell.
  static CellValue Shown(const Cell* cell);

  // The workbook must outlive its use here; nullptr shows nothing. Shows its active sheet.
  // Formulas without a result are computed; every formula is kept true from then on.
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
  // The same with entries as typed (see Typed): formulas become formulas.
  bool EditTyped(const TypedEntries& entries, const QString& text);
  // Puts contents into a sheet (the undo commands use this); emits cellsEdited.
  void SetContents(std::size_t sheet, const CellContents& contents);

  // Puts a whole sheet in place (structure edits and their undo), with the formulas of other
  // sheets whose references the edit moved; emits sheetReplaced.
  void ReplaceSheet(std::size_t index, const Worksheet& sheet, const std::vector<FormulaWrite>& others = {});

  // Appends a copy of `sheet` of `source` (Workbook::AddSheetCopy), or puts back a sheet the
  // model took out; emits sheetAdded. Throws SpreadsheetError 1004 when the name is taken.
  void AddSheetCopy(const Workbook& source, const Worksheet& sheet);
  void AddSheet(Worksheet sheet);
  // Takes a sheet out (the undo of a program step that added it); the shown sheet stays, or
  // becomes the one before it when it goes. Emits sheetRemoved. Throws std::out_of_range.
  Worksheet RemoveSheet(std::size_t index);

  // The host's writes into the shown sheet: not undoable, signalled unless suspended.
  void SetValue(CellAddress address, CellValue value);
  // Rows of values into `block` (row by row, as many as it holds); an empty value leaves its
  // cell. One signal and one recalculation for the whole block.
  void SetValues(const CellRange& block, const std::vector<CellValue>& values);
  void Clear(const CellRange& range);
  // Dissolves the merges sharing a cell with the range; emits sheetReplaced when there were any
  // (the view's spans change).
  void Unmerge(const CellRange& range);
  void SetNumberFormat(const CellRange& range, const std::string& code);

  // While suspended, the formulas depending on the host's writes are computed once, when the
  // model resumes.
  void SetSuspended(bool suspended);
  bool IsSuspended() const { return suspended_; }

  // Computes what the host's writes left pending while suspended (before the host reads), still
  // emitting nothing until the model resumes.
  void ComputePending();
  // Recomputes every formula (after changes made to the workbook behind the model's back).
  void RecalculateAll();

 signals:
  // After SetContents (user edits, undo, redo): which sheet and block changed.
  void cellsEdited(std::size_t sheet, spreadsheet::CellRange range);
  void sheetReplaced(std::size_t sheet);
  void sheetAdded(std::size_t sheet);
  void sheetRemoved(std::size_t sheet);
  // An edit was refused; `message` says why, naming the cell.
  void editRefused(const QString& message);
  // After a recalculation that computed something: a cell of a circular reference it met
  // ("数据输入!E8"), or "" when it met none.
  void circularReferenceChanged(const QString& cell);

 private:
  bool EditContents(CellContents after, const QString& text);
  // Computes the formulas depending on the cells (all sheets' dependents), repainting the
  // shown sheet when anything was computed.
  void Recalculate(const std::vector<calc::SheetCell>& cells);
  void Report(const calc::Recalculation& done);
  // After sheets were added or removed: formulas naming them read anew, and computed.
  void SheetsChanged();

  Workbook* workbook_ = nullptr;
  std::unique_ptr<calc::Recalculator> formulas_;
  std::vector<calc::SheetCell> pending_;  // host writes while suspended
  std::size_t sheet_ = 0;
  QUndoStack* undoStack_ = nullptr;
  bool suspended_ = false;
  mutable NumberFormatCache formats_;  // the grid shows the same few codes over and over
};

}  // namespace spreadsheet

Q_DECLARE_METATYPE(spreadsheet::CellRange)
