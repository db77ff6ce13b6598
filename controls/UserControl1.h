#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

namespace Quellmark {

// Caption panel: a container that paints a blue gradient title strip with its caption, a pale
// gradient body and a thin border, each time it becomes visible, into a retained image; child
// widgets lie above the painting. Coordinates are pixels, (0, 0) at the top-left corner.
class UserControl1 : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE setCaption)

 public:
  explicit UserControl1(QWidget* parent = nullptr);

  QString Caption() const { return m_caption; }
  // Stores the text only; it is painted the next time the panel is shown.
  void setCaption(const QString& caption);

  // Size taken and caption rectangle (right/bottom exclusive) used by the last painting.
  qint32 PanelWidth() const { return m_panelWidth; }
  qint32 PanelHeight() const { return m_panelHeight; }
  QRect CaptionRect() const { return m_captionRect; }

  // The retained painting (at least the panel's size when last shown, RGB32).
  const QImage& retainedImage() const { return m_image; }

  QSize sizeHint() const override;

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UserControl_Show();
  void DrawCaptionBar();
  void DrawBackground();
  void DrawBorder();
  void drawGradient(quint32 startBgr, quint32 endBgr, int divisor, int firstRow, int rowCount);
  QFont captionFont() const;

  QString m_caption;
  qint32 m_panelWidth = 0;
  qint32 m_panelHeight = 0;
  QRect m_captionRect;
  QImage m_image;
};

}  // namespace Quellmark
