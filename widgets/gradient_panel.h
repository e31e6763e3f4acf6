#pragma once

// A panel whose background is a vertical colour gradient from HiColor at the
// top edge to LoColor at the bottom edge.

#include <QFrame>
#include <QImage>

// A colour value of the form 0x00BBGGRR, or a system colour index with the
// high byte 0xFF.
using TColor = unsigned int;

// The colour a TColor value stands for; system colours come from the
// application's palette.
QColor ColorToQColor(TColor color);

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
