#include "editor/AdvUndo.h"

#include <algorithm>
#include <type_traits>

namespace {

// Sets a flag for a scope and gives it back its value at the end.
class TUndoingScope {
 public:
  explicit TUndoingScope(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
  ~TUndoingScope() { flag_ = was_; }
  TUndoingScope(const TUndoingScope&) = delete;
  TUndoingScope& operator=(const TUndoingScope&) = delete;

 private:
  bool& flag_;
  bool was_;
};

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

void TUndoBuffer::AddRecord(TUndoRecord record, TLinesAsRead asRead) {
  if (Undoing) return;  // made by an undo itself: dropped
  if (Editor) Editor->HistoryChanged();
  // What was undone is cut off by a new record, and can no longer be redone.
  items_.resize(static_cast<std::size_t>(Position + 1));
  redo_.clear();
  DropAsReadFrom(Position + 1);
  items_.push_back(std::move(record));
  Position = Count() - 1;
  if (!asRead.empty()) asRead_.emplace_back(Position, std::move(asRead));
}

const TLinesAsRead* TUndoBuffer::AsReadOf(int index) const {
  const auto it =
      std::lower_bound(asRead_.begin(), asRead_.end(), index, [](const auto& entry, int i) { return entry.first < i; });
  return it != asRead_.end() && it->first == index ? &it->second : nullptr;
}

void TUndoBuffer::DropAsReadFrom(int index) {
  while (!asRead_.empty() && asRead_.back().first >= index) asRead_.pop_back();
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
  DropAsReadFrom(Count());
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
  auto item = [&](int i) -> const TUndoRecord& { return items_[static_cast<std::size_t>(i)]; };
  const TUndoRecord& first = item(earliest);
  const TUndoRecord& last = item(latest);
  // The texts of records from..to in the order they were recorded.
  auto joined = [&](int from, int to, auto field) {
    std::string text;
    for (int i = from; i <= to; ++i) text += field(item(i));
    return text;
  };
  auto text = [](const TUndoRecord& r) -> const std::string& { return As<TInsertUndo>(r)->Text; };
  auto newText = [](const TUndoRecord& r) -> const std::string& { return std::get<TOverwriteUndo>(r).NewText; };
  auto oldText = [](const TUndoRecord& r) -> const std::string& { return std::get<TOverwriteUndo>(r).OldText; };
  auto offset = [](const TUndoRecord& r) { return As<TInsertUndo>(r)->Offset; };
  // Takes back the text change of records from..to of the run.
  auto spliceBack = [&](int from, int to) {
    switch (KindOf(first)) {
      case TUndoKind::Insert:
      case TUndoKind::ReLine:
      case TUndoKind::InsertTab:
        Write(offset(item(from)), static_cast<std::int64_t>(joined(from, to, text).size()), "");
        break;
      case TUndoKind::Delete:
      case TUndoKind::DeleteSelected:
        // At the offset taken when the record was made: the deletion may have
        // re-wrapped the line, so X, Y no longer name the same place.
        Write(offset(item(to)), 0, joined(from, to, text));
        break;
      case TUndoKind::Backspace: {
        // The last deleted (leftmost) text first.
        std::string restored;
        for (int i = to; i >= from; --i) restored += text(item(i));
        Write(offset(item(to)), 0, restored);
        break;
      }
      case TUndoKind::Overwrite:
        Write(std::get<TOverwriteUndo>(item(from)).Offset, static_cast<std::int64_t>(joined(from, to, newText).size()),
              joined(from, to, oldText));
        break;
      case TUndoKind::Replace: {
        const auto& r = std::get<TReplaceUndo>(first);
        Write(r.Position - 1, static_cast<std::int64_t>(r.NewText.size()), r.OldText);
        break;
      }
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
      case TUndoKind::Encoding: {
        const auto& r = std::get<TEncodingUndo>(first);
        e.SetEncoding(r.Old);
        if (undoing_) undoing_->Splices.push_back({0, {}, 0, r.New});
        break;
      }
      default:
        break;
    }
  };
  // The run is combined and applied at once, except where a later record
  // took bytes as read away: from the latest down, each piece ends at such a
  // record, whose lines get their bytes back once the text is as it found it.
  for (int to = latest; to >= earliest;) {
    int from = to;
    while (from > earliest && !AsReadOf(from)) --from;
    spliceBack(from, to);
    if (const TLinesAsRead* asRead = AsReadOf(from)) e.RestoreAsRead(*asRead);
    to = from - 1;
  }

  const TCaretUndo* at = As<TCaretUndo>(first);
  switch (KindOf(first)) {
    case TUndoKind::Caret:
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab:
    case TUndoKind::Overwrite:
    case TUndoKind::Replace:
      e.MoveCaret(at->X, at->Y);
      break;
    case TUndoKind::Delete: {
      const platform::Point p = e.OffsetToPos(offset(last));
      e.MoveCaret(p.x, p.y);
      break;
    }
    case TUndoKind::Backspace: {
      // The caret ends after the restored text.
      const auto restored = static_cast<std::int64_t>(joined(earliest, latest, text).size());
      const platform::Point p = e.OffsetToPos(offset(last) + restored);
      e.MoveCaret(p.x, p.y);
      break;
    }
    case TUndoKind::DeleteSelected: {
      const auto& undone = std::get<TDeleteSelectedUndo>(last);
      e.RestoreSelection(undone.Sel, undone.Sel.SelStartX, undone.Sel.SelStartY);
      if (!text(first).empty()) e.SetSelAvail(true);
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
    case TUndoKind::Indent:
    case TUndoKind::Unindent:
    case TUndoKind::Encoding:
      break;
  }
}

void TUndoBuffer::Undo() {
  const TUndoingScope undoing(Undoing);
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
  if (undoing_)
    undoing_->Splices.push_back({offset, std::move(removed), static_cast<std::int64_t>(text.size()), std::nullopt});
}

void TUndoBuffer::Redo() {
  if (redo_.empty() || !Editor) return;
  const TUndoingScope undoing(Undoing);
  TRedoStep step = std::move(redo_.back());
  redo_.pop_back();
  for (auto s = step.Splices.rbegin(); s != step.Splices.rend(); ++s) {
    if (s->Encoding) {
      Editor->SetEncoding(*s->Encoding);
    } else {
      Editor->Splice(s->Offset, s->InsertedLength, s->Removed);
    }
  }
  Position = std::min(step.Position, Count() - 1);
  Editor->RestoreCaretState(step.Caret);
}

void TUndoBuffer::Clear() {
  items_.clear();
  redo_.clear();
  asRead_.clear();
  Position = -1;
  if (Editor) Editor->HistoryChanged();
}
