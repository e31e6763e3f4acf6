#include "qt/CachedScrollBar.h"

#include <QEvent>
#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>

namespace platform {

// The groove's gradient and lines run along the whole bar. Drawn from the
// window's thread, the raster engine hands every such tall fill to the global
// thread pool in pieces and waits for each; drawn on one of the pool's own
// threads, it draws them there at once. So the kept drawing is made on the
// pool, into an image of its own, from a copy of the bar's option and without
// the widget. It is started as soon as the bar is shown or its size or range
// gives it a new look, so that it is drawn while the window goes on to lay
// out and paint the text beside it.
struct CachedScrollBar::Drawing {
  Look look;
  QImage image;
  QSemaphore done;
};

CachedScrollBar::CachedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {}

CachedScrollBar::~CachedScrollBar() { FinishDrawing(); }

QStyleOptionSlider CachedScrollBar::Option() const {
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  opt.subControls = QStyle::SC_All;
  opt.activeSubControls = QStyle::SC_None;
  return opt;
}

CachedScrollBar::Look CachedScrollBar::LookOf(const QStyleOptionSlider& opt) const {
  // The groove does not depend on the range or the position. A bar with
  // nothing to scroll has its thumb over the whole groove, and keeps it too.
  return {size(),         static_cast<int>(opt.state), palette().cacheKey(),
          style(),        devicePixelRatioF(),         static_cast<int>(opt.direction),
          opt.upsideDown, minimum() == maximum()};
}

QStyle::SubControls CachedScrollBar::KeptParts(const Look& look) {
  QStyle::SubControls parts = QStyle::SC_ScrollBarGroove;
  if (look.still) parts |= QStyle::SC_ScrollBarSlider;
  return parts;
}

std::shared_ptr<CachedScrollBar::Drawing> CachedScrollBar::StartDrawing(const QStyleOptionSlider& opt,
                                                                        const Look& look) {
  auto drawing = std::make_shared<Drawing>();
  drawing->look = look;
  QStyleOptionSlider kept = opt;
  kept.subControls = KeptParts(look);
  kept.styleObject = nullptr;  // nothing of the widget is read off its thread
  const QStyle* style = this->style();
  auto draw = [drawing, kept, style] {
    const Look& look = drawing->look;
    drawing->image = QImage(look.size * look.ratio, QImage::Format_ARGB32_Premultiplied);
    drawing->image.setDevicePixelRatio(look.ratio);
    drawing->image.fill(Qt::transparent);
    QPainter p(&drawing->image);
    style->drawComplexControl(QStyle::CC_ScrollBar, &kept, &p, nullptr);
    p.end();
    drawing->done.release();
  };
  QThreadPool* pool = QThreadPool::globalInstance();
  if (!pool || !pool->tryStart(draw)) draw();
  return drawing;
}

void CachedScrollBar::DrawAhead() {
  if (!isVisible() || size().isEmpty() || style()->inherits("QStyleSheetStyle")) return;
  // One at a time: while the window is resized, a paint comes between.
  if (ahead_ && !ahead_->done.tryAcquire()) return;
  if (ahead_) ahead_->done.release();
  const QStyleOptionSlider opt = Option();
  const Look look = LookOf(opt);
  if ((!kept_.isNull() && look == keptLook_) || (ahead_ && look == ahead_->look)) return;
  ahead_ = StartDrawing(opt, look);
}

void CachedScrollBar::FinishDrawing() {
  if (!ahead_) return;
  ahead_->done.acquire();
  ahead_->done.release();
}

void CachedScrollBar::resizeEvent(QResizeEvent* event) {
  QScrollBar::resizeEvent(event);
  DrawAhead();
}

void CachedScrollBar::showEvent(QShowEvent* event) {
  QScrollBar::showEvent(event);
  DrawAhead();
}

void CachedScrollBar::sliderChange(SliderChange change) {
  QScrollBar::sliderChange(change);
  if (change == SliderRangeChange) DrawAhead();
}

void CachedScrollBar::changeEvent(QEvent* event) {
  // A style is deleted once every widget has heard of its change: a drawing
  // still under way with it must end first.
  if (event->type() == QEvent::StyleChange) FinishDrawing();
  QScrollBar::changeEvent(event);
}

void CachedScrollBar::paintEvent(QPaintEvent* event) {
  if (underMouse() || isSliderDown() || style()->inherits("QStyleSheetStyle")) {
    QScrollBar::paintEvent(event);
    return;
  }
  QStyleOptionSlider opt = Option();
  const Look look = LookOf(opt);
  if (kept_.isNull() || !(look == keptLook_)) {
    FinishDrawing();  // one ahead ends first, whatever its look
    std::shared_ptr<Drawing> drawing = ahead_ && look == ahead_->look ? ahead_ : StartDrawing(opt, look);
    ahead_.reset();
    drawing->done.acquire();
    kept_ = QPixmap::fromImage(std::move(drawing->image));
    keptLook_ = look;
  }
  // The rest over it, as the style draws it over its groove.
  QPainter p(this);
  p.drawPixmap(0, 0, kept_);
  opt.subControls = QStyle::SubControls(QStyle::SC_All) & ~KeptParts(look);
  style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, this);
}

}  // namespace platform
