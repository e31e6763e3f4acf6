#include "tests/support/FakeEditorWindow.h"

namespace {

// The canvas handed to the editor owns nothing of the window: the window keeps
// a shadow recorder per canvas so that tests can read what was drawn.
class ForwardingCanvas : public platform::Canvas {
 public:
  explicit ForwardingCanvas(RecordingCanvas& target) : target_(target) {}
  int Width() const override { return target_.Width(); }
  int Height() const override { return target_.Height(); }
  void Resize(int w, int h) override { target_.Resize(w, h); }
  void SetFont(const platform::FontSpec& f) override { target_.SetFont(f); }
  platform::Point MeasureGlyph(char c, std::uint8_t s) override { return target_.MeasureGlyph(c, s); }
  void FillRect(const platform::Rect& r, platform::Color c) override { target_.FillRect(r, c); }
  void DrawText(int x, int y, std::string_view b, int a, platform::Color fg, platform::Color bg,
                std::uint8_t s) override {
    target_.DrawText(x, y, b, a, fg, bg, s);
  }
  void DrawUtf8Text(int x, int y, std::string_view b, int a, platform::Color fg, platform::Color bg,
                    std::uint8_t s) override {
    target_.DrawUtf8Text(x, y, b, a, fg, bg, s);
  }
  void DrawLine(int x1, int y1, int x2, int y2, platform::Color c) override {
    target_.DrawLine(x1, y1, x2, y2, c);
  }
  RecordingCanvas& Target() { return target_; }

 private:
  RecordingCanvas& target_;
};

}  // namespace

std::unique_ptr<platform::Canvas> FakeEditorWindow::CreateCanvas(int width, int height) {
  canvases.push_back(std::make_unique<RecordingCanvas>(width, height));
  return std::make_unique<ForwardingCanvas>(*canvases.back());
}

void FakeEditorWindow::CopyToWindow(int x, int y, platform::Canvas& source, const platform::Rect& sourceRect) {
  Copy c{x, y, sourceRect, {}, {}, {}};
  if (auto* forwarding = dynamic_cast<ForwardingCanvas*>(&source)) {
    RecordingCanvas& rec = forwarding->Target();
    c.texts = rec.texts;
    c.fills = rec.fills;
    c.lines = rec.lines;
    rec.Reset();
  }
  copies.push_back(std::move(c));
}

std::vector<int> FakeEditorWindow::PaintedRowsY() const {
  std::vector<int> ys;
  for (const Copy& c : copies) ys.push_back(c.y);
  return ys;
}
