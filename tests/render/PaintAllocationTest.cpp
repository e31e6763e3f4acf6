// Painting the rows of a long wrapped line costs what the rows hold, not what
// the line holds: no copy of the line per row.

#include <gtest/gtest.h>

#include "tests/support/AllocCounter.h"
#include "tests/support/EditorFixture.h"

namespace {

class PaintAllocation : public EditorTest {};

TEST_F(PaintAllocation, RepaintingAScreenOfALongWrappedLineCopiesOnlyItsRows) {
  std::string line;
  while (line.size() < 2'000'000) line += "word12345 ";
  editor.SetWordWrap(true);
  SetText(line);
  editor.ExtendSelection(3, 2);
  editor.ExtendSelection(40, 5);
  editor.Paint({0, 0, 800, 480});  // colours the line once
  const long before = AllocatedBytes();
  for (int row = 0; row < 30; ++row) editor.PaintRow(row, 0, -1);
  EXPECT_LT(AllocatedBytes() - before, 256 * 1024);
}

}  // namespace
