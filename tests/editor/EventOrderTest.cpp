// The order in which an edit tells the world: notifications, repaints and the
// steps undo takes back, for the editing paths a user meets. Every changed row
// is on screen before the change notification: the screen after an edit equals
// a full repaint of the new text.

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/EventLog.h"
#include "tests/support/FakeLinesOwner.h"

namespace {

using Strings = std::vector<std::string>;

class EventOrder : public ::testing::Test {
 protected:
  EventOrder() {
    editor.AttachWindow(&window);
    editor.SetWordWrap(false);
    LogNotifications(editor, window);
  }
  void Start(const std::string& text, int x = 0, int y = 0) {
    editor.Lines->SetTextStr(text);
    editor.MoveCaret(x, y);
    Settle();
  }
  // The screen is what a full repaint draws; the log starts afresh.
  void Settle() {
    auto [screen, repaint] = ScreenAndRepaint(editor, window);
    EXPECT_EQ(screen, repaint) << "a changed row was not painted";
    window.events.clear();
  }
  // What the last action told, after checking its rows reached the screen.
  std::string Told() {
    std::string told = window.Take();
    EXPECT_TRUE(window.statusAfterChange) << "the status follows the last change";
    Settle();
    return told;
  }
  // Undo until the history is exhausted: the text and caret after each step.
  std::string UndoSteps() {
    std::string out;
    for (int guard = 0; guard < 20 && editor.UndoBuffer->Position >= 0; ++guard) {
      editor.ExecuteCommand(cmdUndo);
      std::string text;
      for (const std::string& l : LinesOf(*editor.Lines)) text += (text.empty() ? "" : "|") + l;
      out += "[" + text + " @" + std::to_string(editor.CaretX) + "," + std::to_string(editor.CaretY) +
             (editor.SelAvail ? " sel" : "") + "] ";
    }
    Settle();
    return out;
  }

  LoggingWindow window;
  TAdvancedEditor editor;
};

TEST_F(EventOrder, TypedCharacter) {
  Start("abc", 1, 0);
  editor.KeyPress('x');
  EXPECT_EQ(Told(), "paint change");
  EXPECT_EQ(UndoSteps(), "[abc @1,0] ");
}

TEST_F(EventOrder, HeldNotificationsComeOnceAtTheLastRelease) {
  Start("abc", 1, 0);
  editor.HoldNotifications();
  editor.HoldNotifications();
  editor.KeyPress('x');
  editor.KeyPress('y');
  // The rows are painted and the document is modified at once; its watchers wait.
  EXPECT_TRUE(editor.Modified);
  EXPECT_EQ(window.Take(), "paint");
  editor.ReleaseNotifications();
  EXPECT_EQ(window.Take(), "");
  editor.ReleaseNotifications();
  EXPECT_EQ(Told(), "change");
  // A release with nothing held changes nothing: the next key is told at once.
  editor.ReleaseNotifications();
  editor.KeyPress('z');
  EXPECT_EQ(Told(), "paint change");
  // A watcher failing at the release leaves nothing held.
  editor.OnChange = [](TAdvancedEditor&) { throw std::runtime_error("watcher failed"); };
  editor.HoldNotifications();
  editor.KeyPress('w');
  EXPECT_THROW(editor.ReleaseNotifications(), std::runtime_error);
  LogNotifications(editor, window);
  window.events.clear();
  editor.KeyPress('v');
  EXPECT_EQ(Told(), "paint change");
  EXPECT_EQ(LinesOf(*editor.Lines)[0], "axyzwvbc");
}

TEST_F(EventOrder, PasteOverASelection) {
  Start("one\r\ntwo\r\nthree", 1, 0);
  editor.ExecuteCommand(cmdSelectRight);
  editor.ExecuteCommand(cmdSelectDown);
  window.events.clear();
  window.clipboard.SetText("A\r\nB");
  editor.ExecuteCommand(cmdPaste);
  EXPECT_EQ(Told(), "change invalidate");
  EXPECT_EQ(UndoSteps(), "[oo|three @1,0] [one|two|three @2,1 sel] [one|two|three @1,0] ");
}

TEST_F(EventOrder, BlockIndentAndUnindent) {
  Start("a\r\nb\r\nc\r\nd", 0, 0);
  editor.ExecuteCommand(cmdSelectDown);
  editor.ExecuteCommand(cmdSelectDown);
  window.events.clear();
  editor.ExecuteCommand(cmdIndentSelection);
  EXPECT_EQ(Told(), "invalidate change");
  editor.ExecuteCommand(cmdUnindentSelection);
  EXPECT_EQ(Told(), "invalidate change");
  EXPECT_EQ(UndoSteps(), "[    a|    b|c|d @0,2 sel] [a|b|c|d @0,2 sel] [a|b|c|d @0,0] ");
}

TEST_F(EventOrder, LineBreakAndBackspaces) {
  Start("abc\r\ndef", 3, 0);
  editor.ExecuteCommand(cmdLineBreak);
  EXPECT_EQ(Told(), "paint change");
  editor.ExecuteCommand(cmdDeleteLeft);
  EXPECT_EQ(Told(), "paint change");
  editor.ExecuteCommand(cmdSelectLeft);
  window.events.clear();
  editor.ExecuteCommand(cmdDeleteLeft);
  {
    const std::string told = Told();
    EXPECT_EQ(told.substr(told.size() - std::min<std::size_t>(told.size(), 12)), "paint change") << told;
  }
  EXPECT_EQ(UndoSteps(), "[abc|def @2,0 sel] [abc|def @3,0] [abc||def @0,1] [abc|def @3,0] ");
}

TEST_F(EventOrder, UndoOfAGroup) {
  Start("abc\r\ndef\r\nghi", 1, 1);
  editor.ExecuteCommand(cmdDeleteLine);
  EXPECT_EQ(Told(), "select change invalidate");
  editor.ExecuteCommand(cmdUndo);
  EXPECT_EQ(Told(), "select unselect paint invalidate change");
  EXPECT_EQ(UndoSteps(), "");
}

TEST_F(EventOrder, WrappedTypingMovesTheRowsBelow) {
  editor.SetWordWrap(true);
  Start(std::string(79, 'x') + "\r\nnext", 10, 0);
  editor.KeyPress('y');
  EXPECT_EQ(Told(), "paint change");
  editor.KeyPress('\b');
  editor.ExecuteCommand(cmdDeleteLeft);
  EXPECT_EQ(Told(), "paint change");
  EXPECT_EQ(UndoSteps(),
            "[xxxxxxxxxxyxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx|next @11,0] [" +
                std::string(79, 'x') + "|next @10,0] ");
}

TEST_F(EventOrder, LinesAssignment) {
  Start("abc", 2, 0);
  editor.KeyPress('x');
  window.events.clear();
  editor.Lines->SetTextStr("new\r\ntext");
  EXPECT_EQ(Told(), "invalidate");
  editor.Lines->Put(1, "changed");
  EXPECT_EQ(Told(), "invalidate");
  editor.Lines->Add("added");
  EXPECT_EQ(Told(), "invalidate");
  EXPECT_EQ(UndoSteps(), "");
}

}  // namespace
