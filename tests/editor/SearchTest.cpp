// Find, replace and go to line: what a search selects, what Replace All
// makes of a text, in Windows-1252 and UTF-8 documents, and across the
// chunks the search reads the text in.

#include <random>

#include "editor/EditSearch.h"
#include "tests/support/EditorFixture.h"

namespace {

class Search : public EditorTest {
 protected:
  // A UTF-8 document: its bytes, as loading gives them.
  void SetUtf8(const std::string& text) {
    editor.SetEncoding(TTextEncoding::Utf8);
    SetText(text);
  }
  std::string AllText() const {
    std::string all;
    for (const std::string& line : Text()) all += (all.empty() ? "" : "|") + line;
    return all;
  }
};

struct FindRow {
  const char* text;
  bool utf8;
  const char* pattern;
  TSearchOptions options;
  bool backwards;
  platform::Point caret;
  const char* selected;  // nullptr: nothing found
  platform::Point end;   // the caret after it
  bool wrapped;
};

TEST_F(Search, FindSelectsTheMatchTheUserSees) {
  const TSearchOptions plain{}, cased{true, false, false}, words{false, true, false}, regex{false, false, true};
  const FindRow rows[] = {
      {"abc abc", false, "abc", plain, false, {0, 0}, "abc", {3, 0}, false},
      {"x foo\r\nfoo", false, "FOO", plain, false, {1, 0}, "foo", {5, 0}, false},  // on the caret's line
      {"Foo foo", false, "foo", cased, false, {0, 0}, "foo", {7, 0}, false},
      {"foobar foo", false, "foo", words, false, {0, 0}, "foo", {10, 0}, false},
      {"a1 b22 c333", false, "\\d{3}", regex, false, {0, 0}, "333", {11, 0}, false},
      {"ab\r\ncd\r\nc", false, "^c", regex, false, {1, 0}, "c", {1, 1}, false},
      {"a.b axb", false, "x", plain, false, {0, 0}, "x", {6, 0}, false},
      {"a.b axb", false, ".", plain, false, {2, 0}, ".", {2, 0}, true},  // wraps round
      {"foo bar", false, "foo", plain, false, {7, 0}, "foo", {3, 0}, true},
      {"foo foo foo", false, "foo", plain, true, {8, 0}, "foo", {7, 0}, false},
      {"foo foo foo", false, "foo", plain, true, {2, 0}, "foo", {3, 0}, false},  // the match the caret is in
      {"foo foo foo", false, "foo", plain, true, {0, 0}, "foo", {11, 0}, true},
      {"abc", false, "z", plain, false, {1, 0}, nullptr, {1, 0}, false},
      {"caf\xE9 au lait", false, "CAFÉ", plain, false, {0, 0}, "caf\xE9", {4, 0}, false},  // Windows-1252
      {"мир: привет ПРИВЕТ", true, "ПРИВЕТ", cased, false, {0, 0}, "ПРИВЕТ", {33, 0}, false},
      {"мир: привет ПРИВЕТ", true, "ПРИВЕТ", plain, false, {0, 0}, "привет", {20, 0}, false},
      {"-é-ж", true, "\\w+", regex, false, {0, 0}, "é", {3, 0}, false},
      {"zé zéé", true, "é\\b", regex, false, {0, 0}, "é", {3, 0}, false},
      {"aé b", true, "(?<=é) b", regex, false, {0, 0}, " b", {5, 0}, false},
  };
  for (const FindRow& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " / " + r.pattern);
    if (r.utf8) {
      SetUtf8(r.text);
    } else {
      editor.SetEncoding(TTextEncoding::Windows1252);
      SetText(r.text);
    }
    Caret(r.caret.x, r.caret.y);
    const TFindOutcome out = FindAgain(editor, TTextSearch(r.pattern, r.options), r.backwards, true);
    EXPECT_EQ(out.Found, r.selected != nullptr);
    EXPECT_EQ(out.Wrapped, r.wrapped);
    EXPECT_EQ(Selected(), r.selected ? r.selected : "");
    EXPECT_EQ(CaretPos(), r.end);
  }
}

struct ReplaceRow {
  const char* text;
  bool utf8;
  const char* pattern;
  TSearchOptions options;
  const char* replacement;
  const char* result;  // lines joined by "|"
  std::int64_t count;
};

TEST_F(Search, ReplaceAllTable) {
  const TSearchOptions plain{}, words{false, true, false}, regex{false, false, true}, cased{true, false, true};
  const ReplaceRow rows[] = {
      {"a1 b2", false, "(\\w)(\\d)", regex, "$2$1", "1a 2b", 2},
      {"a1 b2", false, "(\\w)(\\d)", regex, "\\2-${1}$$\\\\", "1-a$\\ 2-b$\\", 2},
      {"abc", false, "(?<w>b)", regex, "[${w}]", "a[b]c", 1},
      {"foo", false, "o*", regex, "x", "xfxx", 3},
      {"a.b", false, ".", plain, "$1", "a$1b", 1},
      {"cat concat Cat", false, "cat", words, "dog", "dog concat dog", 2},
      {"one\r\ntwo\r\nthree", false, "^", regex, "> ", "> one|> two|> three", 3},
      {"k1\r\nk2", false, "\\r\\n", regex, "+", "k1+k2", 1},
      {"ÄPFEL äpfel Äpfel", true, "äpfel", plain, "Birne", "Birne Birne Birne", 3},
      {"ÄPFEL äpfel", true, "Äpfel", cased, "x", "ÄPFEL äpfel", 0},
      {"éab", true, "b", plain, "ж", "éaж", 1},
      {"é1 ж22", true, "(\\w)(\\d+)", regex, "$2$1", "1é 22ж", 2},
  };
  for (const ReplaceRow& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " / " + r.pattern + " / " + r.replacement);
    if (r.utf8) {
      SetUtf8(r.text);
    } else {
      editor.SetEncoding(TTextEncoding::Windows1252);
      SetText(r.text);
    }
    const std::int64_t n = ReplaceAllMatches(editor, TTextSearch(r.pattern, r.options), r.replacement, false);
    EXPECT_EQ(n, r.count);
    EXPECT_EQ(AllText(), r.result);
  }
  SetText("abc");
  EXPECT_THROW(TTextSearch("(", {false, false, true}), ESearchError);
  EXPECT_THROW(ReplaceAllMatches(editor, TTextSearch("(b)", {false, false, true}), "$2", false), ESearchError);
  EXPECT_EQ(Text(), (std::vector<std::string>{"abc"}));
}

// Replace All is one undo step, undone and redone whole; in a selection it
// changes only what is selected; Replace replaces the selected match and
// moves on to the next.
TEST_F(Search, ReplaceIsOneUndoStepAndRedoes) {
  SetText("x=1; y=22;\r\nz=333;");
  Caret(0, 0);
  const TTextSearch numbers("(\\w)=(\\d+)", {false, false, true});
  EXPECT_EQ(ReplaceAllMatches(editor, numbers, "$2=$1", false), 3);
  const std::vector<std::string> replaced{"1=x; 22=y;", "333=z;"};
  EXPECT_EQ(Text(), replaced);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (std::vector<std::string>{"x=1; y=22;", "z=333;"}));
  EXPECT_EQ(CaretPos(), (platform::Point{0, 0}));
  Run(cmdRedo);
  EXPECT_EQ(Text(), replaced);

  SetText("aaa aaa\r\naaa");
  Caret(2, 0);
  Run(cmdSelectRight, 4);  // "a aa"
  EXPECT_EQ(ReplaceAllMatches(editor, TTextSearch("a", {}), "b", true), 3);
  EXPECT_EQ(Text(), (std::vector<std::string>{"aab bba", "aaa"}));
  EXPECT_EQ(Selected(), "b bb");

  SetText("cat cat dog");
  const TTextSearch cat("cat", {});
  TFindOutcome next;
  EXPECT_FALSE(ReplaceSelectedMatch(editor, cat, "cow", false, true, next)) << "nothing selected: finds only";
  EXPECT_EQ(Selected(), "cat");
  EXPECT_TRUE(ReplaceSelectedMatch(editor, cat, "cow", false, true, next));
  EXPECT_EQ(Text(), (std::vector<std::string>{"cow cat dog"}));
  EXPECT_EQ(Selected(), "cat");
  EXPECT_EQ(CaretPos(), (platform::Point{7, 0}));
  EXPECT_TRUE(ReplaceSelectedMatch(editor, cat, "cow", false, true, next));
  EXPECT_FALSE(next.Found);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (std::vector<std::string>{"cow cat dog"})) << "each Replace is its own step";
}

// A replacement holding a character Windows-1252 has no byte for follows
// the rule typing follows in the same document: the document becomes UTF-8
// with it (one undo step), or the character is refused and nothing changes.
// Never a "?" in its place.
TEST_F(Search, ReplacingWithACharacterTheCodePageLacksPromotesOrRefusesAsTyping) {
  int refused = 0;
  editor.OnCharRefused = [&](TAdvancedEditor&, char32_t ch) { refused += ch == U'中'; };
  const TTextSearch a("a", {});
  // Typed ASCII, and with a byte read from outside (no UTF-8 can be made of it).
  for (const std::string text : {"a-a-a", "caf\xE9 a-a"}) {
    for (int how = 0; how < 3; ++how) {  // Replace All, Replace All in the selection "a-a", Replace
      SCOPED_TRACE(text + " / " + std::to_string(how));
      auto start = [&] {
        editor.SetEncoding(TTextEncoding::Windows1252);
        SetText(text);
        editor.ClearUndo();
        Caret(static_cast<int>(text.size()) - 3, 0);
        refused = 0;
      };
      start();
      editor.TypeCharacter(U'中');
      const bool promotes = editor.Utf8();
      ASSERT_EQ(refused, promotes ? 0 : 1);
      start();
      if (how == 1) Run(cmdSelectRight, 3);
      TFindOutcome next;
      const std::int64_t count = how < 2 ? ReplaceAllMatches(editor, a, "中", how == 1)
                                         : FindAgain(editor, a, false, false).Found &&
                                               ReplaceSelectedMatch(editor, a, "中", false, false, next);
      const char* replaced[] = {"中-中-中", "a-中-中", "a-中-a"};
      EXPECT_EQ(editor.Utf8(), promotes);
      EXPECT_EQ(refused, promotes ? 0 : 1);
      EXPECT_EQ(AllText(), promotes ? replaced[how] : text);
      EXPECT_EQ(count, !promotes ? (how < 2 ? kReplaceRefused : 0) : how == 0 ? 3 : how == 1 ? 2 : 1);
      EXPECT_EQ(next.Refused, how == 2 && !promotes);
      Run(cmdUndo);
      EXPECT_EQ(AllText(), text);
      EXPECT_FALSE(editor.Utf8()) << "undone with the replacement";
    }
  }
}

// A text of several megabytes: the search reads it in chunks, and matches
// that cross a chunk's edge, or span lines, are found as in the whole text.
TEST_F(Search, ChunkEdgesLoseNoMatch) {
  std::mt19937 rng(5);
  // A chunk of a megabyte ends right after "start" here.
  std::string text;
  for (int i = 0; i < 10485; ++i) text += std::string(98, 'b') + "\r\n";
  text += std::string(85, 'c') + "start\r\nend\r\n";
  while (text.size() < (5u << 20)) {
    std::string line(rng() % 120, 'a');
    for (char& c : line) c = "abcxyz "[rng() % 7];
    const unsigned dice = rng() % 3000;
    if (dice < 2) line += "start";  // half of them followed by a line "end"
    text += line + "\r\n";
    if (dice == 0) text += "end\r\n";
  }
  SetText(text);
  const std::string flat = editor.Lines->GetTextStr();
  // Every "start" at a line end followed by a line "end": counted in the flat text.
  const char* pattern = "start\\r\\nend$";
  std::int64_t want = 0;
  std::int64_t lastAt = -1;
  for (std::size_t p = flat.find("start\r\nend\r\n"); p != std::string::npos;
       p = flat.find("start\r\nend\r\n", p + 1)) {
    ++want;
    lastAt = static_cast<std::int64_t>(p);
  }
  ASSERT_GT(want, 3);
  const TTextSearch search(pattern, {true, false, true});
  TTextMatch m;
  std::int64_t found = 0, at = 0;
  while (search.FindForward(*editor.Lines, editor.Encoding(), at, INT64_MAX, false, m)) {
    EXPECT_EQ(flat.compare(static_cast<std::size_t>(m.Offset), 10, "start\r\nend"), 0);
    ++found;
    at = m.End();
  }
  EXPECT_EQ(found, want);
  ASSERT_TRUE(search.FindBackward(*editor.Lines, editor.Encoding(), 0, INT64_MAX, m));
  EXPECT_EQ(m.Offset, lastAt);
  // A greedy match over everything.
  ASSERT_TRUE(TTextSearch("^[\\s\\S]*$", {false, false, true})
                  .FindForward(*editor.Lines, editor.Encoding(), 0, INT64_MAX, false, m));
  EXPECT_EQ(m.Length, static_cast<std::int64_t>(flat.size()) - 2);
  EXPECT_EQ(ReplaceAllMatches(editor, search, "S", false), want);
  std::string expected = flat;
  for (std::size_t p = expected.find("start\r\nend\r\n"); p != std::string::npos;
       p = expected.find("start\r\nend\r\n", p))
    expected.replace(p, 10, "S");
  EXPECT_EQ(editor.Lines->GetTextStr(), expected);
}

TEST_F(Search, GoToLineCentresTheLineAndTypingLandsThere) {
  std::string text;
  for (int i = 1; i <= 1000; ++i) text += "line " + std::to_string(i) + "\r\n";
  SetText(text);
  GoToLine(editor, 500);
  EXPECT_EQ(CaretPos(), (platform::Point{0, 499}));
  EXPECT_LE(editor.TopRow, 499 - editor.VisibleRows / 2 + 1);
  EXPECT_GE(editor.TopRow, 499 - editor.VisibleRows / 2 - 1);
  Type("x");
  EXPECT_EQ(Text()[499], "xline 500");
  GoToLine(editor, 3, 4);
  EXPECT_EQ(CaretPos(), (platform::Point{3, 2}));
  GoToLine(editor, 99999, 99);
  EXPECT_EQ(CaretPos(), (platform::Point{9, 999})) << "past the end: the last line, at its end";

  struct Row {
    const char* text;
    bool ok;
    int line, column;
  };
  for (const Row& r : {Row{"500", true, 500, 0}, Row{" 12 : 7 ", true, 12, 7}, Row{"0", false, 0, 0},
                       Row{"a", false, 0, 0}, Row{"3:", false, 0, 0}, Row{"-2", false, 0, 0}}) {
    int line = 0, column = 0;
    EXPECT_EQ(ParseLineColumn(r.text, line, column), r.ok) << r.text;
    if (r.ok) {
      EXPECT_EQ((std::pair{line, column}), (std::pair{r.line, r.column})) << r.text;
    }
  }
}

}  // namespace
