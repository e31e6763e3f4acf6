#pragma once

// TAdvLines: the text of one editor as a list of lines, with every line cut
// into display rows for word wrap and a colour record per character for the
// painter.
//
// Storage. Lines are kept in blocks of a few hundred records; three Fenwick
// trees over the blocks give line index, flat offset and first row of any
// block in O(log n), so lookups and single-line edits cost the same in a
// 1 KB and a 100 MB document. A line's bytes are either borrowed from a large
// shared chunk (a loaded file, an inserted text) or owned by the line's side
// record. A line of the main chunk is 8 bytes, its offset and length; any
// other line, and a wrapped one with its row breaks, also has a far entry.
// A loaded text has room after its bytes, where large edited regions (a
// paste) are written: their lines are lines of the main chunk too.
// The side record holds the colour records of a painted line; plain lines
// have none.
//
// "Mark every line Dirty" is a generation counter: a line is clean only when
// it was cleaned in the current generation and still has its colours.
//
// Changes. Every change of the records goes through one splice, which tells
// the owner what changed (TLinesChange): the lines replaced, the rows they
// had and have, and whether the owner's lines-changed notification is due.
// The owner keeps whatever it holds per line or per row in step from that.
//
// Bytes as read. A line may carry its bytes as the file had them
// (TLineAsRead) while its text is the one it was read with. The splice
// keeps them on the lines it brings back unchanged at its start or end; those
// of the other lines it removes go with the change (TLinesChange), so that
// whoever takes the change back can give them back to the lines it restores.

#include <atomic>
#include <bit>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/AEAtoms.h"
#include "editor/AdvLinesArea.h"
#include "editor/Fenwick.h"
#include "editor/FileIO.h"
#include "editor/LineFormat.h"
#include "editor/PagedTable.h"
#include "editor/TextEncoding.h"

// What a change asks of the store's owner besides keeping its own state in step.
enum class TLinesNotice : std::uint8_t {
  None,      // a quiet change made by the owner's editing (no notification)
  Changed,   // the list's lines-changed notification
  Assigned,  // the whole text was assigned from outside: also clear the undo history and reset the caret
};

// One change of the store, announced to its owner as it happens: the lines
// from FirstLine on that were replaced and the lines now in their place. A
// notification without a change of its own (the end of an update bracket)
// replaces nothing.
struct TLinesChange {
  int FirstLine = 0;
  int LinesRemoved = 0;
  int LinesInserted = 0;
  int FirstRow = 0;  // the first row of FirstLine
  int RowsRemoved = 0;
  int RowsInserted = 0;
  int LongestLine = 0;    // the longest line that entered the store
  bool RowsOnly = false;  // the lines' texts are unchanged, only their rows were cut again
  TLinesNotice Notice = TLinesNotice::None;
  // The bytes as read of the lines removed whose text did not come back, by
  // their index before the change.
  TLinesAsRead AsReadRemoved;
};

// Where in the old text (flat offsets) a change of the store removed and
// inserted: a line ending before Start or beginning after End that comes back
// with its text keeps its bytes as read. By default anywhere.
struct TChangeSpan {
  std::int64_t Start = INT64_MAX;
  std::int64_t End = 0;
};

// What the line store reads from and tells its owning editor.
class TAdvLinesOwner {
 public:
  virtual ~TAdvLinesOwner() = default;
  virtual bool GetWordWrap() const = 0;
  virtual int GetWrapColumn() const = 0;
  // Spaces that replace one TAB entering the store.
  virtual int GetTabWidth() const = 0;
  // How the bytes are characters: rows are cut at columns.
  virtual TTextEncoding GetEncoding() const { return TTextEncoding::Windows1252; }
  virtual void LinesChanged(const TLinesChange& change) = 0;
};

// An index outside the list. The message text is empty.
class EStringListError : public std::exception {
 public:
  explicit EStringListError(int index) : Index(index) {}
  const char* what() const noexcept override { return ""; }
  int Index;
};

// A copy of one line's record, for inspection.
struct TParagraph {
  bool Dirty = false;
  int FirstRow = 0;
  int RowCount = 0;
  std::vector<std::string> Rows;
  TLineAttrs Attrs;
};

class TAdvLines {
 public:
  explicit TAdvLines(TAdvLinesOwner* editor = nullptr);
  ~TAdvLines();
  TAdvLines(const TAdvLines&) = delete;
  TAdvLines& operator=(const TAdvLines&) = delete;

  TAdvLinesOwner* Editor = nullptr;

  // ---- the string-list interface; indices are line indices from 0 ----
  std::string Get(int index) const;  // empty outside 0..Count-1
  int GetCount() const { return count_; }
  int Count() const { return count_; }
  int GetCapacity() const { return capacity_; }
  void SetCapacity(int capacity);
  void Put(int index, std::string_view text);
  void Insert(int index, std::string_view text);
  int Add(std::string_view text);
  void Delete(int index);
  void Clear();
  // The list's own update bracket: Changing when it opens, Changed when it closes.
  void BeginUpdate();
  void EndUpdate();
  void SetUpdateState(bool updating);
  // Whole-text assignment from outside (the owner clears its undo and resets its caret).
  void SetTextStr(std::string text);
  void SetTextStr(TTextBuffer text);
  // A file's bytes as ReadText read them, with the lines of a large one
  // found on the way. Bytes may be changed before SetTextStr takes them; the
  // lines found are used only for exactly the bytes they were found in.
  class LoadSplit;
  class TReadText {
   public:
    TReadText();
    TReadText(TReadText&&) noexcept;
    TReadText& operator=(TReadText&&) noexcept;
    ~TReadText();
    TTextBuffer Bytes;
    // Whether the lines were found while the file was read.
    bool LinesFound() const;

   private:
    friend class TAdvLines;
    std::unique_ptr<LoadSplit> split_;
  };
  // Reads a file as ReadFileBuffer does (with room to grow), splitting a
  // large one into this store's lines while each piece read is still in the
  // cache, on two cores. `opened` as for ReadFileBuffer.
  TReadText ReadText(const std::string& fileName, bool* ascii = nullptr, struct stat* opened = nullptr) const;
  void SetTextStr(TReadText text);
  // Every line followed by CR LF, the last one included.
  std::string GetTextStr() const;
  void LoadFromFile(const std::string& fileName);
  // `unchanged` as for WriteFileSafely.
  void SaveToFile(const std::string& fileName, const std::function<bool()>& unchanged = nullptr) const;

  // Fast read access: valid until the store next changes.
  std::string_view LineView(int index) const;
  int LineLength(int index) const;
  // Calls fn(line) for lines first .. last - 1 in order while it returns
  // true. It touches nothing of the store, so readers on several threads may
  // walk it at once while nobody changes it.
  template <typename Fn>
  void ForEachLineView(int first, int last, Fn&& fn) const {
    if (first >= last || first < 0 || last > count_) return;
    std::int64_t before = 0;
    std::size_t b = lineTree_.Find(first, before);
    std::size_t i = static_cast<std::size_t>(first - before);
    for (int n = last - first; n > 0 && b < blocks_.size(); ++b, i = 0)
      for (const auto& lines = blocks_[b].lines; i < lines.size() && n > 0; ++i, --n)
        if (!fn(View(lines[i]))) return;
  }

  // ---- rows ----
  int GetRowCount() const { return static_cast<int>(totalRows_); }
  std::string GetRow(int row) const;
  std::string_view RowView(int row) const;
  // (line, row in line) of a row; (-1, -1) when word wrap finds no such row.
  void RowToParagraph(int row, int& line, int& rowInLine) const;
  void GetRowInfo(int row, int& line, std::string& lineText, int& offset) const;
  void RowToLine(int column, int row, int& lineColumn, int& line) const;
  void LineToRow(int line, int lineColumn, int& row, int& rowColumn) const;
  std::int64_t LineStartOffset(int line) const;
  void PutRow(int row, std::string_view text);
  // Put and PutRow without the lines-changed notification.
  void PutQuiet(int index, std::string_view text);
  void PutRowQuiet(int row, std::string_view text);
  // Whole-text assignment by an editing operation: no undo clearing, caret reset or notification.
  void SetTextQuiet(std::string text);
  // The edit every change of the editor goes through: the same lines as
  // SetTextQuiet of the whole text with `deleteLength` characters at flat
  // `offset` replaced by `insert`, made by splicing only the lines touched.
  // Returns the characters removed.
  std::string ReplaceText(std::int64_t offset, std::int64_t deleteLength, std::string_view insert);
  // The line holding flat offset `offset` (Count when it lies beyond the
  // text) and, when asked, the offset of that line's start.
  int LineAtOffset(std::int64_t offset, std::int64_t* lineStart) const;
  // Length of the whole text with CR LF after every line.
  std::int64_t TextLength() const;
  // `length` characters of the whole text from flat `offset`.
  std::string TextRange(std::int64_t offset, std::int64_t length) const;
  void RewrapAll();
  // After the owner's encoding changed: the lines whose rows may now end
  // elsewhere (longer than the wrap column, with a byte above 0x7F) are cut
  // again, announced as rows changed without a notification.
  void RewrapForEncoding();
  // Whether the text last assigned as a whole from outside (SetTextStr,
  // LoadFromFile) held a byte above 0x7F; Clear forgets it.
  bool AssignedHighBytes() const { return assignedHighBytes_; }
  void Changing() {}
  // The lines-changed notification, unless a quiet operation is running.
  void Changed();

  // ---- per-line records ----
  TParagraph Paragraph(int line) const;
  bool Dirty(int line) const;
  void SetDirty(int line, bool dirty);
  void MarkAllDirty();
  int FirstRow(int line) const;
  int RowCount(int line) const;
  std::string_view RowOfLine(int line, int rowInLine) const;
  // The colour records of a line, created on demand. Only a bounded number of
  // lines keep their records; a line whose records were dropped is Dirty again.
  TLineAttrs& Attrs(int line);
  // What the line's colours were computed from besides its text (the
  // highlighter's state at the line's start); zero until set.
  TColourKey ColourKey(int line) const;
  void SetColourKey(int line, const TColourKey& key);

  // ---- the lines' bytes as read ----
  // Gives a line its bytes as read; they go with its text (see above).
  void SetAsRead(int line, TLineAsRead asRead);
  const TLineAsRead* AsRead(int line) const;
  // Lines carrying their bytes as read.
  std::int64_t AsReadLines() const { return asReadLines_; }
  // Forgets all bytes as read, or those of one line.
  void DropAsRead();
  void DropAsRead(int line);
  // Calls fn(text, bytes as read or null) for every line in order.
  template <typename Fn>
  void ForEachLineAsRead(Fn&& fn) const {
    for (const auto& b : blocks_)
      for (const auto& r : b.lines) {
        const Extra* e = ExtraOf(r);
        fn(View(r), e ? e->asRead.get() : nullptr);
      }
  }
  // Whether the last whole-text assignment replaced TABs.
  bool TabsExpanded() const { return tabsExpanded_; }

 private:
  static constexpr std::size_t kBlockTarget = 256;         // lines per block when blocks are built
  static constexpr std::size_t kBlockMax = 512;            // a block this full is split in two
  static constexpr std::size_t kMaxAttrLines = 16384;      // lines that keep their colour records
  static constexpr std::size_t kSmallRegion = 256;         // edited text this short is owned per line
  static constexpr std::size_t kParallelSplit = 8 << 20;   // text this long is split on two cores
  static constexpr std::size_t kAreaSplit = 4 << 20;       // text this long has its records in areas
  static constexpr std::int64_t kCompactSlack = 64 << 20;  // unused chunk bytes tolerated

  // A line as the blocks hold it: 8 bytes. A line whose bytes lie in the
  // main chunk (the text last assigned as a whole, or the one compaction
  // made) is its offset there; any other line (its bytes owned, or in a
  // chunk of its own, or with a side record) is the index of its far entry.
  struct Record {
    std::uint32_t at = 0;
    std::uint32_t length : 31 = 0;
    std::uint32_t far : 1 = 0;
  };
  static_assert(sizeof(Record) == 8);
  // A line in the main chunk, made in one store (the length shares its word with `far`).
  static Record MainRecord(std::uint32_t at, std::uint32_t length) {
    return std::bit_cast<Record>(std::uint64_t{at} | std::uint64_t{length & 0x7FFFFFFFu} << 32);
  }
  // Where a far line's bytes are, the rows it is cut into and its side record.
  struct Far {
    const char* data = nullptr;
    std::uint32_t extra = 0;               // 1-based index of the side record, 0 = none
    std::vector<std::uint32_t> rowStarts;  // start of rows 1.. of a wrapped line
  };
  // What a line has besides its bytes in a chunk and its rows: its own
  // bytes, its colours, its bytes as read.
  struct Extra {
    std::string text;  // the line's bytes when it owns them
    bool owned = false;
    bool raw = false;  // may hold TAB, CR or LF (stored unchanged by Put)
    TLineAttrs attrs;
    TColourKey colourKey{};
    std::uint32_t clean = 0;              // generation in which the colours were rebuilt
    std::uint64_t attrSerial = 0;         // its entry in the attribute queue, 0 = none
    std::unique_ptr<TLineAsRead> asRead;  // the line's bytes as read, while its text is the one read
    bool Unused() const { return !owned && attrs.empty() && !asRead; }
  };
  using RecordVector = std::vector<Record, TAreaAllocator<Record>>;
  struct Block {
    RecordVector lines;
    std::int64_t chars = 0;  // sum of (length + 2)
    std::int64_t rows = 0;   // sum of row counts
  };
  struct Location {
    std::size_t block;
    std::size_t index;
  };
  // Keeps the store quiet for a scope: changes send no lines-changed notification.
  class QuietScope {
   public:
    explicit QuietScope(TAdvLines& lines) : lines_(lines) { ++lines_.quiet_; }
    ~QuietScope() { --lines_.quiet_; }
    QuietScope(const QuietScope&) = delete;
    QuietScope& operator=(const QuietScope&) = delete;

   private:
    TAdvLines& lines_;
  };

  Location Locate(int line) const;
  const Record& Rec(int line) const;
  Record& Rec(int line);
  Extra* ExtraOf(const Record& r) const {
    if (!r.far) return nullptr;
    const std::uint32_t x = far_[r.at].extra;
    return x ? extras_[x - 1].get() : nullptr;
  }
  std::uint32_t ExtraIndex(const Record& r) const { return r.far ? far_[r.at].extra : 0; }
  const char* DataOf(const Record& r) const { return r.far ? far_[r.at].data : base_ + r.at; }
  bool InMain(const char* data) const {
    const auto at = reinterpret_cast<std::uintptr_t>(data), base = reinterpret_cast<std::uintptr_t>(base_);
    return at >= base && at - base <= static_cast<std::uintptr_t>(mainSize_);
  }
  // Gives a record its bytes: an offset in the main chunk where it can be one.
  void SetData(Record& r, const char* data);
  void MakeFar(Record& r);
  void ReleaseFar(Record& r);
  Extra& EnsureExtra(Record& r);
  void ReleaseExtra(Record& r);
  void ReleaseIfUnused(Record& r);
  void SetRecordText(Record& r, std::string_view text);
  void Rewrap(Record& r);
  void DropAttrs(Record& r);
  std::string_view View(const Record& r) const { return {DataOf(r), r.length}; }
  int RowsOf(const Record& r) const { return r.far ? static_cast<int>(far_[r.at].rowStarts.size()) + 1 : 1; }
  const std::vector<std::uint32_t>& RowStarts(const Record& r) const { return far_[r.at].rowStarts; }
  bool RawOf(const Record& r) const {
    const Extra* e = ExtraOf(r);
    return e && e->raw;
  }
  std::string_view RowText(const Record& r, int k) const;

  // The one change of the records: replaces `deleteCount` lines from `first`
  // by the records of `fresh` (already wrapped) and announces it.
  void SpliceRecords(int first, int deleteCount, std::vector<Block>&& fresh, TLinesNotice notice,
                     TChangeSpan span = {});
  // The bytes as read of the lines a splice removes: kept by the lines it
  // brings back unchanged at its start and end, the others into `removed`.
  void CarryAsRead(int first, int deleteCount, std::vector<Block>& fresh, TLinesAsRead& removed, TChangeSpan span);
  // The same for a rebuild of the whole text from `text`: kept by the lines
  // within the bytes both texts begin and end with, each with its index in
  // the new text, counted from its end (-1 the last line) when negative.
  using TKeptAsRead = std::vector<std::pair<int, std::unique_ptr<TLineAsRead>>>;
  void CarryAsReadWhole(std::string_view text, TChangeSpan span, TKeptAsRead& kept, TLinesAsRead& removed);
  bool SpliceInBlock(int first, int deleteCount, std::int64_t removedChars, std::int64_t removedRows,
                     std::vector<Block>& fresh);
  void SpliceBlocks(int first, int deleteCount, std::vector<Block>&& fresh);
  void SumBlock(Block& b) const;
  // The trees after the blocks from `from` on changed.
  void RebuildTrees(std::size_t from = 0);
  void UpdateTrees(std::size_t block, std::int64_t dLines, std::int64_t dChars, std::int64_t dRows);
  void InvalidateCursor() const { cursorBlock_ = SIZE_MAX; }
  void Announce(TLinesChange change);
  TLinesNotice Notice() const { return quiet_ > 0 ? TLinesNotice::None : TLinesNotice::Changed; }

  // What a split of borrowed text found besides its lines.
  struct SplitFinds {
    bool stopAtTab = false;
    std::atomic<bool> tab{false};   // a TAB, where the split stops at one: it stopped, with no records
    std::atomic<bool> high{false};  // a byte above 0x7F
  };
  // The split of borrowed text into records that are offsets from `base`,
  // a piece at a time: bytes [from, to) fed in order, then the end, give the
  // lines of one pass over them. A line begins where the first piece does.
  struct Splitter {
    Splitter() = default;
    Splitter(const char* base, std::shared_ptr<TRecordArea> area, SplitFinds* finds, std::uint32_t wrapAt)
        : base(base), area(std::move(area)), finds(finds), wrapAt(wrapAt) {}
    void Feed(std::size_t from, std::size_t to);
    void Finish(std::size_t end);
    void StartAt(std::size_t at, bool afterCr) {
      begin = start = at;
      afterCR = afterCr;
    }

    const char* base = nullptr;
    std::shared_ptr<TRecordArea> area;
    SplitFinds* finds = nullptr;
    std::uint32_t wrapAt = UINT32_MAX;  // lines longer than this may need rows
    std::size_t end = 0;                // where the text ends, for the records still to come
    std::vector<Block> out;
    // The lines cut into rows (by their index among the lines of `out`),
    // with the starts of their rows 1.. in rowStarts from firstStart up to
    // the next one's.
    struct LongLine {
      std::uint32_t line;
      std::uint32_t firstStart;
    };
    std::vector<LongLine> longLines;
    std::vector<std::uint32_t> rowStarts;
    // The blocks (their index in `out`) with a line longer than wrapAt and a
    // byte above 0x7F: the store cuts such a line once it knows the encoding.
    std::vector<std::uint32_t> blocksToCut;
    std::uint32_t lineCount = 0;
    std::size_t longest = 0;
    bool high = false;  // a byte above 0x7F among those fed, TAB or not

   private:
    void Emit(std::size_t from, std::size_t to);
    void CutLong(std::size_t from, std::size_t length);
    void Flush();
    std::size_t begin = 0;  // where the first line began
    std::size_t start = 0;  // where the line being read began
    bool afterCR = false;   // the last byte fed was a CR
    bool stopped = false;   // at a TAB: no more records
    // The records of the block being filled, kept here (in the cache) until it is full.
    std::uint32_t pending = 0;
    std::int64_t pendingChars = 0, pendingRows = 0;
    bool pendingToCut = false;
    Record block[kBlockTarget];
  };
  // The wrap column that lines are cut at, or UINT32_MAX without word wrap.
  std::uint32_t WrapAt() const;
  // Splits text by the whole-text rules into wrapped records that borrow
  // their bytes from `text`, or own a copy of them.
  std::vector<Block> SplitIntoBlocks(std::string_view text, bool owned, SplitFinds* finds = nullptr);
  // The blocks of splitters that fed one text in order, as one list of
  // wrapped records; empty when the split stopped at a TAB.
  std::vector<Block> JoinSplit(Splitter* parts, int count, SplitFinds& finds);
  // The lines `split` found while it read `text`, if it read these bytes for
  // the store as it is cut now; else false.
  bool TakeLoadSplit(LoadSplit* split, std::string_view text, std::vector<Block>& out, SplitFinds& finds);
  // One line stored as given (Put, Insert): a block of one record.
  std::vector<Block> OneLine(std::string_view text);
  // Room for `size` bytes after the main chunk's, or null; then those bytes
  // taken into it.
  char* MainRoom(std::size_t size);
  std::string_view TakeMainRoom(std::size_t size);
  void GiveBackLastRegion();
  std::string_view AddChunk(std::string&& bytes);
  std::string_view AddChunk(TTextBuffer&& bytes);
  void MaybeCompact();
  void AssignWholeText(TTextBuffer&& text, TLinesNotice notice, bool keepAsRead, TChangeSpan span = {},
                       LoadSplit* split = nullptr);
  void PutLine(int index, std::string_view text, TLinesNotice notice);
  void CheckIndex(int index) const;
  int GrowCapacity(int capacity) const;
  void FitCapacity();
  std::string ExpandTabs(std::string_view text) const;
  std::uint32_t Wrap(std::string_view text, std::vector<std::uint32_t>* starts) const;
  // The rows of a line cut at `w` columns: their count, and the starts of
  // rows 1.. appended to `starts`.
  static std::uint32_t WrapBytes(std::string_view text, std::size_t w, bool utf8, std::vector<std::uint32_t>* starts);
  bool Wrapping() const;
  bool RecordsEqualWholeRebuild() const { return rawLines_ == 0; }

  std::vector<Block> blocks_;
  TFenwick lineTree_, charTree_, rowTree_;
  std::vector<std::unique_ptr<Extra>> extras_;
  TPagedTable<Far> far_;  // grown by pastes into large documents: never moved
  std::vector<std::uint32_t> freeFar_;
  const char* base_ = "";  // the main chunk
  std::ptrdiff_t mainSize_ = 0;
  TTextBuffer* mainChunk_ = nullptr;  // the chunk base_ points into, one of chunks_
  // The region last taken from the main chunk's room (offsets from base_)
  // and the lines that use its bytes: once none does (a paste undone), its
  // bytes go back to the room, and the next paste writes the same pages.
  struct RoomRegion {
    std::ptrdiff_t from = 0, to = 0;
    std::int64_t lines = 0;
  } lastRegion_;
  bool InLastRegion(const char* data) const {
    return data >= base_ + lastRegion_.from && data < base_ + lastRegion_.to;
  }
  std::vector<std::uint32_t> freeExtras_;
  std::vector<std::unique_ptr<TTextBuffer>> chunks_;
  std::int64_t chunkBytes_ = 0;     // bytes held in chunks
  std::int64_t borrowedBytes_ = 0;  // bytes of chunks that lines still use
  std::int64_t rawLines_ = 0;
  std::int64_t asReadLines_ = 0;
  bool tabsExpanded_ = false;
  bool assignedHighBytes_ = false;
  int count_ = 0;
  int capacity_ = 0;
  std::int64_t totalRows_ = 0;
  std::uint32_t generation_ = 1;
  int listUpdateCount_ = 0;
  int quiet_ = 0;
  int longestEntered_ = 0;  // the longest line split or stored since the last announcement
  // Attribute holders in the order they were created, for bounding their number.
  std::vector<std::pair<std::uint32_t, std::uint64_t>> attrQueue_;
  std::size_t attrQueueHead_ = 0;
  std::size_t attrHolders_ = 0;
  std::size_t idleExtras_ = 0;  // side records emptied by dropping colours
  std::uint64_t nextSerial_ = 1;
  // Last block located, for sequential access.
  mutable std::size_t cursorBlock_ = SIZE_MAX;
  mutable int cursorFirstLine_ = 0;
};
