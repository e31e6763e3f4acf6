// Editing a UTF-8 document: commands see whole characters, the screen sees
// columns, and a Windows-1252 document becomes UTF-8 for a character it has
// no byte for.

#include <random>

#include "editor/TextColumns.h"
#include "editor/Utf8.h"
#include "tests/support/EditorFixture.h"

namespace {

using Strings = std::vector<std::string>;
using P = platform::Point;

// Byte positions: C a f e+U+0301 = 0..5, space 6, 中 7, 文 10, 😀 13, space 17, a 18, b 19; 20 bytes.
// Columns:        0 1 2 3            space 4, 中 5-6, 文 7-8, 😀 9-10, space 11, a 12, b 13; 14 columns.
const std::string kLine = "Cafe\xCC\x81 \xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80 ab";
const std::string kBelow = "abcdefghijklmnop";

class Utf8Editing : public EditorTest {
 protected:
  void Utf8Text(const std::string& text) {
    editor.SetEncoding(TTextEncoding::Utf8);
    SetText(text);
  }
  // Pixel of a point inside a text cell (no gutter, 8 x 16 cells); `right`
  // takes the cell's right half.
  static int X(int column, bool right = false) { return 2 + column * 8 + (right ? 6 : 2); }
  static int Y(int row) { return row * 16 + 4; }
};

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    char32_t ch = 0;
    const int n = utf8::Decode(s, i, ch);
    if (n == 0) return false;
    i += static_cast<std::size_t>(n);
  }
  return true;
}

TEST_F(Utf8Editing, CommandsOnOneLineStepByWholeCharacters) {
  struct Case {
    const char* what;
    int x, y;
    std::vector<std::uint16_t> commands;
    P caret;
    int column;
    std::string line0;  // empty: unchanged
    std::string selected;
  };
  const Case cases[] = {
      {"right over a letter with its combining mark", 3, 0, {cmdCaretRight}, {6, 0}, 4, "", ""},
      {"right over CJK and emoji",
       6,
       0,
       {cmdCaretRight, cmdCaretRight, cmdCaretRight, cmdCaretRight},
       {17, 0},
       11,
       "",
       ""},
      {"left back over them", 17, 0, {cmdCaretLeft, cmdCaretLeft, cmdCaretLeft}, {7, 0}, 5, "", ""},
      {"left over the combining mark", 6, 0, {cmdCaretLeft}, {3, 0}, 3, "", ""},
      {"end of the row", 0, 0, {cmdLineEnd}, {20, 0}, 14, "", ""},
      {"past the end one column a step", 20, 0, {cmdCaretRight, cmdCaretRight}, {22, 0}, 16, "", ""},
      {"word right", 0, 0, {cmdWordRight, cmdWordRight}, {18, 0}, 12, "", ""},
      {"word left", 20, 0, {cmdWordLeft, cmdWordLeft}, {7, 0}, 5, "", ""},
      {"select right", 7, 0, {cmdSelectRight, cmdSelectRight}, {13, 0}, 9, "", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"select word", 10, 0, {cmdSelectWord}, {17, 0}, 11, "", "\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80"},
      {"delete a CJK character", 7, 0, {cmdDeleteRight}, {7, 0}, 5, "Cafe\xCC\x81 \xE6\x96\x87\xF0\x9F\x98\x80 ab", ""},
      {"backspace an emoji", 17, 0, {cmdDeleteLeft}, {13, 0}, 9, "Cafe\xCC\x81 \xE4\xB8\xAD\xE6\x96\x87 ab", ""},
      {"backspace a letter with its mark",
       6,
       0,
       {cmdDeleteLeft},
       {3, 0},
       3,
       "Caf \xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80 ab",
       ""},
      {"overwrite replaces one character",
       7,
       0,
       {cmdToggleOverwrite, 'x'},
       {8, 0},
       6,
       "Cafe\xCC\x81 x\xE6\x96\x87\xF0\x9F\x98\x80 ab",
       ""},
      {"delete word left", 17, 0, {cmdDeleteWordLeft}, {7, 0}, 5, "Cafe\xCC\x81  ab", ""},
      {"up into the right half of a wide character: its start", 6, 1, {cmdCaretUp}, {7, 0}, 5, "", ""},
      {"down keeps the column", 13, 0, {cmdCaretDown}, {9, 1}, 9, "", ""},
      {"tab stops at the columns of the word starts above", 20, 0, {cmdLineBreak, cmdTab, cmdTab}, {12, 1}, 12, "", ""},
  };
  for (const Case& c : cases) {
    Utf8Text(kLine + "\r\n" + kBelow);
    editor.InsertMode = true;
    Caret(c.x, c.y);
    for (std::uint16_t command : c.commands) Run(command);
    EXPECT_EQ(CaretPos(), c.caret) << c.what;
    EXPECT_EQ(editor.CaretColumn(), c.column) << c.what;
    EXPECT_EQ(Text()[0], c.line0.empty() ? kLine : c.line0) << c.what;
    EXPECT_EQ(Selected(), c.selected) << c.what;
    // The system caret stands at the caret's column.
    EXPECT_EQ(window.caretPos.x, editor.CellRect(c.column, 0).left - 1) << c.what;
  }
}

TEST_F(Utf8Editing, MouseAndTypingWorkInCharactersAndColumns) {
  Utf8Text(kLine);
  // 中 fills cells 5 and 6: the left half of it before it, the right half after it.
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(5, true), Y(0));
  EXPECT_EQ(CaretPos(), (P{7, 0}));
  editor.MouseUp(TAdvancedEditor::kLeftButton, 0, X(5, true), Y(0));
  editor.MouseDown(TAdvancedEditor::kLeftButton, 0, X(6), Y(0));
  EXPECT_EQ(CaretPos(), (P{10, 0}));
  // A drag to the middle of the emoji selects up to its end.
  editor.MouseMove(0, X(10), Y(0), true);
  editor.MouseUp(TAdvancedEditor::kLeftButton, 0, X(10), Y(0));
  EXPECT_EQ(Selected(), "\xE6\x96\x87\xF0\x9F\x98\x80");
  // A double click on 文 selects the word of wide characters.
  Run(cmdLineStart);
  Caret(10, 0);
  editor.DblClick();
  EXPECT_EQ(Selected(), "\xE4\xB8\xAD\xE6\x96\x87\xF0\x9F\x98\x80");

  // Typed characters: one undoable character each, whatever their length.
  Utf8Text("ab");
  Caret(1, 0);
  editor.TypeCharacter(U'\u00E9');
  editor.TypeCharacter(U'\u4E2D');
  editor.TypeCharacter(U'\U0001F600');
  EXPECT_EQ(Text(), (Strings{"a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"
                             "b"}));
  EXPECT_EQ(CaretPos(), (P{10, 0}));
  EXPECT_EQ(editor.CaretColumn(), 6);
  Run(cmdUndo);
  EXPECT_EQ(Text(), (Strings{"ab"})) << "one undo step for the run of typed characters";
  // A macro keeps the character and types it again.
  Run(cmdRecordMacro);
  editor.TypeCharacter(U'\U0001F600');
  Run(cmdRecordMacro);
  Run(cmdPlayMacro);
  EXPECT_EQ(Text(), (Strings{"a\xF0\x9F\x98\x80\xF0\x9F\x98\x80"
                             "b"}));
}

TEST_F(Utf8Editing, WrapCutsRowsAtColumnEighty) {
  const std::string cjk = "\xE4\xB8\xAD";  // two columns, three bytes
  auto times = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  struct Case {
    std::string line;
    Strings rows;
  } cases[] = {
      {times(cjk, 40), {times(cjk, 40)}},                   // exactly 80 columns
      {times(cjk, 50), {times(cjk, 40), times(cjk, 10)}},   // cut hard after 80 columns
      {"a" + times(cjk, 40), {"a" + times(cjk, 39), cjk}},  // a wide character does not straddle 80
      {times(cjk, 30) + " " + times(cjk, 30), {times(cjk, 30) + " ", times(cjk, 30)}},  // at the last space
  };
  editor.SetWordWrap(true);
  for (const Case& c : cases) {
    Utf8Text(c.line);
    Strings rows;
    for (int r = 0; r < editor.Lines->GetRowCount(); ++r) rows.push_back(editor.Lines->GetRow(r));
    EXPECT_EQ(rows, c.rows) << c.line;
  }
  // The same bytes read as Windows-1252 are cut at 80 bytes; switching the
  // encoding cuts them again.
  editor.SetEncoding(TTextEncoding::Windows1252);
  SetText(times(cjk, 40));
  EXPECT_EQ(editor.Lines->GetRowCount(), 2);
  editor.SetEncoding(TTextEncoding::Utf8);
  EXPECT_EQ(editor.Lines->GetRowCount(), 1);
  // Down from the end of a wrapped row keeps its column on the next.
  Utf8Text(times(cjk, 50) + "\r\n" + std::string(30, 'x'));
  Caret(3 * 10, 1);  // row 1, after ten wide characters: column 20
  Run(cmdCaretDown);
  EXPECT_EQ(CaretPos(), (P{20, 2}));
  Run(cmdCaretUp);
  Run(cmdCaretUp);
  EXPECT_EQ(CaretPos(), (P{30, 0}));
}

// What a reader takes for one character is one caret stop, one deletion and
// one cell run, however many code points it is made of.
TEST_F(Utf8Editing, ClustersOfSeveralCodePointsAreOneCharacter) {
  const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7\xE2\x80\x8D"
                             "\xF0\x9F\x91\xA6";                             // man ZWJ woman ZWJ girl ZWJ boy
  const std::string de = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";              // regional indicators D E
  const std::string jp = "\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5";              // J P
  const std::string thumb = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";           // thumbs up, skin tone
  const std::string kssi = "\xE0\xA4\x95\xE0\xA5\x8D\xE0\xA4\xB7\xE0\xA4\xBF";  // ka virama ssa i
  const std::string line = "a" + family + de + jp + thumb + kssi + "b";
  Utf8Text(line);
  std::vector<int> stops{0}, columns{0};
  Caret(0, 0);
  while (editor.CaretX < static_cast<int>(line.size())) {
    Run(cmdCaretRight);
    stops.push_back(editor.CaretX);
    columns.push_back(editor.CaretColumn());
  }
  EXPECT_EQ(stops, (std::vector<int>{0, 1, 26, 34, 42, 50, 62, 63}));
  EXPECT_EQ(columns, (std::vector<int>{0, 1, 3, 5, 7, 9, 11, 12}));
  // Typing between the flags keeps both; backspace takes a whole family.
  Caret(34, 0);
  editor.TypeCharacter(U'x');
  EXPECT_EQ(Text()[0], "a" + family + de + "x" + jp + thumb + kssi + "b");
  EXPECT_EQ(CaretPos(), (P{35, 0}));
  Caret(26, 0);
  Run(cmdDeleteLeft);
  EXPECT_EQ(Text()[0], "a" + de + "x" + jp + thumb + kssi + "b");
  // A regional indicator typed between two flags pairs with the one after
  // it: the caret goes after the new pair, never inside it.
  Utf8Text(de + jp);
  Caret(8, 0);
  editor.TypeCharacter(U'\U0001F1FA');
  EXPECT_EQ(CaretPos(), (P{16, 0}));
  Run(cmdCaretLeft);
  EXPECT_EQ(CaretPos(), (P{8, 0}));

  // Wrapping keeps a cluster on one row, and a space that carries a mark
  // is no place to cut.
  editor.SetWordWrap(true);
  struct Case {
    std::string line;
    Strings rows;
  } cases[] = {
      {std::string(79, 'a') + de, {std::string(79, 'a'), de}},
      {std::string(70, 'a') + " \xCC\x81" + std::string(20, 'b'),
       {std::string(70, 'a') + " \xCC\x81" + std::string(9, 'b'), std::string(11, 'b')}},
  };
  for (const Case& c : cases) {
    Utf8Text(c.line);
    Strings rows;
    for (int r = 0; r < editor.Lines->GetRowCount(); ++r) rows.push_back(editor.Lines->GetRow(r));
    EXPECT_EQ(rows, c.rows) << c.line;
  }
}

TEST_F(Utf8Editing, AWindows1252DocumentBecomesUtf8ForACharacterItHasNoByteFor) {
  SetText("abc");
  Caret(3, 0);
  editor.TypeCharacter(U'\u00E9');
  EXPECT_EQ(Text(), (Strings{"abc\xE9"})) << "a character of the code page keeps its byte";
  EXPECT_FALSE(editor.Utf8());
  editor.TypeCharacter(U'\u4E2D');
  EXPECT_TRUE(editor.Utf8());
  EXPECT_EQ(Text(), (Strings{"abc\xC3\xA9\xE4\xB8\xAD"}));
  EXPECT_EQ(CaretPos(), (P{8, 0}));
  Run(cmdUndo);
  EXPECT_FALSE(editor.Utf8()) << "undo gives back the encoding";
  EXPECT_EQ(Text(), (Strings{"abc\xE9"}));
  EXPECT_EQ(CaretPos(), (P{4, 0}));
  Run(cmdRedo);
  EXPECT_TRUE(editor.Utf8());
  EXPECT_EQ(Text(), (Strings{"abc\xC3\xA9\xE4\xB8\xAD"}));

  // Bytes of its own above 0x7F: the character is refused, nothing changes.
  editor.SetEncoding(TTextEncoding::Windows1252);
  SetText("caf\xE9");
  std::u32string refused;
  editor.OnCharRefused = [&](TAdvancedEditor&, char32_t ch) { refused += ch; };
  const int beeps = window.beeps;
  Caret(4, 0);
  editor.TypeCharacter(U'\U0001F600');
  EXPECT_EQ(Text(), (Strings{"caf\xE9"}));
  EXPECT_FALSE(editor.Utf8());
  EXPECT_EQ(refused, U"\U0001F600");
  EXPECT_EQ(window.beeps, beeps + 1);
}

// Random commands on a UTF-8 document, wrapped and not: the caret and the
// selection ends always stand at a character's start, the text stays UTF-8,
// and undoing everything gives back the text.
TEST_F(Utf8Editing, RandomCommandsKeepPositionsOnCharactersAndTheTextUtf8) {
  const std::string start = kLine + "\r\n  \xD0\x96\xD0\xB8\xD0\xB2 \xCE\xA9\xCE\xBC " + kLine + kLine + kLine + kLine +
                            "\r\n\r\n" + kBelow + "\xE2\x82\xAC";
  const std::uint16_t commands[] = {cmdCaretLeft,
                                    cmdCaretRight,
                                    cmdCaretUp,
                                    cmdCaretDown,
                                    cmdSelectLeft,
                                    cmdSelectRight,
                                    cmdSelectUp,
                                    cmdSelectDown,
                                    cmdWordLeft,
                                    cmdWordRight,
                                    cmdSelectWordLeft,
                                    cmdSelectWordRight,
                                    cmdSelectWord,
                                    cmdLineStart,
                                    cmdLineEnd,
                                    cmdDeleteLeft,
                                    cmdDeleteRight,
                                    cmdDeleteWordLeft,
                                    cmdDeleteWordRight,
                                    cmdDeleteLine,
                                    cmdLineBreak,
                                    cmdTab,
                                    cmdBackTab,
                                    cmdToggleOverwrite,
                                    cmdUndo,
                                    cmdRedo,
                                    cmdPageDown,
                                    cmdSelectPageUp};
  const char32_t typed[] = {U'x', U' ', U'\u00E9', U'\u0301', U'\u4E2D', U'\U0001F600', U'\u0416'};
  std::mt19937 rng(28);
  for (bool wrap : {false, true}) {
    editor.SetWordWrap(wrap);
    Utf8Text(start);
    for (int step = 0; step < 600; ++step) {
      const int pick = static_cast<int>(rng() % 40);
      if (pick < 28) {
        Run(commands[pick]);
        RunPosted();
      } else if (pick < 35) {
        editor.TypeCharacter(typed[pick - 28]);
      } else {
        const int x = static_cast<int>(rng() % 300), y = static_cast<int>(rng() % 120);
        editor.MouseDown(TAdvancedEditor::kLeftButton, pick == 39 ? shift::Shift : shift::None, x, y);
        editor.MouseUp(TAdvancedEditor::kLeftButton, 0, x, y);
      }
      auto atChar = [&](int x, int y) {
        if (!editor.RowExists(y)) return true;
        const std::string_view row = editor.Lines->RowView(y);
        return textcol::CharStart(TTextEncoding::Utf8, row, x) == x;
      };
      ASSERT_TRUE(atChar(editor.CaretX, editor.CaretY))
          << "step " << step << " caret " << editor.CaretX << "," << editor.CaretY;
      if (editor.SelAvail) {
        ASSERT_TRUE(atChar(editor.SelStartX, editor.SelStartY)) << "step " << step;
        ASSERT_TRUE(atChar(editor.SelEndX, editor.SelEndY)) << "step " << step;
      }
      for (const std::string& line : Text()) ASSERT_TRUE(ValidUtf8(line)) << "step " << step;
    }
    editor.InsertMode = true;
    for (int i = 0; i < 5000 && editor.UndoBuffer->Position >= 0; ++i) Run(cmdUndo);
    EXPECT_EQ(editor.Lines->GetTextStr(), start + "\r\n") << "wrap " << wrap;
  }
}

}  // namespace
