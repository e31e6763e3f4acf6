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
// record. The side record also holds the row breaks of a wrapped line and the
// colour records of a painted line; plain lines have none.
//
// "Mark every line Dirty" is a generation counter: a line is clean only when
// it was cleaned in the current generation and still has its colours.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/AEAtoms.h"
#include "editor/FileIO.h"

// What the line store reads from and calls on its owning editor.
class TAdvLinesOwner {
 public:
  virtual ~TAdvLinesOwner() = default;
  virtual bool GetWordWrap() const = 0;
  virtual int GetWrapColumn() const = 0;
  // The owner's update counter: while above zero no lines-changed notification is sent.
  virtual int& UpdateCounter() = 0;
  virtual int GetColumnCapacity() const = 0;
  // A text of `length` characters entered the store.
  virtual void GrowColumnCapacity(int length) = 0;
  // The text with every TAB replaced by the owner's tab width in spaces.
  virtual std::string ExpandTabs(std::string_view text) const = 0;
  virtual void LinesChanged() = 0;
  virtual void ClearUndo() = 0;
  // After an outside assignment of the whole text: caret to (-1, -1), then to (0, 0).
  virtual void ResetCaret() = 0;
  virtual platform::Point GetCaret() const = 0;
  // Records the line breaks or blanks that PadToCaret added at row position (x, y).
  virtual void RecordReLine(int x, int y, const std::string& text) = 0;
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
  // Whole-text assignment from outside (clears the owner's undo and resets its caret).
  void SetTextStr(std::string text);
  void SetTextStr(TTextBuffer text);
  // Every line followed by CR LF, the last one included.
  std::string GetTextStr() const;
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  // Fast read access: valid until the store next changes.
  std::string_view LineView(int index) const;
  int LineLength(int index) const;

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
  void PutQuiet(int index, std::string_view text);
  void PutRowQuiet(int row, std::string_view text);
  // Whole-text assignment by an editing operation: no undo clearing, caret reset or notification.
  void SetTextQuiet(std::string text);
  // The same lines as SetTextQuiet of the whole text with `deleteLength`
  // characters at flat `offset` replaced by `insert`, without rebuilding the
  // untouched lines.
  void ReplaceText(std::int64_t offset, std::int64_t deleteLength, std::string_view insert);
  // The line holding flat offset `offset` (Count when it lies beyond the
  // text) and, when asked, the offset of that line's start.
  int LineAtOffset(std::int64_t offset, std::int64_t* lineStart) const;
  // Length of the whole text with CR LF after every line.
  std::int64_t TextLength() const;
  // `length` characters of the whole text from flat `offset`.
  std::string TextRange(std::int64_t offset, std::int64_t length) const;
  void RewrapAll();
  void PadToCaret();
  void Changing() {}
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

 private:
  struct Record {
    const char* data = nullptr;
    std::uint32_t length = 0;
    std::uint32_t clean = 0;  // generation in which the colours were rebuilt
    std::uint32_t extra = 0;  // 1-based index of the side record, 0 = none
    std::uint32_t rows : 31 = 1;
    std::uint32_t raw : 1 = 0;  // may hold TAB, CR or LF (stored unchanged by Put)
  };
  struct Extra;
  struct Block {
    std::vector<Record> lines;
    std::int64_t chars = 0;  // sum of (length + 2)
    std::int64_t rows = 0;   // sum of row counts
    void Sum();
  };
  struct Location {
    std::size_t block;
    std::size_t index;
  };
  class Fenwick;

  Location Locate(int line) const;
  const Record& Rec(int line) const;
  Record& Rec(int line);
  Extra* ExtraOf(const Record& r) const;
  Extra& EnsureExtra(Record& r);
  void ReleaseExtra(Record& r);
  void ReleaseIfUnused(Record& r);
  void SetRecordText(Record& r, std::string_view text);
  void Rewrap(Record& r);
  void DropAttrs(Record& r);
  std::string_view View(const Record& r) const { return {r.data, r.length}; }
  std::string_view RowText(const Record& r, int k) const;

  // Replaces `deleteCount` lines from `first` by the records of `fresh` (already wrapped).
  void SpliceRecords(int first, int deleteCount, std::vector<Block>&& fresh);
  void InsertRecord(int index, Record r);
  void RebuildTrees();
  void UpdateTrees(std::size_t block, std::int64_t dLines, std::int64_t dChars, std::int64_t dRows);
  void InvalidateCursor() const { cursorBlock_ = SIZE_MAX; }

  // Splits text by the whole-text rules into wrapped records that borrow
  // their bytes from `text`, or own a copy of them.
  std::vector<Block> SplitIntoBlocks(std::string_view text, bool owned);
  std::string_view AddChunk(std::string&& bytes);
  std::string_view AddChunk(TTextBuffer&& bytes);
  void MaybeCompact();
  void AssignWholeText(TTextBuffer&& text);
  void InsertOneLine(int index, std::string_view text);
  void CheckIndex(int index) const;
  int GrowCapacity(int capacity) const;
  void GrowColumnCapacityFor(std::size_t length);
  std::uint32_t Wrap(std::string_view text, std::vector<std::uint32_t>* starts) const;
  bool Wrapping() const;
  bool RecordsEqualWholeRebuild() const { return rawLines_ == 0; }

  std::vector<Block> blocks_;
  std::unique_ptr<Fenwick> lineTree_, charTree_, rowTree_;
  std::vector<std::unique_ptr<Extra>> extras_;
  std::vector<std::uint32_t> freeExtras_;
  std::vector<std::unique_ptr<TTextBuffer>> chunks_;
  std::int64_t chunkBytes_ = 0;     // bytes held in chunks
  std::int64_t borrowedBytes_ = 0;  // bytes of chunks that lines still use
  std::int64_t rawLines_ = 0;
  int count_ = 0;
  int capacity_ = 0;
  std::int64_t totalRows_ = 0;
  std::uint32_t generation_ = 1;
  int listUpdateCount_ = 0;
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
