#include "widgets/flat_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

TFlatButton::TFlatButton(QWidget* parent) : QWidget(parent) {
  // Moves without a pressed button make the button hot even when the
  // enter notice was missed (the button appeared under the mouse).
  setMouseTracking(true);
  // The parent's background is painted under the button first; nothing of
  // the button is filled unless its look says so.
  setAutoFillBackground(false);
}

void TFlatButton::SetBG(const QImage& picture) {
  FBG = picture.copy();
  RebuildTransparent();
  update();
}

void TFlatButton::SetBGTrans(bool value) {
  if (value == FBGTrans) return;
  FBGTrans = value;
  RebuildTransparent();
  update();
}

void TFlatButton::SetText(const QString& text) {
  if (text == FText) return;
  FText = text;
  update();
}

int TFlatButton::FrameIndex() const {
  if (!isEnabled()) return 3;
  if (FDown) return 2;
  if (FHot) return 1;
  return 0;
}

void TFlatButton::SetHot(bool hot) {
  if (hot == FHot) return;
  FHot = hot;
  update();
}

void TFlatButton::SetDown(bool down) {
  if (down == FDown) return;
  FDown = down;
  update();
}

void TFlatButton::MouseLeft() {
  bool changed = FHot || FDown;
  FHot = false;
  FDown = false;
  if (changed) update();
}

void TFlatButton::enterEvent(QEnterEvent* event) {
  SetHot(true);
  QWidget::enterEvent(event);
}

void TFlatButton::leaveEvent(QEvent* event) {
  MouseLeft();
  QWidget::leaveEvent(event);
}

void TFlatButton::mouseMoveEvent(QMouseEvent* event) {
  // While a button is held the toolkit keeps sending moves here even outside
  // the button, and its leave notice waits for the release. The press gives
  // up the mouse, so leaving the button counts as the mouse leaving at once:
  // a release elsewhere then finds nothing pressed.
  if (rect().contains(event->position().toPoint()))
    SetHot(true);
  else
    MouseLeft();
}

void TFlatButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (isEnabled()) SetDown(true);
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // A release away from the button does not reach it.
  if (!rect().contains(event->position().toPoint())) return;
  if (!isEnabled() || !FDown) return;
  SetDown(false);
  if (OnClick) OnClick(this);
}

void TFlatButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}

void TFlatButton::RebuildTransparent() {
  FTransparentBG = QImage();
  if (!FBGTrans || FBG.isNull()) return;
  // The transparent colour is the picture's bottom-left pixel, alpha
  // included: a picture drawn on a clear background keeps its opaque black.
  FTransparentBG = FBG.convertToFormat(QImage::Format_ARGB32);
  QRgb key = FTransparentBG.pixel(0, FTransparentBG.height() - 1);
  for (int y = 0; y < FTransparentBG.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(FTransparentBG.scanLine(y));
    for (int x = 0; x < FTransparentBG.width(); ++x)
      if (line[x] == key) line[x] = qRgba(0, 0, 0, 0);
  }
}

void TFlatButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QColor textColor = palette().color(QPalette::ButtonText);
  if (FBG.isNull()) {
    QColor fill = Qt::white;
    if (FHot) fill = QColor(0xFF, 0xFF, 0x00);
    if (FDown) {
      fill = QColor(0x00, 0x00, 0xFF);
      textColor = Qt::white;
    }
    painter.fillRect(rect(), fill);
  } else {
    int offset = FrameIndex() * FrameHeight(FBG.height());
    painter.drawImage(0, -offset, FBGTrans ? FTransparentBG : FBG);
  }
  if (FText.isEmpty()) return;
  painter.setFont(font());
  painter.setPen(textColor);
  QFontMetrics metrics(font());
  int x = (width() - metrics.horizontalAdvance(FText)) / 2;
  int y = (height() - metrics.height()) / 2;
  painter.drawText(x, y + metrics.ascent(), FText);
}
