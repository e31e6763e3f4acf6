// What every highlighter shares: the word lists, the character classes, and
// the cache of line end states that decides which lines are rescanned.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "highlight/HiLiC.h"
#include "highlight/HiLiPHP.h"
#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLIndexPool.h"
#include "highlight/SyntaxHLStates.h"
#include "highlight/SyntaxHLWordText.h"
#include "highlight/SyntaxHLWords.h"
#include "tests/highlight/HighlightTestUtil.h"

namespace {

using hltest::Colours;

TEST(WordLists, DistinctWordsOfEveryResource) {
  struct Row {
    const char* name;
    int words;
  } rows[] = {{"PHPWrd", 2565}, {"HTMLTags", 109}, {"JSWrd", 718}, {"CSSWrd", 254},
              {"PasWrd", 124},  {"JavaWrd", 51},   {"CppWrd", 104}};
  for (const Row& row : rows) {
    TWordList list;
    LoadWordList(list, row.name);
    EXPECT_EQ(list.Count(), row.words) << row.name;
    // Every word is short enough to be collected by a scanner.
    EXPECT_LE(list.MaxLength(), hl::TWordText::kCapacity) << row.name;
  }
}

TEST(WordLists, FirstAndLastWordsOfTheResources) {
  struct Row {
    const char* name;
    std::vector<const char*> present;
  } rows[] = {
      {"PHPWrd", {"<?php", "object", "strlen", "func_get_arg", "imagefilter", "getallheaders", "mysql_query"}},
      {"HTMLTags", {"A", "WBR", "SCRIPT"}},
      {"JSWrd", {"all", "null", "with", "zOrder", "onunload"}},
      {"CSSWrd", {"A", "WBR", "position", "sans-serif", "margin-left"}},
      {"PasWrd", {"absolute", "xor", "exit"}},
      {"JavaWrd", {"package", "length"}},
      {"CppWrd", {"enum", "__virtual_inheritance", "#include"}},
  };
  for (const Row& row : rows) {
    TWordList list;
    LoadWordList(list, row.name);
    for (const char* w : row.present) EXPECT_TRUE(list.Contains(w)) << row.name << ": " << w;
    EXPECT_FALSE(list.Contains("")) << row.name;
  }
}

TEST(WordLists, ParsingOfTheText) {
  struct Row {
    std::string text;
    std::vector<std::string> words;
  } rows[] = {
      {"", {}},
      {"  \r\n\r\n ", {}},
      {"one", {"ONE"}},
      {"b a\r\nc\n\nd\re", {"A", "B", "C", "D", "E"}},
      {"dup Dup DUP dUp", {"DUP"}},
      // Only space, CR and LF separate: a tab and punctuation belong to the word.
      {"a\tb <?php x,y", {"<?PHP", "A\tB", "X,Y"}},
      // Upper-casing touches ASCII letters only.
      {"\xe9t\xe9 caf\xe9", {"CAF\xe9", "\xe9T\xe9"}},
  };
  for (const Row& row : rows) {
    TWordList list;
    list.Assign(row.text);
    EXPECT_EQ(list.Words(), row.words) << testing::PrintToString(row.text);
    EXPECT_EQ(list.Count(), static_cast<int>(row.words.size()));
  }
}

TEST(WordLists, LookupIgnoresAsciiCaseOnly) {
  TWordList list;
  list.Assign("while Begin \xe9t\xe9");
  for (const char* w : {"while", "WHILE", "While", "wHiLe", "BEGIN", "begin", "\xe9T\xe9", "\xe9t\xe9"})
    EXPECT_TRUE(list.Contains(w)) << w;
  for (const char* w : {"whil", "whiles", "wh ile", "\xc9T\xc9", "begin ", ""}) EXPECT_FALSE(list.Contains(w)) << w;
}

TEST(WordLists, MissingResourceFailsConstruction) {
  TWordList list;
  EXPECT_THROW(LoadWordList(list, "NoSuchList"), EResNotFound);
}

TEST(CharacterClasses, NumberStartSet) {
  std::string set;
  for (int c = 0; c < 256; ++c)
    if (hl::IsNumberStart(static_cast<char>(c))) set += static_cast<char>(c);
  EXPECT_EQ(set, " %(*+,-/:<=>[^{");
}

TEST(CharacterClasses, WordLetterAndNumberCharacters) {
  std::string word, letter, number;
  for (int c = 0; c < 256; ++c) {
    char ch = static_cast<char>(c);
    if (hl::IsWord(ch)) word += ch;
    if (hl::IsLetter(ch)) letter += ch;
    if (hl::IsNumberPart(ch)) number += ch;
  }
  EXPECT_EQ(word, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(letter, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(number, ".0123456789ABCDEFabcdefx");
}

// ---- the cache ----

std::vector<std::string> Numbered(int n, const std::string& text) { return std::vector<std::string>(n, text); }

TEST(StateCache, FirstColouringOfALaterLineScansTheLinesAboveOnce) {
  auto doc = hltest::MakeDoc(hltest::Kind::C, Numbered(1000, "int a; /* x */"));
  auto& h = static_cast<TCHighLight&>(*doc->hl);
  doc->Paint(500);
  EXPECT_EQ(h.ScanCount(), 501) << "lines 0-499 for the cache, then line 500";
  // From a valid cache a line costs one scan, above or at the last line brought up to date.
  doc->Paint(500);
  doc->Paint(20);
  doc->Paint(0);
  EXPECT_EQ(h.ScanCount(), 504);
  // The next line down scans only what is not cached yet.
  doc->Paint(501);
  EXPECT_EQ(h.ScanCount(), 506);
  // After a reset everything is scanned again.
  h.ResetStates();
  doc->Paint(100);
  EXPECT_EQ(h.ScanCount(), 506 + 101);
}

// Lines rescanned again and again leave states no line holds; the store
// keeps giving every line the state it was last given.
TEST(StateCache, TheStoreKeepsEveryLinesLastStateThroughManyRescans) {
  using State = std::array<std::uint8_t, 3>;
  TStateStore<State> store;
  std::vector<State> expected;
  std::mt19937 rng(5);
  auto random = [&] { return State{static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), 1}; };
  for (std::size_t i = 0; i < 70000; ++i) {
    expected.push_back(random());
    store.Set(i, expected.back());
  }
  for (int round = 0; round < 200000; ++round) {
    std::size_t line = 65536 + rng() % 4000;  // the second block, over and over
    expected[line] = random();
    store.Set(line, expected[line]);
  }
  ASSERT_EQ(store.Size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(store.Get(i), expected[i]) << "line " << i;
}

// A second store's states taken over from any line, blocks moved whole
// where they can be: every line then holds the state it was given, also
// after more changes in the blocks taken over and past them.
TEST(StateCache, AStoreTakenOverGivesEveryLineItsState) {
  using State = std::array<std::uint8_t, 3>;
  constexpr std::size_t kBlock = TStateStore<State>::kBlockLines;
  std::mt19937 rng(11);
  auto random = [&] { return State{static_cast<std::uint8_t>(rng() % 5), static_cast<std::uint8_t>(rng() % 3), 0}; };
  // The first line taken over at the shift or past it, on a block or not; the shift on a block or not;
  // the store holding no line from there on, lines short of the end taken over, or lines past it.
  struct Row {
    std::size_t shift, from, held;
  };
  for (auto [shift, from, held] : {Row{2 * kBlock, 2 * kBlock, 2 * kBlock},
                                   {2 * kBlock, 2 * kBlock + 300, 2 * kBlock + 300},
                                   {kBlock, 2 * kBlock - 1, 2 * kBlock - 1},
                                   {kBlock + 7, kBlock + 9, kBlock + 9},
                                   {2 * kBlock, 2 * kBlock, 4 * kBlock + 50},
                                   {kBlock, kBlock + 5, 6 * kBlock + 9}}) {
    TStateStore<State> store, other;
    std::vector<State> expected;
    for (std::size_t i = 0; i < held; ++i) {
      expected.push_back(random());
      store.Set(i, expected.back());
    }
    std::vector<State> given;
    for (std::size_t k = 0; k < 3 * kBlock + 123; ++k) {
      given.push_back(random());
      other.Set(k, given.back());
    }
    expected.resize(std::max(held, shift + given.size()));
    for (std::size_t i = from; i < shift + given.size(); ++i) expected[i] = given[i - shift];
    store.SetFrom(from, std::move(other), shift);
    ASSERT_EQ(store.Size(), expected.size());
    for (int round = 0; round < 20000; ++round) {
      const std::size_t line = rng() % (expected.size() + 1);
      if (line == expected.size()) expected.emplace_back();
      expected[line] = random();
      store.Set(line, expected[line]);
    }
    for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(store.Get(i), expected[i]) << "line " << i;
  }
}

// Pieces taken on two threads at once are each a piece of their own (each
// keeps what was written into it), and once the pieces and the stores built
// on them are given back, so are the regions they were cut from.
TEST(StateCache, IndexPiecesAreDistinctAndTheirRegionsGoBack) {
  const std::size_t regionsBefore = hl::IndexRegionsHeld();
  constexpr std::size_t kWords = hl::kIndexPieceBytes / sizeof(std::uint32_t);
  std::vector<void*> pieces[2];
  auto take = [&pieces](int t) {
    for (int k = 0; k < 40; ++k) {
      auto* words = static_cast<std::uint32_t*>(hl::TakeIndexPiece());
      std::fill(words, words + kWords, static_cast<std::uint32_t>(t * 1000 + k));
      pieces[t].push_back(words);
    }
  };
  std::thread other(take, 1);
  take(0);
  other.join();
  std::mt19937 rng(3);
  std::vector<std::pair<void*, std::uint32_t>> all;
  for (int t = 0; t < 2; ++t)
    for (int k = 0; k < 40; ++k) all.emplace_back(pieces[t][static_cast<std::size_t>(k)], t * 1000 + k);
  std::shuffle(all.begin(), all.end(), rng);
  for (auto [piece, mark] : all) {
    const auto* words = static_cast<const std::uint32_t*>(piece);
    ASSERT_TRUE(std::all_of(words, words + kWords, [mark](std::uint32_t w) { return w == mark; })) << mark;
  }
  EXPECT_GT(hl::IndexRegionsHeld(), regionsBefore);
  for (auto [piece, mark] : all) hl::GiveIndexPiece(piece);
  {
    TStateStore<std::uint8_t> large(true);
    constexpr std::size_t kLines = 5 * TStateStore<std::uint8_t>::kBlockLines;
    for (std::size_t i = 0; i < kLines; ++i) large.Set(i, static_cast<std::uint8_t>(i % 3));
    for (std::size_t i = 0; i < kLines; i += 997) ASSERT_EQ(large.Get(i), i % 3) << "line " << i;
  }
  EXPECT_EQ(hl::IndexRegionsHeld(), regionsBefore);
}

TEST(StateCache, OpeningAndClosingACommentRecoloursTheLinesBelow) {
  auto doc = hltest::MakeDoc(hltest::Kind::C, Numbered(30, "int a;"));
  const std::vector<std::string> before = doc->PaintAll();
  ASSERT_EQ(before[20], "kkks.s");

  doc->lines.Put(10, "int a;/*");
  std::vector<std::string> typed = doc->PaintAll();
  EXPECT_EQ(typed[9], "kkks.s");
  EXPECT_EQ(typed[10], "kkks.scc");
  for (int i = 11; i < 30; ++i) EXPECT_EQ(typed[i], "cccccc") << "line " << i;

  doc->lines.Put(10, "int a;");
  EXPECT_EQ(doc->PaintAll(), before);
}

TEST(StateCache, LinesPaintedBottomUpMatchLinesPaintedTopDown) {
  const std::vector<std::string> text = {"<?php /* a",   "b */ $x = 1; ?>",      "<script>",
                                         "var s = 'x';", "</script><style><!--", "p { color: red }",
                                         "--></style>",  "<a title=\"x",         "y\">z"};
  auto topDown = hltest::MakeDoc(hltest::Kind::PHP, text);
  auto bottomUp = hltest::MakeDoc(hltest::Kind::PHP, text);
  std::vector<std::string> expected = topDown->PaintAll();
  for (int i = static_cast<int>(text.size()) - 1; i >= 0; --i)
    EXPECT_EQ(bottomUp->Paint(i), expected[i]) << "line " << i;
}

TEST(StateCache, LineIndexOutsideTheStore) {
  auto doc = hltest::MakeDoc(hltest::Kind::C, {"x /* open"});
  // A line below the last one starts in the state the last line ends in.
  EXPECT_EQ(Colours(*doc->hl, "int", 5), "ccc");
  // A negative index colours as a first line.
  EXPECT_EQ(Colours(*doc->hl, "int", -3), "kkk");
  EXPECT_EQ(doc->Paint(0), ".sccccccc");
}

TEST(StateCache, PaintedLineWithEndMarkKeepsItsColours) {
  // The painter appends the end-of-line mark 0xAC; it changes neither the
  // colours of the line's characters nor the state after it.
  const std::vector<std::pair<hltest::Kind, std::vector<std::string>>> docs = {
      {hltest::Kind::PHP, {"<?php echo strlen", "$a = 'x'; # c ?>", "?><b", "<a href=x", "y=\"z"}},
      {hltest::Kind::PHPScript, {"var x", "a = 'b' // c", "</script>x"}},
      {hltest::Kind::PHPStyleSheet, {"p { color: #f0", "margin-"}},
      {hltest::Kind::C, {"return", "/* a", "b */ 0x1F"}},
      {hltest::Kind::Pascal, {"(* a", "*) begin", "#13"}},
  };
  for (const auto& [kind, text] : docs) {
    auto plain = hltest::MakeDoc(kind, text);
    auto marked = hltest::MakeDoc(kind, text);
    for (int i = 0; i < static_cast<int>(text.size()); ++i) {
      std::string expected = plain->Paint(i);
      std::string got = Colours(*marked->hl, text[i] + "\xAC", i);
      EXPECT_EQ(got.substr(0, expected.size()), expected) << text[i];
    }
  }
}

}  // namespace
