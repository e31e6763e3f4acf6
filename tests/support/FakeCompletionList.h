#pragma once

// A completion pop-up for tests: keeps what the engine gives it and lets a
// test play the mouse's part through OnClose. Install() makes the engine's
// lists fakes and remembers the last one made.

#include <memory>
#include <vector>

#include "editor/AdvCompletion.h"
#include "platform/CompletionList.h"

class FakeCompletionList : public platform::CompletionList {
 public:
  void SetItems(int m, std::vector<platform::CompletionItem> list) override {
    mode = m;
    items = std::move(list);
    index = -1;
  }
  int Count() const override { return static_cast<int>(items.size()); }
  int ItemIndex() const override { return index; }
  void SetItemIndex(int i) override { index = i >= 0 && i < Count() ? i : -1; }
  int ItemHeight() const override { return itemHeight; }
  void SetItemHeight(int h) override { itemHeight = h; }
  void SetStyle(platform::ListBoxStyle s) override { style = s; }
  void SetDrawItem(DrawItemEvent e) override { drawItem = std::move(e); }
  void SetMeasureItem(MeasureItemEvent e) override { measureItem = std::move(e); }
  void ShowAt(const platform::Rect& b) override {
    bounds = b;
    visible = true;
    ++shows;
  }
  void Hide() override { visible = false; }
  bool Visible() const override { return visible; }
  void KeyPress(platform::ListKey key) override {
    const int page = itemHeight > 0 ? (bounds.Height() - 2) / itemHeight : 1;
    SetItemIndex(platform::MovedSelection(index, Count(), page, key));
  }

  int mode = -1;
  std::vector<platform::CompletionItem> items;
  int index = -1;
  int itemHeight = 0;
  platform::ListBoxStyle style = platform::ListBoxStyle::Standard;
  DrawItemEvent drawItem;
  MeasureItemEvent measureItem;
  platform::Rect bounds;
  bool visible = false;
  int shows = 0;

  // Makes the engine's lists fakes until the returned guard goes away;
  // `last` points at the most recent one.
  struct Installed {
    Installed() {
      TCompletion::ListFactory = [this] {
        auto list = std::make_unique<FakeCompletionList>();
        last = list.get();
        return list;
      };
    }
    ~Installed() { TCompletion::ListFactory = nullptr; }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;
    FakeCompletionList* last = nullptr;
  };
};
