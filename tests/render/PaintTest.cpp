// The painter against a recording canvas: what each row draws, which rows a
// change repaints, the gutter and the caret.
//
// The fixture's window is 800 x 480 pixels with 8 x 16 cells and no gutter:
// the text area starts at x 2, a cell's left edge is 2 + 8 c + 1, and the
// view has 99 columns and 30 rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/EditorFixture.h"

namespace {

constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00;
constexpr int kTextLeft = 2;

int CellLeft(int column) { return kTextLeft + column * 8 + 1; }

class PaintTest : public EditorTest {
 protected:
  PaintTest() {
    editor.SetColor(0xC0C0C0);
    editor.SelColor = 0x999999;
    editor.SelTextColor = 0x000000;
    window.ClearRecords();
  }

  // The copies of text rows (the gutter is copied to x 0).
  std::vector<FakeEditorWindow::Copy> RowCopies() const {
    std::vector<FakeEditorWindow::Copy> rows;
    for (const auto& c : window.copies)
      if (c.x == kTextLeft) rows.push_back(c);
    return rows;
  }
  std::vector<int> RowCopyYs() const {
    std::vector<int> ys;
    for (const auto& c : RowCopies()) ys.push_back(c.y);
    return ys;
  }
  // Paints one row and returns what went to the window.
  FakeEditorWindow::Copy PaintOne(int row) {
    window.ClearRecords();
    editor.PaintRow(row, 0, -1);
    auto rows = RowCopies();
    EXPECT_EQ(rows.size(), 1u);
    return rows.empty() ? FakeEditorWindow::Copy{} : rows.front();
  }
  static std::string Shown(const FakeEditorWindow::Copy& c) {
    std::string s;
    for (const auto& t : c.texts) s += t.bytes;
    return s;
  }
  void Select(int x1, int y1, int x2, int y2) {
    editor.ExtendSelection(x1, y1);
    editor.ExtendSelection(x2, y2);
  }
};

// ---------------------------------------------------------------- the row's background and selection

TEST_F(PaintTest, EmptyLineInsideTheSelectionIsWhollySelected) {
  SetText("abc\r\n\r\ndef");
  Select(1, 0, 2, 2);

  auto empty = PaintOne(1);
  ASSERT_FALSE(empty.fills.empty());
  EXPECT_EQ(empty.fills[0].color, 0x999999u);
  EXPECT_EQ(empty.fills[0].r, (platform::Rect{kTextLeft, 0, 800, 16}));
  EXPECT_TRUE(empty.texts.empty());

  // The first row: its end is selected, "a" is not, "bc" is.
  auto first = PaintOne(0);
  EXPECT_EQ(first.fills[0].color, 0x999999u);
  ASSERT_EQ(first.texts.size(), 2u);
  EXPECT_EQ(first.texts[0].bytes, "a");
  EXPECT_EQ(first.texts[0].bg, 0xC0C0C0u);
  EXPECT_EQ(first.texts[1].bytes, "bc");
  EXPECT_EQ(first.texts[1].bg, 0x999999u);
  EXPECT_EQ(first.texts[1].fg, 0x000000u);

  // The last row: the selection ends inside it, so its end keeps the control colour.
  auto last = PaintOne(2);
  EXPECT_EQ(last.fills[0].color, 0xC0C0C0u);
  ASSERT_EQ(last.texts.size(), 2u);
  EXPECT_EQ(last.texts[0].bytes, "de");
  EXPECT_EQ(last.texts[0].bg, 0x999999u);
  EXPECT_EQ(last.texts[1].bytes, "f");
}

TEST_F(PaintTest, SelectionEndingAtColumnZeroSelectsOnlyTheLineBreakAbove) {
  SetText("ab\r\ncd");
  Select(2, 0, 0, 1);
  EXPECT_EQ(PaintOne(0).fills[0].color, 0x999999u);
  auto below = PaintOne(1);
  EXPECT_EQ(below.fills[0].color, 0xC0C0C0u);
  ASSERT_EQ(below.texts.size(), 1u);
  EXPECT_EQ(below.texts[0].bg, 0xC0C0C0u);
}

TEST_F(PaintTest, RowsBelowTheTextAreClearedWithTheMargin) {
  SetText("one\r\ntwo");
  editor.Paint({0, 0, 800, 480});
  auto rows = RowCopies();
  ASSERT_EQ(rows.size(), 30u);
  for (std::size_t r = 2; r < rows.size(); ++r) {
    EXPECT_TRUE(rows[r].texts.empty()) << r;
    ASSERT_EQ(rows[r].fills.size(), 1u) << r;
    EXPECT_EQ(rows[r].fills[0].color, 0xC0C0C0u);
    ASSERT_EQ(rows[r].lines.size(), 1u) << r;
    EXPECT_EQ(rows[r].y, static_cast<int>(r) * 16);
  }
  // Each row goes to the window once, the visible text columns plus two.
  EXPECT_EQ(rows[0].source, (platform::Rect{kTextLeft, 0, kTextLeft + 101 * 8, 16}));
}

// ---------------------------------------------------------------- visible spaces and line ends

TEST_F(PaintTest, SpecialCharsShowSpacesAndLineEndsButNotAfterTheLastRow) {
  SetText("a b\r\na b");
  editor.SetShowSpecialChars(true);
  EXPECT_EQ(Shown(PaintOne(0)),
            "a\xB7"
            "b\xAC");
  EXPECT_EQ(Shown(PaintOne(1)),
            "a\xB7"
            "b");
  editor.SetShowSpecialChars(false);
  EXPECT_EQ(Shown(PaintOne(0)), "a b");
}

TEST_F(PaintTest, WithWordWrapEveryRowButTheVeryLastEndsInTheMark) {
  editor.SetWordWrap(true);
  SetText(std::string(100, 'x'));
  editor.SetShowSpecialChars(true);
  ASSERT_EQ(editor.Lines->GetRowCount(), 2);
  EXPECT_EQ(Shown(PaintOne(0)), std::string(80, 'x') + "\xAC");
  EXPECT_EQ(Shown(PaintOne(1)), std::string(20, 'x'));
}

TEST_F(PaintTest, GlyphsTakeTheAttributesOfTheirPositions) {
  SetText("a b\r\nz");
  editor.OnHighlight = [](TAdvancedEditor&, std::string_view, int, const TSelAttrs&, TLineAttrs& attrs) {
    attrs[1].FgColor = kGreen;  // the space
    attrs[3].FgColor = kBlue;   // after the last character: the line end
  };
  editor.MarkAllDirty();
  editor.SetShowSpecialChars(true);
  auto row = PaintOne(0);
  ASSERT_EQ(row.texts.size(), 4u);
  EXPECT_EQ(row.texts[1].bytes, "\xB7");
  EXPECT_EQ(row.texts[1].fg, kGreen);
  EXPECT_EQ(row.texts[3].bytes, "\xAC");
  EXPECT_EQ(row.texts[3].fg, kBlue);
}

TEST_F(PaintTest, SelectedLineEndMarkIsDrawnInSelectionColours) {
  SetText("ab\r\ncd");
  editor.SetShowSpecialChars(true);
  Select(1, 0, 1, 1);
  auto row = PaintOne(0);
  ASSERT_EQ(row.texts.size(), 2u);
  EXPECT_EQ(row.texts[1].bytes, "b\xAC");
  EXPECT_EQ(row.texts[1].bg, 0x999999u);
}

// ---------------------------------------------------------------- runs

TEST_F(PaintTest, RunsSplitExactlyWhereAttributesOrSelectionChange) {
  SetText("abcdefgh");
  editor.OnHighlight = [](TAdvancedEditor&, std::string_view, int, const TSelAttrs&, TLineAttrs& a) {
    a[0].FgColor = a[1].FgColor = kRed;
    a[2].FgColor = a[3].FgColor = kBlue;
    a[4].FgColor = a[5].FgColor = a[6].FgColor = a[7].FgColor = kRed;
    a[5].Tag = 3;  // same colours, another token
    a[6].Style = platform::fontstyle::Bold;
    a[7].Style = platform::fontstyle::Bold;
    a[7].BgColor = kGreen;
  };
  editor.MarkAllDirty();
  Select(1, 0, 3, 0);  // b and c, across the colour change

  auto row = PaintOne(0);
  struct Run {
    std::string bytes;
    int column;
    TColor fg, bg;
  };
  const std::vector<Run> expected = {
      {"a", 0, kRed, 0xC0C0C0}, {"bc", 1, 0x000000, 0x999999}, {"d", 3, kBlue, 0xC0C0C0},
      {"e", 4, kRed, 0xC0C0C0}, {"f", 5, kRed, 0xC0C0C0},      {"g", 6, kRed, 0xC0C0C0},
      {"h", 7, kRed, kGreen},
  };
  ASSERT_EQ(row.texts.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].bytes);
    EXPECT_EQ(row.texts[i].bytes, expected[i].bytes);
    EXPECT_EQ(row.texts[i].x, CellLeft(expected[i].column));
    EXPECT_EQ(row.texts[i].y, 0);
    EXPECT_EQ(row.texts[i].advance, 8);
    EXPECT_EQ(row.texts[i].fg, expected[i].fg);
    EXPECT_EQ(row.texts[i].bg, expected[i].bg);
  }
  EXPECT_EQ(row.texts[5].style, platform::fontstyle::Bold);
  // Runs on another background than the control's are filled first: the selection and "h".
  ASSERT_EQ(row.fills.size(), 3u);
  EXPECT_EQ(row.fills[1].r, (platform::Rect{CellLeft(1), 0, CellLeft(1) + 16, 16}));
  EXPECT_EQ(row.fills[2].color, kGreen);
}

TEST_F(PaintTest, AUtf8RowIsDrawnByCharacterInItsColumnsWithItsFirstBytesAttributes) {
  // Bytes: a b 中 2-4, 文 5-7, space 8, x 9, 😀 10-13, é 14-15; the line end at 16.
  // Columns: a 0, b 1, 中 2-3, 文 4-5, space 6, x 7, 😀 8-9, é 10, the mark 11.
  editor.SetEncoding(TTextEncoding::Utf8);
  SetText("ab\xE4\xB8\xAD\xE6\x96\x87 x\xF0\x9F\x98\x80\xC3\xA9\r\nz");
  editor.OnHighlight = [](TAdvancedEditor&, std::string_view, int line, const TSelAttrs&, TLineAttrs& a) {
    if (line != 0) return;
    a[2].FgColor = kRed;                   // 中
    a[3].FgColor = a[4].FgColor = kBlue;   // its continuation bytes: not what it is drawn with
    a[6].FgColor = a[7].FgColor = kGreen;  // inside 文, which is selected
  };
  editor.MarkAllDirty();
  editor.SetShowSpecialChars(true);
  Select(5, 0, 10, 0);  // 文, the space and x

  auto row = PaintOne(0);
  struct Run {
    std::string bytes;
    int column;
    TColor fg, bg;
  };
  const std::vector<Run> expected = {
      {"ab", 0, 0x000000, 0xC0C0C0},
      {"\xE4\xB8\xAD", 2, kRed, 0xC0C0C0},
      {"\xE6\x96\x87\xC2\xB7x", 4, 0x000000, 0x999999},             // the space shown as U+00B7
      {"\xF0\x9F\x98\x80\xC3\xA9\xC2\xAC", 8, 0x000000, 0xC0C0C0},  // the mark as U+00AC
  };
  ASSERT_EQ(row.texts.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(row.texts[i].bytes, expected[i].bytes);
    EXPECT_TRUE(row.texts[i].utf8);
    EXPECT_EQ(row.texts[i].x, CellLeft(expected[i].column));
    EXPECT_EQ(row.texts[i].advance, 8);
    EXPECT_EQ(row.texts[i].fg, expected[i].fg);
    EXPECT_EQ(row.texts[i].bg, expected[i].bg);
  }
  // The selection's background covers the four columns of its three characters.
  ASSERT_EQ(row.fills.size(), 2u);
  EXPECT_EQ(row.fills[1].r, (platform::Rect{CellLeft(4), 0, CellLeft(4) + 32, 16}));
  // The last row shows no mark; an ASCII row of the document keeps to single bytes.
  EXPECT_EQ(Shown(PaintOne(1)), "z");
  EXPECT_FALSE(PaintOne(1).texts[0].utf8);

  // Scrolled to the right half of 中: it is drawn whole, its left half outside the view.
  editor.ScrollTo(3, 0);
  row = PaintOne(0);
  ASSERT_FALSE(row.texts.empty());
  EXPECT_EQ(row.texts[0].bytes, "\xE4\xB8\xAD");
  EXPECT_EQ(row.texts[0].x, CellLeft(-1));
  EXPECT_EQ(row.texts[1].x, CellLeft(1));
}

TEST_F(PaintTest, HorizontalScrollDrawsFromTheFirstVisibleColumn) {
  SetText(std::string(30, 'a') + std::string(30, 'b'));
  editor.ScrollTo(25, 0);
  auto row = PaintOne(0);
  ASSERT_EQ(row.texts.size(), 1u);
  EXPECT_EQ(row.texts[0].bytes, std::string(5, 'a') + std::string(30, 'b'));
  EXPECT_EQ(row.texts[0].x, CellLeft(0));
}

TEST_F(PaintTest, PaintCoversOnlyTheRowsAndColumnsOfItsClipRectangle) {
  SetText(std::string(60, 'q') + "\r\n" + std::string(60, 'r') + "\r\n" + std::string(60, 's'));
  editor.Paint({0, 0, 800, 480});  // the first paint covers everything
  window.ClearRecords();
  // Pixels 82..122 (columns 10..14 of the text), the second row only.
  editor.Paint({82, 16, 122, 32});
  auto rows = RowCopies();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].y, 16);
  ASSERT_EQ(rows[0].texts.size(), 1u);
  EXPECT_EQ(rows[0].texts[0].x, CellLeft(9));
  EXPECT_EQ(rows[0].texts[0].bytes, std::string(7, 'r'));  // columns 9..15
  // The gutter follows every paint.
  EXPECT_EQ(window.copies.back().x, 0);
}

TEST_F(PaintTest, NothingIsPaintedInsideAnUpdate) {
  SetText("abc");
  window.ClearRecords();
  editor.BeginUpdate();
  editor.Paint({0, 0, 800, 480});
  editor.PaintRow(0, 0, -1);
  editor.GutterPaint();
  EXPECT_TRUE(window.copies.empty());
  editor.EndUpdate();
  EXPECT_GE(window.fullInvalidations, 1);
}

// ---------------------------------------------------------------- the right margin

TEST_F(PaintTest, MarginOnlyWhileColumn80IsInTheViewOrUpToTwoColumnsRightOfIt) {
  window.size = {2 + 40 * 8, 480};  // 40 columns
  editor.Resize();
  SetText(std::string(200, 'm'));
  struct Case {
    int left;
    bool margin;
  };
  for (Case c :
       {Case{0, false}, Case{38, false}, Case{39, true}, Case{41, true}, Case{79, true}, Case{80, false}}) {
    SCOPED_TRACE(c.left);
    editor.ScrollTo(c.left, 0);
    ASSERT_EQ(editor.LeftCol, c.left);
    auto row = PaintOne(0);
    ASSERT_EQ(row.lines.size(), c.margin ? 1u : 0u);
    if (c.margin) {
      EXPECT_EQ(row.lines[0].x1, CellLeft(80 - c.left));
      EXPECT_EQ(row.lines[0].x2, row.lines[0].x1);
      EXPECT_EQ(row.lines[0].y1, 0);
      EXPECT_EQ(row.lines[0].y2, 15);
      EXPECT_EQ(row.lines[0].color, editor.MarginColor());
    }
  }
  editor.ShowMargin = false;
  editor.ScrollTo(50, 0);
  EXPECT_TRUE(PaintOne(0).lines.empty());
}

// ---------------------------------------------------------------- colours and the highlighter

TEST_F(PaintTest, LinesAreHighlightedWhenDirtyAndOnlyThen) {
  SetText("one\r\ntwo\r\n\r\nfour");
  std::vector<int> calls;
  std::vector<std::string> texts;
  editor.OnHighlight = [&](TAdvancedEditor&, std::string_view text, int line, const TSelAttrs&,
                           TLineAttrs& a) {
    calls.push_back(line);
    texts.emplace_back(text);
    EXPECT_EQ(a.size(), text.size() + 1);
    for (const TCharAttr& c : a) EXPECT_EQ(c, (TCharAttr{0, editor.Color(), editor.EditorFont.style, 0}));
  };
  editor.MarkAllDirty();
  editor.Paint({0, 0, 800, 480});
  // Painting hands over the line with its end mark, so even the empty line is coloured.
  EXPECT_EQ(calls, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(texts[0], "one\xAC");
  EXPECT_EQ(texts[2], "\xAC");

  calls.clear();
  Select(0, 0, 2, 1);
  editor.Paint({0, 0, 800, 480});
  EXPECT_TRUE(calls.empty());

  editor.SetColor(0x102030);
  editor.Paint({0, 0, 800, 480});
  EXPECT_EQ(calls, (std::vector<int>{0, 1, 2, 3}));

  calls.clear();
  editor.SetEditorFont({"Courier New", 12, platform::fontstyle::Bold, 0});
  editor.Paint({0, 0, 800, 480});
  EXPECT_EQ(calls, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(PaintTest, AColourChangeReachesTheDefaultAttributes) {
  SetText("abc");
  editor.Paint({0, 0, 800, 480});
  editor.SetColor(0x336699);
  auto row = PaintOne(0);
  EXPECT_EQ(row.fills[0].color, 0x336699u);
  ASSERT_EQ(row.texts.size(), 1u);
  EXPECT_EQ(row.texts[0].bg, 0x336699u);
  // Text on the control's own colour needs no fill of its own.
  EXPECT_EQ(row.fills.size(), 1u);
}

TEST_F(PaintTest, SelectionFlagsAreReadOnlyInputToTheHighlighter) {
  SetText("abcdef\r\nxyz");
  Select(2, 0, 4, 0);
  std::vector<std::uint8_t> seen;
  editor.OnHighlight = [&](TAdvancedEditor&, std::string_view, int line, const TSelAttrs& sel, TLineAttrs&) {
    if (line == 0) seen.assign(sel.begin(), sel.end());
  };
  editor.MarkAllDirty();
  editor.PaintRow(0, 0, -1);
  EXPECT_EQ(seen, (std::vector<std::uint8_t>{0, 0, 1, 1, 0, 0, 0, 0}));
}

// ---------------------------------------------------------------- what a change repaints

TEST_F(PaintTest, ATypedCharacterRepaintsOnlyTheRowsOfItsLine) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "line " + std::to_string(i) + "\r\n";
  SetText(text);
  Caret(3, 5);
  window.ClearRecords();
  Type("x");
  EXPECT_EQ(Text()[5], "linxe 5");
  EXPECT_EQ(RowCopyYs(), (std::vector<int>{5 * 16}));
  EXPECT_EQ(window.fullInvalidations, 0);
  EXPECT_TRUE(window.invalidated.empty());
  EXPECT_TRUE(window.scrolls.empty());
}

TEST_F(PaintTest, ATypedCharacterThatWrapsRepaintsItsLineAndTheRowsBelow) {
  editor.SetWordWrap(true);
  std::string text;
  for (int i = 0; i < 50; ++i) text += (i == 3 ? std::string(80, 'w') : "short") + "\r\n";
  SetText(text);
  Caret(80, 3);
  window.ClearRecords();
  Type("!");
  ASSERT_EQ(editor.Lines->RowCount(3), 2);
  std::vector<int> ys = RowCopyYs();
  ASSERT_FALSE(ys.empty());
  // Rows 3 and 4 hold the line; every row from there to the bottom is repainted.
  std::vector<int> distinct = ys;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<int> expected;
  for (int r = 3; r <= 30; ++r) expected.push_back(r * 16);
  EXPECT_EQ(distinct, expected);
  EXPECT_EQ(window.fullInvalidations, 0);
}

TEST_F(PaintTest, ScrollingByOneRowMovesPixelsAndPaintsOneRow) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "row " + std::to_string(i) + "\r\n";
  SetText(text);
  editor.Paint({0, 0, 800, 480});
  window.ClearRecords();

  editor.VertScroll(sb::LineDown, 0);
  EXPECT_EQ(editor.TopRow, 1);
  ASSERT_EQ(window.scrolls.size(), 1u);
  EXPECT_EQ(window.scrolls[0].dy, -16);
  EXPECT_EQ(window.scrolls[0].area, (platform::Rect{kTextLeft, 0, 800, 31 * 16}));
  EXPECT_EQ(window.fullInvalidations, 0);
  EXPECT_GE(window.updates, 1);

  // The window uncovers the bottom row of its client area; painting it paints that row only.
  window.ClearRecords();
  editor.Paint({kTextLeft, 480 - 16, 800, 480});
  auto rows = RowCopies();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].y, 480 - 16);
  EXPECT_EQ(Shown(rows[0]), "row 30");

  // And back up: the top strip.
  window.ClearRecords();
  editor.VertScroll(sb::LineUp, 0);
  ASSERT_EQ(window.scrolls.size(), 1u);
  EXPECT_EQ(window.scrolls[0].dy, 16);
  editor.Paint({kTextLeft, 0, 800, 16});
  EXPECT_EQ(RowCopyYs(), (std::vector<int>{0}));
}

TEST_F(PaintTest, AScrollOfAScreenOrMoreInvalidatesEverything) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "r\r\n";
  SetText(text);
  window.ClearRecords();
  editor.VertScroll(sb::ThumbTrack, 40);
  EXPECT_TRUE(window.scrolls.empty());
  EXPECT_EQ(window.fullInvalidations, 1);
}

TEST_F(PaintTest, RepaintLineRowsReturnsTheLastRowPainted) {
  editor.SetWordWrap(true);
  SetText("a\r\n" + std::string(200, 'b') + "\r\nc");
  window.ClearRecords();
  EXPECT_EQ(editor.RepaintLineRows(2), 3);  // the long line holds rows 1..3
  EXPECT_EQ(RowCopyYs(), (std::vector<int>{16, 32, 48}));
}

// ---------------------------------------------------------------- gutter

TEST_F(PaintTest, GutterHasItsColourTwoLinesAndThenTheHook) {
  editor.SetGutterWidth(20);
  editor.SetGutterColor(0x112233);
  bool called = false;
  editor.OnGutterPaint = [&](TAdvancedEditor&, platform::Canvas& canvas) {
    called = true;
    canvas.DrawText(2, 0, "1", 8, 0, 0x112233, 0);
  };
  window.ClearRecords();
  editor.GutterPaint();
  ASSERT_TRUE(called);
  ASSERT_EQ(window.copies.size(), 1u);
  const auto& g = window.copies[0];
  EXPECT_EQ(g.x, 0);
  EXPECT_EQ(g.y, 0);
  EXPECT_EQ(g.source, (platform::Rect{0, 0, 22, 480}));
  ASSERT_EQ(g.fills.size(), 1u);
  EXPECT_EQ(g.fills[0].color, 0x112233u);
  ASSERT_EQ(g.lines.size(), 2u);
  EXPECT_EQ(g.lines[0].x1, 20);
  EXPECT_EQ(g.lines[0].y2, 479);
  EXPECT_EQ(g.lines[0].color, 0xC0C0C0u);
  EXPECT_EQ(g.lines[1].x1, 21);
  EXPECT_EQ(g.lines[1].color, 0x808080u);
  ASSERT_EQ(g.texts.size(), 1u);
  // The hook's canvas has the gutter font.
  EXPECT_EQ(window.canvases[1]->font.name, "MS Sans Serif");

  // Text now starts right of the gutter.
  SetText("t");
  window.ClearRecords();
  editor.PaintRow(0, 0, -1);
  ASSERT_FALSE(window.copies.empty());
  EXPECT_EQ(window.copies[0].x, 22);
  EXPECT_EQ(window.copies[0].texts[0].x, 23);
}

TEST_F(PaintTest, WithoutAGutterItsStripHasTheControlColourAndNoHook) {
  bool called = false;
  editor.OnGutterPaint = [&](TAdvancedEditor&, platform::Canvas&) { called = true; };
  editor.GutterPaint();
  EXPECT_FALSE(called);
  ASSERT_EQ(window.copies.size(), 1u);
  ASSERT_EQ(window.copies[0].fills.size(), 1u);
  EXPECT_EQ(window.copies[0].fills[0].color, 0xC0C0C0u);
  EXPECT_TRUE(window.copies[0].lines.empty());
}

// ---------------------------------------------------------------- caret

TEST_F(PaintTest, CaretIsTwoPixelsWideAndSitsAtTheCellsLeftEdge) {
  SetText("abcdef\r\nabcdef\r\nabcdef");
  editor.FocusIn();
  EXPECT_TRUE(window.caretExists);
  EXPECT_EQ(window.caretSize, (platform::Point{2, 14}));
  Caret(5, 2);
  EXPECT_EQ(window.caretPos, (platform::Point{CellLeft(5) - 1, 2 * 16 + 1}));
  editor.Paint({0, 0, 800, 480});
  EXPECT_TRUE(window.caretVisible);

  // The caret follows a horizontal scroll.
  editor.ScrollTo(2, 0);
  EXPECT_EQ(window.caretPos, (platform::Point{CellLeft(3) - 1, 2 * 16 + 1}));

  editor.FocusOut();
  EXPECT_FALSE(window.caretExists);
  window.focused = false;
  editor.Paint({0, 0, 800, 480});
  EXPECT_FALSE(window.caretVisible);
}

}  // namespace
