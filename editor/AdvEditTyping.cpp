// TAdvancedEditor: typing and the commands that change the text line by line
// (line break, Backspace, Delete, Tab, block indent) and the composite
// delete commands.

#include <algorithm>

#include "editor/AdvCompletion.h"
#include "editor/AdvEdit.h"
#include "editor/TextEncoding.h"
#include "editor/TextColumns.h"
#include "editor/Utf8.h"

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
  return c == ' ' || (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || c == '[' || c == ']' || c == '^' || c == '_' ||
         c == '`' || c == '{' || c == '}' || c == '~';
}

}  // namespace

// ---------------------------------------------------------------- helpers

void TAdvancedEditor::FinishAt(TCommandFrame& f, int line, int lineColumn) {
  Lines->LineToRow(line, lineColumn, f.Y, f.X);
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
  if (textBefore || insideBlanks) return Utf8() ? PrevPos(row, column) : column - 1;
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

std::string_view TAdvancedEditor::ColumnGrid(std::string_view row, std::string& scratch) const {
  if (!Utf8() || utf8::FindNonAscii(row, 0) >= row.size()) return row;
  scratch.clear();
  const int n = static_cast<int>(row.size());
  for (int p = 0; p < n;) {
    const int next = textcol::NextChar(encoding_, row, p);
    if (row[static_cast<std::size_t>(p)] == ' ' && next == p + 1) {
      scratch.push_back(' ');
    } else {
      const auto part = row.substr(static_cast<std::size_t>(p), static_cast<std::size_t>(next - p));
      scratch.append(static_cast<std::size_t>(textcol::Columns(encoding_, part)), 'x');
    }
    p = next;
  }
  return scratch;
}

int TAdvancedEditor::SmartTabStop(int column, int row) {
  tabStopMarks_.assign(static_cast<std::size_t>(ColumnCapacity) + 2, 0);
  auto mark = [&](int c) {
    if (c >= 0 && c < ColumnCapacity) tabStopMarks_[static_cast<std::size_t>(c)] = 1;
  };
  if (SmartTabs) {
    int m = 1;
    std::string grid;
    for (int r = row - 1, seen = 0; r >= 0 && seen < 2 * VisibleRows && m < ColumnCapacity / 4; --r, ++seen) {
      std::string_view s = TrimRight(ColumnGrid(Lines->RowView(r), grid));
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
    if (tabStopMarks_[static_cast<std::size_t>(j - 1)] && !tabStopMarks_[static_cast<std::size_t>(j)]) return j;
  return NextTabStop(column);
}

// ---------------------------------------------------------------- typing

void TAdvancedEditor::TypeChar(TCommandFrame& f, std::string_view typed) {
  PadToCaret();
  const char ch = typed.front();
  if (static_cast<unsigned char>(ch) < 32) return;
  const bool wordChar = TCompletion::IsWordChar(ch, encoding_);
  if (!wordChar) Completion->KeyTyped(ch);
  DeleteSelection();
  RefreshCaretLine();
  f.CaretOnly = false;

  const int line = CaretLine;
  // Read before the edit only: the view ends with the change.
  const std::string_view text = Lines->LineView(line);

  // Auto-change: the word before the caret, or the word with the typed separator.
  const auto& pairs = Completion->AutoChangePairs;
  bool replaced = false;
  if (typed.size() == 1 && IsAutoChangeSeparator(ch) && !pairs.empty()) {
    const std::size_t shortest = pairs.front().Word.size(), longest = pairs.back().Word.size();
    auto lookup = [&](const std::string& word) -> const TAutoChangeWord* {
      std::string lower = ConvertCase(word, cmLower);
      for (const auto& p : pairs)
        if (p.Word == lower) return &p;
      return nullptr;
    };
    int b = CaretLineX;
    std::string replacement;
    bool found = false;
    for (int i = CaretLineX - 1; i >= 0 && !found; --i) {
      // A word starts at a character, never inside one.
      if (Utf8() && i < static_cast<int>(text.size()) &&
          (static_cast<unsigned char>(text[static_cast<std::size_t>(i)]) & 0xC0) == 0x80)
        continue;
      std::string candidate(text.substr(static_cast<std::size_t>(i), static_cast<std::size_t>(CaretLineX - i)));
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
      std::string candidate(text.substr(static_cast<std::size_t>(b), static_cast<std::size_t>(CaretLineX - b)));
      std::string removed = candidate;
      if (!InsertMode && CaretLineX < static_cast<int>(text.size())) {
        const int next = textcol::NextChar(encoding_, text, CaretLineX);
        removed += text.substr(static_cast<std::size_t>(CaretLineX), static_cast<std::size_t>(next - CaretLineX));
      }
      int x = 0, y = 0;
      Lines->LineToRow(line, b, y, x);
      {
        UndoGroup group(*this);
        Record(TUndoKind::Caret, CaretX, CaretY);
        const std::int64_t at = Lines->LineStartOffset(line) + b;
        if (!removed.empty()) Edit(TUndoKind::Delete, x, y, at, static_cast<std::int64_t>(removed.size()), "");
        Edit(TUndoKind::Insert, x, y, at, 0, replacement);
      }
      CaretLineX = b + static_cast<int>(replacement.size());
      replaced = true;
    }
  }

  if (!replaced) {
    const std::int64_t at = PosToOffset(CaretX, CaretY);
    if (InsertMode) {
      Edit(TUndoKind::Insert, CaretX, CaretY, at, 0, typed);
    } else {
      // One character over one character, whatever their lengths.
      const int over = CaretX < RowLength(CaretY) ? NextPos(CaretY, CaretX) - CaretX : 0;
      Edit(TUndoKind::Overwrite, CaretX, CaretY, at, over, typed);
    }
    CaretLineX += static_cast<int>(typed.size());
  }

  FinishAt(f, line, CaretLineX);
  // A character typed before a combining mark takes it: the caret goes after both.
  f.X = SnapForward(f.Y, f.X);
  MoveCaret(f.X, f.Y);
  // Given to the completion engine once the change is told.
  if (wordChar) f.TypedWordChar = ch;
}

void TAdvancedEditor::TypeCharacterCommand(TCommandFrame& f) {
  const char32_t ch = typedChar_;
  char bytes[4] = {};
  if (ch < 0x80) return TypeChar(f, std::string_view(bytes, static_cast<std::size_t>(utf8::Encode(ch, bytes))));
  if (Utf8()) {
    if (!utf8::Encodable(ch)) return RefuseChar(ch);
    return TypeChar(f, std::string_view(bytes, static_cast<std::size_t>(utf8::Encode(ch, bytes))));
  }
  if (const int b = Windows1252Byte(ch); b >= 0) {
    bytes[0] = static_cast<char>(b);
    return TypeChar(f, std::string_view(bytes, 1));
  }
  if (!utf8::Encodable(ch) || !CanPromoteToUtf8()) return RefuseChar(ch);
  // The document becomes UTF-8 with the character: one undo step.
  UndoGroup group(*this);
  PromoteToUtf8();
  f.CaretOnly = false;
  TypeChar(f, std::string_view(bytes, static_cast<std::size_t>(utf8::Encode(ch, bytes))));
}

bool TAdvancedEditor::CanPromoteToUtf8() const { return !Utf8() && !Lines->AssignedHighBytes(); }

void TAdvancedEditor::PromoteToUtf8() {
  if (Utf8()) return;
  TEditScope scope(*this);
  // Where the caret and the selection stand, as (line, position in the line).
  struct Place {
    int* x;
    int* y;
    int line = 0, column = 0;
  };
  Place places[] = {{&CaretX, &CaretY}, {&SelStartX, &SelStartY}, {&SelEndX, &SelEndY}, {&SelAnchorX, &SelAnchorY}};
  for (Place& p : places) {
    if (RowExists(*p.y)) {
      Lines->RowToLine(*p.x, *p.y, p.column, p.line);
    } else {
      p.line = Lines->Count() + *p.y - Lines->GetRowCount();
      p.column = *p.x;
    }
  }
  // Undo takes the caret and the selection back to where they were.
  Record(SelAvail ? TUndoKind::Select : TUndoKind::Caret, CaretX, CaretY);
  auto encoded = [](std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x80) {
        out.push_back(c);
        continue;
      }
      char bytes[4];
      out.append(bytes, static_cast<std::size_t>(utf8::Encode(Windows1252Char(b), bytes)));
    }
    return out;
  };
  std::vector<int> lines;
  int index = 0;
  Lines->ForEachLineView(0, Lines->Count(), [&](std::string_view text) {
    if (utf8::FindNonAscii(text, 0) < text.size()) lines.push_back(index);
    ++index;
    return true;
  });
  // The places' new positions, from the lines as they are now.
  for (Place& p : places) {
    const std::string_view text = Lines->LineView(p.line);
    const int inside = std::clamp(p.column, 0, static_cast<int>(text.size()));
    p.column = static_cast<int>(encoded(text.substr(0, static_cast<std::size_t>(inside))).size()) + p.column - inside;
  }
  SetEncoding(TTextEncoding::Utf8);
  TTextChange& c = tx_.Changes.emplace_back();
  c.Undoable = true;
  c.Kind = TUndoKind::Encoding;
  c.OldEncoding = TTextEncoding::Windows1252;
  c.NewEncoding = TTextEncoding::Utf8;
  for (int line : lines) {
    const std::string text = encoded(Lines->LineView(line));
    const int firstRow = Lines->FirstRow(line);
    Edit(TUndoKind::Replace, 0, firstRow, Lines->LineStartOffset(line), Lines->LineLength(line), text);
  }
  for (Place& p : places) {
    if (p.line < Lines->Count()) {
      Lines->LineToRow(p.line, p.column, *p.y, *p.x);
    } else {
      *p.y = Lines->GetRowCount() + p.line - Lines->Count();
      *p.x = p.column;
    }
  }
  PlaceSystemCaret();
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
      Edit(TUndoKind::Insert, CaretX, CaretY, Lines->LineStartOffset(L) + static_cast<std::int64_t>(head.size()), 0,
           "\r\n" + added);
    }
    f.X = x;
    f.Y = Lines->FirstRow(L + 1);
  } else {
    std::string replacement = head + "\r\n" + tail + "\r\n";
    const int firstRow = Lines->FirstRow(L);
    {
      UndoGroup group(*this);
      Record(TUndoKind::Caret, CaretX, CaretY);
      const std::int64_t start = Lines->LineStartOffset(L);
      Edit(TUndoKind::Delete, 0, firstRow, start, static_cast<std::int64_t>(T.size()) + 2, "");
      Edit(TUndoKind::Insert, 0, firstRow, start, 0, replacement);
    }
    f.X = 0;
    f.Y = Lines->FirstRow(L + 1);
  }
}

// ---------------------------------------------------------------- Backspace and Delete

bool TAdvancedEditor::DeleteSelectionFor(TCommandFrame& f) {
  if (!SelAvail) return false;
  DeleteSelection();
  f.CaretOnly = false;
  f.X = CaretX;
  f.Y = CaretY;
  return true;
}

void TAdvancedEditor::DeleteLeft(TCommandFrame& f) {
  if (DeleteSelectionFor(f)) return;
  PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  RefreshCaretLine();
  int c = CaretLineX;
  const int L = CaretLine;
  if (f.X > 0) {
    int target = BackspaceUnindents ? UnindentTarget(f.X, f.Y) : PrevPos(f.Y, f.X);
    target = std::clamp(target, 0, f.X - 1);
    Edit(TUndoKind::Backspace, -1, -1, PosToOffset(target, f.Y), f.X - target, "");
    c -= f.X - target;
    FinishAt(f, L, c);
  } else if (f.Y == 0) {
    return;
  } else if (c > 0) {
    const int before = textcol::PrevChar(encoding_, Lines->LineView(L), c);
    Edit(TUndoKind::Backspace, -1, -1, Lines->LineStartOffset(L) + before, c - before, "");
    c = before;
    FinishAt(f, L, c);
  } else {
    if (L == 0) throw EComplete();
    JoinLines(f, L - 1);
    return;
  }
  f.CaretOnly = false;
}

void TAdvancedEditor::DeleteRight(TCommandFrame& f) {
  if (Lines->GetRowCount() == 0) Lines->Add("");
  if (DeleteSelectionFor(f)) return;
  PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  RefreshCaretLine();
  const int c = CaretLineX, L = CaretLine;
  if (f.X < RowLength(f.Y)) {
    Edit(TUndoKind::Delete, f.X, f.Y, PosToOffset(f.X, f.Y), NextPos(f.Y, f.X) - f.X, "");
    f.CaretOnly = false;
  } else if (f.Y < 0 || f.Y >= LastRow()) {
    return;
  } else if (c < Lines->LineLength(L)) {
    Edit(TUndoKind::Delete, f.X, f.Y, Lines->LineStartOffset(L) + c,
         textcol::NextChar(encoding_, Lines->LineView(L), c) - c, "");
    f.CaretOnly = false;
  } else {
    JoinLines(f, L);
    return;
  }
  FinishAt(f, L, c);
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
      Record(TUndoKind::Caret, CaretX, CaretY);
      const std::int64_t start = Lines->LineStartOffset(i);
      Edit(TUndoKind::Delete, 0, firstRow, start, static_cast<std::int64_t>(F.size() + G.size()) + 4, "");
      Edit(TUndoKind::Insert, 0, firstRow, start, 0, F + joined + "\r\n");
    }
    FinishAt(f, i, static_cast<int>(F.size()));
  }
}

// ---------------------------------------------------------------- Tab and block indent

void TAdvancedEditor::TabCommand(TCommandFrame& f, bool back) {
  if (SelAvail) {
    PostCommand(back ? cmdUnindentSelection : cmdIndentSelection);
    return;
  }
  PadToCaret();
  f.X = CaretX;
  f.Y = CaretY;
  // Tab stops are columns.
  const int column = ColumnAt(f.Y, f.X);
  const int target = back ? NextTabStop(column) : SmartTabStop(column, f.Y);
  if (back || !InsertMode || target <= column) {
    f.X = Utf8() ? PosAtColumn(f.Y, target) : target;
    return;
  }
  RefreshCaretLine();
  const int L = CaretLine;
  const std::string blanks(static_cast<std::size_t>(target - column), ' ');
  Edit(TUndoKind::InsertTab, f.X, f.Y, PosToOffset(f.X, f.Y), 0, blanks);
  f.CaretOnly = false;
  FinishAt(f, L, CaretLineX + static_cast<int>(blanks.size()));
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
  Record(TUndoKind::Select, CaretX, CaretY);
  f.CaretOnly = false;
  const int d = indent ? BlockIndent : -BlockIndent;
  int processed = 0;
  Lines->BeginUpdate();
  if (indent) {
    IndentLines(first, last, BlockIndent);
    EndUndoGroup();
    processed = std::max(last - first + 1, 0);
  } else if (BlockIndent > 0) {
    for (int i = first; i <= last; ++i, ++processed) UnindentLine(i, BlockIndent);
  }
  Lines->EndUpdate();
  if (!indent) {
    if (processed > 0) {
      EndUndoGroup();
    } else {
      DropPendingRecords(2);
      --GroupDepth;
    }
  }
  if (processed > 0) {
    // The anchor is one of the ends: it moves with it.
    const bool anchoredAtStart = SelAnchorX == SelStartX && SelAnchorY == SelStartY;
    // Blanks before a combining mark take it: the ends stay on whole characters.
    SelStartX = SnapPos(SelStartY, std::max(0, SelStartX + d));
    SelEndX += d;
    if (SelEndX < 0) SelEndX = Lines->LineLength(last);
    SelEndX = SnapForward(SelEndY, SelEndX);
    SelAnchorX = anchoredAtStart ? SelStartX : SelEndX;
    SelAnchorY = anchoredAtStart ? SelStartY : SelEndY;
    int caretLine = 0, k = 0;
    Lines->RowToParagraph(f.Y, caretLine, k);
    if (caretLine >= first && caretLine <= last) f.X = std::max(0, f.X + d);
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
