// Draws the side-bar button pictures and the main window's icon into a folder:
//   levelbook_draw_pictures <folder>
// The buttons combine their picture with the tint by a bitwise AND, so every picture is drawn
// dark-on-white: white parts take the button's tint, coloured parts keep their colour.
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <functional>
#include <numbers>

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
QImage render(int size, const std::function<void(QPainter &)> &draw)
{
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

QPen pen(const QColor &colour, double width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A spreadsheet page with a folded corner and a green "+" badge.
void drawNewWorkbook(QPainter &p)
{
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
    for (double y = 19; y <= 55; y += 6)
        p.drawLine(QPointF(17, y), QPointF(45, y));
    for (double x : {17.0, 26.0, 45.0})
        p.drawLine(QPointF(x, 19), QPointF(x, 55));

    p.setPen(pen(kPaper, 2.5));
    p.setBrush(kGreen);
    p.drawEllipse(QPointF(47, 48), 13, 13);
    p.setPen(pen(kPaper, 4.5));
    p.drawLine(QPointF(47, 41), QPointF(47, 55));
    p.drawLine(QPointF(40, 48), QPointF(54, 48));
}

// A calculator: display with "=", a grid of keys, the operator keys in orange.
void drawCompute(QPainter &p)
{
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
void drawSave(QPainter &p)
{
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
    for (double y : {40.0, 45.5, 51.0})
        p.drawLine(QPointF(19, y), QPointF(45, y));
}

// A project folder with a tab and a sheet peeking out.
void drawProject(QPainter &p)
{
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
void drawSettings(QPainter &p)
{
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
QList<QRgb> iconPalette()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128),   qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// A level on its tripod beside a red-and-white levelling staff, drawn without smoothing in
// palette colours only.
QImage drawIcon()
{
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
        for (int y = 3; y < 44; y += 8)
            p.drawRect(36, y, 4, 4);
        p.setBrush(Qt::black);
        for (int y = 7; y < 44; y += 8)
            p.drawRect(40, y, 3, 1);
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

bool save(const QImage &image, const QString &path, const char *format, int quality)
{
    if (image.save(path, format, quality))
        return true;
    QTextStream(stderr) << "cannot write " << path << '\n';
    return false;
}

}

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: levelbook_draw_pictures <folder>\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    bool ok = save(render(64, drawNewWorkbook), folder + "NewWorkbook.jpg", "JPEG", 95);
    ok = save(render(64, drawCompute), folder + "Compute.jpg", "JPEG", 95) && ok;
    ok = save(render(64, drawSave), folder + "Save.jpg", "JPEG", 95) && ok;
    ok = save(render(32, drawProject), folder + "Project.jpg", "JPEG", 95) && ok;
    ok = save(render(32, drawSettings), folder + "Settings.jpg", "JPEG", 95) && ok;
    ok = save(drawIcon(), folder + "LevelBook.png", "PNG", -1) && ok;
    return ok ? 0 : 1;
}
