#pragma once

#include <QWidget>
#include <optional>

#include "sheetview/ProfileChart.h"

namespace spreadsheet {

// Shows the sheet "纵断面" as its chart, filling the widget.
class ProfileView : public QWidget {
  Q_OBJECT

 public:
  explicit ProfileView(QWidget* parent = nullptr);
  void SetChart(std::optional<ProfileChart> chart);
  const std::optional<ProfileChart>& Chart() const { return chart_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<ProfileChart> chart_;
};

}  // namespace spreadsheet
