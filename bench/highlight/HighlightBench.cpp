// The highlighters on the generated 100 MB PHP document: bringing the state
// cache up to date over the whole document (the view jumps to the end), and
// colouring single lines from a valid cache, with the heap allocations made.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/support/Corpus.h"
#include "bench/support/LinesOwner.h"
#include "editor/AdvLines.h"
#include "highlight/HiLiC.h"
#include "highlight/HiLiPAS.h"
#include "highlight/HiLiPHP.h"
#include "tests/support/AllocCounter.h"

namespace {

struct Doc {
  BenchLinesOwner owner;
  TAdvLines lines{&owner};
};

Doc& Corpus() {
  static Doc* doc = [] {
    auto* d = new Doc;
    d->lines.LoadFromFile(CorpusFile(100));
    return d;
  }();
  return *doc;
}

// Colours line `index` as the painter does: the line with its end mark.
void Paint(TSyntaxHighLight& h, TAdvLines& lines, int index, std::string& text, TLineAttrs& attrs,
           const TSelAttrs& sel) {
  text.assign(lines.LineView(index));
  text.push_back('\xAC');
  attrs.assign(text.size() + 1, TCharAttr{});
  h.HighlightLine(text, index, sel, attrs);
}

template <class H>
void BM_UpdateStatesWholeDocument(benchmark::State& state) {
  Doc& d = Corpus();
  H h(d.lines);
  int last = d.lines.Count() - 1;
  std::string text;
  TLineAttrs attrs;
  TSelAttrs sel;
  for (auto _ : state) {
    h.ResetStates();
    Paint(h, d.lines, last, text, attrs, sel);  // scans every line above the last once
    benchmark::DoNotOptimize(attrs.data());
  }
  state.SetBytesProcessed(state.iterations() * (d.lines.TextLength() - 2 * static_cast<std::int64_t>(d.lines.Count())));
  state.counters["lines"] = d.lines.Count();
}
BENCHMARK(BM_UpdateStatesWholeDocument<TPHPHighLight>)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_UpdateStatesWholeDocument<TCHighLight>)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_UpdateStatesWholeDocument<TPASHighLight>)->Unit(benchmark::kMillisecond)->Iterations(5);

// 80-character lines of the kinds a web document holds.
const std::vector<std::string> kEightyColumnLines = {
    "    $total += intval($row['price']) * 1.5 + 0x1F; // running total of all pages.",
    "<a href=\"page.php?id=42\" title='item 42' class=\"row\">Item <b>42</b></a> <br/>   ",
    "  document.getElementById(\"r42\").innerHTML = \"<b>\" + count + \"</b>\"; // all okay",
    "  .row { color: #ff0000; margin-left: 12px; width: 50%; font-family: Arial;    }",
    "echo \"<td>\" . htmlspecialchars($value) . \"</td>\"; # a cell with an escaped value",
};

void BM_ColourLineFromValidCache(benchmark::State& state) {
  Doc d;
  std::string text;
  // Each kind of line in its own context: PHP code, HTML, script, style.
  text += "<?php\n" + kEightyColumnLines[0] + "\n" + kEightyColumnLines[4] + "\n?>\n";
  text += kEightyColumnLines[1] + "\n<script>\n" + kEightyColumnLines[2] + "\n</script>\n";
  text += "<style><!--\n" + kEightyColumnLines[3] + "\n--></style>\n";
  d.lines.SetTextStr(text);
  TPHPHighLight h(d.lines);
  std::vector<int> targets;
  for (int i = 0; i < d.lines.Count(); ++i)
    if (d.lines.LineLength(i) == 80) targets.push_back(i);
  std::vector<std::string> painted;
  for (int i : targets) painted.push_back(std::string(d.lines.LineView(i)) + "\xAC");
  TLineAttrs attrs(82);
  TSelAttrs sel(82);
  for (int i = 0; i < d.lines.Count(); ++i) {  // the cache becomes valid
    std::string t(d.lines.LineView(i));
    TLineAttrs a(t.size() + 1);
    h.HighlightLine(t, i, sel, a);
  }
  std::size_t k = 0;
  long before = AllocationCount();
  for (auto _ : state) {
    h.HighlightLine(painted[k], targets[k], sel, attrs);
    benchmark::DoNotOptimize(attrs.data());
    if (++k == targets.size()) k = 0;
  }
  state.counters["lines"] = static_cast<double>(targets.size());
  state.counters["allocs_per_line"] =
      static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ColourLineFromValidCache)->Unit(benchmark::kNanosecond);

// Colouring the corpus lines themselves from a valid cache, top to bottom.
template <class H>
void BM_ColourCorpusLines(benchmark::State& state) {
  Doc& d = Corpus();
  H h(d.lines);
  const int window = 100000;
  std::string text;
  TLineAttrs attrs;
  TSelAttrs sel;
  Paint(h, d.lines, window, text, attrs, sel);  // lines 0..window cached
  int i = 0;
  long before = AllocationCount();
  std::int64_t bytes = 0;
  for (auto _ : state) {
    std::string_view line = d.lines.LineView(i);
    text.assign(line);
    text.push_back('\xAC');
    if (attrs.size() < text.size() + 1) attrs.resize(text.size() + 1);
    h.HighlightLine(text, i, sel, attrs);
    bytes += static_cast<std::int64_t>(line.size());
    if (++i == window) i = 0;
  }
  state.SetBytesProcessed(bytes);
  state.counters["allocs_per_line"] =
      static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ColourCorpusLines<TPHPHighLight>)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_ColourCorpusLines<TCHighLight>)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_ColourCorpusLines<TPASHighLight>)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
