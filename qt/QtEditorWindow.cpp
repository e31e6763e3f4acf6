#include "qt/QtEditorWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QBackingStore>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "editor/AdvEdit.h"
#include "editor/LargeBuffer.h"
#include "qt/CachedScrollBar.h"
#include "qt/Codepage.h"
#include "qt/ImageCanvas.h"
#include "qt/QtEditorAccessible.h"
#include "qt/KeyDelivery.h"
#include "qt/KeyMap.h"

namespace platform {

namespace {

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// The device pixels a logical area touches, partly covered ones included.
QRect OuterDeviceRect(const QRect& r, double ratio) {
  if (ratio == 1.0) return r;
  const int left = static_cast<int>(std::floor(r.left() * ratio)), top = static_cast<int>(std::floor(r.top() * ratio));
  const int right = static_cast<int>(std::ceil((r.left() + r.width()) * ratio));
  const int bottom = static_cast<int>(std::ceil((r.top() + r.height()) * ratio));
  return QRect(left, top, right - left, bottom - top);
}

// Characters Ctrl without Alt leaves to the text: the control characters
// the key gives (Alt with Ctrl is AltGr, whose characters all type).
bool TypedWith(Qt::KeyboardModifiers mods, char32_t ch) {
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) return ch < 0x20 || ch == 0x7F;
  return true;
}

// The window's image. One of a few megabytes is asked to be backed by huge
// pages: its first fill would otherwise fault in a page every 4 KB, which on
// a virtual machine costs more than the fill (some 12 ms for a maximised
// window, paid again at every resize).
QImage WindowImage(QSize size) {
  const int width = std::max(1, size.width()), height = std::max(1, size.height());
  const std::size_t bytes = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
  if (bytes >= kHugePage) {
    if (void* data = AllocateHugePages(bytes)) {
      const QImageCleanupFunction release = [](void* memory) { std::free(memory); };
      return QImage(static_cast<uchar*>(data), width, height, width * 4, QImage::Format_RGB32, release, data);
    }
  }
  return QImage(width, height, QImage::Format_RGB32);
}

int EditorButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return TAdvancedEditor::kLeftButton;
    case Qt::RightButton:
      return TAdvancedEditor::kRightButton;
    case Qt::MiddleButton:
      return TAdvancedEditor::kMiddleButton;
    default:
      return 0;
  }
}

// The scroll action of the window's bars for a Qt slider action; -1 for none.
int ScrollAction(int sliderAction) {
  switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub:
      return sb::LineUp;
    case QAbstractSlider::SliderSingleStepAdd:
      return sb::LineDown;
    case QAbstractSlider::SliderPageStepSub:
      return sb::PageUp;
    case QAbstractSlider::SliderPageStepAdd:
      return sb::PageDown;
    case QAbstractSlider::SliderMove:
      return sb::ThumbTrack;
    case QAbstractSlider::SliderToMinimum:
      return sb::Top;
    case QAbstractSlider::SliderToMaximum:
      return sb::Bottom;
    default:
      return -1;
  }
}

}  // namespace

QtEditorWindow::QtEditorWindow(TAdvancedEditor& editor, QWidget* parent)
    : QAbstractScrollArea(parent), editor_(editor), clipboard_(&editor) {
  setFocusPolicy(Qt::StrongFocus);
  // Input methods, dead keys and Compose reach the text (inputMethodEvent).
  setAttribute(Qt::WA_InputMethodEnabled);
  QtEditorAccessible::Install();
  setFrameShape(editor.BorderStyle() == 0 ? QFrame::NoFrame : QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  // Without a frame the viewport, the bars and the corner between them cover
  // the whole window: nothing of its own background shows, so none is filled.
  setHorizontalScrollBar(new CachedScrollBar(Qt::Horizontal, this));
  setVerticalScrollBar(new CachedScrollBar(Qt::Vertical, this));
  auto* corner = new QWidget(this);
  corner->setAutoFillBackground(true);
  setCornerWidget(corner);
  setAttribute(Qt::WA_OpaquePaintEvent, frameShape() == QFrame::NoFrame);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAttribute(Qt::WA_NoSystemBackground);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::IBeamCursor);
  // Opaque pixels, the format of the row bitmaps and of the X server's
  // backing store: a row copies in with memcpy, the blit needs no blending
  // and the caret inverts without a conversion.
  *ratio_ = viewport()->devicePixelRatioF();
  image_ = WindowImage(DeviceSize(viewport()->size()));
  image_.fill(ToQColor(editor.Color()));
  HandleEditorKeysAtOnce();

  for (ScrollBarKind kind : {ScrollBarKind::Horizontal, ScrollBarKind::Vertical}) {
    QScrollBar* bar = kind == ScrollBarKind::Vertical ? verticalScrollBar() : horizontalScrollBar();
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, kind](int action) {
      if (int code = ScrollAction(action); code >= 0) BarAction(kind, code);
    });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, kind] { BarAction(kind, sb::ThumbPosition); });
    // Changes that come without an action (the bar's "Scroll here") drag the thumb there.
    connect(bar, &QAbstractSlider::valueChanged, this, [this, kind](int value) {
      TAdvEditScrollBar& own = kind == ScrollBarKind::Vertical ? *editor_.VertBar : *editor_.HorzBar;
      if (!settingBar_ && value != own.Position) BarAction(kind, sb::ThumbTrack);
    });
  }

  blink_.setTimerType(Qt::CoarseTimer);
  connect(&blink_, &QTimer::timeout, this, [this] {
    blinkOn_ = !blinkOn_;
    UpdateCaret();
    // Shown and settled like a key's rows: the blink is in the row the next
    // key repaints, and a blink's pixels left unsettled would make that key
    // wait for the server.
    ShowChangesNow();
  });
  clipboard_.OnChanged = [this] { Deliver([&] { editor_.ClipboardChanged(); }); };
  // A character the document's code page lacks: the document becomes UTF-8
  // for it, or the paste is refused.
  clipboard_.OnUnmappable = [this](const std::string& utf8, char32_t ch) {
    return editor_.PasteNeedingUtf8(utf8, ch).value_or(std::string());
  };

  editor_.AttachWindow(this);
  InvalidateAll();
}

QtEditorWindow::~QtEditorWindow() {
  clipboard_.OnChanged = nullptr;
  clipboard_.OnUnmappable = nullptr;
  editor_.AttachWindow(nullptr);
}

template <typename F>
void QtEditorWindow::Deliver(F&& call) {
  try {
    call();
  } catch (const EComplete&) {
  } catch (const EStringListError& e) {
    ShowError("List index out of bounds (" + std::to_string(e.Index) + ")");
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

void QtEditorWindow::ShowError(const std::string& message) {
  // Later, so that no message box opens inside a paint or an input handler.
  QTimer::singleShot(0, this, [this, message] {
    QMessageBox::critical(window(), QApplication::applicationName(), QString::fromLocal8Bit(message.c_str()));
  });
}

// ---------------------------------------------------------------- painting

Point QtEditorWindow::ClientSize() const { return {viewport()->width(), viewport()->height()}; }

void QtEditorWindow::Invalidate(const Rect& r) {
  const QRect q = ToQRect(r) & viewport()->rect();
  if (q.isEmpty()) return;
  pending_ += q;
  viewport()->update(q);
}

void QtEditorWindow::InvalidateAll() {
  pending_ = QRegion(viewport()->rect());
  viewport()->update();
}

void QtEditorWindow::PaintPending() {
  if (painting_ || pending_.isEmpty()) return;
  const QRect r = pending_.boundingRect();
  pending_ = QRegion();
  painting_ = true;
  paintClip_ = r;
  Deliver([&] { editor_.Paint({r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}); });
  painting_ = false;
}

void QtEditorWindow::UpdateNow() { PaintPending(); }

void QtEditorWindow::ShowChangesNow() {
  // The rows a key changed are on the screen before the next event is
  // looked at: the window's update request, which Qt would post behind the
  // events already queued, is handled here.
  if (QWidget* top = window(); top && top->isVisible()) {
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(top, &request);
    // The server's wait is taken at once: this thread sleeps right after
    // the hand-over until the server has read the pixels, and a server
    // woken on this processor runs meanwhile.
    if (onX11_) SettleShownPixels();
  }
}

void QtEditorWindow::SettleShownPixels() {
  // On X11 the pixels just shown are read by the server from memory shared
  // with it, and the next paint over them first waits for the server to be
  // done with them (a round trip). Waiting here, right after a key's
  // pixels were handed over, takes that wait off the next key's way.
  QWidget* top = window();
  QBackingStore* store = top ? top->backingStore() : nullptr;
  if (!store || !isVisible()) return;
  const QRegion area(QRect(viewport()->mapTo(top, QPoint(0, 0)), viewport()->size()));
  store->beginPaint(area);
  store->endPaint();
}

QSize QtEditorWindow::DeviceSize(QSize logical) const {
  return {DevicePixel(logical.width(), *ratio_), DevicePixel(logical.height(), *ratio_)};
}

void QtEditorWindow::FollowScreenRatio() {
  const double ratio = viewport()->devicePixelRatioF();
  if (ratio == *ratio_) return;
  // Everything is made again at the new ratio: the image here, the
  // editor's bitmaps and tiles the next time it draws on them.
  *ratio_ = ratio;
  QImage fresh = WindowImage(DeviceSize(viewport()->size()));
  fresh.fill(ToQColor(editor_.Color()));
  image_ = std::move(fresh);
  InvalidateAll();
}

void QtEditorWindow::ScrollPixels(const Rect& area, int dy) {
  const QRect a = ToQRect(area) & viewport()->rect();
  if (dy == 0 || a.isEmpty()) return;
  const double ratio = *ratio_;
  const double deviceDy = dy * ratio;
  // A shift by a fraction of a device pixel is painted again instead.
  if (std::abs(dy) >= a.height() || deviceDy != std::round(deviceDy)) {
    Invalidate(area);
    return;
  }
  const QRect d = DeviceRect(a, ratio) & image_.rect();
  const int shift = static_cast<int>(deviceDy);
  const int bytes = d.width() * 4;
  if (shift > 0) {
    for (int y = d.bottom(); y >= d.top() + shift; --y)
      std::memmove(image_.scanLine(y) + d.left() * 4, image_.constScanLine(y - shift) + d.left() * 4, bytes);
  } else {
    for (int y = d.top(); y <= d.bottom() + shift; ++y)
      std::memmove(image_.scanLine(y) + d.left() * 4, image_.constScanLine(y - shift) + d.left() * 4, bytes);
  }
  // What was waiting to be painted moves with the pixels.
  const QRegion inside = pending_ & a;
  pending_ = (pending_ - a) | (inside.translated(0, dy) & a);
  const QRect strip =
      dy > 0 ? QRect(a.left(), a.top(), a.width(), dy) : QRect(a.left(), a.bottom() + 1 + dy, a.width(), -dy);
  pending_ += strip;
  viewport()->update(a);
}

void QtEditorWindow::CopyToWindow(int x, int y, Canvas& source, const Rect& sourceRect) {
  auto* canvas = dynamic_cast<ImageCanvas*>(&source);
  if (!canvas) return;
  const QImage& from = canvas->Image();
  const QRect wanted = ToQRect(sourceRect);
  QRect s = wanted & QRect(0, 0, canvas->Width(), canvas->Height());
  if (s.isEmpty()) return;
  const QRect target(QPoint(x + s.left() - wanted.left(), y + s.top() - wanted.top()), s.size());
  // Like a window's paint, a paint in progress draws only inside its area.
  QRect t = target & viewport()->rect();
  if (painting_) t &= paintClip_;
  if (t.isEmpty()) return;
  s = QRect(s.topLeft() + (t.topLeft() - target.topLeft()), t.size());
  viewport()->update(t);
  // In device pixels: the window's for the target, the canvas's from the
  // same logical corner of the source.
  const double ratio = *ratio_;
  QRect dt = DeviceRect(t, ratio);
  QPoint ds(DevicePixel(s.left(), canvas->Ratio()), DevicePixel(s.top(), canvas->Ratio()));
  dt &= image_.rect();
  dt.setWidth(std::min(dt.width(), from.width() - ds.x()));
  dt.setHeight(std::min(dt.height(), from.height() - ds.y()));
  if (dt.isEmpty()) return;
  const int bytes = dt.width() * 4;
  for (int i = 0; i < dt.height(); ++i)
    std::memcpy(image_.scanLine(dt.top() + i) + dt.left() * 4, from.constScanLine(ds.y() + i) + ds.x() * 4, bytes);
}

std::unique_ptr<Canvas> QtEditorWindow::CreateCanvas(int width, int height) {
  return std::make_unique<ImageCanvas>(width, height, ratio_);
}

void QtEditorWindow::paintEvent(QPaintEvent* event) {
  FollowScreenRatio();
  PaintPending();
  const double ratio = *ratio_;
  QPainter p(viewport());
  // The image is device pixels: drawn one to one.
  if (ratio != 1.0) p.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
  for (const QRect& r : event->region()) {
    const QRect d = OuterDeviceRect(r, ratio) & image_.rect();
    p.drawImage(d.topLeft(), image_, d);
  }
  if (CaretDrawn()) {
    const QRect c = DeviceRect(CaretRect(), ratio) & image_.rect();
    if (!c.isEmpty()) {
      QImage caret = image_.copy(c);
      caret.invertPixels();
      p.drawImage(c.topLeft(), caret);
    }
  }
  if (!preedit_.isEmpty()) {
    p.resetTransform();
    PaintPreedit(p);
  }
  // Whatever changed the text, the caret or the selection painted it:
  // readers hear of it once the paint is over.
  if ((accessibleText_ || QAccessible::isActive()) && !tellQueued_) {
    tellQueued_ = true;
    QMetaObject::invokeMethod(this, [this] { TellReaders(); }, Qt::QueuedConnection);
  }
}

QtEditorText& QtEditorWindow::AccessibleText() const {
  if (!accessibleText_) accessibleText_ = std::make_unique<QtEditorText>(editor_);
  return *accessibleText_;
}

void QtEditorWindow::Run(const std::function<void(TAdvancedEditor&)>& call) {
  editor_.HoldNotifications();
  Deliver([&] { call(editor_); });
  ShowChangesNow();
  Deliver([&] { editor_.ReleaseNotifications(); });
  ShowChangesNow();
}

void QtEditorWindow::TellReaders() {
  tellQueued_ = false;
  // The counts exist only once a reader asked; events only while one listens.
  if (!accessibleText_ && !QAccessible::isActive()) return;
  QtEditorText& text = AccessibleText();
  QtEditorText::Told& told = text.told;
  const TAdvLines& lines = *editor_.Lines;
  int column = 0, caretLine = 0;
  if (lines.Count() > 0 && editor_.CaretY >= 0 && editor_.CaretY < lines.GetRowCount())
    lines.RowToLine(editor_.CaretX, editor_.CaretY, column, caretLine);
  caretLine = std::clamp(caretLine, 0, std::max(lines.Count() - 1, 0));
  const int count = lines.Count();
  // The text: a change within the line the caret was on is told exactly; one
  // that added or removed lines as an update of the lines between the old
  // and the new caret line.
  struct Change {
    std::int64_t at = 0;
    QString removed, inserted;
  };
  std::optional<Change> change;
  if (told.valid) {
    const int oldLine = told.caretLine;
    if (count == told.lines && oldLine < count) {
      const QString now = text.LineText(oldLine);
      if (now != told.caretLineText) {
        text.Forget(oldLine);
        const QString& was = told.caretLineText;
        qsizetype prefix = 0;
        while (prefix < was.size() && prefix < now.size() && was[prefix] == now[prefix]) ++prefix;
        qsizetype suffix = 0;
        while (suffix < was.size() - prefix && suffix < now.size() - prefix &&
               was[was.size() - 1 - suffix] == now[now.size() - 1 - suffix])
          ++suffix;
        change = Change{text.LineStart(oldLine) + prefix, was.mid(prefix, was.size() - prefix - suffix),
                        now.mid(prefix, now.size() - prefix - suffix)};
      } else {
        text.Forget(count);  // nothing changed that the counts know of
      }
    } else if (count != told.lines) {
      const int first = std::min(oldLine, caretLine);
      text.Forget(first);
      const std::int64_t start = text.LineStart(first);
      change = Change{start, told.caretLineText, text.Text(start, text.LineStart(caretLine + 1) - 1)};
    }
  } else {
    text.Forget(0);
  }
  std::int64_t caret = text.CaretOffset(), selStart = 0, selEnd = 0;
  text.Selection(selStart, selEnd);
  if (change) {
    if (change->removed.isEmpty() && !change->inserted.isEmpty()) {
      QAccessibleTextInsertEvent e(this, static_cast<int>(change->at), change->inserted);
      QAccessible::updateAccessibility(&e);
    } else if (!change->removed.isEmpty() && change->inserted.isEmpty()) {
      QAccessibleTextRemoveEvent e(this, static_cast<int>(change->at), change->removed);
      QAccessible::updateAccessibility(&e);
    } else if (!change->removed.isEmpty() || !change->inserted.isEmpty()) {
      QAccessibleTextUpdateEvent e(this, static_cast<int>(change->at), change->removed, change->inserted);
      QAccessible::updateAccessibility(&e);
    }
  }
  if (told.valid && (selStart != told.selStart || selEnd != told.selEnd) && (selStart != selEnd || told.selStart != told.selEnd)) {
    QAccessibleTextSelectionEvent e(this, static_cast<int>(selStart), static_cast<int>(selEnd));
    e.setCursorPosition(static_cast<int>(caret));
    QAccessible::updateAccessibility(&e);
  }
  if (told.valid && caret != told.caret) {
    QAccessibleTextCursorEvent e(this, static_cast<int>(caret));
    QAccessible::updateAccessibility(&e);
  }
  told.valid = true;
  told.lines = count;
  told.caretLine = caretLine;
  told.caretLineText = count > 0 ? text.LineText(caretLine) : QString();
  told.caret = caret;
  told.selStart = selStart;
  told.selEnd = selEnd;
}

void QtEditorWindow::resizeEvent(QResizeEvent*) {
  // Called for the frame and for the viewport; only the viewport's size counts.
  const double ratio = viewport()->devicePixelRatioF();
  const bool ratioChanged = ratio != *ratio_;
  *ratio_ = ratio;
  const QSize size = DeviceSize(QSize(std::max(1, viewport()->width()), std::max(1, viewport()->height())));
  if (size == image_.size() && !ratioChanged) return;
  // Moved, not shared: a second owner of the pixels would make the first
  // write below copy the whole image into fresh memory.
  QImage grown = WindowImage(size);
  grown.fill(ToQColor(editor_.Color()));
  image_ = std::move(grown);
  pending_ = QRegion();
  Deliver([&] { editor_.Resize(); });
  InvalidateAll();
}

// ---------------------------------------------------------------- caret

void QtEditorWindow::UpdateCaret() { viewport()->update(CaretRect()); }

void QtEditorWindow::RestartBlink() {
  blinkOn_ = true;
  const int flash = QApplication::cursorFlashTime();
  if (caretExists_ && caretVisible_ && flash > 0) {
    blink_.start(flash / 2);
  } else {
    blink_.stop();
  }
}

void QtEditorWindow::CreateCaret(int width, int height) {
  UpdateCaret();
  caretExists_ = true;
  caretVisible_ = false;
  caretSize_ = QSize(width, height);
  RestartBlink();
}

void QtEditorWindow::DestroyCaret() {
  UpdateCaret();
  caretExists_ = caretVisible_ = false;
  blink_.stop();
}

void QtEditorWindow::SetCaretPos(int x, int y) {
  if (caretPos_ == QPoint(x, y)) return;
  UpdateCaret();
  // The text being composed goes along with the caret.
  if (!preedit_.isEmpty()) viewport()->update(PreeditRect());
  caretPos_ = QPoint(x, y);
  if (!preedit_.isEmpty()) viewport()->update(PreeditRect());
  RestartBlink();
  UpdateCaret();
}

void QtEditorWindow::ShowCaret() {
  caretVisible_ = true;
  RestartBlink();
  UpdateCaret();
}

void QtEditorWindow::HideCaret() {
  caretVisible_ = false;
  RestartBlink();
  UpdateCaret();
}

// ---------------------------------------------------------------- scroll bars

void QtEditorWindow::SetScrollBar(ScrollBarKind kind, const ScrollBarInfo& info) {
  QScrollBar* bar = kind == ScrollBarKind::Vertical ? verticalScrollBar() : horizontalScrollBar();
  // The window's bar counts thumb positions: the last one shows the range's end at the page's end.
  const int page = std::max(info.page, 1);
  const int last = std::max(info.min, info.max - page + 1);
  settingBar_ = true;
  bar->setRange(info.min, last);
  bar->setPageStep(page);
  bar->setSingleStep(1);
  bar->setValue(std::clamp(info.pos, info.min, last));
  bar->setEnabled(info.enabled);
  settingBar_ = false;
}

void QtEditorWindow::ShowScrollBars(bool horizontal, bool vertical) {
  setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void QtEditorWindow::BarAction(ScrollBarKind kind, int code) {
  if (settingBar_) return;
  QScrollBar* bar = kind == ScrollBarKind::Vertical ? verticalScrollBar() : horizontalScrollBar();
  const int track = bar->sliderPosition();
  Deliver([&] {
    if (kind == ScrollBarKind::Vertical) {
      editor_.VertScroll(code, track);
    } else {
      editor_.HorzScroll(code, track);
    }
  });
  // The editor's bar decides where the thumb stands, whatever Qt made of the action.
  TAdvEditScrollBar& own = kind == ScrollBarKind::Vertical ? *editor_.VertBar : *editor_.HorzBar;
  settingBar_ = true;
  bar->setSliderPosition(own.Position);
  settingBar_ = false;
}

// ---------------------------------------------------------------- input

bool QtEditorWindow::event(QEvent* event) {
  if (event->type() == QEvent::ScreenChangeInternal) {
    // Another screen may have another device pixel ratio: the next paint sees.
    viewport()->update();
  }
  if (event->type() == QEvent::ShortcutOverride) {
    // A key on its way to a shortcut: what the shortcut does runs queued.
    QueueWindowSystemEvents();
    // A character typed without Ctrl, Alt or Meta is the text's, as in Qt's
    // own text fields: no shortcut is looked up for it.
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (mods == Qt::NoModifier && key->key() < Qt::Key_Escape && !key->text().isEmpty()) {
      key->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void QtEditorWindow::keyPressEvent(QKeyEvent* event) {
  QueueWindowSystemEvents();
  const Qt::KeyboardModifiers mods = event->modifiers();
  std::uint16_t key = VirtualKeyOf(event->key(), mods);
  const TShiftState shift = ShiftStateOf(mods);
  const QString text = event->text();
  // The key's own rows reach the screen first; what its change tells the
  // watchers (the colours below it, the tab and the title) comes right
  // after them, still inside this event.
  editor_.HoldNotifications();
  Deliver([&] {
    editor_.KeyDown(key, shift);
    // Alt with a key is a menu key and types nothing (Ctrl+Alt is AltGr).
    if ((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier)) return;
    // Ctrl with a key no table bound types no character either.
    for (char32_t ch : text.toUcs4())
      if (TypedWith(mods, ch)) editor_.TypeCharacter(ch);
  });
  event->accept();
  ShowChangesNow();
  Deliver([&] { editor_.ReleaseNotifications(); });
  ShowChangesNow();
}

void QtEditorWindow::inputMethodEvent(QInputMethodEvent* event) {
  QueueWindowSystemEvents();
  event->accept();
  // The text being composed is only shown: the document hears of it when
  // it is committed.
  viewport()->update(PreeditRect());
  preedit_ = event->preeditString();
  preeditCursor_ = static_cast<int>(preedit_.size());
  for (const QInputMethodEvent::Attribute& a : event->attributes())
    if (a.type == QInputMethodEvent::Cursor) preeditCursor_ = a.length > 0 ? a.start : -1;
  viewport()->update(PreeditRect());
  const QString commit = event->commitString();
  if (commit.isEmpty()) return;
  // Typed as typed characters, with the rows shown as a key's are.
  editor_.HoldNotifications();
  Deliver([&] {
    for (char32_t ch : commit.toUcs4()) {
      // Each as a key the key table does not bind, then its character.
      std::uint16_t unbound = 0;
      editor_.KeyDown(unbound, shift::None);
      editor_.TypeCharacter(ch);
    }
  });
  ShowChangesNow();
  Deliver([&] { editor_.ReleaseNotifications(); });
  ShowChangesNow();
}

QFont QtEditorWindow::TextFont() const {
  if (auto* canvas = dynamic_cast<ImageCanvas*>(editor_.RowBitmap.get())) return canvas->FontFor(0);
  return font();
}

QRect QtEditorWindow::PreeditRect() const {
  if (preedit_.isEmpty()) return {};
  const QFontMetrics metrics(TextFont());
  return QRect(caretPos_, QSize(metrics.horizontalAdvance(preedit_) + 1, std::max(caretSize_.height(), 1)));
}

void QtEditorWindow::PaintPreedit(QPainter& p) const {
  const QFont font = TextFont();
  const QFontMetrics metrics(font);
  const QRect r = PreeditRect();
  const QColor fg = ToQColor(editor_.EditorFont.color), bg = ToQColor(editor_.Color());
  p.fillRect(r, bg);
  p.setFont(font);
  p.setPen(fg);
  const int baseline = r.top() + metrics.ascent();
  p.drawText(QPoint(r.left(), baseline), preedit_);
  const int thickness = std::max(1, metrics.lineWidth());
  p.fillRect(QRect(r.left(), std::min(baseline + metrics.underlinePos(), r.bottom() - thickness + 1), r.width() - 1,
                   thickness),
             fg);
  if (preeditCursor_ >= 0)
    p.fillRect(QRect(r.left() + metrics.horizontalAdvance(preedit_.left(preeditCursor_)), r.top(), 1, r.height()), fg);
}

QVariant QtEditorWindow::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return true;
    case Qt::ImHints:
      return static_cast<int>(Qt::ImhMultiLine | Qt::ImhNoAutoUppercase);
    case Qt::ImFont:
      return TextFont();
    case Qt::ImCursorRectangle: {
      // Where the candidates belong: at the caret, within the text being composed.
      QRect caret(caretPos_, QSize(std::max(caretSize_.width(), 1), std::max(caretSize_.height(), 1)));
      if (!preedit_.isEmpty() && preeditCursor_ > 0)
        caret.translate(QFontMetrics(TextFont()).horizontalAdvance(preedit_.left(preeditCursor_)), 0);
      return QRect(viewport()->mapTo(this, caret.topLeft()), caret.size());
    }
    case Qt::ImSurroundingText:
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
    case Qt::ImTextBeforeCursor:
    case Qt::ImTextAfterCursor:
    case Qt::ImCurrentSelection:
      break;
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
  // The caret's line around the caret, no more than a few hundred bytes to
  // either side however long the line.
  constexpr int kAround = 256;
  const TAdvLines& lines = *editor_.Lines;
  int column = 0, line = 0;
  if (editor_.CaretY >= 0 && editor_.CaretY < lines.GetRowCount())
    lines.RowToLine(editor_.CaretX, editor_.CaretY, column, line);
  else
    line = -1;
  const std::string_view text = line >= 0 ? lines.LineView(line) : std::string_view();
  const bool utf8 = editor_.Utf8();
  auto boundary = [&](int at) {
    at = std::clamp(at, 0, static_cast<int>(text.size()));
    while (utf8 && at > 0 && at < static_cast<int>(text.size()) && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
      --at;
    return at;
  };
  const int caret = boundary(column);
  const int from = boundary(caret - kAround), to = boundary(caret + kAround);
  const TTextEncoding encoding = utf8 ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
  const QString before = codepage::ToQString(text.substr(from, caret - from), encoding);
  const QString after = codepage::ToQString(text.substr(caret, to - caret), encoding);
  switch (query) {
    case Qt::ImSurroundingText:
      return before + after;
    case Qt::ImTextBeforeCursor:
      return before;
    case Qt::ImTextAfterCursor:
      return after;
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
      return static_cast<int>(before.size());
    case Qt::ImCurrentSelection:
      if (editor_.SelAvail && editor_.SelStartY == editor_.SelEndY && std::abs(editor_.SelEndX - editor_.SelStartX) <= kAround)
        return codepage::ToQString(editor_.GetSelText(), encoding);
      return QString();
    default:
      return {};
  }
}

void QtEditorWindow::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const int button = EditorButton(event->button());
  const TShiftState shift = ShiftStateOf(event->modifiers());
  Deliver([&] { editor_.MouseDown(button, shift, p.x(), p.y()); });
}

void QtEditorWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  // Qt sends this in place of the second press: the double click, then the
  // press, which the editor knows to ignore.
  const QPoint p = event->position().toPoint();
  const int button = EditorButton(event->button());
  const TShiftState shift = ShiftStateOf(event->modifiers());
  Deliver([&] {
    if (button == TAdvancedEditor::kLeftButton) editor_.DblClick();
    editor_.MouseDown(button, shift, p.x(), p.y());
  });
}

void QtEditorWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const bool left = event->buttons() & Qt::LeftButton;
  const TShiftState shift = ShiftStateOf(event->modifiers());
  Deliver([&] { editor_.MouseMove(shift, p.x(), p.y(), left); });
}

void QtEditorWindow::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const int button = EditorButton(event->button());
  const TShiftState shift = ShiftStateOf(event->modifiers());
  Deliver([&] { editor_.MouseUp(button, shift, p.x(), p.y()); });
}

void QtEditorWindow::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  event->accept();
  if (delta == 0) return;
  // Fine-grained wheels send parts of a notch; whole notches scroll.
  wheelRest_ += delta;
  const int notches = wheelRest_ / 120;
  if (notches == 0) return;
  wheelRest_ -= notches * 120;
  Deliver([&] { editor_.WheelScroll(notches * 120, QApplication::wheelScrollLines()); });
}

void QtEditorWindow::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  Deliver([&] { editor_.FocusIn(); });
}

void QtEditorWindow::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  if (!preedit_.isEmpty()) {
    viewport()->update(PreeditRect());
    preedit_.clear();
  }
  Deliver([&] { editor_.FocusOut(); });
}

void QtEditorWindow::contextMenuEvent(QContextMenuEvent* event) {
  const QPoint p = viewport()->mapFromGlobal(event->globalPos());
  Deliver([&] { editor_.ContextMenuAt(p.x(), p.y()); });
  if (OnContextMenu) OnContextMenu(event->globalPos());
}

bool QtEditorWindow::focusNextPrevChild(bool) {
  // TAB and Shift+TAB go to the editor, which decides (FocusNext).
  return false;
}

// ---------------------------------------------------------------- services

void QtEditorWindow::SetCursor(Cursor c) {
  switch (c) {
    case Cursor::IBeam:
      viewport()->setCursor(Qt::IBeamCursor);
      break;
    case Cursor::Arrow:
      viewport()->setCursor(Qt::ArrowCursor);
      break;
    case Cursor::HandPoint:
      viewport()->setCursor(Qt::PointingHandCursor);
      break;
  }
}

void QtEditorWindow::StartTimer(int id, int ms) {
  std::unique_ptr<QTimer>& timer = timers_[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    connect(timer.get(), &QTimer::timeout, this, [this, id] { Deliver([&] { editor_.TimerTick(id); }); });
  }
  // A running timer keeps its rhythm.
  if (!timer->isActive() || timer->interval() != ms) timer->start(ms);
}

void QtEditorWindow::StopTimer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void QtEditorWindow::PostCommand(std::uint16_t command) {
  QMetaObject::invokeMethod(
      this, [this, command] { Deliver([&] { editor_.PostedCommand(command); }); }, Qt::QueuedConnection);
}

void QtEditorWindow::TakeFocus() { setFocus(Qt::MouseFocusReason); }

void QtEditorWindow::FocusNext(bool backwards) { QAbstractScrollArea::focusNextPrevChild(!backwards); }

void QtEditorWindow::Beep() { QApplication::beep(); }

Point QtEditorWindow::ClientToScreen(Point p) const {
  const QPoint g = viewport()->mapToGlobal(QPoint(p.x, p.y));
  return {g.x(), g.y()};
}

Rect QtEditorWindow::ScreenRect() const {
  const QScreen* s = screen();
  const QRect g = s ? s->geometry() : QRect(0, 0, 1024, 768);
  return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

}  // namespace platform
