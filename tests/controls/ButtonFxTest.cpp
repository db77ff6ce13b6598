#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <memory>

#include "controls/ButtonFx.h"
#include "tests/controls/PixelSupport.h"
#include "tests/support/ParamName.h"

using PixelSupport::pixelAt;
using PixelSupport::Rgb;
using PixelSupport::screenOf;
using Quellmark::ButtonFx;
using Quellmark::ButtonPicture;

namespace {

const Rgb pressedFill{184, 216, 233};
const Rgb pressedBorder{98, 163, 229};
const Rgb hoverFill{213, 239, 248};
const Rgb hoverBorder{122, 177, 232};
const Rgb black{0, 0, 0};

std::unique_ptr<ButtonFx> shownButton(int width, int height) {
  auto button = std::make_unique<ButtonFx>();
  button->resize(width, height);
  button->show();
  return button;
}

QImage solidImage(int width, int height, QColor colour, QImage::Format format = QImage::Format_RGB32) {
  QImage image(width, height, format);
  image.fill(colour);
  return image;
}

// A picture whose pixel size at the offscreen screen's 96 dpi equals the image's.
ButtonPicture pictureOf(const QImage& image, ButtonPicture::Kind kind) {
  return ButtonPicture::fromImage(image, kind, 96, 96);
}

void sendMove(ButtonFx& button, QPointF at, Qt::MouseButtons held = Qt::NoButton) {
  QMouseEvent move(QEvent::MouseMove, at, button.mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&button, &move);
}

void sendButton(ButtonFx& button, QEvent::Type type, QPointF at, Qt::MouseButton which = Qt::LeftButton) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(which);
  QMouseEvent event(type, at, button.mapToGlobal(at), which, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&button, &event);
}

// Smallest rectangle holding every pixel of the given colour.
QRect boundsOf(const QImage& image, Rgb colour) {
  QRect bounds;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (pixelAt(image, x, y) == colour) bounds = bounds.united(QRect(x, y, 1, 1));
    }
  }
  return bounds;
}

TEST(ButtonFx, OffscreenScreenHasTheResolutionTheseTestsAssume) {
  ButtonFx button;
  ASSERT_EQ(button.logicalDpiX(), 96);
  ASSERT_EQ(button.logicalDpiY(), 96);
}

struct StateLook {
  qint16 state;
  Rgb fill;
  Rgb border;
};

class ButtonFxStates : public ::testing::TestWithParam<StateLook> {};

TEST_P(ButtonFxStates, FillAndOutlineOfTheState) {
  const StateLook& look = GetParam();
  const auto button = shownButton(41, 30);
  button->DrawButton(look.state);
  const QImage image = screenOf(*button);
  for (QPoint corner : {QPoint(0, 0), QPoint(40, 0), QPoint(0, 29), QPoint(40, 29), QPoint(20, 0),
                        QPoint(0, 15), QPoint(40, 15), QPoint(20, 29)})
    EXPECT_EQ(pixelAt(image, corner.x(), corner.y()), look.border) << corner.x() << "," << corner.y();
  for (QPoint inner : {QPoint(1, 1), QPoint(39, 28), QPoint(20, 15)})
    EXPECT_EQ(pixelAt(image, inner.x(), inner.y()), look.fill) << inner.x() << "," << inner.y();
}

INSTANTIATE_TEST_SUITE_P(
    Looks, ButtonFxStates,
    ::testing::Values(StateLook{1, pressedFill, pressedBorder}, StateLook{2, hoverFill, hoverBorder},
                      StateLook{5, black, black}, StateLook{-1, black, black}, StateLook{3, black, black}),
    testsupport::NameBy([](const StateLook& c) { return testsupport::ParamName("state", c.state); }));

TEST(ButtonFx, NormalLookIsFlatInTheButtonFaceColour) {
  const auto button = shownButton(41, 30);
  const QImage image = screenOf(*button);
  EXPECT_EQ(boundsOf(image, PixelSupport::buttonFace()), QRect(0, 0, 41, 30));
  EXPECT_EQ(button->ButtonWidth(), 41);
  EXPECT_EQ(button->ButtonHeight(), 30);
}

TEST(ButtonFx, ResizeCachesTheSizeAndRedrawsTheNormalLook) {
  const auto button = shownButton(41, 41);
  button->DrawButton(ButtonFx::StateHover);
  button->resize(65, 50);
  EXPECT_EQ(button->ButtonWidth(), 65);
  EXPECT_EQ(button->ButtonHeight(), 50);
  const QImage image = screenOf(*button);
  EXPECT_EQ(boundsOf(image, PixelSupport::buttonFace()), QRect(0, 0, 65, 50));
}

TEST(ButtonFx, GetPicSizeConvertsHimetricAtTheScreenResolution) {
  const auto button = shownButton(41, 41);
  qint32 width = -1;
  qint32 height = -1;
  button->GetPicSize(width, height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);

  button->setPicture(ButtonPicture(ButtonPicture::Kind::Bitmap, 1693, 847, solidImage(8, 8, Qt::black)));
  button->GetPicSize(width, height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 32);
  EXPECT_EQ(button->PicWidth(), 64);
  EXPECT_EQ(button->PicHeight(), 32);
  // The 8 x 8 image is drawn at the picture's size.
  EXPECT_EQ(boundsOf(screenOf(*button), black), QRect(-11, 4, 64, 32).intersected(QRect(0, 0, 41, 41)));
}

struct Placement {
  int control;
  int picture;
  QRect drawn;
};

class ButtonFxPlacement : public ::testing::TestWithParam<Placement> {};

TEST_P(ButtonFxPlacement, BitmapIsCentredWithTruncatingOffsets) {
  const Placement& p = GetParam();
  const auto button = shownButton(p.control, p.control);
  button->setPicture(pictureOf(solidImage(p.picture, p.picture, Qt::black), ButtonPicture::Kind::Bitmap));
  EXPECT_EQ(boundsOf(screenOf(*button), black), p.drawn);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ButtonFxPlacement,
                         ::testing::Values(Placement{41, 32, QRect(4, 4, 32, 32)},
                                           Placement{65, 64, QRect(0, 0, 64, 64)},
                                           Placement{41, 41, QRect(0, 0, 41, 41)},
                                           Placement{41, 50, QRect(0, 0, 41, 41)}),
                         testsupport::NameBy([](const Placement& c) {
                           return testsupport::ParamName("control", c.control, "picture", c.picture);
                         }));

TEST(ButtonFx, LargerPictureIsCentredAndClippedAtTheEdges) {
  // (41 - 50) / 2 truncates to -4: picture pixel (4, 4) lands on (0, 0) and (44, 44) on (40, 40).
  QImage picture(50, 50, QImage::Format_ARGB32);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 50; ++x) picture.setPixel(x, y, qRgb(x * 5, y * 5, 77));
  }
  const auto button = shownButton(41, 41);
  button->setPicture(pictureOf(picture, ButtonPicture::Kind::Icon));
  const QImage image = screenOf(*button);
  EXPECT_EQ(pixelAt(image, 0, 0), (Rgb{20, 20, 77}));
  EXPECT_EQ(pixelAt(image, 40, 40), (Rgb{220, 220, 77}));
  EXPECT_EQ(pixelAt(image, 10, 30), (Rgb{70, 170, 77}));
}

TEST(ButtonFx, BitmapIsCombinedWithTheLookByAnd) {
  // Left half white, right half a dark grey; tinted by the hover look.
  QImage picture = solidImage(32, 32, Qt::white);
  QPainter(&picture).fillRect(16, 0, 16, 32, QColor(0x30, 0x40, 0x50));
  const auto button = shownButton(41, 41);
  button->setPicture(pictureOf(picture, ButtonPicture::Kind::Bitmap));
  button->DrawButton(ButtonFx::StateHover);
  const QImage image = screenOf(*button);
  EXPECT_EQ(pixelAt(image, 10, 20), hoverFill) << "white shows the tint";
  EXPECT_EQ(pixelAt(image, 30, 20), (Rgb{0x30 & 213, 0x40 & 239, 0x50 & 248})) << "dark stays dark";
  EXPECT_EQ(pixelAt(image, 2, 20), hoverFill) << "beside the picture";
  button->DrawButton(ButtonFx::StatePressed);
  EXPECT_EQ(pixelAt(screenOf(*button), 10, 20), pressedFill);
}

TEST(ButtonFx, BitmapOverTheOutlineLetsTheBorderShowWhereItIsWhite) {
  QImage picture = solidImage(64, 64, Qt::white);
  QPainter(&picture).fillRect(0, 0, 64, 8, Qt::black);
  const auto button = shownButton(65, 65);
  button->setPicture(pictureOf(picture, ButtonPicture::Kind::Bitmap));
  button->DrawButton(ButtonFx::StateHover);
  const QImage image = screenOf(*button);
  EXPECT_EQ(pixelAt(image, 0, 4), black) << "dark picture covers the left edge";
  EXPECT_EQ(pixelAt(image, 30, 0), black) << "and the top edge";
  EXPECT_EQ(pixelAt(image, 0, 30), hoverBorder) << "white picture shows the outline";
  EXPECT_EQ(pixelAt(image, 64, 30), hoverBorder) << "right edge beyond the picture";
  EXPECT_EQ(pixelAt(image, 30, 64), hoverBorder);
  EXPECT_EQ(pixelAt(image, 30, 30), hoverFill);
}

TEST(ButtonFx, IconIsDrawnOverTheLookWithItsTransparency) {
  QImage icon = solidImage(32, 32, Qt::transparent, QImage::Format_ARGB32);
  QPainter(&icon).fillRect(0, 0, 32, 16, QColor(200, 10, 10));
  const auto button = shownButton(41, 41);
  button->setPicture(pictureOf(icon, ButtonPicture::Kind::Icon));
  button->DrawButton(ButtonFx::StateHover);
  const QImage image = screenOf(*button);
  EXPECT_EQ(pixelAt(image, 10, 8), (Rgb{200, 10, 10})) << "opaque part as it is, no AND";
  EXPECT_EQ(pixelAt(image, 10, 30), hoverFill) << "transparent part shows the fill";
}

TEST(ButtonFx, IconPropertyOverloadGivesAnIconPicture) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter(&pixmap).fillRect(0, 0, 32, 16, QColor(200, 10, 10));
  const auto button = shownButton(41, 41);
  button->setPicture(QIcon(pixmap));
  EXPECT_EQ(button->Picture().kind(), ButtonPicture::Kind::Icon);
  const QImage image = screenOf(*button);
  EXPECT_EQ(pixelAt(image, 10, 8), (Rgb{200, 10, 10}));
  EXPECT_EQ(pixelAt(image, 10, 30), PixelSupport::buttonFace());
}

TEST(ButtonFx, OtherKindsAreNotDrawn) {
  for (auto kind :
       {ButtonPicture::Kind::None, ButtonPicture::Kind::Metafile, ButtonPicture::Kind::EnhancedMetafile}) {
    const auto button = shownButton(41, 41);
    button->setPicture(pictureOf(solidImage(32, 32, Qt::black), kind));
    button->DrawButton(ButtonFx::StatePressed);
    EXPECT_EQ(boundsOf(screenOf(*button), black), QRect()) << static_cast<int>(kind);
    EXPECT_EQ(button->PicWidth(), 32);
  }
}

TEST(ButtonFx, PictureFromAUiPixmapIsABitmapAtItsOwnSize) {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::black);
  const auto button = shownButton(65, 65);
  ASSERT_TRUE(button->setProperty("Picture", QVariant::fromValue(pixmap)));
  EXPECT_EQ(button->Picture().kind(), ButtonPicture::Kind::Bitmap);
  EXPECT_EQ(button->PicturePixmap().size(), QSize(64, 64));
  EXPECT_EQ(boundsOf(screenOf(*button), black), QRect(0, 0, 64, 64));

  button->resetPicture();
  EXPECT_TRUE(button->Picture().isEmpty());
  EXPECT_EQ(boundsOf(screenOf(*button), black), QRect());
}

struct Pointer {
  QPointF at;
  bool inside;
};

class ButtonFxHover : public ::testing::TestWithParam<Pointer> {};

TEST_P(ButtonFxHover, InsideTakesCaptureAndHoverLookOutsideGivesThemBack) {
  const Pointer& p = GetParam();
  const auto button = shownButton(41, 30);
  sendMove(*button, QPointF(20, 15));
  ASSERT_EQ(QWidget::mouseGrabber(), button.get());
  sendMove(*button, p.at);
  const Rgb centre = pixelAt(screenOf(*button), 20, 15);
  if (p.inside) {
    EXPECT_EQ(centre, hoverFill);
    EXPECT_EQ(QWidget::mouseGrabber(), button.get());
  } else {
    EXPECT_EQ(centre, PixelSupport::buttonFace());
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, ButtonFxHover,
                         ::testing::Values(Pointer{{41, 15}, true}, Pointer{{20, 30}, true},
                                           Pointer{{0, 0}, true}, Pointer{{41, 30}, true},
                                           Pointer{{-0.5, 15}, false}, Pointer{{41.25, 15}, false},
                                           Pointer{{20, -0.5}, false}, Pointer{{20, 30.5}, false},
                                           Pointer{{200, 200}, false}),
                         testsupport::NameBy([](const Pointer& c) {
                           return testsupport::ParamName(c.at.x(), c.at.y(), c.inside ? "inside" : "outside");
                         }));

TEST(ButtonFx, EveryMoveRedrawsSoAMoveWhilePressedShowsTheHoverLook) {
  const auto button = shownButton(41, 41);
  sendButton(*button, QEvent::MouseButtonPress, QPointF(20, 20));
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), pressedFill);
  EXPECT_EQ(pixelAt(screenOf(*button), 0, 0), pressedBorder);
  sendMove(*button, QPointF(21, 20), Qt::LeftButton);
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), hoverFill);
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(21, 20));
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), PixelSupport::buttonFace());
  if (QWidget::mouseGrabber() == button.get()) button->releaseMouse();
}

TEST(ButtonFx, AnyMouseButtonShowsThePressedLookButOnlyTheLeftOneClicks) {
  const auto button = shownButton(41, 41);
  QSignalSpy clicks(button.get(), &ButtonFx::Click);
  sendButton(*button, QEvent::MouseButtonPress, QPointF(20, 20), Qt::RightButton);
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), pressedFill);
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(20, 20), Qt::RightButton);
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), PixelSupport::buttonFace());
  EXPECT_EQ(clicks.count(), 0);
  sendButton(*button, QEvent::MouseButtonPress, QPointF(20, 20));
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(20, 20));
  EXPECT_EQ(clicks.count(), 1);
}

TEST(ButtonFx, ReleaseAwayFromTheControlIsNoClick) {
  const auto button = shownButton(41, 41);
  QSignalSpy clicks(button.get(), &ButtonFx::Click);
  sendButton(*button, QEvent::MouseButtonPress, QPointF(20, 20));
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(60, 20));
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), PixelSupport::buttonFace());
}

TEST(ButtonFx, DoubleClickRaisesClickTwice) {
  const auto button = shownButton(41, 41);
  QSignalSpy clicks(button.get(), &ButtonFx::Click);
  sendButton(*button, QEvent::MouseButtonPress, QPointF(20, 20));
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(20, 20));
  sendButton(*button, QEvent::MouseButtonDblClick, QPointF(20, 20));
  EXPECT_EQ(clicks.count(), 2);
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), PixelSupport::buttonFace()) << "a double click is no press";
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(20, 20));
  EXPECT_EQ(clicks.count(), 2);

  sendButton(*button, QEvent::MouseButtonDblClick, QPointF(20, 20), Qt::RightButton);
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), pressedFill) << "other buttons only press";
  EXPECT_EQ(clicks.count(), 2);
}

TEST(ButtonFx, DoubleClickThroughTheWindowSystemRaisesClickTwice) {
  const auto button = shownButton(41, 41);
  QSignalSpy clicks(button.get(), &ButtonFx::Click);
  // Through the window the platform delivers press, release, double click, release.
  QWindow* window = button->windowHandle();
  ASSERT_NE(window, nullptr);
  QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_EQ(clicks.count(), 2);
  QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20), 500);
  EXPECT_EQ(clicks.count(), 3);
  if (QWidget::mouseGrabber() == button.get()) button->releaseMouse();
}

TEST(ButtonFx, DisabledControlIgnoresMovesAndKeepsItsLook) {
  const auto button = shownButton(41, 41);
  sendMove(*button, QPointF(20, 20));
  ASSERT_EQ(pixelAt(screenOf(*button), 20, 20), hoverFill);
  button->setEnabled(false);
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr) << "a disabled control keeps no capture";
  sendMove(*button, QPointF(-5, 20));
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), hoverFill);
  button->DrawButton(ButtonFx::StateNormal);
  sendMove(*button, QPointF(20, 20));
  EXPECT_EQ(pixelAt(screenOf(*button), 20, 20), PixelSupport::buttonFace());
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST(ButtonFx, AssigningPictureUnderThePointerShowsTheNormalLook) {
  const auto button = shownButton(41, 41);
  sendMove(*button, QPointF(20, 20));
  ASSERT_EQ(pixelAt(screenOf(*button), 2, 2), hoverFill);
  button->setPicture(pictureOf(solidImage(32, 32, Qt::black), ButtonPicture::Kind::Bitmap));
  const QImage image = screenOf(*button);
  EXPECT_EQ(pixelAt(image, 2, 2), PixelSupport::buttonFace());
  EXPECT_EQ(pixelAt(image, 20, 20), black);
  sendMove(*button, QPointF(21, 20));
  EXPECT_EQ(pixelAt(screenOf(*button), 2, 2), hoverFill);
  sendMove(*button, QPointF(-1, 20));
}

TEST(ButtonFx, ClickReleasesTheCaptureSoAWindowItOpensGetsTheMouse) {
  const auto button = shownButton(41, 41);
  QWidget* grabberDuringClick = button.get();
  QObject::connect(button.get(), &ButtonFx::Click, [&] { grabberDuringClick = QWidget::mouseGrabber(); });
  sendMove(*button, QPointF(20, 20));
  sendButton(*button, QEvent::MouseButtonPress, QPointF(20, 20));
  sendButton(*button, QEvent::MouseButtonRelease, QPointF(20, 20));
  EXPECT_EQ(grabberDuringClick, nullptr);
}

TEST(ButtonFx, DrawingIgnoresStyleSheets) {
  QWidget host;
  host.setStyleSheet(QStringLiteral("* { background: red; border: 4px solid blue; color: green; }"));
  auto* button = new ButtonFx(&host);
  button->setGeometry(0, 0, 41, 41);
  host.resize(41, 41);
  host.show();
  EXPECT_EQ(boundsOf(screenOf(*button), PixelSupport::buttonFace()), QRect(0, 0, 41, 41));
}

TEST(ButtonFx, ZeroSizedControlDrawsWithoutFailing) {
  ButtonFx button;
  button.resize(0, 0);
  button.show();
  button.setPicture(pictureOf(solidImage(32, 32, Qt::black), ButtonPicture::Kind::Bitmap));
  button.DrawButton(ButtonFx::StateHover);
  EXPECT_EQ(button.ButtonWidth(), 0);
  EXPECT_EQ(button.PicWidth(), 32);
}

}  // namespace
