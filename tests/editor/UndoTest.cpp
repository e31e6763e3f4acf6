// Undo: runs of the same kind, groups, the padding records and the history rules.

#include <random>

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

TEST_F(Undo, RedoWithNothingUndoneChangesNothing) {
  SetText("");
  Type("ab");
  Run(cmdRedo);
  EXPECT_EQ(Text(), (Strings{"ab"}));
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{""})) << "undo goes on as if there had been no redo";
  Run(cmdUndo);
  Run(cmdRedo);
  Run(cmdRedo);
  EXPECT_EQ(Text(), (Strings{"ab"})) << "one redo per undo that changed something";
}

// Random edits, then random undos and redos: every redo brings back exactly
// the text, caret and selection seen before the undo it takes back, and a
// new change leaves nothing to redo.
TEST_F(Undo, RedoTakesBackUndosInReverse) {
  struct State {
    std::vector<std::string> text;
    platform::Point caret;
    bool sel;
    TSelectionState s;
  };
  auto state = [&] { return State{Text(), CaretPos(), editor.SelAvail, editor.Selection()}; };
  auto same = [](const TSelectionState& a, const TSelectionState& b) {
    return a.SelMode == b.SelMode && a.SelStartX == b.SelStartX && a.SelStartY == b.SelStartY &&
           a.SelEndX == b.SelEndX && a.SelEndY == b.SelEndY;
  };
  std::mt19937 rng(377);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto edit = [&] {
    switch (pick(9)) {
      case 0:
        Type(std::string(1 + pick(3), static_cast<char>('a' + pick(26))));
        break;
      case 1:
        Press(vk::Return);
        break;
      case 2:
        Press(vk::Back);
        break;
      case 3:
        Press(vk::Delete);
        break;
      case 4:
        Press(pick(2) ? vk::Left : vk::Up);
        break;
      case 5:
        Press(vk::Right, shift::Shift);
        Press(vk::Right, shift::Shift);
        break;
      case 6:
        Run(cmdSelectAll);
        Run(cmdIndentSelection);
        break;
      case 7:
        Run(cmdDeleteLine);
        break;
      default:
        window.clipboard.SetText("pq\r\nr");
        Run(cmdPaste);
        break;
    }
  };
  for (int round = 0; round < 60; ++round) {
    editor.GroupUndo = round % 5 != 4;
    editor.SetWordWrap(round % 3 == 2);
    SetText("one two\r\nthree four five six seven eight nine ten eleven twelve thirteen fourteen fifteen\r\n");
    Caret(pick(8), pick(2));
    for (int i = 0, n = 3 + pick(25); i < n; ++i) edit();
    std::vector<State> seen{state()};  // seen[k]: after k undos
    std::size_t at = 0;
    for (int i = 0, n = 4 + pick(30); i < n; ++i) {
      const State before = state();
      if (pick(3) != 0) {
        const bool something = editor.UndoBuffer->CurrentRecord() != nullptr;
        Run(cmdUndo);
        if (!something) continue;
        seen.resize(++at);
        seen.push_back(state());
      } else {
        Run(cmdRedo);
        if (at == 0) {
          ASSERT_EQ(state().text, before.text) << "round " << round << ": nothing to redo";
          continue;
        }
        --at;
        const State now = state(), want = seen[at];
        ASSERT_EQ(now.text, want.text) << "round " << round << " step " << i;
        ASSERT_EQ(now.caret, want.caret) << "round " << round << " step " << i;
        ASSERT_EQ(now.sel, want.sel) << "round " << round << " step " << i;
        if (want.sel) {
          ASSERT_TRUE(same(now.s, want.s)) << "round " << round << " step " << i;
        }
      }
    }
    // A new change drops what could be redone.
    if (at > 0) {
      Run('z');
      const State typed = state();
      ASSERT_NE(typed.text, seen[at].text);
      Run(cmdRedo);
      ASSERT_EQ(state().text, typed.text) << "round " << round;
    }
  }
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
