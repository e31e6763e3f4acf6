#include "qt/QtEditorPanel.h"

#include <QPainter>
#include <algorithm>

#include "qt/ImageCanvas.h"
#include "qt/QtEditorWindow.h"

namespace platform {

QtEditorPanel::QtEditorPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  setPalette(p);
}

QtEditorPanel::~QtEditorPanel() = default;

void QtEditorPanel::PrepareFont(const FontSpec& font) {
  // The font's own style first: the first screen is mostly drawn in it.
  PrepareFace(font);
  for (std::uint8_t style : {std::uint8_t{0}, fontstyle::Bold, fontstyle::Italic,
                             static_cast<std::uint8_t>(fontstyle::Bold | fontstyle::Italic)})
    PrepareFace(FontSpec{font.name, font.size, style, font.color});
}

void QtEditorPanel::SetCaption(const QString& caption, const QFont& font, const QColor& color) {
  caption_ = caption;
  captionFont_ = font;
  captionColor_ = color;
  update();
}

void QtEditorPanel::SetFooter(QWidget* footer) {
  footer_ = footer;
  footer_->setParent(this);
  footer_->lower();
  PlaceFooter();
}

void QtEditorPanel::PlaceFooter() {
  if (!footer_) return;
  constexpr int kMargin = 8;
  const QRect area = contentsRect();
  const QSize size = footer_->sizeHint();
  footer_->setGeometry(area.left() + (area.width() - size.width()) / 2, area.bottom() + 1 - kMargin - size.height(),
                       size.width(), size.height());
}

QtEditorWindow* QtEditorPanel::VisibleWindow() const {
  for (QtEditorWindow* w : windows_)
    if (w->isVisibleTo(const_cast<QtEditorPanel*>(this))) return w;
  return nullptr;
}

EditorWindow* QtEditorPanel::AddWindow(TAdvancedEditor& editor) {
  auto* window = new QtEditorWindow(editor, this);
  window->hide();
  window->setGeometry(contentsRect());
  windows_.push_back(window);
  return window;
}

void QtEditorPanel::RemoveWindow(EditorWindow* window) {
  auto it = std::find_if(windows_.begin(), windows_.end(),
                         [window](QtEditorWindow* w) { return static_cast<EditorWindow*>(w) == window; });
  if (it == windows_.end()) return;
  QtEditorWindow* w = *it;
  windows_.erase(it);
  delete w;
  update();
}

void QtEditorPanel::ShowWindow(EditorWindow* window, bool visible) {
  auto* w = dynamic_cast<QtEditorWindow*>(window);
  if (!w) return;
  if (visible) {
    w->setGeometry(contentsRect());
    w->show();
    w->raise();
  } else {
    w->hide();
  }
  update();
}

bool QtEditorPanel::MainWindowVisible() const { return window() && window()->isVisible(); }

void QtEditorPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  for (QtEditorWindow* w : windows_) w->setGeometry(contentsRect());
  PlaceFooter();
}

void QtEditorPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (VisibleWindow() || caption_.isEmpty()) return;
  QPainter p(this);
  p.setFont(captionFont_);
  p.setPen(captionColor_);
  p.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

}  // namespace platform
