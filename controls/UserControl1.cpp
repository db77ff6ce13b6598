#include "controls/UserControl1.h"

#include <QFont>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <exception>

#include "controls/PanelGradient.h"

namespace Quellmark {

namespace {

constexpr quint32 titleStartBgr = 0xF7E0D3;
constexpr quint32 titleEndBgr = 0xEDC5A7;
constexpr quint32 bodyStartBgr = 0xFCF4EF;
constexpr quint32 bodyEndBgr = 0xFAE8DC;
constexpr quint32 borderBgr = 0xDCC1AD;
constexpr quint32 captionTextBgr = 0x7B2D02;

// Rows 0..19 are the title strip; the body starts below it.
constexpr int titleRows = 20;
constexpr int titleDivisor = 18;
constexpr int captionPointSize = 9;

// Painting ends quietly at a failing step; the other painting operations still run.
template <typename Step>
void skipOnFailure(Step&& step) noexcept {
  try {
    step();
  } catch (const std::exception&) {
  }
}

QColor buttonFace() { return QGuiApplication::palette().color(QPalette::Active, QPalette::Button); }

}  // namespace

UserControl1::UserControl1(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

void UserControl1::setCaption(const QString& caption) { m_caption = caption; }

QSize UserControl1::sizeHint() const {
  // The main window's panel: 1215 x 2655 twips.
  return {81, 177};
}

void UserControl1::showEvent(QShowEvent* event) {
  // A window restored by the window system is repainted from the retained image.
  if (!event->spontaneous()) UserControl_Show();
  QWidget::showEvent(event);
}

void UserControl1::UserControl_Show() {
  m_panelWidth = width();
  m_panelHeight = height();
  // Right and bottom are exclusive: text stops before x = PanelWidth - 3.
  m_captionRect = QRect(QPoint(8, 4), QPoint(m_panelWidth - 3 - 1, 16 - 1));
  if (m_panelWidth > 0 && m_panelHeight > 0) {
    m_image = QImage(m_panelWidth, m_panelHeight, QImage::Format_RGB32);
    m_image.fill(buttonFace());
    skipOnFailure([&] { DrawCaptionBar(); });
    skipOnFailure([&] { DrawBackground(); });
    skipOnFailure([&] { DrawBorder(); });
  } else {
    m_image = QImage();
  }
  update();
}

void UserControl1::drawGradient(quint32 startBgr, quint32 endBgr, int divisor, int firstRow, int rowCount) {
  const std::vector<QColor> rows = PanelGradient::rowColors(startBgr, endBgr, divisor, rowCount);
  QPainter painter(&m_image);
  // Each row runs from x = 1 to x = PanelWidth - 1, the last pixel included.
  for (std::size_t index = 0; index < rows.size(); ++index)
    painter.fillRect(QRect(1, firstRow + static_cast<int>(index), m_panelWidth - 1, 1), rows[index]);
}

QFont UserControl1::captionFont() const {
  QFont font;
  // SimSun where it exists, else a Song face, else any face with the GB2312 characters.
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                    QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL SungtiL GB"),
                    QStringLiteral("WenQuanYi Zen Hei")});
  font.setPixelSize(static_cast<int>(std::lround(captionPointSize * logicalDpiY() / 72.0)));
  font.setWeight(QFont::Bold);
  return font;
}

void UserControl1::DrawCaptionBar() {
  drawGradient(titleStartBgr, titleEndBgr, titleDivisor, 0, titleRows);
  QPainter painter(&m_image);
  painter.fillRect(QRect(QPoint(4, 4), QPoint(4, titleRows - 4)), PanelGradient::fromBgr(borderBgr));
  if (m_caption.isEmpty() || !m_captionRect.isValid()) return;
  painter.setClipRect(m_captionRect);
  painter.setFont(captionFont());
  painter.setPen(PanelGradient::fromBgr(captionTextBgr));
  painter.drawText(m_captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_caption);
}

void UserControl1::DrawBackground() {
  // The last body row gets the end colour exactly; a 21-pixel panel has divisor 0 and no body.
  drawGradient(bodyStartBgr, bodyEndBgr, m_panelHeight - titleRows - 1, titleRows, m_panelHeight - titleRows);
}

void UserControl1::DrawBorder() {
  const QColor border = PanelGradient::fromBgr(borderBgr);
  const int right = m_panelWidth - 1;
  const int bottom = m_panelHeight - 1;
  QPainter painter(&m_image);
  painter.fillRect(QRect(0, 0, m_panelWidth, 1), border);
  painter.fillRect(QRect(0, bottom, m_panelWidth, 1), border);
  painter.fillRect(QRect(0, 0, 1, m_panelHeight), border);
  painter.fillRect(QRect(right, 0, 1, m_panelHeight), border);
  // The bottom and right edges once more, as lines that end on the last pixel either way.
  painter.fillRect(QRect(0, bottom, m_panelWidth + 1, 1), border);
  painter.fillRect(QRect(right, 0, 1, m_panelHeight), border);
}

void UserControl1::resizeEvent(QResizeEvent* event) {
  // A size change does not repaint: the painting stays, and area it never covered shows the
  // button face.
  const QSize size = event->size();
  if (!m_image.isNull() && (size.width() > m_image.width() || size.height() > m_image.height())) {
    QImage grown(std::max(size.width(), m_image.width()), std::max(size.height(), m_image.height()),
                 QImage::Format_RGB32);
    grown.fill(buttonFace());
    QPainter painter(&grown);
    painter.drawImage(0, 0, m_image);
    painter.end();
    m_image = grown;
  }
  QWidget::resizeEvent(event);
}

void UserControl1::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (m_image.isNull()) {
    painter.fillRect(event->rect(), buttonFace());
    return;
  }
  painter.drawImage(event->rect(), m_image, event->rect());
}

}  // namespace Quellmark
