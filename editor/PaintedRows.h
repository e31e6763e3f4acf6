#pragma once

// What the last paint of each visible row left in the window: how many cells
// from the first visible column may differ from the plain background. A row
// painted again need copy no further than the farther of that and its own
// new text; the rest of its strip is background before and after.
//
// The record holds for one view only (first row and column, text area,
// cell width, background, margin and special characters); a paint in any
// other view finds every row unknown and copies the whole row.

#include <algorithm>
#include <cstdint>
#include <vector>

struct TPaintedRows {
  struct TView {
    int TopRow = -1, LeftCol = -1, TextLeft = -1, TextWidth = -1, CharWidth = 0, CharHeight = 0;
    std::uint32_t Background = 0;
    bool Margin = false, SpecialChars = false;
    bool operator==(const TView&) const = default;
  };
  static constexpr int kUnknown = -1;

  TView View;
  std::vector<int> Cells;  // per visible row from View.TopRow; kUnknown when not known

  // Makes `view` the one recorded, forgetting every row if it differs.
  void Use(const TView& view, int rows) {
    if (view == View && static_cast<int>(Cells.size()) == rows) return;
    View = view;
    Cells.assign(static_cast<std::size_t>(std::max(rows, 0)), kUnknown);
  }
  int Last(int slot) const { return Known(slot) ? Cells[static_cast<std::size_t>(slot)] : kUnknown; }
  void Record(int slot, int cells) {
    if (Known(slot)) Cells[static_cast<std::size_t>(slot)] = cells;
  }

 private:
  bool Known(int slot) const { return slot >= 0 && slot < static_cast<int>(Cells.size()); }
};
