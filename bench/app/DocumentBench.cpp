// Documents as the program shows them: a PHP document opened through the
// edit manager into a real (offscreen) editor window, highlighted and painted;
// its recovery journal while it is typed into, and recovered from.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#include "app/EditMgr.h"
#include "app/JournalKeeper.h"
#include "bench/support/Corpus.h"
#include "editor/EditSearch.h"
#include "editor/TextEncoding.h"
#include "qt/ProcessMemory.h"
#include "qt/QtEditorPanel.h"
#include "qt/QtEditorWindow.h"

namespace {

QApplication& Qt() {
  static int argc = 1;
  static char name[] = "bench_documents";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  platform::UseOneHeapForAllThreads();  // as the program does before its first thread
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

// Open and first screen of the corpus of range(0) MB; the first paint alone
// is counted apart (it must not grow with the number of lines).
void BM_OpenAndPaintFirstScreen(benchmark::State& state) {
  std::string file = CorpusFile(static_cast<double>(state.range(0)));
  for (auto _ : state) {
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(file);
    auto painted = std::chrono::steady_clock::now();
    desk->PaintScreen();
    state.PauseTiming();
    state.counters["first_paint_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - painted).count();
    state.counters["lines"] = desk->Doc().Lines->Count();
    state.counters["peak_rss_MB"] = static_cast<double>(PeakRssBytes()) / (1 << 20);
    desk.reset();
    state.ResumeTiming();
  }
}

void BM_TextEndAndPaintLastScreen(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(CorpusFile(static_cast<double>(state.range(0))));
    desk->PaintScreen();
    state.ResumeTiming();
    desk->Doc().ExecuteCommand(cmdTextEnd);
    desk->PaintScreen();
    state.PauseTiming();
    desk.reset();
    state.ResumeTiming();
  }
}

// 50 million empty lines: what a line costs that was never painted.
void BM_OpenFiftyMillionEmptyLines(benchmark::State& state) {
  const std::string file = (std::filesystem::temp_directory_path() / "quorvel-empty-lines.txt").string();
  if (!std::filesystem::exists(file)) std::ofstream(file, std::ios::binary) << std::string(50'000'000, '\n');
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

// Types an "x", or takes one back with Backspace.
void TypeOrErase(TSourceEditor& e, bool type) {
  if (type) {
    e.KeyPress('x');
  } else {
    std::uint16_t key = vk::Back;
    e.KeyDown(key, 0);
  }
}

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
    TypeOrErase(e, type);
    desk.PaintScreen();
    type = !type;
  }
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_TypeInTheMiddle)->Unit(benchmark::kMicrosecond);

// A folder of journals of its own, removed with it.
struct JournalFolder {
  JournalFolder()
      : path((std::filesystem::temp_directory_path() / ("quorvel-bench-journals-" + std::to_string(::getpid())))
                 .string()) {}
  ~JournalFolder() { std::filesystem::remove_all(path); }
  std::string path;
};

// BM_TypeInTheMiddle with the document's recovery journal kept as the
// window keeps it, its snapshot taken beforehand: a flush after every
// keystroke (someone typing slower than the window flushes, twice a
// second), or after every 50.
void BM_TypeInTheMiddleJournaled(benchmark::State& state) {
  Desk& desk = OpenedDesk();
  TSourceEditor& e = desk.Doc();
  JournalFolder folder;
  TJournalKeeper keeper(folder.path);
  keeper.Track(e);
  e.FileModified = true;
  keeper.Flush();
  keeper.WaitUntilWritten();
  const std::uint64_t before = keeper.BytesWritten();
  int row = e.Lines->GetRowCount() / 2;
  e.MoveCaret(4, row);
  desk.PaintScreen();
  bool type = true;
  std::int64_t keys = 0;
  for (auto _ : state) {
    TypeOrErase(e, type);
    desk.PaintScreen();
    type = !type;
    if (++keys % state.range(0) == 0) keeper.Flush();
  }
  keeper.Flush();
  keeper.WaitUntilWritten();
  state.counters["journal_bytes_per_key"] = static_cast<double>(keeper.BytesWritten() - before) / keys;
  keeper.Forget(e);
  e.FileModified = false;
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_TypeInTheMiddleJournaled)->Arg(1)->Arg(50)->Unit(benchmark::kMicrosecond);

// The pause when a 100 MB document first becomes modified (and when its
// journal is compacted): the copy of its text that the journal starts with,
// taken in the window's thread; the writing thread does the rest.
void BM_JournalSnapshotOf100MB(benchmark::State& state) {
  TSourceEditor& e = OpenedDesk().Doc();
  for (auto _ : state) benchmark::DoNotOptimize(SnapshotPayload(*e.Lines));
}
BENCHMARK(BM_JournalSnapshotOf100MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// A 100 MB document left unsaved by a program that died: its journal holds
// the snapshot and as many changes at random places as it holds before it
// is compacted, each a record of its own. Timed: finding and reading
// the journal, a new document with the recovered text, the first screen.
void BM_RecoverA100MBDocument(benchmark::State& state) {
  JournalFolder folder;
  int lines = 0;
  {
    Desk desk;
    desk.manager.Open(CorpusFile(100));
    TSourceEditor& e = desk.Doc();
    e.SetHighlighting(false);  // quick edits all over the text; the recovered document is highlighted
    TJournalKeeper keeper(folder.path);
    keeper.Track(e);
    e.FileModified = true;
    keeper.Flush();
    std::mt19937 random(42);
    const auto changes = static_cast<int>(TJournalLimits{}.CompactRecords);
    for (int i = 0; i < changes; ++i) {
      e.MoveCaret(3, std::uniform_int_distribution<int>(0, e.Lines->Count() - 1)(random));
      e.KeyPress('r');
      if (i % 10 == 0) e.ExecuteCommand(cmdLineBreak);
      if (i % 30 == 0) keeper.Flush();  // fewer changes than a flush keeps apart
    }
    lines = e.Lines->Count();
    keeper.Keep();  // as the program that died left it
  }
  for (auto _ : state) {
    auto desk = std::make_unique<Desk>();
    std::vector<TOrphanJournal> orphans = FindOrphanJournals(folder.path);
    if (orphans.size() != 1) {
      state.SkipWithError("no journal to recover");
      return;
    }
    TSourceEditor& e = desk->manager.CreateEditor();
    RestoreDocument(orphans[0].Content, e);
    desk->manager.Select(0);
    desk->PaintScreen();
    state.PauseTiming();
    if (e.Lines->Count() != lines) state.SkipWithError("the recovered text differs");
    state.counters["journal_MB"] = static_cast<double>(orphans[0].Content.Bytes.Size()) / (1 << 20);
    state.counters["changes"] = static_cast<double>(orphans[0].Content.Changes.size());
    orphans.clear();
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RecoverA100MBDocument)->Unit(benchmark::kMillisecond)->Iterations(3);

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

// The corpus of `megabytes` MB as a UTF-8 document of the same size: some
// letters and the hyphen become characters outside ASCII (Windows-1252 ones,
// Polish, Cyrillic), cut at the first line end past the original's size.
std::string Utf8CorpusFile(double megabytes) {
  std::string path = CorpusFile(megabytes) + ".utf8.php";
  if (!std::filesystem::exists(path)) {
    const std::string ascii = CorpusBytes(megabytes);
    const std::pair<char, std::string_view> replaced[] = {
        {'e', "\xC3\xA9"}, {'o', "\xC3\xB3"}, {'a', "\xC4\x85"},      // é ó ą
        {'l', "\xC5\x82"}, {'u', "\xD1\x83"}, {'-', "\xE2\x80\x93"},  // ł у –
    };
    std::array<std::string_view, 256> as{};
    for (const auto& [c, utf8] : replaced) as[static_cast<unsigned char>(c)] = utf8;
    std::string text;
    text.reserve(ascii.size() + 4);
    for (char c : ascii) {
      const std::string_view utf8 = as[static_cast<unsigned char>(c)];
      if (utf8.empty()) {
        text += c;
      } else {
        text += utf8;
      }
      if (c == '\n' && text.size() >= ascii.size()) break;
    }
    std::ofstream(path, std::ios::binary) << text;
  }
  return path;
}

// Opening 10 MB and painting the first screen: the ASCII corpus (0) and the
// same size of UTF-8 (1).
void BM_OpenTenMegabytes(benchmark::State& state) {
  const std::string file = state.range(0) == 0 ? CorpusFile(10) : Utf8CorpusFile(10);
  for (auto _ : state) {
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(file);
    desk->PaintScreen();
    state.PauseTiming();
    state.counters["utf8"] = desk->Doc().Utf8();
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenTenMegabytes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

// What every opened file goes through: the check for UTF-8 with characters
// outside ASCII, over the 100 MB corpus (0; as if it were not known to be
// ASCII), 10 MB of UTF-8 (1) and the 100 MB of mixed scripts (2).
void BM_Utf8Check(benchmark::State& state) {
  const std::string file = state.range(0) == 0   ? CorpusFile(100)
                           : state.range(0) == 1 ? Utf8CorpusFile(10)
                                                 : MixedScriptCorpusFile(100);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (auto _ : state) benchmark::DoNotOptimize(FileEncodingOf(bytes));
  state.counters["utf8"] = FileEncodingOf(bytes).Encoding == TTextEncoding::Utf8;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Utf8Check)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(20);

// Open and first screen of 100 MB of Chinese, Cyrillic and ASCII words, as
// BM_OpenAndPaintFirstScreen for the ASCII corpus (run it alone for its peak memory).
void BM_OpenAndPaintMixedScripts(benchmark::State& state) {
  const std::string file = MixedScriptCorpusFile(100);
  for (auto _ : state) {
    auto desk = std::make_unique<Desk>();
    desk->manager.Open(file);
    auto painted = std::chrono::steady_clock::now();
    desk->PaintScreen();
    state.PauseTiming();
    state.counters["first_paint_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - painted).count();
    state.counters["utf8"] = desk->Doc().Utf8();
    state.counters["lines"] = desk->Doc().Lines->Count();
    state.counters["peak_rss_MB"] = static_cast<double>(PeakRssBytes()) / (1 << 20);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
    desk.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenAndPaintMixedScripts)->Unit(benchmark::kMillisecond)->Iterations(3);

// Find in the 100 MB of mixed scripts, from the top: a text that is not
// there, as the find dialog (0) and the search box (1) look for it, and
// through the dialog a Chinese word near the end (2).
void BM_FindInMixedScripts(benchmark::State& state) {
  static Desk* desk = [] {
    auto* d = new Desk;
    d->manager.Open(MixedScriptCorpusFile(100));
    d->PaintScreen();
    return d;
  }();
  TSourceEditor& e = desk->Doc();
  const std::string absent = "\xE4\xB8\xAD\xD0\xB6 no such text";  // 中ж
  const TTextSearch dialog(absent, {});
  // The last line's first word of three letters or more.
  const std::string last = e.Lines->Get(e.Lines->Count() - 1);
  const TTextSearch nearEnd(last.substr(0, std::min<std::size_t>(last.size(), 12)), {});
  for (auto _ : state) {
    e.MoveCaret(0, 0);
    if (state.range(0) == 1) {
      e.FindNext(absent);
    } else {
      benchmark::DoNotOptimize(FindAgain(e, state.range(0) == 0 ? dialog : nearEnd, false, false));
    }
  }
  state.counters["found"] = e.SelAvail;
  e.UndoBuffer->Clear();
}
BENCHMARK(BM_FindInMixedScripts)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(5);

// The 100 MB corpus as a TAB-indented source with LF line ends, as most
// sources in git are: every four leading blanks a TAB, CR LF become LF.
std::string TabbedLfCorpusFile() {
  std::string path = CorpusFile(100) + ".tabbed-lf.php";
  if (!std::filesystem::exists(path)) {
    const std::string crlf = CorpusBytes(100);
    std::string text;
    text.reserve(crlf.size());
    bool lineStart = true;
    for (std::size_t i = 0; i < crlf.size(); ++i) {
      const char c = crlf[i];
      if (lineStart && c == ' ' && crlf.compare(i, 4, "    ") == 0) {
        text += '\t';
        i += 3;
        continue;
      }
      lineStart = c == '\n';
      if (c != '\r') text += c;
    }
    std::ofstream(path, std::ios::binary) << text;
  }
  return path;
}

// Saving the unedited 100 MB TAB-indented LF source read without (0) and
// with (1) keeping its format; opening it counted apart.
void BM_SaveTabbedLf(benchmark::State& state) {
  const std::string file = TabbedLfCorpusFile();
  const std::string out = file + ".saved";
  Desk desk;
  desk.manager.OnEditorCreated = [&](TSourceEditor& e) { e.SetKeepFileFormat(state.range(0) == 1); };
  const auto opening = std::chrono::steady_clock::now();
  desk.manager.Open(file);
  state.counters["open_ms"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - opening).count();
  state.counters["lines_as_read"] = static_cast<double>(desk.Doc().Lines->AsReadLines());
  state.counters["peak_rss_MB"] = static_cast<double>(PeakRssBytes()) / (1 << 20);
  for (auto _ : state) desk.Doc().SaveText(out);
  state.counters["same_bytes"] =
      state.range(0) == 1 && std::filesystem::file_size(out) == std::filesystem::file_size(file);
  std::filesystem::remove(out);
}
BENCHMARK(BM_SaveTabbedLf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Every benchmark runs on its own process's memory: peak RSS is read per process.
  std::vector<int> sizes{100};
  // 1 GB only when asked (QUORVEL_BENCH_GIGABYTE=1): it needs a 1 GB corpus and 3 GB of memory.
  if (qEnvironmentVariableIntValue("QUORVEL_BENCH_GIGABYTE") == 1) sizes.push_back(1000);
  for (int mb : sizes) {
    benchmark::RegisterBenchmark("BM_OpenAndPaintFirstScreen", BM_OpenAndPaintFirstScreen)
        ->Arg(mb)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
    benchmark::RegisterBenchmark("BM_TextEndAndPaintLastScreen", BM_TextEndAndPaintLastScreen)
        ->Arg(mb)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
  }
  benchmark::RegisterBenchmark("BM_OpenFiftyMillionEmptyLines", BM_OpenFiftyMillionEmptyLines)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
