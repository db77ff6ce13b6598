#include "sheetview/SheetView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>

#include "sheetview/CellDelegate.h"
#include "workbook/SheetMetrics.h"
#include "workbook/Worksheet.h"

namespace spreadsheet {

namespace {

const char* const kSheetStyle =
    "QTableView { background: white; border: none; selection-background-color: transparent; }"
    "QHeaderView { background: #f3f3f3; }"
    "QHeaderView::section { background: #f3f3f3; color: #444444; border: none;"
    "  border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; padding: 0 3px; }"
    "QHeaderView::section:checked { background: #d2e6d8; color: #185c37; }"
    "QTableCornerButton::section { background: #f3f3f3; border: none;"
    "  border-right: 1px solid #c0c0c0; border-bottom: 1px solid #c0c0c0; }";

}  // namespace

SheetView::SheetView(QWidget* parent) : QTableView(parent), delegate_(new CellDelegate(this)) {
  setItemDelegate(delegate_);
  setShowGrid(false);  // the delegate draws the grid, so borders are not painted over
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setCornerButtonEnabled(true);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setStyleSheet(QString::fromLatin1(kSheetStyle));
  horizontalHeader()->setDefaultSectionSize(SheetMetrics::ColumnPixels(SheetMetrics::kDefaultColumnCharacters));
  horizontalHeader()->setMinimumSectionSize(0);
  horizontalHeader()->setFixedHeight(22);
  horizontalHeader()->setHighlightSections(true);
  verticalHeader()->setDefaultSectionSize(SheetMetrics::RowPixels(SheetMetrics::kDefaultRowPoints));
  verticalHeader()->setMinimumSectionSize(0);
  verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  verticalHeader()->setFixedWidth(46);
  verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
  verticalHeader()->setHighlightSections(true);
}

void SheetView::ApplySheetLayout(const Worksheet& sheet) {
  clearSpans();
  for (const CellRange& merge : sheet.Merges()) {
    setSpan(merge.first.row, merge.first.column, merge.RowCount(), merge.ColumnCount());
  }
  QHeaderView* columns = horizontalHeader();
  for (int c = 0; c < columns->count(); ++c) {
    const int width = SheetMetrics::ColumnWidth(sheet, c);
    if (columns->sectionSize(c) != width) columns->resizeSection(c, width);
  }
  QHeaderView* rows = verticalHeader();
  const int defaultHeight = rows->defaultSectionSize();
  for (int r : customRows_) {
    if (r < rows->count()) rows->resizeSection(r, defaultHeight);
  }
  customRows_.clear();
  for (const auto& [r, points] : sheet.RowHeights()) {
    if (r >= rows->count()) continue;
    rows->resizeSection(r, SheetMetrics::RowPixels(points));
    customRows_.push_back(r);
  }
}

CellRange SheetView::SelectedRange() const {
  const QModelIndexList selected = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList{};
  const QModelIndex current = currentIndex();
  if (selected.isEmpty()) {
    const CellAddress a{std::max(0, current.row()), std::max(0, current.column())};
    return CellRange{a, a};
  }
  // Ranges are cheaper than the index list for large selections.
  const QItemSelection selection = selectionModel()->selection();
  CellRange bounds{{selection.first().top(), selection.first().left()},
                   {selection.first().bottom(), selection.first().right()}};
  for (const QItemSelectionRange& r : selection) {
    bounds.first.row = std::min(bounds.first.row, r.top());
    bounds.first.column = std::min(bounds.first.column, r.left());
    bounds.last.row = std::max(bounds.last.row, r.bottom());
    bounds.last.column = std::max(bounds.last.column, r.right());
  }
  return bounds;
}

void SheetView::SetCurrentCell(CellAddress address) {
  if (!model()) return;
  const QModelIndex index = model()->index(address.row, address.column);
  if (!index.isValid()) return;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
}

void SheetView::MoveCurrent(int rows, int columns) {
  if (!model()) return;
  const QModelIndex current = currentIndex();
  int row = std::max(0, current.row());
  int column = std::max(0, current.column());
  // Leaving a merged cell moves past its whole span.
  if (rows > 0) row += std::max(1, rowSpan(row, column)) - 1;
  if (columns > 0) column += std::max(1, columnSpan(row, column)) - 1;
  row = std::clamp(row + rows, 0, model()->rowCount() - 1);
  column = std::clamp(column + columns, 0, model()->columnCount() - 1);
  SetCurrentCell(CellAddress{row, column});
}

void SheetView::keyPressEvent(QKeyEvent* event) {
  if (state() != QAbstractItemView::EditingState) {
    if (event->matches(QKeySequence::Copy)) return emit copyRequested();
    if (event->matches(QKeySequence::Cut)) return emit cutRequested();
    if (event->matches(QKeySequence::Paste)) return emit pasteRequested();
    if (event->matches(QKeySequence::Undo)) return emit undoRequested();
    if (event->matches(QKeySequence::Redo)) return emit redoRequested();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: return MoveCurrent(shift ? -1 : 1, 0);
      case Qt::Key_Tab: return MoveCurrent(0, 1);
      case Qt::Key_Backtab: return MoveCurrent(0, -1);
      case Qt::Key_Delete: return emit clearRequested();
      case Qt::Key_Backspace:
        delegate_->SetReplaceOnNextEdit(true);
        QTableView::edit(currentIndex(), QAbstractItemView::EditKeyPressed, event);
        delegate_->SetReplaceOnNextEdit(false);
        return;
      default: break;
    }
  }
  QTableView::keyPressEvent(event);
}

bool SheetView::event(QEvent* event) {
  // Tab moves between cells, not the keyboard focus between widgets.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      keyPressEvent(key);
      return true;
    }
  }
  return QTableView::event(event);
}

bool SheetView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  const bool typing = trigger == QAbstractItemView::AnyKeyPressed && event &&
                      event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->text().isEmpty();
  if (typing) delegate_->SetReplaceOnNextEdit(true);
  const bool started = QTableView::edit(index, trigger, event);
  if (typing) delegate_->SetReplaceOnNextEdit(false);
  // The view selects the editor's whole text; editing in place starts at its end instead.
  if (started && !typing) {
    if (auto* line = qobject_cast<QLineEdit*>(indexWidget(index))) line->end(false);
  }
  return started;
}

void SheetView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  // Enter commits and moves down, as in every spreadsheet; the delegate reports it as
  // SubmitModelCache, Tab as EditNextItem.
  if (hint == QAbstractItemDelegate::SubmitModelCache) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    MoveCurrent(1, 0);
    return;
  }
  if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    MoveCurrent(0, hint == QAbstractItemDelegate::EditNextItem ? 1 : -1);
    return;
  }
  QTableView::closeEditor(editor, hint);
}

}  // namespace spreadsheet
