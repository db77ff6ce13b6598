#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <memory>

#include "host/MemoryHost.h"
#include "leveling/LevelingModule.h"
#include "sheetview/ProfileChart.h"
#include "sheetview/ProfileView.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/SheetView.h"
#include "sheetview/WorkbookWindow.h"
#include "templates/SampleRoute.h"
#include "tests/sheetview/FakeWorkbookDialogs.h"
#include "xlsx/XlsxExporter.h"
#include "xlsx/XlsxImporter.h"

namespace spreadsheet {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
const QRgb kRed = qRgb(0xC0, 0x39, 0x2B);
const QRgb kGrey = qRgb(0x7F, 0x7F, 0x7F);

QImage Painted(const ProfileChart& chart, QRectF& area) {
  QImage image(900, 640, QImage::Format_RGB32);
  image.fill(Qt::white);
  area = QRectF(0, 0, image.width(), image.height());
  QPainter painter(&image);
  chart.Paint(painter, area);
  return image;
}

// Whether a pixel of `colour` lies within `reach` pixels of (x, y).
bool Near(const QImage& image, double x, double y, QRgb colour, int reach) {
  for (int dy = -reach; dy <= reach; ++dy) {
    for (int dx = -reach; dx <= reach; ++dx) {
      const QPoint p(static_cast<int>(std::lround(x)) + dx, static_cast<int>(std::lround(y)) + dy);
      if (image.rect().contains(p) && image.pixel(p) == colour) return true;
    }
  }
  return false;
}

gaocheng::ProfileData FourPoints() {
  gaocheng::ProfileData d;
  d.Chainage = {1000, 1100, 1200, 1300};
  d.Design = {10, 11, kNone, 12};
  d.Measured = {10.002, 11.001, kNone, 12.003};
  d.TurningPoint = {kNone, kNone, 11.5, kNone};
  d.DeviationMm = {2, 1, kNone, -2};
  d.PlusToleranceMm = 3;
  d.MinusToleranceMm = -3;
  return d;
}

TEST(ProfileChartPixels, PointsLandAtTheirChainageAndTheToleranceLinesAtPlusAndMinus) {
  const ProfileChart chart(FourPoints());
  QRectF area;
  const QImage image = Painted(chart, area);
  const QRectF top = chart.ElevationPlot(area), bottom = chart.DeviationPlot(area);
  EXPECT_DOUBLE_EQ(chart.XOf(1000, top), top.left());
  EXPECT_DOUBLE_EQ(chart.XOf(1300, top), top.right());
  const double x = chart.XOf(1100, bottom);
  EXPECT_NEAR(x, bottom.left() + bottom.width() / 3, 1e-9);
  // The measured point at K1+100 and its deviation of 1 mm: red where they belong, not elsewhere.
  EXPECT_TRUE(Near(image, chart.XOf(1100, top), chart.ElevationYOf(11.001, top), kRed, 1));
  EXPECT_TRUE(Near(image, x, chart.DeviationYOf(1, bottom), kRed, 1));
  EXPECT_FALSE(Near(image, x, chart.DeviationYOf(-1.5, bottom), kRed, 1));
  // The dashed tolerance lines run at +3 and -3 mm the whole width, and nowhere at 0 mm.
  for (double across : {0.1, 0.5, 0.9}) {
    const double lineX = bottom.left() + across * bottom.width();
    EXPECT_TRUE(Near(image, lineX, chart.DeviationYOf(3, bottom), kGrey, 6)) << across;
    EXPECT_TRUE(Near(image, lineX, chart.DeviationYOf(-3, bottom), kGrey, 6)) << across;
    EXPECT_FALSE(Near(image, lineX, chart.DeviationYOf(0, bottom), kGrey, 2)) << across;
  }
}

// More points than pixel columns: a single deviation of 40 mm among 65,000 zeros still shows.
TEST(ProfileChartPixels, ASpikeSurvivesTheThinning) {
  gaocheng::ProfileData d;
  const std::size_t n = 65000;
  for (std::size_t i = 0; i < n; ++i) {
    d.Chainage.push_back(static_cast<double>(i));
    d.Design.push_back(100 + i * 1e-4);
    d.Measured.push_back(100 + i * 1e-4);
    d.TurningPoint.push_back(kNone);
    d.DeviationMm.push_back(i == 32123 ? 40.0 : 0.0);
  }
  const ProfileChart chart(std::move(d));
  QRectF area;
  const QImage image = Painted(chart, area);
  const QRectF bottom = chart.DeviationPlot(area);
  EXPECT_TRUE(Near(image, chart.XOf(32123, bottom), chart.DeviationYOf(40, bottom), kRed, 2));
}

// The window shows "纵断面" as the chart after a generation and puts it into the PDF.
TEST(ProfileChartWindow, TheSheetShowsAsItsChartAndExportsToPdf) {
  MemoryHost host(templates::SampleRoute::Build());
  gaocheng::LevelingModule module;
  module.SetDefaultSettings();
  struct Quiet : gaocheng::MessageSink {
    void Show(const std::string&, const std::string&) override {}
  } quiet;
  ASSERT_TRUE(module.GenerateFieldBook(host, 3, quiet).Written);
  auto dialogs = std::make_shared<FakeWorkbookDialogs>();
  WorkbookWindow window([](const std::string& path) { return XlsxImporter::Load(path); },
                        [](const Workbook& book, const std::string& path) { XlsxExporter::Save(book, path); }, dialogs);
  window.SetWorkbook(host.GetWorkbook(), "work1", QString());
  window.resize(900, 700);
  window.show();
  const int index = window.GetWorkbook().IndexOf("纵断面");
  ASSERT_GE(index, 0);
  EXPECT_FALSE(window.Profile()->isVisible());
  window.ShowSheet(static_cast<std::size_t>(index));
  EXPECT_TRUE(window.Profile()->isVisible());
  EXPECT_FALSE(window.View()->isVisible());
  ASSERT_TRUE(window.Profile()->Chart().has_value());
  EXPECT_EQ(window.Profile()->Chart()->Data().Chainage.front(), 1000);
  QTemporaryDir dir;
  const QString pdf = dir.filePath("纵断面.pdf");
  ASSERT_TRUE(window.Printing().ExportPdfTo(pdf));
  QFile file(pdf);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  EXPECT_EQ(bytes.count("/Type /Page") - bytes.count("/Type /Pages"), 1);  // the chart on one page
  window.ShowSheet(1);
  EXPECT_FALSE(window.Profile()->isVisible());
  EXPECT_TRUE(window.View()->isVisible());
}

}  // namespace
}  // namespace spreadsheet
