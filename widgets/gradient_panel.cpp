#include "widgets/gradient_panel.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <iterator>

namespace {

struct TSystemRole {
  QPalette::ColorGroup Group;
  QPalette::ColorRole Role;
};

// The desktop's system colour indices 0 to 30 in terms of a Qt palette.
constexpr TSystemRole kSystemRoles[] = {
    {QPalette::Active, QPalette::Mid},              // 0 scroll bar
    {QPalette::Active, QPalette::Window},           // 1 desktop
    {QPalette::Active, QPalette::Highlight},        // 2 active caption
    {QPalette::Inactive, QPalette::Highlight},      // 3 inactive caption
    {QPalette::Active, QPalette::Window},           // 4 menu
    {QPalette::Active, QPalette::Base},             // 5 window
    {QPalette::Active, QPalette::Shadow},           // 6 window frame
    {QPalette::Active, QPalette::WindowText},       // 7 menu text
    {QPalette::Active, QPalette::Text},             // 8 window text
    {QPalette::Active, QPalette::HighlightedText},  // 9 caption text
    {QPalette::Active, QPalette::Mid},              // 10 active border
    {QPalette::Inactive, QPalette::Mid},            // 11 inactive border
    {QPalette::Active, QPalette::Dark},             // 12 application workspace
    {QPalette::Active, QPalette::Highlight},        // 13 highlight
    {QPalette::Active, QPalette::HighlightedText},  // 14 highlighted text
    {QPalette::Active, QPalette::Button},           // 15 button face
    {QPalette::Active, QPalette::Dark},             // 16 button shadow
    {QPalette::Disabled, QPalette::Text},           // 17 grey text
    {QPalette::Active, QPalette::ButtonText},       // 18 button text
    {QPalette::Inactive, QPalette::WindowText},     // 19 inactive caption text
    {QPalette::Active, QPalette::Light},            // 20 button highlight
    {QPalette::Active, QPalette::Shadow},           // 21 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},         // 22 3-D light
    {QPalette::Active, QPalette::ToolTipText},      // 23 info text
    {QPalette::Active, QPalette::ToolTipBase},      // 24 info background
    {QPalette::Active, QPalette::Window},           // 25
    {QPalette::Active, QPalette::Link},             // 26 hot light
    {QPalette::Active, QPalette::Highlight},        // 27 active caption gradient
    {QPalette::Inactive, QPalette::Mid},            // 28 inactive caption gradient
    {QPalette::Active, QPalette::Highlight},        // 29 menu highlight
    {QPalette::Active, QPalette::Window},           // 30 menu bar
};

}  // namespace

QColor ColorToQColor(TColor color) {
  if ((color >> 24) != 0xFF) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  std::size_t index = color & 0xFFFFFF;
  TSystemRole entry =
      index < std::size(kSystemRoles) ? kSystemRoles[index] : TSystemRole{QPalette::Active, QPalette::Window};
  return QGuiApplication::palette().color(entry.Group, entry.Role);
}

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
  QColor hi = ColorToQColor(FHiColor);
  QColor lo = ColorToQColor(FLoColor);
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
