// TAdvancedEditor: keys, mouse, wheel, focus and timers as the window host
// delivers them.

#include <algorithm>

#include "editor/AdvCompletion.h"
#include "editor/AdvEdit.h"
#include "editor/TextEncoding.h"
#include "platform/Clipboard.h"

// ---------------------------------------------------------------- keys

void TAdvancedEditor::KeyDown(std::uint16_t& key, TShiftState shift) {
  if (Completion->Active) {
    if (Completion->HandleKeyDown(key)) {
      key = 0;
      return;
    }
  } else {
    Completion->StopTimer();
  }
  if (key == vk::Tab && (shift == shift::None || shift == shift::Shift) && (ReadOnly || !WantTabs)) {
    if (window_) window_->FocusNext(shift == shift::Shift);
    key = 0;
    return;
  }
  std::uint16_t command = 0;
  if (chordPending_) {
    command = Keyboard->FindChord(chordKey_, chordShift_, key, shift);
    chordPending_ = false;
    keyHandled_ = true;
  } else {
    chordKey_ = key;
    chordShift_ = shift;
    command = Keyboard->FindKey(key, shift);
    if (command == kChordPending) {
      keyHandled_ = true;
      chordPending_ = true;
    } else {
      keyHandled_ = command != 0;
    }
  }
  if (command == 0 || command == kChordPending) return;
  key = 0;
  ExecuteCommand(command);
  if (command == cmdDeleteLeft) Completion->KeyTyped('\b');
}

void TAdvancedEditor::KeyPress(char ch) {
  if (keyHandled_) {
    keyHandled_ = false;
    return;
  }
  if (ReadOnly) return;
  ShowCaret(false);
  ExecuteCommand(static_cast<unsigned char>(ch));
  ShowCaret(true);
}

void TAdvancedEditor::TypeCharacter(char32_t ch) {
  if (keyHandled_) {
    keyHandled_ = false;
    return;
  }
  if (ReadOnly) return;
  // A character with a byte of its own types that byte, as KeyPress does.
  int byte = ch < 0x80 ? static_cast<int>(ch) : -1;
  if (byte < 0 && !Utf8()) byte = Windows1252Byte(ch);
  ShowCaret(false);
  if (byte >= 0) {
    ExecuteCommand(static_cast<std::uint16_t>(byte));
  } else {
    typedChar_ = ch;
    ExecuteCommand(cmdTypeCharacter);
  }
  ShowCaret(true);
}

void TAdvancedEditor::ClipboardRequest(std::uint16_t command) {
  if (ReadOnly && command != cmdCopy) return;
  PostCommand(command);
}

// ---------------------------------------------------------------- mouse

void TAdvancedEditor::MouseDown(int button, TShiftState shift, int x, int y) {
  if (skipNextMouseDown_) {
    skipNextMouseDown_ = false;
    return;
  }
  Completion->CloseList(false);
  mouseDown_ = true;
  if (window_) window_->CaptureMouse();
  dragged_ = false;
  platform::Point pos = PixelToPosition(x, y);
  ShowCaret(false);
  const bool withShift = (shift & shift::Shift) != 0;
  if (button == kLeftButton && !withShift) Unselect();
  if (window_) window_->TakeFocus();
  if (RowExists(pos.y)) {
    if (!CaretBeyondEOL) pos.x = std::min(pos.x, RowLength(pos.y));
    if (withShift && !SelAvail) ExtendSelection(CaretX, CaretY);
    MoveCaretUndoable(pos.x, pos.y);
    if (withShift) ExtendSelection(pos.x, pos.y);
  }
  UpdateBracketMarks();
  ShowCaret(true);
}

bool TAdvancedEditor::PointerOutside() const {
  return mouseX_ < 0 || mouseY_ < 0 || mouseX_ > ClientWidth() || mouseY_ > ClientHeight();
}

void TAdvancedEditor::MouseMove(TShiftState, int x, int y, bool leftButtonDown) {
  mouseX_ = x;
  mouseY_ = y;
  platform::Point pos = PixelToPosition(x, y);
  mouseCol_ = pos.x;
  mouseRow_ = pos.y;
  if (window_) window_->SetCursor(x < GutterWidth() ? platform::Cursor::Arrow : platform::Cursor::IBeam);
  if (mouseDown_ && leftButtonDown) {
    dragged_ = true;
    ShowCaret(false);
    if (pos.y <= BottomRow) {
      if (!CaretBeyondEOL) pos.x = RowExists(pos.y) ? std::min(pos.x, RowLength(pos.y)) : 0;
      // A drag selects from where the button went down.
      if (!SelAvail) ExtendSelection(CaretX, CaretY);
      ExtendSelection(pos.x, pos.y);
      MoveCaretUndoable(pos.x, pos.y);
    }
    if (window_) {
      if (PointerOutside()) {
        window_->StartTimer(kScrollTimer, 100);
      } else {
        window_->StopTimer(kScrollTimer);
      }
    }
    ShowCaret(true);
    return;
  }
  if (!leftButtonDown && OnTokenHover && RowExists(pos.y)) {
    std::string text;
    std::uint8_t tag = 0;
    TokenAt(pos.x, pos.y, text, tag);
    platform::Cursor cursor = platform::Cursor::IBeam;
    OnTokenHover(*this, tag, cursor);
    if (window_ && cursor != platform::Cursor::IBeam) window_->SetCursor(cursor);
  }
}

void TAdvancedEditor::AutoScrollTick() {
  if (!PointerOutside()) return;
  const int w = ClientWidth(), h = ClientHeight();
  int dy = 0, dx = 0;
  if (mouseY_ < -20) dy = -VisibleRows;
  else if (mouseY_ < 0) dy = -1;
  else if (mouseY_ > h + 20) dy = VisibleRows;
  else if (mouseY_ > h) dy = 1;
  if (mouseX_ < -20) dx = -(VisibleCols / 2);
  else if (mouseX_ < 0) dx = -1;
  else if (mouseX_ > w + 20) dx = VisibleCols / 2;
  else if (mouseX_ > w) dx = 1;
  int y = std::clamp(CaretY + dy, 0, std::max(0, LastRow()));
  int x = PosAtColumn(y, std::max(0, CaretColumn() + dx));
  ExtendSelection(x, y);
  MoveCaretUndoable(x, y);
}

void TAdvancedEditor::MouseUp(int button, TShiftState, int x, int y) {
  if (window_) {
    window_->StopTimer(kScrollTimer);
    window_->ReleaseMouse();
  }
  mouseDown_ = false;
  if (dragged_) UpdateBracketMarks();
  if (button == kLeftButton && !dragged_ && OnTokenClick) {
    platform::Point pos = PixelToPosition(x, y);
    std::string text;
    std::uint8_t tag = 0;
    TokenAt(pos.x, pos.y, text, tag);
    if (!text.empty()) OnTokenClick(*this, text, tag);
  }
}

void TAdvancedEditor::DblClick() {
  skipNextMouseDown_ = true;
  if (OnDblClickHook) OnDblClickHook(*this, 0);
  if (!RowExists(CaretY)) return;
  std::string s(Lines->RowView(CaretY));
  s.push_back(' ');
  int start = 0, end = 0;
  WordAt(s, CaretX + 1, start, end);
  if (end <= start) return;
  SnapWord(CaretY, start, end);
  ExtendSelection(start - 1, CaretY);
  ExtendSelection(end - 1, CaretY);
  MoveCaretUndoable(end - 1, CaretY);
}

void TAdvancedEditor::WheelScroll(int delta, int linesPerNotch) {
  int notches = delta / 120;
  if (notches == 0) notches = delta < 0 ? -1 : 1;
  VertBar->SetValue(TAdvEditScrollBar::kPosition, VertBar->Position - notches * linesPerNotch);
  SetScrollPos(true, VertBar->Position);
}

void TAdvancedEditor::TokenAt(int column, int row, std::string& text, std::uint8_t& tag) {
  text.clear();
  tag = 0;
  if (!RowExists(row)) return;
  int line = 0, rowOffset = 0;
  std::string lineText;
  Lines->GetRowInfo(row, line, lineText, rowOffset);
  PrepareLine(line, row, rowOffset, RowLength(row), 0, static_cast<int>(lineText.size()), lineText);
  int index = column + rowOffset;
  const TLineAttrs& attrs = Lines->Attrs(line);
  if (index < 0 || index >= static_cast<int>(lineText.size()) || index >= static_cast<int>(attrs.size())) return;
  tag = attrs[static_cast<std::size_t>(index)].Tag;
  int from = index, to = index;
  while (from > 0 && attrs[static_cast<std::size_t>(from - 1)].Tag == tag) --from;
  while (to + 1 < static_cast<int>(lineText.size()) && attrs[static_cast<std::size_t>(to + 1)].Tag == tag) ++to;
  text = lineText.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from + 1));
}

// ---------------------------------------------------------------- focus, timers, messages

void TAdvancedEditor::FocusIn() {
  if (!window_) return;
  window_->CreateCaret(2, std::max(1, CharHeight - 2));
  caretShown_ = false;
  ShowCaret(true);
}

void TAdvancedEditor::FocusOut() {
  Completion->CloseList(false);
  if (window_) window_->DestroyCaret();
  caretShown_ = false;
}

void TAdvancedEditor::TimerTick(int id) {
  if (id == kScrollTimer) AutoScrollTick();
  if (id == kCompletionTimer) Completion->TimerTick();
}

void TAdvancedEditor::ContextMenuAt(int x, int y) {
  if (x < 0 || y < 0 || x >= ClientWidth() || y >= ClientHeight()) return;
  platform::Point pos = PixelToPosition(x, y);
  TokenAt(pos.x, pos.y, HoverText, HoverTag);
}

void TAdvancedEditor::ClipboardChanged() {
  if (OnClipboardChange) OnClipboardChange(*this, window_ && window_->GetClipboard().HasText());
}
