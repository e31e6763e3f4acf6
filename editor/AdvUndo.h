#pragma once

// The undo history of one editor: a list of records, each the data needed to
// take back one change, caret move or selection change. One Undo takes back
// a whole step: a run of records of the same kind, or a group.
//
// The records are plain values, one struct per kind; the history applies
// them through TUndoTarget, what it needs of its editor. Beside a record of
// a text change the history keeps the bytes as read of the lines the change
// took away (by the index each line had before it), if any, and gives them
// back to those lines when it takes the change back. A record costs nothing
// more for that.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "editor/LineFormat.h"
#include "editor/TextEncoding.h"
#include "platform/Geometry.h"

// The selection as it was, saved by selection records.
struct TSelectionState {
  std::uint8_t SelMode = 0;
  int SelStartX = 0, SelStartY = 0, SelEndX = 0, SelEndY = 0;
};

// X, Y of a caret record is the caret before the move; of every other record
// the position it is about (the insertion or deletion point, the caret before
// a selection change or selection deletion).
struct TCaretUndo {
  int X = 0, Y = 0;
};
// Text inserted at flat Offset (taken when the record was made).
struct TInsertUndo : TCaretUndo {
  std::string Text;
  std::int64_t Offset = 0;
};
// Line breaks and blanks added to reach the caret.
struct TReLineUndo : TInsertUndo {};
// Blanks inserted by Tab.
struct TInsertTabUndo : TInsertUndo {};
// Text deleted by Delete (or replaced: the text that was there), at Offset.
struct TDeleteUndo : TInsertUndo {};
// Text deleted by Backspace.
struct TBackspaceUndo : TDeleteUndo {};
// The selection deleted: Offset is the offset of its start (SelOffset).
struct TDeleteSelectedUndo : TDeleteUndo {
  TSelectionState Sel;
};
// Text typed over other text at Offset.
struct TOverwriteUndo : TCaretUndo {
  std::string OldText, NewText;
  std::int64_t Offset = 0;
};
// A word replaced by a completion: 1-based flat positions of the old word.
struct TReplaceUndo : TCaretUndo {
  std::int64_t Position = 0, EndPosition = 0;
  std::string OldText, NewText;
};
// A selection change: the selection before it.
struct TSelectUndo : TCaretUndo {
  TSelectionState Sel;
};
struct TUnselectUndo : TSelectUndo {};
struct TBeginCompoundUndo {};
struct TEndCompoundUndo : TBeginCompoundUndo {};
// Block indent: lines FirstLine..LastLine got Count blanks.
struct TIndentUndo {
  int FirstLine = 0, LastLine = 0, Count = 0;
};
// Block unindent: line Line lost Count blanks.
struct TUnindentUndo {
  int Line = 0, Count = 0;
};
// The document's encoding changed from Old to New (its text is changed by
// the records around it).
struct TEncodingUndo {
  TTextEncoding Old = TTextEncoding::Windows1252, New = TTextEncoding::Windows1252;
};

// Where the caret and the selection stood: what a redo puts back.
struct TCaretState {
  int CaretX = 0, CaretY = 0;
  bool SelAvail = false;
  TSelectionState Sel;
  int AnchorX = 0, AnchorY = 0;
};

// One write of the text an undo made: at flat Offset, Removed gave way to
// InsertedLength characters. Redo writes Removed back. An undo of a change
// of encoding is noted with no text: Redo sets Encoding again.
struct TTextSplice {
  std::int64_t Offset = 0;
  std::string Removed;
  std::int64_t InsertedLength = 0;
  std::optional<TTextEncoding> Encoding;
};

// What one undo took back, for its redo: the history's Position and the
// caret before the undo, and the undo's writes in the order made.
struct TRedoStep {
  int Position = -1;
  TCaretState Caret;
  std::vector<TTextSplice> Splices;
};

// One record of the history; its kind is the alternative it holds.
using TUndoRecord = std::variant<TCaretUndo, TInsertUndo, TReLineUndo, TInsertTabUndo, TDeleteUndo, TBackspaceUndo,
                                 TDeleteSelectedUndo, TOverwriteUndo, TReplaceUndo, TSelectUndo, TUnselectUndo,
                                 TBeginCompoundUndo, TEndCompoundUndo, TIndentUndo, TUnindentUndo, TEncodingUndo>;

// The kind of a record (in the order of TUndoRecord's alternatives); runs and steps compare it.
enum class TUndoKind : std::uint8_t {
  Caret,
  Insert,
  ReLine,
  InsertTab,
  Delete,
  Backspace,
  DeleteSelected,
  Overwrite,
  Replace,
  Select,
  Unselect,
  BeginCompound,
  EndCompound,
  Indent,
  Unindent,
  Encoding,
};
static_assert(std::variant_size_v<TUndoRecord> == static_cast<std::size_t>(TUndoKind::Encoding) + 1);

inline TUndoKind KindOf(const TUndoRecord& r) { return static_cast<TUndoKind>(r.index()); }

// Whether records of the kind take back a change of the text.
inline bool ChangesText(TUndoKind k) {
  switch (k) {
    case TUndoKind::Caret:
    case TUndoKind::Select:
    case TUndoKind::Unselect:
    case TUndoKind::BeginCompound:
    case TUndoKind::EndCompound:
      return false;
    default:
      return true;
  }
}

// What the history needs of its editor to take records back.
class TUndoTarget {
 public:
  virtual ~TUndoTarget() = default;
  // Undo takes whole runs of same-kind records (else one record a step).
  virtual bool GroupUndo() const = 0;
  // The history changed (OnStatusChange).
  virtual void HistoryChanged() = 0;
  // Replaces `length` characters at flat `offset` by `text`: the characters removed.
  virtual std::string Splice(std::int64_t offset, std::int64_t length, std::string_view text) = 0;
  // Gives lines back their bytes as read (after the change that took them was taken back).
  virtual void RestoreAsRead(const TLinesAsRead& lines) = 0;
  virtual platform::Point OffsetToPos(std::int64_t offset) const = 0;
  virtual void MoveCaret(int x, int y) = 0;
  // Restores a selection with the end that anchors further extension.
  virtual void RestoreSelection(const TSelectionState& s, int anchorX, int anchorY) = 0;
  virtual void SetSelAvail(bool on) = 0;
  // The rows of the restored selection are painted again when the step is told.
  virtual void RepaintSelection() = 0;
  virtual int LineCount() const = 0;
  virtual std::int64_t LineStartOffset(int line) const = 0;
  virtual int LineLength(int line) const = 0;
  // The line store's own update bracket around a change of many lines.
  virtual void BeginLinesUpdate() = 0;
  virtual void EndLinesUpdate() = 0;
  virtual TCaretState CaretState() const = 0;
  virtual void RestoreCaretState(const TCaretState& state) = 0;
  virtual void SetEncoding(TTextEncoding encoding) = 0;
};

class TUndoBuffer {
 public:
  explicit TUndoBuffer(TUndoTarget* editor = nullptr) : Editor(editor) {}

  TUndoTarget* Editor;
  int Position = -1;  // the next record to undo; -1 = none
  bool Undoing = false;

  // Takes the record into the history (or drops it while undoing), with the
  // bytes as read its change of the text took away.
  void AddRecord(TUndoRecord record, TLinesAsRead asRead = {});
  const TUndoRecord* CurrentRecord() const;
  bool SameKindAsCurrent(TUndoKind kind) const;
  void RemoveLast();
  void Undo();
  // Takes back the last Undo: its writes in reverse, the caret and selection
  // it started from, Position where it was. Nothing without one to take back.
  void Redo();
  // Undos that Redo can take back; a new record or Clear drops them.
  int RedoCount() const { return static_cast<int>(redo_.size()); }
  void Clear();

  int Count() const { return static_cast<int>(items_.size()); }
  const TUndoRecord& Item(int index) const { return items_[static_cast<std::size_t>(index)]; }
  // The bytes as read the change of record `index` took away; null when none.
  const TLinesAsRead* AsReadOf(int index) const;

 private:
  // The run of records of the current record's kind ending at Position:
  // moves Position to its earliest record and returns that index.
  int CollectRun();
  // Takes back the current record, or the run it ends.
  void UndoCurrent();
  TUndoKind KindAt(int index) const { return KindOf(items_[static_cast<std::size_t>(index)]); }
  // Every write an undo makes goes through here, noted for its redo.
  void Write(std::int64_t offset, std::int64_t length, std::string_view text);

  // Drops what is kept beside records from `index` on.
  void DropAsReadFrom(int index);

  std::vector<TUndoRecord> items_;
  std::vector<TRedoStep> redo_;
  TRedoStep* undoing_ = nullptr;                      // the step the running Undo notes its writes in
  std::vector<std::pair<int, TLinesAsRead>> asRead_;  // by record index, ascending
};
