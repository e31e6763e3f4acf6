#include "qt/CachedScrollBar.h"

#include <QPainter>
#include <QStyleOptionSlider>

namespace platform {

namespace {

// A style loads and colours the pictures of a bar's arrows the first time it
// draws a bar, and keeps them for every bar after. Drawing one bar of each
// orientation when the first bar is made does that before any document is
// shown, rather than on the first screen of the first one.
void PrepareStyle(const QScrollBar& bar) {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  for (Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical}) {
    QStyleOptionSlider opt;
    opt.initFrom(&bar);
    opt.orientation = orientation;
    opt.state |= orientation == Qt::Horizontal ? QStyle::State_Horizontal : QStyle::State_None;
    opt.rect = orientation == Qt::Horizontal ? QRect(0, 0, 100, 16) : QRect(0, 0, 16, 100);
    opt.minimum = 0;
    opt.maximum = 100;
    opt.pageStep = 10;
    opt.subControls = QStyle::SC_All;
    QPixmap scratch(opt.rect.size());
    scratch.fill(Qt::transparent);
    QPainter p(&scratch);
    bar.style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, &bar);
  }
}

}  // namespace

CachedScrollBar::CachedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
  PrepareStyle(*this);
}

void CachedScrollBar::paintEvent(QPaintEvent* event) {
  if (underMouse() || isSliderDown()) {
    QScrollBar::paintEvent(event);
    return;
  }
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  opt.subControls = QStyle::SC_All;
  opt.activeSubControls = QStyle::SC_None;
  // The groove does not depend on the range or the position.
  const Look look{size(),        static_cast<int>(opt.state), palette().cacheKey(),
                  style(),       devicePixelRatioF(),         static_cast<int>(opt.direction),
                  opt.upsideDown};
  if (groove_.isNull() || !(look == grooveLook_)) {
    groove_ = QPixmap(size() * look.ratio);
    groove_.setDevicePixelRatio(look.ratio);
    groove_.fill(Qt::transparent);
    QStyleOptionSlider groove = opt;
    groove.subControls = QStyle::SC_ScrollBarGroove;
    QPainter p(&groove_);
    style()->drawComplexControl(QStyle::CC_ScrollBar, &groove, &p, this);
    grooveLook_ = look;
  }
  // The rest over it, as the style draws it over its groove.
  QPainter p(this);
  p.drawPixmap(0, 0, groove_);
  opt.subControls = QStyle::SubControls(QStyle::SC_All) & ~QStyle::SubControls(QStyle::SC_ScrollBarGroove);
  style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, this);
}

}  // namespace platform
