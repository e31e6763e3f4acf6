#pragma once

// An owner for a line store alone: records what the store tells its editor.

#include <string>
#include <vector>

#include "editor/AdvLines.h"

class FakeLinesOwner : public TAdvLinesOwner {
 public:
  bool wordWrap = false;
  int wrapColumn = 80;
  int updateCount = 0;  // an editor's update counter: notifications wait while it is above 0
  int columnCapacity = 512;
  int tabWidth = 4;

  int linesChanged = 0;
  int undoCleared = 0;
  int caretResets = 0;
  std::vector<TLinesChange> changes;

  bool GetWordWrap() const override { return wordWrap; }
  int GetWrapColumn() const override { return wrapColumn; }
  int GetTabWidth() const override { return tabWidth; }
  void LinesChanged(const TLinesChange& change) override;
};

// The store's lines as a vector, for comparisons.
std::vector<std::string> LinesOf(const TAdvLines& lines);
