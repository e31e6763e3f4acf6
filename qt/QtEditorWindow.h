#pragma once

// The window of one TAdvancedEditor on Qt.
//
// The editor paints the moment a row changes, the way it would paint a
// window of its own; Qt paints only inside paintEvent. The host joins the two
// with a backing image: copying a row to the window writes into the image
// and asks Qt for an update, and paintEvent only blits the image (and draws
// the caret over it). Areas the editor invalidates are collected and handed
// to the editor's Paint before the next blit, or at once by UpdateNow.
//
// The window's own two scroll bars are driven by the editor's bar objects:
// what the user does with a bar goes to the editor as a scroll action, and
// the editor's answer sets the bar.

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QImage>
#include <QRegion>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "platform/EditorWindow.h"
#include "qt/SystemClipboard.h"

class TAdvancedEditor;

namespace platform {

class QtEditorText;

class QtEditorWindow : public QAbstractScrollArea, public EditorWindow {
 public:
  // Attaches itself to `editor`, which must outlive the window.
  explicit QtEditorWindow(TAdvancedEditor& editor, QWidget* parent = nullptr);
  ~QtEditorWindow() override;

  TAdvancedEditor& Editor() const { return editor_; }
  // What the window shows, without the caret.
  const QImage& Image() const { return image_; }
  // The caret's rectangle, and whether it is drawn now.
  QRect CaretRect() const { return QRect(caretPos_, caretSize_); }
  // The input method's text not yet committed (drawn at the caret).
  const QString& Preedit() const { return preedit_; }
  // What an input method asks: the caret's rectangle, the font, the text
  // around the caret.
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  // Screen readers: the text as they count it, and an editor call made for
  // one, shown and told like a key's.
  QtEditorText& AccessibleText() const;
  void Run(const std::function<void(TAdvancedEditor&)>& call);
  // Tells a listening screen reader what changed since it was last told:
  // text, caret, selection. Nothing while none listens.
  void TellReaders();
  bool CaretDrawn() const { return caretExists_ && caretVisible_ && blinkOn_; }

  // After the editor has looked at the point of a context-menu request
  // (client coordinates), with the point on the screen.
  std::function<void(QPoint global)> OnContextMenu;

  // ---- EditorWindow ----
  Point ClientSize() const override;
  bool Showing() const override { return isVisible(); }
  void Invalidate(const Rect& r) override;
  void InvalidateAll() override;
  void ScrollPixels(const Rect& area, int dy) override;
  void UpdateNow() override;
  void CopyToWindow(int x, int y, Canvas& source, const Rect& sourceRect) override;
  std::unique_ptr<Canvas> CreateCanvas(int width, int height) override;
  void CreateCaret(int width, int height) override;
  void DestroyCaret() override;
  void SetCaretPos(int x, int y) override;
  void ShowCaret() override;
  void HideCaret() override;
  void SetScrollBar(ScrollBarKind bar, const ScrollBarInfo& info) override;
  void ShowScrollBars(bool horizontal, bool vertical) override;
  void CaptureMouse() override {}  // Qt grabs the mouse for the button's press itself
  void ReleaseMouse() override {}
  void SetCursor(Cursor c) override;
  void StartTimer(int id, int ms) override;
  void StopTimer(int id) override;
  void PostCommand(std::uint16_t command) override;
  bool HasFocus() const override { return hasFocus(); }
  void TakeFocus() override;
  void FocusNext(bool backwards) override;
  void Beep() override;
  Point ClientToScreen(Point p) const override;
  Rect ScreenRect() const override;
  Clipboard& GetClipboard() override { return clipboard_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void scrollContentsBy(int, int) override {}  // the editor scrolls its own pixels
  bool focusNextPrevChild(bool next) override;

 private:
  // Runs an editor call the way the framework runs an action: an error that
  // leaves it is shown in a message box and the program goes on.
  template <typename F>
  void Deliver(F&& call);
  void ShowError(const std::string& message);
  void PaintPending();
  // Paints and shows at once what an input event changed.
  void ShowChangesNow();
  void SettleShownPixels();
  void BarAction(ScrollBarKind kind, int action);
  // The device pixel ratio of the screen the window is on, with the image
  // made again at it when it changed.
  void FollowScreenRatio();
  QSize DeviceSize(QSize logical) const;
  // The input method's text not yet committed, over the text at the caret.
  void PaintPreedit(QPainter& p) const;
  QRect PreeditRect() const;
  QFont TextFont() const;
  void UpdateCaret();
  void RestartBlink();

  TAdvancedEditor& editor_;
  mutable std::unique_ptr<QtEditorText> accessibleText_;
  SystemClipboard clipboard_;
  // Device pixels, ratio_ of them to a logical one; shared with the canvases.
  std::shared_ptr<double> ratio_ = std::make_shared<double>(1.0);
  QImage image_;
  QRegion pending_;
  QString preedit_;
  int preeditCursor_ = 0;  // in preedit_, -1 for hidden
  bool painting_ = false;
  bool tellQueued_ = false;
  QRect paintClip_;
  bool settingBar_ = false;
  int wheelRest_ = 0;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  QTimer blink_;
  const bool onX11_ = QGuiApplication::platformName() == QLatin1String("xcb");
  QPoint caretPos_;
  QSize caretSize_;
  bool caretExists_ = false, caretVisible_ = false, blinkOn_ = true;
};

}  // namespace platform
