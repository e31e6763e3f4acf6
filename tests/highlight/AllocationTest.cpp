// Scanning allocates nothing once the class buffer and the state array are
// large enough: not per character, not per word, not per line.

#include <gtest/gtest.h>

#include "tests/support/AllocCounter.h"
#include "tests/highlight/HighlightTestUtil.h"

namespace {

using hltest::Kind;

TEST(Allocation, NoneWhileScanningWarmedUpHighlighters) {
  const std::vector<std::string> text = {
      "<?php echo strlen($a) . 'x' . \"y\\\"z\"; // note ?>",
      "<a href=\"x.php\" title='t' id=r1>Link <b>bold</b></a> <!-- c -->",
      "<script>var count = 12; document.write(\"<b>\" + count); // c",
      "</script><style><!--",
      "p { color: #ff0000; margin-left: 12px; width: 50%; }",
      "--></style>",
      "#include <stdio.h> int main() { return 0x1F; } /* block",
      "end */ (* pascal *) { brace } 'it''s' #13#10 $FF begin end",
  };
  for (Kind kind :
       {Kind::PHP, Kind::PHPScript, Kind::PHPStyleSheet, Kind::C, Kind::Java, Kind::Pascal, Kind::XML}) {
    std::vector<std::string> doc;
    for (int i = 0; i < 50; ++i) doc.insert(doc.end(), text.begin(), text.end());
    auto d = hltest::MakeDoc(kind, doc);
    const int last = d->lines.Count() - 1;
    TLineAttrs attrs(200);
    TSelAttrs sel(200);
    std::string longest(120, 'x');
    // Warm up: the class buffer for the longest line, the state array for the document.
    d->hl->HighlightLine(longest, 0, sel, attrs);
    d->hl->HighlightLine(d->lines.LineView(last), last, sel, attrs);

    long before = AllocationCount();
    d->hl->ResetStates();
    for (int i = last; i >= 0; --i)
      d->hl->HighlightLine(d->lines.LineView(i), i, sel, attrs);
    for (int i = 0; i <= last; ++i)
      d->hl->HighlightLine(d->lines.LineView(i), i, sel, attrs);
    EXPECT_EQ(AllocationCount() - before, 0) << static_cast<int>(kind);
  }
}

// The word lists are parsed once per process: a highlighter made after the
// first of its kind (here every kind's lists are in use already) allocates nothing.
TEST(Allocation, NoneForTheWordListsOfAnotherHighlighter) {
  for (Kind kind :
       {Kind::PHP, Kind::PHPScript, Kind::PHPStyleSheet, Kind::C, Kind::Java, Kind::Pascal, Kind::XML}) {
    auto first = hltest::MakeDoc(kind, {"<?php echo 1; ?> begin int"});
    const long before = AllocationCount();
    {
      auto second = hltest::Make(kind, first->lines);
      EXPECT_NE(second, nullptr);
    }
    // One allocation: the highlighter object itself.
    EXPECT_EQ(AllocationCount() - before, 1) << static_cast<int>(kind);
  }
}

}  // namespace
