#pragma once

#include <QDialog>
#include <functional>

class QAbstractScrollArea;
class QLabel;

namespace spreadsheet {

class PrintedPages;

// The print preview: the pages one below the other, as wide as the window (at most their real
// size), each painted only while it is in view, so that a book of thousands of pages opens at
// once and holds no more than the pages on screen. "打印" prints them (asking for the
// printer); the pages must outlive the dialog.
class PrintPreview : public QDialog {
  Q_OBJECT

 public:
  PrintPreview(const PrintedPages& pages, std::function<void()> print, QWidget* parent = nullptr);
  ~PrintPreview() override;

  static constexpr int kGap = 16;  // pixels around and between the pages
  // The page at the top of the view (0-based), and shows page `index` at the top.
  int ShownPage() const;
  void ShowPage(int index);
  // How many pages the last repaint drew: those in view, never all.
  int PagesPaintedLastTime() const;
  QAbstractScrollArea* ScrollArea() const;

 private:
  class Area;
  void UpdatePageLabel();

  Area* area_;
  QLabel* pageLabel_;
};

}  // namespace spreadsheet
