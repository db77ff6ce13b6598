// Numbers wider than their column: the grid and the printed page show what spreadsheets show
// (fewer decimals, the exponent form, "###"), never a number cut at the cell's edge.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include "sheetview/CellPainter.h"
#include "sheetview/SheetPrinter.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookWindow.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "workbook/Workbook.h"

namespace spreadsheet {
namespace {

constexpr double kColumnPixels = 64;  // a column of the default 8.43 characters

Workbook NarrowCells() {
  Workbook wb;
  Worksheet& ws = wb.AddSheet("窄列");
  CellStyle metres;
  metres.numberFormat = "0.000";
  CellStyle date;
  date.numberFormat = "yyyy\"年\"m\"月\"d\"日\"";
  ws.SetValue(CellAddress::Parse("A1"), -0.000012345);
  ws.SetValue(CellAddress::Parse("A2"), 123456789.123);
  ws.SetStyle(CellAddress::Parse("A3"), wb.InternStyle(metres));
  ws.SetValue(CellAddress::Parse("A3"), 123456789.123);
  ws.SetStyle(CellAddress::Parse("A4"), wb.InternStyle(date));
  ws.SetValue(CellAddress::Parse("A4"), 45293.0);
  ws.SetColumnWidth(1, 30);
  ws.SetStyle(CellAddress::Parse("B4"), wb.InternStyle(date));
  ws.SetValue(CellAddress::Parse("B4"), 45293.0);
  return wb;
}

QString Fitted(const Workbook& wb, const char* address, double width) {
  const Worksheet& ws = wb.SheetAt(0);
  const CellStyle& style = wb.Style(ws.StyleAt(CellAddress::Parse(address)));
  return CellPainter::FittedText(QRectF(0, 0, width, 20), style, ws.Value(CellAddress::Parse(address)),
                                 NumberFormat(style.numberFormat), wb.Dates());
}

TEST(CellFit, TheSharedRoutineKeepsSignAndMagnitudeOrShowsHashes) {
  const Workbook wb = NarrowCells();
  const QString small = Fitted(wb, "A1", kColumnPixels);
  EXPECT_TRUE(small.startsWith('-')) << small.toStdString();
  EXPECT_TRUE(small.contains(QStringLiteral("E-05"))) << small.toStdString();
  const QString large = Fitted(wb, "A2", kColumnPixels);
  EXPECT_TRUE(large.contains(QStringLiteral("E+08")) || large == QStringLiteral("123456789")) << large.toStdString();
  EXPECT_TRUE(Fitted(wb, "A3", kColumnPixels).contains(QRegularExpression(QStringLiteral("^#+$"))));
  EXPECT_TRUE(Fitted(wb, "A4", kColumnPixels).contains(QRegularExpression(QStringLiteral("^#+$"))));
  EXPECT_EQ(Fitted(wb, "B4", 30 * 7 + 5), QStringLiteral("2024年1月2日"));
  EXPECT_EQ(Fitted(wb, "A1", 400), QStringLiteral("-0.000012345"));
}

// Pixels with ink (antialiased glyphs included) in the first `columns` pixel columns of a cell.
int InkInColumns(const QImage& image, const QRect& rect, int columns) {
  int ink = 0;
  for (int y = rect.top() + 2; y <= rect.bottom() - 2; ++y) {
    for (int x = rect.left(); x < rect.left() + columns; ++x) ink += qGray(image.pixel(x, y)) < 200;
  }
  return ink;
}

// A text that fits its cell but not the room inside the padding (a wider font than the sheet
// was laid out with) is drawn whole up to the cell's edges: before, the padding cut the first
// or last stroke of "闭" off. Ink must reach into the padding on the side the text overflows.
TEST(CellFit, ATextAFewPixelsTooWideForThePaddingKeepsItsStrokes) {
  CellStyle style;
  style.fontName = "WenQuanYi Zen Hei";
  const QString text = QStringLiteral("闭合差限差(mm)");
  const double advance = QFontMetricsF(CellPainter::FontFor(style)).horizontalAdvance(text);
  for (const HorizontalAlignment align : {HorizontalAlignment::Right, HorizontalAlignment::Left}) {
    style.horizontal = align;
    QImage image(240, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QRect cell(40, 0, static_cast<int>(advance) + 2, 30);  // room enough, padding not
    {
      QPainter painter(&image);
      CellPainter::PaintText(painter, cell, style, text, false);
    }
    const bool right = align == HorizontalAlignment::Right;
    const QRect padding = right ? QRect(cell.left(), 0, 2, 30) : QRect(cell.right() - 1, 0, 2, 30);
    EXPECT_GT(InkInColumns(image, padding, 2), 0) << (right ? "right" : "left");
    EXPECT_EQ(InkInColumns(image, QRect(0, 0, cell.left(), 30), cell.left()), 0) << "outside the cell";
  }
}

// On screen: text starts after the cell's padding, so a number that fits leaves the first two
// pixel columns blank where a cut one runs on to the edge; the formatted one fills with "#".
TEST(CellFit, TheGridShowsTheFittedText) {
  auto dialogs = std::make_shared<FakeWorkbookDialogs>();
  WorkbookWindow window(nullptr, nullptr, dialogs);
  window.SetWorkbook(NarrowCells(), "work1", QString());
  window.resize(800, 400);
  window.show();
  SheetView* view = window.View();
  view->SetCurrentCell(CellAddress{10, 5});  // its frame away from the cells looked at
  const QImage image = view->viewport()->grab().toImage();
  const QRect a1 = view->visualRect(view->model()->index(0, 0));
  const QRect a3 = view->visualRect(view->model()->index(2, 0));
  ASSERT_EQ(a1.width(), static_cast<int>(kColumnPixels));
  EXPECT_EQ(InkInColumns(image, a1, 2), 0);
  EXPECT_GT(InkInColumns(image, a1, a1.width() - 1), 20);
  EXPECT_GT(InkInColumns(image, a3, 10), 5);
}

// Under General alignment numbers go right, texts left, booleans and error values in the middle:
// where the ink of the painted cell lies, in thirds of its width.
TEST(CellFit, GeneralAlignmentByKindOfValue) {
  const struct {
    CellValue value;
    int third;  // 0 left, 1 middle, 2 right
  } kCases[] = {{1.5, 2}, {std::string("abc"), 0}, {true, 1}, {CellError{"#DIV/0!"}, 1}, {CellError{"#REF!"}, 1}};
  const QRect cell(0, 0, 240, 20);
  for (const auto& c : kCases) {
    QImage image(cell.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    CellPainter::PaintValue(painter, cell, CellStyle{}, c.value, NumberFormat("General"), DateSystem::From1900);
    painter.end();
    const int third = cell.width() / 3;
    for (int t = 0; t < 3; ++t) {
      const int ink = InkInColumns(image, cell.adjusted(t * third, 0, 0, 0), third);
      if (t == c.third) {
        EXPECT_GT(ink, 5) << NumberFormat::Display(c.value, "General") << " third " << t;
      } else {
        EXPECT_EQ(ink, 0) << NumberFormat::Display(c.value, "General") << " third " << t;
      }
    }
  }
}

// On paper (the PDF export prints the same way): the fitted texts, no cut digits.
TEST(CellFit, ThePrintedPageShowsTheFittedText) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const Workbook wb = NarrowCells();
  const QString pdf = dir.filePath(QStringLiteral("narrow.pdf"));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  ASSERT_EQ(SheetPrinter::Print(wb, wb.SheetAt(0), printer), 1);
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
  if (!process.waitForStarted(5000)) GTEST_SKIP() << "pdftotext is not installed";
  ASSERT_TRUE(process.waitForFinished(30000));
  const QString text = QString::fromUtf8(process.readAllStandardOutput());
  EXPECT_TRUE(text.contains(Fitted(wb, "A1", kColumnPixels))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("2024年1月2日"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("###"))) << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("000012345"))) << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("3456789.1"))) << text.toStdString();
}

}  // namespace
}  // namespace spreadsheet
