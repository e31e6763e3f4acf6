#pragma once

// A window host for tests: records what the editor asks of its window and
// lets a test deliver posted commands and timer ticks by hand.

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/EditorWindow.h"

class FakeClipboard : public platform::Clipboard {
 public:
  bool HasText() const override { return hasText; }
  std::string GetText() const override { return text; }
  void SetText(const std::string& t) override {
    text = t;
    hasText = true;
    ++writes;
    if (OnChanged) OnChanged();
  }
  bool hasText = false;
  std::string text;
  int writes = 0;
};

// A canvas that records every drawing call.
class RecordingCanvas : public platform::Canvas {
 public:
  struct TextCall {
    int x, y;
    std::string bytes;
    int advance;
    platform::Color fg, bg;
    std::uint8_t style;
    bool utf8 = false;  // drawn by DrawUtf8Text
  };
  struct FillCall {
    platform::Rect r;
    platform::Color color;
  };
  struct LineCall {
    int x1, y1, x2, y2;
    platform::Color color;
  };

  RecordingCanvas(int w, int h) : width(w), height(h) {}
  int Width() const override { return width; }
  int Height() const override { return height; }
  void Resize(int w, int h) override {
    width = w;
    height = h;
  }
  void SetFont(const platform::FontSpec& f) override { font = f; }
  platform::Point MeasureGlyph(char, std::uint8_t) override { return cell; }
  void FillRect(const platform::Rect& r, platform::Color color) override { fills.push_back({r, color}); }
  void DrawText(int x, int y, std::string_view bytes, int advance, platform::Color fg, platform::Color bg,
                std::uint8_t style) override {
    texts.push_back({x, y, std::string(bytes), advance, fg, bg, style, false});
  }
  void DrawUtf8Text(int x, int y, std::string_view utf8, int advance, platform::Color fg, platform::Color bg,
                    std::uint8_t style) override {
    texts.push_back({x, y, std::string(utf8), advance, fg, bg, style, true});
  }
  void DrawLine(int x1, int y1, int x2, int y2, platform::Color color) override {
    lines.push_back({x1, y1, x2, y2, color});
  }
  void Reset() {
    texts.clear();
    fills.clear();
    lines.clear();
  }

  int width, height;
  platform::FontSpec font;
  platform::Point cell{8, 16};
  std::vector<TextCall> texts;
  std::vector<FillCall> fills;
  std::vector<LineCall> lines;
};

class FakeEditorWindow : public platform::EditorWindow {
 public:
  struct Copy {
    int x, y;
    platform::Rect source;
    std::vector<RecordingCanvas::TextCall> texts;  // what the source canvas held when copied
    std::vector<RecordingCanvas::FillCall> fills;
    std::vector<RecordingCanvas::LineCall> lines;
  };
  struct Scroll {
    platform::Rect area;
    int dy;
  };

  explicit FakeEditorWindow(int width = 800, int height = 480) : size{width, height} {}

  platform::Point ClientSize() const override { return size; }
  bool Showing() const override { return showing; }
  void Invalidate(const platform::Rect& r) override { invalidated.push_back(r); }
  void InvalidateAll() override { invalidated.push_back({0, 0, size.x, size.y}); ++fullInvalidations; }
  void ScrollPixels(const platform::Rect& area, int dy) override { scrolls.push_back({area, dy}); }
  void UpdateNow() override { ++updates; }
  void CopyToWindow(int x, int y, platform::Canvas& source, const platform::Rect& sourceRect) override;
  std::unique_ptr<platform::Canvas> CreateCanvas(int width, int height) override;

  void CreateCaret(int w, int h) override {
    caretSize = {w, h};
    caretExists = true;
  }
  void DestroyCaret() override {
    caretExists = false;
    caretVisible = false;
  }
  void SetCaretPos(int x, int y) override { caretPos = {x, y}; }
  void ShowCaret() override { caretVisible = true; }
  void HideCaret() override { caretVisible = false; }

  void SetScrollBar(platform::ScrollBarKind bar, const platform::ScrollBarInfo& info) override {
    bars[bar] = info;
  }
  void ShowScrollBars(bool h, bool v) override {
    horizontalBar = h;
    verticalBar = v;
  }
  void CaptureMouse() override { captured = true; }
  void ReleaseMouse() override { captured = false; }
  void SetCursor(platform::Cursor c) override { cursor = c; }
  void StartTimer(int id, int ms) override { timers[id] = ms; }
  void StopTimer(int id) override { timers.erase(id); }
  void PostCommand(std::uint16_t command) override { posted.push_back(command); }
  bool HasFocus() const override { return focused; }
  void TakeFocus() override { focused = true; }
  void FocusNext(bool backwards) override { focusMoves.push_back(backwards); }
  void Beep() override { ++beeps; }
  platform::Point ClientToScreen(platform::Point p) const override {
    return {p.x + screenOrigin.x, p.y + screenOrigin.y};
  }
  platform::Rect ScreenRect() const override { return screen; }
  platform::Clipboard& GetClipboard() override { return clipboard; }

  // Rows copied to the window since the last ClearRecords, by their y.
  std::vector<int> PaintedRowsY() const;
  void ClearRecords() {
    invalidated.clear();
    scrolls.clear();
    copies.clear();
    fullInvalidations = 0;
    updates = 0;
  }

  platform::Point size;
  bool showing = true;
  bool focused = true;
  std::vector<platform::Rect> invalidated;
  int fullInvalidations = 0;
  std::vector<Scroll> scrolls;
  int updates = 0;
  std::vector<Copy> copies;
  std::vector<std::unique_ptr<RecordingCanvas>> canvases;  // every canvas made, for inspection
  platform::Point caretSize{0, 0}, caretPos{0, 0};
  bool caretExists = false, caretVisible = false;
  std::map<platform::ScrollBarKind, platform::ScrollBarInfo> bars;
  bool horizontalBar = false, verticalBar = false;
  bool captured = false;
  platform::Cursor cursor = platform::Cursor::IBeam;
  std::map<int, int> timers;
  std::deque<std::uint16_t> posted;
  std::vector<bool> focusMoves;
  int beeps = 0;
  platform::Point screenOrigin{100, 100};
  platform::Rect screen{0, 0, 1280, 1024};
  FakeClipboard clipboard;
};
