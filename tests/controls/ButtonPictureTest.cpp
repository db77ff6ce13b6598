#include <gtest/gtest.h>

#include "controls/ButtonPicture.h"
#include "tests/support/ParamName.h"

using Quellmark::ButtonPicture;

namespace {

struct Conversion {
  qint32 himetric;
  int dpi;
  qint32 pixels;
};

class HimetricToPixels : public ::testing::TestWithParam<Conversion> {};

TEST_P(HimetricToPixels, RoundsToNearestWithHalvesToEven) {
  const Conversion& c = GetParam();
  EXPECT_EQ(ButtonPicture::himetricToPixels(c.himetric, c.dpi), c.pixels)
      << c.himetric << " HIMETRIC at " << c.dpi << " dpi";
}

// At 127 dpi one pixel is exactly 20 HIMETRIC, which puts exact halves within reach.
INSTANTIATE_TEST_SUITE_P(Cases, HimetricToPixels,
                         ::testing::Values(Conversion{1693, 96, 64},                      // 63.99
                                           Conversion{847, 96, 32},                       // 32.01
                                           Conversion{0, 96, 0}, Conversion{10, 127, 0},  // 0.5
                                           Conversion{30, 127, 2},                        // 1.5
                                           Conversion{50, 127, 2},                        // 2.5
                                           Conversion{51, 127, 3},                        // 2.55
                                           Conversion{49, 127, 2},                        // 2.45
                                           Conversion{1693, 0, 0}, Conversion{1693, -96, 0}),
                         testsupport::NameBy([](const Conversion& c) {
                           return testsupport::ParamName(c.himetric, "himetric_at", c.dpi, "dpi");
                         }));

TEST(ButtonPicture, ImageSizeSurvivesTheRoundTripThroughHimetric) {
  for (int pixels : {1, 16, 32, 48, 64, 65, 100, 1000}) {
    for (int dpi : {72, 96, 120, 144}) {
      EXPECT_EQ(ButtonPicture::himetricToPixels(ButtonPicture::pixelsToHimetric(pixels, dpi), dpi), pixels)
          << pixels << " px at " << dpi << " dpi";
    }
  }
}

TEST(ButtonPicture, EmptyAndNullPicturesHaveKindNoneAndNoSize) {
  const ButtonPicture absent;
  EXPECT_TRUE(absent.isEmpty());
  EXPECT_EQ(absent.widthHimetric(), 0);
  EXPECT_EQ(absent.heightHimetric(), 0);

  const ButtonPicture fromNull = ButtonPicture::fromImage(QImage(), ButtonPicture::Kind::Bitmap, 96, 96);
  EXPECT_EQ(fromNull.kind(), ButtonPicture::Kind::None);
  EXPECT_EQ(fromNull.widthHimetric(), 0);
}

TEST(ButtonPicture, FromImageMeasuresEachAxisAtItsOwnResolution) {
  QImage image(64, 32, QImage::Format_RGB32);
  const ButtonPicture picture = ButtonPicture::fromImage(image, ButtonPicture::Kind::Icon, 96, 48);
  EXPECT_EQ(picture.kind(), ButtonPicture::Kind::Icon);
  EXPECT_EQ(picture.widthHimetric(), 1693);
  EXPECT_EQ(picture.heightHimetric(), 1693);
}

TEST(ButtonPicture, NegativeSizesCountAsZero) {
  const ButtonPicture picture(ButtonPicture::Kind::Bitmap, -5, -1, QImage(2, 2, QImage::Format_RGB32));
  EXPECT_EQ(picture.widthHimetric(), 0);
  EXPECT_EQ(picture.heightHimetric(), 0);
}

}  // namespace
