// The editor model: caret and view, coordinates, flat offsets, selection.

#include <random>

#include "tests/support/EditorFixture.h"

namespace {

using Strings = std::vector<std::string>;

std::string Numbered(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text;
}

class Model : public EditorTest {};

TEST_F(Model, DefaultsAndGeometry) {
  TAdvancedEditor fresh;
  EXPECT_TRUE(fresh.WordWrap());
  EXPECT_TRUE(fresh.InsertMode);
  EXPECT_EQ(fresh.TabWidth, 4);
  EXPECT_EQ(fresh.ColumnCapacity, 512);
  EXPECT_EQ(fresh.MarginColor(), 0xC0C0C0u);
  EXPECT_EQ(editor.VisibleCols, 99);
  EXPECT_EQ(editor.VisibleRows, 30);
  EXPECT_EQ(editor.RightCol, 98);
  EXPECT_EQ(editor.BottomRow, 29);
  EXPECT_EQ(editor.CellRect(1, 2), (platform::Rect{2 + 8 + 1, 32, 2 + 8 + 1 + 8, 48}));
}

TEST_F(Model, CaretStaysOnTheTextUnlessAllowedBelowIt) {
  SetText(Numbered(10));
  editor.MoveCaret(0, 1000);
  EXPECT_EQ(CaretPos(), (platform::Point{0, 9}));
  editor.MoveCaret(-5, -5);
  EXPECT_EQ(CaretPos(), (platform::Point{0, 0}));
  editor.MoveCaret(100000, 0);
  EXPECT_EQ(editor.CaretX, editor.ColumnCapacity) << "beyond the row end up to the column capacity";
  editor.CaretBeyondEOF = true;
  editor.MoveCaret(0, 40);
  EXPECT_EQ(editor.CaretY, 40);
}

TEST_F(Model, TheViewFollowsTheCaret) {
  SetText(Numbered(200));
  editor.MoveCaret(0, 100);
  EXPECT_EQ(editor.TopRow, 71) << "caret on the bottom row of the view";
  EXPECT_EQ(editor.VertBar->Position, 71);
  editor.MoveCaret(0, 50);
  EXPECT_EQ(editor.TopRow, 50);
  editor.MoveCaret(150, 50);
  EXPECT_EQ(editor.LeftCol, 150 - 99);
  editor.MoveCaret(10, 50);
  EXPECT_EQ(editor.LeftCol, 10);
  ASSERT_FALSE(window.scrolls.empty()) << "a short vertical scroll moves pixels";
}

TEST_F(Model, PixelToTextRoundsToTheNearestColumnAndHalvesToEven) {
  SetText(Numbered(3));
  const int left = 2;                                // no gutter: the text starts 2 pixels in
  EXPECT_EQ(editor.PixelToText(left + 11, 5).x, 1);  // 1.375
  EXPECT_EQ(editor.PixelToText(left + 13, 5).x, 2);  // 1.625
  EXPECT_EQ(editor.PixelToText(left + 12, 5).x, 2);  // 1.5 -> 2
  EXPECT_EQ(editor.PixelToText(left + 20, 5).x, 2);  // 2.5 -> 2
  EXPECT_EQ(editor.PixelToText(left + 28, 5).x, 4);  // 3.5 -> 4
  EXPECT_EQ(editor.PixelToText(-50, -50), (platform::Point{0, 0}));
  EXPECT_EQ(editor.PixelToText(left + 8 * 500, 10000), (platform::Point{98, 2})) << "clamped to view and text";
}

TEST_F(Model, FlatOffsetsCountEveryLineBreakAsTwo) {
  SetText("ab\r\ncd\r\n");
  EXPECT_EQ(editor.PosToOffset(0, 1), 4);
  EXPECT_EQ(editor.PosToOffset(9, 0), 2) << "the column is clamped to the row";
  EXPECT_EQ(editor.PosToOffset(0, 5), 8) << "a row beyond the text gives its whole length";
  EXPECT_EQ(editor.PosToOffset(0, -1), -1);
  EXPECT_EQ(editor.OffsetToPos(2), (platform::Point{2, 0}));
  EXPECT_EQ(editor.OffsetToPos(3), (platform::Point{0, 1})) << "inside a line break: the next row";
  EXPECT_EQ(editor.OffsetToPos(99), (platform::Point{2, 1}));
}

TEST_F(Model, SelStartAndSelLengthSelectAcrossTheLineBreak) {
  SetText("ab\r\ncd");
  editor.SetSelStart(1);
  editor.SetSelLength(3);
  EXPECT_EQ(Selected(), "ab\r\n");
  EXPECT_EQ(editor.GetSelStart(), 1);
  editor.SetSelStart(5);
  EXPECT_EQ(editor.GetSelStart(), 5);
  EXPECT_FALSE(editor.SelAvail);
  EXPECT_EQ(editor.SelLength(), 0);
}

TEST_F(Model, SelectionReadingNeverRaises) {
  SetText("abc\r\ndef");
  EXPECT_EQ(Selected(), "") << "nothing selected";
  editor.ExtendSelection(1, 0);
  editor.ExtendSelection(2, 1);
  EXPECT_EQ(Selected(), "bc\r\nde");
  editor.Lines->SetTextQuiet("x");
  editor.SelAvail = true;
  int beeps = window.beeps;
  EXPECT_EQ(Selected(), "");
  EXPECT_EQ(window.beeps, beeps + 1) << "a selection on missing rows beeps";
}

TEST_F(Model, ExtendSelectionKeepsTheAnchor) {
  SetText("0123456789");
  editor.ExtendSelection(5, 0);
  editor.ExtendSelection(8, 0);
  EXPECT_EQ(Selected(), "567");
  editor.ExtendSelection(2, 0);
  EXPECT_EQ(Selected(), "234");
  editor.ExtendSelection(-3, -3);
  EXPECT_EQ(Selected(), "01234");
}

TEST_F(Model, SetSelTextReplacesAndSelectsAsOneUndoStep) {
  SetText("hello world");
  editor.SetSelStart(7);
  editor.SetSelLength(5);
  editor.SetSelText("there");
  EXPECT_EQ(Text(), (Strings{"hello there"}));
  EXPECT_EQ(Selected(), "there");
  EXPECT_EQ(editor.UpdateCount, 0);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"hello world"}));
  EXPECT_EQ(Selected(), "world");
}

TEST_F(Model, InsertTextNormalisesBreaksAndTabs) {
  SetText("ab");
  editor.MoveCaret(1, 0);
  editor.InsertText("x\ry\tz\n");
  EXPECT_EQ(Text(), (Strings{"ax", "y    z", "b"}));
  EXPECT_EQ(CaretPos(), (platform::Point{0, 2}));
}

// Every mix of CR, LF and CR LF, around and across 16-byte pieces, comes out
// as the character-by-character rule gives it: each break one CR LF.
TEST_F(Model, InsertTextNormalisesEveryMixOfBreaks) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', 'b', '\r', '\n'};
  for (int round = 0; round < 300; ++round) {
    std::string pasted(random() % 70, ' ');
    for (char& c : pasted) c = alphabet[random() % 4];
    std::string expected = "a";
    for (std::size_t i = 0; i < pasted.size(); ++i) {
      if (pasted[i] != '\r' && pasted[i] != '\n') {
        expected += pasted[i];
        continue;
      }
      expected += "\r\n";
      if (pasted[i] == '\r' && i + 1 < pasted.size() && pasted[i + 1] == '\n') ++i;
    }
    expected += "b\r\n";
    SetText("ab");
    editor.MoveCaret(1, 0);
    editor.InsertText(pasted);
    ASSERT_EQ(editor.Lines->GetTextStr(), expected) << "round " << round;
  }
}

TEST_F(Model, NotificationsAndModifiedFlag) {
  int changes = 0, status = 0, selection = 0;
  editor.OnChange = [&](TAdvancedEditor&) { ++changes; };
  editor.OnStatusChange = [&](TAdvancedEditor&) { ++status; };
  editor.OnSelectionChange = [&](TAdvancedEditor&) { ++selection; };
  SetText("abc");
  EXPECT_FALSE(editor.Modified);
  Type("x");
  EXPECT_TRUE(editor.Modified);
  EXPECT_EQ(changes, 1);
  EXPECT_GT(status, 0);
  Run(cmdSelectAll);
  EXPECT_GT(selection, 0);
}

TEST_F(Model, SwitchingWordWrapClearsUndoAndRewraps) {
  SetText(std::string(100, 'x'));
  Type("a");
  ASSERT_GT(editor.UndoBuffer->Count(), 0);
  editor.SetWordWrap(true);
  EXPECT_EQ(editor.UndoBuffer->Count(), 0);
  EXPECT_EQ(editor.Lines->GetRowCount(), 2);
}

TEST_F(Model, WholeTextAssignmentResetsCaretAndHistory) {
  SetText("abc\r\ndef");
  editor.MoveCaret(2, 1);
  Type("x");
  SetText("new");
  EXPECT_EQ(CaretPos(), (platform::Point{0, 0}));
  EXPECT_EQ(editor.UndoBuffer->Count(), 0);
}

TEST_F(Model, BookmarksToggleAndCentre) {
  SetText(Numbered(300));
  editor.MoveCaret(3, 200);
  Run(cmdToggleBookmark0 + 2);
  EXPECT_TRUE(editor.Bookmarks[2].IsSet);
  Run(cmdTextStart);
  Run(cmdGotoBookmark0 + 2);
  EXPECT_EQ(CaretPos(), (platform::Point{3, 200}));
  EXPECT_EQ(editor.TopRow, 200 - 15) << "the bookmark row is centred";
  Run(cmdToggleBookmark0 + 2);
  EXPECT_FALSE(editor.Bookmarks[2].IsSet) << "toggling on its row clears it";
  Run(cmdGotoBookmark0 + 5);
  EXPECT_EQ(CaretPos(), (platform::Point{3, 200})) << "an unset bookmark goes nowhere";
  // Bookmarks are row positions: they stay when text is inserted above.
  Run(cmdToggleBookmark0);
  editor.MoveCaret(0, 0);
  editor.InsertText("new\r\n");
  EXPECT_EQ(editor.Bookmarks[0].Y, 200);
}

}  // namespace
