#pragma once

// Records what an editor tells the world, in order: its notifications and
// the window requests that show on screen. Rows copied to the window are
// kept as the screen would show them, so a test can compare the screen after
// an edit with a full repaint of the same text.

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
    const Copy& c = copies.back();
    std::string row;
    for (const auto& t : c.texts) row += std::to_string(t.x) + ":" + t.bytes + "/" + std::to_string(t.fg) + " ";
    for (const auto& f : c.fills)
      row += "#" + std::to_string(f.r.left) + "-" + std::to_string(f.r.right) + "/" + std::to_string(f.color) + " ";
    // Rows below the window's bottom edge are not seen; the gutter is not a row.
    if (y >= size.y) return;
    screen[{x, y}] = row;
    if (x > 0) painted = true;
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
  std::map<std::pair<int, int>, std::string> screen;  // (x, y) of a copy -> what it drew
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
    for (const auto& [at, row] : window.screen) s += std::to_string(at.second) + "|" + row + "\n";
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
