#include "sheetview/PrintPreview.h"

#include <QAbstractScrollArea>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "sheetview/PrintedPages.h"

namespace spreadsheet {

// The scrolled pages. Positions are computed from the page size alone; only the pages that
// meet the viewport are painted, straight onto it.
class PrintPreview::Area : public QAbstractScrollArea {
 public:
  explicit Area(const PrintedPages& pages, QWidget* parent) : QAbstractScrollArea(parent), pages_(pages) {
    viewport()->setAutoFillBackground(true);
    QPalette palette = viewport()->palette();
    palette.setColor(viewport()->backgroundRole(), QColor(0x80, 0x80, 0x80));
    viewport()->setPalette(palette);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

  // Pixels of screen per 96-dpi pixel of paper: the page fills the width, up to its real size.
  double Zoom() const {
    const double width = std::max(50.0, static_cast<double>(viewport()->width() - 2 * kGap));
    return std::min(1.0, width / pages_.PaperSize().width());
  }
  double Pitch() const { return pages_.PaperSize().height() * Zoom() + kGap; }
  int PageAt(int y) const {
    return std::clamp(static_cast<int>((y - kGap / 2) / Pitch()), 0, std::max(0, pages_.Count() - 1));
  }
  int painted = 0;
  int Count() const { return pages_.Count(); }

  void UpdateRange() {
    const double total = kGap + pages_.Count() * Pitch();
    const double max = std::max(0.0, total - viewport()->height());
    // The scroll bar counts whole pixels in an int: far beyond any book the sheet can hold.
    verticalScrollBar()->setRange(0, static_cast<int>(std::min(max, 2.0e9)));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(std::max(1, static_cast<int>(Pitch() / 20)));
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    // The same page stays at the top when the zoom changes with the width.
    const double at = verticalScrollBar()->value() / std::max(1.0, lastPitch_);
    QAbstractScrollArea::resizeEvent(event);
    UpdateRange();
    lastPitch_ = Pitch();
    verticalScrollBar()->setValue(static_cast<int>(std::lround(at * lastPitch_)));
  }

  void paintEvent(QPaintEvent* event) override {
    QPainter painter(viewport());
    const double zoom = Zoom();
    const double pitch = Pitch();
    const int top = verticalScrollBar()->value() + event->rect().top();
    const int bottom = verticalScrollBar()->value() + event->rect().bottom();
    painted = 0;
    for (int i = PageAt(top); i < pages_.Count() && kGap + i * pitch <= bottom; ++i) {
      const double width = pages_.PaperSize().width() * zoom;
      const QRectF paper(std::max(static_cast<double>(kGap), (viewport()->width() - width) / 2),
                         kGap + i * pitch - verticalScrollBar()->value(), width, pages_.PaperSize().height() * zoom);
      painter.fillRect(paper.translated(3, 3), QColor(0x50, 0x50, 0x50));
      painter.fillRect(paper, Qt::white);
      painter.save();
      painter.setClipRect(paper);
      painter.translate(paper.left() + pages_.Margins().left() * zoom, paper.top() + pages_.Margins().top() * zoom);
      painter.scale(zoom, zoom);
      pages_.Paint(painter, i);
      painter.restore();
      ++painted;
    }
  }

 private:
  const PrintedPages& pages_;
  double lastPitch_ = 1;
};

PrintPreview::PrintPreview(const PrintedPages& pages, std::function<void()> print, QWidget* parent)
    : QDialog(parent), area_(new Area(pages, this)), pageLabel_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("打印预览"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(8, 6, 8, 2);
  auto* printButton = new QPushButton(QStringLiteral("打印"), this);
  auto* closeButton = new QPushButton(QStringLiteral("关闭"), this);
  bar->addWidget(printButton);
  bar->addWidget(closeButton);
  bar->addStretch(1);
  bar->addWidget(pageLabel_);
  layout->addLayout(bar);
  layout->addWidget(area_, 1);
  connect(printButton, &QPushButton::clicked, this, [print = std::move(print)] {
    if (print) print();
  });
  connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(area_->verticalScrollBar(), &QScrollBar::valueChanged, this, &PrintPreview::UpdatePageLabel);
  resize(900, 1000);
  area_->setFocus();
  UpdatePageLabel();
}

PrintPreview::~PrintPreview() = default;

int PrintPreview::ShownPage() const { return area_->PageAt(area_->verticalScrollBar()->value() + kGap); }

void PrintPreview::ShowPage(int index) {
  area_->UpdateRange();
  area_->verticalScrollBar()->setValue(static_cast<int>(std::lround(index * area_->Pitch())));
}

int PrintPreview::PagesPaintedLastTime() const { return area_->painted; }

QAbstractScrollArea* PrintPreview::ScrollArea() const { return area_; }

void PrintPreview::UpdatePageLabel() {
  pageLabel_->setText(QStringLiteral("第 %1 页 共 %2 页").arg(ShownPage() + 1).arg(area_->Count()));
}

}  // namespace spreadsheet
