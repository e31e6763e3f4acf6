#include "qt/CachedScrollBar.h"

#include <QPainter>
#include <QStyleOptionSlider>

namespace platform {

CachedScrollBar::CachedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {}

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
    // A look seen for the first time is drawn as a plain bar draws it: most
    // bars (a document's first screen) are drawn once in a look, and keeping
    // their groove would cost fresh memory for nothing.
    if (!(look == seenLook_)) {
      seenLook_ = look;
      QScrollBar::paintEvent(event);
      return;
    }
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
