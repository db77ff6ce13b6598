#include <gtest/gtest.h>

#include <QLabel>
#include <cstdlib>
#include <memory>

#include "controls/PanelGradient.h"
#include "controls/UserControl1.h"
#include "tests/controls/PixelSupport.h"

using PixelSupport::pixelAt;
using PixelSupport::Rgb;
using PixelSupport::rgbOf;
using PixelSupport::screenOf;
using Quellmark::PanelGradient;
using Quellmark::UserControl1;

namespace {

const Rgb border{173, 193, 220};
const Rgb captionText{2, 45, 123};

Rgb titleRow(int row) {
  return rgbOf(PanelGradient::rowColors(0xF7E0D3, 0xEDC5A7, 18, 20).at(static_cast<std::size_t>(row)));
}

Rgb bodyRow(int panelHeight, int row) {
  const auto rows = PanelGradient::rowColors(0xFCF4EF, 0xFAE8DC, panelHeight - 21, panelHeight - 20);
  return rgbOf(rows.at(static_cast<std::size_t>(row - 20)));
}

std::unique_ptr<UserControl1> shownPanel(int width, int height, const QString& caption) {
  auto panel = std::make_unique<UserControl1>();
  panel->setCaption(caption);
  panel->resize(width, height);
  panel->show();
  return panel;
}

int textPixelsIn(const QImage& image, const QRect& area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (x != 4 && pixelAt(image, x, y) != titleRow(y)) ++count;
    }
  }
  return count;
}

TEST(UserControl1, TitleStripRowsBelowTheTopBorder) {
  const auto panel = shownPanel(120, 177, QString());
  const QImage image = screenOf(*panel);
  for (int x : {1, 60, 118}) {
    EXPECT_EQ(pixelAt(image, x, 0), border) << "row 0 lies under the top border, x " << x;
    EXPECT_EQ(pixelAt(image, x, 1), (Rgb{209, 222, 246})) << x;
    EXPECT_EQ(pixelAt(image, x, 18), (Rgb{167, 197, 237})) << x;
    EXPECT_EQ(pixelAt(image, x, 19), (Rgb{165, 196, 236})) << x;
  }
  for (int y = 1; y < 20; ++y) EXPECT_EQ(pixelAt(image, 2, y), titleRow(y)) << y;
}

TEST(UserControl1, BodyRunsFromItsStartColourToItsEndColour) {
  const int height = 177;
  const auto panel = shownPanel(81, height, QStringLiteral("已知点"));
  const QImage image = screenOf(*panel);
  EXPECT_EQ(pixelAt(image, 1, 20), (Rgb{239, 244, 252}));
  EXPECT_EQ(pixelAt(image, 79, 20), (Rgb{239, 244, 252}));
  // The last body row (y = 176) is the bottom border; the one above is one step short of the end.
  EXPECT_EQ(pixelAt(image, 40, height - 2), bodyRow(height, height - 2));
  EXPECT_EQ(pixelAt(image, 40, height - 1), border);
  for (int y = 20; y < height - 1; ++y) EXPECT_EQ(pixelAt(image, 40, y), bodyRow(height, y)) << y;
}

TEST(UserControl1, BorderFramesThePanel) {
  const int width = 81;
  const int height = 60;
  const auto panel = shownPanel(width, height, QStringLiteral("已知点"));
  const QImage image = screenOf(*panel);
  for (int x = 0; x < width; ++x) {
    EXPECT_EQ(pixelAt(image, x, 0), border) << x;
    EXPECT_EQ(pixelAt(image, x, height - 1), border) << x;
  }
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(pixelAt(image, 0, y), border) << y;
    EXPECT_EQ(pixelAt(image, width - 1, y), border) << y;
  }
  EXPECT_NE(pixelAt(image, 1, 1), border);
  EXPECT_NE(pixelAt(image, width - 2, height - 2), border);
}

TEST(UserControl1, AccentLineRunsDownXFourFromRowFourToRowSixteen) {
  const auto panel = shownPanel(81, 60, QStringLiteral("已知点"));
  const QImage image = screenOf(*panel);
  for (int y = 4; y <= 16; ++y) EXPECT_EQ(pixelAt(image, 4, y), border) << y;
  EXPECT_EQ(pixelAt(image, 4, 3), titleRow(3));
  EXPECT_EQ(pixelAt(image, 4, 17), titleRow(17));
  EXPECT_EQ(pixelAt(image, 3, 10), titleRow(10));
  EXPECT_EQ(pixelAt(image, 5, 10), titleRow(10));
}

TEST(UserControl1, PanelOfTwentyOneRowsHasStripAndBorderButNoBody) {
  const auto panel = shownPanel(50, 21, QString());
  const QImage image = screenOf(*panel);
  for (int y = 1; y < 20; ++y) EXPECT_EQ(pixelAt(image, 20, y), titleRow(y)) << y;
  for (int x = 0; x < 50; ++x) EXPECT_EQ(pixelAt(image, x, 20), border) << x;
  EXPECT_EQ(pixelAt(image, 49, 10), border);
}

TEST(UserControl1, PanelLowerThanTheStripShowsStripRowsUpToItsBottomBorder) {
  const auto panel = shownPanel(50, 15, QString());
  const QImage image = screenOf(*panel);
  ASSERT_EQ(image.height(), 15);
  for (int y = 1; y < 14; ++y) EXPECT_EQ(pixelAt(image, 20, y), titleRow(y)) << y;
  EXPECT_EQ(pixelAt(image, 20, 14), border);
  EXPECT_EQ(pixelAt(image, 4, 13), border) << "accent line";
}

TEST(UserControl1, EmptyCaptionLeavesStripAndAccentLineOnly) {
  const auto panel = shownPanel(120, 60, QString());
  const QImage image = screenOf(*panel);
  EXPECT_EQ(textPixelsIn(image, QRect(QPoint(1, 1), QPoint(118, 19))), 0);
  EXPECT_EQ(panel->CaptionRect(), QRect(QPoint(8, 4), QPoint(116, 15)));
}

TEST(UserControl1, CaptionIsDrawnInItsColourInsideTheCaptionRectangle) {
  const auto panel = shownPanel(200, 60, QStringLiteral("水准平面设置"));
  const QImage image = screenOf(*panel);
  const QRect rect = panel->CaptionRect();
  EXPECT_GT(textPixelsIn(image, rect), 20);
  // Outside the rectangle the strip is untouched.
  EXPECT_EQ(textPixelsIn(image, QRect(QPoint(5, 1), QPoint(7, 19))), 0);
  EXPECT_EQ(textPixelsIn(image, QRect(QPoint(1, 16), QPoint(198, 19))), 0);
  EXPECT_EQ(textPixelsIn(image, QRect(QPoint(1, 1), QPoint(198, 3))), 0);
  // Glyph cores carry the caption colour; anti-aliased edges only blend towards it.
  int closest = 1000;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const Rgb p = pixelAt(image, x, y);
      closest = std::min(closest, std::abs(p.red - captionText.red) + std::abs(p.green - captionText.green) +
                                      std::abs(p.blue - captionText.blue));
    }
  }
  EXPECT_LE(closest, 30);
  // Left-aligned: ink starts within a few pixels of x = 8.
  EXPECT_GT(textPixelsIn(image, QRect(QPoint(8, 4), QPoint(12, 15))), 0);
}

TEST(UserControl1, CaptionWiderThanTheRectangleStopsBeforePanelWidthMinusThree) {
  const int width = 60;
  const auto panel = shownPanel(width, 40, QStringLiteral("水准平面设置水准平面设置水准平面设置"));
  const QImage image = screenOf(*panel);
  EXPECT_GT(textPixelsIn(image, QRect(QPoint(width - 12, 4), QPoint(width - 4, 15))), 0);
  for (int y = 1; y < 20; ++y) {
    EXPECT_EQ(pixelAt(image, width - 3, y), titleRow(y)) << y;
    EXPECT_EQ(pixelAt(image, width - 2, y), titleRow(y)) << y;
  }
}

TEST(UserControl1, WritingCaptionWhileVisibleChangesNothingUntilShownAgain) {
  const auto panel = shownPanel(150, 60, QStringLiteral("项目文件设置"));
  const QImage before = screenOf(*panel);
  panel->setCaption(QStringLiteral("关于 V1.1"));
  EXPECT_EQ(panel->Caption(), QStringLiteral("关于 V1.1"));
  panel->update();
  EXPECT_EQ(screenOf(*panel), before);
  panel->hide();
  panel->show();
  EXPECT_NE(screenOf(*panel), before);

  auto fresh = shownPanel(150, 60, QStringLiteral("关于 V1.1"));
  EXPECT_EQ(screenOf(*panel), screenOf(*fresh));
}

TEST(UserControl1, ResizeAfterShowingKeepsTheOldPainting) {
  const auto panel = shownPanel(80, 40, QString());
  panel->resize(100, 60);
  const QImage image = screenOf(*panel);
  ASSERT_EQ(image.size(), QSize(100, 60));
  EXPECT_EQ(pixelAt(image, 40, 39), border) << "old bottom border";
  EXPECT_EQ(pixelAt(image, 79, 10), border) << "old right border";
  EXPECT_EQ(pixelAt(image, 90, 50), PixelSupport::buttonFace());
  panel->hide();
  panel->show();
  EXPECT_EQ(pixelAt(screenOf(*panel), 99, 10), border);
}

TEST(UserControl1, TransparentChildLabelShowsTheGradientBehindIt) {
  const int height = 120;
  const auto panel = shownPanel(100, height, QString());
  auto* label = new QLabel(QStringLiteral("水"), panel.get());
  label->setGeometry(10, 40, 60, 20);
  label->show();
  const QImage image = screenOf(*panel);
  EXPECT_EQ(pixelAt(image, 65, 42), bodyRow(height, 42));
  EXPECT_EQ(pixelAt(image, 65, 58), bodyRow(height, 58));
}

TEST(UserControl1, StyleSheetsDoNotChangeThePainting) {
  const auto plain = shownPanel(120, 80, QStringLiteral("已知点"));
  QWidget host;
  host.setStyleSheet(
      QStringLiteral("* { background: red; color: green; font: 30pt; border: 3px solid blue; }"));
  auto* styled = new UserControl1(&host);
  styled->setCaption(QStringLiteral("已知点"));
  styled->setGeometry(0, 0, 120, 80);
  host.resize(120, 80);
  host.show();
  EXPECT_EQ(screenOf(*styled), screenOf(*plain));
}

}  // namespace
