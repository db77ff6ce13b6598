#pragma once

#include <QStyledItemDelegate>

namespace spreadsheet {

class WorkbookTableModel;

// Paints cells as the workbook defines them (fill, font, alignment, borders), light grid
// lines where a cell has no border and no fill, the selection tint and the frame of the
// current cell. Edits in a frameless line edit in the cell's font.
class CellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  static const QColor& GridColor();       // light grey, as spreadsheets draw their grid
  static const QColor& SelectionColor();  // translucent tint over selected cells
  static const QColor& CurrentColor();    // frame of the current cell

  explicit CellDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;
  // An editor opened by typing takes the arrows as "enter and move"; one opened with F2 or a
  // double click moves its text cursor with them.
  bool eventFilter(QObject* object, QEvent* event) override;

  // The next editor opened starts empty: typing replaces the cell's content.
  void SetReplaceOnNextEdit(bool replace) { replaceNext_ = replace; }

 signals:
  // Ctrl+Enter in an editor: the editor closes without committing, its text is to fill the selection.
  void fillRequested(const QString& typed);
  // The text of an open editor, whenever it changes (typing, the cell's content loaded).
  void entryChanged(const QString& text);

 private:
  static constexpr const char* kTypingProperty = "typing";
  mutable bool replaceNext_ = false;
};

}  // namespace spreadsheet
