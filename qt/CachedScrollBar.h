#pragma once

// CachedScrollBar: a QScrollBar that keeps the drawing of its groove. A
// style draws the groove with a gradient along the whole bar, which costs
// more than the editor's whole text area and far more than the thumb and the
// arrows; scrolling changes only those. The groove is drawn again when the
// bar's size, state, palette or style changes, and kept from the second paint
// in that look on. While the mouse is over the bar or its thumb is held, it
// draws as every QScrollBar does.

#include <QPixmap>
#include <QScrollBar>

namespace platform {

class CachedScrollBar : public QScrollBar {
 public:
  explicit CachedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // What the groove's drawing depends on.
  struct Look {
    QSize size;
    int state = 0;
    qint64 palette = 0;
    const void* style = nullptr;
    qreal ratio = 0;
    int direction = 0;
    bool upsideDown = false;
    bool operator==(const Look&) const = default;
  };

  QPixmap groove_;
  Look grooveLook_;
  Look seenLook_;  // the groove's look last drawn without keeping it
};

}  // namespace platform
