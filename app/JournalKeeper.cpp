#include "app/JournalKeeper.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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
  // A journal on a base: the base, its copy (locked while it is in use), and
  // every record that followed it so far, for a new journal on the same base
  // after a save. The serial tells one base of the document from the next.
  std::optional<TJournalBase> Base;
  std::uint64_t BaseSerial = 0;
  std::unique_ptr<TJournalFile> BaseCopy;
  std::string Chain;
  // The serial of a base whose file changed before its bytes were summed or
  // copied: it is not the text the document read, and the journal needs a snapshot.
  std::atomic<std::uint64_t> LostSerial{0};
  // A snapshot being written: its file (under a temporary name), where its
  // payload begins, and the format records that go after it.
  std::unique_ptr<TJournalFile> Build;
  std::string BuildTemp;
  off_t BuildAt = 0;
  std::string BuildFormats;
};

struct TJournalJob {
  enum class TKind {
    Create,        // a journal of a header and a snapshot
    CreateOnBase,  // a journal of a header, the base and every record since it
    Append,
    // A snapshot copied a slice at a time: begun with the header, a slice
    // of its lines (and their format records) a part, ended with the count
    // and the records that follow it; or given up.
    SnapshotBegin,
    SnapshotPart,
    SnapshotEnd,
    SnapshotCancel,
    Close,  // the document is saved: its journal goes, its base and records stay
    Remove,
    Release
  };
  TKind Kind = TKind::Create;
  std::shared_ptr<TJournalSlot> Slot;
  std::string Header, Snapshot;  // Create: the first two payloads
  std::string Records;           // Append, and Create after the snapshot: framed records
  // CreateOnBase: the base to make when the slot has none of this serial:
  // the file as it was when the document read it.
  TJournalBase Base;
  TFileStamp Stamp;
  std::uint64_t BaseSerial = 0;
  std::uint64_t Count = 0;  // SnapshotEnd: the snapshot's lines
};

// A snapshot copied in slices is counted in this many bytes, written last.
constexpr std::size_t kCountBytes = 5;

TJournalJob Job(TJournalJob::TKind kind, std::shared_ptr<TJournalSlot> slot, std::string records = {}) {
  TJournalJob job;
  job.Kind = kind;
  job.Slot = std::move(slot);
  job.Records = std::move(records);
  return job;
}

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
    backlog_ += job.Records.size();
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
  // The bytes of records given and not written yet.
  std::size_t Backlog() const { return backlog_; }

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
      backlog_ -= job.Records.size();
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
        case TJournalJob::TKind::CreateOnBase:
          CreateOnBase(slot, job);
          break;
        case TJournalJob::TKind::Append:
          // The records belong to the base whether or not this journal takes them.
          if (slot.Base) slot.Chain += job.Records;
          if (!slot.File || slot.Failed) return;
          WriteAll(slot.File->Fd, job.Records, slot.Path);
          Sync(slot.File->Fd, slot.Path);
          written_ += job.Records.size();
          break;
        case TJournalJob::TKind::SnapshotBegin:
          BeginSnapshot(slot, job);
          break;
        case TJournalJob::TKind::SnapshotPart:
          if (!slot.Build) return;
          WriteAll(slot.Build->Fd, job.Records, folder_);
          slot.BuildFormats += job.Snapshot;
          written_ += job.Records.size();
          break;
        case TJournalJob::TKind::SnapshotEnd:
          EndSnapshot(slot, job);
          break;
        case TJournalJob::TKind::SnapshotCancel:
          DropBuild(slot);
          break;
        case TJournalJob::TKind::Close:
          RemoveFiles(slot);
          break;
        case TJournalJob::TKind::Remove:
          RemoveFiles(slot);
          DropBase(slot);
          DropBuild(slot);
          break;
        case TJournalJob::TKind::Release:
          slot.Build.reset();
          slot.File.reset();
          slot.Orphan.reset();
          slot.BaseCopy.reset();
          break;
      }
    } catch (const std::exception& e) {
      slot.Failed = true;
      Report(e.what());
    }
  }

  void RemoveFiles(TJournalSlot& slot) {
    for (auto* file : {&slot.File, &slot.Orphan}) {
      if (!*file) continue;
      (*file)->Remove();
      file->reset();
    }
    if (dirFd_ >= 0) ::fsync(dirFd_);
  }

  void DropBase(TJournalSlot& slot) {
    if (slot.BaseCopy) slot.BaseCopy->Remove();
    slot.BaseCopy.reset();
    slot.Base.reset();
    slot.BaseSerial = 0;
    slot.Chain.clear();
  }

  void OpenFolder() {
    if (dirFd_ >= 0) return;
    PrepareJournalFolder(folder_);
    dirFd_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd_ < 0) Fail("Cannot open the folder", folder_, errno);
  }

  // A new temporary file in the folder, locked: FindOrphanJournals and a
  // clean end leave it alone while this writer lives.
  std::unique_ptr<TJournalFile> CreateTemp(std::string& name) {
    name = std::string(kJournalTempPrefix) + RandomName();
    const int fd = ::openat(dirFd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) Fail("Cannot create a journal in the folder", folder_, errno);
    auto file = std::make_unique<TJournalFile>(fd, folder_ + "/" + name);
    ::flock(fd, LOCK_EX);
    return file;
  }

  void Create(TJournalSlot& slot, const TJournalJob& job) {
    WriteJournal(slot, job.Header, TJournalRecordKind::Snapshot, job.Snapshot, job.Records);
    // The snapshot holds the text: a base it had is of no use from now on.
    DropBase(slot);
  }

  // A journal on the document's base. A new base is first summed from the
  // file and the journal stands on the file itself; then the file is copied
  // into the folder, and the journal is written again on the copy.
  void CreateOnBase(TJournalSlot& slot, const TJournalJob& job) {
    OpenFolder();
    if (!slot.Base || slot.BaseSerial != job.BaseSerial) {
      DropBase(slot);
      TJournalBase base = job.Base;
      if (!SumFile(base, job.Stamp)) {
        slot.LostSerial = job.BaseSerial;
        return;
      }
      slot.Base = std::move(base);
      slot.BaseSerial = job.BaseSerial;
    }
    slot.Chain += job.Records;
    WriteJournal(slot, job.Header, TJournalRecordKind::Base, BasePayload(*slot.Base), slot.Chain);
    if (!slot.Base->Copy.empty()) return;
    if (!CopyBase(slot)) {
      slot.LostSerial = job.BaseSerial;
      return;
    }
    WriteJournal(slot, job.Header, TJournalRecordKind::Base, BasePayload(*slot.Base), slot.Chain);
  }

  // The size and checksum of the file a base is read from, if it is still
  // the file its stamp tells (before and after it was read).
  static bool SumFile(TJournalBase& base, const TFileStamp& stamp) {
    const int fd = ::open(base.Source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    TJournalFile closer(fd, base.Source);
    if (!HasStamp(fd, stamp)) return false;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    if (!SumFd(fd, crc, size) || !HasStamp(fd, stamp)) return false;
    base.Size = size;
    base.Checksum = crc;
    return true;
  }

  static bool HasStamp(int fd, const TFileStamp& stamp) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && stamp.State == TFileStamp::TState::Present &&
           st.st_dev == stamp.Device && st.st_ino == stamp.Inode && st.st_size == stamp.Size &&
           st.st_mtim.tv_sec == stamp.ModifiedSeconds && st.st_mtim.tv_nsec == stamp.ModifiedNanoseconds;
  }

  // Continues `crc` over the file's bytes from `from` on.
  static bool SumFd(int fd, std::uint32_t& crc, std::uint64_t& size, off_t from = 0) {
    std::string buffer(std::size_t{1} << 20, '\0');
    size = 0;
    for (off_t at = from;;) {
      const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      crc = JournalChecksum(crc, {buffer.data(), static_cast<std::size_t>(n)});
      size += static_cast<std::uint64_t>(n);
      at += n;
    }
  }

  // The base's file copied into the folder (shared blocks where the file
  // system can), flushed, and checked against the base's sum: false when
  // the file no longer has it. The copy gets its name only once it is whole.
  bool CopyBase(TJournalSlot& slot) {
    TJournalBase& base = *slot.Base;
    const int source = ::open(base.Source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (source < 0) return false;
    TJournalFile closer(source, base.Source);
    std::string temp;
    std::unique_ptr<TJournalFile> copy = CreateTemp(temp);
    try {
      CopyBytes(source, copy->Fd, base.Size);
      Sync(copy->Fd, copy->Path);
      std::uint32_t crc = 0;
      std::uint64_t size = 0;
      if (!SumFd(copy->Fd, crc, size) || size != base.Size || crc != base.Checksum) {
        ::unlinkat(dirFd_, temp.c_str(), 0);
        return false;
      }
      const std::string name = RandomName() + std::string(kBaseSuffix);
      if (::renameat(dirFd_, temp.c_str(), dirFd_, name.c_str()) != 0)
        Fail("Cannot make the copy of a document's file", folder_ + "/" + name, errno);
      ::fsync(dirFd_);
      copy->Path = folder_ + "/" + name;
      base.Copy = name;
      written_ += base.Size;
    } catch (...) {
      ::unlinkat(dirFd_, temp.c_str(), 0);
      throw;
    }
    slot.BaseCopy = std::move(copy);
    return true;
  }

  // `size` bytes from the start of `from`: a clone of its blocks where the
  // file system shares them, else a copy in the kernel, else through memory.
  void CopyBytes(int from, int to, std::uint64_t size) {
    if (::ioctl(to, FICLONE, from) == 0) return;
    off_t in = 0, out = 0;
    bool kernel = true;
    while (static_cast<std::uint64_t>(in) < size) {
      const auto left = static_cast<std::size_t>(std::min<std::uint64_t>(size - in, std::uint64_t{1} << 30));
      ssize_t n = kernel ? ::copy_file_range(from, &in, to, &out, left, 0) : -1;
      if (n < 0 && kernel && errno != EINTR && in == 0) {
        kernel = false;  // not between these files: through memory
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (!kernel) {
        std::string buffer(std::min<std::size_t>(left, std::size_t{1} << 20), '\0');
        n = ::pread(from, buffer.data(), buffer.size(), in);
        if (n > 0) {
          WriteAll(to, {buffer.data(), static_cast<std::size_t>(n)}, folder_);
          in += n;
          out += n;
          continue;
        }
      }
      if (n < 0) Fail("Cannot make the copy of a document's file in the folder", folder_, errno);
      if (n == 0) return;  // shorter than summed: the check of the copy tells
    }
  }

  void DropBuild(TJournalSlot& slot) {
    if (slot.Build && dirFd_ >= 0) ::unlinkat(dirFd_, slot.BuildTemp.c_str(), 0);
    slot.Build.reset();
    slot.BuildFormats.clear();
  }

  // The header, and room for the snapshot's frame and count.
  void BeginSnapshot(TJournalSlot& slot, const TJournalJob& job) {
    OpenFolder();
    DropBuild(slot);
    std::unique_ptr<TJournalFile> file = CreateTemp(slot.BuildTemp);
    std::string head = JournalFrame(TJournalRecordKind::Header, job.Header);
    head += job.Header;
    slot.BuildAt = static_cast<off_t>(head.size() + kJournalFrameSize);
    head.append(kJournalFrameSize + kCountBytes, '\0');
    try {
      WriteAll(file->Fd, head, folder_);
    } catch (...) {
      ::unlinkat(dirFd_, slot.BuildTemp.c_str(), 0);
      throw;
    }
    slot.Build = std::move(file);
    written_ += head.size();
  }

  // The count and the frame in their places, the records after the
  // snapshot; flushed, the journal takes its name.
  void EndSnapshot(TJournalSlot& slot, const TJournalJob& job) {
    if (!slot.Build) return;  // its beginning failed: the keeper starts again
    const int fd = slot.Build->Fd;
    try {
      // The count in a fixed number of bytes: each but the last says more follow.
      char count[kCountBytes];
      for (std::size_t k = 0; k < kCountBytes; ++k)
        count[k] = static_cast<char>(((job.Count >> (7 * k)) & 0x7F) | (k + 1 < kCountBytes ? 0x80 : 0));
      PutAt(fd, {count, kCountBytes}, slot.BuildAt);
      const off_t end = ::lseek(fd, 0, SEEK_END);
      if (end < 0) Fail("Cannot write the journal", folder_, errno);
      const std::uint64_t length = static_cast<std::uint64_t>(end - slot.BuildAt);
      if (length > UINT32_MAX) throw EJournalError("A journal record is too large");
      const auto length32 = static_cast<std::uint32_t>(length);
      char frame[kJournalFrameSize];
      std::memcpy(frame, &length32, 4);
      frame[8] = static_cast<char>(TJournalRecordKind::Snapshot);
      // The checksum covers the length, the kind and the payload, as written.
      char lengthAndKind[5];
      std::memcpy(lengthAndKind, &length32, 4);
      lengthAndKind[4] = frame[8];
      std::uint32_t crc = JournalChecksum(0, {lengthAndKind, 5});
      std::uint64_t size = 0;
      if (!SumFd(fd, crc, size, slot.BuildAt) || size != length) Fail("Cannot read the journal", folder_, EIO);
      std::memcpy(frame + 4, &crc, 4);
      PutAt(fd, {frame, kJournalFrameSize}, slot.BuildAt - static_cast<off_t>(kJournalFrameSize));
      WriteAll(fd, slot.BuildFormats, folder_);
      WriteAll(fd, job.Records, folder_);
      Sync(fd, folder_);
      if (slot.Path.empty()) slot.Path = folder_ + "/" + RandomName() + std::string(kJournalSuffix);
      const std::string name = slot.Path.substr(slot.Path.find_last_of('/') + 1);
      if (::renameat(dirFd_, slot.BuildTemp.c_str(), dirFd_, name.c_str()) != 0)
        Fail("Cannot create the journal", slot.Path, errno);
      written_ += slot.BuildFormats.size() + job.Records.size();
    } catch (...) {
      DropBuild(slot);
      throw;
    }
    ::fsync(dirFd_);
    slot.Build->Path = slot.Path;
    slot.File = std::move(slot.Build);
    slot.BuildFormats.clear();
    if (slot.Orphan) {
      slot.Orphan->Remove();
      slot.Orphan.reset();
      ::fsync(dirFd_);
    }
    DropBase(slot);
    slot.Failed = false;
  }

  void PutAt(int fd, std::string_view bytes, off_t at) {
    while (!bytes.empty()) {
      const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("Cannot write the journal", folder_, errno);
      bytes.remove_prefix(static_cast<std::size_t>(n));
      at += n;
    }
  }

  // A new journal is written under a temporary name, flushed, and then
  // renamed to its place: a journal on the disk is always whole up to its
  // snapshot (or base), and a compacted one replaces the old one at once.
  void WriteJournal(TJournalSlot& slot, std::string_view header, TJournalRecordKind kind, std::string_view text,
                    std::string_view records) {
    OpenFolder();
    std::string temp;
    std::unique_ptr<TJournalFile> file = CreateTemp(temp);
    try {
      std::string head = JournalFrame(TJournalRecordKind::Header, header);
      head += header;
      head += JournalFrame(kind, text);
      // Named by its folder: the temporary name is new every time.
      WriteAll(file->Fd, head, folder_);
      WriteAll(file->Fd, text, folder_);
      WriteAll(file->Fd, records, folder_);
      Sync(file->Fd, folder_);
      if (slot.Path.empty()) slot.Path = folder_ + "/" + RandomName() + std::string(kJournalSuffix);
      const std::string name = slot.Path.substr(slot.Path.find_last_of('/') + 1);
      if (::renameat(dirFd_, temp.c_str(), dirFd_, name.c_str()) != 0)
        Fail("Cannot create the journal", slot.Path, errno);
      written_ += head.size() + text.size() + records.size();
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
  std::atomic<std::size_t> backlog_{0};

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
  bool Started = false;                // the snapshot was taken (or the base read): changes are noted
  bool Written = false;                // the journal is on the disk, or on its way there
  bool Adopted = false;                // a recovered journal waits to be replaced or removed
  // The text is a file as the document read it (its base) and the changes
  // noted since: the journal stands on that file's bytes, no snapshot.
  bool Based = false;
  TJournalBase Base;  // where it was read from, and how
  TFileStamp BaseStamp;
  std::uint64_t BaseSerial = 0;
  std::string FileName;  // as the journal's header says
  TFileStamp Stamp;
  // The lines changed since the last record, in line order, each stretch
  // more than NearLines away from the next.
  std::vector<TStretch> Noted;
  // A snapshot copied a slice at a time, while the journal before it (if
  // any) goes on taking the changes: the document's next line to copy, the
  // lines copied, and the changes of lines copied already, on the snapshot.
  struct TBuild {
    int Cursor = 0;
    int Copied = 0;
    std::size_t Bytes = 0;
    std::vector<TStretch> Noted;
    std::string FileName;  // as its header says
    TFileStamp Stamp;
    std::chrono::steady_clock::time_point Began{};
  };
  std::optional<TBuild> Build;
  std::size_t SnapshotBytes = 0, ChangeBytes = 0, ChangeRecords = 0;
  std::chrono::steady_clock::time_point RetryAt{};
  // The document's encoding as the journal last wrote it: 0 Windows-1252,
  // 1 UTF-8, 3 UTF-8 after a byte-order mark.
  std::uint8_t EncodingWritten = 0;

  // Runs for every change of the text, after the store changed: notes
  // which lines changed, copying nothing. Nothing may leave it: the edit
  // has happened.
  void Note(const TLinesChange& change) noexcept {
    try {
      if (change.Notice == TLinesNotice::Assigned && ReadFromItsFile(change)) {
        StartOnBase();
        return;
      }
      if (!Started && !Build) return;  // the snapshot will hold it
      NoteLines(change);
    } catch (const std::exception&) {
      Reset();  // out of memory: the journal starts again with a snapshot
    }
  }

  // The whole text was just read from the document's file: unmodified, and
  // the file is there.
  bool ReadFromItsFile(const TLinesChange& change) const {
    const TSourceEditor& d = *Document;
    return !d.FileModified && !d.FileName.empty() && d.DiskStamp.State == TFileStamp::TState::Present &&
           change.FirstLine == 0 && change.LinesInserted == d.Lines->Count();
  }

  // The document's text is its file as read: changes are noted from here on.
  void StartOnBase() {
    const TSourceEditor& d = *Document;
    Reset();
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(d.FileName, error);
    Base = {};
    Base.Source = error ? d.FileName : full.lexically_normal().string();
    Base.TabWidth = d.TabWidth;
    Base.KeepFormat = d.FileFormat.Kept;
    BaseStamp = d.DiskStamp;
    ++BaseSerial;
    Based = Started = true;
    // A journal of the text before goes at the next flush: its document is unmodified.
    FileName.clear();
    SnapshotBytes = static_cast<std::size_t>(d.Lines->TextLength());
    ChangeBytes = ChangeRecords = 0;
  }

  void NoteLines(const TLinesChange& change) {
    if (Build && change.FirstLine < Build->Cursor) {
      // Lines copied already: noted on the snapshot as it is made. Lines
      // not copied yet are copied as they are then.
      const int removed = std::min(change.LinesRemoved, Build->Cursor - change.FirstLine);
      NoteInto(Build->Noted, change.FirstLine, removed, change.LinesInserted);
      Build->Cursor += change.LinesInserted - removed;
    }
    if (Started) NoteInto(Noted, change.FirstLine, change.LinesRemoved, change.LinesInserted);
  }

  // Lines [f, f + r) replaced by i lines, into the stretches `noted`.
  void NoteInto(std::vector<TStretch>& noted, int f, int r, int i) const {
    // The stretches [a, b) that the change touches or comes near become one
    // with it, from the first line changed to the last; those after it move.
    std::size_t a = 0;
    while (a < noted.size() && noted[a].First + noted[a].Inserted + NearLines < f) ++a;
    std::size_t b = a;
    while (b < noted.size() && noted[b].First - NearLines <= f + r) ++b;
    int lo = f, hi = f + r, inserted = 0, removed = 0;
    for (std::size_t k = a; k < b; ++k) {
      lo = std::min(lo, noted[k].First);
      hi = std::max(hi, noted[k].First + noted[k].Inserted);
      inserted += noted[k].Inserted;
      removed += noted[k].Removed;
    }
    for (std::size_t k = b; k < noted.size(); ++k) noted[k].First += i - r;
    const TStretch merged{lo, hi - lo - inserted + removed, hi - lo + i - r};
    noted.erase(noted.begin() + static_cast<std::ptrdiff_t>(a), noted.begin() + static_cast<std::ptrdiff_t>(b));
    noted.insert(noted.begin() + static_cast<std::ptrdiff_t>(a), merged);
    if (noted.size() <= MaxStretches) return;
    // Too many: the two closest become one, with the unchanged lines between.
    auto gap = [&noted](std::size_t k) { return noted[k + 1].First - (noted[k].First + noted[k].Inserted); };
    std::size_t closest = 0;
    for (std::size_t k = 1; k + 1 < noted.size(); ++k)
      if (gap(k) < gap(closest)) closest = k;
    TStretch& first = noted[closest];
    const TStretch& second = noted[closest + 1];
    const int between = gap(closest);
    first.Removed += between + second.Removed;
    first.Inserted += between + second.Inserted;
    noted.erase(noted.begin() + static_cast<std::ptrdiff_t>(closest) + 1);
  }

  // The bytes the noted lines have now.
  std::int64_t NotedBytes() const {
    std::int64_t bytes = 0;
    for (const TStretch& s : Noted)
      bytes += Document->Lines->LineStartOffset(s.First + s.Inserted) - Document->Lines->LineStartOffset(s.First);
    return bytes;
  }

  // The noted lines as change records, read from the document as it is
  // now. Applied in line order, each finds the lines before it as they are.
  std::string Records() { return Records(Noted); }
  std::string Records(std::vector<TStretch>& noted) {
    std::string records;
    for (const TStretch& s : noted) {
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
    noted.clear();
    return records;
  }

  void Reset() {
    Started = Based = false;
    Noted.clear();
    Build.reset();
  }
};

// ---------------------------------------------------------------- the keeper

// Changes on a base are compacted into a snapshot once they outgrow this
// part of its text (or this many times the records a snapshot may have).
constexpr std::size_t kBaseShare = 4;

// No encoding written yet: the next encoding record is written whatever it says.
constexpr std::uint8_t kEncodingUnknown = 0xFF;

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
  entry.Adopted = true;
}

void TJournalKeeper::Adopt(TSourceEditor& document, TOrphanJournal&& orphan) {
  const TJournalContent& content = orphan.Content;
  // A journal kept in cells has its records in them: the new one starts afresh.
  const bool onBase = content.Base && content.Replayed && !content.BaseFile.empty() && !content.InCells;
  // The copy goes on with the new journal, not with the orphan.
  if (onBase && orphan.File) orphan.File->BaseCopy.clear();
  Adopt(document, std::move(orphan.File));
  if (kept_ || !onBase) return;
  // The recovered text is the orphan's base and its records: the new journal
  // stands on them too, and takes its base's copy over (or makes one).
  TEntry& entry = *entries_[&document];
  TJournalSlot& slot = *entry.Slot;
  slot.Base = *content.Base;
  const std::string copy = folder_ + "/" + content.Base->Copy;
  if (content.Base->Copy.empty() || content.BaseFile != copy) {
    slot.Base->Copy.clear();
  } else {
    const int fd = ::open(copy.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      slot.Base->Copy.clear();
    } else {
      slot.BaseCopy = std::make_unique<TJournalFile>(fd, copy);
      ::flock(fd, LOCK_EX | LOCK_NB);
    }
  }
  const std::string_view bytes = content.Bytes.View();
  slot.Chain = std::string(bytes.substr(content.BodyStart, content.WholeBytes - content.BodyStart));
  entry.Reset();
  entry.Based = entry.Started = true;
  entry.Base = *slot.Base;
  entry.BaseSerial = slot.BaseSerial = 1;
  entry.FileName.clear();
  entry.SnapshotBytes = static_cast<std::size_t>(content.Base->Size);
  entry.ChangeBytes = slot.Chain.size();
  entry.ChangeRecords = content.Changes.size();
  entry.EncodingWritten =
      static_cast<std::uint8_t>(content.Encoding == TTextEncoding::Utf8 ? (content.ByteOrderMark ? 3 : 1) : 0);
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
    // A snapshot under way is finished now: it may be all there is.
    while (entry->Build) {
      if (writer_->Backlog() > 0) writer_->Wait();
      Slice(*entry);
    }
    // A base whose document is saved has nothing to recover: it goes.
    const bool nothing = !entry->Written && !entry->Adopted && !entry->Document->FileModified;
    if (entry->Slot)
      writer_->Post(Job(nothing ? TJournalJob::TKind::Remove : TJournalJob::TKind::Release, entry->Slot));
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
    if (!entry.Slot) return;
    if (!entry.Based) {
      Drop(entry);
    } else if (entry.Written || entry.Adopted) {
      // Saved: the journal goes; the base and the records since stay for
      // the next change, and the changes go on being noted.
      writer_->Post(Job(TJournalJob::TKind::Close, entry.Slot));
      entry.Written = entry.Adopted = false;
    }
    return;
  }
  // The file changed before its base was made: a snapshot.
  if (entry.Based && entry.Slot && entry.Slot->LostSerial == entry.BaseSerial) entry.Reset();
  if (entry.Build) {
    if (document.FileName == entry.Build->FileName && document.DiskStamp == entry.Build->Stamp) {
      // The journal before goes on taking the changes while the snapshot is made.
      const bool before = entry.Started && entry.Written && !entry.Slot->Failed;
      if (before && !entry.Noted.empty()) {
        std::string records = EncodingRecord(entry);
        records += entry.Records();
        writer_->Post(Job(TJournalJob::TKind::Append, entry.Slot, std::move(records)));
      }
      // Without one, the changes reach the disk only with the snapshot: it
      // is not left to the pace of the slices for long.
      Slice(entry, !before && Now() - entry.Build->Began >= limits_.LongestUnwritten);
      return;
    }
    // Saved or read under another name meanwhile: a snapshot with the new header.
    writer_->Post(Job(TJournalJob::TKind::SnapshotCancel, entry.Slot));
    entry.Build.reset();
  }
  const bool failed = entry.Slot && entry.Slot->Failed;
  const std::size_t changes = entry.ChangeBytes + static_cast<std::size_t>(entry.Started ? entry.NotedBytes() : 0);
  const std::size_t recordCount = entry.ChangeRecords + entry.Noted.size();
  // Changes that would outgrow the text are written as a new snapshot
  // instead. On a base, once they outgrow a part of the text.
  const bool compact = entry.Based ? changes > std::max(limits_.CompactBytes, entry.SnapshotBytes / kBaseShare) ||
                                         recordCount > limits_.CompactRecords * kBaseShare
                                   : recordCount > limits_.CompactRecords ||
                                         changes > std::max(limits_.CompactBytes, entry.SnapshotBytes);
  // Saved or loaded since the journal began: it starts again with the
  // document's new file.
  const bool renewed = document.FileName != entry.FileName || !(document.DiskStamp == entry.Stamp);
  if (!entry.Started || !entry.Written || failed || compact || renewed) {
    if (failed && !force && Now() < entry.RetryAt) return;
    if (compact || document.FileFormat.Kept != entry.Base.KeepFormat) entry.Based = false;
    Start(entry);
    return;
  }
  if (entry.Noted.empty()) return;
  std::string records = EncodingRecord(entry);
  records += entry.Records();
  writer_->Post(Job(TJournalJob::TKind::Append, entry.Slot, std::move(records)));
}

void TJournalKeeper::Start(TEntry& entry) {
  const TSourceEditor& document = *entry.Document;
  if (!entry.Slot) entry.Slot = std::make_shared<TJournalSlot>();
  entry.FileName = document.FileName;
  entry.Stamp = document.DiskStamp;
  TJournalJob job = Job(TJournalJob::TKind::Create, entry.Slot);
  // The name means the same file to a program started in another folder.
  std::string fileName = document.FileName;
  std::error_code error;
  if (!fileName.empty()) {
    std::filesystem::path full = std::filesystem::absolute(fileName, error);
    if (!error) fileName = full.lexically_normal().string();
  }
  job.Header = HeaderPayload({fileName, document.DiskStamp, session_, entry.Order});
  entry.EncodingWritten = 0;
  if (entry.Based) {
    // The base and the records since are the writer's: these follow them.
    job.Kind = TJournalJob::TKind::CreateOnBase;
    job.Base = entry.Base;
    job.Stamp = entry.BaseStamp;
    job.BaseSerial = entry.BaseSerial;
    // The records before these may leave another encoding than a new
    // journal's: this one is always written.
    entry.EncodingWritten = kEncodingUnknown;
    job.Records = EncodingRecord(entry);
    if (document.FileFormat.Kept)
      AppendJournalRecord(job.Records, TJournalRecordKind::Format,
                          FormatPayload(document.FileFormat, *document.Lines, 0, 0));
    job.Records += entry.Records();
  } else if (static_cast<std::size_t>(document.Lines->TextLength()) > limits_.SliceBytes) {
    // Too large to copy at once: a slice at each flush, the first now. The
    // journal before takes the changes until the snapshot is whole.
    if (entry.Started && entry.Written && !entry.Noted.empty()) {
      std::string records = EncodingRecord(entry);
      records += entry.Records();
      writer_->Post(Job(TJournalJob::TKind::Append, entry.Slot, std::move(records)));
    }
    entry.Based = false;
    entry.Build.emplace();
    entry.Build->FileName = document.FileName;
    entry.Build->Stamp = document.DiskStamp;
    entry.Build->Noted.clear();
    entry.Build->Began = Now();
    job.Kind = TJournalJob::TKind::SnapshotBegin;
    writer_->Post(std::move(job));
    Slice(entry);
    return;
  } else {
    job.Snapshot = SnapshotPayload(*document.Lines);
    entry.Reset();
    job.Records = EncodingRecord(entry);
    if (document.FileFormat.Kept)
      AppendJournalRecord(job.Records, TJournalRecordKind::Format,
                          FormatPayload(document.FileFormat, *document.Lines, 0, document.Lines->Count()));
    entry.Started = true;
    entry.SnapshotBytes = job.Snapshot.size();
    entry.ChangeBytes = entry.ChangeRecords = 0;
  }
  entry.Written = true;
  entry.Adopted = false;  // the new journal replaces it
  entry.RetryAt = Now() + limits_.RetryAfter;
  writer_->Post(std::move(job));
}

std::chrono::steady_clock::time_point TJournalKeeper::Now() const {
  return limits_.Clock ? limits_.Clock() : std::chrono::steady_clock::now();
}

void TJournalKeeper::Slice(TEntry& entry, bool all) {
  // The writing thread catches up first: the slices given it stay few.
  if (!all && writer_->Backlog() > 4 * limits_.SliceBytes) return;
  const TSourceEditor& document = *entry.Document;
  TEntry::TBuild& build = *entry.Build;
  const TAdvLines& lines = *document.Lines;
  const auto start = std::chrono::steady_clock::now();
  std::string part;
  part.reserve(limits_.SliceBytes + kJournalFrameSize + 16);
  int copied = 0;
  char length[10];
  lines.ForEachLineView(build.Cursor, lines.Count(), [&](std::string_view line) {
    part.append(length, PutJournalVarint(length, line.size()));
    part.append(line);
    ++copied;
    return all || (part.size() < limits_.SliceBytes &&
                   ((copied & 255) != 0 || std::chrono::steady_clock::now() - start < limits_.SliceTime));
  });
  TJournalJob job = Job(TJournalJob::TKind::SnapshotPart, entry.Slot, std::move(part));
  if (document.FileFormat.Kept && copied > 0)
    AppendJournalRecord(job.Snapshot, TJournalRecordKind::Format,
                        FormatPayload(document.FileFormat, lines, build.Cursor, copied, build.Copied));
  build.Bytes += job.Records.size();
  build.Cursor += copied;
  build.Copied += copied;
  writer_->Post(std::move(job));
  if (build.Cursor < lines.Count()) return;
  // Every line copied: the changes of lines copied already follow the snapshot.
  TJournalJob end = Job(TJournalJob::TKind::SnapshotEnd, entry.Slot);
  end.Count = static_cast<std::uint64_t>(build.Copied);
  entry.EncodingWritten = 0;
  entry.ChangeBytes = entry.ChangeRecords = 0;
  end.Records = EncodingRecord(entry);
  end.Records += entry.Records(build.Noted);
  entry.SnapshotBytes = build.Bytes;
  entry.FileName = build.FileName;
  entry.Stamp = build.Stamp;
  entry.Noted.clear();  // the journal before is replaced
  entry.Build.reset();
  entry.Started = entry.Written = true;
  entry.Adopted = false;
  entry.RetryAt = Now() + limits_.RetryAfter;
  writer_->Post(std::move(end));
}

bool TJournalKeeper::Building() const {
  return std::any_of(entries_.begin(), entries_.end(), [](const auto& e) { return e.second->Build.has_value(); });
}

std::string TJournalKeeper::EncodingRecord(TEntry& entry) {
  const TSourceEditor& document = *entry.Document;
  const std::uint8_t now =
      static_cast<std::uint8_t>((document.Utf8() ? 1 : 0) | (document.Utf8() && document.ByteOrderMark() ? 2 : 0));
  std::string record;
  if (now == entry.EncodingWritten) return record;
  AppendJournalRecord(record, TJournalRecordKind::Encoding,
                      EncodingPayload(document.Encoding(), document.ByteOrderMark()));
  entry.EncodingWritten = now;
  return record;
}

void TJournalKeeper::Drop(TEntry& entry) {
  writer_->Post(Job(TJournalJob::TKind::Remove, entry.Slot));
  entry.Slot.reset();
  entry.Written = false;
  entry.Reset();
}
