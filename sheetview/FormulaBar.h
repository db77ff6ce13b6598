#pragma once

#include <QWidget>

class QLineEdit;

namespace spreadsheet {

// The bar above the grid: the name box with the current cell's address (entering it selects
// the address; an address typed there, on another sheet too ("水准表!A5"), and confirmed with
// Enter moves to it, Escape or leaving shows the current one again) and the current cell's
// content, editable.
class FormulaBar : public QWidget {
  Q_OBJECT

 public:
  explicit FormulaBar(QWidget* parent = nullptr);

  void Show(const QString& address, const QString& content);
  QString Address() const;
  QString Content() const;
  // The content field holds an entry typed since the cell was last shown, not yet entered.
  bool HasPendingEntry() const;
  QLineEdit* NameBox() const { return nameBox_; }
  QLineEdit* ContentEdit() const { return content_; }

 signals:
  void addressEntered(const QString& address);
  void contentCommitted(const QString& content);  // Enter in the content field
  void editCancelled();                           // Escape in the content field

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* nameBox_;
  QLineEdit* content_;
  QString shown_;    // the content as last shown, restored on Escape
  QString address_;  // the address as last shown, restored on Escape or leaving the name box
};

}  // namespace spreadsheet
