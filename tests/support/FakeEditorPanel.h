#pragma once

// A panel for tests: every document window is a FakeEditorWindow.

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/EditorPanel.h"
#include "tests/support/FakeEditorWindow.h"

class FakeEditorPanel : public platform::EditorPanel {
 public:
  platform::EditorWindow* AddWindow(TAdvancedEditor&) override {
    windows.push_back(std::make_unique<FakeEditorWindow>());
    windows.back()->showing = false;
    windows.back()->focused = false;
    return windows.back().get();
  }
  void RemoveWindow(platform::EditorWindow* w) override {
    std::erase_if(windows, [w](const auto& p) { return p.get() == w; });
    ++removed;
  }
  void ShowWindow(platform::EditorWindow* w, bool visible) override {
    static_cast<FakeEditorWindow*>(w)->showing = visible;
  }
  bool MainWindowVisible() const override { return mainVisible; }

  int VisibleCount() const {
    return static_cast<int>(std::count_if(windows.begin(), windows.end(), [](const auto& w) { return w->showing; }));
  }

  std::vector<std::unique_ptr<FakeEditorWindow>> windows;
  bool mainVisible = true;
  int removed = 0;
};
