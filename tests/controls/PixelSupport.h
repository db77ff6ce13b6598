#pragma once

#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QWidget>
#include <ostream>

namespace PixelSupport {

struct Rgb {
  int red;
  int green;
  int blue;
  friend bool operator==(const Rgb&, const Rgb&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Rgb& rgb) {
    return out << '(' << rgb.red << ", " << rgb.green << ", " << rgb.blue << ')';
  }
};

inline Rgb rgbOf(const QColor& colour) { return {colour.red(), colour.green(), colour.blue()}; }

inline Rgb pixelAt(const QImage& image, int x, int y) { return rgbOf(QColor(image.pixel(x, y))); }

// What the widget shows on screen, as its paint handling produces it.
inline QImage screenOf(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline Rgb buttonFace() {
  return rgbOf(QGuiApplication::palette().color(QPalette::Active, QPalette::Button));
}

}  // namespace PixelSupport
