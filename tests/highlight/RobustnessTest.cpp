// Any bytes at all: every highlighter colours every character of random,
// unbalanced and very long lines, and its state-only scan (used to bring the
// cache up to date) reaches the same states as the colouring scan.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "highlight/HiLiC.h"
#include "highlight/HiLiJava.h"
#include "highlight/HiLiPAS.h"
#include "highlight/HiLiPHP.h"
#include "highlight/HiLiXML.h"
#include "tests/highlight/HighlightTestUtil.h"
#include "tests/support/FakeLinesOwner.h"

namespace {

using hltest::Kind;

const Kind kAllKinds[] = {Kind::PHP,  Kind::PHPStyleSheet, Kind::PHPScript, Kind::C,
                          Kind::Java, Kind::Pascal,        Kind::XML};

// Pieces that open and close the scanners' constructs, in any order.
const char* const kPieces[] = {
    "<?php",
    "<?",
    "<?=",
    "?>",
    "<?ph",
    "<",
    ">",
    "</",
    "/>",
    "<!--",
    "-->",
    "<!-->",
    "-",
    "--",
    "<script>",
    "</script>",
    "<SCRIPT ",
    "<style>",
    "</style>",
    "<b>",
    "<a href=",
    "\"",
    "'",
    "\\",
    "=",
    " ",
    "  ",
    "/*",
    "*/",
    "/*/",
    "//",
    "#",
    "(*",
    "*)",
    "{",
    "}",
    "$",
    "#13",
    "$FF",
    "0x1F",
    "12px",
    "50%",
    "1.5",
    "echo",
    "var",
    "color",
    "margin-left",
    "x",
    "a1",
    ";",
    "(",
    ")",
    ":",
    "\xAC",
    "\xB7",
    "\xC0",
    "\x01",
    "\t",
    "it''s",
    "<![CDATA[",
    "]]>",
    "return",
    "while",
    "plain text ",
    "a b c d e f g",
    "<div class=\"row\" id=\"r1\">",
    "  var x = 1;",
};

std::string RandomLine(std::mt19937& rng, bool pieces) {
  std::string line;
  int n = std::uniform_int_distribution<int>(0, 40)(rng);
  for (int i = 0; i < n; ++i) {
    if (pieces)
      line += kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(rng)];
    else
      line += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
  }
  return line;
}

// Every character gets a class colour and the element after the text keeps its default.
void ExpectEveryCharacterColoured(TSyntaxHighLight& h, std::string_view text, int index) {
  std::string colours = hltest::Colours(h, text, index);
  ASSERT_EQ(colours.size(), text.size());
  EXPECT_EQ(colours.find('?'), std::string::npos);
}

TEST(Robustness, RandomDocumentsOfBytesAndPieces) {
  std::mt19937 rng(6);
  for (Kind kind : kAllKinds) {
    for (bool pieces : {false, true}) {
      std::vector<std::string> text;
      for (int i = 0; i < 200; ++i) text.push_back(RandomLine(rng, pieces));
      auto doc = hltest::MakeDoc(kind, {});
      std::string joined;
      for (const auto& line : text) joined += line + "\n";
      doc->lines.SetTextStr(joined);
      // Bottom line first (the whole cache at once), then every line in order.
      int last = doc->lines.Count() - 1;
      ExpectEveryCharacterColoured(*doc->hl, doc->lines.LineView(last), last);
      for (int i = 0; i <= last; ++i) ExpectEveryCharacterColoured(*doc->hl, doc->lines.LineView(i), i);
      // Raw lines as given, control characters, line breaks and the end mark included.
      for (int i = 0; i < static_cast<int>(text.size()); ++i)
        ExpectEveryCharacterColoured(*doc->hl, text[i] + "\xAC", i);
    }
  }
}

TEST(Robustness, EveryByteValueInEveryPosition) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  std::string reversed(all.rbegin(), all.rend());
  for (Kind kind : kAllKinds) {
    auto doc = hltest::MakeDoc(kind, {"a", "b"});
    ExpectEveryCharacterColoured(*doc->hl, all, 0);
    ExpectEveryCharacterColoured(*doc->hl, reversed, 1);
    for (int c = 0; c < 256; ++c)
      ExpectEveryCharacterColoured(*doc->hl, std::string(1, static_cast<char>(c)), 1);
  }
}

TEST(Robustness, VeryLongAndUnbalancedLines) {
  const std::string megabyte = [] {
    std::string s;
    std::mt19937 rng(1);
    while (s.size() < (1u << 20)) s += kPieces[rng() % std::size(kPieces)];
    return s;
  }();
  const std::vector<std::string> lines = {
      megabyte,
      std::string(100000, '"'),
      std::string(100000, '\''),
      "<?php " + std::string(100000, 'a'),
      "<" + std::string(100000, 'b') + ">",
      "<script>" + std::string(100000, 'z'),
      "/*" + std::string(100000, '*'),
      std::string(50000, '(') + std::string(50000, '*'),
      "<!--" + std::string(100000, '-'),
  };
  for (Kind kind : kAllKinds) {
    auto doc = hltest::MakeDoc(kind, lines);
    for (int i = static_cast<int>(lines.size()) - 1; i >= 0; --i)
      ExpectEveryCharacterColoured(*doc->hl, lines[i], i);
  }
}

// The protected scans of a highlighter, side by side.
template <class H, class S>
struct Exposed : H {
  using H::H;
  void Scan(std::string_view text, S& state) { this->ScanLine(text, state); }
  void Advance(std::string_view text, S& state) { this->AdvanceState(text, state); }
  S Start() const { return this->StartState; }
};

template <class H, class S, class Setup>
void ExpectSameStates(Setup setup) {
  std::mt19937 rng(42);
  FakeLinesOwner owner;
  TAdvLines lines(&owner);
  Exposed<H, S> h(lines);
  setup(h);
  for (bool pieces : {true, false}) {
    S colouring = h.Start(), advancing = h.Start();
    for (int i = 0; i < 20000; ++i) {
      std::string line = RandomLine(rng, pieces);
      h.Scan(line, colouring);
      h.Advance(line, advancing);
      ASSERT_TRUE(colouring == advancing) << "after " << testing::PrintToString(line);
      // Now and then a fresh start, so that every start state is reached often.
      if (rng() % 50 == 0) colouring = advancing = h.Start();
    }
  }
}

TEST(StateScan, ReachesTheStatesOfTheColouringScan) {
  auto none = [](auto&) {};
  ExpectSameStates<TPHPHighLight, TPHPLineState>(none);
  ExpectSameStates<TPHPHighLight, TPHPLineState>([](auto& h) { h.StartInScript(); });
  ExpectSameStates<TPHPHighLight, TPHPLineState>([](auto& h) { h.StartInStyleSheet(); });
  ExpectSameStates<TCHighLight, TCLineState>(none);
  ExpectSameStates<TJavaHighLight, TCLineState>(none);
  ExpectSameStates<TPASHighLight, TPasLineState>(none);
  ExpectSameStates<TXMLHighLight, TCLineState>(none);
}

}  // namespace

namespace {

// A long stretch of lines is scanned on two cores, the second half from a
// guessed state; the states are those of one scan from the top, also where
// the guess is wrong across the middle.
TEST(StateScan, ALongStretchGivesTheStatesOfOneScan) {
  constexpr int kLines = 1'200'000, kMiddle = kLines / 2;
  std::string text;
  for (int i = 0; i < kLines; ++i) {
    if (i == kMiddle - 7 || i == kLines - 300)
      text += "x /* open\n";
    else if (i == kMiddle + 90)
      text += "close */ y\n";
    else
      text += i % 3 ? "int a;\n" : "b++; // c\n";
  }
  FakeLinesOwner owner;
  TAdvLines lines(&owner);
  lines.SetTextStr(text);
  Exposed<TCHighLight, TCLineState> h(lines);
  const TColourKey last = h.StartKey(kLines - 1);  // brings every line up to date at once
  TCLineState state = h.Start();
  for (int i = 0; i < kLines - 1; ++i) {
    h.Advance(lines.LineView(i), state);
    if (i % 1000 == 0 || (i > kMiddle - 20 && i < kMiddle + 200)) {
      TColourKey key;
      std::memcpy(key.Bytes.data(), &state, sizeof state);
      ASSERT_EQ(h.StartKey(i + 1), key) << "line " << i + 1;
    }
  }
  TColourKey key;
  std::memcpy(key.Bytes.data(), &state, sizeof state);
  EXPECT_EQ(last, key);
}

}  // namespace

namespace {

// Edits of every kind, with the cache consulted between them from the painter
// and from a jump: every line starts in the state a fresh scan of the text
// gives, whether the cache was kept below an edit or scanned anew.
TEST(StateScan, AfterAnyEditsEveryLineStartsInTheStateOfAFreshScan) {
  std::mt19937 rng(7);
  for (Kind kind : {Kind::C, Kind::PHP}) {
    std::vector<std::string> text;
    for (int i = 0; i < 300; ++i) text.push_back(RandomLine(rng, true));
    auto doc = hltest::MakeDoc(kind, text);
    auto pick = [&] { return static_cast<int>(rng() % static_cast<unsigned>(doc->lines.Count())); };
    int line = 0;
    for (int step = 0; step < 1500; ++step) {
      const unsigned op = rng() % 10;
      if (op < 3) line = pick();  // else the same line again, as typing does
      if (op < 8) {
        doc->lines.Put(line, RandomLine(rng, true));
        doc->hl->LinesChanged(line, 1, 1);
      } else if (op == 8) {
        doc->lines.Insert(line, RandomLine(rng, true));
        doc->hl->LinesChanged(line, 0, 1);
      } else if (doc->lines.Count() > 1) {
        doc->lines.Delete(line);
        doc->hl->LinesChanged(line, 1, 0);
        line = std::min(line, doc->lines.Count() - 1);
      }
      if (rng() % 2) doc->Paint(pick());
      const int probe = pick();
      ASSERT_EQ(doc->hl->StartKey(probe), hltest::Make(kind, doc->lines)->StartKey(probe))
          << "line " << probe << ", step " << step;
    }
  }
}

}  // namespace
