#include "sheetview/CellDelegate.h"

#include "sheetview/SheetView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTableView>
#include <limits>

#include "sheetview/CellPainter.h"
#include "sheetview/TextOverflow.h"
#include "sheetview/WorkbookTableModel.h"

namespace spreadsheet {

const QColor& CellDelegate::GridColor() {
  static const QColor color(0xD4, 0xD4, 0xD4);
  return color;
}

const QColor& CellDelegate::SelectionColor() {
  static const QColor color(0x21, 0x73, 0x46, 0x30);
  return color;
}

const QColor& CellDelegate::CurrentColor() {
  static const QColor color(0x21, 0x73, 0x46);
  return color;
}

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const auto* model = qobject_cast<const WorkbookTableModel*>(index.model());
  if (!model) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  const int row = index.row();
  const int column = index.column();
  // A merged cell arrives with the rectangle of the whole span.
  int lastRow = row;
  int lastColumn = column;
  if (const auto* view = qobject_cast<const QTableView*>(option.widget)) {
    lastRow = row + std::max(1, view->rowSpan(row, column)) - 1;
    lastColumn = column + std::max(1, view->columnSpan(row, column)) - 1;
  }
  const CellStyle& style = model->StyleAt(row, column);
  const QRectF rect(option.rect);

  painter->save();
  CellPainter::PaintFill(*painter, rect, style);
  // Texts too long for their cell run on over empty neighbours; the grid line they cross goes.
  bool textCrossesRight = false;
  const Workbook* workbook = model->GetWorkbook();
  const Worksheet* sheet = model->Sheet();
  if (workbook && sheet) {
    CellPainter::PaintValue(*painter, rect, style,
                            WorkbookTableModel::Shown(sheet->FindCell(CellAddress{row, column})),
                            model->FormatAt(row, column), workbook->Dates());
  }
  const auto* table = qobject_cast<const QTableView*>(option.widget);
  if (workbook && sheet && table && lastRow == row && lastColumn == column) {
    const CellAddress here{row, column};
    textCrossesRight = TextOverflow::Extent(*workbook, *sheet, here, rect).right() > rect.right() + 0.5;
    const auto geometry = [table](int c) {
      return std::pair<double, double>(table->columnViewportPosition(c), table->columnWidth(c));
    };
    const std::vector<TextOverflow::Spill> spills =
        TextOverflow::Into(*workbook, *sheet, here, rect.top(), rect.height(), geometry, 0, model->columnCount() - 1);
    for (const TextOverflow::Spill& spill : spills) {
      painter->save();
      painter->setClipRect(option.rect);
      CellPainter::PaintText(*painter, spill.extent, model->StyleAt(spill.source.row, spill.source.column),
                             model->DisplayText(spill.source.row, spill.source.column), false);
      painter->restore();
      if (spill.extent.right() > rect.right() + 0.5) textCrossesRight = true;
    }
    // A text from the left stops at a neighbour that holds a value, and the line stays there;
    // one from the right reaches its own cell.
    const bool rightHoldsValue =
        column + 1 < model->columnCount() && !IsEmptyValue(sheet->Value({row, column + 1}));
    if (textCrossesRight && rightHoldsValue) {
      textCrossesRight = false;
      for (const TextOverflow::Spill& spill : spills) {
        if (spill.source.column > column && spill.extent.left() < rect.right() - 0.5) textCrossesRight = true;
      }
    }
  }

  // Each cell draws its right and bottom edge (the stronger of its own border and the
  // neighbour's opposite one); the first row and column also draw their top and left edge.
  const int rows = model->rowCount();
  const int columns = model->columnCount();
  const Border& ownRight = model->StyleAt(row, lastColumn).right;
  const Border& right = lastColumn + 1 < columns
                            ? CellPainter::Stronger(ownRight, model->StyleAt(row, lastColumn + 1).left)
                            : ownRight;
  const Border& ownBottom = model->StyleAt(lastRow, column).bottom;
  const Border& bottom = lastRow + 1 < rows ? CellPainter::Stronger(ownBottom, model->StyleAt(lastRow + 1, column).top)
                                            : ownBottom;
  const Border none;
  const Border& left = column == 0 ? style.left : none;
  const Border& top = row == 0 ? style.top : none;
  if (!style.fill) {
    painter->setPen(GridColor());
    if (right.style == BorderStyle::None && !textCrossesRight) {
      painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    }
    if (bottom.style == BorderStyle::None) {
      painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    }
  }
  CellPainter::PaintBorders(*painter, rect, left, top, right, bottom);

  // A cut waiting for its paste: a dashed frame along the block's outer edges.
  if (const auto* sheetView = qobject_cast<const SheetView*>(option.widget); sheetView && sheetView->MarkedRange()) {
    const CellRange& marked = *sheetView->MarkedRange();
    if (marked.Contains({row, column})) {
      QPen pen(CurrentColor(), 2, Qt::DashLine);
      painter->setPen(pen);
      const QRectF r = QRectF(option.rect).adjusted(1, 1, -1, -1);
      if (row == marked.first.row) painter->drawLine(r.topLeft(), r.topRight());
      if (row == marked.last.row) painter->drawLine(r.bottomLeft(), r.bottomRight());
      if (column == marked.first.column) painter->drawLine(r.topLeft(), r.bottomLeft());
      if (column == marked.last.column) painter->drawLine(r.topRight(), r.bottomRight());
    }
  }
  // The current cell is framed whether or not the grid has the keyboard focus.
  const bool current = table ? table->currentIndex() == index : bool(option.state & QStyle::State_HasFocus);
  if ((option.state & QStyle::State_Selected) && !current) painter->fillRect(option.rect, SelectionColor());
  if (current) {
    QPen pen(CurrentColor(), 2);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
  }
  painter->restore();
}

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
  if (const auto* view = qobject_cast<const SheetView*>(QObject::parent())) parent = view->EditorParent(index);
  auto* editor = new QLineEdit(parent);
  // No silent cut at the line edit's own 32,767: the model refuses a too long text with a message.
  editor->setMaxLength(std::numeric_limits<int>::max());
  editor->setFrame(false);
  editor->setFont(index.data(Qt::FontRole).value<QFont>());
  editor->setStyleSheet(QStringLiteral("QLineEdit { background: white; border: 2px solid #217346; padding: 0 1px; }"));
  // Signals carry no state of the delegate: emitting one from this const function changes nothing of it.
  connect(editor, &QLineEdit::textChanged, const_cast<CellDelegate*>(this), &CellDelegate::entryChanged);
  return editor;
}

void CellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* line = qobject_cast<QLineEdit*>(editor);
  if (!line) return;
  if (replaceNext_) {
    replaceNext_ = false;
    line->setProperty("loaded", true);
    line->setProperty(kTypingProperty, true);
    line->clear();
    return;
  }
  // Only when the editor opens: the view calls this again on every dataChanged.
  if (line->property("loaded").toBool()) return;
  line->setProperty("loaded", true);
  line->setText(index.data(Qt::EditRole).toString());
  line->end(false);
}

bool CellDelegate::eventFilter(QObject* object, QEvent* event) {
  auto* line = qobject_cast<QLineEdit*>(object);
  if (line && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
      const QString typed = line->text();
      emit closeEditor(line, QAbstractItemDelegate::RevertModelCache);
      emit fillRequested(typed);
      return true;
    }
  }
  if (line && event->type() == QEvent::KeyPress && line->property(kTypingProperty).toBool()) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool arrow = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_Left ||
                       key->key() == Qt::Key_Right;
    QWidget* view = line->parentWidget() ? line->parentWidget()->parentWidget() : nullptr;
    if (arrow && view && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      // Typing over a cell, an arrow enters it and moves on, as Enter does downwards.
      emit commitData(line);
      emit closeEditor(line, QAbstractItemDelegate::NoHint);
      QKeyEvent move(QEvent::KeyPress, key->key(), key->modifiers());
      QCoreApplication::sendEvent(view, &move);
      return true;
    }
  }
  return QStyledItemDelegate::eventFilter(object, event);
}

void CellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
  const auto* view = qobject_cast<const SheetView*>(QObject::parent());
  const QRect cell = view && editor->parentWidget() != view->viewport() ? view->EditorRect(index) : option.rect;
  editor->setGeometry(cell.adjusted(0, 0, 1, 1));
}

}  // namespace spreadsheet
