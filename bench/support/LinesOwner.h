#pragma once

// An owner for a line store measured on its own: word wrap as asked, no
// editor behind it.

#include "editor/AdvLines.h"

class BenchLinesOwner : public TAdvLinesOwner {
 public:
  bool wrap = false;
  bool GetWordWrap() const override { return wrap; }
  int GetWrapColumn() const override { return 80; }
  int GetTabWidth() const override { return 4; }
  void LinesChanged(const TLinesChange&) override {}
};
