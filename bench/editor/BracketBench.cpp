// The language aids per key: marking the bracket at the caret and its
// partner in ordinary PHP code and when the partner is out of reach, and a
// typed character with its render with every aid on against all of them off.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/support/Corpus.h"
#include "bench/support/NullWindow.h"
#include "editor/AdvCompletion.h"
#include "highlight/SourceAids.h"

namespace {

using benchsupport::NullWindow;

// A PHP document of the corpus in a window of 150 x 50 cells, painted once.
struct Document {
  NullWindow window;
  TSourceEditor editor;
  explicit Document(const std::string& text) {
    editor.AttachWindow(&window);
    editor.SetWordWrap(false);
    editor.Lines->SetTextStr(text);
    editor.FileName = "page.php";
    editor.ChooseHighlighter();
    aids::AttachCodeMask(editor);
    editor.Paint({0, 0, 2 + 150 * 8, 50 * 16});
  }
};

// Ordinary code: the caret set beside every bracket of the corpus's first
// 2,000 lines in turn, the marks made anew each time (and their rows painted).
void BM_BracketMarksOrdinaryCode(benchmark::State& state) {
  Document d(CorpusBytes(1));
  TSourceEditor& e = d.editor;
  e.SetBracketHighlight(true);
  std::vector<platform::Point> spots;
  for (int line = 0; line < 2000 && line < e.Lines->Count(); ++line) {
    const std::string_view text = e.Lines->LineView(line);
    for (std::size_t i = 0; i < text.size(); ++i)
      if (brackets::IsBracket(text[i])) spots.push_back({static_cast<int>(i), line});
  }
  std::size_t next = 0, found = 0;
  for (auto _ : state) {
    const platform::Point p = spots[next++ % spots.size()];
    e.MoveCaret(p.x, p.y);
    e.UpdateBracketMarks();
    found += e.BracketMarkIn(p.y, 0) != static_cast<std::size_t>(-1);
  }
  state.counters["brackets"] = static_cast<double>(spots.size());
  state.counters["paired"] = static_cast<double>(found) / static_cast<double>(state.iterations());
}

// The worst case: a brace whose partner lies 4 MB further on, searched from
// the caret moving on and off it; the search gives up at its bound.
void BM_BracketMarksPartnerOutOfReach(benchmark::State& state) {
  Document d("<?php\nfunction f() {\n" + CorpusBytes(4) + "\n}\n");
  TSourceEditor& e = d.editor;
  e.SetBracketHighlight(true);
  bool on = false;
  for (auto _ : state) {
    e.MoveCaret(on ? 14 : 13, 1);
    on = !on;
    e.UpdateBracketMarks();
  }
}

// A typed character and its removal, with the rows they change painted:
// every aid on (bracket marks, completion) against all of them off.
void TypeAndRender(benchmark::State& state, bool aidsOn) {
  Document d(CorpusBytes(1));
  TSourceEditor& e = d.editor;
  e.SetBracketHighlight(aidsOn);
  aids::SetCompletion(e, aidsOn);
  // Inside a call, beside its brackets: "htmlspecialchars($value|)".
  int line = 0;
  while (e.Lines->LineView(line).find("htmlspecialchars($value)") == std::string_view::npos) ++line;
  e.MoveCaret(static_cast<int>(e.Lines->LineView(line).find("$value)") + 6), line);
  for (auto _ : state) {
    e.KeyPress('x');
    e.ExecuteCommand(cmdDeleteLeft);
  }
}
void BM_TypeAndRenderAidsOff(benchmark::State& s) { TypeAndRender(s, false); }
void BM_TypeAndRenderAidsOn(benchmark::State& s) { TypeAndRender(s, true); }

BENCHMARK(BM_BracketMarksOrdinaryCode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BracketMarksPartnerOutOfReach)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeAndRenderAidsOff)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeAndRenderAidsOn)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
