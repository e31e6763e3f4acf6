// The settings store: reading and writing by name, the escaped text, loading
// and saving INI files, and the built-in defaults.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/Kernel.h"
#include "app/ini_store.h"
#include "editor/FileIO.h"
#include "editor/Streams.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kDefaults =
    "[Editor]\r\nSearchText=text\r\nShowSpace=0\r\nWordWrap=0\r\n\r\n"
    "[Files]\r\nOpenFolder=C:\\\r\n"
    "TypeList=PHP\\r\\nPHP3\\r\\nPHP4\\r\\nPHP5\\r\\nINC\\r\\nPHTML\\r\\nPHTM\\r\\nHTM\\r\\nHTML\\r\\n"
    "HTP\\r\\nTXT\\r\\nCSS\\r\\nJS\\r\\nJAVA\\r\\nC\\r\\nH\\r\\nCPP\\r\\nPAS\\r\\nRC\\r\\nINI\\r\\n\r\n"
    "\r\n[FileTypes]\r\nDefaultEditor=0\r\n";

std::string Saved(TIniStore& store) {
  TempDir dir;
  store.SaveToFile(dir.File("s.ini"));
  return ReadBytes(dir.File("s.ini"));
}

TIniStore Loaded(const std::string& text) {
  TempDir dir;
  WriteBytes(dir.File("l.ini"), text);
  TIniStore store;
  store.LoadFromFile(dir.File("l.ini"));
  return store;
}

TIniStore Defaults() {
  TIniStore store;
  TResourceStream stream(AppResource("DefINI"));
  store.LoadFromStream(stream);
  return store;
}

TEST(IniDefaults, TheResourceIsElevenCrLfLinesOf264Bytes) {
  std::string_view data = AppResource("DefINI");
  EXPECT_EQ(data.size(), 264u);
  EXPECT_EQ(data, kDefaults);
  std::size_t lineEnds = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n') {
      ++lineEnds;
      EXPECT_EQ(data[i - 1], '\r') << "at " << i;
    }
  }
  EXPECT_EQ(lineEnds, 11u);
  EXPECT_NE(data.substr(data.size() - 4), "\r\n\r\n") << "no final empty line";
}

TEST(IniDefaults, HoldTheSixSettings) {
  TIniStore store = Defaults();
  EXPECT_EQ(store.Count(), 6);
  EXPECT_EQ(store.ReadString("Editor.SearchText"), "text");
  EXPECT_FALSE(store.ReadBool("Editor.ShowSpace"));
  EXPECT_FALSE(store.ReadBool("Editor.WordWrap"));
  EXPECT_EQ(store.ReadString("Files.OpenFolder"), "C:\\");
  EXPECT_EQ(store.ReadText("Files.TypeList"),
            "PHP\r\nPHP3\r\nPHP4\r\nPHP5\r\nINC\r\nPHTML\r\nPHTM\r\nHTM\r\nHTML\r\nHTP\r\nTXT\r\n"
            "CSS\r\nJS\r\nJAVA\r\nC\r\nH\r\nCPP\r\nPAS\r\nRC\r\nINI\r\n");
  EXPECT_EQ(store.ReadInteger("FileTypes.DefaultEditor"), 0);
  EXPECT_EQ(store.Count(), 6) << "reading present settings adds nothing";
}

TEST(IniDefaults, SavedGiveTheirElevenLinesAndOneEmptyLine) {
  TIniStore store = Defaults();
  EXPECT_EQ(Saved(store), kDefaults + "\r\n");
}

TEST(IniRead, AnAbsentSettingIsEnteredEmptyAndSaved) {
  TIniStore store;
  EXPECT_EQ(store.ReadString("X.Y"), "");
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(Saved(store), "[X]\r\nY=\r\n\r\n");
  TIniStore other;
  EXPECT_FALSE(other.ReadBool("A.b"));
  EXPECT_EQ(other.ReadInteger("A.c"), 0);
  EXPECT_EQ(other.ReadText("A.d"), "");
  EXPECT_EQ(Saved(other), "[A]\r\nb=\r\nc=\r\nd=\r\n\r\n");
}

TEST(IniRead, OnlyTheExactTextOneIsTrue) {
  TIniStore store;
  for (const char* value : {"true", "01", " 1", "1 ", "", "yes"}) {
    store.WriteString("S.b", value);
    EXPECT_FALSE(store.ReadBool("S.b")) << '"' << value << '"';
  }
  store.WriteString("S.b", "1");
  EXPECT_TRUE(store.ReadBool("S.b"));
  store.WriteBool("S.c", true);
  store.WriteBool("S.d", false);
  EXPECT_EQ(store.ReadString("S.c"), "1");
  EXPECT_EQ(store.ReadString("S.d"), "0");
}

TEST(IniRead, IntegersAreSignedDecimalOrZero) {
  TIniStore store;
  const std::pair<const char*, int> cases[] = {
      {"42", 42}, {"-7", -7}, {"+3", 3},   {"0012", 12}, {"2147483647", 2147483647},
      {"abc", 0}, {"", 0},    {"4x", 0},   {" 5", 0},    {"99999999999", 0},
      {"+-1", 0}, {"-", 0},   {"0x1A", 0}, {"1.5", 0},
  };
  for (auto [text, value] : cases) {
    store.WriteString("S.n", text);
    EXPECT_EQ(store.ReadInteger("S.n"), value) << '"' << text << '"';
  }
  store.WriteInteger("S.m", -123);
  EXPECT_EQ(store.ReadString("S.m"), "-123");
}

TEST(IniRead, NamesMatchExactlyAndWritesReplace) {
  TIniStore store;
  store.WriteString("Editor.WordWrap", "1");
  store.WriteString("editor.wordwrap", "0");
  EXPECT_EQ(store.Count(), 2);
  EXPECT_TRUE(store.ReadBool("Editor.WordWrap"));
  store.WriteString("Editor.WordWrap", "value=with=equals");
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(store.ReadString("Editor.WordWrap"), "value=with=equals");
  store.AddEntry("no equals sign");
  store.AddEntry("K.a=b=c");
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.ReadString("K.a"), "b=c");
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
}

TEST(IniText, EscapedTextRoundTripsThroughAFile) {
  const std::string value = "C:\\dir\\\tTAB\r\nnext line\\";
  TIniStore store;
  store.WriteText("S.t", value);
  std::string file = Saved(store);
  EXPECT_EQ(file, "[S]\r\nt=C:\\\\dir\\\\\\tTAB\\r\\nnext line\\\\\r\n\r\n");
  std::string line = file.substr(5, file.size() - 9);
  EXPECT_EQ(line.find_first_of("\t\r\n"), std::string::npos);
  TIniStore back = Loaded(file);
  EXPECT_EQ(back.ReadText("S.t"), value);
  EXPECT_EQ(back.ReadString("S.t"), EscapeText(value)) << "values stay raw until ReadText";
}

TEST(IniText, ResolvingDropsUnknownEscapesAndKeepsAFinalBackslash) {
  EXPECT_EQ(UnescapeText("a\\qb"), "aqb");
  EXPECT_EQ(UnescapeText("end\\"), "end\\");
  EXPECT_EQ(UnescapeText("\\\\n"), "\\n");
  EXPECT_EQ(UnescapeText("\\t\\n\\r"), "\t\n\r");
  EXPECT_EQ(UnescapeText("C:\\"), "C:\\");
}

TEST(IniLoad, SectionsAndKeys) {
  TIniStore store = Loaded(
      "top=1\r\n"
      "[Editor\r\n"
      "k=v\r\n"
      "[Files]\r\n"
      "  a = 1  \r\n"
      ";c=comment\r\n"
      "=start\r\n"
      "no equals\r\n"
      "[Files]\r\n"
      "k=first\r\n"
      "[Files]\r\n"
      "k=second\r\n"
      "[\r\n"
      "free=2\r\n");
  EXPECT_EQ(store.ReadString("top"), "1");
  EXPECT_EQ(store.ReadString("Edito.k"), "v") << "the last character of a header is dropped";
  EXPECT_EQ(store.ReadString("Files.a "), " 1") << "blanks beside = stay";
  EXPECT_EQ(store.ReadString("Files.;c"), "comment") << "no comment syntax";
  EXPECT_EQ(store.ReadString("Files."), "start");
  EXPECT_EQ(store.ReadString("Files.k"), "second");
  EXPECT_EQ(store.ReadString("free"), "2") << "\"[\" alone gives the empty section";
  EXPECT_EQ(store.Count(), 7);
}

TEST(IniLoad, LineEndsControlCharactersAndEndOfText) {
  TIniStore store = Loaded("[S]\na=1\r\nb=x\ry\n\t c=3 \x01\nd=4\x1a\ne=5\n");
  EXPECT_EQ(store.ReadString("S.a"), "1");
  EXPECT_EQ(store.ReadString("S.b"), "xy") << "a lone CR is dropped";
  EXPECT_EQ(store.ReadString("S.c"), "3");
  EXPECT_EQ(store.ReadString("S.d"), "4");
  EXPECT_EQ(store.Count(), 4) << "character 26 ends the text";
}

TEST(IniLoad, FromAFileAddsAndFromAStreamReplaces) {
  TIniStore store;
  store.WriteString("Keep.me", "1");
  TempDir dir;
  WriteBytes(dir.File("a.ini"), "[New]\r\nk=v\r\n");
  store.LoadFromFile(dir.File("a.ini"));
  EXPECT_EQ(store.Count(), 2);
  TBytesStream stream("[Only]\nx=y");
  store.LoadFromStream(stream);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.ReadString("Only.x"), "y");
  EXPECT_THROW(store.LoadFromFile(dir.File("missing.ini")), EFileError);
}

TEST(IniSave, SortedCaseInsensitivelyWithOneHeaderPerSection) {
  TIniStore store;
  store.WriteString("FileTypes.DefaultEditor", "0");
  store.WriteString("d.z", "4");
  store.WriteString("Files.TypeList", "x");
  store.WriteString("b.x", "2");
  store.WriteString("Editor.WordWrap", "0");
  store.WriteString("C.y", "3");
  store.WriteString("Editor.SearchText", "text");
  EXPECT_EQ(Saved(store),
            "[b]\r\nx=2\r\n\r\n[C]\r\ny=3\r\n\r\n[d]\r\nz=4\r\n\r\n"
            "[Editor]\r\nSearchText=text\r\nWordWrap=0\r\n\r\n"
            "[Files]\r\nTypeList=x\r\n\r\n[FileTypes]\r\nDefaultEditor=0\r\n\r\n");
  EXPECT_EQ(store.ReadString("d.z"), "4") << "lookups still work after the sort";
  store.WriteString("d.z", "5");
  EXPECT_EQ(store.Count(), 7);
}

TEST(IniSave, NamesWithoutSectionOrWithMorePointsRoundTrip) {
  TIniStore store;
  store.WriteString("plain", "1");
  store.WriteString("A.B.C", "2");
  std::string file = Saved(store);
  EXPECT_EQ(file, "[A]\r\nB.C=2\r\n\r\n[]\r\nplain=1\r\n\r\n");
  TIniStore back = Loaded(file);
  EXPECT_EQ(back.ReadString("A.B.C"), "2");
  EXPECT_EQ(back.ReadString("plain"), "1");
  EXPECT_EQ(back.Count(), 2);
}

TEST(IniSave, TrailingBlanksAreLostAcrossSaveAndLoad) {
  TIniStore store;
  store.WriteString("S.k", "value   ");
  store.WriteString("S.j", "   lead");
  TIniStore back = Loaded(Saved(store));
  EXPECT_EQ(back.ReadString("S.k"), "value");
  EXPECT_EQ(back.ReadString("S.j"), "   lead") << "only the whole line is trimmed";
}

TEST(IniSave, ASectionNamedCaretKeepsItsHeader) {
  TIniStore store = Loaded("[^]\r\nk=1\r\n[a]\r\nb=2\r\n");
  std::string file = Saved(store);
  EXPECT_EQ(file, "[^]\r\nk=1\r\n\r\n[a]\r\nb=2\r\n\r\n");
  TIniStore back = Loaded(file);
  EXPECT_EQ(back.ReadString("^.k"), "1");
}

TEST(IniSave, AnEntryWithALineBreakIsNotWrittenAndCannotInjectOthers) {
  TIniStore store;
  store.WriteString("Files.OpenFolder", "/home/u/odd\n[Editor]\nWordWrap=1\n");
  store.WriteString("Editor.SearchText",
                    "a\x1a"
                    "b");
  store.WriteString("Editor.WordWrap", "0");
  std::string file = Saved(store);
  EXPECT_EQ(file, "[Editor]\r\nWordWrap=0\r\n\r\n");
  TIniStore back = Loaded(file);
  EXPECT_FALSE(back.ReadBool("Editor.WordWrap"));
  EXPECT_EQ(store.ReadString("Files.OpenFolder"), "/home/u/odd\n[Editor]\nWordWrap=1\n")
      << "the store itself keeps the value for the rest of the run";
}

TEST(IniSave, AnEmptyStoreWritesOneEmptyLine) {
  TIniStore store;
  EXPECT_EQ(Saved(store), "\r\n");
}

TEST(IniSave, AFailedSaveKeepsTheOldFileAndReportsIt) {
  TempDir dir;
  TIniStore store;
  store.WriteString("S.k", "v");
  EXPECT_THROW(store.SaveToFile(dir.File("no/such/folder/s.ini")), EFileError);
  std::filesystem::create_directory(dir.File("isdir.ini"));
  EXPECT_THROW(store.SaveToFile(dir.File("isdir.ini")), EFileError);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("isdir.ini")));
  EXPECT_EQ(std::filesystem::directory_iterator(dir.Path())->path().filename(), "isdir.ini")
      << "no temporary file is left behind";
  // A longer old file is replaced whole.
  WriteBytes(dir.File("s.ini"), std::string(1000, 'x'));
  store.SaveToFile(dir.File("s.ini"));
  EXPECT_EQ(ReadBytes(dir.File("s.ini")), "[S]\r\nk=v\r\n\r\n");
}

TEST(IniBadInput, BinaryBytesHugeLinesAndManySections) {
  std::string binary;
  for (int c = 0; c < 256; ++c)
    if (c != '\n' && c != '\r' && c != 26) binary.push_back(static_cast<char>(c));
  std::string bigValue(1 << 20, 'v');
  std::string text = "[Bin]\r\nk=" + binary + "\r\n[Big]\r\nline=" + bigValue + "\r\n";
  for (int i = 0; i < 10000; ++i)
    text += "[S" + std::to_string(i) + "]\r\nkey with blanks.and.dots=" + std::to_string(i) + "\r\n";
  text += "[Missing bracket\r\n=\r\n";
  TIniStore store = Loaded(text);
  EXPECT_EQ(store.Count(), 10003);
  EXPECT_EQ(store.ReadString("Big.line").size(), bigValue.size());
  EXPECT_EQ(store.ReadString("S9999.key with blanks.and.dots"), "9999");
  EXPECT_EQ(store.ReadString("Missing bracke."), "");
  EXPECT_EQ(store.ReadString("Bin.k"), binary) << "control bytes inside a line stay";
  TIniStore back = Loaded(Saved(store));
  EXPECT_EQ(back.Count(), store.Count());
  EXPECT_EQ(back.ReadString("Bin.k"), store.ReadString("Bin.k"));
  EXPECT_EQ(back.ReadString("Big.line"), bigValue);
}

}  // namespace
