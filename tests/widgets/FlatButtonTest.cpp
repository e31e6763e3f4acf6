// The flat button: hot, pressed and disabled frames of its picture, and a
// click only for a press and release over it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "widgets/flat_button.h"

namespace {

// A picture of four 37-row frames in four plain colours.
const QRgb kFrameColors[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)};

QImage FourFrames(int width = 37, int frame = 37) {
  QImage picture(width, 4 * frame, QImage::Format_RGB32);
  for (int i = 0; i < 4; ++i)
    for (int y = i * frame; y < (i + 1) * frame; ++y)
      for (int x = 0; x < width; ++x) picture.setPixel(x, y, kFrameColors[i]);
  return picture;
}

class FlatButton : public ::testing::Test {
 protected:
  void SetUp() override {
    Button.resize(37, 37);
    Button.OnClick = [this](TFlatButton* sender) {
      EXPECT_EQ(sender, &Button);
      ++Clicks;
    };
  }

  // Sends a mouse event as the toolkit would: moves carry the buttons held.
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button) {
    if (type == QEvent::MouseButtonPress) Held |= button;
    if (type == QEvent::MouseButtonRelease) Held &= ~Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), Button.mapToGlobal(QPointF(at)), button, Held, Qt::NoModifier);
    QApplication::sendEvent(&Button, &event);
  }
  void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonPress, at, button);
  }
  void Release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonRelease, at, button);
  }
  void Move(QPoint at) { Mouse(QEvent::MouseMove, at, Qt::NoButton); }
  void Enter() {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), Button.mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(&Button, &event);
  }
  void Leave() {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&Button, &event);
  }
  QRgb Shown(int x = 18, int y = 18) { return Button.grab().toImage().pixel(x, y) & 0xFFFFFF; }
  QRgb Color(int frame) { return kFrameColors[frame] & 0xFFFFFF; }

  TFlatButton Button;
  int Clicks = 0;
  Qt::MouseButtons Held;
};

TEST(FlatButtonFrames, FrameHeightIsAQuarterOfThePictureRoundedUp) {
  struct {
    int Picture, Frame;
  } cases[] = {{148, 37}, {147, 37}, {145, 36}, {149, 37}, {150, 37}, {4, 1}, {1, 1}, {64, 16}};
  for (auto c : cases) EXPECT_EQ(TFlatButton::FrameHeight(c.Picture), c.Frame) << c.Picture;
}

TEST_F(FlatButton, ShowsNormalHotPressedFramesAndBackOnLeaving) {
  Button.SetBG(FourFrames());
  EXPECT_EQ(Shown(), Color(0));
  Enter();
  EXPECT_TRUE(Button.Hot());
  EXPECT_EQ(Shown(), Color(1));
  Press({10, 10});
  EXPECT_TRUE(Button.Down());
  EXPECT_EQ(Shown(), Color(2));
  Release({10, 10});
  EXPECT_EQ(Clicks, 1);
  EXPECT_FALSE(Button.Down());
  EXPECT_EQ(Shown(), Color(1)) << "still under the mouse";
  Leave();
  EXPECT_FALSE(Button.Hot());
  EXPECT_EQ(Shown(), Color(0));
}

TEST_F(FlatButton, AMoveOverTheButtonMakesItHotWithoutAnEnterNotice) {
  Button.SetBG(FourFrames());
  Move({3, 3});
  EXPECT_TRUE(Button.Hot());
  EXPECT_EQ(Shown(), Color(1));
}

TEST_F(FlatButton, TheDisabledFrameStartsAtRow111OfA148RowPicture) {
  // Row 110 (the pressed frame's last) differs from row 111.
  Button.SetBG(FourFrames());
  Button.setEnabled(false);
  EXPECT_EQ(Button.FrameIndex(), 3);
  QImage shown = Button.grab().toImage();
  EXPECT_EQ(shown.pixel(0, 0) & 0xFFFFFF, Color(3));
  EXPECT_EQ(shown.pixel(36, 36) & 0xFFFFFF, Color(3));
  EXPECT_EQ(shown.pixel(18, 18) & 0xFFFFFF, Color(3));
}

TEST_F(FlatButton, ADisabledButtonShowsFrameThreeWhateverTheMouseDoesAndNeverClicks) {
  Button.SetBG(FourFrames());
  Button.setEnabled(false);
  Enter();
  Move({10, 10});
  Press({10, 10});
  EXPECT_FALSE(Button.Down());
  EXPECT_EQ(Shown(), Color(3));
  Release({10, 10});
  EXPECT_EQ(Clicks, 0);
  // Pressed while enabled, released after being disabled: still no click.
  Button.setEnabled(true);
  Press({10, 10});
  Button.setEnabled(false);
  Release({10, 10});
  EXPECT_EQ(Clicks, 0);
  EXPECT_EQ(Shown(), Color(3));
}

TEST_F(FlatButton, PressMoveOffAndReleaseElsewhereGivesNoClick) {
  Button.SetBG(FourFrames());
  Enter();
  Press({10, 10});
  Move({60, 10});
  EXPECT_FALSE(Button.Down());
  EXPECT_FALSE(Button.Hot());
  EXPECT_EQ(Shown(), Color(0)) << "back to normal once the mouse is off the button";
  Release({60, 10});
  EXPECT_EQ(Clicks, 0);

  // Coming back before the release does not make it pressed again.
  Press({10, 10});
  Move({-5, 10});
  Move({10, 10});
  EXPECT_TRUE(Button.Hot());
  EXPECT_FALSE(Button.Down());
  Release({10, 10});
  EXPECT_EQ(Clicks, 0);
}

TEST_F(FlatButton, OnlyTheLeftButtonClicks) {
  Enter();
  Press({10, 10}, Qt::RightButton);
  EXPECT_FALSE(Button.Down());
  Release({10, 10}, Qt::RightButton);
  Press({10, 10}, Qt::MiddleButton);
  Release({10, 10}, Qt::MiddleButton);
  EXPECT_EQ(Clicks, 0);
  // A release without a press on the button is no click either.
  Release({10, 10});
  EXPECT_EQ(Clicks, 0);
  Press({36, 36});
  Release({36, 36});
  EXPECT_EQ(Clicks, 1);
}

TEST_F(FlatButton, WithoutAPictureItIsWhiteYellowWhenHotBlueWhenPressed) {
  EXPECT_EQ(Shown(), 0xFFFFFFu);
  Enter();
  EXPECT_EQ(Shown(), 0xFFFF00u);
  Press({10, 10});
  EXPECT_EQ(Shown(), 0x0000FFu);
}

TEST_F(FlatButton, TheTextIsDrawnCentredWhiteOnBlueWhenPressed) {
  QFont font = Button.font();
  font.setPixelSize(20);
  Button.setFont(font);
  Button.resize(120, 37);
  Button.SetText("MMM");
  Enter();
  Press({10, 10});
  QImage shown = Button.grab().toImage();
  // Ink is found only around the middle, in white.
  int left = shown.width(), right = -1;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if ((shown.pixel(x, y) & 0xFFFFFF) != 0x0000FF) {
        left = std::min(left, x);
        right = std::max(right, x);
        EXPECT_GT(qRed(shown.pixel(x, y)), 0) << "white over blue";
      }
  ASSERT_GE(right, 0) << "text drawn";
  EXPECT_LE(std::abs((left + right) / 2 - 60), 3);
}

TEST_F(FlatButton, TransparentDrawingLeavesOutThePicturesBottomLeftColour) {
  // The parent paints red; the picture is magenta with a green middle.
  QWidget parent;
  parent.resize(60, 60);
  parent.setAutoFillBackground(true);
  QPalette red = parent.palette();
  red.setColor(QPalette::Window, Qt::red);
  parent.setPalette(red);
  TFlatButton* button = new TFlatButton(&parent);
  button->setGeometry(10, 10, 37, 37);
  QImage picture(37, 148, QImage::Format_RGB32);
  picture.fill(qRgb(255, 0, 255));
  for (int y = 0; y < 148; ++y)
    for (int x = 15; x < 22; ++x) picture.setPixel(x, y, qRgb(0, 128, 0));
  button->SetBG(picture);

  auto at = [&](int x, int y) { return parent.grab().toImage().pixel(x, y) & 0xFFFFFF; };
  EXPECT_EQ(at(12, 12), 0xFF00FFu) << "opaque without BGTrans";
  button->SetBGTrans(true);
  EXPECT_EQ(at(12, 12), 0xFF0000u) << "the parent shows through";
  EXPECT_EQ(at(28, 28), 0x008000u);
  button->SetBGTrans(false);
  EXPECT_EQ(at(12, 12), 0xFF00FFu);
}

TEST_F(FlatButton, SettingThePictureCopiesIt) {
  QImage picture = FourFrames();
  Button.SetBG(picture);
  picture.fill(Qt::black);
  EXPECT_EQ(Shown(), Color(0));
  Button.SetBG(QImage());
  EXPECT_EQ(Shown(), 0xFFFFFFu) << "an empty picture gives the plain look";
}

}  // namespace
