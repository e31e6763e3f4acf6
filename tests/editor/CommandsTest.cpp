// The dispatcher and the commands that move, select and scroll.

#include "tests/support/EditorFixture.h"

namespace {

using P = platform::Point;

class Commands : public EditorTest {};

std::string Rows(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "row " + std::to_string(i) + "\r\n";
  return text;
}

TEST_F(Commands, CaretRightGoesIntoVirtualSpaceUpToTheCapacity) {
  SetText("ab\r\ncd");
  Caret(2, 0);
  Run(cmdCaretRight);
  EXPECT_EQ(CaretPos(), (P{3, 0}));
  Run(cmdCaretRight, 600);
  EXPECT_EQ(CaretPos(), (P{512, 0}));
  Run(cmdCaretLeft, 600);
  EXPECT_EQ(CaretPos(), (P{0, 0}));
}

TEST_F(Commands, WithoutVirtualSpaceLeftAndRightWrapBetweenRows) {
  editor.CaretBeyondEOL = false;
  SetText("ab\r\ncd");
  Caret(2, 0);
  Run(cmdCaretRight);
  EXPECT_EQ(CaretPos(), (P{0, 1}));
  Run(cmdCaretLeft);
  EXPECT_EQ(CaretPos(), (P{2, 0}));
  Caret(0, 0);
  Run(cmdCaretLeft);
  EXPECT_EQ(CaretPos(), (P{0, 0}));
  Caret(2, 1);
  Run(cmdCaretRight);
  EXPECT_EQ(CaretPos(), (P{2, 1})) << "the last row keeps the caret at its end";
}

TEST_F(Commands, UpAndDownKeepNoGoalColumn) {
  editor.CaretBeyondEOL = false;
  SetText("long row\r\nab\r\nlong row");
  Caret(6, 0);
  Run(cmdCaretDown);
  EXPECT_EQ(CaretPos(), (P{2, 1}));
  Run(cmdCaretDown);
  EXPECT_EQ(CaretPos(), (P{2, 2})) << "the clamped column stays";
  Run(cmdCaretDown);
  EXPECT_EQ(CaretPos(), (P{2, 2}));
  editor.CaretBeyondEOF = true;
  Run(cmdCaretDown);
  EXPECT_EQ(CaretPos(), (P{2, 3})) << "below the text: no row clamps the column";
  Run(cmdSelectDown);
  EXPECT_FALSE(editor.SelAvail) << "select-down never goes below the text";
}

TEST_F(Commands, SelectCommandsAnchorAtTheCaretAndPlainOnesUnselect) {
  SetText("abcdef");
  Caret(1, 0);
  Run(cmdSelectRight, 3);
  EXPECT_EQ(Selected(), "bcd");
  Run(cmdSelectLeft);
  EXPECT_EQ(Selected(), "bc");
  Run(cmdCaretRight);
  EXPECT_FALSE(editor.SelAvail);
  EXPECT_EQ(CaretPos(), (P{4, 0}));
}

TEST_F(Commands, WordLeftOverDotsAndLeadingBlanks) {
  SetText("a\r\n  foo.bar");
  Caret(9, 1);
  Run(cmdWordLeft);
  EXPECT_EQ(CaretPos(), (P{6, 1})) << "to the b";
  Run(cmdWordLeft);
  EXPECT_EQ(CaretPos(), (P{2, 1})) << "to the f";
  Run(cmdWordLeft);
  EXPECT_EQ(CaretPos(), (P{1, 0})) << "only blanks left: straight to the end of the row above";
  SetText("  foo");
  Caret(2, 0);
  Run(cmdWordLeft);
  EXPECT_EQ(CaretPos(), (P{0, 0})) << "on the first row: column 0";
}

TEST_F(Commands, WordRightStopsAtWordStartsOrTheRowEnd) {
  SetText("foo(bar)\r\n  next");
  Run(cmdWordRight);
  EXPECT_EQ(CaretPos(), (P{4, 0}));
  Run(cmdWordRight);
  EXPECT_EQ(CaretPos(), (P{8, 0})) << "only delimiters after bar";
  Run(cmdWordRight);
  EXPECT_EQ(CaretPos(), (P{2, 1})) << "a row starting with blanks is entered at its first word";
}

TEST_F(Commands, SelectWordRightAndLeftSelect) {
  SetText("one two three");
  Run(cmdSelectWordRight, 2);
  EXPECT_EQ(Selected(), "one two ");
  Run(cmdSelectWordLeft);
  EXPECT_EQ(Selected(), "one ");
}

TEST_F(Commands, SelectWordAtTheCaret) {
  SetText("count;");
  Caret(5, 0);
  Run(cmdSelectWord);
  EXPECT_EQ(Selected(), "count");
  EXPECT_EQ(CaretPos(), (P{5, 0}));
  SetText("a   b");
  Caret(2, 0);
  Run(cmdSelectWord);
  EXPECT_EQ(Selected(), "  ") << "the middle blank of three and the next one";
  SetText("a  b");
  Caret(2, 0);
  Run(cmdSelectWord);
  EXPECT_EQ(Selected(), " ") << "a blank after a blank and before a word";
}

TEST_F(Commands, PageDownAndUpMoveByAView) {
  SetText(Rows(100));
  Run(cmdPageDown);
  EXPECT_EQ(editor.CaretY, 30);
  EXPECT_EQ(editor.TopRow, 1) << "the view follows just far enough";
  Run(cmdPageDown, 5);
  EXPECT_EQ(editor.CaretY, 99);
  Run(cmdPageUp);
  EXPECT_EQ(editor.CaretY, 69);
  Run(cmdSelectPageUp);
  EXPECT_EQ(editor.SelStartY, 39);
  EXPECT_EQ(editor.SelEndY, 69);
  EXPECT_EQ(editor.UpdateCount, 0);
}

TEST_F(Commands, ScrollCommandsKeepTheCaretInView) {
  SetText(Rows(100));
  Run(cmdScrollLineDown, 3);
  EXPECT_EQ(editor.TopRow, 3);
  EXPECT_EQ(editor.CaretY, 3);
  Run(cmdScrollPageDown, 10);
  EXPECT_EQ(editor.TopRow, 70) << "clamped to the scroll range";
  Run(cmdScrollLineUp);
  EXPECT_EQ(editor.TopRow, 69);
  EXPECT_EQ(editor.CaretY, 70);
}

TEST_F(Commands, SmartHomeTogglesBetweenIndentAndColumnZero) {
  SetText("    text");
  Caret(6, 0);
  Run(cmdLineStart);
  EXPECT_EQ(editor.CaretX, 0) << "Home goes to column 0 by default";
  editor.HomeToColumn0 = false;
  Caret(6, 0);
  Run(cmdLineStart);
  EXPECT_EQ(editor.CaretX, 4);
  Run(cmdLineStart);
  EXPECT_EQ(editor.CaretX, 0);
  Run(cmdLineStart);
  EXPECT_EQ(editor.CaretX, 4);
  Run(cmdLineEnd);
  EXPECT_EQ(editor.CaretX, 8);
}

TEST_F(Commands, TextStartAndEnd) {
  SetText(Rows(100) + std::string(150, 'z'));
  Run(cmdTextEnd);
  EXPECT_EQ(CaretPos(), (P{150, 100}));
  EXPECT_EQ(editor.TopRow, 71);
  EXPECT_EQ(editor.LeftCol, 51);
  Run(cmdSelectTextStart);
  EXPECT_EQ(editor.SelStartY, 0);
  EXPECT_EQ(CaretPos(), (P{0, 0}));
  EXPECT_EQ(editor.TopRow, 0);
}

TEST_F(Commands, CommandsOnAnEmptyTextDoNothing) {
  for (std::uint16_t c : {cmdCaretDown, cmdWordLeft, cmdWordRight, cmdSelectWord, cmdPageDown, cmdTextEnd,
                          cmdLineEnd, cmdSelectAll, cmdDeleteLine, cmdUndo, cmdScrollLineDown, cmdCaretPageBottom})
    Run(c);
  EXPECT_EQ(CaretPos(), (P{0, 0}));
  EXPECT_EQ(editor.UpdateCount, 0);
  EXPECT_EQ(editor.GroupDepth, 0);
}

TEST_F(Commands, UnusedNumbersOnlyRepeatThePlacement) {
  SetText("abc");
  Caret(2, 0);
  int records = editor.UndoBuffer->Count();
  for (std::uint16_t c : {256, 261, 300, 365, 406, 500, 65535}) Run(c);
  EXPECT_EQ(CaretPos(), (P{2, 0}));
  EXPECT_EQ(editor.UndoBuffer->Count(), records);
}

TEST_F(Commands, SelectAllIsRecordedAsItsOwnTwoBytes) {
  SetText("abc\r\ndef");
  Run(cmdRecordMacro);
  Run(cmdSelectAll);
  Run(cmdRecordMacro);
  EXPECT_EQ(editor.Macro, std::string("\x20\x01", 2));
  Run(cmdCaretRight);
  EXPECT_FALSE(editor.SelAvail);
  Run(cmdPlayMacro);
  EXPECT_EQ(Selected(), "abc\r\ndef");
  EXPECT_EQ(editor.UpdateCount, 0);
}

TEST_F(Commands, MacroReplayIsOneUndoGroupAndOddBytesAreIgnored) {
  SetText("");
  Run(cmdRecordMacro);
  Type("ab");
  Run(cmdLineBreak);
  Run(cmdRecordMacro);
  EXPECT_EQ(editor.Macro.size(), 6u);
  Run(cmdPlayMacro);
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab", "ab", ""}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab", ""})) << "one undo takes the whole replay";
  editor.Macro += 'x';  // a dangling byte
  Run(cmdPlayMacro);
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab", "ab", ""}));
  EXPECT_EQ(editor.GroupDepth, 0);
}

TEST_F(Commands, AStoppedRecordingReplacesTheMacroAndAnOpenOneDoesNot) {
  Run(cmdRecordMacro);
  Type("x");
  Run(cmdRecordMacro);
  std::string first = editor.Macro;
  Run(cmdRecordMacro);
  Type("y");
  EXPECT_EQ(editor.Macro, first) << "recording still running";
  EXPECT_TRUE(editor.Recording);
}

TEST_F(Commands, ToggleOverwrite) {
  Run(cmdToggleOverwrite);
  EXPECT_FALSE(editor.InsertMode);
  Run(cmdToggleOverwrite);
  EXPECT_TRUE(editor.InsertMode);
}

TEST_F(Commands, ReadOnlyStillMovesAndCopiesButChangesNothing) {
  SetText("abc");
  editor.ReadOnly = true;
  Run(cmdSelectAll);
  Run(cmdCopy);
  EXPECT_EQ(window.clipboard.text, "abc");
  window.clipboard.SetText("zzz");
  for (std::uint16_t c : {cmdPaste, cmdCut, cmdDeleteLeft, cmdDeleteRight, cmdLineBreak, cmdTab, cmdUpperCase,
                          cmdDeleteLine, cmdUndo, cmdRedo, cmdIndentSelection})
    Run(c);
  Type("q");
  EXPECT_EQ(Text(), (std::vector<std::string>{"abc"}));
  Run(cmdLineEnd);
  EXPECT_EQ(editor.CaretX, 3);
}

TEST_F(Commands, EventCommandsNeedTheirHooks) {
  SetText("abc");
  Run(cmdSelectAll);
  Run(cmdSelectionEvent);
  Run(cmdUserInsert0);
  Run(cmdUserTransform0);
  EXPECT_EQ(Text(), (std::vector<std::string>{"abc"}));
  std::string seen;
  editor.OnSelectionCommand = [&](TAdvancedEditor&, const std::string& s) { seen = s; };
  editor.OnUserInsert = [](TAdvancedEditor&, int index, std::string& text) { text = "<" + std::to_string(index) + ">"; };
  editor.OnUserTransform = [](TAdvancedEditor&, int index, const std::string& s, std::string& r) {
    r = s + std::to_string(index);
  };
  Run(cmdSelectionEvent);
  EXPECT_EQ(seen, "abc");
  editor.SetSelStart(1);
  editor.SetSelLength(3);
  Run(cmdUserTransform0 + 7);
  EXPECT_EQ(Text(), (std::vector<std::string>{"abc7"}));
  Run(cmdLineEnd);
  Run(cmdUserInsert0 + 35);
  EXPECT_EQ(Text(), (std::vector<std::string>{"abc7<35>"}));
}

TEST_F(Commands, AFailingHookLeavesNoGroupOrUpdateOpen) {
  SetText("abc");
  editor.OnChange = [](TAdvancedEditor&) { throw std::runtime_error("hook failed"); };
  Run(cmdSelectAll);
  window.caretVisible = false;
  EXPECT_THROW(Run(cmdDeleteLine), std::runtime_error);
  EXPECT_EQ(editor.GroupDepth, 0);
  EXPECT_EQ(editor.UpdateCount, 0);
  EXPECT_TRUE(window.caretVisible) << "the caret is shown again";
}

}  // namespace
