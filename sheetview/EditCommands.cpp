#include "sheetview/EditCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QWidget>
#include <QUndoStack>
#include <algorithm>
#include <unordered_set>

#include "sheetview/BusyCursor.h"
#include "sheetview/SetCellsCommand.h"
#include "sheetview/ReplaceSheetCommand.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookDialogs.h"
#include "sheetview/WorkbookTableModel.h"
#include "workbook/SpreadsheetError.h"
#include "workbook/TsvText.h"

namespace spreadsheet {

namespace {

// The clipboard format that carries cells as typed (full precision, formulas, apostrophes)
// between our own windows; other programs get the displayed text.
const QString kCellsMime = QStringLiteral("application/x-levelbook-cells");
// Where the copied block stood ("row,column", 0-based): a paste moves relative references by
// the distance from there.
const QString kOriginMime = QStringLiteral("application/x-levelbook-origin");

std::optional<CellAddress> CopiedFrom(const QMimeData& mime) {
  if (!mime.hasFormat(kOriginMime)) return std::nullopt;
  const QList<QByteArray> parts = mime.data(kOriginMime).split(',');
  bool rowOk = false, columnOk = false;
  if (parts.size() != 2) return std::nullopt;
  const int row = parts[0].toInt(&rowOk), column = parts[1].toInt(&columnOk);
  if (!rowOk || !columnOk) return std::nullopt;
  return CellAddress{row, column};
}

const QString kOneBlockOnly = QStringLiteral("不能对多重选定区域使用此命令。请只选定一个区域。");

long long CellCount(const std::vector<CellRange>& ranges) {
  long long count = 0;
  for (const CellRange& r : ranges) count += static_cast<long long>(r.RowCount()) * r.ColumnCount();
  return count;
}

QString Number(long long n) { return QString::number(n); }

long long Key(CellAddress a) { return static_cast<long long>(a.row) * CellAddress::kMaxColumns + a.column; }

}  // namespace

EditCommands::EditCommands(WorkbookTableModel& model, SheetView& view, QUndoStack& undo,
                           std::shared_ptr<WorkbookDialogs> dialogs, QWidget& owner)
    : QObject(&owner), model_(model), view_(view), undo_(undo), dialogs_(std::move(dialogs)), owner_(owner) {
  // Any other edit ends a cut, as in the spreadsheet programs.
  connect(&undo_, &QUndoStack::indexChanged, this, [this] {
    if (!moving_) CancelCut();
  });
  // The mark shows on the cut's own sheet only.
  connect(&model_, &QAbstractItemModel::modelReset, this, &EditCommands::ShowMark);
}

void EditCommands::ShowMark() {
  const bool here = cut_ && cut_->sheet == model_.SheetIndex();
  view_.SetMarkedRange(here ? std::optional<CellRange>(cut_->range) : std::nullopt);
}

bool EditCommands::CheckCellCount(const QString& title, long long cells) {
  if (cells <= kMaxCellsPerCommand) return true;
  dialogs_->ShowError(&owner_, title,
                      QStringLiteral("所选区域有 %1 个单元格，一次最多处理 %2 个。请选定较小的区域后重试。")
                          .arg(Number(cells), Number(kMaxCellsPerCommand)));
  return false;
}

template <typename Entries>
bool EditCommands::FitMerges(const QString& title, Entries& values) {
  const Worksheet* sheet = model_.Sheet();
  if (!sheet || sheet->Merges().empty()) return true;
  std::unordered_set<long long> written;
  for (const auto& entry : values) written.insert(Key(entry.first));
  std::unordered_set<long long> covered;  // cells under merges held whole: not written
  for (const CellRange& m : sheet->Merges()) {
    long long inside = 0;
    bool beyondFirst = false;
    for (int r = m.first.row; r <= m.last.row; ++r) {
      for (int c = m.first.column; c <= m.last.column; ++c) {
        if (!written.count(Key({r, c}))) continue;
        ++inside;
        beyondFirst = beyondFirst || CellAddress{r, c} != m.first;
      }
    }
    const long long size = static_cast<long long>(m.RowCount()) * m.ColumnCount();
    if (inside == size) {
      for (int r = m.first.row; r <= m.last.row; ++r) {
        for (int c = m.first.column; c <= m.last.column; ++c) {
          if (CellAddress{r, c} != m.first) covered.insert(Key({r, c}));
        }
      }
    } else if (beyondFirst) {
      dialogs_->ShowError(&owner_, title, QString::fromUtf8(kMergePartMessage));
      return false;
    }
  }
  if (!covered.empty()) {
    std::erase_if(values, [&covered](const auto& entry) { return covered.count(Key(entry.first)) > 0; });
  }
  return true;
}

bool EditCommands::Copy() {
  if (!model_.Sheet()) return false;
  const std::vector<CellRange> ranges = view_.SelectedRanges();
  if (ranges.size() > 1) {
    dialogs_->ShowError(&owner_, QStringLiteral("复制"), kOneBlockOnly);
    return false;
  }
  const CellRange range = ranges.front();
  if (!CheckCellCount(QStringLiteral("复制"), CellCount(ranges))) return false;
  const BusyCursor busy;
  TsvText::Rows shown;
  TsvText::Rows typed;
  for (int r = range.first.row; r <= range.last.row; ++r) {
    auto& shownRow = shown.emplace_back();
    auto& typedRow = typed.emplace_back();
    for (int c = range.first.column; c <= range.last.column; ++c) {
      shownRow.push_back(model_.DisplayText(r, c).toStdString());
      typedRow.push_back(model_.EditText(r, c).toStdString());
    }
  }
  auto* mime = new QMimeData;
  mime->setText(QString::fromStdString(TsvText::Format(shown)));
  mime->setData(kCellsMime, QByteArray::fromStdString(TsvText::Format(typed)));
  mime->setData(kOriginMime, QByteArray::number(range.first.row) + ',' + QByteArray::number(range.first.column));
  QApplication::clipboard()->setMimeData(mime);
  CancelCut();
  return true;
}

void EditCommands::Cut() {
  if (!Copy()) return;
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  cut_ = PendingCut{model_.SheetIndex(), view_.SelectedRange(), mime ? mime->data(kCellsMime) : QByteArray()};
  ShowMark();
}

void EditCommands::CancelCut() {
  if (!cut_) return;
  cut_.reset();
  ShowMark();
}

void EditCommands::Paste() {
  if (!model_.Sheet()) return;
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  if (!mime) return;
  const BusyCursor busy;
  const std::string text =
      mime->hasFormat(kCellsMime) ? mime->data(kCellsMime).toStdString() : mime->text().toStdString();
  const TsvText::Rows rows = TsvText::Parse(text);
  if (rows.empty()) return;
  const std::vector<CellRange> selection = view_.SelectedRanges();
  const QString title = QStringLiteral("粘贴");
  // Entries as typed: a formula moves its relative references by the distance it travels.
  const std::optional<CellAddress> origin = mime->hasFormat(kCellsMime) ? CopiedFrom(*mime) : std::nullopt;
  const auto moved = [&](const std::string& typed, CellAddress to, CellAddress from) {
    return origin ? WorkbookTableModel::Moved(typed, to.row - from.row, to.column - from.column) : typed;
  };
  WorkbookTableModel::TypedEntries values;
  CellRange target = selection.front();
  if (rows.size() == 1 && rows.front().size() == 1) {
    // One entry fills the whole selection, a formula moved to each cell.
    if (!CheckCellCount(title, CellCount(selection))) return;
    for (const CellRange& range : selection) {
      for (int r = range.first.row; r <= range.last.row; ++r) {
        for (int c = range.first.column; c <= range.last.column; ++c) {
          const CellAddress to{r, c};
          values.emplace_back(to, moved(rows.front().front(), to, origin.value_or(to)));
        }
      }
    }
  } else {
    if (selection.size() > 1) {
      dialogs_->ShowError(&owner_, title, kOneBlockOnly);
      return;
    }
    const CellAddress start = selection.front().first;
    std::size_t columns = 0;
    long long cells = 0;
    for (const auto& row : rows) {
      columns = std::max(columns, row.size());
      cells += static_cast<long long>(row.size());
    }
    // A block that does not fit is refused whole: a silently cut route is worse than none.
    const long long rowsLeft = CellAddress::kMaxRows - start.row;
    if (static_cast<long long>(rows.size()) > rowsLeft) {
      dialogs_->ShowError(&owner_, title,
                          QStringLiteral("要粘贴的内容有 %1 行，从第 %2 行到工作表末行（第 65536 行）只能放下 %3 行。"
                                         "没有粘贴任何内容。")
                              .arg(Number(static_cast<long long>(rows.size())), Number(start.row + 1L), Number(rowsLeft)));
      return;
    }
    const long long columnsLeft = CellAddress::kMaxColumns - start.column;
    if (static_cast<long long>(columns) > columnsLeft) {
      dialogs_->ShowError(&owner_, title,
                          QStringLiteral("要粘贴的内容有 %1 列，从 %2 列到工作表末列（IV 列）只能放下 %3 列。"
                                         "没有粘贴任何内容。")
                              .arg(Number(static_cast<long long>(columns)),
                                   QString::fromStdString(CellAddress::ColumnName(start.column)), Number(columnsLeft)));
      return;
    }
    if (!CheckCellCount(title, cells)) return;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      for (std::size_t j = 0; j < rows[i].size(); ++j) {
        const CellAddress to{start.row + static_cast<int>(i), start.column + static_cast<int>(j)};
        const CellAddress from =
            origin ? CellAddress{origin->row + static_cast<int>(i), origin->column + static_cast<int>(j)} : to;
        values.emplace_back(to, moved(rows[i][j], to, from));
      }
    }
    target = CellRange{start, {start.row + static_cast<int>(rows.size()) - 1, start.column + static_cast<int>(columns) - 1}};
  }
  if (!FitMerges(title, values)) return;
  const bool move = cut_ && mime->hasFormat(kCellsMime) && mime->data(kCellsMime) == cut_->payload;
  if (!move) {
    model_.EditTyped(values, title);
    return;
  }
  const PendingCut cut = *cut_;
  CancelCut();
  const std::size_t targetSheet = model_.SheetIndex();
  if (cut.sheet == targetSheet && cut.range == target) return;  // moved onto itself
  Workbook* workbook = model_.GetWorkbook();
  if (!workbook || cut.sheet >= workbook->SheetCount()) {
    model_.EditTyped(values, title);
    return;
  }
  const Values cleared = ContentsToClear(workbook->SheetAt(cut.sheet), {cut.range});
  // The source is cleared and the target written as one step; on one sheet the source goes
  // first, so that where both overlap the moved cells win.
  moving_ = true;
  undo_.beginMacro(title);
  if (cut.sheet == targetSheet) {
    model_.Edit(cleared, title);
    model_.EditTyped(values, title);
  } else {
    model_.EditTyped(values, title);
    WorkbookTableModel::CellContents before;
    WorkbookTableModel::CellContents after;
    for (const auto& [address, value] : cleared) {
      const Cell* old = workbook->SheetAt(cut.sheet).FindCell(address);
      Cell content;
      if (old) {
        content.value = old->value;
        content.formula = old->formula;
      }
      before.emplace_back(address, std::move(content));
      after.emplace_back(address, Cell{});
    }
    if (!after.empty()) {
      undo_.push(new SetCellsCommand(model_, cut.sheet, std::move(before), std::move(after), title));
    }
  }
  undo_.endMacro();
  moving_ = false;
  if (model_.SheetIndex() != targetSheet) emit sheetWanted(targetSheet);
}

EditCommands::Values EditCommands::ContentsToClear(const Worksheet& sheet, const std::vector<CellRange>& ranges) const {
  // Only cells that hold something: a whole selected column must not become 65,536 entries.
  Values values;
  for (const CellRange& range : ranges) {
    for (int r = range.first.row; r <= std::min(range.last.row, sheet.RowExtent() - 1); ++r) {
      const auto& cells = sheet.Row(r);
      for (int c = range.first.column; c <= std::min(range.last.column, static_cast<int>(cells.size()) - 1); ++c) {
        const Cell& cell = cells[static_cast<std::size_t>(c)];
        if (!IsEmptyValue(cell.value) || cell.HasFormula()) values.emplace_back(CellAddress{r, c}, std::monostate{});
      }
    }
  }
  return values;
}

void EditCommands::ClearSelection() {
  const Worksheet* sheet = model_.Sheet();
  if (!sheet) return;
  const BusyCursor busy;
  model_.Edit(ContentsToClear(*sheet, view_.SelectedRanges()), QStringLiteral("清除内容"));
}

void EditCommands::Fill(bool down) {
  if (!model_.Sheet()) return;
  const QString title = down ? QStringLiteral("向下填充") : QStringLiteral("向右填充");
  const std::vector<CellRange> selection = view_.SelectedRanges();
  if (selection.size() > 1) {
    dialogs_->ShowError(&owner_, title, kOneBlockOnly);
    return;
  }
  const CellRange block = selection.front();
  const int span = down ? block.RowCount() : block.ColumnCount();
  // One row (column) selected: it takes the one above (to the left); the sheet's first has none.
  const int source = span == 1 ? (down ? block.first.row : block.first.column) - 1 : (down ? block.first.row : block.first.column);
  if (source < 0) return;
  const int first = span == 1 ? (down ? block.first.row : block.first.column) : source + 1;
  const int last = down ? block.last.row : block.last.column;
  const int acrossFirst = down ? block.first.column : block.first.row;
  const int acrossLast = down ? block.last.column : block.last.row;
  if (!CheckCellCount(title, static_cast<long long>(last - first + 1) * (acrossLast - acrossFirst + 1))) return;
  const BusyCursor busy;
  WorkbookTableModel::TypedEntries values;
  for (int across = acrossFirst; across <= acrossLast; ++across) {
    const CellAddress from = down ? CellAddress{source, across} : CellAddress{across, source};
    const std::string typed = model_.EditText(from.row, from.column).toStdString();
    for (int along = first; along <= last; ++along) {
      const CellAddress to = down ? CellAddress{along, across} : CellAddress{across, along};
      values.emplace_back(to, WorkbookTableModel::Moved(typed, to.row - from.row, to.column - from.column));
    }
  }
  if (!FitMerges(title, values)) return;
  model_.EditTyped(values, title);
}

void EditCommands::FillDown() { Fill(true); }

void EditCommands::FillRight() { Fill(false); }

void EditCommands::FillSelection(const QString& typed) {
  if (!model_.Sheet()) return;
  const QString title = QStringLiteral("输入");
  const std::vector<CellRange> selection = view_.SelectedRanges();
  if (!CheckCellCount(title, CellCount(selection))) return;
  const BusyCursor busy;
  // A formula is typed for the block's first cell and moves with each other cell.
  const std::string entry = typed.toStdString();
  const CellAddress base = selection.front().first;
  WorkbookTableModel::TypedEntries values;
  for (const CellRange& range : selection) {
    for (int r = range.first.row; r <= range.last.row; ++r) {
      for (int c = range.first.column; c <= range.last.column; ++c) {
        values.emplace_back(CellAddress{r, c}, WorkbookTableModel::Moved(entry, r - base.row, c - base.column));
      }
    }
  }
  if (!FitMerges(title, values)) return;
  model_.EditTyped(values, title);
}

calc::StructureChange EditCommands::Structure(calc::StructureChange::Axis axis, int at, int count) const {
  const Worksheet* sheet = model_.Sheet();
  return calc::StructureChange{sheet ? sheet->Name() : std::string(), axis, at, count};
}

void EditCommands::ChangeStructure(const QString& text, const std::function<void(Worksheet&)>& change,
                                   const calc::StructureChange& formulas) {
  Worksheet* sheet = model_.Sheet();
  if (!sheet) return;
  const BusyCursor busy;
  Worksheet after = *sheet;
  try {
    change(after);
  } catch (const SpreadsheetError& e) {
    dialogs_->ShowError(&owner_, text, QString::fromStdString(e.Description()));
    return;
  }
  undo_.push(new ReplaceSheetCommand(model_, model_.SheetIndex(), *sheet, std::move(after), text, formulas));
}

void EditCommands::InsertRows() {
  const CellRange r = view_.SelectedRange();
  ChangeStructure(QStringLiteral("插入行"), [r](Worksheet& s) { s.InsertRows(r.first.row, r.RowCount()); },
                  Structure(calc::StructureChange::Axis::Rows, r.first.row, r.RowCount()));
}

void EditCommands::DeleteRows() {
  const CellRange r = view_.SelectedRange();
  ChangeStructure(QStringLiteral("删除行"), [r](Worksheet& s) { s.DeleteRows(r.first.row, r.RowCount()); },
                  Structure(calc::StructureChange::Axis::Rows, r.first.row, -r.RowCount()));
}

void EditCommands::InsertColumns() {
  const CellRange r = view_.SelectedRange();
  ChangeStructure(QStringLiteral("插入列"), [r](Worksheet& s) { s.InsertColumns(r.first.column, r.ColumnCount()); },
                  Structure(calc::StructureChange::Axis::Columns, r.first.column, r.ColumnCount()));
}

void EditCommands::DeleteColumns() {
  const CellRange r = view_.SelectedRange();
  ChangeStructure(QStringLiteral("删除列"), [r](Worksheet& s) { s.DeleteColumns(r.first.column, r.ColumnCount()); },
                  Structure(calc::StructureChange::Axis::Columns, r.first.column, -r.ColumnCount()));
}

}  // namespace spreadsheet
