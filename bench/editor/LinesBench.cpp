// The line store on generated documents from 1 MB to 100 MB.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "bench/support/Corpus.h"
#include "bench/support/LinesOwner.h"
#include "editor/AdvLines.h"
#include "editor/FileIO.h"

namespace {

void Load(benchmark::State& state, bool wrap) {
  double mb = static_cast<double>(state.range(0));
  std::string file = CorpusFile(mb);
  for (auto _ : state) {
    BenchLinesOwner owner;
    owner.wrap = wrap;
    TAdvLines lines(&owner);
    lines.LoadFromFile(file);
    benchmark::DoNotOptimize(lines.Count());
    state.counters["lines"] = lines.Count();
  }
  state.counters["peak_rss_MB"] = static_cast<double>(PeakRssBytes()) / (1 << 20);
}
void BM_Load(benchmark::State& state) { Load(state, false); }
void BM_LoadWrapped(benchmark::State& state) { Load(state, true); }
BENCHMARK(BM_Load)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadWrapped)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

// One document per size kept across the per-operation benchmarks.
struct Doc {
  BenchLinesOwner owner;
  TAdvLines lines{&owner};
};
Doc& Document(int mb, bool wrap) {
  static Doc* docs[2][101] = {};
  Doc*& d = docs[wrap][mb];
  if (!d) {
    d = new Doc;
    d->owner.wrap = wrap;
    d->lines.LoadFromFile(CorpusFile(mb));
  }
  return *d;
}

void BM_PutMiddle(benchmark::State& state) {
  Doc& d = Document(static_cast<int>(state.range(0)), state.range(1) != 0);
  int mid = d.lines.Count() / 2;
  std::string text = d.lines.Get(mid);
  for (auto _ : state) {
    text.push_back('x');
    if (text.size() > 60) text.resize(20);
    d.lines.Put(mid, text);
  }
}
BENCHMARK(BM_PutMiddle)->ArgsProduct({{1, 10, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);

void BM_RowToLine(benchmark::State& state) {
  Doc& d = Document(static_cast<int>(state.range(0)), state.range(1) != 0);
  int row = d.lines.GetRowCount() / 2;
  for (auto _ : state) {
    int column = 0, line = 0;
    d.lines.RowToLine(3, row, column, line);
    benchmark::DoNotOptimize(line);
    row ^= 1;  // defeat the sequential-access shortcut
  }
}
BENCHMARK(BM_RowToLine)->ArgsProduct({{1, 10, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);

void BM_LineToRow(benchmark::State& state) {
  Doc& d = Document(static_cast<int>(state.range(0)), state.range(1) != 0);
  int line = d.lines.Count() / 2;
  for (auto _ : state) {
    int row = 0, column = 0;
    d.lines.LineToRow(line, 3, row, column);
    benchmark::DoNotOptimize(row);
    line ^= 1;
  }
}
BENCHMARK(BM_LineToRow)->ArgsProduct({{1, 10, 100}, {0, 1}})->Unit(benchmark::kMicrosecond);

void BM_LineStartOffset(benchmark::State& state) {
  Doc& d = Document(static_cast<int>(state.range(0)), false);
  int line = d.lines.Count() / 2;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.lines.LineStartOffset(line));
    line ^= 1;
  }
}
BENCHMARK(BM_LineStartOffset)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_Save(benchmark::State& state) {
  Doc& d = Document(static_cast<int>(state.range(0)), false);
  std::string out = std::string(P_tmpdir) + "/quorvel-bench-save.txt";
  for (auto _ : state) d.lines.SaveToFile(out);
  ::unlink(out.c_str());
}
BENCHMARK(BM_Save)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
