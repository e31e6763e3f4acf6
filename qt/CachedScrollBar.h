#pragma once

// CachedScrollBar: a QScrollBar that keeps the drawing of its groove. A
// style draws the groove with a gradient along the whole bar, which costs
// more than the editor's whole text area and far more than the thumb and the
// arrows; scrolling changes only those. The groove is drawn again when the
// bar's size, state, palette or style changes. While the mouse is over the
// bar or its thumb is held, it draws as every QScrollBar does.

#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <memory>

namespace platform {

class CachedScrollBar : public QScrollBar {
 public:
  explicit CachedScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);
  ~CachedScrollBar() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void sliderChange(SliderChange change) override;
  void changeEvent(QEvent* event) override;

 private:
  // What the kept drawing depends on.
  struct Look {
    QSize size;
    int state = 0;
    qint64 palette = 0;
    const void* style = nullptr;
    qreal ratio = 0;
    int direction = 0;
    bool upsideDown = false;
    bool still = false;  // nothing to scroll: the thumb is kept with the groove
    bool operator==(const Look&) const = default;
  };
  struct Drawing;  // a kept drawing under way on the thread pool

  QStyleOptionSlider Option() const;
  Look LookOf(const QStyleOptionSlider& opt) const;
  static QStyle::SubControls KeptParts(const Look& look);
  std::shared_ptr<Drawing> StartDrawing(const QStyleOptionSlider& opt, const Look& look);
  void DrawAhead();
  void FinishDrawing();

  QPixmap kept_;  // the groove, and the thumb of a bar with nothing to scroll
  Look keptLook_;
  std::shared_ptr<Drawing> ahead_;
};

}  // namespace platform
