// What the user waits for in the real window: a PHP document opened through
// the edit manager into the program's editor window (1200 x 800, offscreen),
// edited, and the window rendered with QWidget::grab after every step, the
// same steps ../shared/peers/run-peers takes with QPlainTextEdit.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <QAccessible>
#include <QApplication>
#include <chrono>
#include <memory>
#include <string>

#include "app/EditMgr.h"
#include "app/LineNumbers.h"
#include "bench/support/Corpus.h"
#include "qt/ProcessMemory.h"
#include "qt/QtEditorPanel.h"
#include "qt/QtEditorWindow.h"

namespace {

QApplication& Qt() {
  static int argc = 1;
  static char name[] = "bench_window";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  platform::UseOneHeapForAllThreads();  // as the program does before its first thread
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// One document of the corpus open in a shown window, the caret in the middle
// of the text (or, just opened, at its start), everything painted.
struct Desk {
  explicit Desk(int megabytes, bool middle = true) {
    panel.resize(1200, 800);
    panel.show();
    manager.Open(CorpusFile(megabytes));
    TSourceEditor& e = Doc();
    if (middle) e.MoveCaret(10, e.Lines->GetRowCount() / 2);
    Render();
  }
  TSourceEditor& Doc() { return manager.Current(); }
  void Render() { benchmark::DoNotOptimize(panel.VisibleWindow()->grab()); }
  QApplication& app = Qt();  // before any widget
  platform::QtEditorPanel panel;
  TEditManager manager{&panel};
};

// One large document at a time.
Desk& DeskOf(int megabytes) {
  static std::unique_ptr<Desk> desk;
  static int open = 0;
  if (!desk || open != megabytes) {
    desk.reset();
    desk = std::make_unique<Desk>(megabytes);
    open = megabytes;
  }
  return *desk;
}

// The peers' pasted text: about 1 MB of short code lines.
const std::string& PastedText() {
  static const std::string text = [] {
    std::string t;
    for (int i = 0; t.size() < (1 << 20); ++i) t += "$value = compute($a, " + std::to_string(i) + "); // pasted\n";
    return t;
  }();
  return text;
}

// A start as the user waits for it, alone in its process (it is the first
// benchmark): the application object and the shown window, the font made
// ready (start_ms); a corpus document opened (open_ms), as the peers count
// their load; its first screen rendered (first_paint_ms).
void BM_StartOpenAndPaint(benchmark::State& state) {
  if (QCoreApplication::instance()) {
    state.SkipWithError("needs a process of its own: --benchmark_filter=BM_StartOpenAndPaint");
    return;
  }
  const std::string file = CorpusFile(static_cast<int>(state.range(0)));
  using Clock = std::chrono::steady_clock;
  const auto ms = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
  };
  // The processor time of this thread as well: on a loaded machine the wall
  // times mostly count the waits for a core.
  const auto cpuMs = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
  };
  // Fresh pages the kernel hands out (each one cleared and mapped).
  const auto minorFaults = [] {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
  };
  for (auto _ : state) {
    const auto start = Clock::now();
    const double startCpu = cpuMs();
    Qt();
    platform::QtEditorPanel panel;
    panel.resize(1200, 800);
    panel.show();
    TEditManager manager{&panel};
    // As the peers' harnesses do: the shown window's events handled before
    // the load is timed.
    QCoreApplication::processEvents();
    const auto shown = Clock::now();
    const double shownCpu = cpuMs();
    manager.Open(file);
    const auto opened = Clock::now();
    const double openedCpu = cpuMs();
    const long openedFaults = minorFaults();
    benchmark::DoNotOptimize(panel.VisibleWindow()->grab());
    const auto painted = Clock::now();
    const double paintedCpu = cpuMs();
    state.counters["first_paint_faults"] = static_cast<double>(minorFaults() - openedFaults);
    state.counters["start_ms"] = ms(start, shown);
    state.counters["open_ms"] = ms(shown, opened);
    state.counters["first_paint_ms"] = ms(opened, painted);
    state.counters["start_cpu_ms"] = shownCpu - startCpu;
    state.counters["open_cpu_ms"] = openedCpu - shownCpu;
    state.counters["first_paint_cpu_ms"] = paintedCpu - openedCpu;
  }
}
BENCHMARK(BM_StartOpenAndPaint)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// Ctrl+End in a document just opened and rendered, and the window rendered
// again, as the peers' goto_end_paint_ms: every line's colouring state is
// brought up to date on the way.
void BM_TextEndAndRender(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto desk = std::make_unique<Desk>(static_cast<int>(state.range(0)), false);
    state.ResumeTiming();
    desk->Doc().ExecuteCommand(cmdTextEnd);
    desk->Render();
    state.PauseTiming();
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TextEndAndRender)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RenderUnchanged(benchmark::State& state) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  for (auto _ : state) desk.Render();
}
BENCHMARK(BM_RenderUnchanged)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);

// A character typed in the middle of the text, then the whole window
// rendered (Render), or what changed shown as the window shows a key's rows
// (Show: the top-level window's pending update handled at once, painting
// and handing over only the changed area), or nothing.
enum class After { Nothing, Render, Show };
void TypeChar(benchmark::State& state, After after) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  TSourceEditor& e = desk.Doc();
  QWidget* top = desk.panel.window();
  int typed = 0;
  for (auto _ : state) {
    e.KeyPress('x');
    if (after == After::Render) desk.Render();
    if (after == After::Show) {
      QEvent request(QEvent::UpdateRequest);
      QCoreApplication::sendEvent(top, &request);
    }
    if (++typed == 100) {
      state.PauseTiming();
      e.Undo();
      desk.Render();
      typed = 0;
      state.ResumeTiming();
    }
  }
  if (typed > 0) e.Undo();
  e.UndoBuffer->Clear();
}
void BM_TypeCharAndRender(benchmark::State& state) { TypeChar(state, After::Render); }
void BM_TypeCharOnly(benchmark::State& state) { TypeChar(state, After::Nothing); }
// Run with QT_SCALE_FACTOR=2 for the device pixel ratio of 2.
void BM_TypeCharAndShow(benchmark::State& state) { TypeChar(state, After::Show); }
BENCHMARK(BM_TypeCharAndRender)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeCharOnly)->Arg(10)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeCharAndShow)->Arg(10)->Unit(benchmark::kMicrosecond);

// About `megabytes` MB of UTF-8 lines mixing Chinese (a few thousand
// characters), Cyrillic and ASCII, as the source of a localised program.
std::string MixedScriptText(int megabytes) {
  static const char* const kCyrillic[] = {"Привет", "мир", "строка", "ошибка", "файл", "сохранён"};
  std::string text;
  char utf8[4];
  auto han = [&](int k) {
    const char32_t ch = 0x4E00 + static_cast<char32_t>(k % 3000);
    utf8[0] = static_cast<char>(0xE0 | (ch >> 12));
    utf8[1] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
    utf8[2] = static_cast<char>(0x80 | (ch & 0x3F));
    text.append(utf8, 3);
  };
  for (int i = 0; text.size() < static_cast<std::size_t>(megabytes) << 20; ++i) {
    text += "$label" + std::to_string(i % 997) + " = '";
    for (int k = 0; k < 8; ++k) han(i * 13 + k * 7);
    text += "' . \"";
    text += kCyrillic[i % 6];
    text += ' ';
    text += kCyrillic[(i / 6) % 6];
    text += "\"; // ";
    for (int k = 0; k < 4; ++k) han(i * 5 + k);
    text += " ok\n";
  }
  return text;
}

// A wide character typed at the start of a line in the middle of a
// mixed-script UTF-8 document, then the window rendered; first_paint_ms is the first
// screen of the document, its characters' tiles not yet made (in the first
// run of the process only).
void BM_TypeCharAndRenderMixedScript(benchmark::State& state) {
  Desk& desk = DeskOf(1);
  TSourceEditor& e = desk.Doc();
  const std::string saved = e.Lines->GetTextStr();
  e.SetEncoding(TTextEncoding::Utf8);
  e.BeginUpdate();
  e.Lines->SetTextStr(MixedScriptText(static_cast<int>(state.range(0))));
  e.MoveCaret(0, e.Lines->GetRowCount() / 2);
  const auto start = std::chrono::steady_clock::now();
  e.EndUpdate();
  desk.Render();
  state.counters["first_paint_ms"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  int typed = 0;
  for (auto _ : state) {
    e.TypeCharacter(U'\u4E2D');
    desk.Render();
    if (++typed == 100) {
      state.PauseTiming();
      e.Undo();
      desk.Render();
      typed = 0;
      state.ResumeTiming();
    }
  }
  e.UndoBuffer->Clear();
  e.SetEncoding(TTextEncoding::Windows1252);
  e.Lines->SetTextStr(saved);
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_TypeCharAndRenderMixedScript)->Arg(10)->Unit(benchmark::kMicrosecond);

// With line numbers: a line break typed (every number below moves), the
// gutter fitted and repainted as the main window does after a change, the
// window rendered.
void BM_TypeLineBreakNumbered(benchmark::State& state) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  TSourceEditor& e = desk.Doc();
  linenumbers::Show(e, true, TEditManager::kGutterWidth);
  int typed = 0;
  for (auto _ : state) {
    e.ExecuteCommand(cmdLineBreak);
    linenumbers::Refresh(e, TEditManager::kGutterWidth);
    desk.Render();
    if (++typed == 100) {
      state.PauseTiming();
      e.Undo();
      desk.Render();
      typed = 0;
      state.ResumeTiming();
    }
  }
  if (typed > 0) e.Undo();
  e.UndoBuffer->Clear();
  linenumbers::Show(e, false, TEditManager::kGutterWidth);
}
void BM_TypeLineBreak(benchmark::State& state) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  TSourceEditor& e = desk.Doc();
  int typed = 0;
  for (auto _ : state) {
    e.ExecuteCommand(cmdLineBreak);
    desk.Render();
    if (++typed == 100) {
      state.PauseTiming();
      e.Undo();
      desk.Render();
      typed = 0;
      state.ResumeTiming();
    }
  }
  if (typed > 0) e.Undo();
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_TypeLineBreak)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TypeLineBreakNumbered)->Arg(100)->Unit(benchmark::kMicrosecond);

// 1 MB pasted in the middle of the text and rendered; then its undo.
void BM_PasteOneMegabyte(benchmark::State& state) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  TSourceEditor& e = desk.Doc();
  for (auto _ : state) {
    e.InsertText(PastedText());
    desk.Render();
    state.PauseTiming();
    e.Undo();
    desk.Render();
    state.ResumeTiming();
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_PasteOneMegabyte)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_UndoPaste(benchmark::State& state) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  TSourceEditor& e = desk.Doc();
  for (auto _ : state) {
    state.PauseTiming();
    e.InsertText(PastedText());
    desk.Render();
    state.ResumeTiming();
    e.Undo();
    desk.Render();
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_UndoPaste)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // The same at 1 GB only when asked (QUORVEL_BENCH_GIGABYTE=1): it needs a
  // 1 GB corpus and about 3 GB of memory.
  if (qEnvironmentVariableIntValue("QUORVEL_BENCH_GIGABYTE") == 1) {
    benchmark::RegisterBenchmark("BM_PasteOneMegabyte/1000", BM_PasteOneMegabyte)
        ->Arg(1000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark("BM_UndoPaste/1000", BM_UndoPaste)
        ->Arg(1000)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// A screen reader asking for the line at the caret of a large document
// (range 0 in MB; range 1: 0 Windows-1252, 1 the same text as UTF-8), and
// with a character typed before each question (the counts of the caret's
// block of lines made again). The first question, which counts every block
// of a UTF-8 document once, is first_query_ms.
void BM_AccessibleLineAtCaret(benchmark::State& state) {
  Desk& desk = DeskOf(static_cast<int>(state.range(0)));
  TSourceEditor& e = desk.Doc();
  const bool utf8 = state.range(1) != 0;
  const bool typing = state.range(2) != 0;
  if (utf8) e.SetEncoding(TTextEncoding::Utf8);
  auto* window = desk.panel.VisibleWindow();
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
  QAccessibleTextInterface* text = iface ? iface->textInterface() : nullptr;
  if (!text) {
    state.SkipWithError("no accessible text interface");
    return;
  }
  auto ask = [&] {
    int start = 0, end = 0;
    benchmark::DoNotOptimize(text->textAtOffset(text->cursorPosition(), QAccessible::LineBoundary, &start, &end));
  };
  const auto first = std::chrono::steady_clock::now();
  ask();
  state.counters["first_query_ms"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - first).count();
  int typed = 0;
  for (auto _ : state) {
    if (typing) {
      e.TypeCharacter(U'x');
      window->TellReaders();
    }
    ask();
    if (typing && ++typed == 100) {
      state.PauseTiming();
      e.Undo();
      typed = 0;
      state.ResumeTiming();
    }
  }
  if (typing) e.UndoBuffer->Clear();
  if (utf8) e.SetEncoding(TTextEncoding::Windows1252);
}
BENCHMARK(BM_AccessibleLineAtCaret)
    ->Args({100, 0, 0})
    ->Args({100, 1, 0})
    ->Args({100, 1, 1})
    ->Unit(benchmark::kMicrosecond);
