#include "tests/support/FakeLinesOwner.h"

void FakeLinesOwner::LinesChanged(const TLinesChange& change) {
  changes.push_back(change);
  if (change.LongestLine > columnCapacity) columnCapacity = change.LongestLine + 1;
  if (change.Notice == TLinesNotice::None || updateCount > 0) return;
  ++linesChanged;
  if (change.Notice == TLinesNotice::Assigned) {
    ++undoCleared;
    ++caretResets;
  }
}

std::vector<std::string> LinesOf(const TAdvLines& lines) {
  std::vector<std::string> out;
  for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Get(i));
  return out;
}
