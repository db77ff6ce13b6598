#include "sheetview/SheetView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>
#include <utility>

#include "sheetview/CellDelegate.h"
#include "sheetview/WorkbookTableModel.h"
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
  connect(delegate_, &CellDelegate::fillRequested, this, &SheetView::fillSelectionRequested);
  connect(delegate_, &CellDelegate::entryChanged, this, &SheetView::entryChanged);
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
  for (QHeaderView* header : {horizontalHeader(), verticalHeader()}) {
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this, [this, header](const QPoint& at) {
      const int section = header->logicalIndexAt(at);
      if (section < 0) return;
      const bool rows = header->orientation() == Qt::Vertical;
      // A right click on a header outside the selection selects that row or column.
      bool inside = false;
      for (const CellRange& r : SelectedRanges()) {
        inside = inside || (rows ? section >= r.first.row && section <= r.last.row
                                 : section >= r.first.column && section <= r.last.column);
      }
      if (!inside) {
        if (rows) SelectRange({section, 0}, {section, CellAddress::kMaxColumns - 1});
        else SelectRange({0, section}, {CellAddress::kMaxRows - 1, section});
      }
      emit contextMenuRequested(header->mapToGlobal(at));
    });
  }
}

SheetView::SheetView(SheetView& sheet, Pane pane) : SheetView(&sheet) {
  owner_ = &sheet;
  pane_ = pane;
  connect(this, &SheetView::entryChanged, &sheet, &SheetView::entryChanged);
  connect(this, &SheetView::entryClosed, &sheet, &SheetView::entryClosed);
  setModel(sheet.model());
  setSelectionModel(sheet.selectionModel());
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::NoFocus);
  setHorizontalScrollMode(sheet.horizontalScrollMode());
  setVerticalScrollMode(sheet.verticalScrollMode());
  horizontalHeader()->setVisible(pane != Pane::Top);
  // The top rows scroll across with the sheet, the left columns down with it.
  if (pane == Pane::Top) {
    connect(sheet.horizontalScrollBar(), &QAbstractSlider::valueChanged, horizontalScrollBar(),
            &QAbstractSlider::setValue);
  }
  if (pane == Pane::Left) {
    connect(sheet.verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
  }
  connect(sheet.horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int section, int, int size) { horizontalHeader()->resizeSection(section, size); });
  connect(sheet.verticalHeader(), &QHeaderView::sectionResized, this,
          [this](int section, int, int size) { verticalHeader()->resizeSection(section, size); });
  connect(this, &SheetView::contextMenuRequested, &sheet, &SheetView::contextMenuRequested);
  connect(this, &SheetView::fillSelectionRequested, &sheet, &SheetView::fillSelectionRequested);
}

int SheetView::FrozenHeight() const {
  int height = 0;
  for (int r = 0; r < frozen_.rows; ++r) height += rowHeight(r);
  return height;
}

int SheetView::FrozenWidth() const {
  int width = 0;
  for (int c = 0; c < frozen_.columns; ++c) width += columnWidth(c);
  return width;
}

void SheetView::PlacePanes() {
  if (panes_.empty()) return;
  const QRect area = viewport()->geometry();
  const int headerWidth = verticalHeader()->isVisible() ? verticalHeader()->width() : 0;
  const int headerHeight = horizontalHeader()->isVisible() ? horizontalHeader()->height() : 0;
  const int left = area.left() - headerWidth;
  const int top = area.top() - headerHeight;
  for (SheetView* pane : panes_) {
    switch (pane->pane_) {
      case Pane::Top: pane->setGeometry(left, area.top(), headerWidth + area.width(), FrozenHeight()); break;
      case Pane::Left:
        pane->setGeometry(left, top, headerWidth + FrozenWidth(), headerHeight + area.height());
        break;
      case Pane::Corner:
        pane->setGeometry(left, top, headerWidth + FrozenWidth(), headerHeight + FrozenHeight());
        pane->raise();
        break;
    }
  }
}

void SheetView::updateGeometries() {
  QTableView::updateGeometries();
  PlacePanes();
}

SheetView* SheetView::PaneOver(const QModelIndex& index) const {
  if (!index.isValid()) return nullptr;
  const bool row = index.row() < frozen_.rows, column = index.column() < frozen_.columns;
  if (!row && !column) return nullptr;
  const Pane wanted = row && column ? Pane::Corner : row ? Pane::Top : Pane::Left;
  for (SheetView* pane : panes_) {
    if (pane->pane_ == wanted) return pane;
  }
  return nullptr;
}

QWidget* SheetView::EditorParent(const QModelIndex& index) const {
  const SheetView* pane = PaneOver(index);
  return pane ? pane->viewport() : viewport();
}

QRect SheetView::EditorRect(const QModelIndex& index) const {
  const SheetView* pane = PaneOver(index);
  return pane ? pane->visualRect(index) : visualRect(index);
}

void SheetView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (owner_) return;  // a pane's frozen rows and columns never scroll themselves
  const int vertical = verticalScrollBar()->value();
  const int horizontal = horizontalScrollBar()->value();
  QTableView::scrollTo(index, hint);
  if (panes_.empty() || !index.isValid()) return;
  // A frozen cell is always in view; any other cell must come out from under the panes.
  if (const int step = verticalHeader()->defaultSectionSize(); frozen_.rows > 0 && step > 0) {
    const int value = verticalScrollBar()->value();
    if (value % step != 0) verticalScrollBar()->setValue(value + step - value % step);
  }
  if (index.row() < frozen_.rows) {
    verticalScrollBar()->setValue(vertical);
  } else if (const int hidden = FrozenHeight() - rowViewportPosition(index.row()); frozen_.rows > 0 && hidden > 0) {
    verticalScrollBar()->setValue(verticalScrollBar()->value() - hidden);
  }
  if (index.column() < frozen_.columns) {
    horizontalScrollBar()->setValue(horizontal);
  } else if (const int hidden = FrozenWidth() - columnViewportPosition(index.column()); frozen_.columns > 0 && hidden > 0) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
  }
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
  if (owner_) return;
  for (SheetView* pane : panes_) delete pane;
  panes_.clear();
  frozen_ = FrozenPane{std::clamp(sheet.Frozen().rows, 0, CellAddress::kMaxRows - 1),
                       std::clamp(sheet.Frozen().columns, 0, CellAddress::kMaxColumns - 1)};
  // Under frozen rows the sheet scrolls by pixels, so that it slides out from under them.
  setVerticalScrollMode(frozen_.rows > 0 ? ScrollPerPixel : ScrollPerItem);
  // By whole rows of the default height, so that a row's top meets the frozen rows' edge.
  if (frozen_.rows > 0) verticalScrollBar()->setSingleStep(verticalHeader()->defaultSectionSize());
  setHorizontalScrollMode(frozen_.columns > 0 ? ScrollPerPixel : ScrollPerItem);
  if (frozen_.rows > 0) panes_.push_back(new SheetView(*this, Pane::Top));
  if (frozen_.columns > 0) panes_.push_back(new SheetView(*this, Pane::Left));
  if (frozen_.rows > 0 && frozen_.columns > 0) panes_.push_back(new SheetView(*this, Pane::Corner));
  for (SheetView* pane : panes_) {
    pane->ApplySheetLayout(sheet);
    // A pane follows the sheet only along its free direction: the top rows across, the left
    // columns down; along the frozen one it stays at the sheet's start.
    pane->horizontalScrollBar()->setValue(pane->pane_ == Pane::Top ? horizontalScrollBar()->value() : 0);
    pane->verticalScrollBar()->setValue(pane->pane_ == Pane::Left ? verticalScrollBar()->value() : 0);
    pane->show();
  }
  PlacePanes();
}

const Worksheet* SheetView::Sheet() const {
  const auto* workbookModel = qobject_cast<const WorkbookTableModel*>(model());
  return workbookModel ? workbookModel->Sheet() : nullptr;
}

bool SheetView::HasContent(int row, int column) const {
  const Worksheet* sheet = Sheet();
  const Cell* cell = sheet ? sheet->FindCell(CellAddress{row, column}) : nullptr;
  return cell && (!IsEmptyValue(cell->value) || cell->HasFormula());
}

CellRange SheetView::Widened(CellRange range) const {
  const Worksheet* sheet = Sheet();
  // Whole rows or columns are selected as they are, merges or not.
  const bool whole = range.RowCount() == CellAddress::kMaxRows || range.ColumnCount() == CellAddress::kMaxColumns;
  if (!sheet || whole) return range;
  // A merge touched by the block joins it whole; that can reach further merges.
  for (bool grown = true; grown;) {
    grown = false;
    for (const CellRange& m : sheet->Merges()) {
      const bool overlaps = m.first.row <= range.last.row && m.last.row >= range.first.row &&
                            m.first.column <= range.last.column && m.last.column >= range.first.column;
      if (!overlaps || (range.Contains(m.first) && range.Contains(m.last))) continue;
      range = CellRange::Normalised(
          {std::min(range.first.row, m.first.row), std::min(range.first.column, m.first.column)},
          {std::max(range.last.row, m.last.row), std::max(range.last.column, m.last.column)});
      grown = true;
    }
  }
  return range;
}

CellAddress SheetView::CurrentCell() const {
  const QModelIndex current = currentIndex();
  return CellAddress{std::max(0, current.row()), std::max(0, current.column())};
}

std::vector<CellRange> SheetView::SelectedRanges() const {
  const CellAddress current = CurrentCell();
  std::vector<CellRange> ranges;
  bool holdsCurrent = false;
  if (selectionModel()) {
    // Ranges, not the index list: a whole selected sheet is 16 million indexes.
    for (const QItemSelectionRange& r : selectionModel()->selection()) {
      ranges.push_back(Widened(CellRange{{r.top(), r.left()}, {r.bottom(), r.right()}}));
      holdsCurrent = holdsCurrent || ranges.back().Contains(current);
    }
  }
  // Whatever the selection model says, a command never acts on cells away from the current one.
  if (!holdsCurrent) return {Widened(CellRange{current, current})};
  return ranges;
}

CellRange SheetView::SelectedRange() const {
  const std::vector<CellRange> ranges = SelectedRanges();
  CellRange bounds = ranges.front();
  for (const CellRange& r : ranges) {
    bounds = CellRange::Normalised(
        {std::min(bounds.first.row, r.first.row), std::min(bounds.first.column, r.first.column)},
        {std::max(bounds.last.row, r.last.row), std::max(bounds.last.column, r.last.column)});
  }
  return bounds;
}

void SheetView::SetCurrentCell(CellAddress address) { SelectRange(address, address); }

void SheetView::SelectRange(CellAddress anchor, CellAddress extent) {
  if (!model() || !selectionModel()) return;
  const CellRange block = Widened(CellRange::Normalised(anchor, extent));
  // Inside a merge the current cell is the merge's first cell, the one that holds its value.
  const CellRange anchorCell = block.Contains(Widened(CellRange{anchor, anchor}).first)
                                  ? Widened(CellRange{anchor, anchor})
                                  : CellRange{anchor, anchor};
  const QModelIndex current = model()->index(anchorCell.first.row, anchorCell.first.column);
  if (!current.isValid()) return;
  moving_ = true;
  selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
  selectionModel()->select(
      QItemSelection(model()->index(block.first.row, block.first.column), model()->index(block.last.row, block.last.column)),
      QItemSelectionModel::ClearAndSelect);
  moving_ = false;
  anchor_ = anchorCell.first;
  extent_ = extent;
  scrollTo(model()->index(extent.row, extent.column));
}

void SheetView::RestoreSelection(const std::vector<CellRange>& selection, CellAddress current) {
  if (!model() || !selectionModel()) return;
  const auto first =
      std::find_if(selection.begin(), selection.end(), [current](const CellRange& r) { return r.Contains(current); });
  if (first == selection.end()) return SetCurrentCell(current);
  QItemSelection blocks;
  for (const CellRange& r : selection) {
    blocks.select(model()->index(r.first.row, r.first.column), model()->index(r.last.row, r.last.column));
  }
  moving_ = true;
  selectionModel()->setCurrentIndex(model()->index(current.row, current.column), QItemSelectionModel::NoUpdate);
  selectionModel()->select(blocks, QItemSelectionModel::ClearAndSelect);
  moving_ = false;
  anchor_ = current;
  extent_ = first->last == current ? first->first : first->last;
}

void SheetView::ScrollToValues(int vertical, int horizontal) {
  // The scroll ranges follow the sheet's rows and columns only once the geometry is updated.
  updateGeometries();
  verticalScrollBar()->setValue(vertical);
  horizontalScrollBar()->setValue(horizontal);
}

void SheetView::SetMarkedRange(std::optional<CellRange> range) {
  marked_ = range;
  viewport()->update();
  for (SheetView* pane : panes_) pane->viewport()->update();
}

void SheetView::MoveCurrent(int rows, int columns) {
  if (!model()) return;
  int row = CurrentCell().row;
  int column = CurrentCell().column;
  // Leaving a merged cell moves past its whole span.
  if (rows > 0) row += std::max(1, rowSpan(row, column)) - 1;
  if (columns > 0) column += std::max(1, columnSpan(row, column)) - 1;
  row = std::clamp(row + rows, 0, model()->rowCount() - 1);
  column = std::clamp(column + columns, 0, model()->columnCount() - 1);
  SetCurrentCell(CellAddress{row, column});
}

CellAddress SheetView::EdgeFrom(CellAddress from, int rows, int columns) const {
  auto inside = [](int r, int c) {
    return r >= 0 && r < CellAddress::kMaxRows && c >= 0 && c < CellAddress::kMaxColumns;
  };
  int r = from.row;
  int c = from.column;
  if (!inside(r + rows, c + columns)) return from;
  if (HasContent(r, c) && HasContent(r + rows, c + columns)) {
    while (inside(r + rows, c + columns) && HasContent(r + rows, c + columns)) {
      r += rows;
      c += columns;
    }
    return {r, c};
  }
  const Worksheet* sheet = Sheet();
  r += rows;
  c += columns;
  while (!HasContent(r, c) && inside(r + rows, c + columns)) {
    // Past the last row or column that holds cells nothing more is filled: straight to the edge.
    if (sheet && rows > 0 && r >= sheet->RowExtent()) return {CellAddress::kMaxRows - 1, c};
    if (sheet && columns > 0 && c >= static_cast<int>(sheet->Row(r).size())) {
      return {r, CellAddress::kMaxColumns - 1};
    }
    r += rows;
    c += columns;
  }
  return {r, c};
}

CellAddress SheetView::LastUsedCell() const {
  CellAddress last{0, 0};
  const Worksheet* sheet = Sheet();
  if (!sheet) return last;
  for (int r = 0; r < sheet->RowExtent(); ++r) {
    const auto& cells = sheet->Row(r);
    for (int c = static_cast<int>(cells.size()) - 1; c >= 0; --c) {
      const Cell& cell = cells[static_cast<std::size_t>(c)];
      if (IsEmptyValue(cell.value) && !cell.HasFormula()) continue;
      last.row = r;
      last.column = std::max(last.column, c);
      break;
    }
  }
  return last;
}

int SheetView::PageRows() const {
  const int top = std::max(0, rowAt(0));
  const int bottom = rowAt(viewport()->height() - 1);
  return std::max(1, (bottom < 0 ? top + 20 : bottom) - top);
}

bool SheetView::Navigate(int key, bool control, bool shift) {
  const CellAddress from = shift ? extent_ : CurrentCell();
  CellAddress to = from;
  auto step = [&](int rows, int columns) {
    if (control) return EdgeFrom(from, rows, columns);
    if (!shift) {
      MoveCurrent(rows, columns);
      return CurrentCell();
    }
    return CellAddress{std::clamp(from.row + rows, 0, CellAddress::kMaxRows - 1),
                       std::clamp(from.column + columns, 0, CellAddress::kMaxColumns - 1)};
  };
  switch (key) {
    case Qt::Key_Up: to = step(-1, 0); break;
    case Qt::Key_Down: to = step(1, 0); break;
    case Qt::Key_Left: to = step(0, -1); break;
    case Qt::Key_Right: to = step(0, 1); break;
    // Ctrl+Home: the first cell outside the frozen panes, as in the spreadsheet programs.
    case Qt::Key_Home:
      to = control ? CellAddress{frozen_.rows, frozen_.columns} : CellAddress{from.row, frozen_.columns};
      break;
    case Qt::Key_End:
      if (!control) return false;
      to = LastUsedCell();
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int page = PageRows() * (key == Qt::Key_PageUp ? -1 : 1);
      const int step = verticalScrollMode() == ScrollPerItem ? page : page * verticalHeader()->defaultSectionSize();
      verticalScrollBar()->setValue(verticalScrollBar()->value() + step);
      to = CellAddress{std::clamp(from.row + page, 0, CellAddress::kMaxRows - 1), from.column};
      break;
    }
    default: return false;
  }
  tabStart_.reset();
  if (shift) {
    SelectRange(anchor_, to);
  } else {
    SetCurrentCell(to);
  }
  return true;
}

bool SheetView::MoveWithinSelection(bool down, bool backwards) {
  const std::vector<CellRange> ranges = SelectedRanges();
  if (ranges.size() != 1 || ranges.front().first == ranges.front().last) return false;
  const CellRange block = ranges.front();
  if (block.RowCount() == CellAddress::kMaxRows || block.ColumnCount() == CellAddress::kMaxColumns) return false;
  // Down the columns (Enter) or along the rows (Tab), wrapping round at the block's end.
  const int step = backwards ? -1 : 1;
  CellAddress c = CurrentCell();
  int& along = down ? c.row : c.column;
  int& across = down ? c.column : c.row;
  const int alongFirst = down ? block.first.row : block.first.column;
  const int alongLast = down ? block.last.row : block.last.column;
  const int acrossFirst = down ? block.first.column : block.first.row;
  const int acrossLast = down ? block.last.column : block.last.row;
  along += step;
  if (along > alongLast || along < alongFirst) {
    along = backwards ? alongLast : alongFirst;
    across += step;
    if (across > acrossLast || across < acrossFirst) across = backwards ? acrossLast : acrossFirst;
  }
  moving_ = true;
  selectionModel()->setCurrentIndex(model()->index(c.row, c.column), QItemSelectionModel::NoUpdate);
  moving_ = false;
  anchor_ = c;
  scrollTo(model()->index(c.row, c.column));
  return true;
}

void SheetView::Tab(bool backwards) {
  if (MoveWithinSelection(false, backwards)) return;
  if (!backwards && !tabStart_) tabStart_ = CurrentCell().column;
  const std::optional<int> start = backwards ? std::nullopt : tabStart_;
  MoveCurrent(0, backwards ? -1 : 1);
  tabStart_ = start;
}

void SheetView::Enter(bool backwards) {
  if (MoveWithinSelection(true, backwards)) return;
  const std::optional<int> start = tabStart_;
  tabStart_.reset();
  if (start && !backwards) {
    const CellAddress current = CurrentCell();
    SetCurrentCell(CellAddress{current.row, *start});
  }
  MoveCurrent(backwards ? -1 : 1, 0);
}

void SheetView::keyPressEvent(QKeyEvent* event) {
  // A pane takes no keys of its own; those an editor on it passes on go to the sheet.
  if (owner_) return event->ignore();
  if (state() != QAbstractItemView::EditingState) {
    const bool control = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (event->matches(QKeySequence::Copy)) return emit copyRequested();
    if (event->matches(QKeySequence::Cut)) return emit cutRequested();
    if (event->matches(QKeySequence::Paste)) return emit pasteRequested();
    if (event->matches(QKeySequence::Undo)) return emit undoRequested();
    // Ctrl+Y redoes on every platform, as in the spreadsheet programs; Ctrl+Shift+Z too.
    if (event->matches(QKeySequence::Redo) || (control && event->key() == Qt::Key_Y) ||
        (control && shift && event->key() == Qt::Key_Z)) {
      return emit redoRequested();
    }
    if (event->matches(QKeySequence::SelectAll)) {
      tabStart_.reset();
      moving_ = true;
      selectAll();
      moving_ = false;
      return;
    }
    if (control && !shift && (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp)) {
      return emit sheetStepRequested(event->key() == Qt::Key_PageDown ? 1 : -1);
    }
    if (control && !shift && event->key() == Qt::Key_D) return emit fillDownRequested();
    if (control && !shift && event->key() == Qt::Key_R) return emit fillRightRequested();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) return emit escapePressed();
    if (Navigate(event->key(), control, shift)) return;
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter: return Enter(shift);
      case Qt::Key_Tab: return Tab(shift);
      case Qt::Key_Backtab: return Tab(true);
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

void SheetView::mousePressEvent(QMouseEvent* event) {
  const QModelIndex clicked = indexAt(event->position().toPoint());
  if (event->button() == Qt::RightButton && clicked.isValid()) {
    // A right click outside the selection selects the clicked cell, inside keeps it.
    bool inside = false;
    for (const CellRange& r : SelectedRanges()) inside = inside || r.Contains({clicked.row(), clicked.column()});
    if (!inside) SetCurrentCell({clicked.row(), clicked.column()});
    return;
  }
  if (event->button() == Qt::LeftButton && clicked.isValid() && (event->modifiers() & Qt::ShiftModifier)) {
    tabStart_.reset();
    SelectRange(anchor_, {clicked.row(), clicked.column()});
    return;
  }
  tabStart_.reset();
  if (owner_) owner_->setFocus();  // keys always go to the sheet, wherever it was clicked
  QTableView::mousePressEvent(event);
}

void SheetView::mouseMoveEvent(QMouseEvent* event) {
  QTableView::mouseMoveEvent(event);
  const QModelIndex over = indexAt(event->position().toPoint());
  if ((event->buttons() & Qt::LeftButton) && over.isValid()) extent_ = {over.row(), over.column()};
}

void SheetView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  // Moved by a click or by the view itself: the selection grows from here.
  if (!moving_ && current.isValid()) anchor_ = extent_ = CellAddress{current.row(), current.column()};
}

QItemSelectionModel::SelectionFlags SheetView::selectionCommand(const QModelIndex& index, const QEvent* event) const {
  QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
  // Ctrl+click adds a block; toggling could leave the current cell unselected.
  if (flags & QItemSelectionModel::Toggle) flags = (flags & ~QItemSelectionModel::Toggle) | QItemSelectionModel::Select;
  return flags;
}

void SheetView::contextMenuEvent(QContextMenuEvent* event) { emit contextMenuRequested(event->globalPos()); }

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

void SheetView::KeepRefusedEntry() {
  SheetView& view = owner_ ? *owner_ : *this;
  if (view.state() == QAbstractItemView::EditingState) view.keepRefused_ = true;
}

void SheetView::CommitEdit() {
  if (state() != QAbstractItemView::EditingState) return;
  QWidget* editor = indexWidget(currentIndex());
  if (!editor) return;
  commitData(editor);
  (owner_ ? owner_->keepRefused_ : keepRefused_) = false;
  QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
  emit entryClosed();
}

void SheetView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  bool& refused = owner_ ? owner_->keepRefused_ : keepRefused_;
  const bool moving = hint == QAbstractItemDelegate::SubmitModelCache ||
                      hint == QAbstractItemDelegate::EditNextItem ||
                      hint == QAbstractItemDelegate::EditPreviousItem;
  if (std::exchange(refused, false) && moving) {
    // The refused entry stays in its cell, open for mending, as spreadsheets keep it.
    const auto* line = qobject_cast<QLineEdit*>(editor);
    const QString text = line ? line->text() : QString();
    const QModelIndex index = currentIndex();
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    if (line && index.isValid()) {
      QAbstractItemView::edit(index);
      if (auto* again = qobject_cast<QLineEdit*>(indexWidget(index))) again->setText(text);
    }
    return;
  }
  // Enter commits and moves down, as in every spreadsheet; the delegate reports it as
  // SubmitModelCache, Tab as EditNextItem.
  if (hint == QAbstractItemDelegate::SubmitModelCache) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    emit entryClosed();
    Enter(false);
    return;
  }
  if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem) {
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    emit entryClosed();
    Tab(hint == QAbstractItemDelegate::EditPreviousItem);
    return;
  }
  QTableView::closeEditor(editor, hint);
  emit entryClosed();
}

}  // namespace spreadsheet
