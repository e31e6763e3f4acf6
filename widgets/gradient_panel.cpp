#include "widgets/gradient_panel.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <iterator>

#include "qt/ImageCanvas.h"

TGradientPanel::TGradientPanel(QWidget* parent) : QFrame(parent), FGradient(1, 256, QImage::Format_RGB32) {
  RebuildGradient();
}

void TGradientPanel::SetHiColor(TColor color) {
  FHiColor = color;
  RebuildGradient();
  update();
}

void TGradientPanel::SetLoColor(TColor color) {
  FLoColor = color;
  RebuildGradient();
  update();
}

void TGradientPanel::RebuildGradient() {
  QColor hi = platform::ToQColor(FHiColor);
  QColor lo = platform::ToQColor(FLoColor);
  // Integer steps, the division truncating toward zero, so that row 0 is
  // exactly HiColor and row 255 exactly LoColor.
  auto channel = [](int from, int to, int row) { return from + (to - from) * row / 255; };
  for (int row = 0; row < 256; ++row) {
    QRgb pixel = qRgb(channel(hi.red(), lo.red(), row), channel(hi.green(), lo.green(), row),
                      channel(hi.blue(), lo.blue(), row));
    FGradient.setPixel(0, row, pixel);
  }
}

void TGradientPanel::paintEvent(QPaintEvent* event) {
  {
    // Row y of the panel shows gradient row y * 256 / height, as a plain
    // stretch would: the top row is exactly HiColor.
    QPainter painter(this);
    const int h = height();
    const QRect dirty = event->rect() & rect();
    for (int y = dirty.top(); y <= dirty.bottom(); ++y)
      painter.fillRect(dirty.left(), y, dirty.width(), 1, QColor(FGradient.pixel(0, y * 256 / h)));
  }
  QFrame::paintEvent(event);  // the frame, if one is set, on top
}
