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

bool HasJournal(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    if (entry.path().extension() == ".journal") return true;
  return false;
}

// What the window's timer does: flushes twice a second, also while the
// writing thread still works, until it is done. Tells when a journal was
// first seen in the folder (the changes safe from a crash).
double FlushUntilWritten(TJournalKeeper& keeper, double* safeAfter = nullptr) {
  const auto start = TClock::now();
  if (safeAfter) *safeAfter = -1;
  for (;;) {
    Timed([&] { keeper.Flush(); });
    if (safeAfter && *safeAfter < 0 && HasJournal(keeper.Folder())) *safeAfter = MsSince(start);
    if (keeper.Idle()) break;
    ::usleep(20000);
  }
  return MsSince(start);
}

// A keystroke in the middle of the text, and the journal flushed until it is written.
void Type(TJournalKeeper& keeper, TSourceEditor& e, const char* what) {
  e.MoveCaret(3, e.Lines->Count() / 2);
  e.KeyPress('x');
  e.FileModified = true;
  const double first = Timed([&] { keeper.Flush(); });
  double safe = 0;
  const double written = FlushUntilWritten(keeper, &safe);
  std::printf(
      "%s: first flush %.1f ms; a journal on the disk after %.0f ms, the writer done after %.0f ms; %.0f MB "
      "written so far\n",
      what, first, safe, written, static_cast<double>(keeper.BytesWritten()) / (1 << 20));
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

    Type(keeper, e, "first keystroke");
    const double save = Timed([&] { e.Save(); }, false);
    const double dropped = Timed([&] { keeper.Flush(); });
    std::printf("save: %.0f ms (not journal work); the flush after it %.1f ms\n", save, dropped);
    FlushUntilWritten(keeper);
    Type(keeper, e, "keystroke after the save");
    for (int i = 0; i < 20; ++i) {
      e.KeyPress('y');
      Timed([&] { keeper.Flush(); });
    }
    FlushUntilWritten(keeper);
    std::printf("journal bytes written: %.1f MB\n", static_cast<double>(keeper.BytesWritten()) / (1 << 20));
    // The program ends as on a logout: the journal stays for the next start.
    keeper.Keep();
    manager.Close(manager.IndexOf(e));
  }
  {
    // The next start recovers it and is typed into.
    TJournalKeeper keeper(work + "/journals");
    const auto start = TClock::now();
    std::vector<TOrphanJournal> orphans = FindOrphanJournals(keeper.Folder());
    if (orphans.size() != 1) {
      std::printf("no journal to recover\n");
      return 1;
    }
    TSourceEditor& e = manager.CreateEditor();
    keeper.Track(e);
    RestoreDocument(orphans[0].Content, e);
    const double recovered = MsSince(start);
    Timed([&] { keeper.Adopt(e, std::move(orphans[0])); });
    std::printf("recovery: %.0f ms (not journal work: reading it, as opening a file), %d lines\n", recovered,
                e.Lines->Count());
    Type(keeper, e, "keystroke after the recovery");
    std::printf("journal bytes written after the recovery: %.1f MB\n",
                static_cast<double>(keeper.BytesWritten()) / (1 << 20));
    keeper.Forget(e);
    manager.Close(manager.IndexOf(e));
  }
  {
    // A document whose journal needs a snapshot (its text is not its file as
    // read): copied a slice at each turn of the event loop, while typing goes on.
    TJournalKeeper keeper(work + "/journals");
    TSourceEditor& e = manager.CreateEditor();
    e.LoadFile(file);
    keeper.Track(e);
    const double longestBefore = longestJournalCall, cpuBefore = longestJournalCpu;
    longestJournalCall = 0;
    e.MoveCaret(3, e.Lines->Count() / 2);
    e.KeyPress('s');
    e.FileModified = true;
    const auto start = TClock::now();
    int turns = 0;
    do {
      if (++turns % 100 == 99) e.KeyPress('t');
      Timed([&] { keeper.Flush(); });
      if (!keeper.Building()) ::usleep(20000);
    } while (keeper.Building() || !keeper.Idle());
    std::printf(
        "a snapshot of %d lines: on the disk after %.0f ms, %d turns; longest flush %.1f ms (%.1f ms of processor "
        "time)\n",
        e.Lines->Count(), MsSince(start), turns, longestJournalCall, longestJournalCpu);
    if (longestBefore > longestJournalCall) {
      longestJournalCall = longestBefore;
      longestJournalCpu = cpuBefore;
    }
    keeper.Forget(e);
    manager.Close(manager.IndexOf(e));
  }
  std::printf("longest journal call on the window's thread: %.1f ms (%.1f ms of processor time)\n", longestJournalCall,
              longestJournalCpu);
  std::printf("peak memory: %.0f MB\n", static_cast<double>(PeakRssBytes()) / (1 << 20));
  std::filesystem::remove_all(work);
  return 0;
}
