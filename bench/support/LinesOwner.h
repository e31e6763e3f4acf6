#pragma once

// An owner for a line store measured on its own: word wrap as asked, no
// editor behind it.

#include <string>

#include "editor/AdvLines.h"

class BenchLinesOwner : public TAdvLinesOwner {
 public:
  bool wrap = false;
  int updates = 0;
  int capacity = 512;
  bool GetWordWrap() const override { return wrap; }
  int GetWrapColumn() const override { return 80; }
  int& UpdateCounter() override { return updates; }
  int GetColumnCapacity() const override { return capacity; }
  void GrowColumnCapacity(int length) override { capacity = length + 1; }
  std::string ExpandTabs(std::string_view text) const override { return std::string(text); }
  void LinesChanged() override {}
  void ClearUndo() override {}
  void ResetCaret() override {}
  platform::Point GetCaret() const override { return {}; }
  void RecordReLine(int, int, const std::string&) override {}
};
