#pragma once

// A panel whose background is a vertical colour gradient from HiColor at the
// top edge to LoColor at the bottom edge.

#include <QFrame>
#include <QImage>

#include "platform/Geometry.h"

// Colours are 0x00BBGGRR values, or system colour indices (high byte 0xFF)
// looked up in the application's palette.
using TColor = platform::Color;

class TGradientPanel : public QFrame {
 public:
  explicit TGradientPanel(QWidget* parent = nullptr);

  TColor HiColor() const { return FHiColor; }
  TColor LoColor() const { return FLoColor; }
  // Each setter rebuilds the gradient and repaints.
  void SetHiColor(TColor color);
  void SetLoColor(TColor color);

  // The precomputed gradient: 1 pixel wide, 256 rows, row 0 HiColor and
  // row 255 LoColor. Painting stretches it over the client area.
  const QImage& Gradient() const { return FGradient; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RebuildGradient();

  TColor FHiColor = 0xFFFFFF;
  TColor FLoColor = 0xFFFF00;
  QImage FGradient;
};
