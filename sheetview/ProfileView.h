#pragma once

#include <QWidget>
#include <optional>

#include "sheetview/ProfileChart.h"

namespace spreadsheet {

// Shows the sheet "纵断面" as its chart, filling the widget. Takes the grid's keys that still
// mean something here: Ctrl+Page Up/Down to the previous/next sheet, undo and redo.
class ProfileView : public QWidget {
  Q_OBJECT

 public:
  explicit ProfileView(QWidget* parent = nullptr);
  void SetChart(std::optional<ProfileChart> chart);
  const std::optional<ProfileChart>& Chart() const { return chart_; }

 signals:
  void sheetStepRequested(int step);
  void undoRequested();
  void redoRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::optional<ProfileChart> chart_;
};

}  // namespace spreadsheet
