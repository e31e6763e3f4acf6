#pragma once

// The pop-up list of word completion: a small floating list under (or above)
// the caret. It never takes the keyboard focus from the editor; the editor
// moves its selection with keys, and the list reports back when the mouse
// chose an item or the system dismissed it.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Canvas.h"
#include "platform/Geometry.h"

namespace platform {

// How the list draws: Standard is shown as OwnerDrawFixed by the completion
// engine; OwnerDrawVariable asks the measure event for every item's height.
enum class ListBoxStyle : std::uint8_t { Standard = 0, OwnerDrawFixed = 1, OwnerDrawVariable = 2 };

enum class ListKey { Up, Down, PageUp, PageDown };

// One item as the list's own drawing shows it.
struct CompletionItem {
  std::string Entry;  // the whole entry
  std::string Text;   // at the left
  std::string Name;   // bold, right-aligned; only in template mode
};

class CompletionList {
 public:
  // Draws item `index` into `rect` of `canvas` (replaces the list's own drawing).
  using DrawItemEvent = std::function<void(Canvas& canvas, int index, const Rect& rect, bool selected)>;
  // Sets the height of item `index` (OwnerDrawVariable only).
  using MeasureItemEvent = std::function<void(int index, int& height)>;

  virtual ~CompletionList() = default;

  // The items and the kind of entry they are (0 identifiers, 1 templates).
  virtual void SetItems(int mode, std::vector<CompletionItem> items) = 0;
  virtual int Count() const = 0;
  // The selected item, -1 for none. An index out of range selects none.
  virtual int ItemIndex() const = 0;
  virtual void SetItemIndex(int index) = 0;
  virtual int ItemHeight() const = 0;
  virtual void SetItemHeight(int height) = 0;
  virtual void SetStyle(ListBoxStyle style) = 0;
  virtual void SetDrawItem(DrawItemEvent event) = 0;
  virtual void SetMeasureItem(MeasureItemEvent event) = 0;

  // Shows the list with its outer edge at `bounds` (screen pixels) without activating it.
  virtual void ShowAt(const Rect& bounds) = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  // Moves the selection as the key would in a list box.
  virtual void KeyPress(ListKey key) = 0;

  // Set by the owner. The mouse button went up (accept: inside the list), or
  // the system cancelled the list (accept = false).
  std::function<void(bool accept)> OnClose;
};

// The selection after `key` in a list of `count` items of which
// `pageItems` are visible: a page moves by one item less than a page, and a
// list with nothing selected starts at its first item.
inline int MovedSelection(int index, int count, int pageItems, ListKey key) {
  if (count <= 0) return -1;
  if (index < 0 || index >= count) return 0;
  const int page = std::max(1, pageItems - 1);
  switch (key) {
    case ListKey::Up:
      return std::max(0, index - 1);
    case ListKey::Down:
      return std::min(count - 1, index + 1);
    case ListKey::PageUp:
      return std::max(0, index - page);
    case ListKey::PageDown:
      return std::min(count - 1, index + page);
  }
  return index;
}

}  // namespace platform
