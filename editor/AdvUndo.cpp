#include "editor/AdvUndo.h"

#include <algorithm>

#include "editor/AdvEdit.h"

namespace {

bool IsRunKind(TUndoKind k) {
  switch (k) {
    case TUndoKind::Caret:
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab:
    case TUndoKind::Delete:
    case TUndoKind::Backspace:
    case TUndoKind::DeleteSelected:
    case TUndoKind::Overwrite:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------- the history

void TUndoBuffer::AddRecord(TUndoRecord record) {
  if (Undoing) return;  // made by an undo itself: dropped
  if (Editor && Editor->OnStatusChange) Editor->OnStatusChange(*Editor);
  items_.resize(static_cast<std::size_t>(Position + 1));
  items_.push_back(std::move(record));
  Position = Count() - 1;
}

const TUndoRecord* TUndoBuffer::CurrentRecord() const {
  if (Position < 0 || Position >= Count()) return nullptr;
  return &items_[static_cast<std::size_t>(Position)];
}

bool TUndoBuffer::SameKindAsCurrent(TUndoKind kind) const {
  const TUndoRecord* current = CurrentRecord();
  return current && current->Kind == kind;
}

void TUndoBuffer::RemoveLast() {
  if (items_.empty()) return;
  items_.pop_back();
  Position = Count() - 1;
}

int TUndoBuffer::CollectRun() {
  const TUndoRecord* current = CurrentRecord();
  if (!current || !Editor || !Editor->GroupUndo) return Position;
  const TUndoKind kind = current->Kind;
  while (Position > 0 && items_[static_cast<std::size_t>(Position - 1)].Kind == kind) --Position;
  return Position;
}

void TUndoBuffer::UndoCurrent() {
  TAdvancedEditor& e = *Editor;
  TAdvLines& lines = *e.Lines;
  const int latest = Position;
  const int earliest = IsRunKind(items_[static_cast<std::size_t>(latest)].Kind) ? CollectRun() : latest;
  const TUndoRecord& first = items_[static_cast<std::size_t>(earliest)];
  const TUndoRecord& last = items_[static_cast<std::size_t>(latest)];
  // The texts of the run in the order they were recorded.
  auto joined = [&](std::string TUndoRecord::*field) {
    std::string text;
    for (int i = earliest; i <= latest; ++i) text += items_[static_cast<std::size_t>(i)].*field;
    return text;
  };
  switch (first.Kind) {
    case TUndoKind::Caret:
      e.MoveCaret(first.X, first.Y);
      break;
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab:
      e.Splice(first.Offset, static_cast<std::int64_t>(joined(&TUndoRecord::Text).size()), "");
      e.MoveCaret(first.X, first.Y);
      break;
    case TUndoKind::Delete: {
      // At the offset taken when the record was made: the deletion may have
      // re-wrapped the line, so X, Y no longer name the same place.
      e.Splice(last.Offset, 0, joined(&TUndoRecord::Text));
      const platform::Point p = e.OffsetToPos(last.Offset);
      e.MoveCaret(p.x, p.y);
      break;
    }
    case TUndoKind::Backspace: {
      // The last deleted (leftmost) text first; the caret ends after it all.
      std::string text;
      for (int i = latest; i >= earliest; --i) text += items_[static_cast<std::size_t>(i)].Text;
      e.Splice(last.Offset, 0, text);
      const platform::Point p = e.OffsetToPos(last.Offset + static_cast<std::int64_t>(text.size()));
      e.MoveCaret(p.x, p.y);
      break;
    }
    case TUndoKind::DeleteSelected:
      e.Splice(last.Offset, 0, joined(&TUndoRecord::Text));
      e.RestoreSelection(last.Sel);
      e.SelAnchorX = last.Sel.SelStartX;
      e.SelAnchorY = last.Sel.SelStartY;
      if (!first.Text.empty()) e.SetSelAvail(true);
      e.MoveCaret(first.X, first.Y);
      break;
    case TUndoKind::Overwrite:
      e.Splice(first.Offset, static_cast<std::int64_t>(joined(&TUndoRecord::NewText).size()),
               joined(&TUndoRecord::Text));
      e.MoveCaret(first.X, first.Y);
      break;
    case TUndoKind::Replace:
      e.Splice(first.Offset, static_cast<std::int64_t>(first.NewText.size()), first.Text);
      e.MoveCaret(first.X, first.Y);
      break;
    case TUndoKind::Select:
    case TUndoKind::Unselect: {
      e.RestoreSelection(first.Sel);
      // The caret stands at the moving end; the other end anchors further extension.
      const TSelectionState& s = first.Sel;
      const bool caretAtStart = first.X == s.SelStartX && first.Y == s.SelStartY;
      e.SelAnchorX = caretAtStart ? s.SelEndX : s.SelStartX;
      e.SelAnchorY = caretAtStart ? s.SelEndY : s.SelStartY;
      e.SetSelAvail(!(s.SelStartX == s.SelEndX && s.SelStartY == s.SelEndY));
      e.MoveCaret(first.X, first.Y);
      e.RepaintSelectionOnCommit();
      break;
    }
    case TUndoKind::BeginCompound:
    case TUndoKind::EndCompound:
      break;
    case TUndoKind::Indent:
      lines.BeginUpdate();
      for (int i = std::max(first.FirstLine, 0); i <= first.LastLine && i < lines.Count(); ++i)
        e.Splice(lines.LineStartOffset(i), std::min(lines.LineLength(i), std::max(first.Count, 0)), "");
      lines.EndUpdate();
      break;
    case TUndoKind::Unindent:
      if (first.FirstLine >= 0 && first.FirstLine < lines.Count() && first.Count > 0)
        e.Splice(lines.LineStartOffset(first.FirstLine), 0, std::string(static_cast<std::size_t>(first.Count), ' '));
      break;
  }
}

void TUndoBuffer::Undo() {
  struct Flag {
    bool& f;
    bool was;
    explicit Flag(bool& x) : f(x), was(x) { f = true; }
    ~Flag() { f = was; }
  } undoing(Undoing);
  const TUndoRecord* current = CurrentRecord();
  if (!current) return;
  constexpr int kNoKind = -1;
  auto kindOf = [](const TUndoRecord* r) { return r ? static_cast<int>(r->Kind) : kNoKind; };
  int kind = kindOf(current);
  int depth = 0;
  bool first = true;
  while ((current = CurrentRecord()) &&
         (first || kindOf(current) == kind || current->Kind == TUndoKind::ReLine || depth > 0)) {
    first = false;
    if (current->Kind == TUndoKind::BeginCompound) {
      --depth;
      kind = kNoKind;
    } else if (current->Kind == TUndoKind::EndCompound) {
      ++depth;
    }
    const bool kindWasReLine = kind == static_cast<int>(TUndoKind::ReLine);
    UndoCurrent();
    --Position;
    if (kindWasReLine) kind = kindOf(CurrentRecord());
    if (Editor && !Editor->GroupUndo) break;
  }
}

void TUndoBuffer::Redo() { throw EAdvEditError("Redo not yet implemented"); }

void TUndoBuffer::Clear() {
  items_.clear();
  Position = -1;
  if (Editor && Editor->OnStatusChange) Editor->OnStatusChange(*Editor);
}
