#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/TextColumns.h"

namespace {

constexpr auto U8 = TTextEncoding::Utf8;
constexpr auto W1252 = TTextEncoding::Windows1252;

TEST(TextColumns, WidthsOfCharacters) {
  struct Row {
    char32_t ch;
    int columns;
  } rows[] = {{U'a', 1},    {0xE9, 1},    {0x44F, 1}, {0x3B1, 1},  {0x4E2D, 2}, {0x3042, 2}, {0xAC00, 2}, {0xFF21, 2},
              {0x1F600, 2}, {0x20BB7, 2}, {0x301, 0}, {0x200D, 0}, {0xFE0F, 0}, {0x1160, 0}, {0x2500, 1}, {0x378, 1}};
  for (const Row& r : rows) EXPECT_EQ(textcol::CharColumns(r.ch), r.columns) << std::hex << std::uint32_t(r.ch);
  // Unicode 15: a new emoji takes two columns, a new mark none.
  EXPECT_EQ(textcol::CharColumns(0x1FAE8), 2);
  EXPECT_EQ(textcol::CharColumns(0x11F00), 0);
}

// "a", "中" (3 bytes, 2 columns), "e" + combining acute (3 bytes, 1 column),
// "😀" (4 bytes, 2 columns), "b".
const std::string kLine =
    "a\xE4\xB8\xAD"
    "e\xCC\x81"
    "\xF0\x9F\x98\x80"
    "b";

TEST(TextColumns, StepsAndColumnsOfOneLine) {
  struct Row {
    int pos, column, next, prev;
  } rows[] = {
      {0, 0, 1, 0}, {1, 1, 4, 0}, {4, 3, 7, 1}, {7, 4, 11, 4}, {11, 6, 12, 7}, {12, 7, 13, 11}, {14, 9, 15, 13},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(textcol::ColumnOf(U8, kLine, r.pos), r.column) << r.pos;
    EXPECT_EQ(textcol::NextChar(U8, kLine, r.pos), r.next) << r.pos;
    EXPECT_EQ(textcol::PrevChar(U8, kLine, r.pos), r.prev) << r.pos;
    EXPECT_EQ(textcol::PositionOf(U8, kLine, r.column), r.pos) << r.pos;
  }
  // Inside a character: its start; the second column of a wide one too,
  // unless the caret goes to the nearer edge.
  EXPECT_EQ(textcol::CharStart(U8, kLine, 2), 1);
  EXPECT_EQ(textcol::CharStart(U8, kLine, 6), 4);  // the combining mark stays with "e"
  EXPECT_EQ(textcol::CharStart(U8, kLine, 10), 7);
  EXPECT_EQ(textcol::PositionOf(U8, kLine, 2), 1);
  EXPECT_EQ(textcol::NearestPosition(U8, kLine, 2), 4);
  EXPECT_EQ(textcol::NearestPosition(U8, kLine, 1), 1);
  EXPECT_EQ(textcol::Columns(U8, kLine), 7);
  // Windows-1252 and ASCII: a byte is a column, whatever its value.
  for (int p = 0; p < 16; ++p) {
    EXPECT_EQ(textcol::ColumnOf(W1252, kLine, p), p);
    EXPECT_EQ(textcol::PositionOf(W1252, kLine, p), p);
    EXPECT_EQ(textcol::NextChar(W1252, kLine, p), p + 1);
    EXPECT_EQ(textcol::ColumnOf(U8, "plain", p), p);
  }
}

// Walking forward and back by characters visits the same positions, each
// at a column no smaller than the one before, on text with bytes that are
// not UTF-8 among the characters.
TEST(TextColumns, ForwardAndBackVisitTheSamePositions) {
  const std::string text = kLine + "\xFF\xC3(\xE2\x82" + "\xCC\x81z\xE4\xB8\xAD\xCC\x81";
  std::vector<int> forward{0};
  while (forward.back() < static_cast<int>(text.size())) forward.push_back(textcol::NextChar(U8, text, forward.back()));
  ASSERT_EQ(forward.back(), static_cast<int>(text.size()));
  std::vector<int> back{forward.back()};
  while (back.back() > 0) back.push_back(textcol::PrevChar(U8, text, back.back()));
  EXPECT_EQ(std::vector<int>(back.rbegin(), back.rend()), forward);
  for (std::size_t i = 1; i < forward.size(); ++i) {
    EXPECT_LE(textcol::ColumnOf(U8, text, forward[i - 1]), textcol::ColumnOf(U8, text, forward[i]));
    EXPECT_EQ(textcol::PositionOf(U8, text, textcol::ColumnOf(U8, text, forward[i])), forward[i]);
    for (int p = forward[i - 1]; p < forward[i]; ++p) EXPECT_EQ(textcol::CharStart(U8, text, p), forward[i - 1]);
  }
}

}  // namespace
