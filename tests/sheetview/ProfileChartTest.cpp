#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QAbstractScrollArea>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "host/MemoryHost.h"
#include "leveling/LevelingModule.h"
#include "sheetview/ProfileChart.h"
#include "sheetview/PrintCommands.h"
#include "sheetview/PrintPreview.h"
#include "sheetview/ProfileView.h"
#include "sheetview/SheetPrinter.h"
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

// A row without a chainage (a closing benchmark 4 m below the road) is neither drawn nor
// stretches the elevation axis: no line drops from the last station.
TEST(ProfileChartPixels, ARowWithoutChainageIsLeftOut) {
  gaocheng::ProfileData data = FourPoints();
  data.Chainage.push_back(kNone);
  data.Design.push_back(kNone);
  data.Measured.push_back(8.0);
  data.TurningPoint.push_back(kNone);
  data.DeviationMm.push_back(kNone);
  const ProfileChart chart(data);
  QRectF area;
  const QImage image = Painted(chart, area);
  const QRectF top = chart.ElevationPlot(area);
  EXPECT_GT(chart.ElevationYOf(8.0, top), top.bottom());
  EXPECT_TRUE(Near(image, chart.XOf(1300, top), chart.ElevationYOf(12.003, top), kRed, 1));
  EXPECT_FALSE(Near(image, chart.XOf(1300, top), chart.ElevationYOf(10.5, top), kRed, 2));
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

// The sample route after a generation with seed 3.
Workbook GeneratedSample() {
  MemoryHost host(templates::SampleRoute::Build());
  gaocheng::LevelingModule module;
  module.SetDefaultSettings();
  struct Quiet : gaocheng::MessageSink {
    void Show(const std::string&, const std::string&) override {}
  } quiet;
  EXPECT_TRUE(module.GenerateFieldBook(host, 3, quiet).Written);
  return host.GetWorkbook();
}

bool IsLandscape(const PrintedPages& pages) { return pages.PaperSize().width() > pages.PaperSize().height(); }

// What 导出PDF puts together: the book and then its profile, only from 水准表 and only when the
// profile holds rows; any other sheet as it prints.
TEST(ProfileChartDocument, TheBookIsFollowedByItsProfileWhenThereIsOne) {
  struct Case {
    const char* shown;
    bool generated;
    const char* profileName;  // another name stands for a workbook made before the profile
    std::size_t parts;
    bool lastLandscape;
  } cases[] = {
      {"水准表", true, "纵断面", 2, true},   {"水准表", false, "纵断面", 1, false},
      {"水准表", true, "Sheet5", 1, false},  {"纵断面", true, "纵断面", 1, true},
      {"数据输入", true, "纵断面", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.shown) + (c.generated ? " generated " : " template ") + c.profileName);
    Workbook book = c.generated ? GeneratedSample() : templates::SampleRoute::Build();
    book.FindSheet("纵断面")->Rename(c.profileName);
    const auto parts = SheetPrinter::DocumentOf(book, *book.FindSheet(c.shown));
    ASSERT_EQ(parts.size(), c.parts);
    EXPECT_FALSE(IsLandscape(*parts.front()) && parts.size() > 1);
    EXPECT_EQ(IsLandscape(*parts.back()), c.lastLandscape);
  }
}

// The window shows "纵断面" as the chart after a generation, previews and prints it as the chart.
TEST(ProfileChartWindow, TheSheetShowsAsItsChartAndExportsToPdf) {
  auto dialogs = std::make_shared<FakeWorkbookDialogs>();
  WorkbookWindow window([](const std::string& path) { return XlsxImporter::Load(path); },
                        [](const Workbook& book, const std::string& path) { XlsxExporter::Save(book, path); }, dialogs);
  window.SetWorkbook(GeneratedSample(), "work1", QString());
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
  ASSERT_TRUE(window.Printing().PrintPreview());
  EXPECT_EQ(dialogs->previewPages, 1);
  EXPECT_GT(dialogs->previewPaper.width(), dialogs->previewPaper.height());
  window.ShowSheet(1);
  EXPECT_FALSE(window.Profile()->isVisible());
  EXPECT_TRUE(window.View()->isVisible());
}

// The preview paints the chart page: a measured point red where the chart puts it on the
// scaled page, and no red well above or below it.
TEST(ProfileChartWindow, ThePreviewShowsTheChartPage) {
  const Workbook book = GeneratedSample();
  const auto pages = SheetPrinter::PagesOf(book, *book.FindSheet("纵断面"));
  ASSERT_EQ(pages->Count(), 1);
  PrintPreview preview(*pages, nullptr);
  preview.resize(1000, 800);
  preview.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
  QWidget* viewport = preview.ScrollArea()->viewport();
  const QImage shot = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QSizeF paper = pages->PaperSize();
  const QMarginsF margins = pages->Margins();
  const double zoom = std::min(1.0, (viewport->width() - 2.0 * PrintPreview::kGap) / paper.width());
  const QPointF origin(std::max<double>(PrintPreview::kGap, (viewport->width() - paper.width() * zoom) / 2) +
                           margins.left() * zoom,
                       PrintPreview::kGap + margins.top() * zoom);
  const QRectF area(0, 0, paper.width() - margins.left() - margins.right(),
                    paper.height() - margins.top() - margins.bottom());
  const std::optional<ProfileChart> chart = ProfileChart::Of(book, *book.FindSheet("纵断面"));
  ASSERT_TRUE(chart && !chart->IsEmpty());
  const gaocheng::ProfileData& data = chart->Data();
  const QRectF top = chart->ElevationPlot(area);
  int checked = 0;
  for (std::size_t i = 0; i < data.Size(); i += 7) {
    if (std::isnan(data.Measured[i]) || std::isnan(data.DeviationMm[i])) continue;
    const QPointF at = origin + QPointF(chart->XOf(data.Chainage[i], top), chart->ElevationYOf(data.Measured[i], top)) * zoom;
    EXPECT_TRUE(Near(shot, at.x(), at.y(), kRed, 2)) << i;
    // 1.2 m above or below the point (the points of one chainage lie within 0.3 m): no red.
    double awayY = chart->ElevationYOf(data.Measured[i] + 1.2, top);
    if (awayY < top.top()) awayY = chart->ElevationYOf(data.Measured[i] - 1.2, top);
    const QPointF empty = origin + QPointF(chart->XOf(data.Chainage[i], top), awayY) * zoom;
    EXPECT_FALSE(Near(shot, empty.x(), empty.y(), kRed, 1)) << i;
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

}  // namespace
}  // namespace spreadsheet
