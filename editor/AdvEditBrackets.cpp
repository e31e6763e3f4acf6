// Matching brackets: finding a bracket's partner, the marks the painter
// draws on the bracket at the caret and its partner, and the jump between them.

#include "editor/AdvEditBrackets.h"

#include <algorithm>

#include "editor/AdvEdit.h"
#include "editor/AdvLines.h"

namespace brackets {
namespace {

// The partner of an opening or closing bracket; 0 for any other byte.
char PartnerOf(char c) {
  switch (c) {
    case '(': return ')';
    case ')': return '(';
    case '[': return ']';
    case ']': return '[';
    case '{': return '}';
    case '}': return '{';
    default: return 0;
  }
}

bool Opening(char c) { return c == '(' || c == '[' || c == '{'; }

bool IsCode(const std::vector<std::uint8_t>& notCode, int pos) {
  return static_cast<std::size_t>(pos) >= notCode.size() || notCode[static_cast<std::size_t>(pos)] == 0;
}

}  // namespace

bool IsBracket(char c) { return PartnerOf(c) != 0; }

namespace {

// Partner, with the mask of at's line given when `known`.
TTextSpot PartnerWith(const TAdvLines& lines, const TCodeMask& mask, TTextSpot at, std::int64_t budget,
                      std::vector<std::uint8_t>& notCode, bool known) {
  if (at.Line < 0 || at.Line >= lines.Count()) return {};
  if (!known && mask) mask(at.Line, notCode);
  std::string_view text = lines.LineView(at.Line);
  if (at.Pos < 0 || at.Pos >= static_cast<int>(text.size())) return {};
  const char self = text[static_cast<std::size_t>(at.Pos)];
  const char other = PartnerOf(self);
  if (!other || !IsCode(notCode, at.Pos)) return {};
  const int step = Opening(self) ? 1 : -1;
  int depth = 1;
  int pos = at.Pos + step;
  for (int line = at.Line;;) {
    budget -= static_cast<std::int64_t>(text.size()) + 2;
    for (; pos >= 0 && pos < static_cast<int>(text.size()); pos += step) {
      const char c = text[static_cast<std::size_t>(pos)];
      if ((c != self && c != other) || !IsCode(notCode, pos)) continue;
      depth += c == self ? 1 : -1;
      if (depth == 0) return {line, pos};
    }
    line += step;
    if (budget < 0 || line < 0 || line >= lines.Count()) return {};
    notCode.clear();
    if (mask) mask(line, notCode);
    text = lines.LineView(line);
    pos = step > 0 ? 0 : static_cast<int>(text.size()) - 1;
  }
}

TTextSpot AtCaretWith(const TAdvLines& lines, const TCodeMask& mask, int line, int pos,
                      std::vector<std::uint8_t>& notCode, bool& known) {
  if (line < 0 || line >= lines.Count()) return {};
  const std::string_view text = lines.LineView(line);
  const bool after = pos >= 0 && pos < static_cast<int>(text.size()) && IsBracket(text[static_cast<std::size_t>(pos)]);
  const bool before = pos > 0 && pos <= static_cast<int>(text.size()) && IsBracket(text[static_cast<std::size_t>(pos) - 1]);
  if (!after && !before) return {};
  if (mask) mask(line, notCode);
  known = true;
  if (after && IsCode(notCode, pos)) return {line, pos};
  if (before && IsCode(notCode, pos - 1)) return {line, pos - 1};
  return {};
}

}  // namespace

TTextSpot Partner(const TAdvLines& lines, const TCodeMask& mask, TTextSpot at, std::int64_t budget) {
  std::vector<std::uint8_t> notCode;
  return PartnerWith(lines, mask, at, budget, notCode, false);
}

TTextSpot AtCaret(const TAdvLines& lines, const TCodeMask& mask, int line, int pos) {
  std::vector<std::uint8_t> notCode;
  bool known = false;
  return AtCaretWith(lines, mask, line, pos, notCode, known);
}

TPair PairAtCaret(const TAdvLines& lines, const TCodeMask& mask, int line, int pos, std::int64_t budget) {
  std::vector<std::uint8_t> notCode;
  bool known = false;
  const TTextSpot at = AtCaretWith(lines, mask, line, pos, notCode, known);
  if (!at.Valid()) return {};
  const TTextSpot partner = PartnerWith(lines, mask, at, budget, notCode, known);
  if (!partner.Valid()) return {};
  return {at, partner};
}

}  // namespace brackets

void TAdvancedEditor::SetBracketHighlight(bool on) {
  bracketHighlight_ = on;
  UpdateBracketMarks();
}

void TAdvancedEditor::UpdateBracketMarks() {
  TTextSpot marks[2];
  if (bracketHighlight_ && RowExists(CaretY)) {
    int lineX = 0, line = 0;
    Lines->RowToLine(CaretX, CaretY, lineX, line);
    const brackets::TPair pair = brackets::PairAtCaret(*Lines, BracketCodeMask, line, lineX);
    marks[0] = pair.At;
    marks[1] = pair.Partner;
  }
  if (marks[0] == bracketMarks_[0] && marks[1] == bracketMarks_[1]) return;
  TTextSpot was[2] = {bracketMarks_[0], bracketMarks_[1]};
  bracketMarks_[0] = marks[0];
  bracketMarks_[1] = marks[1];
  if (UpdateCount > 0 || !window_) return;
  // The rows of the lines that lose or gain a mark, each once.
  int painted[4];
  int n = 0;
  for (const TTextSpot& s : {was[0], was[1], marks[0], marks[1]}) {
    if (!s.Valid() || s.Line >= Lines->Count()) continue;
    int row = 0, rowColumn = 0;
    Lines->LineToRow(s.Line, s.Pos, row, rowColumn);
    if (row < TopRow - 1 || row > BottomRow + 1 || std::find(painted, painted + n, row) != painted + n) continue;
    painted[n++] = row;
    PaintRow(row, 0, -1);
  }
}

bool TAdvancedEditor::GotoMatchingBracket() {
  int lineX = 0, line = -1;
  if (RowExists(CaretY)) Lines->RowToLine(CaretX, CaretY, lineX, line);
  const auto [at, partner] = brackets::PairAtCaret(*Lines, BracketCodeMask, line, lineX);
  if (!partner.Valid()) {
    if (window_) window_->Beep();
    return false;
  }
  // The caret keeps its side: before the bracket it stood before, after the one it followed.
  const int pos = at.Pos == lineX ? partner.Pos : partner.Pos + 1;
  int row = 0, rowColumn = 0;
  Lines->LineToRow(partner.Line, pos, row, rowColumn);
  {
    TEditScope edit(*this);
    Unselect();
    MoveCaretUndoable(rowColumn, row);
  }
  UpdateBracketMarks();
  return true;
}

std::size_t TAdvancedEditor::BracketMarkIn(int line, int which) const {
  const TTextSpot& s = bracketMarks_[which];
  return s.Line == line ? static_cast<std::size_t>(s.Pos) : static_cast<std::size_t>(-1);
}
