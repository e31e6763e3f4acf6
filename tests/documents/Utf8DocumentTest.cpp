// UTF-8 documents: one cell per character, saved as UTF-8; every other file
// read and written as bytes, as the line store alone does it.

#include <gtest/gtest.h>

#include <string>

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

// `count` distinct CJK ideographs in UTF-8.
std::string Ideographs(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) {
    const int ch = 0x4E00 + i;
    out += static_cast<char>(0xE0 | (ch >> 12));
    out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (ch & 0x3F));
  }
  return out;
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
  // The cells a search for `text` looks for.
  std::string Needle(std::u32string_view text) {
    std::string out;
    for (char32_t ch : text) out += static_cast<char>(editor.Cells.FindNoCase(ch));
    return out;
  }
  void Type(std::u32string_view text) {
    for (char32_t ch : text) editor.KeyPress(static_cast<char>(editor.Cells.Take(ch)));
  }

  TempDir dir;
  FakeEditorWindow window;
  TSourceEditor editor;
  std::u32string refused;
};

TEST_F(Utf8Document, RealSourcesComeBackByteForByte) {
  struct Case {
    const char* name;
    std::string bytes, saved;  // saved: empty when the same as read
  } cases[] = {
      {"source.php", kSource, ""},
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
      // "À" met after "ł" took its byte while it was free.
      {"moved.txt", "\xC5\x82 \xC3\x80\r\n", ""},
  };
  for (const Case& c : cases) {
    const std::string path = Write(c.name, c.bytes);
    editor.LoadFile(path);
    EXPECT_TRUE(editor.Cells.Utf8()) << c.name;
    editor.Save();
    EXPECT_EQ(ReadBytes(path), c.saved.empty() ? c.bytes : c.saved) << c.name;
  }
  EXPECT_EQ(editor.Lines->Get(0).substr(1), " \xC0") << "À at its own byte, the last file";
  // The byte-order mark is no character of the text: what is typed at the
  // start goes after it.
  editor.LoadFile(dir.File("bom.txt"));
  EXPECT_EQ(editor.Lines->Get(0),
            "\xBB"
            "a    b\x97");
  editor.KeyPress('x');
  editor.Save();
  EXPECT_EQ(ReadBytes(dir.File("bom.txt")),
            "\xEF\xBB\xBFx\xC2\xBB"
            "a    b\xE2\x80\x94\r\n\xCE\xA9\r\n");
  editor.LoadFile(dir.File("source.php"));
  // One cell per character; a character of Windows-1252 keeps its own byte,
  // so the scanners and case tables see what a Windows-1252 file gives them.
  EXPECT_EQ(editor.Lines->Get(1),
            "// Gr\xF6\xDF"
            "e: 5 \x80 \x96 \x84Zitat\x93, \xABguillemets\xBB \x97 \x91single\x92 \x93"
            "double\x94 \x85 caf\xE9 na\xEFve");
  EXPECT_EQ(editor.Lines->LineLength(4), 42);
  EXPECT_FALSE(editor.FileModified);
}

TEST_F(Utf8Document, EveryOtherFileOpensAndSavesAsItsBytes) {
  const std::string binary = [] {
    std::string b;
    for (int i = 1; i < 256; ++i) b += static_cast<char>(i);
    return b;
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
      {"surrogate", "\xED\xA0\x80 \xC3\xA9"},
      {"above-10FFFF", "\xF4\x90\x80\x80 \xC3\xA9"},
      {"cut-short", "\xC3\xA9 ends in \xE2\x82"},
      {"lone-continuation", "\xC3\xA9\x80"},
      {"mark-then-invalid", "\xEF\xBB\xBF\xC3\xA9 x \xFF"},
      {"invalid-late",
       [] {
         std::string text;
         for (int i = 0; i < 40; ++i) text += "\xC3\xA9 \xC5\x82 abcdefghijklmnopqrstuvwxyz\r\n";
         return text + "\xFF\r\n";
       }()},
      // 127 characters that have no byte in Windows-1252 need more cells than there are.
      {"cjk", Ideographs(127) + "\r\n"},
      {"cjk-and-a-1252-letter", "\xC3\xA9" + Ideographs(126)},
  };
  for (const auto& c : cases) {
    const std::string path = Write(c.name, c.bytes);
    editor.LoadFile(path);
    FakeLinesOwner owner;
    TAdvLines plain(&owner);
    plain.LoadFromFile(path);
    EXPECT_FALSE(editor.Cells.Utf8()) << c.name;
    EXPECT_EQ(LinesOf(*editor.Lines), LinesOf(plain)) << c.name;
    editor.Save();
    plain.SaveToFile(dir.File("plain"));
    EXPECT_EQ(ReadBytes(path), ReadBytes(dir.File("plain"))) << c.name;
  }
}

TEST_F(Utf8Document, TypingFindAndCaseConversionWorkOnCharacters) {
  const std::string path =
      Write("w.txt", "start\r\n\xC5\x81\xC3\xB3\x64\xC5\xBA \xC5\xBC\xC3\xB3\xC5\x82w\r\n");  // Łódź żółw
  editor.LoadFile(path);
  editor.FindNext(Needle(U"ŻÓŁW"));
  EXPECT_EQ(editor.GetSelText(), Needle(U"żółw"));
  editor.ExecuteCommand(cmdUpperCase);
  EXPECT_EQ(editor.GetSelText(), Needle(U"ŻÓŁW")) << "Ż was not in the text: it took a cell";
  editor.ExecuteCommand(cmdToggleCase);
  editor.ExecuteCommand(cmdLineEnd);
  Type(U" Größe € ǅ");
  editor.ExecuteCommand(cmdSelectLineStart);
  editor.ExecuteCommand(cmdToggleCase);
  editor.Save();
  EXPECT_EQ(ReadBytes(path), "start\r\nłÓDŹ ŻÓŁW gRÖßE € Ǆ\r\n");
  EXPECT_EQ(window.beeps, 0);
  EXPECT_TRUE(refused.empty());
}

TEST_F(Utf8Document, ACharacterThatFindsNoCellIsRefused) {
  // 125 ideographs, "ł" and the two glyph characters "¬" and "·" fill every cell.
  const std::string path = Write("full.txt", Ideographs(125) + " \xC5\x82 \xC2\xAC\xC2\xB7\r\n");
  editor.LoadFile(path);
  ASSERT_TRUE(editor.Cells.Utf8());
  EXPECT_EQ(editor.Cells.Take(U'龍'), TCellTable::kNoCell);
  EXPECT_EQ(editor.Cells.Take(U'ł'), static_cast<unsigned char>(Needle(U"ł")[0]))
      << "a character of the text has its cell";
  editor.ExecuteCommand(cmdSelectAll);
  editor.ExecuteCommand(cmdUpperCase);
  EXPECT_EQ(refused, U"Ł");
  EXPECT_EQ(window.beeps, 1);
  EXPECT_FALSE(editor.FileModified) << "a refused conversion changes nothing";
  editor.Save();
  EXPECT_EQ(ReadBytes(path), Ideographs(125) + " \xC5\x82 \xC2\xAC\xC2\xB7\r\n");
}

}  // namespace
