// Unicode's own grapheme-cluster cases (GraphemeBreakTest.txt of the
// unicode-data package): a UTF-8 line steps, deletes and selects by exactly
// the clusters the file marks, and no command leaves a position inside one.

#include <algorithm>
#include <fstream>
#include <sstream>

#include "editor/TextColumns.h"
#include "editor/Utf8.h"
#include "tests/support/EditorFixture.h"

namespace {

constexpr auto U8 = TTextEncoding::Utf8;
const char* const kCases = "/usr/share/unicode/auxiliary/GraphemeBreakTest.txt";

struct BreakCase {
  std::string text;
  std::vector<int> stops;  // every cluster boundary, 0 and the end included
  std::string source;
};

// The cases of the file that a line can hold: a line has no CR or LF (they
// end it), and UTF-8 has no surrogates.
std::vector<BreakCase> ReadCases(int& skipped) {
  std::vector<BreakCase> cases;
  std::ifstream in(kCases);
  std::string line;
  skipped = 0;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    BreakCase c;
    c.source = line;
    bool usable = true;
    for (std::string field; fields >> field;) {
      if (field == "\xC3\xB7") {  // ÷
        c.stops.push_back(static_cast<int>(c.text.size()));
      } else if (field != "\xC3\x97") {  // ×
        const auto ch = static_cast<char32_t>(std::stoul(field, nullptr, 16));
        if (ch == '\r' || ch == '\n' || !utf8::Encodable(ch)) usable = false;
        char bytes[4];
        c.text.append(bytes, static_cast<std::size_t>(utf8::Encode(ch, bytes)));
      }
    }
    if (c.stops.empty()) continue;
    if (usable)
      cases.push_back(std::move(c));
    else
      ++skipped;
  }
  return cases;
}

// The last stop at or before `pos`.
int StopAtOrBefore(const std::vector<int>& stops, int pos) {
  return *std::prev(std::upper_bound(stops.begin(), stops.end(), pos));
}

class GraphemeBreaks : public EditorTest {
 protected:
  void SetUp() override {
    int skipped = 0;
    cases = ReadCases(skipped);
    if (cases.empty()) GTEST_SKIP() << kCases << " is missing (Debian's unicode-data): no cases to compare with";
    ASSERT_GT(cases.size(), 400u) << "the file was read";
    ASSERT_LT(skipped, 200);
  }
  void Line(const std::string& text) {
    editor.SetEncoding(U8);
    SetText(text);
    editor.InsertMode = true;
  }
  std::vector<BreakCase> cases;
};

TEST_F(GraphemeBreaks, StepsAndStartsAreTheClustersOfUnicodesCases) {
  for (const BreakCase& c : cases) {
    std::vector<int> forward{0};
    while (forward.back() < static_cast<int>(c.text.size()))
      forward.push_back(textcol::NextChar(U8, c.text, forward.back()));
    EXPECT_EQ(forward, c.stops) << c.source;
    std::vector<int> back{static_cast<int>(c.text.size())};
    while (back.back() > 0) back.push_back(textcol::PrevChar(U8, c.text, back.back()));
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, c.stops) << c.source;
    for (int p = 0; p < static_cast<int>(c.text.size()); ++p)
      EXPECT_EQ(textcol::CharStart(U8, c.text, p), StopAtOrBefore(c.stops, p)) << c.source << " at " << p;
    // Each cluster has a cell, and the column grid maps back to the stops.
    for (std::size_t i = 1; i < c.stops.size(); ++i) {
      const int column = textcol::ColumnOf(U8, c.text, c.stops[i - 1]);
      EXPECT_LT(column, textcol::ColumnOf(U8, c.text, c.stops[i])) << c.source;
      EXPECT_EQ(textcol::PositionOf(U8, c.text, column), c.stops[i - 1]) << c.source;
    }
  }
}

TEST_F(GraphemeBreaks, NoCommandSplitsAClusterOfUnicodesCases) {
  for (const BreakCase& c : cases) {
    const std::vector<int>& stops = c.stops;
    const int end = stops.back();
    Line(c.text);
    // The caret put anywhere stands at the start of the cluster there.
    for (int p = 0; p <= end; ++p) {
      Caret(0, 0);
      Caret(p, 0);
      EXPECT_EQ(editor.CaretX, StopAtOrBefore(stops, p)) << c.source << " caret put at " << p;
    }
    // Right and left visit every stop and no other position.
    std::vector<int> visited{0};
    Caret(0, 0);
    while (editor.CaretX < end) {
      Run(cmdCaretRight);
      visited.push_back(editor.CaretX);
    }
    EXPECT_EQ(visited, stops) << c.source << " stepping right";
    visited.assign(1, end);
    while (editor.CaretX > 0) {
      Run(cmdCaretLeft);
      visited.push_back(editor.CaretX);
    }
    std::reverse(visited.begin(), visited.end());
    EXPECT_EQ(visited, stops) << c.source << " stepping left";

    // Each cluster: selected, deleted and backspaced whole; words, the word
    // selection and a typed character end on stops (or past the end).
    auto onStop = [&](int x) { return x > end || std::binary_search(stops.begin(), stops.end(), x); };
    for (std::size_t i = 0; i + 1 < stops.size(); ++i) {
      const auto from = static_cast<std::size_t>(stops[i]), to = static_cast<std::size_t>(stops[i + 1]);
      const std::string without = c.text.substr(0, from) + c.text.substr(to);
      const bool blanksBefore = c.text.find_first_not_of(' ') >= to;  // where Backspace unindents
      const std::initializer_list<std::uint16_t> commands = {
          cmdSelectRight, cmdDeleteRight, cmdDeleteLeft, cmdWordRight, cmdWordLeft, cmdSelectWord, 'x'};
      for (std::uint16_t command : commands) {
        Line(c.text);
        Caret(command == cmdDeleteLeft ? stops[i + 1] : stops[i], 0);
        Run(command);
        const std::string what = c.source + " command " + std::to_string(command) + " at " + std::to_string(from);
        if (command == cmdSelectRight) EXPECT_EQ(Selected(), c.text.substr(from, to - from)) << what;
        if (command == cmdDeleteRight || (command == cmdDeleteLeft && !blanksBefore))
          EXPECT_EQ(Text()[0], without) << what;
        if (command == 'x') EXPECT_EQ(Text()[0], c.text.substr(0, from) + "x" + c.text.substr(from)) << what;
        EXPECT_TRUE(onStop(editor.CaretX) || command == 'x') << what;
        EXPECT_EQ(textcol::CharStart(U8, Text()[0], editor.CaretX), editor.CaretX) << what;
        if (editor.SelAvail) EXPECT_TRUE(onStop(editor.SelStartX) && onStop(editor.SelEndX)) << what;
      }
    }
  }
}

}  // namespace
