#include "editor/AdvUndo.h"

#include <algorithm>

#include "editor/AdvEdit.h"

namespace {

// Flat offset of a row position: the line's start plus the column in the line.
std::int64_t FlatOffset(TAdvancedEditor& e, int x, int y) {
  if (!e.RowExists(y)) return e.PosToOffset(x, y);
  int column = 0, line = 0;
  e.Lines->RowToLine(x, y, column, line);
  return e.Lines->LineStartOffset(line) + column;
}

template <typename Record>
Record& At(TUndoBuffer& buffer, int index) {
  return static_cast<Record&>(buffer.Item(index));
}

// The run that ends at the current record: [earliest, latest].
struct Run {
  int earliest;
  int latest;
};

Run TakeRun(TAdvancedEditor& e) {
  int latest = e.UndoBuffer->Position;
  return {e.UndoBuffer->CollectRun(), latest};
}

}  // namespace

void TUndo::Redo() { throw EAdvEditError("Redo not yet implemented"); }

TInsertUndo::TInsertUndo(TAdvancedEditor& editor, int x, int y, std::string text)
    : TCaretUndo(editor, x, y), Text(std::move(text)), Offset(FlatOffset(editor, x, y)) {}

TDeleteSelectedUndo::TDeleteSelectedUndo(TAdvancedEditor& editor, int caretX, int caretY, std::string text,
                                         const TSelectionState& selection, std::int64_t selOffset)
    : TDeleteUndo(editor, caretX, caretY, std::move(text)), Sel(selection), SelOffset(selOffset) {}

TOverwriteUndo::TOverwriteUndo(TAdvancedEditor& editor, int x, int y, std::string oldText, std::string newText)
    : TCaretUndo(editor, x, y),
      OldText(std::move(oldText)),
      NewText(std::move(newText)),
      Offset(FlatOffset(editor, x, y)) {}

// ---------------------------------------------------------------- Undo per class

void TCaretUndo::Undo() {
  Run run = TakeRun(Editor);
  auto& first = At<TCaretUndo>(*Editor.UndoBuffer, run.earliest);
  Editor.MoveCaret(first.X, first.Y);
}

void TInsertUndo::Undo() {
  Run run = TakeRun(Editor);
  std::int64_t length = 0;
  for (int i = run.earliest; i <= run.latest; ++i)
    length += static_cast<std::int64_t>(At<TInsertUndo>(*Editor.UndoBuffer, i).Text.size());
  auto& first = At<TInsertUndo>(*Editor.UndoBuffer, run.earliest);
  Editor.Lines->ReplaceText(first.Offset, length, "");
  Editor.MoveCaret(first.X, first.Y);
}

void TDeleteUndo::Undo() {
  Run run = TakeRun(Editor);
  std::string text;
  for (int i = run.earliest; i <= run.latest; ++i) text += At<TDeleteUndo>(*Editor.UndoBuffer, i).Text;
  // The offset taken when the record was made: the deletion may have
  // re-wrapped the line, so X, Y no longer name the same place.
  const std::int64_t point = At<TDeleteUndo>(*Editor.UndoBuffer, run.latest).Offset;
  Editor.Lines->ReplaceText(point, 0, text);
  platform::Point p = Editor.OffsetToPos(point);
  Editor.MoveCaret(p.x, p.y);
}

void TBackspaceUndo::Undo() {
  Run run = TakeRun(Editor);
  std::string text;
  for (int i = run.latest; i >= run.earliest; --i) text += At<TBackspaceUndo>(*Editor.UndoBuffer, i).Text;
  const std::int64_t point = At<TBackspaceUndo>(*Editor.UndoBuffer, run.latest).Offset;
  Editor.Lines->ReplaceText(point, 0, text);
  platform::Point p = Editor.OffsetToPos(point + static_cast<std::int64_t>(text.size()));
  Editor.MoveCaret(p.x, p.y);
}

void TDeleteSelectedUndo::Undo() {
  Run run = TakeRun(Editor);
  std::string text;
  for (int i = run.earliest; i <= run.latest; ++i) text += At<TDeleteSelectedUndo>(*Editor.UndoBuffer, i).Text;
  Editor.Lines->ReplaceText(SelOffset, 0, text);
  Editor.RestoreSelection(Sel);
  auto& first = At<TDeleteSelectedUndo>(*Editor.UndoBuffer, run.earliest);
  Editor.SelAnchorX = Sel.SelStartX;
  Editor.SelAnchorY = Sel.SelStartY;
  if (!first.Text.empty()) Editor.SetSelAvail(true);
  Editor.MoveCaret(first.X, first.Y);
}

void TOverwriteUndo::Undo() {
  Run run = TakeRun(Editor);
  std::string oldText, newText;
  for (int i = run.earliest; i <= run.latest; ++i) {
    auto& r = At<TOverwriteUndo>(*Editor.UndoBuffer, i);
    oldText += r.OldText;
    newText += r.NewText;
  }
  auto& first = At<TOverwriteUndo>(*Editor.UndoBuffer, run.earliest);
  Editor.Lines->ReplaceText(first.Offset, static_cast<std::int64_t>(newText.size()), oldText);
  Editor.MoveCaret(first.X, first.Y);
}

void TReplaceUndo::Undo() {
  Editor.Lines->ReplaceText(Position - 1, static_cast<std::int64_t>(NewText.size()), OldText);
  Editor.MoveCaret(X, Y);
}

void TSelectUndo::Undo() {
  Editor.RestoreSelection(Sel);
  // The caret stands at the moving end; the other end anchors further extension.
  bool caretAtStart = X == Sel.SelStartX && Y == Sel.SelStartY;
  Editor.SelAnchorX = caretAtStart ? Sel.SelEndX : Sel.SelStartX;
  Editor.SelAnchorY = caretAtStart ? Sel.SelEndY : Sel.SelStartY;
  Editor.SetSelAvail(!(Sel.SelStartX == Sel.SelEndX && Sel.SelStartY == Sel.SelEndY));
  Editor.MoveCaret(X, Y);
  Editor.RepaintSelectionRows();
}

void TIndentUndo::Undo() {
  TAdvLines& lines = *Editor.Lines;
  lines.BeginUpdate();
  for (int i = std::max(FirstLine, 0); i <= LastLine && i < lines.Count(); ++i) {
    std::string text = lines.Get(i);
    text.erase(0, std::min<std::size_t>(text.size(), static_cast<std::size_t>(std::max(Count, 0))));
    lines.Put(i, text);
  }
  lines.EndUpdate();
}

void TUnindentUndo::Undo() {
  if (Line < 0 || Line >= Editor.Lines->Count() || Count <= 0) return;
  Editor.Lines->Put(Line, std::string(static_cast<std::size_t>(Count), ' ') + Editor.Lines->Get(Line));
}

// ---------------------------------------------------------------- the history

void TUndoBuffer::AddRecord(std::unique_ptr<TUndo> record) {
  if (Undoing) return;  // made by an undo itself: dropped
  if (Editor && Editor->OnStatusChange) Editor->OnStatusChange(*Editor);
  items_.resize(static_cast<std::size_t>(Position + 1));
  items_.push_back(std::move(record));
  Position = Count() - 1;
}

TUndo* TUndoBuffer::CurrentRecord() const {
  if (Position < 0 || Position >= Count()) return nullptr;
  return items_[static_cast<std::size_t>(Position)].get();
}

bool TUndoBuffer::SameKindAsCurrent(const TUndo& record) const {
  TUndo* current = CurrentRecord();
  return current && current->Kind() == record.Kind();
}

void TUndoBuffer::RemoveLast() {
  if (items_.empty()) return;
  items_.pop_back();
  Position = Count() - 1;
}

int TUndoBuffer::CollectRun() {
  TUndo* current = CurrentRecord();
  if (!current || !Editor || !Editor->GroupUndo) return Position;
  TUndoKind kind = current->Kind();
  while (Position > 0 && items_[static_cast<std::size_t>(Position - 1)]->Kind() == kind) --Position;
  return Position;
}

void TUndoBuffer::Undo() {
  struct Flag {
    bool& f;
    explicit Flag(bool& x) : f(x) { f = true; }
    ~Flag() { f = false; }
  } undoing(Undoing);
  TUndo* current = CurrentRecord();
  if (!current) return;
  constexpr int kNoKind = -1;
  auto kindOf = [](const TUndo* r) { return r ? static_cast<int>(r->Kind()) : kNoKind; };
  int kind = kindOf(current);
  int depth = 0;
  bool first = true;
  while ((current = CurrentRecord()) &&
         (first || kindOf(current) == kind || current->Kind() == TUndoKind::ReLine || depth > 0)) {
    first = false;
    if (current->Kind() == TUndoKind::BeginCompound) {
      --depth;
      kind = kNoKind;
    } else if (current->Kind() == TUndoKind::EndCompound) {
      ++depth;
    }
    bool kindWasReLine = kind == static_cast<int>(TUndoKind::ReLine);
    current->Undo();
    --Position;
    if (kindWasReLine) kind = kindOf(CurrentRecord());
    if (Editor && !Editor->GroupUndo) break;
  }
  if (Editor && Editor->UpdateCount == 0) {
    Editor->RecalcMetrics(false, true);
    Editor->Invalidate();
    Editor->ChangeNotification();
  }
}

void TUndoBuffer::Redo() { throw EAdvEditError("Redo not yet implemented"); }

void TUndoBuffer::Clear() {
  items_.clear();
  Position = -1;
  if (Editor && Editor->OnStatusChange) Editor->OnStatusChange(*Editor);
}
