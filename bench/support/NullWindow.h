#pragma once

// A window, canvases and a clipboard that draw and hold nothing, for
// measuring the editor's own work: the canvases count their calls and the
// characters handed to them, the window the rows copied to it. Its client
// area is 150 x 50 cells of 8 x 16 pixels and a 2-pixel margin.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Canvas.h"
#include "platform/Clipboard.h"
#include "platform/EditorWindow.h"

namespace benchsupport {

class NullCanvas : public platform::Canvas {
 public:
  NullCanvas(int w, int h) : w_(w), h_(h) {}
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  void Resize(int w, int h) override {
    w_ = w;
    h_ = h;
  }
  void SetFont(const platform::FontSpec&) override {}
  platform::Point MeasureGlyph(char, std::uint8_t) override { return {8, 16}; }
  void FillRect(const platform::Rect&, platform::Color) override { ++calls; }
  void DrawText(int, int, std::string_view bytes, int, platform::Color, platform::Color,
                std::uint8_t) override {
    ++calls;
    chars += static_cast<long>(bytes.size());
  }
  void DrawUtf8Text(int x, int y, std::string_view utf8, int advance, platform::Color fg, platform::Color bg,
                    std::uint8_t style) override {
    DrawText(x, y, utf8, advance, fg, bg, style);
  }
  void DrawLine(int, int, int, int, platform::Color) override { ++calls; }
  static inline long calls = 0, chars = 0;

 private:
  int w_, h_;
};

class NullClipboard : public platform::Clipboard {
 public:
  bool HasText() const override { return false; }
  std::string GetText() const override { return {}; }
  void SetText(const std::string&) override {}
};

class NullWindow : public platform::EditorWindow {
 public:
  platform::Point ClientSize() const override { return {2 + 150 * 8, 50 * 16}; }
  bool Showing() const override { return true; }
  void Invalidate(const platform::Rect&) override {}
  void InvalidateAll() override {}
  void ScrollPixels(const platform::Rect&, int) override {}
  void UpdateNow() override {}
  void CopyToWindow(int, int, platform::Canvas&, const platform::Rect&) override { ++copies; }
  std::unique_ptr<platform::Canvas> CreateCanvas(int w, int h) override { return std::make_unique<NullCanvas>(w, h); }
  void CreateCaret(int, int) override {}
  void DestroyCaret() override {}
  void SetCaretPos(int, int) override {}
  void ShowCaret() override {}
  void HideCaret() override {}
  void SetScrollBar(platform::ScrollBarKind, const platform::ScrollBarInfo&) override {}
  void ShowScrollBars(bool, bool) override {}
  void CaptureMouse() override {}
  void ReleaseMouse() override {}
  void SetCursor(platform::Cursor) override {}
  void StartTimer(int, int) override {}
  void StopTimer(int) override {}
  void PostCommand(std::uint16_t) override {}
  bool HasFocus() const override { return true; }
  void TakeFocus() override {}
  void FocusNext(bool) override {}
  void Beep() override {}
  platform::Point ClientToScreen(platform::Point p) const override { return p; }
  platform::Rect ScreenRect() const override { return {0, 0, 1920, 1080}; }
  platform::Clipboard& GetClipboard() override { return clipboard; }
  NullClipboard clipboard;
  long copies = 0;
};

}  // namespace benchsupport
