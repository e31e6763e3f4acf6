// Line break, Backspace, Delete, Tab and block indent.

#include "tests/support/EditorFixture.h"

namespace {

using Strings = std::vector<std::string>;
using P = platform::Point;

class TextCommands : public EditorTest {};

TEST_F(TextCommands, EnterIndentsTheTailToTheLineAbove) {
  SetText("    if (a) {x}");
  Caret(11, 0);
  Press(vk::Return);
  EXPECT_EQ(Text(), (Strings{"    if (a) ", "    {x}"}));
  EXPECT_EQ(CaretPos(), (P{4, 1}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"    if (a) {x}"}));
  EXPECT_EQ(CaretPos(), (P{11, 0}));
}

TEST_F(TextCommands, EnterAtTheEndLeavesTheCaretInVirtualIndent) {
  SetText("    foo();");
  Caret(10, 0);
  Press(vk::Return);
  EXPECT_EQ(Text(), (Strings{"    foo();", ""}));
  EXPECT_EQ(CaretPos(), (P{4, 1}));
  Type("x");
  EXPECT_EQ(Text(), (Strings{"    foo();", "    x"})) << "typing pads up to the caret";
}

TEST_F(TextCommands, EnterWithoutAutoIndentOrWithAFixedColumn) {
  SetText("    ab");
  Caret(5, 0);
  editor.AutoIndent = false;
  Press(vk::Return);
  EXPECT_EQ(Text(), (Strings{"    a", "b"}));
  EXPECT_EQ(CaretPos(), (P{0, 1}));
  editor.AutoIndent = true;
  editor.SmartIndent = false;
  editor.IndentColumn = 2;
  Press(vk::Return);
  EXPECT_EQ(Text(), (Strings{"    a", "", "  b"}));
}

TEST_F(TextCommands, ANewLineHookThatChangesTheTailRebuildsTheLines) {
  SetText("ab\r\nz");
  Caret(1, 0);
  editor.OnNewLine = [](TAdvancedEditor&, const std::string&, std::string& tail) { tail = "[" + tail + "]"; };
  Press(vk::Return);
  EXPECT_EQ(Text(), (Strings{"a", "[b]", "z"}));
  EXPECT_EQ(CaretPos(), (P{0, 1}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab", "z"}));
  EXPECT_EQ(CaretPos(), (P{1, 0}));
}

TEST_F(TextCommands, BackspaceUnindentsToTheRowAbove) {
  SetText("    x\r\n        ");
  Caret(8, 1);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"    x", "    "})) << "back to the indent of the row above";
  EXPECT_EQ(CaretPos(), (P{4, 1}));
  SetText("       x\r\n        ");
  Caret(8, 1);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"       x", ""})) << "an indent of 7 is not below 8 - 1: column 0";
  SetText("  y\r\n       x\r\n        ");
  Caret(8, 2);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"  y", "       x", "  "})) << "the row further up decides";
}

TEST_F(TextCommands, BackspaceInsideLeadingBlanksDeletesOne) {
  SetText("    x");
  Caret(2, 0);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"   x"}));
  editor.BackspaceUnindents = false;
  SetText("a\r\n    ");
  Caret(4, 1);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"a", "   "}));
}

TEST_F(TextCommands, BackspaceAtALineStartJoinsAndAtTheTextStartDoesNothing) {
  SetText("ab\r\ncd");
  Caret(0, 1);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"abcd"}));
  EXPECT_EQ(CaretPos(), (P{2, 0}));
  int records = editor.UndoBuffer->Count();
  Caret(0, 0);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"abcd"}));
  EXPECT_EQ(editor.UndoBuffer->Count(), records);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab", "cd"}));
}

TEST_F(TextCommands, DeleteAtALineEndJoinsAndUndoRestoresBoth) {
  SetText("ab\r\ncd\r\nef");
  Caret(2, 0);
  Run(cmdDeleteRight);
  EXPECT_EQ(Text(), (Strings{"abcd", "ef"}));
  EXPECT_EQ(CaretPos(), (P{2, 0}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab", "cd", "ef"}));
  EXPECT_EQ(CaretPos(), (P{2, 0}));
  Caret(2, 2);
  Run(cmdDeleteRight);
  EXPECT_EQ(Text(), (Strings{"ab", "cd", "ef"})) << "the end of the last row";
}

TEST_F(TextCommands, JoinHookShapesTheSecondLine) {
  SetText("ab\r\n   cd");
  editor.OnJoinLines = [](TAdvancedEditor&, const std::string&, std::string& second) {
    second.erase(0, second.find_first_not_of(' '));
  };
  Caret(2, 0);
  Run(cmdDeleteRight);
  EXPECT_EQ(Text(), (Strings{"abcd"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab", "   cd"}));
}

TEST_F(TextCommands, DeleteOnAnEmptyTextAddsALine) {
  Run(cmdDeleteRight);
  EXPECT_EQ(Text(), (Strings{""}));
}

TEST_F(TextCommands, SmartTabWalksTheWordsOfTheRowAbove) {
  SetText("int  count = 0;\r\n\r\n");
  Caret(0, 1);
  std::vector<int> stops;
  for (int i = 0; i < 5; ++i) {
    Press(vk::Tab);
    stops.push_back(editor.CaretX);
  }
  EXPECT_EQ(stops, (std::vector<int>{5, 11, 13, 15, 16}));
  EXPECT_EQ(Text()[1], std::string(16, ' '));
  editor.SmartTabs = false;
  SetText("int  count = 0;\r\n\r\n");
  Caret(0, 1);
  Press(vk::Tab);
  EXPECT_EQ(editor.CaretX, 4);
  Run(cmdUndo);
  EXPECT_EQ(Text()[1], "");
}

TEST_F(TextCommands, TabInOverwriteModeOnlyMoves) {
  SetText("abcdef");
  Run(cmdToggleOverwrite);
  Press(vk::Tab);
  EXPECT_EQ(Text(), (Strings{"abcdef"}));
  EXPECT_EQ(editor.CaretX, 4);
  Run(cmdBackTab);
  EXPECT_EQ(editor.CaretX, 8) << "back tab without a selection moves to the next stop";
  EXPECT_EQ(editor.NextTabStop(8), 12);
  EXPECT_EQ(editor.NextTabStop(3), 4);
}

TEST_F(TextCommands, TabOnASelectionIndentsLater) {
  SetText("a\r\nb");
  Run(cmdSelectAll);
  Press(vk::Tab);
  EXPECT_EQ(Text(), (Strings{"a", "b"})) << "queued, not yet run";
  RunPosted();
  EXPECT_EQ(Text(), (Strings{"    a", "    b"}));
  Run(cmdBackTab);
  RunPosted();
  EXPECT_EQ(Text(), (Strings{"a", "b"}));
}

TEST_F(TextCommands, UnindentRemovesUpToTheBlockIndent) {
  SetText("  a\r\nb\r\n      c");
  Run(cmdSelectAll);
  Run(cmdUnindentSelection);
  EXPECT_EQ(Text(), (Strings{"a", "b", "  c"}));
  int unindents = 0;
  for (int i = 0; i < editor.UndoBuffer->Count(); ++i)
    unindents += KindOf(editor.UndoBuffer->Item(i)) == TUndoKind::Unindent;
  EXPECT_EQ(unindents, 3);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"  a", "b", "      c"}));
}

TEST_F(TextCommands, ASelectionEndingAtColumnZeroLeavesThatLine) {
  SetText("0\r\n1\r\n2\r\n3\r\n4\r\n5 text\r\n6\r\n7\r\n8");
  Caret(3, 5);
  editor.ExtendSelection(3, 5);
  editor.ExtendSelection(0, 7);
  Run(cmdIndentSelection);
  Strings text = Text();
  EXPECT_EQ(text[5], "    5 text");
  EXPECT_EQ(text[6], "    6");
  EXPECT_EQ(text[7], "7");
  EXPECT_TRUE(editor.SelAvail);
}

TEST_F(TextCommands, DeleteLineRemovesTheLineButEmptiesTheLast) {
  SetText("a\r\nb\r\nc");
  Caret(0, 1);
  Run(cmdDeleteLine);
  EXPECT_EQ(Text(), (Strings{"a", "c"}));
  Caret(0, 1);
  Run(cmdDeleteLine);
  EXPECT_EQ(Text(), (Strings{"a", ""}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"a", "c"}));
  EXPECT_EQ(editor.GroupDepth, 0);
}

TEST_F(TextCommands, DeleteWordRightAndLeft) {
  SetText("one two three");
  Caret(4, 0);
  Run(cmdDeleteWordRight);
  EXPECT_EQ(Text(), (Strings{"one three"}));
  Caret(9, 0);
  Press(vk::Back, shift::Ctrl);
  EXPECT_EQ(Text(), (Strings{"one "}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"one three"}));
  SetText("ab\r\n\r\ncd");
  Caret(0, 1);
  Run(cmdDeleteWordRight);
  EXPECT_EQ(Text(), (Strings{"ab", "cd"})) << "on an empty row it joins";
}

}  // namespace

// With word wrap on, padding to a caret right of the wrap column re-wraps the
// line: the edit then acts on the padded text, not on a row that is too short.
class WrappedEdits : public TextCommands {
 protected:
  WrappedEdits() { editor.SetWordWrap(true); }
  std::int64_t CaretOffset() const { return editor.PosToOffset(editor.CaretX, editor.CaretY); }
};

TEST_F(WrappedEdits, BackspaceRightOfTheWrapColumnDeletesThePaddingBeforeTheCaret) {
  for (bool unindents : {false, true}) {
    SCOPED_TRACE(unindents);
    editor.BackspaceUnindents = unindents;
    editor.Modified = false;
    SetText("abc");
    Run(cmdLineEnd);
    Run(cmdCaretRight, 87);
    ASSERT_EQ(CaretPos(), (P{90, 0}));
    Run(cmdDeleteLeft);
    // The caret stays at the end of the padded text, left of where it was.
    const std::int64_t end = CaretOffset();
    EXPECT_EQ(Text(), (Strings{"abc" + std::string(static_cast<std::size_t>(end - 3), ' ')}));
    if (!unindents) {
      EXPECT_EQ(end, 89);
    }
    EXPECT_LT(end, 90);
    EXPECT_TRUE(editor.Modified);
    Run(cmdDeleteLeft);
    EXPECT_LT(CaretOffset(), end);
    Run(cmdUndo);
    EXPECT_EQ(Text(), (Strings{"abc"})) << "the Backspaces and the padding are one step";
  }
}

TEST_F(WrappedEdits, DeleteAtTheEndOfThePaddedLastLineJoinsNothing) {
  SetText("abc");
  Run(cmdLineEnd);
  Run(cmdCaretRight, 87);
  bool changed = false;
  editor.OnChange = [&](TAdvancedEditor&) { changed = true; };
  Run(cmdDeleteRight);
  EXPECT_EQ(Text(), (Strings{"abc" + std::string(87, ' ')}));
  EXPECT_EQ(CaretOffset(), 90);
  EXPECT_TRUE(changed) << "the padding changed the text";
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"abc"}));
}

TEST_F(WrappedEdits, UndoOfADeleteThatUnwrapsTheLineRestoresTheText) {
  std::string words;
  for (int i = 0; i < 16; ++i) words += "word ";
  SetText(words + "e\r\nnext");
  ASSERT_EQ(editor.Lines->GetRowCount(), 3);
  Caret(0, 1);
  Run(cmdDeleteRight);
  EXPECT_EQ(Text(), (Strings{words, "next"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{words + "e", "next"}));
  EXPECT_EQ(CaretOffset(), 80) << "before the restored character";
  // Backspace at the start of the row after a joined line, undone the same way.
  Caret(1, 1);
  Run(cmdDeleteLeft);
  EXPECT_EQ(Text(), (Strings{words, "next"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{words + "e", "next"}));
  EXPECT_EQ(CaretPos(), (P{1, 1}));
}
