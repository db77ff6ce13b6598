#include "sheetview/FormulaBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <limits>

namespace spreadsheet {

FormulaBar::FormulaBar(QWidget* parent)
    : QWidget(parent), nameBox_(new QLineEdit(this)), content_(new QLineEdit(this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 3, 4, 3);
  layout->setSpacing(6);
  nameBox_->setObjectName(QStringLiteral("nameBox"));
  nameBox_->setFixedWidth(90);
  nameBox_->setAlignment(Qt::AlignCenter);
  auto* fx = new QLabel(QStringLiteral("fx"), this);
  fx->setStyleSheet(QStringLiteral("QLabel { color: #666666; font-style: italic; padding: 0 4px; }"));
  content_->setObjectName(QStringLiteral("formulaContent"));
  layout->addWidget(nameBox_);
  layout->addWidget(fx);
  layout->addWidget(content_, 1);
  // No silent cut at the line edit's own 32,767: the model refuses a too long text with a message.
  content_->setMaxLength(std::numeric_limits<int>::max());
  setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #c8c8c8; background: white; padding: 1px 3px; }"));
  connect(nameBox_, &QLineEdit::returnPressed, this, [this] { emit addressEntered(nameBox_->text().trimmed()); });
  content_->installEventFilter(this);
  nameBox_->installEventFilter(this);
}

void FormulaBar::Show(const QString& address, const QString& content) {
  address_ = address;
  nameBox_->setText(address);
  shown_ = content;
  content_->setText(content);
  content_->setCursorPosition(0);
}

QString FormulaBar::Address() const { return nameBox_->text(); }

QString FormulaBar::Content() const { return content_->text(); }

bool FormulaBar::HasPendingEntry() const { return content_->isModified() && content_->text() != shown_; }

bool FormulaBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == nameBox_) {
    // As in spreadsheets: entering the name box selects the address, so that what is typed
    // replaces it (a click would otherwise put the caret inside "A1" and make "AA3…1"); leaving
    // it or Escape without Enter shows the current cell's address again.
    if (event->type() == QEvent::FocusIn) {
      QTimer::singleShot(0, nameBox_, [box = nameBox_] {
        if (box->hasFocus()) box->selectAll();
      });
    } else if (event->type() == QEvent::FocusOut) {
      nameBox_->setText(address_);
    } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      nameBox_->setText(address_);
      nameBox_->selectAll();
      return true;
    }
  }
  if (watched == content_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      emit contentCommitted(content_->text());
      return true;
    }
    if (key->key() == Qt::Key_Escape) {
      content_->setText(shown_);
      emit editCancelled();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace spreadsheet
