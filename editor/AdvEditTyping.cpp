// TAdvancedEditor: typing and the commands that change the text line by line
// (line break, Backspace, Delete, Tab, block indent) and the composite
// delete commands.

#include <algorithm>

#include "editor/AdvCompletion.h"
#include "editor/AdvEdit.h"

namespace {

// Raises the editor's update counter for a scope without the repaint of EndUpdate.
class QuietScope {
 public:
  explicit QuietScope(TAdvancedEditor& e) : e_(e) { ++e_.UpdateCount; }
  ~QuietScope() { --e_.UpdateCount; }
  QuietScope(const QuietScope&) = delete;
  QuietScope& operator=(const QuietScope&) = delete;

 private:
  TAdvancedEditor& e_;
};

// Opens an undo group and closes it when the scope ends.
class UndoGroup {
 public:
  explicit UndoGroup(TAdvancedEditor& e) : e_(e) { e_.BeginUndoGroup(); }
  ~UndoGroup() { e_.EndUndoGroup(); }
  UndoGroup(const UndoGroup&) = delete;
  UndoGroup& operator=(const UndoGroup&) = delete;

 private:
  TAdvancedEditor& e_;
};

int LeadingBlanks(std::string_view s) {
  int n = 0;
  while (n < static_cast<int>(s.size()) && s[static_cast<std::size_t>(n)] == ' ') ++n;
  return n;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The separators after which typing looks for an auto-change word.
bool IsAutoChangeSeparator(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c > 126 || c == '\\' || c == '|') return false;
  return c == ' ' || (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || c == '[' || c == ']' || c == '^' ||
         c == '_' || c == '`' || c == '{' || c == '}' || c == '~';
}

}  // namespace

// ---------------------------------------------------------------- helpers

void TAdvancedEditor::FinishAt(TCommandFrame& f, int line, int lineColumn) {
  Lines->LineToRow(line, lineColumn, f.Y, f.X);
}

void TAdvancedEditor::RefreshAfterEdit(int line, int oldRowCount, int fromRow) {
  RepaintLineRows(Lines->FirstRow(line));
  if (Lines->RowCount(line) != oldRowCount) {
    RecalcMetrics(false, true);
    RepaintRows(fromRow);
  }
}

int TAdvancedEditor::NextTabStop(int column) const {
  if (TabWidth <= 0) return column;
  if (column < TabWidth) return TabWidth;
  return (column / TabWidth + 1) * TabWidth;
}

int TAdvancedEditor::IndentOfTextAbove(int row) {
  if (!RowExists(row)) return 0;
  int line = 0, k = 0;
  Lines->RowToParagraph(row, line, k);
  const int limit = 2 * VisibleRows + 1;
  for (int i = line, seen = 0; i >= 0 && seen < limit; --i, ++seen) {
    std::string_view s = Lines->LineView(i);
    if (!s.empty()) return LeadingBlanks(s);
  }
  return 0;
}

int TAdvancedEditor::UnindentTarget(int column, int row) {
  std::string_view t = TrimRight(RowExists(row) ? Lines->RowView(row) : std::string_view());
  std::string_view before = t.substr(0, std::min<std::size_t>(t.size(), static_cast<std::size_t>(column)));
  bool textBefore = LeadingBlanks(before) != static_cast<int>(before.size());
  bool insideBlanks = column < static_cast<int>(t.size()) && t[static_cast<std::size_t>(column)] == ' ';
  if (textBefore || insideBlanks) return column - 1;
  // Go back to the indentation of the nearest row above indented less than column - 1.
  int best = 0;
  int p = column - 1;
  for (int r = row - 1, seen = 0; r >= 0 && seen < 2 * VisibleRows && p > 1; --r, ++seen) {
    std::string_view s = Lines->RowView(r);
    int limit = std::min<int>(p, static_cast<int>(s.size()));
    for (int k = 0; k < limit; ++k) {
      if (s[static_cast<std::size_t>(k)] != ' ') {
        if (k <= column) best = std::max(best, k);
        p = k + 1;
        break;
      }
    }
  }
  return best;
}

int TAdvancedEditor::SmartTabStop(int column, int row) {
  TabStopMarks.assign(static_cast<std::size_t>(ColumnCapacity) + 2, 0);
  auto mark = [&](int c) {
    if (c >= 0 && c < ColumnCapacity) TabStopMarks[static_cast<std::size_t>(c)] = 1;
  };
  if (SmartTabs) {
    int m = 1;
    for (int r = row - 1, seen = 0; r >= 0 && seen < 2 * VisibleRows && m < ColumnCapacity / 4; --r, ++seen) {
      std::string_view s = TrimRight(Lines->RowView(r));
      if (!s.empty()) mark(static_cast<int>(s.size()) - 1);
      bool last = false;
      for (int pos = m; pos <= static_cast<int>(s.size()); ++pos) {
        if (s[static_cast<std::size_t>(pos - 1)] == ' ') {
          mark(pos - 1);
          if (pos >= column) last = true;
        }
      }
      m = std::max(m, static_cast<int>(s.size()) + 1);
      if (last) break;
    }
  }
  for (int j = column + 1; j < ColumnCapacity; ++j)
    if (TabStopMarks[static_cast<std::size_t>(j - 1)] && !TabStopMarks[static_cast<std::size_t>(j)]) return j;
  return NextTabStop(column);
}

// ---------------------------------------------------------------- typing

void TAdvancedEditor::TypeChar(TCommandFrame& f, char ch) {
  const bool padded = PadToCaret();
  RecalcMetrics(false, true);
  VertBar->SetValue(TAdvEditScrollBar::kPosition, TopRow);
  if (static_cast<unsigned char>(ch) < 32) {
    if (padded) ChangeNotification();
    return;
  }
  const bool wordChar = TCompletion::IsWordChar(ch);
  if (!wordChar) Completion->KeyTyped(ch);
  DeleteSelection();
  RefreshCaretLine();
  f.CaretOnly = false;

  const int line = CaretLine;
  const int oldRows = Lines->RowCount(line);
  std::string text(Lines->LineView(line));

  // Auto-change: the word before the caret, or the word with the typed separator.
  const auto& pairs = Completion->AutoChangePairs;
  bool replaced = false;
  if (IsAutoChangeSeparator(ch) && !pairs.empty()) {
    const std::size_t shortest = pairs.front().Word.size(), longest = pairs.back().Word.size();
    auto lookup = [&](const std::string& word) -> const TAutoChangeWord* {
      std::string lower = ConvertCase(word, 1);
      for (const auto& p : pairs)
        if (p.Word == lower) return &p;
      return nullptr;
    };
    int b = CaretLineX;
    std::string replacement;
    bool found = false;
    for (int i = CaretLineX - 1; i >= 0 && !found; --i) {
      std::string candidate = text.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(CaretLineX - i));
      if (candidate.size() > longest) break;
      if (candidate.size() < shortest) continue;
      bool withChar = false;
      const TAutoChangeWord* hit = lookup(candidate);
      if (!hit) {
        hit = lookup(candidate + ch);
        withChar = hit != nullptr;
      }
      if (!hit || !(i == 0 || IsAutoChangeSeparator(text[static_cast<std::size_t>(i - 1)]))) continue;
      b = i;
      replacement = hit->Replacement;
      if (!withChar) {
        const TAutoChangeWord* own = lookup(std::string(1, ch));
        replacement += own ? own->Replacement : std::string(1, ch);
      }
      found = true;
    }
    if (!found) {
      if (const TAutoChangeWord* own = lookup(std::string(1, ch))) {
        replacement = own->Replacement;
        found = true;
      }
    }
    if (found) {
      std::string candidate = text.substr(static_cast<std::size_t>(b), static_cast<std::size_t>(CaretLineX - b));
      std::string removed = candidate;
      if (!InsertMode && CaretLineX < static_cast<int>(text.size()))
        removed += text[static_cast<std::size_t>(CaretLineX)];
      int x = 0, y = 0;
      Lines->LineToRow(line, b, y, x);
      {
        UndoGroup group(*this);
        AddUndo<TCaretUndo>(CaretX, CaretY);
        if (!removed.empty() && !text.empty()) AddUndo<TDeleteUndo>(x, y, removed);
        AddUndo<TInsertUndo>(x, y, replacement);
      }
      text.replace(static_cast<std::size_t>(b), removed.size(), replacement);
      Lines->PutQuiet(line, text);
      CaretLineX = b + static_cast<int>(replacement.size());
      replaced = true;
    }
  }

  if (!replaced) {
    std::string row(Lines->RowView(CaretY));
    const std::string typed(1, ch);
    if (InsertMode) {
      AddUndo<TInsertUndo>(CaretX, CaretY, typed);
      row.insert(static_cast<std::size_t>(std::min<int>(CaretX, static_cast<int>(row.size()))), typed);
    } else if (CaretX < static_cast<int>(row.size())) {
      AddUndo<TOverwriteUndo>(CaretX, CaretY, std::string(1, row[static_cast<std::size_t>(CaretX)]), typed);
      row[static_cast<std::size_t>(CaretX)] = ch;
    } else {
      AddUndo<TOverwriteUndo>(CaretX, CaretY, std::string(), typed);
      row += ch;
    }
    Lines->PutRowQuiet(CaretY, row);
    ++CaretLineX;
  }

  int lastPainted = RepaintLineRows(Lines->FirstRow(line));
  if (Lines->RowCount(line) != oldRows) {
    RecalcMetrics(false, true);
    RepaintRows(lastPainted + 1);
  }
  FinishAt(f, line, CaretLineX);
  MoveCaret(f.X, f.Y);
  ChangeNotification();
  if (wordChar) Completion->KeyTyped(ch);
}

// ---------------------------------------------------------------- line break

void TAdvancedEditor::LineBreak(TCommandFrame& f) {
  if (SelAvail) DeleteSelection();
  PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  RefreshCaretLine();
  const int c = CaretLineX, L = CaretLine;
  const std::string T = Lines->Get(L);
  const std::string head = T.substr(0, std::min<std::size_t>(T.size(), static_cast<std::size_t>(c)));
  const std::string original = T.substr(head.size());
  std::string tail = original;
  if (OnNewLine) OnNewLine(*this, T, tail);
  f.CaretOnly = false;

  if (tail == original) {
    int x = 0;
    std::string added;
    if (AutoIndent) {
      x = SmartIndent ? IndentOfTextAbove(f.Y) : IndentColumn;
      if (TrimRight(tail).size() > 0) {
        int lead = LeadingBlanks(tail);
        if (x - lead > 0) {
          added.assign(static_cast<std::size_t>(x - lead), ' ');
          tail.insert(0, added);
        }
      }
    }
    {
      UndoGroup group(*this);
      AddUndo<TInsertUndo>(CaretX, CaretY, "\r\n" + added);
      QuietScope quiet(*this);
      Lines->PutQuiet(L, head);
      Lines->Insert(L + 1, tail);
    }
    f.X = x;
    f.Y = Lines->FirstRow(L + 1);
  } else {
    std::string replacement = head + "\r\n" + tail + "\r\n";
    const int firstRow = Lines->FirstRow(L);
    {
      UndoGroup group(*this);
      AddUndo<TCaretUndo>(CaretX, CaretY);
      AddUndo<TDeleteUndo>(0, firstRow, T + "\r\n");
      AddUndo<TInsertUndo>(0, firstRow, replacement);
    }
    Lines->ReplaceText(Lines->LineStartOffset(L), static_cast<std::int64_t>(T.size()) + 2, replacement);
    f.X = 0;
    f.Y = Lines->FirstRow(L + 1);
  }
  RecalcMetrics(false, true);
  RepaintRows(f.Y);
  ChangeNotification();
}

// ---------------------------------------------------------------- Backspace and Delete

bool TAdvancedEditor::DeleteSelectionFor(TCommandFrame& f) {
  if (!SelAvail) return false;
  DeleteSelection();
  ChangeNotification();
  f.CaretOnly = false;
  f.X = CaretX;
  f.Y = CaretY;
  return true;
}

void TAdvancedEditor::DeleteLeft(TCommandFrame& f) {
  if (DeleteSelectionFor(f)) return;
  const bool padded = PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  RefreshCaretLine();
  int c = CaretLineX;
  const int L = CaretLine;
  const int oldRows = Lines->RowCount(L);
  if (f.X > 0) {
    int target = BackspaceUnindents ? UnindentTarget(f.X, f.Y) : f.X - 1;
    target = std::clamp(target, 0, f.X - 1);
    std::string row(Lines->RowView(f.Y));
    std::string deleted = row.substr(static_cast<std::size_t>(target), static_cast<std::size_t>(f.X - target));
    row.erase(static_cast<std::size_t>(target), deleted.size());
    Lines->PutRowQuiet(f.Y, row);
    c -= static_cast<int>(deleted.size());
    FinishAt(f, L, c);
    AddUndo<TBackspaceUndo>(f.X, f.Y, deleted);
  } else if (f.Y == 0) {
    if (padded) ChangeNotification();
    return;
  } else if (c > 0) {
    std::string text = Lines->Get(L);
    std::string deleted(1, text[static_cast<std::size_t>(c - 1)]);
    text.erase(static_cast<std::size_t>(c - 1), 1);
    Lines->PutQuiet(L, text);
    --c;
    FinishAt(f, L, c);
    AddUndo<TBackspaceUndo>(f.X, f.Y, deleted);
  } else {
    if (L == 0) throw EComplete();
    JoinLines(f, L - 1);
    return;
  }
  f.CaretOnly = false;
  RefreshAfterEdit(L, oldRows, f.Y);
  ChangeNotification();
}

void TAdvancedEditor::DeleteRight(TCommandFrame& f) {
  if (Lines->GetRowCount() == 0) Lines->Add("");
  if (DeleteSelectionFor(f)) return;
  const bool padded = PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  RefreshCaretLine();
  const int c = CaretLineX, L = CaretLine;
  const int oldRows = Lines->RowCount(L);
  std::string row(Lines->RowView(f.Y));
  if (f.X < static_cast<int>(row.size())) {
    AddUndo<TDeleteUndo>(f.X, f.Y, std::string(1, row[static_cast<std::size_t>(f.X)]));
    f.CaretOnly = false;
    row.erase(static_cast<std::size_t>(f.X), 1);
    Lines->PutRowQuiet(f.Y, row);
  } else if (f.Y < 0 || f.Y >= LastRow()) {
    if (padded) ChangeNotification();
    return;
  } else if (c < Lines->LineLength(L)) {
    std::string text = Lines->Get(L);
    AddUndo<TDeleteUndo>(f.X, f.Y, std::string(1, text[static_cast<std::size_t>(c)]));
    f.CaretOnly = false;
    text.erase(static_cast<std::size_t>(c), 1);
    Lines->PutQuiet(L, text);
  } else {
    JoinLines(f, L);
    return;
  }
  FinishAt(f, L, c);
  RefreshAfterEdit(L, oldRows, f.Y);
  ChangeNotification();
}

void TAdvancedEditor::JoinLines(TCommandFrame& f, int i) {
  {
    QuietScope quiet(*this);
    const std::string F = Lines->Get(i);
    const std::string G = Lines->Get(i + 1);
    std::string joined = G;
    if (OnJoinLines) OnJoinLines(*this, F, joined);
    f.CaretOnly = false;
    const int firstRow = Lines->FirstRow(i);
    {
      UndoGroup group(*this);
      AddUndo<TCaretUndo>(CaretX, CaretY);
      AddUndo<TDeleteUndo>(0, firstRow, F + "\r\n" + G + "\r\n");
      AddUndo<TInsertUndo>(0, firstRow, F + joined + "\r\n");
    }
    Lines->PutQuiet(i, F + joined);
    Lines->Delete(i + 1);
    FinishAt(f, i, static_cast<int>(F.size()));
  }
  RecalcMetrics(false, true);
  RepaintRows(f.Y);
  ChangeNotification();
}

// ---------------------------------------------------------------- Tab and block indent

void TAdvancedEditor::TabCommand(TCommandFrame& f, bool back) {
  if (SelAvail) {
    PostCommand(back ? cmdUnindentSelection : cmdIndentSelection);
    return;
  }
  const bool padded = PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  const int target = back ? NextTabStop(f.X) : SmartTabStop(f.X, f.Y);
  if (back || !InsertMode || target <= f.X) {
    f.X = target;
    if (padded) ChangeNotification();
    return;
  }
  RefreshCaretLine();
  const int L = CaretLine;
  const int oldRows = Lines->RowCount(L);
  std::string blanks(static_cast<std::size_t>(target - f.X), ' ');
  AddUndo<TInsertTabUndo>(f.X, f.Y, blanks);
  f.CaretOnly = false;
  std::string row(Lines->RowView(f.Y));
  row.insert(static_cast<std::size_t>(std::min<int>(f.X, static_cast<int>(row.size()))), blanks);
  Lines->PutRowQuiet(f.Y, row);
  FinishAt(f, L, CaretLineX + static_cast<int>(blanks.size()));
  RefreshAfterEdit(L, oldRows, f.Y);
  ChangeNotification();
}

void TAdvancedEditor::IndentCommand(TCommandFrame& f, bool indent) {
  if (!SelAvail) return;
  // A selection left on rows that no longer exist selects nothing.
  if (!RowExists(SelStartY) || !RowExists(SelEndY)) {
    if (window_) window_->Beep();
    return;
  }
  int first = 0, last = 0, startColumn = 0, endColumn = 0;
  Lines->RowToLine(SelStartX, SelStartY, startColumn, first);
  Lines->RowToLine(SelEndX, SelEndY, endColumn, last);
  if (endColumn == 0) {
    --last;
    Lines->LineToRow(last, Lines->LineLength(last), SelEndY, SelEndX);
  }
  BeginUndoGroup();
  AddUndo<TSelectUndo>(CaretX, CaretY, Selection());
  if (indent) {
    AddUndo<TIndentUndo>(first, last, BlockIndent);
    EndUndoGroup();
  }
  f.CaretOnly = false;
  const int d = indent ? BlockIndent : -BlockIndent;
  int processed = 0;
  Lines->BeginUpdate();
  for (int i = first; i <= last; ++i) {
    if (indent) {
      Lines->Put(i, std::string(static_cast<std::size_t>(std::max(BlockIndent, 0)), ' ') + Lines->Get(i));
      ++processed;
    } else if (BlockIndent > 0) {
      std::string text = Lines->Get(i);
      int n = std::min(LeadingBlanks(text), BlockIndent);
      text.erase(0, static_cast<std::size_t>(n));
      Lines->Put(i, text);
      AddUndo<TUnindentUndo>(i, n);
      ++processed;
    }
  }
  Lines->EndUpdate();
  if (!indent) {
    if (processed > 0) {
      EndUndoGroup();
    } else {
      UndoBuffer->RemoveLast();
      UndoBuffer->RemoveLast();
      --GroupDepth;
    }
  }
  if (processed > 0) {
    SelStartX = std::max(0, SelStartX + d);
    SelEndX += d;
    if (SelEndX < 0) SelEndX = Lines->LineLength(last);
    int caretLine = 0, k = 0;
    Lines->RowToParagraph(f.Y, caretLine, k);
    if (caretLine >= first && caretLine <= last) f.X = std::max(0, f.X + d);
    ChangeNotification();
  }
  SelAvail = true;
}

// ---------------------------------------------------------------- composite deletes

void TAdvancedEditor::DeleteLineCommand(TCommandFrame& f) {
  if (f.Y < 0 || f.Y > LastRow()) return;
  int line = 0, k = 0;
  Lines->RowToParagraph(f.Y, line, k);
  const bool withBreak = !WordWrap() || k == Lines->RowCount(line) - 1;
  RunAll({cmdBeginGroup, cmdBeginUpdate, cmdLineStart, cmdSelectLineEnd, cmdDeleteSelection});
  if (withBreak) ExecuteCommand(cmdDeleteRight);
  RunAll({cmdEndUpdate, cmdEndGroup});
  throw EComplete();
}

void TAdvancedEditor::DeleteWordRightCommand(TCommandFrame& f) {
  if (RowExists(f.Y) && RowLength(f.Y) > 0) {
    RunAll({cmdBeginGroup, cmdBeginUpdate, cmdSelectWordRight, cmdDeleteSelection, cmdEndUpdate, cmdEndGroup});
    throw EComplete();
  }
  ExecuteCommand(cmdDeleteRight);
}

void TAdvancedEditor::DeleteWordLeftCommand(TCommandFrame& f) {
  if (!RowExists(f.Y) || RowLength(f.Y) == 0) {
    ExecuteCommand(cmdDeleteLeft);
  } else {
    RunAll({cmdBeginGroup, cmdBeginUpdate, cmdSelectWordLeft, cmdDeleteSelection, cmdEndUpdate, cmdEndGroup});
  }
  throw EComplete();
}
