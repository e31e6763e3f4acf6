// Typing, the mouse, the clipboard and case conversion.

#include <random>

#include "editor/AdvCompletion.h"
#include "tests/support/EditorFixture.h"

namespace {

using Strings = std::vector<std::string>;
using P = platform::Point;

class Typing : public EditorTest {
 protected:
  // Pixel position of a text cell (no gutter, 8 x 16 cells).
  static int X(int column) { return 2 + column * 8 + 1; }
  static int Y(int row) { return row * 16 + 4; }
};

TEST_F(Typing, InsertAndOverwrite) {
  SetText("abc");
  Caret(1, 0);
  Type("xy");
  EXPECT_EQ(Text(), (Strings{"axybc"}));
  Run(cmdToggleOverwrite);
  Type("QRSTU");
  EXPECT_EQ(Text(), (Strings{"axyQRSTU"})) << "overwriting at the row end appends";
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"axybc"}));
}

TEST_F(Typing, TheEightyFirstCharacterWrapsAndRepaintsBelow) {
  editor.SetWordWrap(true);
  SetText(std::string(80, 'a') + "\r\nnext");
  Caret(80, 0);
  window.ClearRecords();
  Type("b");
  EXPECT_EQ(editor.Lines->GetRowCount(), 3);
  EXPECT_EQ(editor.Lines->GetRow(1), "b");
  EXPECT_EQ(CaretPos(), (P{1, 1}));
}

TEST_F(Typing, AutoChangeReplacesAWholeWordOnly) {
  editor.Completion->SetAutoChange({"teh=the"});
  SetText("");
  Type("teh ");
  EXPECT_EQ(Text(), (Strings{"the "}));
  EXPECT_EQ(editor.CaretX, 4);
  Type("xteh ");
  EXPECT_EQ(Text(), (Strings{"the xteh "})) << "preceded by a letter: not replaced";
  SetText("");
  Type("teh ");
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"teh"})) << "one undo takes back the replacement";
}

TEST_F(Typing, ClickPlacesTheCaretAlsoInVirtualSpace) {
  SetText("ab\r\ncd");
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(6), Y(1));
  editor.MouseUp(TAdvancedEditor::kLeftButton, 0, X(6), Y(1));
  EXPECT_EQ(CaretPos(), (P{6, 1}));
  editor.CaretBeyondEOL = false;
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(6), Y(0));
  EXPECT_EQ(CaretPos(), (P{2, 0}));
}

TEST_F(Typing, DragSelectsFromThePressAndShiftClickExtends) {
  SetText("0123456789");
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(2), Y(0));
  editor.MouseMove(0, X(5), Y(0), true);
  editor.MouseUp(TAdvancedEditor::kLeftButton, 0, X(5), Y(0));
  EXPECT_EQ(Selected(), "234");
  editor.MouseDown(TAdvancedEditor::kLeftButton, shift::Shift, X(8), Y(0));
  EXPECT_EQ(Selected(), "234567");
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(1), Y(0));
  EXPECT_FALSE(editor.SelAvail);
}

TEST_F(Typing, DoubleClickSelectsTheWordAndTheNextPressIsIgnored) {
  SetText("foo barbaz qux");
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(6), Y(0));
  editor.MouseUp(TAdvancedEditor::kLeftButton, 0, X(6), Y(0));
  editor.DblClick();
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(6), Y(0));
  EXPECT_EQ(Selected(), "barbaz");
  EXPECT_EQ(CaretPos(), (P{10, 0}));
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(1), Y(0));
  EXPECT_FALSE(editor.SelAvail) << "only one press is skipped";
}

TEST_F(Typing, AutoScrollBandsWhileDraggingOutside) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "row\r\n";
  SetText(text);
  editor.MoveCaret(0, 100);
  int top = editor.TopRow;
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(0), Y(5));
  editor.MouseMove(0, X(0), -25, true);
  EXPECT_EQ(window.timers.at(TAdvancedEditor::kScrollTimer), 100);
  int row = editor.CaretY;
  editor.TimerTick(TAdvancedEditor::kScrollTimer);
  EXPECT_EQ(editor.CaretY, row - 30) << "more than 20 pixels out: a screen per tick";
  editor.MouseMove(0, X(0), -10, true);
  row = editor.CaretY;
  editor.TimerTick(TAdvancedEditor::kScrollTimer);
  EXPECT_EQ(editor.CaretY, row - 1) << "within 20 pixels: a row per tick";
  EXPECT_LT(editor.TopRow, top);
  editor.MouseMove(0, X(0), Y(3), true);
  EXPECT_EQ(window.timers.count(TAdvancedEditor::kScrollTimer), 0u) << "back inside: no timer";
  editor.MouseUp(TAdvancedEditor::kLeftButton, 0, X(0), Y(3));
  EXPECT_TRUE(editor.SelAvail);
}

TEST_F(Typing, WheelScrollsThreeRowsPerNotch) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "r\r\n";
  SetText(text);
  editor.WheelScroll(-120);
  EXPECT_EQ(editor.TopRow, 3);
  editor.WheelScroll(240);
  EXPECT_EQ(editor.TopRow, 0);
}

TEST_F(Typing, PasteSplitsLinesAndUndoesInTwoSteps) {
  SetText("ab");
  Caret(1, 0);
  window.clipboard.SetText("x\ny");
  Run(cmdPaste);
  EXPECT_EQ(Text(), (Strings{"ax", "yb"}));
  EXPECT_EQ(CaretPos(), (P{1, 1}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab"}));
  // A paste over a selection: removing the paste, then restoring the selection.
  Run(cmdSelectAll);
  window.clipboard.SetText("a\tb");
  Run(cmdPaste);
  EXPECT_EQ(Text(), (Strings{"a    b"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab"}));
  EXPECT_EQ(Selected(), "ab");
}

TEST_F(Typing, CutCopyAndAnEmptyClipboard) {
  SetText("hello");
  Run(cmdCopy);
  EXPECT_EQ(window.clipboard.writes, 0) << "nothing selected: the clipboard keeps its content";
  Run(cmdSelectWordRight);
  Run(cmdCut);
  EXPECT_EQ(window.clipboard.text, "hello");
  EXPECT_EQ(Text(), (Strings{""}));
  window.clipboard.hasText = false;
  window.clipboard.text.clear();
  Run(cmdPaste);
  EXPECT_EQ(Text(), (Strings{""}));
}

TEST_F(Typing, PastingAHugeLineGrowsTheColumnCapacity) {
  SetText("");
  window.clipboard.SetText(std::string(100000, 'z'));
  Run(cmdPaste);
  EXPECT_EQ(editor.Lines->LineLength(0), 100000);
  EXPECT_EQ(editor.ColumnCapacity, 100001);
  EXPECT_EQ(editor.CaretX, 100000);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""}));
}

TEST_F(Typing, CaseConversionKeepsTheSelection) {
  SetText("aB1 \xE9\xC9");
  Run(cmdSelectAll);
  Run(cmdToggleCase);
  EXPECT_EQ(Text(), (Strings{"Ab1 \xC9\xE9"}));
  EXPECT_EQ(Selected(), "Ab1 \xC9\xE9");
  Run(cmdUpperCase);
  EXPECT_EQ(Text(), (Strings{"AB1 \xC9\xC9"}));
  Run(cmdLowerCase);
  EXPECT_EQ(Text(), (Strings{"ab1 \xE9\xE9"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"AB1 \xC9\xC9"}));
  editor.OnCaseChange = [](TAdvancedEditor&, int mode, std::string& r, const std::string& t) {
    r = std::to_string(mode) + t;
  };
  Run(cmdLowerCase);
  EXPECT_EQ(Text(), (Strings{"1AB1 \xC9\xC9"}));
}

// Any sequence of edits followed by enough undos gives back the text.
TEST_F(Typing, RandomEditsAllUndo) {
  const std::uint16_t commands[] = {
      cmdCaretLeft, cmdCaretRight, cmdCaretUp, cmdCaretDown, cmdSelectRight, cmdSelectDown, cmdWordLeft,
      cmdWordRight, cmdLineBreak, cmdDeleteLeft, cmdDeleteRight, cmdTab, cmdDeleteLine, cmdDeleteWordRight,
      cmdDeleteWordLeft, cmdLineEnd, cmdLineStart, cmdSelectWordRight, cmdUpperCase, cmdToggleCase, cmdPaste,
      cmdCut, cmdIndentSelection, cmdUnindentSelection, cmdToggleOverwrite, cmdSelectAll, cmdTextEnd,
      cmdDeleteSelection, 'a', ' ', 'Z', '(', '\t'};
  std::mt19937 rng(2026);
  for (int round = 0; round < 60; ++round) {
    editor.SetWordWrap(round % 2 == 0);
    editor.CaretBeyondEOF = round % 3 == 0;
    editor.Completion->SetAutoChange(round % 4 == 0 ? std::vector<std::string>{"ab=xyz", "(=[ "}
                                                    : std::vector<std::string>{});
    std::string start = "first line\r\n    indented " + std::string(static_cast<std::size_t>(round * 3), 'w') +
                        " words\r\n\r\nlast";
    SetText(start);
    const Strings before = Text();
    window.clipboard.SetText(round % 2 ? "pa\r\nste" : "x");
    for (int step = 0; step < 80; ++step) {
      Run(commands[rng() % std::size(commands)]);
      RunPosted();
    }
    for (int i = 0; i < 2000 && editor.UndoBuffer->Position >= 0; ++i) Run(cmdUndo);
    ASSERT_EQ(Text(), before) << "round " << round;
    ASSERT_EQ(editor.GroupDepth, 0);
    ASSERT_EQ(editor.UpdateCount, 0);
  }
}

}  // namespace

namespace {

// Word wrap on, lines near the wrap column, the caret at row starts and ends,
// beyond the line end and beyond the wrap column: every sequence of edits,
// undone to the end of the history, gives back the text and the caret.
TEST_F(Typing, RandomWrappedEditsUndoToTheStart) {
  std::mt19937 rng(80);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto makeLine = [&] {
    const int length = pick(4) == 0 ? pick(20) : 74 + pick(12);
    std::string s;
    while (static_cast<int>(s.size()) < length) s += pick(6) == 0 ? ' ' : static_cast<char>('a' + pick(26));
    return s;
  };
  const std::uint16_t edits[] = {cmdDeleteRight, cmdDeleteLeft,      cmdDeleteRight,    cmdDeleteLeft,
                                 cmdLineBreak,   cmdTab,             cmdDeleteWordLeft, cmdDeleteWordRight,
                                 cmdDeleteLine,  cmdToggleOverwrite, 'w',               ' '};
  editor.SetWordWrap(true);
  for (int round = 0; round < 2000; ++round) {
    editor.InsertMode = true;
    editor.BackspaceUnindents = round % 2 == 0;
    std::string start;
    for (int i = 0, n = 2 + pick(3); i < n; ++i) start += makeLine() + "\r\n";
    SetText(start);
    const Strings before = Text();
    for (int step = 0, n = 4 + pick(28); step < n; ++step) {
      switch (pick(4)) {
        case 0:  // a row start or end, or past the end of the row
          Run(pick(2) ? cmdLineStart : cmdLineEnd);
          Run(cmdCaretRight, pick(3) == 0 ? pick(30) : 0);
          break;
        case 1:
          Run(pick(2) ? cmdCaretUp : cmdCaretDown, 1 + pick(2));
          break;
        case 2:
          Run(cmdCaretRight, pick(100));
          break;
        default:
          Run(edits[pick(static_cast<int>(std::size(edits)))]);
          break;
      }
    }
    while (editor.UndoBuffer->Position >= 0) Run(cmdUndo);
    ASSERT_EQ(Text(), before) << "round " << round;
    ASSERT_EQ(CaretPos(), (P{0, 0})) << "round " << round;
  }
}

}  // namespace
