#include "controls/ButtonPicture.h"

#include <limits>
#include <utility>

namespace Quellmark {

namespace {

// numerator / denominator rounded to the nearest integer, halves to even; denominator > 0.
qint64 divideHalfEven(qint64 numerator, qint64 denominator) {
  qint64 quotient = numerator / denominator;
  qint64 remainder = numerator % denominator;
  if (remainder < 0) {
    remainder += denominator;
    --quotient;
  }
  const qint64 twice = 2 * remainder;
  if (twice > denominator || (twice == denominator && (quotient % 2) != 0)) ++quotient;
  return quotient;
}

qint32 clampToInt32(qint64 value) {
  if (value > std::numeric_limits<qint32>::max()) return std::numeric_limits<qint32>::max();
  if (value < std::numeric_limits<qint32>::min()) return std::numeric_limits<qint32>::min();
  return static_cast<qint32>(value);
}

constexpr qint64 himetricPerInch = 2540;

}  // namespace

ButtonPicture::ButtonPicture(Kind kind, qint32 widthHimetric, qint32 heightHimetric, QImage image)
    : m_kind(kind),
      m_widthHimetric(widthHimetric < 0 ? 0 : widthHimetric),
      m_heightHimetric(heightHimetric < 0 ? 0 : heightHimetric),
      m_image(std::move(image)) {}

ButtonPicture ButtonPicture::fromImage(const QImage& image, Kind kind, int dpiX, int dpiY) {
  if (image.isNull()) return {};
  return ButtonPicture(kind, pixelsToHimetric(image.width(), dpiX), pixelsToHimetric(image.height(), dpiY),
                       image);
}

qint32 ButtonPicture::himetricToPixels(qint32 himetric, int dpi) {
  if (dpi <= 0) return 0;
  return clampToInt32(divideHalfEven(qint64{himetric} * dpi, himetricPerInch));
}

qint32 ButtonPicture::pixelsToHimetric(qint32 pixels, int dpi) {
  if (dpi <= 0) return 0;
  return clampToInt32(divideHalfEven(qint64{pixels} * himetricPerInch, dpi));
}

}  // namespace Quellmark
