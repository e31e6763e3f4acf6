// The line store's rows: wrapping at column 80 and mapping rows, lines and offsets.

#include <gtest/gtest.h>

#include "editor/AdvLines.h"
#include "tests/support/FakeLinesOwner.h"

namespace {

using Strings = std::vector<std::string>;

class Rows : public ::testing::Test {
 protected:
  Rows() { owner.wordWrap = true; }
  Strings RowsOf(int line) { return lines.Paragraph(line).Rows; }
  FakeLinesOwner owner;
  TAdvLines lines{&owner};
};

std::string WithSpaceAt(int length, int position1Based) {
  std::string s(static_cast<std::size_t>(length), 'x');
  s[static_cast<std::size_t>(position1Based - 1)] = ' ';
  return s;
}

TEST_F(Rows, CutAfterTheLastSpaceAmongTheFirst80) {
  lines.Add(WithSpaceAt(100, 70));
  Strings rows = RowsOf(0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].size(), 70u);
  EXPECT_EQ(rows[0].back(), ' ') << "the space stays at the end of the upper row";
  EXPECT_EQ(rows[1].size(), 30u);
}

TEST_F(Rows, HardCutWithoutUsableSpace) {
  lines.Add(std::string(100, 'x'));
  EXPECT_EQ(RowsOf(0), (Strings{std::string(80, 'x'), std::string(20, 'x')}));
  // A space only as the first character does not count.
  lines.Put(0, WithSpaceAt(100, 1));
  EXPECT_EQ(RowsOf(0)[0].size(), 80u);
  // A space at position 2 does.
  lines.Put(0, WithSpaceAt(100, 2));
  EXPECT_EQ(RowsOf(0)[0].size(), 2u);
}

TEST_F(Rows, ExactlyEightyStaysOneRowAndLongLinesTakeAsManyAsNeeded) {
  lines.Add(std::string(80, 'x'));
  lines.Add(std::string(250, 'y'));
  EXPECT_EQ(lines.RowCount(0), 1);
  EXPECT_EQ(lines.RowCount(1), 4);
  EXPECT_EQ(lines.GetRowCount(), 5);
  EXPECT_EQ(lines.FirstRow(1), 1);
  EXPECT_EQ(lines.GetRow(4), std::string(10, 'y'));
}

TEST_F(Rows, RowsAlwaysConcatenateBackToTheLine) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += (i % 7 == 0 ? "  " : "word") + std::string(i % 3 == 0 ? " " : "");
  text += std::string(200, 'z') + "  end";
  lines.Add(text);
  std::string joined;
  for (const auto& row : RowsOf(0)) {
    EXPECT_LE(row.size(), 80u);
    joined += row;
  }
  EXPECT_EQ(joined, text);
}

TEST_F(Rows, PutRowReplacesOneRowAndRewrapsTheLine) {
  lines.Add(std::string(100, 'x'));
  lines.PutRow(1, "ab");
  EXPECT_EQ(lines.Get(0), std::string(80, 'x') + "ab");
  EXPECT_EQ(lines.RowCount(0), 2);
  lines.PutRow(0, "short ");
  EXPECT_EQ(lines.Get(0), "short ab");
  EXPECT_EQ(lines.RowCount(0), 1);
  EXPECT_EQ(lines.GetRowCount(), 1);
}

TEST_F(Rows, RowToParagraphAndLineMappings) {
  lines.Add("first");
  lines.Add(WithSpaceAt(100, 70));  // rows 1 (70) and 2 (30)
  lines.Add("last");
  int line = 0, k = 0;
  lines.RowToParagraph(2, line, k);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(k, 1);
  lines.RowToParagraph(4, line, k);
  EXPECT_EQ(line, -1);
  EXPECT_EQ(k, -1);

  int column = 0;
  lines.RowToLine(5, 2, column, line);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(column, 75);

  std::string text;
  int offset = 0;
  lines.GetRowInfo(2, line, text, offset);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(offset, 70);
  EXPECT_EQ(text.size(), 100u);

  int row = 0, rowColumn = 0;
  lines.LineToRow(1, 70, row, rowColumn);
  EXPECT_EQ(row, 1) << "the end of a row maps to that row";
  EXPECT_EQ(rowColumn, 70);
  lines.LineToRow(1, 71, row, rowColumn);
  EXPECT_EQ(row, 2);
  EXPECT_EQ(rowColumn, 1);
  lines.LineToRow(5, 3, row, rowColumn);
  EXPECT_EQ(row, 3) << "beyond the text: the end of the last row";
  EXPECT_EQ(rowColumn, 4);
}

TEST_F(Rows, WithoutWrapRowsAreLines) {
  owner.wordWrap = false;
  lines.Add(std::string(200, 'x'));
  lines.Add("b");
  EXPECT_EQ(lines.GetRowCount(), 2);
  int line = 0, k = 0;
  lines.RowToParagraph(7, line, k);
  EXPECT_EQ(line, 1) << "clamped to the last line";
  lines.RowToParagraph(-3, line, k);
  EXPECT_EQ(line, -3) << "no lower clamp";
  lines.Clear();
  lines.RowToParagraph(0, line, k);
  EXPECT_EQ(line, -1);
  int row = 5, column = 5;
  lines.LineToRow(0, 0, row, column);
  EXPECT_EQ(row, 0);
  EXPECT_EQ(column, 0);
}

TEST_F(Rows, RewrapAllFollowsTheSwitch) {
  owner.wordWrap = false;
  lines.SetTextStr(std::string(200, 'x') + "\r\nshort\r\n" + std::string(81, 'y'));
  EXPECT_EQ(lines.GetRowCount(), 3);
  owner.wordWrap = true;
  int before = owner.linesChanged;
  lines.RewrapAll();
  EXPECT_EQ(owner.linesChanged, before + 1);
  EXPECT_EQ(lines.GetRowCount(), 3 + 1 + 2 - 1 + 1);
  EXPECT_EQ(lines.FirstRow(2), 4);
  owner.wordWrap = false;
  lines.RewrapAll();
  EXPECT_EQ(lines.GetRowCount(), 3);
  EXPECT_EQ(lines.RowCount(0), 1);
}

TEST_F(Rows, OffsetsCountCrLfAsTwo) {
  lines.SetTextStr("ab\r\ncd\r\n\r\nefg");
  EXPECT_EQ(lines.LineStartOffset(0), 0);
  EXPECT_EQ(lines.LineStartOffset(1), 4);
  EXPECT_EQ(lines.LineStartOffset(3), 10);
  std::int64_t start = 0;
  EXPECT_EQ(lines.LineAtOffset(5, &start), 1);
  EXPECT_EQ(start, 4);
  EXPECT_EQ(lines.LineAtOffset(3, &start), 0) << "the LF of a break belongs to its line";
  EXPECT_EQ(lines.LineAtOffset(15, &start), 4);
  EXPECT_EQ(start, 15);
}

}  // namespace
