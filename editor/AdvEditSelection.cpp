// TAdvancedEditor: the selection and the text operations at the caret.

#include <algorithm>
#include <string>
#include <utility>

#include "editor/AdvEdit.h"
#include "editor/TextScan.h"

namespace {

// Keeps the editor's update counter raised for a scope.
class UpdateScope {
 public:
  explicit UpdateScope(TAdvancedEditor& e) : e_(e) { e_.BeginUpdate(); }
  ~UpdateScope() noexcept(false) { e_.EndUpdate(); }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  TAdvancedEditor& e_;
};

bool Before(int x1, int y1, int x2, int y2) { return y1 < y2 || (y1 == y2 && x1 <= x2); }

}  // namespace

// ---------------------------------------------------------------- word at a position

bool TAdvancedEditor::IsWordDelimiter(char c) { return ::IsWordDelimiter(c); }

void TAdvancedEditor::WordAt(std::string_view s, int p, int& start, int& end) { ::WordAt(s, p, start, end); }

void TAdvancedEditor::SnapWord(int row, int& start, int& end) const {
  if (!Utf8()) return;
  int& low = start <= end ? start : end;
  int& high = start <= end ? end : start;
  low = SnapPos(row, low - 1) + 1;
  high = SnapForward(row, high - 1) + 1;
}

// ---------------------------------------------------------------- selection

void TAdvancedEditor::SetSelAvail(bool on) {
  if (SelAvail == on) return;
  SelAvail = on;
  if (OnSelectionChange) OnSelectionChange(*this);
}

void TAdvancedEditor::RestoreSelection(const TSelectionState& s, int anchorX, int anchorY) {
  SelAnchorX = anchorX;
  SelAnchorY = anchorY;
  SelMode = s.SelMode;
  SelStartX = s.SelStartX;
  SelStartY = s.SelStartY;
  SelEndX = s.SelEndX;
  SelEndY = s.SelEndY;
}

void TAdvancedEditor::ExtendSelection(int x, int y) {
  y = std::max(y, 0);
  x = SnapPos(y, std::max(x, 0));
  if (SelAvail) {
    Record(TUndoKind::Select, CaretX, CaretY);
    oldSelStartX_ = SelStartX;
    oldSelStartY_ = SelStartY;
    oldSelEndX_ = SelEndX;
    oldSelEndY_ = SelEndY;
    if (Before(x, y, SelAnchorX, SelAnchorY)) {
      SelStartX = x;
      SelStartY = y;
      SelEndX = SelAnchorX;
      SelEndY = SelAnchorY;
    } else {
      SelStartX = SelAnchorX;
      SelStartY = SelAnchorY;
      SelEndX = x;
      SelEndY = y;
    }
    SetSelAvail(true);
    if (GroupDepth == 0 && UpdateCount == 0) {
      RepaintRowRange(std::min(oldSelStartY_, SelStartY), std::max(oldSelStartY_, SelStartY));
      RepaintRowRange(std::min(oldSelEndY_, SelEndY), std::max(oldSelEndY_, SelEndY));
      if (OnSelectionChange) OnSelectionChange(*this);
    }
  } else {
    SelAnchorX = SelStartX = SelEndX = x;
    SelAnchorY = SelStartY = SelEndY = y;
    oldSelStartX_ = oldSelEndX_ = x;
    oldSelStartY_ = oldSelEndY_ = y;
    SetSelAvail(true);
  }
  // The rows to repaint cover the new selection too.
  oldSelStartY_ = std::min(oldSelStartY_, SelStartY);
  oldSelEndY_ = std::max(oldSelEndY_, SelEndY);
}

void TAdvancedEditor::Unselect() {
  if (!SelAvail) return;
  SetSelAvail(false);
  Record(TUndoKind::Unselect, CaretX, CaretY);
  RepaintRowRange(std::min(oldSelStartY_, SelStartY), std::max(oldSelEndY_, SelEndY));
}

std::string TAdvancedEditor::GetSelText() const {
  if (!SelAvail) return {};
  if (!RowExists(SelStartY) || !RowExists(SelEndY)) {
    if (window_) window_->Beep();
    return {};
  }
  int sx = std::clamp(SelStartX, 0, RowLength(SelStartY));
  int ex = std::clamp(SelEndX, 0, RowLength(SelEndY));
  if (sx == ex && SelStartY == SelEndY) return {};
  std::int64_t from = PosToOffset(sx, SelStartY);
  std::int64_t to = PosToOffset(ex, SelEndY);
  if (to <= from) return {};
  return Lines->TextRange(from, to - from);
}

int TAdvancedEditor::GetSelStart() const {
  int x = SelAvail ? SelStartX : CaretX;
  int y = SelAvail ? SelStartY : CaretY;
  if (RowExists(y)) x = std::min(x, RowLength(y));
  return static_cast<int>(PosToOffset(x, y)) + 1;
}

void TAdvancedEditor::SetSelStart(int value) {
  SetSelAvail(true);
  platform::Point start = OffsetToPos(value - 1);
  start.x = SnapPos(start.y, start.x);
  SelStartX = SelEndX = SelAnchorX = start.x;
  SelStartY = SelEndY = SelAnchorY = start.y;
  MoveCaret(start.x, start.y);
  SetSelLength(0);
  CenterRow(start.y);
}

void TAdvancedEditor::SetSelLength(int length) {
  SetSelAvail(length > 0);
  platform::Point end = OffsetToPos(static_cast<std::int64_t>(length) + GetSelStart() - 1);
  end.x = SnapForward(end.y, end.x);
  SelEndX = end.x;
  SelEndY = end.y;
  MoveCaret(end.x, end.y);
  RepaintSelectionRows();
}

void TAdvancedEditor::SetSelText(const std::string& text) {
  UpdateScope update(*this);
  TEditScope edit(*this);
  BeginUndoGroup();
  struct GroupCloser {
    TAdvancedEditor& e;
    ~GroupCloser() { e.EndUndoGroup(); }
  } closer{*this};
  int start = GetSelStart();
  DeleteSelection();
  if (!text.empty()) {
    InsertTextAtCaret(text);
    SetSelStart(start);
    SetSelLength(static_cast<int>(text.size()));
  }
}

void TAdvancedEditor::InsertText(std::string text) {
  UpdateScope update(*this);
  TEditScope edit(*this);
  // Every kind of line break becomes CR LF; text without a lone CR or LF is kept as it is.
  const auto lone = [&text](std::size_t i) { return text[i] == '\n' || i + 1 == text.size() || text[i + 1] != '\n'; };
  std::size_t lones = 0;
  for (std::size_t i = FindLineBreak(text, 0); i < text.size(); i = FindLineBreak(text, i + 1)) {
    if (!lone(i))
      ++i;
    else
      ++lones;
  }
  if (lones > 0) {
    // Copied a line at a time: everything between two breaks goes over in one piece.
    std::string normal;
    normal.reserve(text.size() + lones);
    std::size_t from = 0;
    for (std::size_t i = FindLineBreak(text, 0); i < text.size(); i = FindLineBreak(text, i + 1)) {
      if (!lone(i)) {
        ++i;
        continue;
      }
      normal.append(text, from, i - from).append("\r\n");
      from = i + 1;
    }
    normal.append(text, from, std::string::npos);
    text = std::move(normal);
  }
  if (text.find('\t') != std::string::npos) text = ExpandTabs(text);
  if (OnBeforeInsert) OnBeforeInsert(*this, text);
  DeleteSelection();
  InsertTextAtCaret(std::move(text));
  VertBar->SetValue(TAdvEditScrollBar::kPosition, TopRow);
}

void TAdvancedEditor::InsertTextAtCaret(std::string text) {
  if (text.empty()) return;
  ShowCaret(false);
  {
    UpdateScope update(*this);
    TEditScope edit(*this);
    PadToCaret();
    const std::int64_t offset = PosToOffset(CaretX, CaretY);
    const auto size = static_cast<std::int64_t>(text.size());
    EditTaking(TUndoKind::Insert, CaretX, CaretY, offset, 0, std::move(text));
    platform::Point end = OffsetToPos(offset + size);
    MoveCaret(end.x, end.y);
  }
  ShowCaret(true);
}

void TAdvancedEditor::DeleteSelection() {
  if (!SelAvail || ReadOnly) return;
  TEditScope edit(*this);
  std::string text = GetSelText();
  SelAvail = false;
  if (!text.empty()) {
    const std::int64_t offset = PosToOffset(SelStartX, SelStartY);
    Edit(TUndoKind::DeleteSelected, CaretX, CaretY, offset, static_cast<std::int64_t>(text.size()), "");
    platform::Point p = OffsetToPos(offset);
    MoveCaret(p.x, p.y);
  }
  RepaintSelectionOnCommit();
}
