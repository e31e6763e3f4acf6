// TAdvancedEditor: the caret, the view and the bookmarks.

#include <algorithm>

#include "editor/AdvEdit.h"

void TAdvancedEditor::PlaceSystemCaret() {
  if (!window_) return;
  platform::Rect cell = CellRect(CaretColumn() - LeftCol, CaretY - TopRow);
  window_->SetCaretPos(cell.left - 1, cell.top + 1);
}

void TAdvancedEditor::MoveCaret(int x, int y) {
  if (x == CaretX && y == CaretY) return;
  if (!CaretBeyondEOF) y = std::min(y, LastRow());
  y = std::max(y, 0);
  x = SnapPos(y, std::clamp(x, 0, ColumnCapacity));
  // The view follows the caret.
  int top = TopRow, left = LeftCol;
  if (y < TopRow) top = y;
  if (y > BottomRow) top = y - VisibleRows + 1;
  const int column = ColumnAt(y, x);
  if (column < LeftCol) left = column;
  if (column > RightCol) left = column - VisibleCols;
  if (top != TopRow || left != LeftCol) ScrollTo(left, top);
  bool moved = x != CaretX || y != CaretY;
  CaretX = x;
  CaretY = y;
  PlaceSystemCaret();
  if (moved && OnStatusChange) OnStatusChange(*this);
}

void TAdvancedEditor::MoveCaretUndoable(int x, int y) {
  if (x == CaretX && y == CaretY) return;
  Record(TUndoKind::Caret, CaretX, CaretY);
  MoveCaret(x, y);
  if (UpdateCount == 0 && OnStatusChange) OnStatusChange(*this);
}

void TAdvancedEditor::ScrollTo(int col, int row) {
  col = std::max(col, 0);
  row = std::max(row, 0);
  if (col != LeftCol) {
    HorzBar->SetValue(TAdvEditScrollBar::kPosition, col);
    SetScrollPos(false, HorzBar->Position);
  }
  if (row != TopRow) {
    VertBar->SetValue(TAdvEditScrollBar::kPosition, row);
    SetScrollPos(true, VertBar->Position);
  }
}

void TAdvancedEditor::SetScrollPos(bool vertical, int pos) {
  int old = vertical ? TopRow : LeftCol;
  (vertical ? TopRow : LeftCol) = pos;
  RecomputeView();
  if (UpdateCount > 0 || !window_) {
    if (OnScroll) OnScroll(*this);
    return;
  }
  ShowCaret(false);
  if (vertical) {
    int dy = (old - pos) * CharHeight;
    if (dy != 0 && std::abs(dy) < ClientHeight()) {
      platform::Rect area{Client->TextLeft(), 0, Client->TextLeft() + Client->TextWidth(),
                          (VisibleRows + 1) * CharHeight};
      window_->ScrollPixels(area, dy);
    } else if (dy != 0) {
      window_->InvalidateAll();
    }
    window_->UpdateNow();
  } else if (old != pos) {
    window_->InvalidateAll();
  }
  GutterPaint();
  ShowCaret(true);
  if (OnScroll) OnScroll(*this);
}

void TAdvancedEditor::CenterRow(int row) {
  if (row >= TopRow && row <= BottomRow) return;
  ScrollTo(LeftCol, std::max(0, CaretY - VisibleRows / 2));
}

void TAdvancedEditor::ShowCaret(bool on) {
  if (!window_) return;
  if (!on) {
    if (caretShown_) window_->HideCaret();
    caretShown_ = false;
    return;
  }
  if (!window_->HasFocus()) return;
  PlaceSystemCaret();
  if (!caretShown_) window_->ShowCaret();
  caretShown_ = true;
}

void TAdvancedEditor::ScrollBarChanged(TAdvEditScrollBar& bar, int action, int& position) {
  // Line and page steps and thumb dragging move the view; the others only the bar.
  if ((action >= sb::LineUp && action <= sb::PageDown) || action == sb::ThumbTrack)
    SetScrollPos(bar.Kind == 1, position);
}

void TAdvancedEditor::RefreshCaretLine() {
  if (RowExists(CaretY)) {
    Lines->RowToLine(CaretX, CaretY, CaretLineX, CaretLine);
  } else {
    CaretLineX = CaretX;
    CaretLine = CaretY;
  }
}

// ---------------------------------------------------------------- bookmarks

void TAdvancedEditor::ToggleBookmark(int n) {
  if (n < 0 || n > 9) return;
  TBookmark& b = Bookmarks[static_cast<std::size_t>(n)];
  if (b.IsSet && b.Y == CaretY) {
    b.IsSet = false;
  } else {
    b = {CaretX, CaretY, true};
  }
  GutterPaint();
}

void TAdvancedEditor::GotoBookmark(int n) {
  if (n >= 0 && n <= 9 && Bookmarks[static_cast<std::size_t>(n)].IsSet) {
    const TBookmark& b = Bookmarks[static_cast<std::size_t>(n)];
    int top = TopRow, left = LeftCol;
    if (b.Y < TopRow || b.Y > BottomRow) top = b.Y - VisibleRows / 2;
    const int column = ColumnAt(b.Y, b.X);
    if (column < LeftCol || column > RightCol) left = column - VisibleCols / 2;
    ScrollTo(left, top);
    MoveCaretUndoable(b.X, b.Y);
  }
  GutterPaint();
}
