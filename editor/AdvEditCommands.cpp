// TAdvancedEditor: the command dispatcher and the commands that move the
// caret, select, scroll and control undo, macros and bookmarks.

#include <algorithm>

#include "editor/AdvCompletion.h"
#include "editor/AdvEdit.h"

// ---------------------------------------------------------------- the dispatcher frame

void TAdvancedEditor::ExecuteCommand(std::uint16_t command) {
  ShowCaret(false);
  if (Recording && command != cmdRecordMacro && command != cmdBeginGroup && GroupDepth == 0) {
    MacroKeys.push_back(static_cast<char>(command & 0xFF));
    MacroKeys.push_back(static_cast<char>(command >> 8));
    if (command == cmdTypeCharacter)
      for (int shift = 0; shift < 32; shift += 8) MacroKeys.push_back(static_cast<char>((typedChar_ >> shift) & 0xFF));
  }
  TCommandFrame f;
  f.Command = command;
  f.X = CaretX;
  f.Y = CaretY;
  const int groupDepth = GroupDepth, updateCount = UpdateCount;
  // The command's transaction: what it changed is told before the final placement.
  BeginEdit();
  bool open = true;
  try {
    bool ended = false;
    try {
      RunCommand(f);
    } catch (const EComplete&) {
      ended = true;  // ended early: no final placement
    }
    open = false;
    EndEdit();
    if (!ended) {
      if (f.TypedWordChar) Completion->KeyTyped(f.TypedWordChar);
      if (f.CaretOnly) {
        MoveCaretUndoable(f.X, f.Y);
      } else {
        MoveCaret(f.X, f.Y);
      }
    }
  } catch (...) {
    if (open) {
      try {
        EndEdit();
      } catch (...) {
      }
    }
    // A failing command leaves no undo group or update it opened behind.
    while (GroupDepth > groupDepth) EndUndoGroup();
    while (UpdateCount > updateCount) EndUpdate();
    ShowCaret(true);
    throw;
  }
  if (UpdateCount == 0) UpdateBracketMarks();
  ShowCaret(true);
}

void TAdvancedEditor::PostCommand(std::uint16_t command) {
  if (window_) {
    window_->PostCommand(command);
  } else {
    ExecuteCommand(command);
  }
}

void TAdvancedEditor::RunAll(std::initializer_list<std::uint16_t> commands) {
  for (std::uint16_t c : commands) ExecuteCommand(c);
}

void TAdvancedEditor::RunCommand(TCommandFrame& f) {
  const std::uint16_t c = f.Command;
  if (c <= 255) {
    const char ch = static_cast<char>(c);
    if (!ReadOnly) TypeChar(f, std::string_view(&ch, 1));
    return;
  }
  if ((c >= cmdCaretLeft && c <= cmdCaretDown) || (c >= cmdSelectLeft && c <= cmdSelectDown)) return CaretCommand(f);
  if (c >= cmdToggleBookmark0 && c <= cmdToggleBookmark9) return ToggleBookmark(c - cmdToggleBookmark0);
  if (c >= cmdGotoBookmark0 && c <= cmdGotoBookmark9) {
    GotoBookmark(c - cmdGotoBookmark0);
    f.X = CaretX;
    f.Y = CaretY;
    return;
  }
  if ((c >= cmdUserInsert0 && c <= cmdUserTransform25) || c == cmdSelectionEvent || c == cmdInsertFromEvent)
    return EventCommand(f);
  bool editable = !ReadOnly;
  switch (c) {
    case cmdWordLeft:
      return WordLeftCommand(f, false);
    case cmdSelectWordLeft:
      return WordLeftCommand(f, true);
    case cmdWordRight:
      return WordRightCommand(f, false);
    case cmdSelectWordRight:
      return WordRightCommand(f, true);
    case cmdSelectWord:
      return SelectWordCommand(f);
    case cmdCaretPageTop:
    case cmdCaretPageBottom: {
      const int column = ColumnAt(f.Y, f.X);
      f.Y = c == cmdCaretPageTop ? TopRow : TopRow + VisibleRows - 1;
      f.X = PosAtColumn(std::min(f.Y, LastRow()), column);
      if (!CaretBeyondEOL && RowExists(f.Y)) f.X = std::min(f.X, RowLength(f.Y));
      Unselect();
      return;
    }
    case cmdPageUp:
    case cmdPageDown:
    case cmdSelectPageUp:
    case cmdSelectPageDown:
      return PageCommand(f);
    case cmdLineStart:
    case cmdLineEnd:
    case cmdTextStart:
    case cmdTextEnd:
    case cmdSelectLineStart:
    case cmdSelectLineEnd:
    case cmdSelectTextStart:
    case cmdSelectTextEnd:
      return HomeEndCommand(f);
    case cmdSelectAll:
      RunAll({cmdBeginGroup, cmdBeginUpdate, cmdTextStart, cmdSelectTextEnd, cmdEndUpdate, cmdEndGroup});
      if (OnSelectionChange) OnSelectionChange(*this);
      throw EComplete();
    case cmdScrollLineUp:
    case cmdScrollLineDown:
    case cmdScrollPageUp:
    case cmdScrollPageDown:
      return ScrollCommand(f);
    case cmdTypeCharacter:
      if (editable) TypeCharacterCommand(f);
      return;
    case cmdLineBreak:
      if (editable) LineBreak(f);
      return;
    case cmdDeleteLeft:
      if (editable) DeleteLeft(f);
      return;
    case cmdDeleteRight:
      if (editable) DeleteRight(f);
      return;
    case cmdToggleOverwrite:
      InsertMode = !InsertMode;
      if (OnStatusChange) OnStatusChange(*this);
      return;
    case cmdTab:
    case cmdBackTab:
      if (editable) TabCommand(f, c == cmdBackTab);
      return;
    case cmdIndentSelection:
    case cmdUnindentSelection:
      if (editable) IndentCommand(f, c == cmdIndentSelection);
      return;
    case cmdDeleteSelection:
      if (editable && SelAvail) {
        DeleteSelection();
        f.CaretOnly = false;
        f.X = CaretX;
        f.Y = CaretY;
      }
      return;
    case cmdCopy:
      Copy();
      return;
    case cmdCut:
    case cmdPaste:
      if (!editable) return;
      if (c == cmdCut) {
        Cut();
      } else {
        Paste();
      }
      f.CaretOnly = false;
      f.X = CaretX;
      f.Y = CaretY;
      return;
    case cmdDeleteLine:
      if (editable) DeleteLineCommand(f);
      return;
    case cmdDeleteWordRight:
      if (editable) DeleteWordRightCommand(f);
      return;
    case cmdDeleteWordLeft:
      if (editable) DeleteWordLeftCommand(f);
      return;
    case cmdUpperCase:
    case cmdLowerCase:
    case cmdToggleCase:
      if (editable) CaseCommand(f, static_cast<TCaseMode>(c - cmdUpperCase));
      return;
    case cmdUndo:
      if (!editable) return;
      UndoStep();
      ShowCaret(true);
      throw EComplete();
    case cmdRedo:
      if (!editable) return;
      RedoStep();
      ShowCaret(true);
      throw EComplete();
    case cmdBeginGroup:
      BeginUndoGroup();
      return;
    case cmdEndGroup:
      EndUndoGroup();
      return;
    case cmdBeginUpdate:
      BeginUpdate();
      return;
    case cmdEndUpdate:
      EndUpdate();
      return;
    case cmdCompleteWord:
    case cmdCompleteTemplate:
      if (!editable || !Completion->Enabled) return;
      Completion->Complete(c == cmdCompleteWord ? 0 : 1);
      ShowCaret(true);
      throw EComplete();
    case cmdRecordMacro:
      if (Recording) {
        Recording = false;
        Macro = MacroKeys;
      } else {
        MacroKeys.clear();
        Recording = true;
      }
      if (OnStatusChange) OnStatusChange(*this);
      return;
    case cmdPlayMacro:
      PlayMacro();
      throw EComplete();
    default:
      return;  // unused numbers only repeat the caret placement
  }
}

// ---------------------------------------------------------------- caret movement

void TAdvancedEditor::CaretCommand(TCommandFrame& f) {
  const std::uint16_t c = f.Command;
  const bool select = c >= cmdSelectLeft;
  const std::uint16_t plain = select ? static_cast<std::uint16_t>(c - (cmdSelectLeft - cmdCaretLeft)) : c;
  if (plain == cmdCaretUp || plain == cmdCaretDown) {
    bool acts = plain == cmdCaretUp
                    ? f.Y > 0
                    : f.Y < std::max(Lines->GetRowCount(), 1) - 1 || (c == cmdCaretDown && CaretBeyondEOF);
    if (!acts) return;
    if (select && !SelAvail) ExtendSelection(CaretX, CaretY);
    const int column = ColumnAt(f.Y, f.X);
    f.Y += plain == cmdCaretUp ? -1 : 1;
    f.X = PosAtColumn(f.Y, column);
    if (!CaretBeyondEOL && RowExists(f.Y)) f.X = std::min(f.X, RowLength(f.Y));
  } else {
    if (select && !SelAvail) ExtendSelection(CaretX, CaretY);
    // A whole character; left of column 0 stays -1 (the row above, or the clamp).
    f.X = plain == cmdCaretRight ? NextPos(f.Y, f.X) : f.X <= 0 ? f.X - 1 : PrevPos(f.Y, f.X);
    if (!CaretBeyondEOL) {
      if (!RowExists(f.Y)) {
        f.X = 0;
      } else if (f.X < 0 && f.Y > 0) {
        --f.Y;
        f.X = RowLength(f.Y);
      } else if (f.X > RowLength(f.Y) && f.Y < LastRow()) {
        f.X = 0;
        ++f.Y;
      } else {
        f.X = std::clamp(f.X, 0, RowLength(f.Y));
      }
    }
  }
  if (select) {
    ExtendSelection(f.X, f.Y);
    f.CaretOnly = false;
  } else {
    Unselect();
  }
}

void TAdvancedEditor::WordLeftCommand(TCommandFrame& f, bool select) {
  if (Lines->GetRowCount() == 0 || !RowExists(f.Y)) return;
  std::string_view s = Lines->RowView(f.Y);
  f.X = std::min(f.X, static_cast<int>(s.size()));
  if (f.X == 0) {
    if (f.Y > 0) {
      --f.Y;
      f.X = RowLength(f.Y);
    }
    return;
  }
  if (select && !SelAvail) ExtendSelection(CaretX, CaretY);
  int i = f.X - 1;
  while (i >= 0 && IsWordDelimiter(s[static_cast<std::size_t>(i)])) --i;
  const bool wordMet = i >= 0;
  while (i >= 0 && !IsWordDelimiter(s[static_cast<std::size_t>(i)])) --i;
  if (i >= 0) {
    f.X = SnapPos(f.Y, i + 1);
  } else if (f.X == CaretX) {
    f.X = 0;  // the row start was reached without a delimiter
  }
  if (select) {
    ExtendSelection(f.X, f.Y);
    f.CaretOnly = false;
  } else {
    Unselect();
  }
  if (!wordMet && f.X == 0 && f.Y > 0) {
    // Only delimiters left of the caret: go on to the end of the row above.
    CaretX = 0;
    ExecuteCommand(f.Command);
    throw EComplete();
  }
}

void TAdvancedEditor::WordRightCommand(TCommandFrame& f, bool select) {
  if (Lines->GetRowCount() == 0 || !RowExists(f.Y)) return;
  std::string_view s = Lines->RowView(f.Y);
  const int n = static_cast<int>(s.size());
  if (f.X >= n) {
    if (f.Y < LastRow()) {
      f.X = 0;
      ++f.Y;
      std::string_view next = Lines->RowView(f.Y);
      if (!next.empty() && next[0] == ' ') {
        CaretX = 0;
        CaretY = f.Y;
        ExecuteCommand(f.Command);
        throw EComplete();
      }
    }
    return;
  }
  if (select && !SelAvail) ExtendSelection(CaretX, CaretY);
  int i = f.X;
  while (i < n && !IsWordDelimiter(s[static_cast<std::size_t>(i)])) ++i;
  while (i < n && IsWordDelimiter(s[static_cast<std::size_t>(i)])) ++i;
  f.X = SnapForward(f.Y, i);
  if (select) {
    ExtendSelection(f.X, f.Y);
    f.CaretOnly = false;
  } else {
    Unselect();
  }
}

void TAdvancedEditor::SelectWordCommand(TCommandFrame& f) {
  if (SelAvail || !RowExists(f.Y)) return;
  std::string s(Lines->RowView(f.Y));
  s.push_back(' ');
  int p = f.X + 1;
  if (p > static_cast<int>(s.size())) return;
  int start = 0, end = 0;
  WordAt(s, p, start, end);
  SnapWord(f.Y, start, end);
  ExtendSelection(start - 1, f.Y);
  ExtendSelection(end - 1, f.Y);
  f.X = end - 1;
  f.CaretOnly = false;
}

void TAdvancedEditor::PageCommand(TCommandFrame& f) {
  const std::uint16_t c = f.Command;
  const bool select = c == cmdSelectPageUp || c == cmdSelectPageDown;
  const int d = (c == cmdPageUp || c == cmdSelectPageUp) ? -1 : 1;
  if (select) {
    BeginUpdate();
    ExtendSelection(f.X, f.Y);
  }
  struct EndUpdateOnExit {
    TAdvancedEditor* e;
    ~EndUpdateOnExit() {
      if (e) e->EndUpdate();
    }
  } endUpdate{select ? this : nullptr};
  const int column = ColumnAt(f.Y, f.X);
  f.Y += VisibleRows * d;
  if (!CaretBeyondEOF || c == cmdSelectPageDown) f.Y = std::min(f.Y, LastRow());
  f.Y = std::max(f.Y, 0);
  int step = VertBar->LargeChange * d;
  if (step >= f.Y) {
    VertBar->SetValue(TAdvEditScrollBar::kPosition, VertBar->Position + step);
    SetScrollPos(true, VertBar->Position);
  }
  f.X = PosAtColumn(f.Y, column);
  if (!CaretBeyondEOL && RowExists(f.Y)) f.X = std::min(f.X, RowLength(f.Y));
  if (select) {
    ExtendSelection(f.X, f.Y);
    f.CaretOnly = false;
  } else {
    Unselect();
  }
}

int TAdvancedEditor::SmartHomeColumn(int x, int y) const {
  if (HomeToColumn0 || Lines->GetRowCount() == 0) return 0;
  std::string_view s = Lines->RowView(y);
  int n = 0;
  while (n < static_cast<int>(s.size()) && s[static_cast<std::size_t>(n)] == ' ') ++n;
  return n == x ? 0 : n;
}

void TAdvancedEditor::HomeEndCommand(TCommandFrame& f) {
  const std::uint16_t c = f.Command;
  const bool select = c >= cmdSelectLineStart;
  const std::uint16_t plain = select ? static_cast<std::uint16_t>(c - (cmdSelectLineStart - cmdLineStart)) : c;
  if (select && !SelAvail) ExtendSelection(CaretX, f.Y);
  switch (plain) {
    case cmdLineStart:
      f.X = SmartHomeColumn(f.X, f.Y);
      break;
    case cmdLineEnd:
      f.X = Lines->GetRowCount() == 0 ? 0 : RowLength(f.Y);
      break;
    case cmdTextStart:
      f.X = 0;
      f.Y = 0;
      ScrollTo(0, 0);
      break;
    default:  // text end
      if (Lines->GetRowCount() > 0) {
        f.Y = LastRow();
        f.X = RowLength(f.Y);
        ScrollTo(std::max(0, ColumnAt(f.Y, f.X) - VisibleCols), std::max(0, f.Y - VisibleRows + 1));
      }
      break;
  }
  if (select) {
    ExtendSelection(f.X, f.Y);
    f.CaretOnly = false;
  } else {
    Unselect();
  }
}

void TAdvancedEditor::ScrollCommand(TCommandFrame& f) {
  const std::uint16_t c = f.Command;
  int delta = c == cmdScrollLineUp     ? -1
              : c == cmdScrollLineDown ? 1
              : c == cmdScrollPageUp   ? -VertBar->LargeChange
                                       : VertBar->LargeChange;
  bool stuck = c == cmdScrollLineDown && f.Y == LastRow() && TopRow == f.Y;
  if (!stuck) {
    VertBar->SetValue(TAdvEditScrollBar::kPosition, VertBar->Position + delta);
    SetScrollPos(true, VertBar->Position);
  }
  const int column = ColumnAt(f.Y, f.X);
  const int y = std::clamp(f.Y, TopRow, std::max(TopRow, TopRow + VisibleRows - 1));
  if (y != f.Y) f.X = PosAtColumn(y, column);
  f.Y = y;
}

// ---------------------------------------------------------------- macros and events

void TAdvancedEditor::PlayMacro() {
  BeginUpdate();
  BeginUndoGroup();
  struct Close {
    TAdvancedEditor& e;
    ~Close() {
      e.EndUndoGroup();
      e.EndUpdate();
    }
  } close{*this};
  const std::string keys = Macro;
  for (std::size_t i = 0; i + 1 < keys.size(); i += 2) {
    auto lo = static_cast<unsigned char>(keys[i]);
    auto hi = static_cast<unsigned char>(keys[i + 1]);
    const auto command = static_cast<std::uint16_t>(lo + 256 * hi);
    if (command == cmdTypeCharacter) {
      // The character follows in two pairs.
      if (i + 6 > keys.size()) break;
      char32_t ch = 0;
      for (int k = 0; k < 4; ++k) ch |= static_cast<char32_t>(static_cast<unsigned char>(keys[i + 2 + k])) << (8 * k);
      typedChar_ = ch;
      i += 4;
    }
    ExecuteCommand(command);
  }
}

void TAdvancedEditor::EventCommand(TCommandFrame& f) {
  const std::uint16_t c = f.Command;
  if (c == cmdSelectionEvent) {
    if (SelAvail && OnSelectionCommand) OnSelectionCommand(*this, GetSelText());
    return;
  }
  if (ReadOnly) return;
  if (c == cmdInsertFromEvent) {
    if (!OnInsertCommand) return;
    std::string text;
    if (OnInsertCommand(*this, text)) InsertText(text);
    ShowCaret(true);
    throw EComplete();
  }
  if (c >= cmdUserInsert0 && c <= cmdUserInsert35) {
    if (!OnUserInsert) return;
    std::string text;
    OnUserInsert(*this, c - cmdUserInsert0, text);
    if (text.empty()) throw EComplete();
    InsertText(text);
    ShowCaret(true);
    throw EComplete();
  }
  // User transforms replace the selection.
  if (!SelAvail || !OnUserTransform) return;
  std::string result;
  OnUserTransform(*this, c - cmdUserTransform0, GetSelText(), result);
  SetSelText(result);
  f.CaretOnly = false;
  f.X = CaretX;
  f.Y = CaretY;
}
