// The pictures drawn by code: sizes, four distinct button frames on a clear
// background, a grey disabled frame, and no two pictures alike.

#include <gtest/gtest.h>

#include <QImage>
#include <set>

#include "widgets/Artwork.h"
#include "widgets/flat_button.h"

namespace {

using artwork::TActionIcon;
using artwork::TButtonPicture;

constexpr int kButtons = 10;
constexpr int kActions = 21;

int InkPixels(const QImage& image, QRect area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) count += qAlpha(image.pixel(x, y)) > 0;
  return count;
}

QImage Frame(const QImage& picture, int index) {
  int height = TFlatButton::FrameHeight(picture.height());
  return picture.copy(0, index * height, picture.width(), height);
}

TEST(Artwork, ButtonPicturesAreFourFramesOf37Rows) {
  for (int i = 0; i < kButtons; ++i) {
    SCOPED_TRACE(i);
    QImage picture = artwork::ButtonPicture(TButtonPicture(i));
    ASSERT_EQ(picture.size(), QSize(37, 148));
    EXPECT_EQ(TFlatButton::FrameHeight(picture.height()), artwork::kButtonSize);
    std::set<QByteArray> looks;
    for (int f = 0; f < 4; ++f) {
      QImage frame = Frame(picture, f);
      EXPECT_GT(InkPixels(frame, frame.rect()), 60) << "frame " << f << " has a glyph";
      looks.insert(QByteArray(reinterpret_cast<const char*>(frame.constBits()), frame.sizeInBytes()));
    }
    EXPECT_EQ(looks.size(), 4u) << "normal, hot, pressed and disabled differ";
    // The corners are clear so the bar shows through; the bottom-left one is
    // the colour a transparent drawing leaves out.
    EXPECT_EQ(qAlpha(picture.pixel(0, 147)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(36, 0)), 0);
  }
}

TEST(Artwork, TheDisabledFrameIsGreyAndTheNormalOneIsNot) {
  for (int i = 0; i < kButtons; ++i) {
    SCOPED_TRACE(i);
    QImage picture = artwork::ButtonPicture(TButtonPicture(i)).convertToFormat(QImage::Format_ARGB32);
    QImage disabled = Frame(picture, 3), normal = Frame(picture, 0);
    bool normalHasColour = false;
    for (int y = 0; y < 37; ++y)
      for (int x = 0; x < 37; ++x) {
        QRgb d = disabled.pixel(x, y), n = normal.pixel(x, y);
        if (qAlpha(d) > 0) {
          EXPECT_TRUE(qRed(d) == qGreen(d) && qGreen(d) == qBlue(d)) << x << "," << y;
        }
        if (qAlpha(n) == 255 && (qRed(n) != qGreen(n) || qGreen(n) != qBlue(n))) normalHasColour = true;
      }
    EXPECT_TRUE(normalHasColour);
  }
}

TEST(Artwork, ActionIconsComeInThreeSizesAndDifferFromEachOther) {
  std::set<QByteArray> seen;
  for (int i = 0; i < kActions; ++i) {
    SCOPED_TRACE(i);
    QIcon icon = artwork::ActionIcon(TActionIcon(i));
    EXPECT_EQ(icon.availableSizes().size(), 3);
    QImage image = artwork::ActionImage(TActionIcon(i), 16);
    ASSERT_EQ(image.size(), QSize(16, 16));
    EXPECT_GT(InkPixels(image, image.rect()), 25);
    EXPECT_EQ(qAlpha(image.pixel(0, 15)), 0) << "clear corner";
    seen.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
  }
  EXPECT_EQ(seen.size(), std::size_t(kActions)) << "every action has a picture of its own";
}

TEST(Artwork, TheProgramIconFillsItsSquare) {
  QIcon icon = artwork::ProgramIcon();
  EXPECT_FALSE(icon.isNull());
  QImage image = artwork::ProgramImage(32);
  ASSERT_EQ(image.size(), QSize(32, 32));
  EXPECT_EQ(qAlpha(image.pixel(16, 2)), 255);
  EXPECT_GT(InkPixels(image, image.rect()), 32 * 32 * 3 / 4);
}

}  // namespace
