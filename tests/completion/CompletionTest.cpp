// The completion engine with a fake pop-up: offering identifiers and
// templates, typing while the list is shown, keys, closing, inserting and its
// undo, placement of the list, the auto-popup timer and the auto-change pairs.

#include <gtest/gtest.h>

#include "editor/AdvCompletion.h"
#include "tests/support/EditorFixture.h"
#include "tests/support/FakeCompletionList.h"

namespace {

constexpr std::uint16_t kTimer = TAdvancedEditor::kCompletionTimer;

class CompletionTest : public EditorTest {
 protected:
  CompletionTest() : c(*editor.Completion) {
    c.Enabled = true;
    c.Identifiers = {"print=print a value", "printf=formatted print"};
    c.Templates = {"for=for loop=for (|;;)", "foreach=foreach loop=foreach ($ as |)",
                   "if=if statement=if (|)/n{/n}"};
  }
  void TextWithCaret(const std::string& text, int x, int y = 0) {
    SetText(text);
    Caret(x, y);
  }
  FakeCompletionList& List() { return *lists.last; }
  bool Shown() { return c.Active && lists.last && lists.last->visible; }

  FakeCompletionList::Installed lists;
  TCompletion& c;
};

// ---------------------------------------------------------------- word completion (402)

TEST_F(CompletionTest, WordCompletionOffersEveryIdentifierWithTheFirstMatchSelected) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  ASSERT_EQ(List().Count(), 2);
  EXPECT_EQ(List().mode, 0);
  EXPECT_EQ(List().items[0].Text, "print a value");
  EXPECT_EQ(List().items[1].Text, "formatted print");
  EXPECT_EQ(List().ItemIndex(), 0);
  EXPECT_EQ(List().style, platform::ListBoxStyle::OwnerDrawFixed);

  Press(vk::Return);
  EXPECT_FALSE(c.Active);
  EXPECT_FALSE(List().visible);
  EXPECT_EQ(Text(), std::vector<std::string>{"print"});
  EXPECT_EQ(CaretPos(), (platform::Point{5, 0}));
}

TEST_F(CompletionTest, ComparisonsIgnoreCase) {
  TextWithCaret("x = PRINTF", 10);
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), 1);
  Press(vk::Return);
  EXPECT_EQ(Text(), std::vector<std::string>{"x = printf"});
}

TEST_F(CompletionTest, TheCommandDoesNothingWhenDisabledOrReadOnly) {
  TextWithCaret("pr", 2);
  c.Enabled = false;
  Run(cmdCompleteWord);
  EXPECT_FALSE(c.Active);
  c.Enabled = true;
  editor.ReadOnly = true;
  Run(cmdCompleteWord);
  EXPECT_FALSE(c.Active);
  editor.ReadOnly = false;
  Run(cmdCompleteWord);
  EXPECT_TRUE(Shown());
}

TEST_F(CompletionTest, NothingIsOfferedFromAnEmptyList) {
  c.Identifiers.clear();
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});
}

// ---------------------------------------------------------------- keys and typing while shown

TEST_F(CompletionTest, TypingWordCharactersMovesTheSelectionAndKeepsTheListOpen) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  Type("intf");
  ASSERT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), 1);
  Press(vk::Back);  // "print"
  EXPECT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), 0);
  Type("z");  // matches nothing, the list stays
  EXPECT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), -1);
  Press(vk::Return);  // nothing selected: nothing inserted
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"printz"});
}

TEST_F(CompletionTest, ANonWordCharacterInsertsTheEntryThenItself) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  Type("(");
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"print("});
  EXPECT_EQ(CaretPos(), (platform::Point{6, 0}));

  Type(" pr");
  Run(cmdCompleteWord);
  Press(vk::Down);
  Type(" ");
  EXPECT_EQ(Text(), std::vector<std::string>{"print( printf "});
}

TEST_F(CompletionTest, EscapeClosesWithoutInserting) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  Press(vk::Escape);
  EXPECT_FALSE(c.Active);
  EXPECT_FALSE(List().visible);
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});
  EXPECT_EQ(CaretPos(), (platform::Point{2, 0}));
}

TEST_F(CompletionTest, ArrowAndPageKeysMoveTheSelectionOthersGoToTheEditor) {
  c.Identifiers.clear();
  for (int i = 0; i < 10; ++i)
    c.Identifiers.push_back("w" + std::to_string(i) + "=word " + std::to_string(i));
  TextWithCaret("w", 1);
  Run(cmdCompleteWord);
  ASSERT_EQ(List().ItemIndex(), 0);
  Press(vk::Down);
  EXPECT_EQ(List().ItemIndex(), 1);
  Press(vk::Next);  // six visible: a page is five items
  EXPECT_EQ(List().ItemIndex(), 6);
  Press(vk::Prior);
  EXPECT_EQ(List().ItemIndex(), 1);
  Press(vk::Up);
  EXPECT_EQ(List().ItemIndex(), 0);
  EXPECT_EQ(CaretPos(), (platform::Point{1, 0}));

  Press(vk::Left);  // not the list's: the caret moves, the list stays
  EXPECT_EQ(CaretPos(), (platform::Point{0, 0}));
  EXPECT_TRUE(Shown());
}

TEST_F(CompletionTest, AMousePressOrFocusLossInTheEditorClosesWithoutInserting) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  editor.MouseDown(TAdvancedEditor::kLeftButton, shift::None, 40, 40);
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});

  Caret(2, 0);
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  editor.FocusOut();
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});
}

TEST_F(CompletionTest, TheListsMouseAcceptsOrDismisses) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  List().index = 1;
  List().OnClose(false);  // released outside
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});

  Run(cmdCompleteWord);
  List().index = 1;
  List().OnClose(true);  // released on the second item
  EXPECT_EQ(Text(), std::vector<std::string>{"printf"});
  EXPECT_EQ(CaretPos(), (platform::Point{6, 0}));
}

// ---------------------------------------------------------------- hooks

TEST_F(CompletionTest, TheModeHookCanTakeOverOrEndTheList) {
  int calls = 0;
  bool take = true;
  editor.OnIdentifierCompletion = [&](TAdvancedEditor&, bool& handled) {
    ++calls;
    if (take) handled = true;
  };
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(c.Active);

  take = false;
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  Type("i");  // refreshed: the hook is asked again
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(Shown());

  // A hook that empties the list closes it on the next word character.
  editor.OnIdentifierCompletion = [&](TAdvancedEditor&, bool&) { c.Identifiers.clear(); };
  Type("n");
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"prin"});
}

TEST_F(CompletionTest, AdjustHookShapesTheInsertedText) {
  std::string typed;
  editor.OnAdjustCompletion = [&](TAdvancedEditor&, const std::string& word, std::string& result,
                                  const std::string& text) {
    typed = word;
    result = text + "()";
  };
  TextWithCaret("  pr", 4);
  Run(cmdCompleteWord);
  Press(vk::Return);
  EXPECT_EQ(typed, "pr");
  EXPECT_EQ(Text(), std::vector<std::string>{"  print()"});
  EXPECT_EQ(CaretPos(), (platform::Point{9, 0}));
}

TEST_F(CompletionTest, DrawAndMeasureHooksReachTheListEachTimeItIsShown) {
  int drawn = -1, measured = -1;
  bool drawnSelected = false;
  editor.OnCompletionDrawItem = [&](TAdvancedEditor&, platform::Canvas&, int index, const platform::Rect&,
                                    bool selected) {
    drawn = index;
    drawnSelected = selected;
  };
  editor.OnCompletionMeasureItem = [&](TAdvancedEditor&, int index, int& height) {
    measured = index;
    height = 20;
  };
  c.ListBoxStyle = platform::ListBoxStyle::OwnerDrawVariable;
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  ASSERT_TRUE(List().drawItem && List().measureItem);
  EXPECT_EQ(List().style, platform::ListBoxStyle::OwnerDrawVariable);
  RecordingCanvas canvas(100, 20);
  List().drawItem(canvas, 1, {0, 0, 100, 13}, true);
  int height = 13;
  List().measureItem(0, height);
  EXPECT_EQ(drawn, 1);
  EXPECT_TRUE(drawnSelected);
  EXPECT_EQ(measured, 0);
  EXPECT_EQ(height, 20);

  Press(vk::Escape);
  editor.OnCompletionDrawItem = nullptr;
  editor.OnCompletionMeasureItem = nullptr;
  Run(cmdCompleteWord);
  EXPECT_FALSE(List().drawItem);
  EXPECT_FALSE(List().measureItem);
}

// ---------------------------------------------------------------- templates (403)

TEST_F(CompletionTest, AnExactTemplateIsInsertedAtOnceIndentedToTheWord) {
  TextWithCaret("    if", 6);
  Run(cmdCompleteTemplate);
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), (std::vector<std::string>{"    if ()", "    {", "    }"}));
  EXPECT_EQ(CaretPos(), (platform::Point{8, 0}));
}

TEST_F(CompletionTest, TemplatesStartingWithTheWordAreOfferedElseAll) {
  TextWithCaret("fo", 2);
  Run(cmdCompleteTemplate);
  ASSERT_TRUE(Shown());
  ASSERT_EQ(List().Count(), 2);
  EXPECT_EQ(List().mode, 1);
  EXPECT_EQ(List().items[1].Text, "foreach loop");
  EXPECT_EQ(List().items[1].Name, "foreach");
  EXPECT_EQ(List().ItemIndex(), 0);
  Press(vk::Down);
  Press(vk::Return);
  EXPECT_EQ(Text(), std::vector<std::string>{"foreach ($ as )"});
  EXPECT_EQ(CaretPos(), (platform::Point{14, 0}));

  TextWithCaret("x", 1);
  Run(cmdCompleteTemplate);
  ASSERT_TRUE(Shown());
  EXPECT_EQ(List().Count(), 3);
  EXPECT_EQ(List().ItemIndex(), -1);
}

TEST_F(CompletionTest, TemplateCompletionDoesNothingWithoutTemplatesOrWhenTheHookTakesIt) {
  TextWithCaret("if", 2);
  editor.OnTemplateCompletion = [](TAdvancedEditor&, bool& handled) { handled = true; };
  Run(cmdCompleteTemplate);
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"if"});
  editor.OnTemplateCompletion = nullptr;
  c.Templates.clear();
  Run(cmdCompleteTemplate);
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"if"});
}

struct TemplateCase {
  const char* line;
  int caret;
  const char* body;
  std::vector<std::string> lines;
  platform::Point caretAfter;
};

class TemplateBodies : public CompletionTest, public ::testing::WithParamInterface<TemplateCase> {};

TEST_P(TemplateBodies, LineBreaksIndentAndTheCaretMarkIsRemoved) {
  const TemplateCase& t = GetParam();
  TextWithCaret(t.line, t.caret);
  c.Mode = 1;
  c.InsertCompletion(t.body);
  EXPECT_EQ(Text(), t.lines);
  EXPECT_EQ(CaretPos(), t.caretAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, TemplateBodies,
    ::testing::Values(
        // the word "fo" starts at column 5: following lines get four blanks
        TemplateCase{
            "x = fo;", 6, "foreach ($| as )/n{/n|}", {"x = foreach ($ as )", "    {", "    };"}, {14, 0}},
        // no caret mark: the caret goes after the text
        TemplateCase{"  en", 4, "end;/nbegin", {"  end;", "  begin"}, {7, 1}},
        // the mark on a later line counts the indentation
        TemplateCase{" w", 2, "while/n  |", {" while", "   "}, {3, 1}},
        // no word (two blanks before the caret): inserted at the caret, indented to it
        TemplateCase{"ab  ", 4, "{/n|}", {"ab  {", "    }"}, {4, 1}}));

// ---------------------------------------------------------------- inserting and undo

TEST_F(CompletionTest, OneUndoStepTakesBackTheWholeReplacement) {
  SetText("");
  Type("pr");
  Run(cmdCompleteWord);
  Press(vk::Return);
  ASSERT_EQ(Text(), std::vector<std::string>{"print"});
  editor.Undo();
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});
  EXPECT_EQ(CaretPos(), (platform::Point{2, 0}));
  editor.Undo();  // then the typing
  EXPECT_EQ(Text(), std::vector<std::string>{""});
}

TEST_F(CompletionTest, OneUndoStepTakesBackAMultiLineTemplate) {
  TextWithCaret("a\n    if\nb", 6, 1);
  Run(cmdCompleteTemplate);
  ASSERT_EQ(Text(), (std::vector<std::string>{"a", "    if ()", "    {", "    }", "b"}));
  editor.Undo();
  EXPECT_EQ(Text(), (std::vector<std::string>{"a", "    if", "b"}));
  EXPECT_EQ(CaretPos(), (platform::Point{6, 1}));
}

TEST_F(CompletionTest, WithoutAWordTheEntryGoesInAtTheCaretAndUndoRestoresTheText) {
  // The caret at the start of a line: the character before it is the line break.
  TextWithCaret("ab\ncd", 0, 1);
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), -1);
  Press(vk::Down);
  Press(vk::Return);
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab", "printcd"}));
  EXPECT_EQ(CaretPos(), (platform::Point{5, 1}));
  editor.Undo();
  EXPECT_EQ(Text(), (std::vector<std::string>{"ab", "cd"}));

  // After two delimiters the word rule finds no word at all.
  TextWithCaret("x((\nnext", 3);
  Run(cmdCompleteWord);
  Press(vk::Down);
  Press(vk::Return);
  EXPECT_EQ(Text(), (std::vector<std::string>{"x((print", "next"}));
  EXPECT_EQ(CaretPos(), (platform::Point{8, 0}));
  editor.Undo();
  EXPECT_EQ(Text(), (std::vector<std::string>{"x((", "next"}));
}

TEST_F(CompletionTest, AnEmptyLineStoreOffersEverythingAndTakesTheEntry) {
  editor.Lines->Clear();
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), -1);
  Press(vk::Down);
  Press(vk::Return);
  EXPECT_EQ(Text(), std::vector<std::string>{"print"});
  EXPECT_EQ(CaretPos(), (platform::Point{5, 0}));
}

TEST_F(CompletionTest, TheWholeWordAroundTheCaretIsReplaced) {
  TextWithCaret("a.pri(1)", 4);  // caret inside "pri"
  Run(cmdCompleteWord);
  Press(vk::Return);
  EXPECT_EQ(Text(), std::vector<std::string>{"a.print(1)"});
  EXPECT_EQ(CaretPos(), (platform::Point{7, 0}));
}

TEST_F(CompletionTest, AnInvalidModeRaisesAndChangesNothing) {
  TextWithCaret("pr", 5);  // in virtual space: not even padded
  c.Mode = 2;
  try {
    c.InsertCompletion("print");
    FAIL() << "no error";
  } catch (const EAdvEditError& e) {
    EXPECT_STREQ(e.what(), "Invalid Completion Mode");
  }
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});
  EXPECT_EQ(editor.UpdateCount, 0);
}

// ---------------------------------------------------------------- the auto-popup timer

TEST_F(CompletionTest, TypingStartsTheTimerAndItsTickShowsAnUnfinishedWord) {
  SetText("");
  c.Interval = 300;
  Type("pr");
  ASSERT_EQ(window.timers.count(kTimer), 1u);
  EXPECT_EQ(window.timers[kTimer], 300);
  editor.TimerTick(kTimer);
  EXPECT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), 0);
  EXPECT_EQ(window.timers.count(kTimer), 0u);
}

TEST_F(CompletionTest, TheTimerDoesNotShowAnExactWordButTheCommandDoes) {
  SetText("");
  Type("print");
  editor.TimerTick(kTimer);
  EXPECT_FALSE(c.Active);
  Run(cmdCompleteWord);
  ASSERT_TRUE(Shown());
  EXPECT_EQ(List().ItemIndex(), 0);
}

TEST_F(CompletionTest, TheTimerDoesNotShowWhenNothingMatches) {
  SetText("");
  Type("zz");
  editor.TimerTick(kTimer);
  EXPECT_FALSE(c.Active);
}

TEST_F(CompletionTest, TheTimerRunsOnlyWhenEnabledAndAKeyStopsIt) {
  SetText("");
  c.Enabled = false;
  Type("p");
  EXPECT_EQ(window.timers.count(kTimer), 0u);
  c.Enabled = true;
  Type("r");
  EXPECT_EQ(window.timers.count(kTimer), 1u);
  Press(vk::Left);
  EXPECT_EQ(window.timers.count(kTimer), 0u);
}

// ---------------------------------------------------------------- placement

TEST_F(CompletionTest, TheListOpensUnderTheCaretCell) {
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  // Cell (2, 1) is at (19, 16) in the window, (119, 116) on the screen; the
  // list stands out by the border; two items of 13 pixels and the border.
  EXPECT_EQ(List().bounds, (platform::Rect{117, 115, 417, 143}));
  EXPECT_EQ(List().itemHeight, 13);
}

TEST_F(CompletionTest, TheListFollowsTheScrolledView) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "pr\n";
  TextWithCaret(text, 2, 45);
  ASSERT_GT(editor.TopRow, 0);
  Run(cmdCompleteWord);
  const int rowBelow = 45 - editor.TopRow + 1;
  EXPECT_EQ(List().bounds.top, 100 + rowBelow * 16 - 1);
}

TEST_F(CompletionTest, NearTheBottomOfTheScreenTheListOpensAboveTheCaretRow) {
  window.screenOrigin = {100, 1000};
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  EXPECT_EQ(List().bounds.bottom, 1000);  // the caret row's top
  EXPECT_EQ(List().bounds.Height(), 28);

  // Unless above would leave the screen at the top as well.
  window.screenOrigin = {100, 0};
  window.screen = {0, 0, 1280, 40};
  Press(vk::Escape);
  Run(cmdCompleteWord);
  EXPECT_EQ(List().bounds.top, 15);
}

TEST_F(CompletionTest, SizeFollowsDropDownCountItemHeightAndWidth) {
  c.Identifiers.clear();
  for (int i = 0; i < 8; ++i) c.Identifiers.push_back("p" + std::to_string(i) + "=p");
  c.ItemHeight = 20;
  c.DropDownWidth = 0;
  TextWithCaret("p", 1);
  Run(cmdCompleteWord);
  EXPECT_EQ(List().bounds.Height(), 6 * 20 + 2);
  EXPECT_EQ(List().bounds.Width(), 800 + 2);
  EXPECT_EQ(List().itemHeight, 20);
}

// ---------------------------------------------------------------- entries, words, auto-change

TEST_F(CompletionTest, FieldsAreSplitBySeparator) {
  EXPECT_EQ(c.Field("a=b=c", 0), "a");
  EXPECT_EQ(c.Field("a=b=c", 1), "b");
  EXPECT_EQ(c.Field("a=b=c", 2), "c");
  EXPECT_EQ(c.Field("a=b=c", 3), "");
  EXPECT_EQ(c.Field("a==c", 1), "");
  EXPECT_EQ(c.Field("abc", 0), "abc");
  EXPECT_EQ(c.Field("abc", 1), "");
  c.Separator = "::";
  EXPECT_EQ(c.Field("x::y=z::w", 1), "y=z");
  c.Separator = "";
  EXPECT_EQ(c.Field("x=y", 0), "x=y");
  EXPECT_EQ(c.Field("x=y", 1), "");
}

TEST(CompletionWordChars, AreDigitsLettersUnderscoreBackspaceAndTheCyrillicLetters) {
  int high = 0;
  for (int b = 128; b < 256; ++b) high += TCompletion::IsWordChar(static_cast<char>(b));
  EXPECT_EQ(high, 66);
  EXPECT_TRUE(TCompletion::IsWordChar('\xA8'));  // Ё
  EXPECT_TRUE(TCompletion::IsWordChar('\xB8'));  // ё
  for (char ch : std::string("_09azAZ\b")) EXPECT_TRUE(TCompletion::IsWordChar(ch)) << int(ch);
  for (char ch : std::string(" (=.$-\t")) EXPECT_FALSE(TCompletion::IsWordChar(ch)) << int(ch);
}

TEST_F(CompletionTest, AutoChangePairsAreRebuiltOnEveryChange) {
  c.SetAutoChange({"Teh=the", "=skipped", "a=b=c", "longer=x"});
  ASSERT_EQ(c.AutoChangePairs.size(), 3u);
  EXPECT_EQ(c.AutoChangePairs[0].Word, "a");
  EXPECT_EQ(c.AutoChangePairs[0].Replacement, "b");
  EXPECT_EQ(c.AutoChangePairs[1].Word, "teh");
  EXPECT_EQ(c.AutoChangePairs[2].Word, "longer");
  EXPECT_EQ(c.AutoChange().size(), 4u);

  c.SetAutoChange({"xy=z"});
  ASSERT_EQ(c.AutoChangePairs.size(), 1u);
  EXPECT_EQ(c.AutoChangePairs[0].Word, "xy");
}

TEST_F(CompletionTest, WithoutAListFactoryNothingIsShown) {
  TCompletion::ListFactory = nullptr;
  TextWithCaret("pr", 2);
  Run(cmdCompleteWord);
  EXPECT_FALSE(c.Active);
  EXPECT_EQ(Text(), std::vector<std::string>{"pr"});
}

}  // namespace
