// Any bytes at all: every highlighter colours every character of random,
// unbalanced and very long lines, and its state-only scan (used to bring the
// cache up to date) reaches the same states as the colouring scan.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "highlight/HiLiC.h"
#include "highlight/HiLiJava.h"
#include "highlight/HiLiPAS.h"
#include "highlight/HiLiPHP.h"
#include "highlight/HiLiXML.h"
#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLTwoCores.h"
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
    for (int c = 0; c < 256; ++c) ExpectEveryCharacterColoured(*doc->hl, std::string(1, static_cast<char>(c)), 1);
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
    for (int i = static_cast<int>(lines.size()) - 1; i >= 0; --i) ExpectEveryCharacterColoured(*doc->hl, lines[i], i);
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

// Short lines of the characters that start, continue and end words, numbers,
// strings and comments inside script and style elements: the state scan
// skips runs of them and must stop exactly where the colouring scan changes
// its state, also when a line ends inside such a run.
TEST(StateScan, ScriptAndStyleRunsEndInTheStatesOfTheColouringScan) {
  const char* const pieces[] = {"a",         "x",     "p",  "f",    "_",   "1",       "0",        "-",
                                "#",         ".",     "%",  " ",    ";",   "/",       "'",        "\"",
                                "\\",        "<",     ">",  "<!--", "-->", "<style>", "</style>", "<script>",
                                "</script>", "<?php", "?>", "//",   "<b>"};
  std::mt19937 rng(23);
  FakeLinesOwner owner;
  TAdvLines lines(&owner);
  Exposed<TPHPHighLight, TPHPLineState> h(lines);
  for (int round = 0; round < 3; ++round) {
    if (round == 1) h.StartInStyleSheet();
    if (round == 2) h.StartInScript();
    TPHPLineState colouring = h.Start(), advancing = h.Start();
    for (int i = 0; i < 100000; ++i) {
      std::string line;
      const int n = std::uniform_int_distribution<int>(0, 12)(rng);
      for (int k = 0; k < n; ++k)
        line += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(rng)];
      h.Scan(line, colouring);
      h.Advance(line, advancing);
      ASSERT_TRUE(colouring == advancing) << "after " << testing::PrintToString(line);
      if (rng() % 40 == 0) colouring = advancing = h.Start();
    }
  }
}

// The rules of the C, Java and Pascal scanners one step after another, as a
// plain loop with every flag spelled out; `block` is the C and Java block
// comment or the Pascal brace comment, `paren` the Pascal "(*" comment.
enum class Family { C, Java, Pascal };

std::string StepByStepColours(Family f, const std::string& text, bool& block, bool& paren, const TWordList& words) {
  const bool pas = f == Family::Pascal, java = f == Family::Java;
  std::vector<TCharCtx> cls(text.size());
  bool line = false, str = false, esc = false, run = false, num = false, collecting = false;
  char cur = ' ', prev = ' ', quote = 0;
  std::size_t start = 0;
  std::string word;
  auto endWord = [&](std::size_t end) {
    if (words.Contains(word)) std::fill(cls.begin() + start, cls.begin() + end, ccKey);
    collecting = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    prev = cur;
    cur = text[i];
    cls[i] = hl::IsWord(cur) || cur == '\xB7' || cur == '\xAC' ? ccSpace : ccSym;
    if (collecting && !hl::IsWord(cur)) endWord(i);
    if (str) {
      if (esc)
        esc = false;
      else if (cur == '\\' && !pas)
        esc = true;
      else if (cur == quote)
        str = false;
      cls[i] = ccStr;
      continue;
    }
    if ((cur == '\'' || (cur == '"' && !pas)) && !line && !block && !paren) {
      quote = cur;
      str = true;
      cls[i] = ccStr;
      continue;
    }
    if (line || block || paren) {
      cls[i] = ccCmt;
      if (paren && prev == '*' && cur == ')') paren = false, cur = 'x';
      if (block && !pas && prev == '*' && cur == '/') block = false, cur = 'x';
      if (block && pas && cur == '}') block = false;
      continue;
    }
    const bool lineComment = (prev == '/' && cur == '/') || (java && cur == '#');
    const bool opens = pas ? prev == '(' && cur == '*' : prev == '/' && cur == '*';
    if (lineComment || opens) {
      cls[i] = ccCmt;
      if (cur != '#') cls[i - 1] = ccCmt;
      (lineComment ? line : pas ? paren : block) = true;
      if (opens) cur = 'x';
      continue;
    }
    if (pas && cur == '{') {
      cls[i] = ccCmt;
      block = true;
      continue;
    }
    const TCharCtx runClass = pas ? ccStr : ccVar;
    if (run && (pas ? hl::Has(cur, hl::kPasCharRun) : hl::IsWord(cur))) {
      cls[i] = runClass;
      continue;
    }
    if (!run && cur == (java ? '$' : '#')) {
      run = true;
      cls[i] = runClass;
      continue;
    }
    run = false;
    if (num && hl::IsNumberPart(cur)) {
      cls[i] = ccNum;
      continue;
    }
    if (!num && hl::IsDigit(cur) && hl::IsNumberStart(prev)) {
      num = true;
      cls[i] = ccNum;
      continue;
    }
    num = false;
    if (!collecting && hl::IsWord(cur)) collecting = true, start = i, word.clear();
    if (collecting) {
      word += cur;
      if (i + 1 == text.size()) endWord(text.size());
    }
  }
  std::string out;
  for (TCharCtx c : cls) out += hltest::Letter(kCharCtxColors[c]);
  return out;
}

TEST(CFamilyScan, ColoursOfTheStepByStepRules) {
  struct Row {
    Kind kind;
    Family family;
    const char* words;
  } rows[] = {{Kind::C, Family::C, "CppWrd"},
              {Kind::XML, Family::C, "CppWrd"},
              {Kind::Java, Family::Java, "JavaWrd"},
              {Kind::Pascal, Family::Pascal, "PasWrd"}};
  std::mt19937 rng(11);
  for (const Row& row : rows) {
    TWordList words;
    LoadWordList(words, row.words);
    for (bool pieces : {true, false}) {
      std::vector<std::string> text;
      for (int i = 0; i < 2000; ++i) text.push_back(RandomLine(rng, pieces));
      auto doc = hltest::MakeDoc(row.kind, text);
      bool block = false, paren = false;
      for (int i = 0; i < doc->lines.Count(); ++i) {
        const std::string line(doc->lines.LineView(i));
        ASSERT_EQ(doc->Paint(i), StepByStepColours(row.family, line, block, paren, words))
            << row.words << " line " << i << ": " << testing::PrintToString(line);
      }
    }
  }
}

}  // namespace

namespace {

// A long stretch of lines is scanned on two cores, pieces of it from a
// guessed state; the states are those of one scan from the top, also where
// the guess is wrong across a piece boundary in the middle.
TEST(StateScan, ALongStretchGivesTheStatesOfOneScan) {
  constexpr int kLines = 1'200'000;
  const std::vector<int> starts = StatePieceStarts(0, kLines - 1);  // the lines above the last are brought up to date
  const int kMiddle = starts[starts.size() / 2];
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

// Small pieces, comments that open and close anywhere (so that a guess is
// right at once, late, or never within its piece), and either thread held
// back so that the other takes most pieces: every state is that of one scan
// from the top, whichever thread scanned its line.
TEST(StateScan, PiecesTakenByEitherThreadGiveTheStatesOfOneScan) {
  FakeLinesOwner owner;
  TAdvLines lines(&owner);
  Exposed<TCHighLight, TCLineState> h(lines);
  std::mt19937 rng(5);
  const std::thread::id caller = std::this_thread::get_id();
  for (int slow : {0, 1, 2}) {  // none, the caller, the second thread
    for (int round = 0; round < 4; ++round) {
      std::string text;
      const int count = 3000 + static_cast<int>(rng() % 2000);
      for (int i = 0; i < count; ++i) {
        const unsigned r = rng() % 400;
        text += r == 0 ? "x /* open\n" : r == 1 ? "close */ y\n" : r == 2 ? "\n" : "int a; // c\n";
      }
      lines.SetTextStr(text);
      const int from = static_cast<int>(rng() % 100), n = lines.Count() - static_cast<int>(rng() % 100);
      const int pieceLines = 37 + static_cast<int>(rng() % 200);
      std::vector<TCLineState> expected;
      for (TCLineState s = h.Start(); static_cast<int>(expected.size()) < n; expected.push_back(s))
        h.Advance(lines.LineView(static_cast<int>(expected.size())), s);
      const TCLineState start = from == 0 ? h.Start() : expected[static_cast<std::size_t>(from) - 1];
      TStateStore<TCLineState> states;
      for (int i = 0; i < from; ++i) states.Set(static_cast<std::size_t>(i), expected[static_cast<std::size_t>(i)]);
      const std::int64_t scanned = ScanStatesOnTwoCores(
          lines, from, n, start, states,
          [&](std::string_view line, TCLineState& s) {
            if (slow != 0 && (std::this_thread::get_id() == caller) == (slow == 1))
              std::this_thread::sleep_for(std::chrono::microseconds(20));
            h.Advance(line, s);
          },
          pieceLines);
      ASSERT_EQ(states.Size(), static_cast<std::size_t>(n));
      EXPECT_GE(scanned, n - from);
      for (int i = 0; i < n; ++i)
        ASSERT_TRUE(states.Get(static_cast<std::size_t>(i)) == expected[static_cast<std::size_t>(i)])
            << "slow " << slow << " round " << round << " line " << i << " of " << from << ".." << n << ", pieces of "
            << pieceLines;
    }
  }
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
