// The language aids of a document: line comments by language, matching
// brackets that skip strings and comments, and the words of completion.

#include <gtest/gtest.h>

#include "editor/AdvCompletion.h"
#include "editor/AdvEditComment.h"
#include "highlight/SourceAids.h"
#include "tests/support/FakeCompletionList.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/TempDir.h"

namespace {

using Strings = std::vector<std::string>;

class LanguageAids : public ::testing::Test {
 protected:
  LanguageAids() {
    editor.AttachWindow(&window);
    editor.SetWordWrap(false);
    aids::AttachCodeMask(editor);
  }
  void Open(const std::string& name, const std::string& bytes) {
    const std::string path = dir.File(name);
    WriteBytes(path, bytes);
    editor.LoadFile(path);
  }
  Strings Text() const {
    Strings out;
    for (int i = 0; i < editor.Lines->Count(); ++i) out.push_back(editor.Lines->Get(i));
    return out;
  }
  // Selects lines first .. last whole, as a drag from the start of one to the end of the other.
  void SelectLines(int first, int last) {
    editor.MoveCaret(0, first);
    editor.ExtendSelection(0, first);
    editor.ExtendSelection(editor.RowLength(last), last);
    editor.MoveCaret(editor.RowLength(last), last);
  }

  TempDir dir;
  FakeEditorWindow window;
  TSourceEditor editor;
};

// Each language's comment at the least indent of the lines, blank lines
// left alone; the same command takes it away again, and undo takes either
// back in one step.
TEST_F(LanguageAids, ToggleCommentPerLanguageAtTheLeastIndentAndBackAsOneUndoStep) {
  struct Case {
    const char* file;
    const char* text;
    int first, last;
    Strings commented;
  };
  const Case cases[] = {
      {"a.php", "<?php\r\n  if ($a) {\r\n\r\n    f();\r\n  }\r\n?>", 1, 4,
       {"<?php", "  // if ($a) {", "", "  //   f();", "  // }", "?>"}},
      {"b.php", "<p>\r\n  <b>x</b>\r\n</p>", 0, 1, {"<!-- <p> -->", "<!--   <b>x</b> -->", "</p>"}},
      {"c.html", "<script>\r\n  var a;\r\n</script>", 1, 1, {"<script>", "  // var a;", "</script>"}},
      {"d.c", "int a;\r\n    int b;", 0, 1, {"// int a;", "//     int b;"}},
      {"e.java", "  class A {}", 0, 0, {"  // class A {}"}},
      {"f.pas", "begin\r\nend.", 1, 1, {"begin", "// end."}},
      {"g.xml", "<a>\r\n</a>", 0, 0, {"<!-- <a> -->", "</a>"}},
      {"h.css", "p { }", 0, 0, {"/* p { } */"}},
      {"i.js", "x();", 0, 0, {"// x();"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Open(c.file, c.text);
    const Strings original = Text();
    SelectLines(c.first, c.last);
    aids::ToggleComment(editor);
    EXPECT_EQ(Text(), c.commented);
    editor.ExecuteCommand(cmdUndo);
    EXPECT_EQ(Text(), original) << "one undo step";
    editor.ExecuteCommand(cmdRedo);
    EXPECT_EQ(Text(), c.commented);
    SelectLines(c.first, c.last);
    aids::ToggleComment(editor);
    EXPECT_EQ(Text(), original) << "toggled back";
  }
}

TEST(LineComments, MixedLinesAreCommentedAndTheCaretLineAlone) {
  // Some lines commented, some not: all get a comment.
  EXPECT_EQ(comments::Toggled({"  // a", "  b"}, "//", ""), (Strings{"  // // a", "  // b"}));
  // All commented, with or without the blank after the marker.
  EXPECT_EQ(comments::Toggled({"  //a", "    // b", ""}, "//", ""), (Strings{"  a", "    b", ""}));
  EXPECT_EQ(comments::Toggled({"<!--x-->"}, "<!--", "-->"), (Strings{"x"}));
  // Only blank lines: nothing to do.
  EXPECT_EQ(comments::Toggled({"", "   "}, "//", ""), (Strings{"", "   "}));
  // A line too short to hold both markers is not commented.
  EXPECT_EQ(comments::Toggled({"<!-->"}, "<!--", "-->"), (Strings{"<!-- <!--> -->"}));
}

TEST_F(LanguageAids, ToggleCommentWithoutSelectionTakesTheCaretLineAndKeepsTheCaretOnItsCharacter) {
  Open("a.php", "<?php\r\n  $a = 1;\r\n  $b = 2;");
  editor.MoveCaret(4, 1);  // before "="
  aids::ToggleComment(editor);
  EXPECT_EQ(Text(), (Strings{"<?php", "  // $a = 1;", "  $b = 2;"}));
  EXPECT_EQ(editor.CaretX, 7);
  aids::ToggleComment(editor);
  EXPECT_EQ(Text(), (Strings{"<?php", "  $a = 1;", "  $b = 2;"}));
  EXPECT_EQ(editor.CaretX, 4);
}

// Partners found over lines, skipping brackets in strings and comments
// (as the highlighter colours them), other kinds, and never past the bound.
TEST_F(LanguageAids, BracketPartnersSkipStringsAndCommentsAndStayWithinTheBound) {
  Open("a.php",
       "<?php\r\n"
       "if (f(\"(\") && $a[')']) { // }\r\n"
       "  /* { */ g(\"}\");\r\n"
       "  # )\r\n"
       "}\r\n"
       "?>(");
  const TAdvLines& lines = *editor.Lines;
  const TCodeMask& mask = editor.BracketCodeMask;
  struct Pair {
    TTextSpot at, partner;
  };
  const Pair pairs[] = {
      {{1, 3}, {1, 21}},   // if ( ... )
      {{1, 5}, {1, 9}},    // f( ... ) past "("
      {{1, 16}, {1, 20}},  // $a[ ... ] past ')'
      {{1, 23}, {4, 0}},   // { past "// }", "/* { */", "}" and "# )"
      {{4, 0}, {1, 23}},   // and back
      {{2, 11}, {2, 15}},  // g( ... )
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(brackets::Partner(lines, mask, p.at), p.partner) << p.at.Line << ":" << p.at.Pos;
  }
  EXPECT_FALSE(brackets::Partner(lines, mask, {1, 7}).Valid()) << "a bracket inside a string has none";
  EXPECT_FALSE(brackets::Partner(lines, mask, {5, 2}).Valid()) << "an unpaired one has none";
  EXPECT_FALSE(brackets::Partner(lines, mask, {1, 23}, 40).Valid()) << "the partner lies beyond the bound";
  EXPECT_TRUE(brackets::Partner(lines, mask, {1, 23}, 80).Valid());
  // The caret stands before a bracket or after one.
  EXPECT_EQ(brackets::AtCaret(lines, mask, 1, 3), (TTextSpot{1, 3}));
  EXPECT_EQ(brackets::AtCaret(lines, mask, 1, 4), (TTextSpot{1, 3}));
  EXPECT_FALSE(brackets::AtCaret(lines, mask, 1, 8).Valid()) << "next to the bracket of the string";

  // The marks follow the caret only while the option is on; the jump keeps the caret's side.
  editor.MoveCaret(4, 1);
  editor.ExecuteCommand(cmdCaretRight);
  EXPECT_EQ(editor.BracketMarkIn(1, 0), std::size_t(-1)) << "off by default";
  editor.SetBracketHighlight(true);
  editor.ExecuteCommand(cmdCaretLeft);  // after "if ("
  EXPECT_EQ(editor.BracketMarkIn(1, 0), 3u);
  EXPECT_EQ(editor.BracketMarkIn(1, 1), 21u);
  EXPECT_TRUE(editor.GotoMatchingBracket());
  EXPECT_EQ((platform::Point{editor.CaretX, editor.CaretY}), (platform::Point{22, 1}));
  editor.MoveCaret(23, 1);  // before "{"
  EXPECT_TRUE(editor.GotoMatchingBracket());
  EXPECT_EQ((platform::Point{editor.CaretX, editor.CaretY}), (platform::Point{0, 4}));
  EXPECT_EQ(editor.BracketMarkIn(4, 0), 0u);
  EXPECT_EQ(editor.BracketMarkIn(1, 1), 23u);
  editor.SetBracketHighlight(false);
  EXPECT_EQ(editor.BracketMarkIn(4, 0), std::size_t(-1));
}

// The document's identifiers and the PHP words, each once, sorted; the word
// being typed only when it stands elsewhere too. Ctrl+Space's command shows them.
TEST_F(LanguageAids, CompletionOffersTheDocumentsIdentifiersAndThePHPWords) {
  FakeCompletionList::Installed lists;
  Open("a.php", "<?php\r\n$total = count($items);\r\nmy_helper($total);\r\nstr_re");
  editor.MoveCaret(6, 3);
  const Strings words = aids::CompletionWords(editor);
  EXPECT_TRUE(std::is_sorted(words.begin(), words.end()));
  EXPECT_EQ(std::adjacent_find(words.begin(), words.end()), words.end()) << "each once";
  for (const char* w : {"total", "items", "my_helper", "count", "str_replace", "php"})
    EXPECT_TRUE(std::binary_search(words.begin(), words.end(), w)) << w;
  EXPECT_FALSE(std::binary_search(words.begin(), words.end(), "str_re")) << "the word being typed";

  editor.ExecuteCommand(cmdCompleteWord);
  EXPECT_FALSE(editor.Completion->Active) << "off by default";
  aids::SetCompletion(editor, true);
  editor.KeyPress('p');
  editor.KeyPress('l');
  editor.ExecuteCommand(cmdCompleteWord);
  ASSERT_TRUE(editor.Completion->Active);
  std::uint16_t enter = vk::Return;
  editor.KeyDown(enter, shift::None);
  EXPECT_EQ(editor.Lines->Get(3), "str_replace");
  aids::SetCompletion(editor, false);
  EXPECT_FALSE(editor.Completion->Enabled);
}

}  // namespace
