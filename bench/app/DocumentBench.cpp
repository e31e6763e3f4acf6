// Documents as the program shows them: a PHP document opened through the
// edit manager into a real (offscreen) editor window, highlighted and painted.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/EditMgr.h"
#include "bench/support/Corpus.h"
#include "platform/qt/QtEditorPanel.h"
#include "platform/qt/QtEditorWindow.h"

namespace {

QApplication& Qt() {
  static int argc = 1;
  static char name[] = "bench_documents";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A panel the size of a maximised window, and the manager of its documents.
struct Desk {
  Desk() {
    panel.resize(1260, 860);
    panel.show();
  }
  TSourceEditor& Doc() { return manager.Current(); }
  void PaintScreen() {
    TSourceEditor& e = Doc();
    e.Paint({0, 0, e.ClientWidth(), e.ClientHeight()});
  }
  QApplication& app = Qt();  // before any widget
  platform::QtEditorPanel panel;
  TEditManager manager{&panel};
};

Desk& OpenedDesk() {
  static Desk* desk = [] {
    auto* d = new Desk;
    d->manager.Open(CorpusFile(100));
    d->PaintScreen();
    return d;
  }();
  return *desk;
}

void BM_OpenAndPaintFirstScreen(benchmark::State& state) {
  std::string file = CorpusFile(100);
  for (auto _ : state) {
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(file);
    desk->PaintScreen();
    state.PauseTiming();
    state.counters["lines"] = desk->Doc().Lines->Count();
    state.counters["peak_rss_MB"] = static_cast<double>(PeakRssBytes()) / (1 << 20);
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenAndPaintFirstScreen)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_TextEndAndPaintLastScreen(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(CorpusFile(100));
    desk->PaintScreen();
    state.ResumeTiming();
    desk->Doc().ExecuteCommand(cmdTextEnd);
    desk->PaintScreen();
    state.PauseTiming();
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TextEndAndPaintLastScreen)->Unit(benchmark::kMillisecond)->Iterations(2);

// A character typed in the middle and taken back with Backspace, each with the
// change notification, re-highlighting and repainting of the visible rows.
void BM_TypeInTheMiddle(benchmark::State& state) {
  Desk& desk = OpenedDesk();
  TSourceEditor& e = desk.Doc();
  int row = e.Lines->GetRowCount() / 2;
  e.MoveCaret(4, row);
  desk.PaintScreen();
  bool type = true;
  for (auto _ : state) {
    if (type) {
      e.KeyPress('x');
    } else {
      std::uint16_t key = vk::Back;
      e.KeyDown(key, 0);
    }
    desk.PaintScreen();
    type = !type;
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_TypeInTheMiddle)->Unit(benchmark::kMicrosecond);

void BM_FindNextMissing(benchmark::State& state) {
  TSourceEditor& e = OpenedDesk().Doc();
  for (auto _ : state) {
    e.MoveCaret(0, 0);
    e.FindNext("no such text anywhere");
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_FindNextMissing)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FindNextRare(benchmark::State& state) {
  TSourceEditor& e = OpenedDesk().Doc();
  for (auto _ : state) {
    e.MoveCaret(0, 0);
    e.FindNext("ID = \" . INTVAL($ID999");  // a common first letter, a rare whole
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_FindNextRare)->Unit(benchmark::kMillisecond)->Iterations(5);

// One line of 50 MB (the corpus with its line breaks turned into blanks):
// word wrap switched on and the first screen painted, as the View menu does.
std::string LongLineFile() {
  std::string path = CorpusFile(50) + ".line.txt";
  if (!std::filesystem::exists(path)) {
    std::string bytes = CorpusBytes(50);
    std::string line;
    line.reserve(bytes.size());
    for (char c : bytes)
      if (c != '\r') line += c == '\n' ? ' ' : c;
    std::ofstream(path, std::ios::binary) << line;
  }
  return path;
}

void BM_WordWrapOnWithA50MBLine(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(LongLineFile());
    desk->Doc().SetWordWrap(false);
    desk->PaintScreen();
    state.ResumeTiming();
    desk->Doc().SetWordWrap(true);
    desk->PaintScreen();
    state.PauseTiming();
    state.counters["rows"] = desk->Doc().Lines->GetRowCount();
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WordWrapOnWithA50MBLine)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
