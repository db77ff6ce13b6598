#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include "controls/ButtonPicture.h"

namespace Quellmark {

// Flat picture button: one picture centred on a tinted background, a light tint while the
// pointer is over it, a stronger one while a mouse button is held on it, and Click on every
// click and double click. All drawing goes into a retained back buffer through DrawButton;
// paintEvent only copies that buffer. Coordinates are pixels, (0, 0) at the top-left corner.
class ButtonFx : public QWidget {
  Q_OBJECT
  // Settable from a .ui file (<pixmap>:/path</pixmap>); such a picture is a bitmap.
  Q_PROPERTY(QPixmap Picture READ PicturePixmap WRITE setPicture RESET resetPicture)

 public:
  // Values of DrawButton's state; any other value draws black fill and black outline.
  static constexpr qint16 StateNormal = 0;
  static constexpr qint16 StatePressed = 1;
  static constexpr qint16 StateHover = 2;

  explicit ButtonFx(QWidget* parent = nullptr);

  // Redraws the whole control in the given state. Never throws; a step that fails is skipped.
  void DrawButton(qint16 state) noexcept;
  // Pixel size of Picture at the screen's resolution (halves to even); 0 x 0 without a picture.
  void GetPicSize(qint32& width, qint32& height) const noexcept;

  // The stored picture (the empty picture when none was set).
  const ButtonPicture& Picture() const { return m_picture; }
  // Each setter stores the picture and draws the normal look.
  void setPicture(const ButtonPicture& picture);
  // A bitmap whose HIMETRIC size is its pixel size at the screen's resolution.
  void setPicture(const QPixmap& bitmap);
  // An icon (drawn over the background with its transparency), sized like setPicture(QPixmap).
  void setPicture(const QIcon& icon);
  void resetPicture();
  QPixmap PicturePixmap() const;

  // Inner size cached on the last resize, in pixels.
  qint32 ButtonWidth() const { return m_buttonWidth; }
  qint32 ButtonHeight() const { return m_buttonHeight; }
  // Pixel size of Picture as measured by the last DrawButton.
  qint32 PicWidth() const { return m_picWidth; }
  qint32 PicHeight() const { return m_picHeight; }

  WId hwnd() const { return effectiveWinId(); }

  // What the last DrawButton produced (ButtonWidth x ButtonHeight, RGB32).
  const QImage& backBuffer() const { return m_backBuffer; }

  QSize sizeHint() const override;

 signals:
  void Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void takeSize(const QSize& size);
  void drawPicture(int x, int y);
  void combineBitmap(const QImage& picture, int x, int y);
  void releaseCapture();
  void emitClick();

  ButtonPicture m_picture;
  qint32 m_buttonWidth = 0;
  qint32 m_buttonHeight = 0;
  qint32 m_picWidth = 0;
  qint32 m_picHeight = 0;
  QImage m_backBuffer;
  // A left press on the control that a release inside it turns into a Click.
  bool m_clickPending = false;
};

}  // namespace Quellmark
