// Search and history work on the 100 MB generated document: a find that
// reads the whole text without a match, Replace All of about a million
// matches of a regular expression with a back-reference and its undo, and
// the redo of a megabyte paste.

#include <benchmark/benchmark.h>

#include <memory>

#include "bench/support/Corpus.h"
#include "editor/AdvEdit.h"
#include "editor/EditSearch.h"

namespace {

TAdvancedEditor& Editor() {
  static std::unique_ptr<TAdvancedEditor> e;
  if (!e) {
    e = std::make_unique<TAdvancedEditor>();
    e->SetWordWrap(false);
    e->Lines->LoadFromFile(CorpusFile(100));
  }
  return *e;
}

// Find next from the start of the text, no wrapping: nothing matches.
void FindNothing(benchmark::State& state, const char* pattern, bool regex) {
  TAdvancedEditor& e = Editor();
  const TTextSearch search(pattern, {false, false, regex});
  for (auto _ : state) {
    e.Unselect();
    e.MoveCaret(0, 0);
    const TFindOutcome out = FindAgain(e, search, false, false);
    if (out.Found) state.SkipWithError("found");
  }
  e.UndoBuffer->Clear();
  state.SetBytesProcessed(state.iterations() * e.Lines->TextLength());
}
void BM_FindRegexNoMatch(benchmark::State& s) { FindNothing(s, "needle\\d+-(not|never)-present", true); }
void BM_FindTextNoMatch(benchmark::State& s) { FindNothing(s, "needle-not-present", false); }
BENCHMARK(BM_FindRegexNoMatch)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FindTextNoMatch)->Unit(benchmark::kMillisecond)->Iterations(10);

constexpr const char* kVariables = "\\$(value|rows)\\b";  // 1,110,350 matches in the 100 MB document

// Replace All as one undo step; `timeUndo` times its undo instead.
void ReplaceAll(benchmark::State& state, bool timeUndo) {
  TAdvancedEditor& e = Editor();
  const TTextSearch search(kVariables, {true, false, true});
  std::int64_t count = 0;
  for (auto _ : state) {
    if (timeUndo) state.PauseTiming();
    count = ReplaceAllMatches(e, search, "$$new_$1", false);
    if (timeUndo) {
      state.ResumeTiming();
    } else {
      state.PauseTiming();
    }
    e.ExecuteCommand(cmdUndo);
    if (!timeUndo) state.ResumeTiming();
  }
  e.UndoBuffer->Clear();
  state.counters["matches"] = static_cast<double>(count);
}
void BM_ReplaceAllMillion(benchmark::State& s) { ReplaceAll(s, false); }
void BM_UndoReplaceAllMillion(benchmark::State& s) { ReplaceAll(s, true); }
BENCHMARK(BM_ReplaceAllMillion)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_UndoReplaceAllMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

// A megabyte pasted in the middle, undone; the redo is timed.
void BM_RedoPasteMegabyte(benchmark::State& state) {
  TAdvancedEditor& e = Editor();
  std::string text;
  for (int i = 0; text.size() < (1 << 20); ++i)
    text += "$value = compute($a, " + std::to_string(i) + "); // pasted\r\n";
  for (auto _ : state) {
    state.PauseTiming();
    e.Unselect();
    e.MoveCaret(10, e.Lines->GetRowCount() / 2);
    e.InsertText(text);
    e.ExecuteCommand(cmdUndo);
    state.ResumeTiming();
    e.ExecuteCommand(cmdRedo);
    state.PauseTiming();
    e.ExecuteCommand(cmdUndo);
    state.ResumeTiming();
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_RedoPasteMegabyte)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
