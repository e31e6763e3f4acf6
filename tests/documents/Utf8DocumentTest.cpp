// UTF-8 documents: kept as their UTF-8 bytes, whatever characters they hold,
// and saved as they are; every other file read and written as bytes, as the
// line store alone does it.

#include <gtest/gtest.h>

#include <string>

#include "editor/EditSearch.h"
#include "editor/Utf8.h"
#include "highlight/source_editor.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/TempDir.h"

namespace {

// Real sources: accents, the euro sign, typographic quotes and dashes,
// Polish, Cyrillic and Greek.
const std::string kSource =
    "<?php\r\n"
    "// Größe: 5 € – „Zitat“, «guillemets» — ‘single’ “double” … café naïve\r\n"
    "echo 'Zażółć gęślą jaźń. ZAŻÓŁĆ GĘŚLĄ JAŹŃ';\r\n"
    "$ru = \"Съешь же ещё этих мягких французских булок, да выпей чаю\";\r\n"
    "$el = \"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία\";\r\n"
    "?>\r\n";

std::string Utf8Of(char32_t ch) {
  char form[4];
  return std::string(form, static_cast<std::size_t>(utf8::Encode(ch, form)));
}

// `count` distinct characters from `first` on, in UTF-8.
std::string CharRun(char32_t first, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += Utf8Of(first + static_cast<char32_t>(i));
  return out;
}

// A source with more than 300 distinct characters outside ASCII: Latin with
// diacritics, Greek, Cyrillic, CJK and emoji, as a formatting table of a
// web application holds them.
std::string ManyScripts() {
  const std::string lines[] = {
      "<?php // " + CharRun(0xC0, 64) + CharRun(0x100, 64),              // Latin-1, Latin Extended-A
      "$el = '" + CharRun(0x391, 17) + CharRun(0x3B1, 25) + "';",        // Greek
      "$ru = '" + CharRun(0x410, 64) + "';",                             // Cyrillic
      "$zh = '" + CharRun(0x4E00, 80) + "'; // " + CharRun(0x3041, 20),  // CJK, hiragana
      "$emoji = '" + CharRun(0x1F600, 40) + "';",                        // emoji
      "?>",
  };
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

int DistinctNonAscii(const std::string& text) {
  std::u32string seen;
  for (std::size_t i = 0; i < text.size();) {
    char32_t ch = 0;
    const int n = utf8::Decode(text, i, ch);
    if (n <= 0) return -1;
    if (ch >= 0x80 && seen.find(ch) == std::u32string::npos) seen += ch;
    i += static_cast<std::size_t>(n);
  }
  return static_cast<int>(seen.size());
}

class Utf8Document : public ::testing::Test {
 protected:
  Utf8Document() {
    editor.AttachWindow(&window);
    editor.OnCharRefused = [this](TAdvancedEditor&, char32_t ch) { refused += ch; };
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir.File(name);
    WriteBytes(path, bytes);
    return path;
  }

  TempDir dir;
  FakeEditorWindow window;
  TSourceEditor editor;
  std::u32string refused;
};

TEST_F(Utf8Document, RealSourcesComeBackByteForByte) {
  ASSERT_GT(DistinctNonAscii(ManyScripts()), 300);
  struct Case {
    const char* name;
    std::string bytes, saved;  // saved: empty when the same as read
  } cases[] = {
      {"source.php", kSource, ""},
      {"many-scripts.php", ManyScripts(), ""},
      {"many.php",
       [] {
         std::string many;
         for (int i = 0; i < 300; ++i) many += kSource;
         return many;
       }(),
       ""},
      {"bom-ascii.txt", "\xEF\xBB\xBFplain\r\n", ""},
      // LF line ends become CR LF and a TAB four blanks; the byte-order mark stays.
      {"bom.txt",
       "\xEF\xBB\xBF\xC2\xBB"
       "a\tb\xE2\x80\x94\n\xCE\xA9\n",
       "\xEF\xBB\xBF\xC2\xBB"
       "a    b\xE2\x80\x94\r\n\xCE\xA9\r\n"},
      // The first character outside ASCII past the first megabytes read.
      {"late.php", std::string(2'500'000, 'x') + "\r\n\xC3\xA9\r\n", ""},
      {"moved.txt", "\xC5\x82 \xC3\x80\r\n", ""},
      // More characters without a byte in Windows-1252 than a byte has values.
      {"cjk.txt", CharRun(0x4E00, 300) + "\r\n", ""},
      {"cjk-and-a-1252-letter.txt", "\xC3\xA9" + CharRun(0x4E00, 126), "\xC3\xA9" + CharRun(0x4E00, 126) + "\r\n"},
  };
  for (const Case& c : cases) {
    const std::string path = Write(c.name, c.bytes);
    editor.LoadFile(path);
    EXPECT_TRUE(editor.Utf8()) << c.name;
    editor.Save();
    EXPECT_EQ(ReadBytes(path), c.saved.empty() ? c.bytes : c.saved) << c.name;
  }
  // The byte-order mark is no character of the text: what is typed at the
  // start goes after it.
  editor.LoadFile(dir.File("bom.txt"));
  EXPECT_EQ(editor.Lines->Get(0),
            "\xC2\xBB"
            "a    b\xE2\x80\x94");
  editor.KeyPress('x');
  editor.Save();
  EXPECT_EQ(ReadBytes(dir.File("bom.txt")),
            "\xEF\xBB\xBFx\xC2\xBB"
            "a    b\xE2\x80\x94\r\n\xCE\xA9\r\n");
  // The lines are the file's bytes.
  editor.LoadFile(dir.File("source.php"));
  EXPECT_EQ(editor.Lines->Get(4), "$el = \"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία\";");
  EXPECT_FALSE(editor.FileModified);
}

TEST_F(Utf8Document, CharactersInsertedIntoAManyScriptFileAreSavedAsUtf8) {
  const std::string path = Write("many-scripts.php", ManyScripts());
  editor.SetWordWrap(false);  // rows are lines
  editor.LoadFile(path);
  ASSERT_TRUE(editor.Utf8());
  // After "$ru = '" (7 bytes), at the end of the emoji line, and in the CJK run.
  editor.MoveCaret(7, 2);
  editor.InsertText("é");
  editor.MoveCaret(editor.Lines->LineLength(4), 4);
  editor.InsertText("中");
  editor.MoveCaret(7 + 3 * 10, 3);
  editor.InsertText("😀");
  editor.Save();
  std::string expected = ManyScripts();
  expected.insert(expected.find("$ru = '") + 7, "é");
  expected.insert(expected.find("\r\n", expected.find("$emoji")), "中");
  expected.insert(expected.find("$zh = '") + 7 + 30, "😀");
  const std::string saved = ReadBytes(path);
  EXPECT_EQ(saved, expected);
  EXPECT_GT(DistinctNonAscii(saved), 300) << "valid UTF-8";
  // Read again, it is the same UTF-8 document.
  editor.LoadFile(path);
  EXPECT_TRUE(editor.Utf8());
  editor.Save();
  EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(Utf8Document, EveryOtherFileOpensAndSavesAsItsBytes) {
  const std::string binary = [] {
    std::string b;
    for (int i = 1; i < 256; ++i) b += static_cast<char>(i);
    return b;
  }();
  // UTF-8 of every script for 3 MB, then a byte that is not.
  const std::string late = [] {
    std::string text;
    while (text.size() < 3'000'000) text += ManyScripts();
    return text + "\xE9t\xE9\r\n";
  }();
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"ascii", "plain ASCII\r\nonly\r\n"},
      {"windows-1252", "caf\xE9 \x80 \x93quoted\x94\r\n"},
      {"binary", binary},
      {"overlong", "a\xC0\xAF b \xC3\xA9"},
      {"overlong-3", "\xE0\x80\xAF \xC3\xA9"},
      {"overlong-4", "\xF0\x80\x80\xAF \xC3\xA9"},
      {"surrogate", "\xED\xA0\x80 \xC3\xA9"},
      {"above-10FFFF", "\xF4\x90\x80\x80 \xC3\xA9"},
      {"lead-F5", "\xF5\x80\x80\x80 \xC3\xA9"},
      {"cut-short", "\xC3\xA9 ends in \xE2\x82"},
      {"cut-before-ascii", "\xF0\x9F\x98 \xC3\xA9"},
      {"lone-continuation", "\xC3\xA9\x80"},
      {"mark-then-invalid", "\xEF\xBB\xBF\xC3\xA9 x \xFF"},
      {"invalid-late",
       [] {
         std::string text;
         for (int i = 0; i < 40; ++i) text += "\xC3\xA9 \xC5\x82 abcdefghijklmnopqrstuvwxyz\r\n";
         return text + "\xFF\r\n";
       }()},
      {"utf8-for-3-MB", late},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.name, c.bytes);
    editor.LoadFile(path);
    FakeLinesOwner owner;
    TAdvLines plain(&owner);
    plain.LoadFromFile(path);
    EXPECT_FALSE(editor.Utf8()) << c.name;
    EXPECT_EQ(LinesOf(*editor.Lines), LinesOf(plain)) << c.name;
    editor.Save();
    plain.SaveToFile(dir.File("plain"));
    EXPECT_EQ(ReadBytes(path), ReadBytes(dir.File("plain"))) << c.name;
  }
}

TEST_F(Utf8Document, FindAndCaseConversionWorkOnCharacters) {
  const std::string path = Write("w.txt", "start\r\nŁódź żółw ıx 中文\r\n");
  editor.LoadFile(path);
  ASSERT_TRUE(editor.Utf8());
  // The search box: without regard to case, a match of another length in bytes.
  editor.FindNext("ŻÓŁW");
  EXPECT_EQ(editor.GetSelText(), "żółw");
  editor.ExecuteCommand(cmdUpperCase);
  EXPECT_EQ(editor.GetSelText(), "ŻÓŁW");
  editor.ExecuteCommand(cmdToggleCase);
  editor.ExecuteCommand(cmdLineEnd);
  editor.InsertText(" Größe € ǅ");
  editor.ExecuteCommand(cmdSelectLineStart);
  editor.ExecuteCommand(cmdToggleCase);
  // "ı" (two bytes) is "I" (one) in upper case: the text grows shorter.
  EXPECT_EQ(editor.GetSelText(), "łÓDŹ ŻÓŁW IX 中文 gRÖßE € Ǆ");
  editor.Save();
  EXPECT_EQ(ReadBytes(path), "start\r\nłÓDŹ ŻÓŁW IX 中文 gRÖßE € Ǆ\r\n");
  editor.ExecuteCommand(cmdUndo);
  EXPECT_EQ(editor.Lines->Get(1), "Łódź żółw ıx 中文 Größe € ǅ") << "one undo step";
  // The find dialog: "é" and "中" as characters, positions in bytes.
  editor.Lines->SetTextStr("café CAFÉ 中文\r\n");
  const TTextSearch e("é", {}), zhong("中", {}), word("CAFÉ", {false, true, false});
  ASSERT_TRUE(FindAgain(editor, e, false, false).Found);
  EXPECT_EQ(editor.GetSelText(), "é");
  EXPECT_EQ(editor.CaretX, 5);
  ASSERT_TRUE(FindAgain(editor, e, false, false).Found);
  EXPECT_EQ(editor.GetSelText(), "É");
  ASSERT_TRUE(FindAgain(editor, zhong, false, false).Found);
  EXPECT_EQ(editor.CaretX, 15);
  EXPECT_EQ(ReplaceAllMatches(editor, word, "日本", false), 2);
  EXPECT_EQ(editor.Lines->Get(0), "日本 日本 中文");
  EXPECT_EQ(window.beeps, 0);
  EXPECT_TRUE(refused.empty());
}

}  // namespace
