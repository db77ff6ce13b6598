#include "controls/ButtonFx.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>
#include <algorithm>
#include <exception>

namespace Quellmark {

namespace {

constexpr QRgb backgroundColour = 0xFFFFFF;

// Drawing never fails as a whole: a step that throws is skipped and the next one runs.
template <typename Step>
void skipOnFailure(Step&& step) noexcept {
  try {
    step();
  } catch (const std::exception&) {
  }
}

struct StateColours {
  QColor fill;
  QColor border;
};

StateColours coloursOf(qint16 state) {
  switch (state) {
    case ButtonFx::StateNormal: {
      // COLOR_BTNFACE of the colour scheme; the application palette is what no style sheet rewrites.
      const QColor face = QGuiApplication::palette().color(QPalette::Active, QPalette::Button);
      return {face, face};
    }
    case ButtonFx::StatePressed:
      return {QColor(184, 216, 233), QColor(98, 163, 229)};
    case ButtonFx::StateHover:
      return {QColor(213, 239, 248), QColor(122, 177, 232)};
    default:
      return {QColor(0, 0, 0), QColor(0, 0, 0)};
  }
}

}  // namespace

ButtonFx::ButtonFx(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  takeSize(size());
  DrawButton(StateNormal);
}

void ButtonFx::DrawButton(qint16 state) noexcept {
  skipOnFailure([&] { m_backBuffer.fill(backgroundColour); });
  skipOnFailure([&] { GetPicSize(m_picWidth, m_picHeight); });
  StateColours colours{QColor(0, 0, 0), QColor(0, 0, 0)};
  skipOnFailure([&] { colours = coloursOf(state); });
  const bool canPaint = !m_backBuffer.isNull() && m_buttonWidth > 0 && m_buttonHeight > 0;
  if (canPaint) {
    skipOnFailure([&] {
      QPainter painter(&m_backBuffer);
      painter.fillRect(QRect(0, 0, m_buttonWidth, m_buttonHeight), colours.fill);
    });
    skipOnFailure([&] {
      QPainter painter(&m_backBuffer);
      const int right = m_buttonWidth - 1;
      const int bottom = m_buttonHeight - 1;
      painter.fillRect(QRect(0, 0, m_buttonWidth, 1), colours.border);
      painter.fillRect(QRect(0, bottom, m_buttonWidth, 1), colours.border);
      painter.fillRect(QRect(0, 0, 1, m_buttonHeight), colours.border);
      painter.fillRect(QRect(right, 0, 1, m_buttonHeight), colours.border);
    });
    // Truncating division: a picture larger than the control gets negative offsets.
    const int x = (m_buttonWidth - m_picWidth) / 2;
    const int y = (m_buttonHeight - m_picHeight) / 2;
    skipOnFailure([&] { drawPicture(x, y); });
  }
  update();
}

void ButtonFx::drawPicture(int x, int y) {
  if (m_picWidth <= 0 || m_picHeight <= 0 || m_picture.image().isNull()) return;
  const QSize target(m_picWidth, m_picHeight);
  switch (m_picture.kind()) {
    case ButtonPicture::Kind::Icon: {
      QPainter painter(&m_backBuffer);
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter.drawImage(QRect(QPoint(x, y), target), m_picture.image());
      break;
    }
    case ButtonPicture::Kind::Bitmap: {
      const QImage& source = m_picture.image();
      const QImage sized = source.size() == target
                               ? source
                               : source.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      combineBitmap(sized, x, y);
      break;
    }
    default:
      break;
  }
}

void ButtonFx::combineBitmap(const QImage& picture, int x, int y) {
  // A bitmap has no transparency; any alpha a loaded image carries is flattened onto white,
  // which the AND leaves without effect.
  QImage opaque(picture.size(), QImage::Format_RGB32);
  opaque.fill(0xFFFFFF);
  {
    QPainter painter(&opaque);
    painter.drawImage(0, 0, picture);
  }
  // SRCAND: destination = picture AND destination, clipped to the buffer.
  const int left = std::max(0, x);
  const int top = std::max(0, y);
  const int right = std::min(m_backBuffer.width(), x + opaque.width());
  const int bottom = std::min(m_backBuffer.height(), y + opaque.height());
  for (int row = top; row < bottom; ++row) {
    auto* destination = reinterpret_cast<QRgb*>(m_backBuffer.scanLine(row));
    const auto* source = reinterpret_cast<const QRgb*>(opaque.constScanLine(row - y));
    for (int column = left; column < right; ++column)
      destination[column] = 0xFF000000u | (destination[column] & source[column - x]);
  }
}

void ButtonFx::GetPicSize(qint32& width, qint32& height) const noexcept {
  width = ButtonPicture::himetricToPixels(m_picture.widthHimetric(), logicalDpiX());
  height = ButtonPicture::himetricToPixels(m_picture.heightHimetric(), logicalDpiY());
}

void ButtonFx::setPicture(const ButtonPicture& picture) {
  m_picture = picture;
  DrawButton(StateNormal);
}

void ButtonFx::setPicture(const QPixmap& bitmap) {
  setPicture(
      ButtonPicture::fromImage(bitmap.toImage(), ButtonPicture::Kind::Bitmap, logicalDpiX(), logicalDpiY()));
}

void ButtonFx::setPicture(const QIcon& icon) {
  const QList<QSize> sizes = icon.availableSizes();
  QSize size(32, 32);
  for (const QSize& candidate : sizes) {
    if (candidate.width() * candidate.height() > size.width() * size.height() || sizes.size() == 1)
      size = candidate;
  }
  const QImage image = icon.pixmap(size).toImage();
  setPicture(ButtonPicture::fromImage(image, ButtonPicture::Kind::Icon, logicalDpiX(), logicalDpiY()));
}

void ButtonFx::resetPicture() { setPicture(ButtonPicture()); }

QPixmap ButtonFx::PicturePixmap() const { return QPixmap::fromImage(m_picture.image()); }

QSize ButtonFx::sizeHint() const {
  // The side bar's large buttons: 975 twips.
  return {65, 65};
}

void ButtonFx::takeSize(const QSize& size) {
  m_buttonWidth = std::max(0, size.width());
  m_buttonHeight = std::max(0, size.height());
  if (m_buttonWidth > 0 && m_buttonHeight > 0)
    m_backBuffer = QImage(m_buttonWidth, m_buttonHeight, QImage::Format_RGB32);
  else
    m_backBuffer = QImage();
}

void ButtonFx::paintEvent(QPaintEvent* event) {
  if (m_backBuffer.isNull()) return;
  QPainter painter(this);
  painter.drawImage(event->rect(), m_backBuffer, event->rect());
}

void ButtonFx::resizeEvent(QResizeEvent* event) {
  takeSize(event->size());
  DrawButton(StateNormal);
}

void ButtonFx::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) m_clickPending = true;
  DrawButton(StatePressed);
}

void ButtonFx::mouseReleaseEvent(QMouseEvent* event) {
  DrawButton(StateNormal);
  if (event->button() != Qt::LeftButton) return;
  const bool click = m_clickPending && rect().contains(event->position().toPoint());
  m_clickPending = false;
  if (click) emitClick();
}

void ButtonFx::mouseDoubleClickEvent(QMouseEvent* event) {
  // The platform reports the second left press of a double click as the double click itself,
  // not as a press: it raises the second Click and draws nothing, and its release makes no third.
  if (event->button() != Qt::LeftButton) {
    mousePressEvent(event);
    return;
  }
  m_clickPending = false;
  emitClick();
}

void ButtonFx::mouseMoveEvent(QMouseEvent* event) {
  if (!isEnabled()) return;
  const QPointF at = event->position();
  // The right and bottom edges themselves (X = ButtonWidth, Y = ButtonHeight) count as inside.
  const bool outside = at.x() < 0 || at.x() > m_buttonWidth || at.y() < 0 || at.y() > m_buttonHeight;
  if (outside) {
    DrawButton(StateNormal);
    releaseCapture();
    return;
  }
  // The capture lets the control see the move that takes the pointer outside.
  if (mouseGrabber() != this) grabMouse();
  DrawButton(StateHover);
}

void ButtonFx::changeEvent(QEvent* event) {
  // A disabled or hidden grabber would swallow every mouse event of the application.
  if (event->type() == QEvent::EnabledChange && !isEnabled()) releaseCapture();
  QWidget::changeEvent(event);
}

void ButtonFx::hideEvent(QHideEvent* event) {
  releaseCapture();
  QWidget::hideEvent(event);
}

void ButtonFx::releaseCapture() {
  if (mouseGrabber() == this) releaseMouse();
}

void ButtonFx::emitClick() {
  // A handler may open a modal window; a capture kept by this control would keep every mouse
  // event from it. The next move inside takes the capture again.
  releaseCapture();
  emit Click();
}

}  // namespace Quellmark
