#pragma once

// An owner for a line store alone: records what the store asks of its editor.

#include <string>
#include <vector>

#include "editor/AdvLines.h"

struct ReLineRecord {
  int x, y;
  std::string text;
  bool operator==(const ReLineRecord&) const = default;
};

class FakeLinesOwner : public TAdvLinesOwner {
 public:
  bool wordWrap = false;
  int wrapColumn = 80;
  int updateCount = 0;
  int columnCapacity = 512;
  int tabWidth = 4;
  platform::Point caret{0, 0};

  int linesChanged = 0;
  int undoCleared = 0;
  int caretResets = 0;
  std::vector<ReLineRecord> reLines;

  bool GetWordWrap() const override { return wordWrap; }
  int GetWrapColumn() const override { return wrapColumn; }
  int& UpdateCounter() override { return updateCount; }
  int GetColumnCapacity() const override { return columnCapacity; }
  void GrowColumnCapacity(int length) override {
    if (length > columnCapacity) columnCapacity = length + 1;
  }
  std::string ExpandTabs(std::string_view text) const override;
  void LinesChanged() override { ++linesChanged; }
  void ClearUndo() override { ++undoCleared; }
  void ResetCaret() override {
    ++caretResets;
    caret = {0, 0};
  }
  platform::Point GetCaret() const override { return caret; }
  void RecordReLine(int x, int y, const std::string& text) override { reLines.push_back({x, y, text}); }
};

// The store's lines as a vector, for comparisons.
std::vector<std::string> LinesOf(const TAdvLines& lines);
