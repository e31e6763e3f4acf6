#pragma once

// The state of one of the editor window's own scroll bars: range, position,
// steps and page. It pushes its state to the window and turns the window's
// scroll actions into a new position, which it reports to the editor.

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace platform {
class EditorWindow;
}

// The platform's invalid-operation error.
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Scroll actions of the window's bars.
namespace sb {
constexpr int LineUp = 0, LineDown = 1, PageUp = 2, PageDown = 3, ThumbPosition = 4, ThumbTrack = 5, Top = 6,
              Bottom = 7, EndScroll = 8;
}  // namespace sb

class TAdvEditScrollBar {
 public:
  enum Which { kMin = 0, kMax = 1, kPosition = 2, kPageSize = 3 };

  std::uint8_t Kind = 0;  // 0 horizontal, 1 vertical
  int Position = 0;
  int Min = 0;
  int Max = 0;
  std::uint16_t SmallChange = 1;
  std::uint16_t LargeChange = 1;
  int PageSize = 1;
  platform::EditorWindow* Handle = nullptr;  // the window showing the bar; none = not shown
  // (bar, action, var position): the editor's ScrollBarChanged.
  std::function<void(TAdvEditScrollBar& bar, int action, int& position)> OnScroll;

  void SetValue(Which which, int value);
  void Apply(int min, int max, int page, int pos);
  // A scroll action of the window; `trackPosition` is the thumb's position for actions 4 and 5.
  void HandleScroll(int action, int trackPosition);

 private:
  int Clamped(int pos) const;
};
