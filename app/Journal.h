#pragma once

// The recovery journal of a modified document: what it takes to bring back
// its text exactly after the program died before the document was saved.
//
// A journal is a file of records. Every record is framed by the length of
// its payload and a checksum, so that a record torn by a crash (or a power
// cut) is recognised: it is dropped with everything after it, and every
// whole record before it counts.
//
//   header    the document's file name, what that file was on disk, the
//             document's place among the writing program's documents
//   snapshot  every line of the text
//   base      or instead of the snapshot: the text is a file as it was read
//             (its bytes, their checksum, how they were read), kept as a
//             copy in the journals' folder; the file itself stands in for
//             the copy while the copy is made, or when it is lost, as long
//             as its bytes still have that checksum
//   change    the lines [First, First + Removed) replaced by the lines given
//   format    of a document that keeps its file's format: that format, and
//             the bytes as read of the lines [First, First + Count) as the
//             records before it left them (after the snapshot, and after
//             each change that brings in lines)
//   encoding  the encoding of the lines of the records after it (and of the
//             snapshot or base when it comes before any change), with the
//             byte-order mark of a UTF-8 file; without one, Windows-1252
//
// Lines are the document's bytes. Journals of earlier versions kept a UTF-8
// document in byte cells, with a cells record giving their characters in
// place of the encoding record; such a journal is read with its cells
// turned into UTF-8.
//
// A journal begins with a header and a snapshot (or a base); changes follow.
// Compacting writes a new journal of a header and a snapshot in the old
// one's place.
//
// Journals live in the user's state folder (0700; files 0600). The program
// writing a journal holds an exclusive flock on it for as long as it runs:
// a journal whose lock can be taken was left behind by a program that died,
// and only then may another one recover it.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/FileIO.h"
#include "editor/TextEncoding.h"
#include "highlight/source_editor.h"

class TAdvLines;

// A journal could not be read, or its folder or file could not be made or
// written. The message names the file and carries the system's reason.
class EJournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Cells: only in journals of earlier versions (read, never written).
enum class TJournalRecordKind : std::uint8_t {
  Header = 1,
  Snapshot = 2,
  Change = 3,
  Cells = 4,
  Format = 5,
  Base = 6,
  Encoding = 7,
};

struct TJournalHeader {
  std::string FileName;
  TFileStamp Stamp;           // the file as the document last loaded or saved it
  std::uint64_t Session = 0;  // when the writing program started (ns): orders programs
  std::uint64_t Order = 0;    // the document's place among that program's documents
};

// The text a journal's changes apply to when it is a file as it was read.
struct TJournalBase {
  std::string Copy;    // the copy's name in the journals' folder; empty until it is made
  std::string Source;  // the file it was read from (absolute)
  std::uint64_t Size = 0;
  std::uint32_t Checksum = 0;  // JournalChecksum of its bytes
  int TabWidth = 4;            // a TAB read became this many spaces
  bool KeepFormat = false;     // read keeping the file's format (bytes as read of its lines)
};

// Writes `v` as the journal writes numbers (at most 10 bytes); returns their count.
std::size_t PutJournalVarint(char* out, std::uint64_t v);

// The CRC-32C records are checked with, continued over `data` (start with 0).
std::uint32_t JournalChecksum(std::uint32_t crc, std::string_view data);

// ---- building records (payloads; the frame is added when they are written)

std::string HeaderPayload(const TJournalHeader& header);
// Every line of the store.
std::string SnapshotPayload(const TAdvLines& lines);
// Lines [first, first + removed) replaced by `inserted` lines, whose text
// is the store's lines from `from` on as they are now.
std::string ChangePayload(const TAdvLines& lines, int first, int removed, int from, int inserted);
// The format a document's file is written in, and the bytes as read of
// lines [first, first + count); named lines [at, at + count) when `at` is
// given (the place those lines have in a snapshot).
std::string FormatPayload(const TFileFormat& format, const TAdvLines& lines, int first, int count, int at = -1);
std::string BasePayload(const TJournalBase& base);
std::string EncodingPayload(TTextEncoding encoding, bool byteOrderMark);
// False when the payload is damaged.
bool ParseBase(std::string_view payload, TJournalBase& base);

// The frame before a payload: its length, a checksum of kind and payload,
// and the kind.
constexpr std::size_t kJournalFrameSize = 9;
std::string JournalFrame(TJournalRecordKind kind, std::string_view payload);
// A frame and its payload.
void AppendJournalRecord(std::string& out, TJournalRecordKind kind, std::string_view payload);

// ---- reading

struct TJournalChange {
  int First = 0;
  int Removed = 0;
  std::vector<std::string_view> Lines;  // into the journal's bytes
};

// What a journal holds, up to its last whole record.
struct TJournalContent {
  TTextBuffer Bytes;  // the file; the views below point into it
  TJournalHeader Header;
  std::string_view Snapshot;  // the snapshot's payload; empty with a base
  std::optional<TJournalBase> Base;
  std::string BaseFile;       // the file found to hold the base's bytes (FindBase)
  std::size_t BodyStart = 0;  // where the records after the snapshot or base begin
  // Set by RestoreText: every change fitted the text (a damaged journal's
  // replay ends at the first that does not).
  mutable bool Replayed = false;
  // The document's encoding as the last encoding record gives it; and
  // whether the base's file begins with a byte-order mark that is no part
  // of the text.
  TTextEncoding Encoding = TTextEncoding::Windows1252;
  bool ByteOrderMark = false;
  bool BaseByteOrderMark = false;
  // The lines of a journal kept in cells, as UTF-8: the views above point
  // into these instead of the bytes.
  std::deque<std::string> Converted;
  bool InCells = false;  // a journal of an earlier version, of a document kept in cells
  std::vector<TJournalChange> Changes;
  // Format records, each with the number of changes before it.
  std::vector<std::pair<std::size_t, std::string_view>> Formats;
  std::size_t WholeBytes = 0;  // the bytes of the whole records; the rest is torn
};

// Reads the records of a journal. Throws EJournalError when it lacks a
// whole header and snapshot, or when its snapshot or (kept in cells) its
// table of characters does not hold what it says (every count is checked
// against the bytes there are).
TJournalContent ParseJournal(TTextBuffer bytes);

// The longest header record a journal begins with: a file name and a few numbers.
constexpr std::size_t kMaxJournalHeader = std::size_t{64} << 10;
// The header of a journal from its first bytes; the size of that whole
// first record, 0 when the bytes begin with no whole header record.
std::size_t ReadJournalHeader(std::string_view head, TJournalHeader& header);

// Finds the file that holds a base's bytes: its copy in `folder`, or else the
// file it was read from, whichever still has its size and checksum; sets
// BaseFile. Throws EJournalError when neither has them.
void FindBase(TJournalContent& journal, const std::string& folder);

// Gives the store the journal's text: the snapshot (or the base, read again
// from BaseFile, with TABs of the width the store's owner gives) with every
// change applied, line for line what the document held. A change that does
// not fit the text (a damaged journal) ends the replay there. Throws
// EJournalError when the base's file no longer holds its bytes.
void RestoreText(const TJournalContent& journal, TAdvLines& lines);

// A recovered document: the journal's name, text, highlighter and disk
// stamp; modified, without an undo history.
void RestoreDocument(const TJournalContent& journal, TSourceEditor& document);

// ---- files

// $XDG_STATE_HOME/quorvel, or ~/.local/state/quorvel when it is not set.
std::string JournalFolder();

// Makes the folder (and the ones above it) private to the user when it does
// not exist, and makes sure it is the user's own folder, 0700: a folder of
// another owner (or a link in its place) is refused, the user's own with
// other permissions is made 0700. Throws EJournalError.
void PrepareJournalFolder(const std::string& folder);

// Replaces a small state file of the program (in a folder PrepareJournalFolder
// accepts) with `bytes`, 0600: written to a new file beside it, flushed,
// renamed over the name and the folder flushed. Whatever has the name now
// (a link to another file too) is replaced, never written through. Throws
// EJournalError; the old file stays then.
void WriteStateFile(const std::string& path, std::string_view bytes);

constexpr std::string_view kJournalSuffix = ".journal";
constexpr std::string_view kBaseSuffix = ".base";
constexpr std::string_view kJournalTempPrefix = ".new-";

// A journal file opened and locked by this program; closing it frees the lock.
class TJournalFile {
 public:
  TJournalFile(int fd, std::string path) : Fd(fd), Path(std::move(path)) {}
  ~TJournalFile();
  TJournalFile(const TJournalFile&) = delete;
  TJournalFile& operator=(const TJournalFile&) = delete;

  // Deletes the file (still locked, so that nobody takes it meanwhile), and
  // the copy of its base it alone refers to.
  void Remove();

  int Fd;
  std::string Path;
  std::string BaseCopy;  // the copy's path; empty when none goes with it
};

// A journal left behind by a program that died: locked now by this one.
struct TOrphanJournal {
  std::unique_ptr<TJournalFile> File;
  TJournalContent Content;
};

// A journal left behind that cannot be recovered: set aside under a name
// that is never offered again.
struct TDamagedJournal {
  std::string FileName;  // its document's, as its header says; empty when that cannot be read
  std::string Kept;      // where it is now
  std::string Reason;    // why it cannot be recovered
};
constexpr std::string_view kDamagedJournalSuffix = ".damaged";

// The journals in the folder whose programs are gone and that can be
// recovered, in the order their programs had them; each stays locked while
// its TOrphanJournal lives. Temporary files of killed writers are removed.
// Those that cannot be recovered are renamed once (to a name ending in
// kDamagedJournalSuffix) and told in `damaged`. A missing folder has none.
std::vector<TOrphanJournal> FindOrphanJournals(const std::string& folder,
                                               std::vector<TDamagedJournal>* damaged = nullptr);

// Removes the temporary files that writers of journals in the folder left
// when they were killed (any age; not those whose writers still run), and
// the copies of bases that no journal there refers to and nobody holds.
void RemoveJournalLeftovers(const std::string& folder);

// The base a journal file refers to, read from its first two records; empty
// when it has none.
std::string BaseCopyOf(int fd);
