// The line store as a string list: splitting, tab expansion, errors and notifications.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "editor/AdvLines.h"
#include "editor/TextScan.h"
#include "tests/support/FakeLinesOwner.h"
#include "tests/support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

class LineStore : public ::testing::Test {
 protected:
  FakeLinesOwner owner;
  TAdvLines lines{&owner};
};

TEST_F(LineStore, WholeTextSplitsAtEveryKindOfBreak) {
  struct Case {
    std::string text;
    Lines expected;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      {"x\r\n\r\ny", {"x", "", "y"}},
      {"\r\n", {""}},
      {"", {}},
      {"last without break", {"last without break"}},
  };
  for (const auto& c : cases) {
    lines.SetTextStr(c.text);
    EXPECT_EQ(LinesOf(lines), c.expected) << testing::PrintToString(c.text);
  }
}

TEST_F(LineStore, NulIsAnOrdinaryCharacter) {
  std::string text("a\0b\r\nc\0", 7);
  lines.SetTextStr(text);
  ASSERT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines.Get(0), std::string("a\0b", 3));
  EXPECT_EQ(lines.Get(1), std::string("c\0", 2));
  EXPECT_EQ(lines.GetTextStr(), std::string("a\0b\r\nc\0\r\n", 9));
}

TEST_F(LineStore, MultiLineInsertDropsBlankLinesButAssignmentKeepsThem) {
  lines.Add("x\r\n\r\ny");
  EXPECT_EQ(LinesOf(lines), (Lines{"x", "y"}));
  lines.SetTextStr("x\r\n\r\ny");
  EXPECT_EQ(LinesOf(lines), (Lines{"x", "", "y"}));
}

TEST_F(LineStore, InsertOfEmptyOrBreakOnlyText) {
  EXPECT_EQ(lines.Add(""), 0);
  EXPECT_EQ(LinesOf(lines), (Lines{""}));
  lines.Insert(0, "\r\na");
  EXPECT_EQ(LinesOf(lines), (Lines{"", "a", ""}));
  EXPECT_EQ(lines.Add("b\n"), 3);
  EXPECT_EQ(LinesOf(lines), (Lines{"", "a", "", "b"}));
}

TEST_F(LineStore, TabsBecomeTheTabWidthInSpacesWhereverTheyStand) {
  lines.Add("a\tb");
  lines.Add("abc\td");
  EXPECT_EQ(LinesOf(lines), (Lines{"a    b", "abc    d"}));
  owner.tabWidth = 0;
  lines.SetTextStr("a\tb\r\n");
  EXPECT_EQ(LinesOf(lines), (Lines{"ab"}));
}

TEST_F(LineStore, PutStoresTextUnchanged) {
  lines.SetTextStr("one\r\ntwo");
  lines.Put(1, "t\tw");
  EXPECT_EQ(lines.Get(1), "t\tw");
  // A later whole-text edit treats the line as the text it is.
  lines.ReplaceText(0, 0, "z");
  EXPECT_EQ(LinesOf(lines), (Lines{"zone", "t    w"}));
}

TEST_F(LineStore, GetOutsideTheListIsEmptyButChangesRaiseTheListError) {
  lines.SetTextStr("a\r\nb");
  EXPECT_EQ(lines.Get(-1), "");
  EXPECT_EQ(lines.Get(2), "");
  auto index = [](auto fn) {
    try {
      fn();
    } catch (const EStringListError& e) {
      EXPECT_STREQ(e.what(), "");
      return e.Index;
    }
    return -100;
  };
  EXPECT_EQ(index([&] { lines.Delete(2); }), 2);
  EXPECT_EQ(index([&] { lines.Put(-1, "x"); }), -1);
  EXPECT_EQ(index([&] { lines.Insert(3, "x"); }), 3);
  EXPECT_EQ(index([&] { lines.PutRow(5, "x"); }), 5);
  int l = 0, c = 0;
  std::string t;
  EXPECT_EQ(index([&] { lines.RowToLine(0, 2, c, l); }), 2);
  EXPECT_EQ(index([&] { lines.GetRowInfo(-1, l, t, c); }), -1);
  EXPECT_EQ(LinesOf(lines), (Lines{"a", "b"}));
}

TEST_F(LineStore, NotificationsFollowTheOwnersUpdateCounter) {
  lines.Clear();
  EXPECT_EQ(owner.linesChanged, 0) << "clearing an empty store says nothing";
  lines.Add("a");
  EXPECT_EQ(owner.linesChanged, 1);
  lines.Add("b\r\nc");
  EXPECT_EQ(owner.linesChanged, 3) << "one notification per inserted line";
  lines.PutQuiet(0, "x");
  EXPECT_EQ(owner.linesChanged, 3);
  owner.updateCount = 1;
  lines.Put(0, "y");
  lines.Delete(0);
  EXPECT_EQ(owner.linesChanged, 3);
  owner.updateCount = 0;
  lines.Clear();
  EXPECT_EQ(owner.linesChanged, 4);
}

TEST_F(LineStore, WholeTextAssignmentResetsTheOwnerOnlyAtCounterZero) {
  lines.SetTextStr("a\r\nb");
  EXPECT_EQ(owner.undoCleared, 1);
  EXPECT_EQ(owner.caretResets, 1);
  EXPECT_EQ(owner.linesChanged, 1);
  lines.SetTextQuiet("c");
  EXPECT_EQ(owner.undoCleared, 1);
  EXPECT_EQ(owner.linesChanged, 1);
  EXPECT_EQ(owner.updateCount, 0);
  owner.updateCount = 2;
  lines.SetTextStr("d");
  EXPECT_EQ(owner.undoCleared, 1);
  EXPECT_EQ(owner.updateCount, 2);
}

TEST_F(LineStore, CapacityGrowsByTheRule) {
  lines.Add("1");
  EXPECT_EQ(lines.GetCapacity(), 4);
  for (int i = 0; i < 4; ++i) lines.Add("x");
  EXPECT_EQ(lines.GetCapacity(), 8);
  for (int i = 0; i < 4; ++i) lines.Add("x");
  EXPECT_EQ(lines.GetCapacity(), 12);  // 8 < 9: +4
  for (int i = 0; i < 4; ++i) lines.Add("x");
  EXPECT_EQ(lines.GetCapacity(), 28);  // 12: +16
  while (lines.Count() < 77) lines.Add("x");
  EXPECT_EQ(lines.GetCapacity(), 95);  // 76 > 64: +19
  lines.Clear();
  EXPECT_EQ(lines.GetCapacity(), 0);
  EXPECT_THROW(lines.SetCapacity(-1), EStringListError);
}

TEST_F(LineStore, ColumnCapacityGrowsToTheLongestTextPlusOne) {
  lines.Add(std::string(600, 'a'));
  EXPECT_EQ(owner.columnCapacity, 601);
  lines.Put(0, "short");
  EXPECT_EQ(owner.columnCapacity, 601);
  lines.SetTextStr(std::string(100000, 'b') + "\r\nc");
  EXPECT_EQ(owner.columnCapacity, 100001);
}

TEST_F(LineStore, TextAsOneStringEndsEveryLineWithCrLf) {
  lines.Add("a");
  lines.Add("b");
  EXPECT_EQ(lines.GetTextStr(), "a\r\nb\r\n");
  EXPECT_EQ(lines.LineStartOffset(1), 3);
  EXPECT_EQ(lines.LineStartOffset(2), 6);
  EXPECT_EQ(lines.TextLength(), 6);
  EXPECT_EQ(lines.TextRange(2, 3), "\nb\r");
}

// The reference for whole-text edits: rebuild the text and split it again.
Lines Reference(const std::string& text) {
  Lines out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t brk = text.find_first_of("\r\n", pos);
    if (brk == std::string::npos) brk = text.size();
    out.push_back(text.substr(pos, brk - pos));
    if (brk >= text.size()) break;
    pos = brk + ((text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n') ? 2 : 1);
  }
  return out;
}

// A large text is split on two cores: whatever break the middle falls on,
// the lines are those of one pass (seen through the text they give back).
TEST_F(LineStore, ALargeTextSplitsIntoTheSameLinesWhereverItsMiddleFalls) {
  const std::string unit = "ab\r\ncd\re\n\r\nf\n\n";
  std::string text;
  while (text.size() < (8u << 20) + 4096) text += unit;
  for (std::size_t shift = 0; shift < unit.size(); ++shift) {
    const std::string shifted = std::string(shift * 2, 'x') + text;  // moves the middle by `shift`
    std::string expected;
    expected.reserve(shifted.size() * 2);
    for (std::size_t i = 0; i < shifted.size(); ++i) {
      const char c = shifted[i];
      if (c != '\r' && c != '\n') {
        expected += c;
        continue;
      }
      expected += "\r\n";
      if (c == '\r' && i + 1 < shifted.size() && shifted[i + 1] == '\n') ++i;
    }
    lines.SetTextStr(shifted);
    ASSERT_TRUE(lines.GetTextStr() == expected) << "shift " << shift;
  }
}

// The split of a large text (two halves on two cores) also finds its TABs
// and its bytes above 0x7F, wherever they lie: in either half or in the
// last bytes, which are not taken 64 at a time.
TEST_F(LineStore, ATabOrAHighByteIsFoundWhereverItLiesInALargeText) {
  std::string text;
  while (text.size() < (9u << 20)) text += "abc\r\n";
  auto letter = [](std::size_t at) { return at - at % 5 + 1; };  // a "b"
  for (const char c : {'\t', '\xE9'})
    for (const std::size_t at :
         {letter(0), letter(text.size() / 2 + 101), letter(text.size() - 5), std::string::npos}) {
      std::string changed = text;
      if (at != std::string::npos) changed[at] = c;
      const bool placed = at != std::string::npos;
      lines.SetTextStr(changed);
      const std::string where = std::string(1, c) + " at " + std::to_string(at);
      EXPECT_EQ(lines.TabsExpanded(), placed && c == '\t') << where;
      EXPECT_EQ(lines.AssignedHighBytes(), placed && c != '\t') << where;
      ASSERT_TRUE(lines.GetTextStr() == ExpandTabs(changed, owner.tabWidth)) << where;
    }
}

TEST_F(LineStore, ReplaceTextGivesTheLinesOfAWholeRebuild) {
  std::mt19937 rng(7);
  const char alphabet[] = {'a', 'b', ' ', '\r', '\n', '\t'};
  auto randomText = [&](int maxLen) {
    std::string s;
    int n = static_cast<int>(rng() % static_cast<unsigned>(maxLen + 1));
    for (int i = 0; i < n; ++i) s.push_back(alphabet[rng() % 6]);
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    owner.wordWrap = round % 2 == 1;
    owner.wrapColumn = 3;
    if (round % 40 == 0) lines.SetTextQuiet(randomText(round % 80 == 0 ? 40 : 2000));
    std::string before = lines.GetTextStr();
    std::int64_t total = static_cast<std::int64_t>(before.size());
    std::int64_t offset = total ? static_cast<std::int64_t>(rng() % static_cast<unsigned>(total + 1)) : 0;
    std::int64_t len = std::min<std::int64_t>(rng() % 12, total - offset);
    std::string insert = randomText(round % 7 == 0 ? 600 : 6);
    std::string after = before;
    after.replace(static_cast<std::size_t>(offset), static_cast<std::size_t>(len), ExpandTabs(insert, owner.tabWidth));
    const Lines old = LinesOf(lines);
    owner.changes.clear();
    ASSERT_EQ(lines.ReplaceText(offset, len, insert),
              before.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(len)));
    const Lines now = LinesOf(lines);
    ASSERT_EQ(now, Reference(after)) << "round " << round;
    // The change record names every line that differs; the others only moved.
    ASSERT_EQ(owner.changes.size(), 1u);
    const TLinesChange& c = owner.changes[0];
    ASSERT_EQ(static_cast<int>(now.size()) - static_cast<int>(old.size()), c.LinesInserted - c.LinesRemoved);
    for (int i = 0; i < c.FirstLine; ++i) ASSERT_EQ(now[i], old[i]);
    for (int i = c.FirstLine + c.LinesInserted; i < static_cast<int>(now.size()); ++i)
      ASSERT_EQ(now[i], old[i - c.LinesInserted + c.LinesRemoved]);
    int insertedRows = 0;
    for (int i = c.FirstLine; i < c.FirstLine + c.LinesInserted; ++i) insertedRows += lines.RowCount(i);
    ASSERT_EQ(c.RowsInserted, insertedRows);
    ASSERT_EQ(c.FirstRow, lines.FirstRow(c.FirstLine));
    int rows = 0;
    for (int i = 0; i < lines.Count(); ++i) {
      ASSERT_EQ(lines.FirstRow(i), rows);
      rows += lines.RowCount(i);
    }
    ASSERT_EQ(lines.GetRowCount(), rows);
  }
}

TEST_F(LineStore, ListEditsKeepFirstRowsAndOffsetsInStep) {
  // Random inserts, deletes and puts against a plain vector, with word wrap
  // on a narrow column, over enough lines to need many storage blocks.
  owner.wordWrap = true;
  owner.wrapColumn = 5;
  std::mt19937 rng(11);
  Lines model;
  for (int step = 0; step < 6000; ++step) {
    int op = static_cast<int>(rng() % 10);
    std::string text(rng() % 13, 'a');
    if (!text.empty()) text[rng() % text.size()] = ' ';
    if (op < 5 || model.empty()) {
      int at = static_cast<int>(rng() % (model.size() + 1));
      lines.Insert(at, text);
      model.insert(model.begin() + at, text);
    } else if (op < 8) {
      int at = static_cast<int>(rng() % model.size());
      lines.Delete(at);
      model.erase(model.begin() + at);
    } else {
      int at = static_cast<int>(rng() % model.size());
      lines.Put(at, text);
      model[at] = text;
    }
    if (step % 500 == 0 || step > 5900) {
      ASSERT_EQ(LinesOf(lines), model);
      int rows = 0;
      std::int64_t offset = 0;
      for (int i = 0; i < lines.Count(); ++i) {
        ASSERT_EQ(lines.FirstRow(i), rows) << i;
        ASSERT_EQ(lines.LineStartOffset(i), offset) << i;
        std::string joined;
        for (int k = 0; k < lines.RowCount(i); ++k) joined += lines.RowOfLine(i, k);
        ASSERT_EQ(joined, model[i]);
        rows += lines.RowCount(i);
        offset += static_cast<std::int64_t>(model[i].size()) + 2;
      }
      ASSERT_EQ(lines.GetRowCount(), rows);
    }
  }
}

TEST_F(LineStore, DirtyIsSetByChangesAndClearedPerLine) {
  lines.SetTextStr("a\r\nb\r\nc");
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(lines.Dirty(i));
    lines.Attrs(i).resize(3);
    lines.SetDirty(i, false);
  }
  lines.Put(1, "bb");
  EXPECT_FALSE(lines.Dirty(0));
  EXPECT_TRUE(lines.Dirty(1));
  EXPECT_TRUE(lines.Paragraph(1).Attrs.empty()) << "a changed line drops its colours";
  lines.MarkAllDirty();
  EXPECT_TRUE(lines.Dirty(0));
  EXPECT_TRUE(lines.Dirty(2));
}

TEST_F(LineStore, ColoursOfLongUnpaintedLinesAreDroppedAndTheLineIsDirtyAgain) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line\r\n";
  lines.SetTextStr(text);
  for (int i = 0; i < 20000; ++i) {
    lines.Attrs(i).resize(6);
    lines.SetDirty(i, false);
  }
  EXPECT_TRUE(lines.Dirty(0)) << "the first lines prepared lost their colours";
  EXPECT_FALSE(lines.Dirty(19999));
  EXPECT_EQ(lines.Attrs(19999).size(), 6u);
}

}  // namespace

// A text edited over and over by large replacements leaves chunks behind
// until the store copies its lines into one chunk of their own; the loaded
// lines, the replaced ones, the lines typed into and their rows stay exactly
// those of the same text assigned afresh.
TEST(LineStoreChunks, LinesAndRowsStayThoseOfAFreshAssignmentAcrossCompaction) {
  FakeLinesOwner owner, freshOwner;
  owner.wordWrap = freshOwner.wordWrap = true;
  owner.wrapColumn = freshOwner.wrapColumn = 7;
  TAdvLines lines{&owner};
  std::mt19937 rng(11);
  auto block = [&](std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) {
      s.append(rng() % 19, static_cast<char>('a' + rng() % 26));
      s += rng() % 5 == 0 ? " x\r\n" : rng() % 2 ? "\n" : "\r";
    }
    return s;
  };
  lines.SetTextQuiet(block(9u << 20));  // large enough to be split on two cores
  for (int round = 0; round < 40; ++round) {
    // 2 MB replaced by 2 MB: at least 80 MB of chunks pass through the store.
    const std::int64_t total = lines.TextLength();
    const std::int64_t offset = static_cast<std::int64_t>(rng() % static_cast<unsigned>(total - (2 << 20)));
    const std::string insert = block(2u << 20);
    ASSERT_EQ(lines.ReplaceText(offset, 2 << 20, insert).size(), 2u << 20);
    // A few characters typed here and there: lines owned one by one.
    for (int k = 0; k < 20; ++k) {
      const std::int64_t at = static_cast<std::int64_t>(rng() % static_cast<unsigned>(lines.TextLength()));
      lines.ReplaceText(at, 0, "q");
    }
    if (round % 13 != 12) continue;
    const std::string text = lines.GetTextStr();
    ASSERT_EQ(static_cast<std::int64_t>(text.size()), lines.TextLength());
    TAdvLines fresh{&freshOwner};
    fresh.SetTextQuiet(text);
    ASSERT_EQ(lines.Count(), fresh.Count());
    ASSERT_EQ(lines.GetRowCount(), fresh.GetRowCount());
    for (int i = 0; i < lines.Count(); ++i) {
      ASSERT_EQ(lines.LineView(i), fresh.LineView(i)) << "line " << i;
      ASSERT_EQ(lines.Paragraph(i).Rows, fresh.Paragraph(i).Rows) << "line " << i;
    }
  }
}

// The block trees are rebuilt only from the first block a splice changed:
// after any change of the values from an index on, and of their number,
// every prefix sum and every search is that of a tree built afresh.
TEST(LineStoreTrees, ARebuildFromAnIndexIsAFreshBuild) {
  std::mt19937 rng(3);
  std::vector<std::int64_t> values(1 + rng() % 40);
  for (auto& v : values) v = rng() % 9;
  TFenwick tree;
  tree.Build(values);
  for (int round = 0; round < 400; ++round) {
    const std::size_t from = rng() % (values.size() + 1);
    values.resize(from + rng() % 70);
    for (std::size_t i = from; i < values.size(); ++i) values[i] = rng() % 9;
    tree.Rebuild(from, values.size(), [&](std::size_t i) { return values[i]; });
    TFenwick fresh;
    fresh.Build(values);
    for (std::size_t i = 0; i <= values.size(); ++i) ASSERT_EQ(tree.Prefix(i), fresh.Prefix(i)) << round << " " << i;
    const std::int64_t total = fresh.Prefix(values.size());
    for (std::int64_t target = 0; target <= total; ++target) {
      std::int64_t before = 0, freshBefore = 0;
      ASSERT_EQ(tree.Find(target, before), fresh.Find(target, freshBefore)) << round << " " << target;
      ASSERT_EQ(before, freshBefore);
    }
  }
}

// Pastes into a loaded text are written into the room after its bytes, and
// a paste undone gives its bytes back there for the next one. Lines that
// still use bytes of a paste (the rest of a partly deleted paste, a paste
// below the one undone) keep them, and so does a line pasted from the store
// itself: after every step the text is that of the same edits made on a
// plain string, and the lines and rows are those of that text assigned afresh.
TEST(LineStoreChunks, PastesIntoTheRoomOfALoadedTextAndTheirUndoKeepEveryLine) {
  TempDir dir;
  std::mt19937 rng(5);
  auto block = [&](std::size_t bytes) {
    std::string s;
    while (s.size() < bytes) {
      s.append(rng() % 7 == 0 ? 300 + rng() % 200 : rng() % 30, static_cast<char>('a' + rng() % 26));
      s += "\r\n";
    }
    return s;
  };
  const std::string file = dir.File("doc.txt");
  WriteBytes(file, block(256 << 10));
  FakeLinesOwner owner, plainOwner;
  owner.wordWrap = plainOwner.wordWrap = true;
  owner.wrapColumn = plainOwner.wrapColumn = 9;
  TAdvLines lines{&owner};
  lines.LoadFromFile(file);
  std::string model = lines.GetTextStr();
  // `insert` may be a view of the store's own bytes; `asText` is a copy of it.
  auto replace = [&](std::int64_t offset, std::int64_t length, std::string_view insert, std::string asText) {
    std::string expected = model.substr(0, offset) + asText + model.substr(offset + length);
    lines.ReplaceText(offset, length, insert);
    TAdvLines plain{&plainOwner};
    plain.SetTextStr(std::move(expected));
    model = plain.GetTextStr();
  };
  // A place between lines or within one, never between a CR and its LF.
  auto place = [&] {
    auto at = static_cast<std::int64_t>(rng() % (model.size() + 1));
    return at > 0 && model[at - 1] == '\r' ? at + 1 : at;
  };
  for (int step = 0; step < 40; ++step) {
    const std::string paste = block(1000 + rng() % 30000);
    const std::int64_t at = place();
    replace(at, 0, paste, paste);
    switch (rng() % 4) {
      case 0:  // undone
        replace(at, static_cast<std::int64_t>(paste.size()), "", "");
        break;
      case 1: {  // partly deleted, from within the paste to beyond it
        const std::int64_t from = at + static_cast<std::int64_t>(rng() % paste.size());
        replace(from, std::min<std::int64_t>(static_cast<std::int64_t>(model.size()) - from, 5000), "", "");
        break;
      }
      case 2: {  // a second paste, undone, then a long line of the store pasted
        const std::string second = block(2000);
        const std::int64_t there = place();
        replace(there, 0, second, second);
        replace(there, static_cast<std::int64_t>(second.size()), "", "");
        for (int i = lines.Count() - 1; i >= 0; --i)
          if (lines.LineLength(i) > 300) {
            replace(place(), 0, lines.LineView(i), std::string(lines.LineView(i)));
            break;
          }
        break;
      }
      default:  // typed into
        for (int k = 0; k < 5; ++k) replace(place(), 0, "q", "q");
    }
    ASSERT_EQ(lines.GetTextStr(), model) << "step " << step;
  }
  TAdvLines fresh{&plainOwner};
  fresh.SetTextStr(model);
  ASSERT_EQ(lines.Count(), fresh.Count());
  for (int i = 0; i < lines.Count(); ++i) ASSERT_EQ(lines.Paragraph(i).Rows, fresh.Paragraph(i).Rows) << "line " << i;
}

// A large file is split into lines while it is read, in two parts on two
// cores, a piece at a time. Wherever a break, a TAB or a byte above 0x7F
// falls (at the middle, across the end of a piece, only in the bytes before
// the second part's first line), its lines and rows are those of the same
// text assigned whole.
TEST_F(LineStore, AFileSplitWhileItIsReadHasTheLinesAndRowsOfTheTextAssignedWhole) {
  TempDir dir;
  owner.wordWrap = true;
  std::mt19937 random(25);
  std::string base;
  while (base.size() < (9u << 20)) {
    const std::size_t length = random() % 8 == 0 ? 81 + random() % 220 : random() % 60;
    for (std::size_t i = 0; i < length; ++i) base += i % 7 == 6 ? ' ' : static_cast<char>('a' + i % 26);
    base += random() % 4 == 0 ? "\r\n" : "\n";
  }
  const std::size_t half = base.size() / 2, piece = 1 << 20;
  const std::string longHigh = "\n" + std::string(150, 'x') + "\xC3\xA9" + std::string(150, 'y') + "\n";
  const struct {
    const char* what;
    std::size_t at;
    std::string bytes;  // written over the text from `at`
  } cases[] = {
      {"the text as it is", 0, ""},
      {"CR before the middle, LF at it", half - 1, "\r\n"},
      {"CR at the middle, LF after it", half, "\r\n"},
      {"LF at the middle", half - 1, "x\n"},
      {"CR LF across the end of the first part's first piece", piece - 1, "\r\n"},
      {"CR LF across the end of the second part's first piece", half + piece - 1, "\r\n"},
      {"a byte above 0x7F before the second part's first line", half,
       "ab\xE9"
       "cd\n"},
      {"a long line with a byte above 0x7F in each part", half / 2, longHigh},
      {"a long line with a byte above 0x7F in the second part", half + 3 * piece, longHigh},
      {"a TAB in the second part", base.size() - 100, "\t"},
      {"a TAB before the second part's first line", half, "a\tb\n"},
      {"no break after the middle", half, std::string(base.size() - half, 'z')},
  };
  for (const auto& c : cases) {
    std::string text = base;
    text.replace(c.at, c.bytes.size(), c.bytes);
    if (c.at == half / 2) text.replace(half + 2 * piece, c.bytes.size(), c.bytes);
    WriteBytes(dir.File("doc.php"), text);
    bool ascii = true;
    TAdvLines::TReadText read = lines.ReadText(dir.File("doc.php"), &ascii);
    EXPECT_TRUE(read.LinesFound()) << c.what;
    EXPECT_EQ(ascii, text.find_first_of("\x80\xA9\xC3\xE9") == std::string::npos) << c.what;
    lines.SetTextStr(std::move(read));
    TAdvLines whole(&owner);
    whole.SetTextStr(text);
    ASSERT_TRUE(lines.GetTextStr() == whole.GetTextStr()) << c.what;
    EXPECT_EQ(lines.TabsExpanded(), whole.TabsExpanded()) << c.what;
    EXPECT_EQ(lines.AssignedHighBytes(), whole.AssignedHighBytes()) << c.what;
    ASSERT_EQ(lines.GetRowCount(), whole.GetRowCount()) << c.what;
    int rowsDiffer = 0;
    for (int line = 0; line < lines.Count(); ++line) {
      const int rows = lines.RowCount(line);
      rowsDiffer += rows != whole.RowCount(line);
      for (int k = 0; k < rows && rows > 1; ++k) rowsDiffer += lines.RowOfLine(line, k) != whole.RowOfLine(line, k);
    }
    EXPECT_EQ(rowsDiffer, 0) << c.what;
    EXPECT_GT(lines.GetRowCount(), lines.Count()) << c.what;
  }
}

// The records of a large split take memory ahead of use, on huge pages while
// much more is expected; once the split ends, what no array took goes back.
TEST(LineStoreArea, WhatWasMappedAheadAndNotTakenGoesBackWhenTheSplitEnds) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  TRecordArea area(std::size_t{16} << 20);
  area.Expect(std::size_t{64} << 20);
  auto* begin = static_cast<char*>(area.Take(2048));
  ASSERT_NE(begin, nullptr);
  std::size_t used = 2048;
  auto take = [&](std::size_t bytes) {
    char* at = static_cast<char*>(area.Take(bytes));
    ASSERT_EQ(at, begin + used);
    std::memset(at, 1, bytes);
    used += bytes;
  };
  for (int i = 0; i < 1500; ++i) take(2048);  // into the second huge page
  area.Expect(0);
  for (int i = 0; i < 20; ++i) take(2048);
  area.Close();
  EXPECT_EQ(area.Take(16), nullptr);
  std::vector<unsigned char> resident((std::size_t{8} << 20) / page);
  ASSERT_EQ(::mincore(begin, resident.size() * page, resident.data()), 0);
  std::size_t takenAndResident = 0, otherResident = 0;
  for (std::size_t i = 0; i < resident.size(); ++i)
    (i * page < used ? takenAndResident : otherResident) += resident[i] & 1;
  EXPECT_EQ(takenAndResident, (used + page - 1) / page);
  EXPECT_EQ(otherResident, 0u);
}
