#pragma once

// CachedScrollBar: a QScrollBar that keeps its last drawing. A style draws a
// bar with gradients and frames, which costs more than the editor's whole
// text area; a bar whose look did not change since (size, range, position,
// state, palette, style) is drawn again from the kept image, and one whose
// range or position alone changed is drawn over its kept groove. While the
// mouse is over it or its thumb is held, it draws as every QScrollBar does.

#include <QPixmap>
#include <QScrollBar>

namespace platform {

class CachedScrollBar : public QScrollBar {
 public:
  explicit CachedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // What the drawing depends on.
  struct Look {
    QSize size;
    int minimum = 0, maximum = 0, position = 0, pageStep = 0;
    int state = 0;
    qint64 palette = 0;
    const void* style = nullptr;
    qreal ratio = 0;
    int direction = 0;
    bool upsideDown = false;
    bool operator==(const Look&) const = default;
  };

  // The groove a look is drawn on, kept as long as only the range and the
  // position change (as scrolling changes them).
  QPixmap background_;
  Look backgroundLook_;
  QPixmap kept_;
  Look keptLook_;
};

}  // namespace platform
