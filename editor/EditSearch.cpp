#include "editor/EditSearch.h"

#include <algorithm>
#include <charconv>

#include "editor/AdvEdit.h"
#include "editor/TextEncoding.h"
#include "editor/Utf8.h"

namespace {

// The flat offsets of the selection's ends, or of the caret twice.
void SelectionRange(const TAdvancedEditor& e, std::int64_t& from, std::int64_t& to) {
  auto at = [&](int x, int y) {
    if (e.RowExists(y)) x = std::min(x, e.RowLength(y));
    return e.PosToOffset(x, y);
  };
  if (e.SelAvail) {
    from = at(e.SelStartX, e.SelStartY);
    to = at(e.SelEndX, e.SelEndY);
    if (to < from) std::swap(from, to);
  } else {
    from = to = at(e.CaretX, e.CaretY);
  }
}

std::int64_t TextEnd(const TAdvancedEditor& e) { return e.Lines->Count() == 0 ? 0 : e.Lines->TextLength() - 2; }

// Brings row `row` into the middle of the view when it is out of view.
void CentreIfAway(TAdvancedEditor& e, int row) {
  if (row >= e.TopRow && row <= e.BottomRow) return;
  e.ScrollTo(e.LeftCol, std::max(0, row - e.VisibleRows / 2));
}

// Selects [offset, end) with the caret at the end.
void Select(TAdvancedEditor& e, std::int64_t offset, std::int64_t end) {
  const platform::Point s = e.OffsetToPos(offset), t = e.OffsetToPos(end);
  e.RepaintSelectionRows();
  CentreIfAway(e, t.y);
  e.RestoreSelection({0, s.x, s.y, t.x, t.y}, s.x, s.y);
  e.SetSelAvail(end > offset);
  e.MoveCaret(t.x, t.y);
  e.RepaintSelectionRows();
}

// UTF-8 text from outside as the document's bytes: a UTF-8 document takes
// it as it is; in a Windows-1252 one a character the code page has no byte
// for is noted in `unmappable` (the first one), and the replacement made with
// it is not used: the document becomes UTF-8 first, or the edit is refused.
std::string DocumentText(const TAdvancedEditor& e, std::string_view text, char32_t& unmappable) {
  if (e.Utf8()) return std::string(text);
  return Windows1252FromUtf8(text, unmappable == 0 ? &unmappable : nullptr);
}

// A replacement that holds a character the document has no byte for: as
// typing and pasting do, the document becomes UTF-8 when it can (opening
// the undo group the replacement closes), else the character is refused.
// False when refused.
bool MakeRoomFor(TAdvancedEditor& e, char32_t ch) {
  if (!utf8::Encodable(ch) || !e.CanPromoteToUtf8()) {
    e.RefuseChar(ch);
    return false;
  }
  e.BeginUndoGroup();
  e.PromoteToUtf8();
  return true;
}

struct TGroupCloser {
  TAdvancedEditor& e;
  bool open = false;
  ~TGroupCloser() {
    if (open) e.EndUndoGroup();
  }
};

// One replacement of the text as an undo step of its own.
void Replace(TAdvancedEditor& e, std::int64_t offset, std::int64_t length, std::string text) {
  TAdvancedEditor::TEditScope scope(e);
  e.BeginUndoGroup();
  struct Closer {
    TAdvancedEditor& e;
    ~Closer() { e.EndUndoGroup(); }
  } closer{e};
  e.EditTaking(TUndoKind::Replace, e.CaretX, e.CaretY, offset, length, std::move(text));
}

}  // namespace

TFindOutcome FindAgain(TAdvancedEditor& e, const TTextSearch& search, bool backwards, bool wrap) {
  TFindOutcome out;
  std::int64_t from = 0, to = 0;
  SelectionRange(e, from, to);
  TTextMatch m;
  const TAdvLines& lines = *e.Lines;
  if (backwards) {
    out.Found = search.FindBackward(lines, e.Encoding(), 0, from, m);
    if (!out.Found && wrap) out.Found = out.Wrapped = search.FindBackward(lines, e.Encoding(), 0, TextEnd(e) + 1, m);
  } else {
    out.Found = search.FindForward(lines, e.Encoding(), to, TextEnd(e), true, m);
    if (!out.Found && wrap) out.Found = out.Wrapped = search.FindForward(lines, e.Encoding(), 0, TextEnd(e), false, m);
  }
  if (out.Found) Select(e, m.Offset, m.End());
  return out;
}

bool ReplaceSelectedMatch(TAdvancedEditor& e, const TTextSearch& search, std::string_view replacement, bool backwards,
                          bool wrap, TFindOutcome& next) {
  bool replaced = false;
  std::int64_t from = 0, to = 0;
  SelectionRange(e, from, to);
  if (!e.ReadOnly && e.SelAvail && search.MatchesAt(*e.Lines, e.Encoding(), from, to - from)) {
    char32_t unmappable = 0;
    std::string text = search.Replacement(*e.Lines, e.Encoding(), {from, to - from}, replacement,
                                          [&](std::string_view s) { return DocumentText(e, s, unmappable); });
    TGroupCloser group{e};
    if (unmappable != 0) {
      if (!MakeRoomFor(e, unmappable)) {
        next = {};
        next.Refused = true;
        return false;
      }
      group.open = true;
      SelectionRange(e, from, to);  // the match in the document's UTF-8
      text = search.Replacement(*e.Lines, e.Encoding(), {from, to - from}, replacement,
                                [&](std::string_view s) { return DocumentText(e, s, unmappable); });
    }
    const std::int64_t caret = backwards ? from : from + static_cast<std::int64_t>(text.size());
    Replace(e, from, to - from, text);
    Select(e, caret, caret);
    replaced = true;
  }
  next = FindAgain(e, search, backwards, wrap);
  return replaced;
}

std::int64_t ReplaceAllMatches(TAdvancedEditor& e, const TTextSearch& search, std::string_view replacement,
                               bool inSelection) {
  if (e.ReadOnly) return 0;
  std::int64_t from = 0, to = 0;
  auto range = [&] {
    from = 0;
    to = TextEnd(e);
    if (inSelection) SelectionRange(e, from, to);
  };
  range();
  if (inSelection && from == to) return 0;
  char32_t unmappable = 0;
  TReplaced r = search.ReplaceAll(*e.Lines, e.Encoding(), from, to, replacement,
                                  [&](std::string_view s) { return DocumentText(e, s, unmappable); });
  if (r.Count == 0) return 0;
  TGroupCloser group{e};
  if (unmappable != 0) {
    if (!MakeRoomFor(e, unmappable)) return kReplaceRefused;
    group.open = true;
    range();  // the same matches, in the document's UTF-8
    r = search.ReplaceAll(*e.Lines, e.Encoding(), from, to, replacement,
                          [&](std::string_view s) { return DocumentText(e, s, unmappable); });
  }
  const std::int64_t grown = static_cast<std::int64_t>(r.Text.size()) - r.Length;
  const std::int64_t end = r.Offset + static_cast<std::int64_t>(r.Text.size());
  Replace(e, r.Offset, r.Length, std::move(r.Text));
  if (inSelection) {
    Select(e, from, to + grown);
  } else {
    Select(e, end, end);
  }
  return r.Count;
}

void GoToLine(TAdvancedEditor& e, int line, int column) {
  const int count = e.Lines->Count();
  if (count == 0) return;
  line = std::clamp(line - 1, 0, count - 1);
  column = std::clamp(column - 1, 0, e.Lines->LineLength(line));
  int row = 0, x = 0;
  e.Lines->LineToRow(line, column, row, x);
  if (e.SelAvail) e.Unselect();
  CentreIfAway(e, row);
  e.MoveCaretUndoable(x, row);
}

bool ParseLineColumn(std::string_view text, int& line, int& column) {
  auto trim = [](std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
  };
  auto number = [](std::string_view s, int& n) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    return ec == std::errc() && end == s.data() + s.size() && n >= 1;
  };
  text = trim(text);
  const std::size_t colon = text.find(':');
  column = 0;
  if (colon == std::string_view::npos) return number(text, line);
  return number(trim(text.substr(0, colon)), line) && number(trim(text.substr(colon + 1)), column);
}
