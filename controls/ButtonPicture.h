#pragma once

#include <QImage>
#include <QtGlobal>

namespace Quellmark {

// The picture a ButtonFx shows: its kind (coded as the OLE picture types), its size in
// HIMETRIC (hundredths of a millimetre) and the image. A default-constructed picture is the
// empty picture (kind None, 0 x 0), which is also what an absent picture behaves as.
class ButtonPicture {
 public:
  enum class Kind : qint16 { None = 0, Bitmap = 1, Metafile = 2, Icon = 3, EnhancedMetafile = 4 };

  ButtonPicture() = default;
  // widthHimetric/heightHimetric are taken as given (negative values count as 0).
  ButtonPicture(Kind kind, qint32 widthHimetric, qint32 heightHimetric, QImage image);

  // The image's pixel size converted to HIMETRIC at dpiX x dpiY pixels per inch (halves to even),
  // so that drawing at the same resolution gives back the image's own size.
  static ButtonPicture fromImage(const QImage& image, Kind kind, int dpiX, int dpiY);

  // HIMETRIC <-> pixels at the given resolution, rounded to the nearest integer, halves to even.
  // A resolution <= 0 gives 0.
  static qint32 himetricToPixels(qint32 himetric, int dpi);
  static qint32 pixelsToHimetric(qint32 pixels, int dpi);

  Kind kind() const { return m_kind; }
  qint32 widthHimetric() const { return m_widthHimetric; }
  qint32 heightHimetric() const { return m_heightHimetric; }
  const QImage& image() const { return m_image; }
  bool isEmpty() const { return m_kind == Kind::None; }

 private:
  Kind m_kind = Kind::None;
  qint32 m_widthHimetric = 0;
  qint32 m_heightHimetric = 0;
  QImage m_image;
};

}  // namespace Quellmark
