#pragma once

// What the editing control needs of the window it lives in. The core calls
// these; the window host (Qt, or a fake in tests) implements them and feeds
// input back to the editor as calls (KeyDown, MouseDown, Paint, ...).

#include <cstdint>
#include <memory>

#include "platform/Canvas.h"
#include "platform/Geometry.h"

namespace platform {

class Clipboard;

enum class Cursor { IBeam, Arrow, HandPoint };

enum class ScrollBarKind { Horizontal, Vertical };

struct ScrollBarInfo {
  int min = 0;
  int max = 0;
  int page = 0;
  int pos = 0;
  bool enabled = true;
};

class EditorWindow {
 public:
  virtual ~EditorWindow() = default;

  virtual Point ClientSize() const = 0;
  virtual bool Showing() const = 0;

  // Painting. Invalidated areas are painted later through the editor's Paint.
  virtual void Invalidate(const Rect& r) = 0;
  virtual void InvalidateAll() = 0;
  // Moves the pixels of `area` by dy (positive = down) and invalidates the strip uncovered.
  virtual void ScrollPixels(const Rect& area, int dy) = 0;
  // Paints pending invalid areas now.
  virtual void UpdateNow() = 0;
  // Copies `source` (a canvas created by CreateCanvas) to (x, y) of the window.
  virtual void CopyToWindow(int x, int y, Canvas& source, const Rect& sourceRect) = 0;
  virtual std::unique_ptr<Canvas> CreateCanvas(int width, int height) = 0;

  // The system caret.
  virtual void CreateCaret(int width, int height) = 0;
  virtual void DestroyCaret() = 0;
  virtual void SetCaretPos(int x, int y) = 0;
  virtual void ShowCaret() = 0;
  virtual void HideCaret() = 0;

  virtual void SetScrollBar(ScrollBarKind bar, const ScrollBarInfo& info) = 0;
  virtual void ShowScrollBars(bool horizontal, bool vertical) = 0;

  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  virtual void SetCursor(Cursor c) = 0;

  // Timers tick into the editor's TimerTick(id) every `ms` milliseconds.
  virtual void StartTimer(int id, int ms) = 0;
  virtual void StopTimer(int id) = 0;

  // Runs the editor's posted-command handler for `command` later, on the same thread.
  virtual void PostCommand(std::uint16_t command) = 0;

  virtual bool HasFocus() const = 0;
  virtual void TakeFocus() = 0;
  // Moves the focus to the next (or previous) control of the parent window.
  virtual void FocusNext(bool backwards) = 0;
  virtual void Beep() = 0;
  // Position of the client area's top-left on the screen, and the screen's size.
  virtual Point ClientToScreen(Point p) const = 0;
  virtual Rect ScreenRect() const = 0;

  virtual Clipboard& GetClipboard() = 0;
};

}  // namespace platform
