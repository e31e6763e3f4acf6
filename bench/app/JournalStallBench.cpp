// The window's pauses for a document's recovery journal: a document of the
// size given (MB, default 1000) opened as the window opens one, typed into,
// saved and typed into again, with the journal flushed as the window's timer
// flushes it. Every journal call the window's thread makes is timed; the
// longest is the pause a user would feel. The writing thread's work is timed
// apart (the window does not wait for it).
//
// usage: bench_journal_stall [MB]

#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/EditMgr.h"
#include "app/JournalKeeper.h"
#include "bench/support/Corpus.h"
#include "qt/QtEditorPanel.h"

namespace {

using TClock = std::chrono::steady_clock;

double MsSince(TClock::time_point start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
}

// The thread's own processor time: a pause that took longer than this was
// spent waiting for a processor the machine's other work held.
double ThreadCpuMs() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The longest of the journal calls made on the window's thread so far, and
// the processor time it took.
double longestJournalCall = 0, longestJournalCpu = 0;

template <typename Fn>
double Timed(Fn&& fn, bool journal = true) {
  const auto start = TClock::now();
  const double cpu = ThreadCpuMs();
  fn();
  const double ms = MsSince(start);
  if (journal && ms > longestJournalCall) {
    longestJournalCall = ms;
    longestJournalCpu = ThreadCpuMs() - cpu;
  }
  return ms;
}

// What the window's timer does: flushes twice a second, also while the
// writing thread still works, until it is done.
double FlushUntilWritten(TJournalKeeper& keeper) {
  const auto start = TClock::now();
  for (;;) {
    Timed([&] { keeper.Flush(); });
    if (keeper.Idle()) break;
    ::usleep(20000);
  }
  return MsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 1000;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  const std::string source = CorpusFile(megabytes);
  const std::string work =
      (std::filesystem::temp_directory_path() / ("quorvel-stall-" + std::to_string(::getpid()))).string();
  std::filesystem::create_directories(work);
  const std::string file = work + "/doc.php";
  std::filesystem::copy_file(source, file);

  platform::QtEditorPanel panel;
  panel.resize(1260, 860);
  panel.show();
  TEditManager manager{&panel};
  {
    TJournalKeeper keeper(work + "/journals");
    TSourceEditor& e = manager.CreateEditor();
    keeper.Track(e);
    const double open = Timed([&] { e.LoadFile(file); }, false);
    std::printf("open %.0f MB: %.0f ms, %d lines\n", megabytes, open, e.Lines->Count());

    auto type = [&](const char* what) {
      e.MoveCaret(3, e.Lines->Count() / 2);
      e.KeyPress('x');
      e.FileModified = true;
      const double first = Timed([&] { keeper.Flush(); });
      const double written = FlushUntilWritten(keeper);
      std::printf("%s: first flush %.1f ms, journal on the disk after %.0f ms, %.0f MB written so far\n", what, first,
                  written, static_cast<double>(keeper.BytesWritten()) / (1 << 20));
    };
    type("first keystroke");
    const double save = Timed([&] { e.Save(); }, false);
    const double dropped = Timed([&] { keeper.Flush(); });
    std::printf("save: %.0f ms (not journal work); the flush after it %.1f ms\n", save, dropped);
    FlushUntilWritten(keeper);
    type("keystroke after the save");
    for (int i = 0; i < 20; ++i) {
      e.KeyPress('y');
      Timed([&] { keeper.Flush(); });
    }
    FlushUntilWritten(keeper);
    std::printf("longest journal call on the window's thread: %.1f ms (%.1f ms of processor time)\n",
                longestJournalCall, longestJournalCpu);
    std::printf("journal bytes written: %.1f MB\n", static_cast<double>(keeper.BytesWritten()) / (1 << 20));
    std::printf("peak memory: %.0f MB\n", static_cast<double>(PeakRssBytes()) / (1 << 20));
    keeper.Forget(e);
  }
  std::filesystem::remove_all(work);
  return 0;
}
