#include "editor/AdvUndo.h"

#include <algorithm>
#include <type_traits>

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

// The part every record of a kind shares with its base.
template <typename Base>
const Base* As(const TUndoRecord& r) {
  return std::visit(
      [](const auto& v) -> const Base* {
        if constexpr (std::is_base_of_v<Base, std::decay_t<decltype(v)>>)
          return &v;
        else
          return nullptr;
      },
      r);
}

}  // namespace

// ---------------------------------------------------------------- the history

void TUndoBuffer::AddRecord(TUndoRecord record) {
  if (Undoing) return;  // made by an undo itself: dropped
  if (Editor) Editor->HistoryChanged();
  // What was undone is cut off by a new record, and can no longer be redone.
  items_.resize(static_cast<std::size_t>(Position + 1));
  redo_.clear();
  items_.push_back(std::move(record));
  Position = Count() - 1;
}

const TUndoRecord* TUndoBuffer::CurrentRecord() const {
  if (Position < 0 || Position >= Count()) return nullptr;
  return &items_[static_cast<std::size_t>(Position)];
}

bool TUndoBuffer::SameKindAsCurrent(TUndoKind kind) const {
  const TUndoRecord* current = CurrentRecord();
  return current && KindOf(*current) == kind;
}

void TUndoBuffer::RemoveLast() {
  if (items_.empty()) return;
  items_.pop_back();
  Position = Count() - 1;
}

int TUndoBuffer::CollectRun() {
  const TUndoRecord* current = CurrentRecord();
  if (!current || !Editor || !Editor->GroupUndo()) return Position;
  const TUndoKind kind = KindOf(*current);
  while (Position > 0 && KindAt(Position - 1) == kind) --Position;
  return Position;
}

void TUndoBuffer::UndoCurrent() {
  TUndoTarget& e = *Editor;
  const int latest = Position;
  const int earliest = IsRunKind(KindAt(latest)) ? CollectRun() : latest;
  const TUndoRecord& first = items_[static_cast<std::size_t>(earliest)];
  const TUndoRecord& last = items_[static_cast<std::size_t>(latest)];
  // The texts of the run in the order they were recorded.
  auto joined = [&](auto field) {
    std::string text;
    for (int i = earliest; i <= latest; ++i) text += field(items_[static_cast<std::size_t>(i)]);
    return text;
  };
  auto text = [](const TUndoRecord& r) -> const std::string& { return As<TInsertUndo>(r)->Text; };
  const TCaretUndo* at = As<TCaretUndo>(first);
  switch (KindOf(first)) {
    case TUndoKind::Caret:
      e.MoveCaret(at->X, at->Y);
      break;
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab:
      Write(As<TInsertUndo>(first)->Offset, static_cast<std::int64_t>(joined(text).size()), "");
      e.MoveCaret(at->X, at->Y);
      break;
    case TUndoKind::Delete: {
      // At the offset taken when the record was made: the deletion may have
      // re-wrapped the line, so X, Y no longer name the same place.
      const std::int64_t offset = As<TInsertUndo>(last)->Offset;
      Write(offset, 0, joined(text));
      const platform::Point p = e.OffsetToPos(offset);
      e.MoveCaret(p.x, p.y);
      break;
    }
    case TUndoKind::Backspace: {
      // The last deleted (leftmost) text first; the caret ends after it all.
      std::string restored;
      for (int i = latest; i >= earliest; --i) restored += text(items_[static_cast<std::size_t>(i)]);
      const std::int64_t offset = As<TInsertUndo>(last)->Offset;
      Write(offset, 0, restored);
      const platform::Point p = e.OffsetToPos(offset + static_cast<std::int64_t>(restored.size()));
      e.MoveCaret(p.x, p.y);
      break;
    }
    case TUndoKind::DeleteSelected: {
      const auto& undone = std::get<TDeleteSelectedUndo>(last);
      Write(undone.Offset, 0, joined(text));
      e.RestoreSelection(undone.Sel, undone.Sel.SelStartX, undone.Sel.SelStartY);
      if (!text(first).empty()) e.SetSelAvail(true);
      e.MoveCaret(at->X, at->Y);
      break;
    }
    case TUndoKind::Overwrite: {
      auto newText = [](const TUndoRecord& r) -> const std::string& { return std::get<TOverwriteUndo>(r).NewText; };
      auto oldText = [](const TUndoRecord& r) -> const std::string& { return std::get<TOverwriteUndo>(r).OldText; };
      Write(std::get<TOverwriteUndo>(first).Offset, static_cast<std::int64_t>(joined(newText).size()), joined(oldText));
      e.MoveCaret(at->X, at->Y);
      break;
    }
    case TUndoKind::Replace: {
      const auto& r = std::get<TReplaceUndo>(first);
      Write(r.Position - 1, static_cast<std::int64_t>(r.NewText.size()), r.OldText);
      e.MoveCaret(at->X, at->Y);
      break;
    }
    case TUndoKind::Select:
    case TUndoKind::Unselect: {
      // The caret stands at the moving end; the other end anchors further extension.
      const TSelectionState& s = As<TSelectUndo>(first)->Sel;
      const bool caretAtStart = at->X == s.SelStartX && at->Y == s.SelStartY;
      e.RestoreSelection(s, caretAtStart ? s.SelEndX : s.SelStartX, caretAtStart ? s.SelEndY : s.SelStartY);
      e.SetSelAvail(!(s.SelStartX == s.SelEndX && s.SelStartY == s.SelEndY));
      e.MoveCaret(at->X, at->Y);
      e.RepaintSelection();
      break;
    }
    case TUndoKind::BeginCompound:
    case TUndoKind::EndCompound:
      break;
    case TUndoKind::Indent: {
      const auto& r = std::get<TIndentUndo>(first);
      e.BeginLinesUpdate();
      for (int i = std::max(r.FirstLine, 0); i <= r.LastLine && i < e.LineCount(); ++i)
        Write(e.LineStartOffset(i), std::min(e.LineLength(i), std::max(r.Count, 0)), "");
      e.EndLinesUpdate();
      break;
    }
    case TUndoKind::Unindent: {
      const auto& r = std::get<TUnindentUndo>(first);
      if (r.Line >= 0 && r.Line < e.LineCount() && r.Count > 0)
        Write(e.LineStartOffset(r.Line), 0, std::string(static_cast<std::size_t>(r.Count), ' '));
      break;
    }
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
  TRedoStep step;
  step.Position = Position;
  if (Editor) step.Caret = Editor->CaretState();
  undoing_ = &step;
  struct Noting {
    TRedoStep*& p;
    ~Noting() { p = nullptr; }
  } noting{undoing_};
  constexpr int kNoKind = -1;
  auto kindOf = [](const TUndoRecord* r) { return r ? static_cast<int>(KindOf(*r)) : kNoKind; };
  int kind = kindOf(current);
  int depth = 0;
  bool first = true;
  while ((current = CurrentRecord()) &&
         (first || kindOf(current) == kind || KindOf(*current) == TUndoKind::ReLine || depth > 0)) {
    first = false;
    if (KindOf(*current) == TUndoKind::BeginCompound) {
      --depth;
      kind = kNoKind;
    } else if (KindOf(*current) == TUndoKind::EndCompound) {
      ++depth;
    }
    const bool kindWasReLine = kind == static_cast<int>(TUndoKind::ReLine);
    UndoCurrent();
    --Position;
    if (kindWasReLine) kind = kindOf(CurrentRecord());
    if (Editor && !Editor->GroupUndo()) break;
  }
  // The records after Position stay until a new record cuts them off: what
  // one Undo took back is the run down from the old Position.
  redo_.push_back(std::move(step));
}

void TUndoBuffer::Write(std::int64_t offset, std::int64_t length, std::string_view text) {
  std::string removed = Editor->Splice(offset, length, text);
  if (undoing_) undoing_->Splices.push_back({offset, std::move(removed), static_cast<std::int64_t>(text.size())});
}

void TUndoBuffer::Redo() {
  if (redo_.empty() || !Editor) return;
  struct Flag {
    bool& f;
    bool was;
    explicit Flag(bool& x) : f(x), was(x) { f = true; }
    ~Flag() { f = was; }
  } undoing(Undoing);
  TRedoStep step = std::move(redo_.back());
  redo_.pop_back();
  for (auto s = step.Splices.rbegin(); s != step.Splices.rend(); ++s)
    Editor->Splice(s->Offset, s->InsertedLength, s->Removed);
  Position = std::min(step.Position, Count() - 1);
  Editor->RestoreCaretState(step.Caret);
}

void TUndoBuffer::Clear() {
  items_.clear();
  redo_.clear();
  Position = -1;
  if (Editor) Editor->HistoryChanged();
}
