#pragma once

// The undo history of one editor: a list of small records, each able to take
// back one change, caret move or selection change. One Undo takes back a
// whole step: a run of records of the same class, or a group.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TAdvancedEditor;

// The exact class of a record; runs and steps compare it, not the hierarchy.
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
};

class TUndo {
 public:
  explicit TUndo(TAdvancedEditor& editor) : Editor(editor) {}
  virtual ~TUndo() = default;
  virtual TUndoKind Kind() const = 0;
  virtual void Undo() = 0;
  virtual void Redo();

  TAdvancedEditor& Editor;
};

class TCaretUndo : public TUndo {
 public:
  TCaretUndo(TAdvancedEditor& editor, int x, int y) : TUndo(editor), X(x), Y(y) {}
  TUndoKind Kind() const override { return TUndoKind::Caret; }
  void Undo() override;
  int X, Y;
};

class TInsertUndo : public TCaretUndo {
 public:
  // Offset is the flat offset of (x, y), computed now.
  TInsertUndo(TAdvancedEditor& editor, int x, int y, std::string text);
  TUndoKind Kind() const override { return TUndoKind::Insert; }
  void Undo() override;
  std::string Text;
  std::int64_t Offset;
};

class TReLineUndo : public TInsertUndo {
 public:
  using TInsertUndo::TInsertUndo;
  TUndoKind Kind() const override { return TUndoKind::ReLine; }
};

class TInsertTabUndo : public TInsertUndo {
 public:
  using TInsertUndo::TInsertUndo;
  TUndoKind Kind() const override { return TUndoKind::InsertTab; }
};

class TDeleteUndo : public TInsertUndo {
 public:
  using TInsertUndo::TInsertUndo;
  TUndoKind Kind() const override { return TUndoKind::Delete; }
  void Undo() override;
};

class TBackspaceUndo : public TDeleteUndo {
 public:
  using TDeleteUndo::TDeleteUndo;
  TUndoKind Kind() const override { return TUndoKind::Backspace; }
  void Undo() override;
};

// The selection as it was, saved by selection records.
struct TSelectionState {
  std::uint8_t SelMode = 0;
  int SelStartX = 0, SelStartY = 0, SelEndX = 0, SelEndY = 0;
};

class TDeleteSelectedUndo : public TDeleteUndo {
 public:
  TDeleteSelectedUndo(TAdvancedEditor& editor, int caretX, int caretY, std::string text,
                      const TSelectionState& selection, std::int64_t selOffset);
  TUndoKind Kind() const override { return TUndoKind::DeleteSelected; }
  void Undo() override;
  TSelectionState Sel;
  std::int64_t SelOffset;
};

class TOverwriteUndo : public TCaretUndo {
 public:
  TOverwriteUndo(TAdvancedEditor& editor, int x, int y, std::string oldText, std::string newText);
  TUndoKind Kind() const override { return TUndoKind::Overwrite; }
  void Undo() override;
  std::string OldText, NewText;
  std::int64_t Offset;
};

class TReplaceUndo : public TCaretUndo {
 public:
  TReplaceUndo(TAdvancedEditor& editor, int x, int y, int position, int endPosition, std::string oldText,
               std::string newText)
      : TCaretUndo(editor, x, y),
        Position(position),
        EndPosition(endPosition),
        OldText(std::move(oldText)),
        NewText(std::move(newText)) {}
  TUndoKind Kind() const override { return TUndoKind::Replace; }
  void Undo() override;
  int Position, EndPosition;  // 1-based flat positions
  std::string OldText, NewText;
};

class TSelectUndo : public TCaretUndo {
 public:
  TSelectUndo(TAdvancedEditor& editor, int x, int y, const TSelectionState& selection)
      : TCaretUndo(editor, x, y), Sel(selection) {}
  TUndoKind Kind() const override { return TUndoKind::Select; }
  void Undo() override;
  TSelectionState Sel;
};

class TUnselectUndo : public TSelectUndo {
 public:
  using TSelectUndo::TSelectUndo;
  TUndoKind Kind() const override { return TUndoKind::Unselect; }
};

class TBeginCompoundUndo : public TUndo {
 public:
  using TUndo::TUndo;
  TUndoKind Kind() const override { return TUndoKind::BeginCompound; }
  void Undo() override {}
};

class TEndCompoundUndo : public TBeginCompoundUndo {
 public:
  using TBeginCompoundUndo::TBeginCompoundUndo;
  TUndoKind Kind() const override { return TUndoKind::EndCompound; }
};

class TIndentUndo : public TUndo {
 public:
  TIndentUndo(TAdvancedEditor& editor, int firstLine, int lastLine, int count)
      : TUndo(editor), FirstLine(firstLine), LastLine(lastLine), Count(count) {}
  TUndoKind Kind() const override { return TUndoKind::Indent; }
  void Undo() override;
  int FirstLine, LastLine, Count;
};

class TUnindentUndo : public TUndo {
 public:
  TUnindentUndo(TAdvancedEditor& editor, int line, int count) : TUndo(editor), Line(line), Count(count) {}
  TUndoKind Kind() const override { return TUndoKind::Unindent; }
  void Undo() override;
  int Line, Count;
};

class TUndoBuffer {
 public:
  explicit TUndoBuffer(TAdvancedEditor* editor = nullptr) : Editor(editor) {}

  TAdvancedEditor* Editor;
  int Position = -1;  // the next record to undo; -1 = none
  bool Undoing = false;

  // Takes the record into the history (or frees it while undoing).
  void AddRecord(std::unique_ptr<TUndo> record);
  TUndo* CurrentRecord() const;
  bool SameKindAsCurrent(const TUndo& record) const;
  void RemoveLast();
  void Undo();
  [[noreturn]] void Redo();
  void Clear();

  int Count() const { return static_cast<int>(items_.size()); }
  TUndo& Item(int index) const { return *items_[static_cast<std::size_t>(index)]; }

  // The run of records of the current record's class ending at Position:
  // moves Position to its earliest record and returns that index.
  int CollectRun();

 private:
  std::vector<std::unique_ptr<TUndo>> items_;
};
