// Draws the side-bar button pictures and the main window's icon into a folder, and the
// desktop's application icon (SVG, PNG at 48, 64, 128 and 256 px) into another:
//   levelbook_draw_pictures <pictures folder> <icons folder>
// The buttons combine their picture with the tint by a bitwise AND, so every picture is drawn
// dark-on-white: white parts take the button's tint, coloured parts keep their colour.
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QTextStream>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace {

const QColor kInk(40, 44, 52);
const QColor kPaper(255, 255, 255);
const QColor kGrid(150, 170, 160);
const QColor kGreen(33, 140, 70);
const QColor kBlue(38, 92, 170);
const QColor kSteel(120, 130, 145);
const QColor kOrange(230, 120, 30);
const QColor kYellow(245, 190, 60);

// Renders at four times the size and scales down, so thin strokes stay crisp and even.
QImage render(int size, const std::function<void(QPainter&)>& draw) {
  const int scale = 4;
  QImage big(size * scale, size * scale, QImage::Format_RGB32);
  big.fill(kPaper);
  {
    QPainter painter(&big);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(scale * size / 64.0, scale * size / 64.0);
    draw(painter);
  }
  return big.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QPen pen(const QColor& colour, double width) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A spreadsheet page with a folded corner and a green "+" badge.
void drawNewWorkbook(QPainter& p) {
  QPainterPath page;
  page.moveTo(12, 5);
  page.lineTo(40, 5);
  page.lineTo(50, 15);
  page.lineTo(50, 59);
  page.lineTo(12, 59);
  page.closeSubpath();
  p.setPen(pen(kInk, 2.5));
  p.setBrush(kPaper);
  p.drawPath(page);
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({QPointF(40, 5), QPointF(40, 15), QPointF(50, 15)}));

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 230, 205));
  p.drawRect(QRectF(17, 19, 28, 6));
  p.setPen(pen(kGrid, 1.5));
  for (double y = 19; y <= 55; y += 6) p.drawLine(QPointF(17, y), QPointF(45, y));
  for (double x : {17.0, 26.0, 45.0}) p.drawLine(QPointF(x, 19), QPointF(x, 55));

  p.setPen(pen(kPaper, 2.5));
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(47, 48), 13, 13);
  p.setPen(pen(kPaper, 4.5));
  p.drawLine(QPointF(47, 41), QPointF(47, 55));
  p.drawLine(QPointF(40, 48), QPointF(54, 48));
}

// A calculator: display with "=", a grid of keys, the operator keys in orange.
void drawCompute(QPainter& p) {
  p.setPen(pen(kInk, 2.5));
  p.setBrush(QColor(70, 78, 92));
  p.drawRoundedRect(QRectF(13, 4, 38, 56), 5, 5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(205, 232, 210));
  p.drawRoundedRect(QRectF(18, 9, 28, 12), 2, 2);
  p.setPen(pen(kInk, 2.2));
  p.drawLine(QPointF(36, 13.5), QPointF(42, 13.5));
  p.drawLine(QPointF(36, 17), QPointF(42, 17));
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      p.setBrush(column == 3 ? kOrange : QColor(235, 238, 242));
      p.drawRoundedRect(QRectF(18 + column * 7.3, 25 + row * 8.6, 5.6, 6.4), 1.2, 1.2);
    }
  }
}

// A floppy disk: blue body with a cut corner, steel shutter, white label with lines.
void drawSave(QPainter& p) {
  QPainterPath body;
  body.moveTo(8, 8);
  body.lineTo(49, 8);
  body.lineTo(56, 15);
  body.lineTo(56, 56);
  body.lineTo(8, 56);
  body.closeSubpath();
  p.setPen(pen(kInk, 2.5));
  p.setBrush(kBlue);
  p.drawPath(body);
  p.setPen(pen(kInk, 1.5));
  p.setBrush(QColor(210, 215, 222));
  p.drawRect(QRectF(18, 8, 26, 17));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 78, 92));
  p.drawRect(QRectF(35, 11, 6, 11));
  p.setPen(pen(kInk, 1.5));
  p.setBrush(kPaper);
  p.drawRect(QRectF(15, 33, 34, 23));
  p.setPen(pen(kGrid, 1.6));
  for (double y : {40.0, 45.5, 51.0}) p.drawLine(QPointF(19, y), QPointF(45, y));
}

// A project folder with a tab and a sheet peeking out.
void drawProject(QPainter& p) {
  QPainterPath back;
  back.moveTo(6, 14);
  back.lineTo(6, 54);
  back.lineTo(58, 54);
  back.lineTo(58, 20);
  back.lineTo(30, 20);
  back.lineTo(25, 14);
  back.closeSubpath();
  p.setPen(pen(kInk, 3.5));
  p.setBrush(QColor(220, 150, 40));
  p.drawPath(back);
  p.setPen(pen(kInk, 2.5));
  p.setBrush(kPaper);
  p.drawRect(QRectF(14, 18, 36, 16));
  QPainterPath front;
  front.moveTo(6, 54);
  front.lineTo(12, 28);
  front.lineTo(62, 28);
  front.lineTo(58, 54);
  front.closeSubpath();
  p.setPen(pen(kInk, 3.5));
  p.setBrush(kYellow);
  p.drawPath(front);
}

// A gear with eight teeth and a hole.
void drawSettings(QPainter& p) {
  const QPointF centre(32, 32);
  QPolygonF outline;
  const int teeth = 8;
  for (int i = 0; i < teeth * 4; ++i) {
    const double angle = (i - 0.5) * std::numbers::pi * 2 / (teeth * 4);
    const double radius = (i % 4 == 0 || i % 4 == 1) ? 28.0 : 20.5;
    outline << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
  }
  p.setPen(pen(kInk, 3.0));
  p.setBrush(kSteel);
  p.drawPolygon(outline);
  p.setBrush(kPaper);
  p.drawEllipse(centre, 8.5, 8.5);
}

// The 16 colours of the icon: the classic palette, so every pixel is one of them.
QList<QRgb> iconPalette() {
  return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
          qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
          qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
          qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// A level on its tripod beside a red-and-white levelling staff, drawn without smoothing in
// palette colours only.
QImage drawIcon() {
  QImage image(48, 48, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Staff: white with red blocks every 4 pixels, black outline.
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(35, 2, 8, 43);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 0, 0));
    for (int y = 3; y < 44; y += 8) p.drawRect(36, y, 4, 4);
    p.setBrush(Qt::black);
    for (int y = 7; y < 44; y += 8) p.drawRect(40, y, 3, 1);
    // Tripod legs.
    p.setPen(QPen(QColor(128, 0, 0), 2));
    p.drawLine(16, 24, 6, 45);
    p.drawLine(16, 24, 26, 45);
    p.drawLine(16, 24, 16, 45);
    // Head plate and instrument body with its telescope.
    p.setPen(Qt::black);
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(9, 21, 14, 3);
    p.setBrush(QColor(0, 128, 0));
    p.drawRect(7, 13, 18, 7);
    p.setBrush(QColor(192, 192, 192));
    p.drawRect(3, 15, 4, 3);
    p.drawRect(25, 14, 5, 5);
    p.setBrush(QColor(0, 0, 128));
    p.drawRect(30, 15, 2, 3);
    // The line of sight to the staff.
    p.setPen(QPen(QColor(0, 0, 255), 1, Qt::DotLine));
    p.drawLine(33, 16, 34, 16);
    // Sight on top.
    p.setPen(Qt::black);
    p.setBrush(QColor(255, 255, 0));
    p.drawRect(12, 10, 8, 3);
  }
  return image.convertToFormat(QImage::Format_Indexed8, iconPalette(), Qt::ThresholdDither);
}

// The desktop icon as a few flat shapes on a 64-unit square, so that the SVG and the PNGs are
// drawn from one description: a level on its tripod sighting a red-and-white staff on a blue tile.
struct Shape {
  enum class Kind { RoundedRect, Line } kind;
  QRectF rect;    // RoundedRect
  double radius;  // RoundedRect
  QLineF line;    // Line
  QColor fill;    // invalid: none
  QColor stroke;  // invalid: none
  double width;
  bool dashed;
};

std::vector<Shape> desktopIcon() {
  const QColor none;
  const QColor tile(38, 92, 170);
  const QColor leg(225, 230, 238);
  const QColor red(215, 35, 35);
  auto box = [&](double x, double y, double w, double h, QColor fill, QColor stroke = QColor(),
                 double r = 0) {
    return Shape{Shape::Kind::RoundedRect, QRectF(x, y, w, h), r, {}, fill, stroke, 1.5, false};
  };
  auto line = [&](double x1, double y1, double x2, double y2, QColor stroke, double width,
                  bool dashed = false) {
    return Shape{Shape::Kind::Line, {}, 0, QLineF(x1, y1, x2, y2), none, stroke, width, dashed};
  };
  std::vector<Shape> shapes{box(2, 2, 60, 60, tile, none, 12)};
  // Staff: white, its centimetre blocks alternating left and right, as on a real E-pattern staff.
  shapes.push_back(box(42, 7, 11, 51, kPaper, kInk));
  for (int k = 0; k < 5; ++k) shapes.push_back(box(k % 2 == 0 ? 42.75 : 47.5, 8 + k * 10, 4.75, 5, red));
  // Tripod, head plate, instrument with eyepiece and objective, sight on top.
  shapes.push_back(line(20, 34, 9, 57, leg, 3));
  shapes.push_back(line(20, 34, 31, 57, leg, 3));
  shapes.push_back(line(20, 34, 20, 57, leg, 3));
  shapes.push_back(box(12, 31, 16, 4, kSteel, kInk, 1));
  shapes.push_back(box(10, 21, 21, 10, kYellow, kInk, 2));
  shapes.push_back(box(6, 23.5, 4, 5, kSteel, kInk));
  shapes.push_back(box(31, 22.5, 5, 7, kSteel, kInk));
  shapes.push_back(box(15, 17, 11, 4, kInk));
  // The line of sight to the staff.
  shapes.push_back(line(37.5, 26, 41, 26, kPaper, 1.5, true));
  return shapes;
}

QImage renderIcon(const std::vector<Shape>& shapes, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  for (const Shape& s : shapes) {
    QPen outline = s.stroke.isValid() ? QPen(s.stroke, s.width, s.dashed ? Qt::DashLine : Qt::SolidLine,
                                             Qt::FlatCap, Qt::MiterJoin)
                                      : QPen(Qt::NoPen);
    p.setPen(outline);
    p.setBrush(s.fill.isValid() ? QBrush(s.fill) : QBrush(Qt::NoBrush));
    if (s.kind == Shape::Kind::Line)
      p.drawLine(s.line);
    else
      p.drawRoundedRect(s.rect, s.radius, s.radius);
  }
  p.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QString svgNumber(double v) { return QString::number(v, 'g', 6); }

QString svgIcon(const std::vector<Shape>& shapes) {
  QString svg = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">\n");
  for (const Shape& s : shapes) {
    QString paint =
        QStringLiteral(" fill=\"%1\"").arg(s.fill.isValid() ? s.fill.name() : QStringLiteral("none"));
    if (s.stroke.isValid()) {
      paint += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"").arg(s.stroke.name(), svgNumber(s.width));
      if (s.dashed) paint += QStringLiteral(" stroke-dasharray=\"%1\"").arg(svgNumber(s.width * 2));
    }
    if (s.kind == Shape::Kind::Line) {
      svg += QStringLiteral("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"%5/>\n")
                 .arg(svgNumber(s.line.x1()), svgNumber(s.line.y1()), svgNumber(s.line.x2()),
                      svgNumber(s.line.y2()), paint);
    } else {
      svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"%6/>\n")
                 .arg(svgNumber(s.rect.x()), svgNumber(s.rect.y()), svgNumber(s.rect.width()),
                      svgNumber(s.rect.height()), svgNumber(s.radius), paint);
    }
  }
  return svg + QStringLiteral("</svg>\n");
}

bool saveText(const QString& text, const QString& path) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.flush()) return true;
  QTextStream(stderr) << "cannot write " << path << '\n';
  return false;
}

bool save(const QImage& image, const QString& path, const char* format, int quality) {
  if (image.save(path, format, quality)) return true;
  QTextStream(stderr) << "cannot write " << path << '\n';
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 3) {
    QTextStream(stderr) << "usage: levelbook_draw_pictures <pictures folder> <icons folder>\n";
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
  bool ok = save(render(64, drawNewWorkbook), folder + "NewWorkbook.jpg", "JPEG", 95);
  ok = save(render(64, drawCompute), folder + "Compute.jpg", "JPEG", 95) && ok;
  ok = save(render(64, drawSave), folder + "Save.jpg", "JPEG", 95) && ok;
  ok = save(render(32, drawProject), folder + "Project.jpg", "JPEG", 95) && ok;
  ok = save(render(32, drawSettings), folder + "Settings.jpg", "JPEG", 95) && ok;
  ok = save(drawIcon(), folder + "LevelBook.png", "PNG", -1) && ok;
  const QString icons = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
  const std::vector<Shape> icon = desktopIcon();
  ok = saveText(svgIcon(icon), icons + "levelbook.svg") && ok;
  for (const int size : {48, 64, 128, 256})
    ok = save(renderIcon(icon, size), icons + QStringLiteral("levelbook-%1.png").arg(size), "PNG", -1) && ok;
  return ok ? 0 : 1;
}
