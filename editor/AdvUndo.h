#pragma once

// The undo history of one editor: a list of records, each the data needed to
// take back one change, caret move or selection change. One Undo takes back
// a whole step: a run of records of the same kind, or a group.

#include <cstdint>
#include <string>
#include <vector>

class TAdvancedEditor;

// The kind of a record; runs and steps compare it.
enum class TUndoKind : std::uint8_t {
  Caret,           // a caret move
  Insert,          // text typed or inserted
  ReLine,          // line breaks and blanks added to reach the caret
  InsertTab,       // blanks inserted by Tab
  Delete,          // text deleted by Delete (or replaced: the text that was there)
  Backspace,       // text deleted by Backspace
  DeleteSelected,  // the selection deleted
  Overwrite,       // text typed over other text
  Replace,         // a word replaced by a completion
  Select,          // a selection change
  Unselect,        // a selection removed
  BeginCompound,   // the start of a group
  EndCompound,     // the end of a group
  Indent,          // block indent of lines
  Unindent,        // blanks removed from one line by block unindent
};

// The selection as it was, saved by selection records.
struct TSelectionState {
  std::uint8_t SelMode = 0;
  int SelStartX = 0, SelStartY = 0, SelEndX = 0, SelEndY = 0;
};

struct TUndoRecord {
  TUndoKind Kind = TUndoKind::Caret;
  // The caret before a move; of a change, the position it is about (the
  // insertion or deletion point, the caret before a selection change).
  int X = 0, Y = 0;
  // Flat offset of the change (of DeleteSelected: of the selection's start),
  // taken when the record was made.
  std::int64_t Offset = 0;
  // The text inserted or deleted; of Overwrite and Replace, the text replaced.
  std::string Text;
  // Of Overwrite and Replace: the text that took its place.
  std::string NewText;
  // Select, Unselect, DeleteSelected: the selection before the change.
  TSelectionState Sel;
  // Indent: lines FirstLine..LastLine got Count blanks; Unindent: line
  // FirstLine lost Count blanks.
  int FirstLine = 0, LastLine = 0, Count = 0;
};

class TUndoBuffer {
 public:
  explicit TUndoBuffer(TAdvancedEditor* editor = nullptr) : Editor(editor) {}

  TAdvancedEditor* Editor;
  int Position = -1;  // the next record to undo; -1 = none
  bool Undoing = false;

  // Takes the record into the history (or drops it while undoing).
  void AddRecord(TUndoRecord record);
  const TUndoRecord* CurrentRecord() const;
  bool SameKindAsCurrent(TUndoKind kind) const;
  void RemoveLast();
  void Undo();
  [[noreturn]] void Redo();
  void Clear();

  int Count() const { return static_cast<int>(items_.size()); }
  const TUndoRecord& Item(int index) const { return items_[static_cast<std::size_t>(index)]; }

 private:
  // The run of records of the current record's kind ending at Position:
  // moves Position to its earliest record and returns that index.
  int CollectRun();
  // Takes back the current record, or the run it ends.
  void UndoCurrent();

  std::vector<TUndoRecord> items_;
};
