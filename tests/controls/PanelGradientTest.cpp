#include <gtest/gtest.h>

#include "controls/PanelGradient.h"
#include "tests/controls/PixelSupport.h"

using PixelSupport::Rgb;
using PixelSupport::rgbOf;
using Quellmark::PanelGradient;

namespace {

TEST(PanelGradient, ChannelsComeFromTheLowMiddleAndHighBytes) {
  EXPECT_EQ(PanelGradient::GetRed(0x7B2D02), 2);
  EXPECT_EQ(PanelGradient::GetGreen(0x7B2D02), 45);
  EXPECT_EQ(PanelGradient::GetBlue(0x7B2D02), 123);
  EXPECT_EQ(rgbOf(PanelGradient::fromBgr(0xDCC1AD)), (Rgb{173, 193, 220}));
}

TEST(PanelGradient, TitleStripRowsRoundHalvesToEvenAndRunOneStepPastTheEnd) {
  const auto rows = PanelGradient::rowColors(0xF7E0D3, 0xEDC5A7, 18, 20);
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rgbOf(rows[0]), (Rgb{211, 224, 247}));
  // Green 222.5 goes down to 222 and row 19's 195.5 up to 196: halves to the even neighbour.
  EXPECT_EQ(rgbOf(rows[1]), (Rgb{209, 222, 246}));
  EXPECT_EQ(rgbOf(rows[18]), (Rgb{167, 197, 237}));
  EXPECT_EQ(rgbOf(rows[19]), (Rgb{165, 196, 236}));
}

TEST(PanelGradient, BodyEndsExactlyOnItsEndColour) {
  for (int height : {22, 41, 177, 400, 1000}) {
    const int divisor = height - 21;
    const auto rows = PanelGradient::rowColors(0xFCF4EF, 0xFAE8DC, divisor, height - 20);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(height - 20));
    EXPECT_EQ(rgbOf(rows.front()), (Rgb{239, 244, 252})) << height;
    EXPECT_EQ(rgbOf(rows.back()), (Rgb{220, 232, 250})) << height;
  }
}

TEST(PanelGradient, SingleRowBodyHasTheStartColourOnly) {
  const auto rows = PanelGradient::rowColors(0xFCF4EF, 0xFAE8DC, 1, 2);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rgbOf(rows[0]), (Rgb{239, 244, 252}));
  EXPECT_EQ(rgbOf(rows[1]), (Rgb{220, 232, 250}));
}

TEST(PanelGradient, DivisorZeroOrNoRowsGiveNothing) {
  EXPECT_TRUE(PanelGradient::rowColors(0xFCF4EF, 0xFAE8DC, 0, 1).empty());
  EXPECT_TRUE(PanelGradient::rowColors(0xFCF4EF, 0xFAE8DC, -6, -5).empty());
}

TEST(PanelGradient, ChannelsLeavingTheByteRangeAreClamped) {
  const auto rows = PanelGradient::rowColors(0x000000, 0xFFFFFF, 1, 3);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rgbOf(rows[1]), (Rgb{255, 255, 255}));
  EXPECT_EQ(rgbOf(rows[2]), (Rgb{255, 255, 255}));
}

}  // namespace
