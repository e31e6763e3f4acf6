#pragma once

// Records what an editor tells the world, in order: its notifications and
// the window requests that show on screen. Rows copied to the window are
// kept as the screen would show them, so a test can compare the screen after
// an edit with a full repaint of the same text.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "editor/AdvEdit.h"
#include "tests/support/FakeEditorWindow.h"

class LoggingWindow : public FakeEditorWindow {
 public:
  void InvalidateAll() override {
    FakeEditorWindow::InvalidateAll();
    Log("invalidate");
    pending = true;
  }
  void ScrollPixels(const platform::Rect& area, int dy) override {
    FakeEditorWindow::ScrollPixels(area, dy);
    Log("scroll");
    pending = true;
  }
  void CopyToWindow(int x, int y, platform::Canvas& source, const platform::Rect& sourceRect) override {
    FakeEditorWindow::CopyToWindow(x, y, source, sourceRect);
    // Rows below the window's bottom edge are not seen; the gutter is not a row.
    if (y >= size.y) return;
    const Copy& c = copies.back();
    // What each pixel column of the copied strip shows: backgrounds first,
    // the glyphs over them, lines over both. Columns outside the strip keep
    // what an earlier copy put there.
    std::vector<std::string>& columns = screen[{x, y}];
    const int left = std::max(sourceRect.left, 0), right = sourceRect.right;
    if (right > static_cast<int>(columns.size())) columns.resize(static_cast<std::size_t>(right));
    auto put = [&](int from, int to, const std::string& what) {
      for (int px = std::max(from, left); px < std::min(to, right); ++px) columns[static_cast<std::size_t>(px)] = what;
    };
    for (const auto& f : c.fills) put(f.r.left, f.r.right, "#" + std::to_string(f.color));
    for (const auto& t : c.texts)
      for (std::size_t i = 0; i < t.bytes.size(); ++i) {
        const int at = t.x + static_cast<int>(i) * t.advance;
        put(at, at + t.advance, t.bytes.substr(i, 1) + "/" + std::to_string(t.fg));
      }
    for (const auto& l : c.lines) put(l.x1, l.x2 + 1, "|" + std::to_string(l.color));
    if (x > 0) painted = true;
  }
  // A row as its runs of equal columns: "from:what" for each.
  static std::string Runs(const std::vector<std::string>& columns) {
    std::string row;
    for (std::size_t px = 0; px < columns.size(); ++px)
      if (px == 0 || columns[px] != columns[px - 1]) row += std::to_string(px) + ":" + columns[px] + " ";
    return row + std::to_string(columns.size());
  }
  // A notification or window request. Status notifications are counted
  // apart: what matters of them is that one follows the last change.
  void Log(const std::string& what) {
    if (what == "status") {
      statusAfterChange = true;
      return;
    }
    if (painted) Push("paint");
    painted = false;
    if (what == "change") statusAfterChange = false;
    if (!what.empty()) Push(what);
  }
  // What was told since the last call, as one line (a notice repeated with
  // nothing between counts once).
  std::string Take() {
    Log("");
    std::string out;
    for (const std::string& e : events) out += (out.empty() ? "" : " ") + e;
    events.clear();
    return out;
  }
  void Push(const std::string& what) {
    if (events.empty() || events.back() != what) events.push_back(what);
  }

  std::vector<std::string> events;
  // (x, y) of a copy -> what each pixel column of its strip shows
  std::map<std::pair<int, int>, std::vector<std::string>> screen;
  bool painted = false;
  bool statusAfterChange = true;  // the last change was followed by a status notification
  bool pending = false;           // an invalidation or scroll waits for the paint request
};

// Hooks the editor's notifications into the window's log.
inline void LogNotifications(TAdvancedEditor& editor, LoggingWindow& window) {
  editor.OnChange = [&window](TAdvancedEditor&) { window.Log("change"); };
  editor.OnStatusChange = [&window](TAdvancedEditor&) { window.Log("status"); };
  editor.OnSelectionChange = [&window](TAdvancedEditor& e) { window.Log(e.SelAvail ? "select" : "unselect"); };
}

// The screen after the window's pending paint request, and the screen a full
// repaint draws: equal when every changed row was painted.
inline std::pair<std::string, std::string> ScreenAndRepaint(TAdvancedEditor& editor, LoggingWindow& window) {
  const platform::Rect all{0, 0, window.size.x, window.size.y};
  auto text = [&] {
    std::string s;
    for (const auto& [at, row] : window.screen) s += std::to_string(at.second) + "|" + LoggingWindow::Runs(row) + "\n";
    return s;
  };
  if (window.pending) editor.Paint(all);
  window.pending = false;
  const std::string before = text();
  window.screen.clear();
  editor.RepaintAll();
  editor.Paint(all);
  window.painted = false;
  return {before, text()};
}
