// The gradient panel: 256 precomputed rows in integer steps, stretched over
// the panel.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPalette>

#include "widgets/gradient_panel.h"

namespace {

QRgb Row(const TGradientPanel& panel, int row) { return panel.Gradient().pixel(0, row) & 0xFFFFFF; }

TEST(GradientPanel, StartsFromWhiteToAqua) {
  TGradientPanel panel;
  EXPECT_EQ(panel.HiColor(), 0xFFFFFFu);
  EXPECT_EQ(panel.LoColor(), 0xFFFF00u);
  ASSERT_EQ(panel.Gradient().width(), 1);
  ASSERT_EQ(panel.Gradient().height(), 256);
  EXPECT_EQ(Row(panel, 0), 0xFFFFFFu);
  EXPECT_EQ(Row(panel, 255), 0x00FFFFu) << "red 00, green FF, blue FF";
}

TEST(GradientPanel, RowsStepByTruncatingDivision) {
  TGradientPanel panel;
  panel.SetHiColor(0xFFFFFF);
  panel.SetLoColor(0x000000);
  EXPECT_EQ(Row(panel, 128), 0x7F7F7Fu) << "255 - 255*128/255";
  EXPECT_EQ(Row(panel, 1), 0xFEFEFEu);
  EXPECT_EQ(Row(panel, 255), 0x000000u);

  // Rising, and a step that is not whole: red 10 -> 0 at row 128 is
  // 10 + (-1280 / 255) = 10 - 5 when the division truncates toward zero.
  panel.SetHiColor(0x00000A);  // red 10
  panel.SetLoColor(0xFF0000);  // blue 255
  QRgb mid = panel.Gradient().pixel(0, 128);
  EXPECT_EQ(qRed(mid), 5);
  EXPECT_EQ(qBlue(mid), 128);
  EXPECT_EQ(qGreen(mid), 0);
}

TEST(GradientPanel, ColoursAreBlueGreenRed) {
  TGradientPanel panel;
  panel.SetLoColor(14215660);  // red EC, green E9, blue D8
  QRgb bottom = panel.Gradient().pixel(0, 255);
  EXPECT_EQ(qRed(bottom), 0xEC);
  EXPECT_EQ(qGreen(bottom), 0xE9);
  EXPECT_EQ(qBlue(bottom), 0xD8);
}

TEST(GradientPanel, SystemColoursComeFromThePalette) {
  TGradientPanel panel;
  panel.SetHiColor(0xFF00000F);  // button face
  EXPECT_EQ(panel.Gradient().pixel(0, 0) & 0xFFFFFF,
            QGuiApplication::palette().color(QPalette::Active, QPalette::Button).rgb() & 0xFFFFFF);
}

TEST(GradientPanel, PaintingStretchesTheRowsOverThePanel) {
  TGradientPanel panel;
  panel.SetHiColor(0xFFFFFF);
  panel.SetLoColor(0x000000);
  panel.resize(5, 256);
  QImage same = panel.grab().toImage();
  EXPECT_EQ(same.pixel(2, 128) & 0xFFFFFF, 0x7F7F7Fu);
  EXPECT_EQ(same.pixel(4, 0) & 0xFFFFFF, 0xFFFFFFu);

  panel.resize(300, 40);
  QImage bar = panel.grab().toImage();
  EXPECT_EQ(bar.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(bar.pixel(299, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_LT(qRed(bar.pixel(150, 39)), 8) << "the bottom row comes from the end of the gradient";
  EXPECT_GT(qRed(bar.pixel(150, 10)), qRed(bar.pixel(150, 30))) << "darker toward the bottom";
}

}  // namespace
