// Line numbers drawn by the gutter hook: one per line, on its first row,
// in a gutter as wide as the largest number needs.

#include <gtest/gtest.h>

#include <map>

#include "app/LineNumbers.h"
#include "tests/support/EditorFixture.h"

namespace {

class LineNumbers : public EditorTest {
 protected:
  // The numbers of the last gutter paint, by the row they stand on (8 x 16 cells).
  std::map<int, std::string> Painted() {
    window.ClearRecords();
    editor.GutterPaint();
    std::map<int, std::string> numbers;
    if (window.copies.empty()) return numbers;
    for (const auto& t : window.copies.back().texts) {
      numbers[t.y / 16] = t.bytes;
      // Right-aligned before the gutter's edge, in the gutter's colour.
      EXPECT_EQ(t.x + static_cast<int>(t.bytes.size()) * t.advance, editor.GutterWidth() - linenumbers::kPadRight);
      EXPECT_EQ(t.bg, editor.GutterColor());
    }
    return numbers;
  }
};

TEST_F(LineNumbers, EachLineIsNumberedOnItsFirstRowAndTheGutterFitsTheLargest) {
  std::string text;
  for (int i = 1; i <= 9; ++i) text += (i == 2 ? std::string(170, 'w') : "line") + std::string("\r\n");
  SetText(text);
  editor.SetGutterWidth(20);
  EXPECT_TRUE(Painted().empty()) << "nothing without the hook";

  linenumbers::Show(editor, true, 20);
  EXPECT_EQ(editor.GutterWidth(), 20) << "one digit fits the document look's gutter";
  std::map<int, std::string> expected;
  for (int i = 1; i <= 9; ++i) expected[i - 1] = std::to_string(i);
  EXPECT_EQ(Painted(), expected);

  // Wrapped at column 80, line 2 takes three rows: its number stands on the first.
  editor.SetWordWrap(true);
  expected.clear();
  expected = {{0, "1"}, {1, "2"}, {4, "3"}, {5, "4"}, {10, "9"}};
  std::map<int, std::string> wrapped = Painted();
  for (const auto& [row, number] : expected) EXPECT_EQ(wrapped[row], number) << "row " << row;
  EXPECT_EQ(wrapped.size(), 9u);

  // 100,000 lines: six digits of 8 pixels and the padding; the text moves right.
  editor.SetWordWrap(false);
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "x\r\n";
  SetText(many);
  linenumbers::Refresh(editor, 20);
  EXPECT_EQ(editor.GutterWidth(), linenumbers::kPadLeft + 6 * 8 + linenumbers::kPadRight);
  EXPECT_EQ(editor.CellRect(0, 0).left, editor.GutterWidth() + 2 + 1);
  editor.ScrollTo(0, 50000);  // the rows in view
  EXPECT_EQ(Painted()[0], "50001");

  // Switched off: the gutter is the look's again and holds no number.
  linenumbers::Show(editor, false, 20);
  EXPECT_EQ(editor.GutterWidth(), 20);
  EXPECT_TRUE(Painted().empty());
  EXPECT_EQ(linenumbers::GutterWidthFor(0, 7, 20), 20);
  EXPECT_EQ(linenumbers::GutterWidthFor(1000, 7, 20), 2 + 4 * 7 + 4);
}

}  // namespace
