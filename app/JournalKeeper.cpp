#include "app/JournalKeeper.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <random>
#include <thread>
#include <utility>

#include "editor/AdvLines.h"

// ---------------------------------------------------------------- the writing thread

// One document's journal as the writing thread sees it.
struct TJournalSlot {
  std::string Path;                      // fixed when the journal is first made
  std::unique_ptr<TJournalFile> File;    // the journal, once it is on the disk
  std::unique_ptr<TJournalFile> Orphan;  // a journal this one takes the place of
  std::atomic<bool> Failed{false};       // the last write failed: the journal must start again
};

struct TJournalJob {
  enum class TKind { Create, Append, Remove, Release };
  TKind Kind;
  std::shared_ptr<TJournalSlot> Slot;
  std::string Header, Snapshot;  // Create: the first two payloads
  std::string Records;           // Append, and Create after the snapshot: framed records
};

// Does the journals' file work, in the order it is given, on a thread of
// its own: writes, flushes to the disk, renames and deletes.
class TJournalWriter {
 public:
  explicit TJournalWriter(std::string folder) : folder_(std::move(folder)) {}
  // Does what it was given, then ends.
  ~TJournalWriter() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (dirFd_ >= 0) ::close(dirFd_);
  }

  void Post(TJournalJob job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
      ++unfinished_;
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_all();
  }

  void Wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return unfinished_ == 0; });
  }

  bool Idle() {
    std::lock_guard lock(mutex_);
    return unfinished_ == 0;
  }

  std::uint64_t Written() const { return written_; }

  // The trouble met since the last call; empty when there was none.
  std::string TakeTrouble() {
    std::lock_guard lock(troubleMutex_);
    return std::exchange(trouble_, {});
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      TJournalJob job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      Do(job);
      job = {};  // a file let go of is closed before the job counts as done
      lock.lock();
      if (--unfinished_ == 0) done_.notify_all();
    }
  }

  void Do(TJournalJob& job) {
    TJournalSlot& slot = *job.Slot;
    try {
      switch (job.Kind) {
        case TJournalJob::TKind::Create:
          Create(slot, job);
          break;
        case TJournalJob::TKind::Append:
          if (!slot.File || slot.Failed) return;
          WriteAll(slot.File->Fd, job.Records, slot.Path);
          Sync(slot.File->Fd, slot.Path);
          written_ += job.Records.size();
          break;
        case TJournalJob::TKind::Remove:
          for (auto* file : {&slot.File, &slot.Orphan}) {
            if (!*file) continue;
            (*file)->Remove();
            file->reset();
          }
          if (dirFd_ >= 0) ::fsync(dirFd_);
          break;
        case TJournalJob::TKind::Release:
          slot.File.reset();
          slot.Orphan.reset();
          break;
      }
    } catch (const std::exception& e) {
      slot.Failed = true;
      Report(e.what());
    }
  }

  // A new journal is written under a temporary name, flushed, and then
  // renamed to its place: a journal on the disk is always whole up to its
  // snapshot, and a compacted one replaces the old one at once.
  void Create(TJournalSlot& slot, const TJournalJob& job) {
    if (dirFd_ < 0) {
      PrepareJournalFolder(folder_);
      dirFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (dirFd_ < 0) Fail("Cannot open the folder", folder_, errno);
    }
    const std::string temp = std::string(kJournalTempPrefix) + RandomName();
    const int fd = ::openat(dirFd_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) Fail("Cannot create a journal in the folder", folder_, errno);
    auto file = std::make_unique<TJournalFile>(fd, folder_ + "/" + temp);
    ::flock(fd, LOCK_EX);
    try {
      std::string head = JournalFrame(TJournalRecordKind::Header, job.Header);
      head += job.Header;
      head += JournalFrame(TJournalRecordKind::Snapshot, job.Snapshot);
      // Named by its folder: the temporary name is new every time.
      WriteAll(fd, head, folder_);
      WriteAll(fd, job.Snapshot, folder_);
      WriteAll(fd, job.Records, folder_);
      Sync(fd, folder_);
      if (slot.Path.empty()) slot.Path = folder_ + "/" + RandomName() + std::string(kJournalSuffix);
      const std::string name = slot.Path.substr(slot.Path.find_last_of('/') + 1);
      if (::renameat(dirFd_, temp.c_str(), dirFd_, name.c_str()) != 0)
        Fail("Cannot create the journal", slot.Path, errno);
      written_ += head.size() + job.Snapshot.size() + job.Records.size();
    } catch (...) {
      ::unlinkat(dirFd_, temp.c_str(), 0);
      throw;
    }
    file->Path = slot.Path;
    ::fsync(dirFd_);
    slot.File = std::move(file);
    if (slot.Orphan) {
      slot.Orphan->Remove();
      slot.Orphan.reset();
      ::fsync(dirFd_);
    }
    slot.Failed = false;
  }

  [[noreturn]] static void Fail(const char* what, const std::string& path, int err) {
    throw EJournalError(std::string(what) + " \"" + path + "\". " + std::strerror(err));
  }

  static void WriteAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write the journal", path, errno);
      }
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  static void Sync(int fd, const std::string& path) {
    if (::fdatasync(fd) != 0) Fail("Cannot write the journal", path, errno);
  }

  std::string RandomName() {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name;
    for (std::uint64_t v = random_(), i = 0; i < 16; ++i, v >>= 4) name += kDigits[v & 15];
    return name;
  }

  // Trouble is told on the standard error once for each new reason, and
  // kept for the window (TakeTrouble).
  void Report(const std::string& message) {
    if (message == reported_) return;
    reported_ = message;
    std::cerr << "Quorvel Editor: the recovery journal cannot be written: " << message << "\n";
    std::lock_guard lock(troubleMutex_);
    if (trouble_.empty()) trouble_ = message;
  }

  std::string folder_;
  int dirFd_ = -1;
  std::mt19937_64 random_{std::random_device{}()};
  std::string reported_;
  std::mutex troubleMutex_;
  std::string trouble_;
  std::atomic<std::uint64_t> written_{0};

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<TJournalJob> jobs_;
  std::size_t unfinished_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

// ---------------------------------------------------------------- one document

struct TJournalKeeper::TEntry {
  // A stretch of changed lines: [First, First + Inserted) now, Removed
  // lines in their place at the last record.
  struct TStretch {
    int First, Removed, Inserted;
  };

  TSourceEditor* Document = nullptr;
  std::uint64_t Order = 0;
  int NearLines = 0;
  std::size_t MaxStretches = 0;
  std::shared_ptr<TJournalSlot> Slot;  // none while the document has no journal
  bool Started = false;                // the snapshot was taken: changes are noted
  std::string FileName;                // as the journal's header says
  TFileStamp Stamp;
  // The lines changed since the last record, in line order, each stretch
  // more than NearLines away from the next.
  std::vector<TStretch> Noted;
  std::size_t SnapshotBytes = 0, ChangeBytes = 0, ChangeRecords = 0;
  std::chrono::steady_clock::time_point RetryAt{};
  std::uint64_t CellsSerial = 0;  // the document's cells as the journal last wrote them

  // Runs for every change of the text, after the store changed: notes
  // which lines changed, copying nothing. Nothing may leave it: the edit
  // has happened.
  void Note(const TLinesChange& change) noexcept {
    if (!Started) return;  // the snapshot will hold it
    try {
      NoteLines(change);
    } catch (const std::exception&) {
      Reset();  // out of memory: the journal starts again with a snapshot
    }
  }

  void NoteLines(const TLinesChange& change) {
    const int f = change.FirstLine, r = change.LinesRemoved, i = change.LinesInserted;
    // The stretches [a, b) that the change touches or comes near become one
    // with it, from the first line changed to the last; those after it move.
    std::size_t a = 0;
    while (a < Noted.size() && Noted[a].First + Noted[a].Inserted + NearLines < f) ++a;
    std::size_t b = a;
    while (b < Noted.size() && Noted[b].First - NearLines <= f + r) ++b;
    int lo = f, hi = f + r, inserted = 0, removed = 0;
    for (std::size_t k = a; k < b; ++k) {
      lo = std::min(lo, Noted[k].First);
      hi = std::max(hi, Noted[k].First + Noted[k].Inserted);
      inserted += Noted[k].Inserted;
      removed += Noted[k].Removed;
    }
    for (std::size_t k = b; k < Noted.size(); ++k) Noted[k].First += i - r;
    const TStretch merged{lo, hi - lo - inserted + removed, hi - lo + i - r};
    Noted.erase(Noted.begin() + static_cast<std::ptrdiff_t>(a), Noted.begin() + static_cast<std::ptrdiff_t>(b));
    Noted.insert(Noted.begin() + static_cast<std::ptrdiff_t>(a), merged);
    if (Noted.size() <= MaxStretches) return;
    // Too many: the two closest become one, with the unchanged lines between.
    std::size_t closest = 0;
    for (std::size_t k = 1; k + 1 < Noted.size(); ++k)
      if (Gap(k) < Gap(closest)) closest = k;
    TStretch& first = Noted[closest];
    const TStretch& second = Noted[closest + 1];
    const int gap = Gap(closest);
    first.Removed += gap + second.Removed;
    first.Inserted += gap + second.Inserted;
    Noted.erase(Noted.begin() + static_cast<std::ptrdiff_t>(closest) + 1);
  }

  int Gap(std::size_t k) const { return Noted[k + 1].First - (Noted[k].First + Noted[k].Inserted); }

  // The bytes the noted lines have now.
  std::int64_t NotedBytes() const {
    std::int64_t bytes = 0;
    for (const TStretch& s : Noted)
      bytes += Document->Lines->LineStartOffset(s.First + s.Inserted) - Document->Lines->LineStartOffset(s.First);
    return bytes;
  }

  // The noted lines as change records, read from the document as it is
  // now. Applied in line order, each finds the lines before it as they are.
  std::string Records() {
    std::string records;
    for (const TStretch& s : Noted) {
      const std::string payload = ChangePayload(*Document->Lines, s.First, s.Removed, s.First, s.Inserted);
      AppendJournalRecord(records, TJournalRecordKind::Change, payload);
      ChangeBytes += kJournalFrameSize + payload.size();
      ++ChangeRecords;
      if (Document->FileFormat.Kept && s.Inserted > 0) {
        const std::string format = FormatPayload(Document->FileFormat, *Document->Lines, s.First, s.Inserted);
        AppendJournalRecord(records, TJournalRecordKind::Format, format);
        ChangeBytes += kJournalFrameSize + format.size();
      }
    }
    Noted.clear();
    return records;
  }

  void Reset() {
    Started = false;
    Noted.clear();
  }
};

// ---------------------------------------------------------------- the keeper

TJournalKeeper::TJournalKeeper(std::string folder, TJournalLimits limits)
    : folder_(std::move(folder)),
      limits_(limits),
      session_(static_cast<std::uint64_t>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
              .count())),
      writer_(std::make_unique<TJournalWriter>(folder_)) {}

TJournalKeeper::~TJournalKeeper() {
  if (!kept_) {
    for (auto& [document, entry] : entries_) {
      if (entry->Slot) Drop(*entry);
      entry->Document->OnTextChanged = nullptr;
    }
  }
  entries_.clear();
  writer_.reset();
  // What compactions of a killed program left (its journals may be recovered
  // from; these cannot).
  if (!kept_) RemoveJournalLeftovers(folder_);
}

void TJournalKeeper::Track(TSourceEditor& document) {
  if (kept_) return;
  auto entry = std::make_unique<TEntry>();
  entry->Document = &document;
  entry->Order = nextOrder_++;
  entry->NearLines = limits_.NearLines;
  entry->MaxStretches = limits_.NotedStretches;
  TEntry* noted = entry.get();
  document.OnTextChanged = [noted](TSourceEditor&, const TLinesChange& change) { noted->Note(change); };
  entries_[&document] = std::move(entry);
}

void TJournalKeeper::Adopt(TSourceEditor& document, std::unique_ptr<TJournalFile> orphan) {
  if (kept_) return;
  if (!entries_.count(&document)) Track(document);
  TEntry& entry = *entries_[&document];
  if (entry.Slot) Drop(entry);
  entry.Slot = std::make_shared<TJournalSlot>();
  entry.Slot->Orphan = std::move(orphan);
}

void TJournalKeeper::Forget(TSourceEditor& document) {
  auto it = entries_.find(&document);
  if (it == entries_.end()) return;
  if (it->second->Slot) Drop(*it->second);
  document.OnTextChanged = nullptr;
  entries_.erase(it);
}

void TJournalKeeper::Flush() {
  if (kept_) return;
  for (auto& [document, entry] : entries_) FlushEntry(*entry, false);
}

void TJournalKeeper::Keep() {
  if (kept_) return;
  for (auto& [document, entry] : entries_) {
    FlushEntry(*entry, true);
    if (entry->Slot) writer_->Post({TJournalJob::TKind::Release, entry->Slot, {}, {}, {}});
    entry->Document->OnTextChanged = nullptr;
  }
  entries_.clear();
  kept_ = true;
  writer_->Wait();
}

void TJournalKeeper::WaitUntilWritten() { writer_->Wait(); }

bool TJournalKeeper::Idle() const { return writer_->Idle(); }

std::uint64_t TJournalKeeper::BytesWritten() const { return writer_->Written(); }

std::string TJournalKeeper::TakeTrouble() {
  std::string trouble = writer_->TakeTrouble();
  return trouble.empty() ? std::exchange(trouble_, {}) : trouble;
}

void TJournalKeeper::FlushEntry(TEntry& entry, bool force) {
  try {
    FlushDocument(entry, force);
  } catch (const std::exception& e) {
    // Out of memory for a snapshot: the next flush tries again.
    if (reported_ == e.what()) return;
    reported_ = e.what();
    std::cerr << "Quorvel Editor: the recovery journal cannot be written: " << e.what() << "\n";
    trouble_ = e.what();
  }
}

void TJournalKeeper::FlushDocument(TEntry& entry, bool force) {
  const TSourceEditor& document = *entry.Document;
  if (!document.FileModified) {
    if (entry.Slot) Drop(entry);
    return;
  }
  const bool failed = entry.Slot && entry.Slot->Failed;
  // Changes that would outgrow the text are written as a new snapshot instead.
  const bool compact = entry.ChangeRecords + entry.Noted.size() > limits_.CompactRecords ||
                       entry.ChangeBytes + static_cast<std::size_t>(entry.Started ? entry.NotedBytes() : 0) >
                           std::max(limits_.CompactBytes, entry.SnapshotBytes);
  // Saved or loaded since the journal began: it starts again with the
  // document's new file.
  const bool renewed = document.FileName != entry.FileName || !(document.DiskStamp == entry.Stamp);
  if (!entry.Started || failed || compact || renewed) {
    if (failed && !force && std::chrono::steady_clock::now() < entry.RetryAt) return;
    Start(entry);
    return;
  }
  if (entry.Noted.empty()) return;
  std::string records = CellsRecord(entry);
  records += entry.Records();
  writer_->Post({TJournalJob::TKind::Append, entry.Slot, {}, {}, std::move(records)});
}

void TJournalKeeper::Start(TEntry& entry) {
  const TSourceEditor& document = *entry.Document;
  if (!entry.Slot) entry.Slot = std::make_shared<TJournalSlot>();
  entry.FileName = document.FileName;
  entry.Stamp = document.DiskStamp;
  TJournalJob job{TJournalJob::TKind::Create, entry.Slot, {}, {}, {}};
  // The name means the same file to a program started in another folder.
  std::string fileName = document.FileName;
  std::error_code error;
  if (!fileName.empty()) {
    std::filesystem::path full = std::filesystem::absolute(fileName, error);
    if (!error) fileName = full.lexically_normal().string();
  }
  job.Header = HeaderPayload({fileName, document.DiskStamp, session_, entry.Order});
  job.Snapshot = SnapshotPayload(*document.Lines);
  entry.Reset();
  entry.CellsSerial = 0;
  job.Records = CellsRecord(entry);
  if (document.FileFormat.Kept)
    AppendJournalRecord(job.Records, TJournalRecordKind::Format,
                        FormatPayload(document.FileFormat, *document.Lines, 0, document.Lines->Count()));
  entry.Started = true;
  entry.SnapshotBytes = job.Snapshot.size();
  entry.ChangeBytes = entry.ChangeRecords = 0;
  entry.RetryAt = std::chrono::steady_clock::now() + limits_.RetryAfter;
  writer_->Post(std::move(job));
}

std::string TJournalKeeper::CellsRecord(TEntry& entry) {
  const TCellTable& cells = entry.Document->Cells;
  std::string record;
  if (!cells.Utf8() || cells.Serial() == entry.CellsSerial) return record;
  AppendJournalRecord(record, TJournalRecordKind::Cells, cells.ToBytes());
  entry.CellsSerial = cells.Serial();
  return record;
}

void TJournalKeeper::Drop(TEntry& entry) {
  writer_->Post({TJournalJob::TKind::Remove, entry.Slot, {}, {}, {}});
  entry.Slot.reset();
  entry.Reset();
}
