#include "editor/AESB.h"

#include <algorithm>

#include "platform/EditorWindow.h"

namespace {
constexpr const char* kOutOfRange = "Scrollbar property out of range";
}

int TAdvEditScrollBar::Clamped(int pos) const {
  if (pos > std::max(0, Max - LargeChange)) pos = Max - LargeChange;
  return std::max(pos, Min);
}

void TAdvEditScrollBar::SetValue(Which which, int value) {
  int* field = nullptr;
  switch (which) {
    case kMin: field = &Min; break;
    case kMax: field = &Max; break;
    case kPosition: field = &Position; break;
    case kPageSize: field = &PageSize; break;
  }
  if (!field) return;
  const int old = *field;
  *field = value;
  if (Max < Min) {
    // A refused range leaves the bar as it was.
    *field = old;
    throw EInvalidOperation(kOutOfRange);
  }
  Position = Clamped(Position);
  Apply(Min, Max, PageSize, Position);
}

void TAdvEditScrollBar::Apply(int min, int max, int page, int pos) {
  if (max < min) throw EInvalidOperation(kOutOfRange);
  if (pos > std::max(0, max - LargeChange)) pos = max - LargeChange;
  pos = std::max(pos, min);
  if (!Handle) return;
  platform::ScrollBarInfo info;
  info.min = min;
  info.max = max;
  info.page = std::max(page, 0);
  info.pos = std::max(pos, 0);
  // An empty range shows a disabled bar rather than none.
  info.enabled = max - min + 1 > info.page && max > min;
  Handle->SetScrollBar(Kind == 1 ? platform::ScrollBarKind::Vertical : platform::ScrollBarKind::Horizontal,
                       info);
}

void TAdvEditScrollBar::HandleScroll(int action, int trackPosition) {
  int pos = Position;
  switch (action) {
    case sb::LineUp: pos = Position - SmallChange; break;
    case sb::LineDown: pos = Position + SmallChange; break;
    case sb::PageUp: pos = Position - LargeChange; break;
    case sb::PageDown: pos = Position + LargeChange; break;
    case sb::ThumbPosition:
    case sb::ThumbTrack: pos = trackPosition; break;
    case sb::Top: pos = Min; break;
    case sb::Bottom: pos = Max; break;
    default: break;
  }
  // The same bound as every other change: with a range no longer than the
  // page (Max - LargeChange <= 0) the position stays at Min, so a step on an
  // empty bar does not scroll the view past the text.
  pos = Clamped(pos);
  if (OnScroll) OnScroll(*this, action, pos);
  SetValue(kPosition, pos);
}
