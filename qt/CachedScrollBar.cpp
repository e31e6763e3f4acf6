#include "qt/CachedScrollBar.h"

#include <QPainter>
#include <QStyleOptionSlider>

namespace platform {

CachedScrollBar::CachedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {}

void CachedScrollBar::paintEvent(QPaintEvent* event) {
  if (underMouse() || isSliderDown()) {
    kept_ = QPixmap();
    QScrollBar::paintEvent(event);
    return;
  }
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  opt.subControls = QStyle::SC_All;
  opt.activeSubControls = QStyle::SC_None;
  const Look look{size(),
                  opt.minimum,
                  opt.maximum,
                  opt.sliderPosition,
                  opt.pageStep,
                  static_cast<int>(opt.state),
                  palette().cacheKey(),
                  style(),
                  devicePixelRatioF(),
                  static_cast<int>(opt.direction),
                  opt.upsideDown};
  if (kept_.isNull() || !(look == keptLook_)) {
    kept_ = QPixmap(size() * look.ratio);
    kept_.setDevicePixelRatio(look.ratio);
    kept_.fill(Qt::transparent);
    QPainter p(&kept_);
    style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, this);
    keptLook_ = look;
  }
  QPainter p(this);
  p.drawPixmap(0, 0, kept_);
}

}  // namespace platform
