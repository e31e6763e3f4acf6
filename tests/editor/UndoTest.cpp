// Undo: runs of the same kind, groups, the padding records and the history rules.

#include "tests/support/EditorFixture.h"

namespace {

using Strings = std::vector<std::string>;
using P = platform::Point;

class Undo : public EditorTest {};

TEST_F(Undo, TypingCaretMovesAndTypingAgainAreThreeSteps) {
  SetText("");
  Type("abc");
  Run(cmdCaretLeft, 2);
  Type("x");
  EXPECT_EQ(Text(), (Strings{"axbc"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"abc"}));
  Run(cmdUndo);
  EXPECT_EQ(CaretPos(), (P{3, 0})) << "the caret goes back to the end of abc";
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""})) << "an exhausted history does nothing";
}

TEST_F(Undo, WithoutGroupUndoEveryRecordIsAStep) {
  editor.GroupUndo = false;
  SetText("");
  Type("abc");
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab"}));
  Run(cmdUndo, 2);
  EXPECT_EQ(Text(), (Strings{""}));
}

TEST_F(Undo, BackspaceRunRestoresWithTheCaretAtItsEnd) {
  SetText("hello");
  Caret(5, 0);
  Press(vk::Back);
  Press(vk::Back);
  Press(vk::Back);
  EXPECT_EQ(Text(), (Strings{"he"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"hello"}));
  EXPECT_EQ(CaretPos(), (P{5, 0}));
}

TEST_F(Undo, DeleteRunRestoresWithTheCaretAtItsStart) {
  SetText("hello");
  Run(cmdDeleteRight, 3);
  EXPECT_EQ(Text(), (Strings{"lo"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"hello"}));
  EXPECT_EQ(CaretPos(), (P{0, 0}));
}

TEST_F(Undo, PaddingBlanksGoWithTheCharacterTyped) {
  SetText("ab");
  Caret(7, 0);
  Type("x");
  EXPECT_EQ(Text(), (Strings{"ab     x"}));
  ASSERT_EQ(editor.UndoBuffer->Count(), 2);  // blanks, character
  EXPECT_EQ(KindOf(editor.UndoBuffer->Item(0)), TUndoKind::ReLine);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab"}));
}

TEST_F(Undo, PaddingLinesBelowTheText) {
  editor.CaretBeyondEOF = true;
  SetText("ab");
  Caret(2, 3);
  Type("x");
  EXPECT_EQ(Text(), (Strings{"ab", "", "", "  x"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab"}));
}

// The records PadToCaret makes: (x, y, text) of each, in order.
struct ReLine {
  int x, y;
  std::string text;
  bool operator==(const ReLine&) const = default;
};
std::vector<ReLine> ReLines(const TUndoBuffer& history) {
  std::vector<ReLine> out;
  for (int i = 0; i < history.Count(); ++i) {
    if (const auto* r = std::get_if<TReLineUndo>(&history.Item(i))) out.push_back({r->X, r->Y, r->Text});
  }
  return out;
}

TEST_F(Undo, PadToCaretAddsLinesAndBlanksWithTheirRecords) {
  editor.CaretBeyondEOF = true;
  SetText("ab");
  Caret(5, 2);
  editor.PadToCaret();
  EXPECT_EQ(Text(), (Strings{"ab", "", "     "}));
  EXPECT_EQ(ReLines(*editor.UndoBuffer), (std::vector<ReLine>{{2, 0, "\r\n"}, {0, 1, "\r\n"}, {0, 2, "     "}}));
  EXPECT_EQ(editor.UpdateCount, 0);
}

TEST_F(Undo, PadToCaretOnAnEmptyStoreRecordsNoBreakForTheFirstLine) {
  editor.Lines->Clear();
  editor.ClearUndo();
  Caret(2, 0);
  editor.PadToCaret();
  EXPECT_EQ(Text(), (Strings{"  "}));
  EXPECT_EQ(ReLines(*editor.UndoBuffer), (std::vector<ReLine>{{0, 0, "  "}}));
  editor.ClearUndo();
  Caret(1, 0);
  editor.PadToCaret();
  EXPECT_TRUE(ReLines(*editor.UndoBuffer).empty()) << "a caret inside the text needs nothing";
}

TEST_F(Undo, ReplacingASelectionByTypingIsTwoSteps) {
  SetText("one word");
  Caret(4, 0);
  Run(cmdSelectWordRight);
  Type("X");
  EXPECT_EQ(Text(), (Strings{"one X"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"one "}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"one word"}));
  EXPECT_EQ(Selected(), "word") << "the deleted word is selected again";
}

TEST_F(Undo, IndentOfThreeLinesAndItsUndo) {
  SetText("a\r\nb\r\nc\r\nd");
  Caret(0, 0);
  Run(cmdSelectDown, 2);
  Run(cmdSelectLineEnd);
  Run(cmdIndentSelection);
  EXPECT_EQ(Text(), (Strings{"    a", "    b", "    c", "d"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"a", "b", "c", "d"}));
  EXPECT_EQ(Selected(), "a\r\nb\r\nc");
  EXPECT_EQ(CaretPos(), (P{1, 2}));
}

TEST_F(Undo, NestedGroupsAreOneStep) {
  SetText("");
  Run(cmdBeginGroup);
  Type("a");
  Run(cmdBeginGroup);
  Run(cmdCaretLeft);
  Type("b");
  Run(cmdEndGroup);
  Type("c");
  Run(cmdEndGroup);
  Type("d");
  EXPECT_EQ(Text(), (Strings{"bcda"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"bca"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""}));
  EXPECT_EQ(editor.GroupDepth, 0);
}

TEST_F(Undo, NewRecordsCutOffWhatWasUndone) {
  SetText("");
  Type("ab");
  Run(cmdCaretLeft);
  Run(cmdUndo);  // the caret move
  Type("c");
  EXPECT_EQ(Text(), (Strings{"abc"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""})) << "the typing is one run again: the caret record is gone";
}

TEST_F(Undo, RedoFailsAndChangesNothing) {
  SetText("");
  Type("ab");
  try {
    Run(cmdRedo);
    FAIL() << "no error";
  } catch (const EAdvEditError& e) {
    EXPECT_STREQ(e.what(), "Redo not yet implemented");
  }
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""}));
}

TEST_F(Undo, CaretMovesAreOneStepAndUndoSetsModified) {
  SetText("a\r\nb\r\nc\r\nd");
  editor.Modified = false;
  Run(cmdCaretDown, 3);
  Run(cmdUndo);
  EXPECT_EQ(CaretPos(), (P{0, 0}));
  EXPECT_TRUE(editor.Modified) << "every undo counts as a change";
}

TEST_F(Undo, RecordsMadeWhileUndoingAreDropped) {
  SetText("x");
  Type("ab");
  int count = editor.UndoBuffer->Count();
  editor.OnChange = [&](TAdvancedEditor& e) {
    if (e.UndoBuffer->Undoing) e.MoveCaretUndoable(0, 0);
  };
  Run(cmdUndo);
  EXPECT_EQ(editor.UndoBuffer->Count(), count) << "nothing was added";
}

}  // namespace
