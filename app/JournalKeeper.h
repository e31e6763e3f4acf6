#pragma once

// TJournalKeeper: a recovery journal (Journal.h) for every modified document.
//
// Typing costs a few integer operations: the keeper notes which lines
// changed, and copies nothing. Flush, run by a timer of the window about twice a second, turns
// the noted lines into change records (reading their text from the
// document as it is then), and a thread of the keeper's own appends them to
// the journal and flushes it to the disk. A journal starts with a snapshot
// of the text when its document becomes modified, starts again when the
// document was saved or loaded meanwhile, and is compacted into a new
// snapshot when its changes outgrow the text. A document that is no longer
// modified, or is forgotten (closed), loses its journal; Keep leaves every
// journal for the next start. A clean end also removes what killed writers
// left half-made in the folder.
//
// A document the keeper saw read from its file needs no snapshot: its
// journal stands on that file's bytes (its base), which the writing thread
// sums and copies into the folder, and holds the changes since it was read.
// A save drops the journal but keeps the base and those changes, so that
// the next change writes a journal as large as the changes, not the text.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "app/Journal.h"

class TJournalWriter;

struct TJournalLimits {
  // Changes are compacted into a snapshot once their bytes exceed both
  // this and the snapshot's, or once there are this many.
  std::size_t CompactBytes = std::size_t{1} << 20;
  std::size_t CompactRecords = 20000;
  // Changes this many lines apart or closer become one record; the changes
  // between two flushes make at most this many records.
  int NearLines = 16;
  std::size_t NotedStretches = 32;
  // After a failed write the journal is tried again this much later.
  std::chrono::milliseconds RetryAfter{5000};
  // A text longer than this is copied into its snapshot a slice at a time,
  // one a flush, each at most this long or taking at most this time.
  std::size_t SliceBytes = std::size_t{1} << 20;
  std::chrono::microseconds SliceTime{3000};
  // A document with no journal on the disk yet, whose snapshot is copied in
  // slices, has it whole at the first flush this long after the copy began:
  // that flush copies the rest at once, however many changes keep coming.
  // With a flush at least twice a second, every change is handed to the
  // disk within a second. (Where a journal before takes the changes meanwhile,
  // the slices take their time.)
  std::chrono::milliseconds LongestUnwritten{250};
  // The clock of the times above; none: std::chrono::steady_clock.
  std::function<std::chrono::steady_clock::time_point()> Clock;
};

class TJournalKeeper {
 public:
  explicit TJournalKeeper(std::string folder, TJournalLimits limits = {});
  // Drops the journal of every document still kept (a clean end) and waits
  // until the disk has seen it.
  ~TJournalKeeper();
  TJournalKeeper(const TJournalKeeper&) = delete;
  TJournalKeeper& operator=(const TJournalKeeper&) = delete;

  const std::string& Folder() const { return folder_; }

  // Keeps a journal for the document from its first change on. The
  // document is forgotten (or the keeper kept or freed) before it is freed.
  void Track(TSourceEditor& document);
  // The document was recovered from `orphan`: that file goes once the
  // document's own journal is on the disk (or the document needs none).
  void Adopt(TSourceEditor& document, std::unique_ptr<TJournalFile> orphan);
  // As above; a journal on a base goes on on the same base and records.
  void Adopt(TSourceEditor& document, TOrphanJournal&& orphan);
  // The document goes (closed): its journal is dropped.
  void Forget(TSourceEditor& document);
  // Hands everything noted since the last flush to the writing thread.
  void Flush();
  // The end of a session that leaves the unsaved changes for recovery:
  // flushes every journal, waits until it is on the disk and lets go of it.
  // The keeper does nothing from then on.
  void Keep();
  // Waits until the writing thread has done all it was given.
  void WaitUntilWritten();
  // Nothing is left to write: the journals are on the disk as the last flush left them.
  bool Idle() const;
  // A snapshot is being copied: the next flush should come soon.
  bool Building() const;
  // Bytes written to journals so far.
  std::uint64_t BytesWritten() const;
  // Why a journal could not be written, since the last call (empty: no
  // trouble). Also told on the standard error, once for each reason.
  std::string TakeTrouble();

 private:
  struct TEntry;
  void Start(TEntry& entry);
  void Drop(TEntry& entry);
  void FlushEntry(TEntry& entry, bool force);
  void FlushDocument(TEntry& entry, bool force);
  // Copies the next slice of the snapshot being made (with `all`, every
  // line left); the last one ends it.
  void Slice(TEntry& entry, bool all = false);
  std::chrono::steady_clock::time_point Now() const;
  // An encoding record when the document's encoding is not the one the
  // journal last wrote (a new journal's is Windows-1252).
  static std::string EncodingRecord(TEntry& entry);

  std::string folder_;
  TJournalLimits limits_;
  std::uint64_t session_;
  std::uint64_t nextOrder_ = 1;
  bool kept_ = false;
  std::string reported_, trouble_;  // of the flushes on the caller's thread
  std::unordered_map<const TSourceEditor*, std::unique_ptr<TEntry>> entries_;
  std::unique_ptr<TJournalWriter> writer_;
};
