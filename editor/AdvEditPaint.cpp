// TAdvancedEditor: painting rows into the row bitmap, the gutter and the caret.
//
// Every row is drawn into the one-row bitmap RowBitmap and copied to the
// window once it is finished, so a row never flickers and never draws outside
// its own strip. Characters sit in fixed cells of CharWidth x CharHeight;
// runs of equal attributes go to the canvas in one DrawText call. In a UTF-8
// document a row holding characters outside ASCII is drawn by character:
// each in the cells of its columns (two for a wide one), with the colours
// and selection flag of its first byte.

#include <algorithm>

#include "editor/AdvEdit.h"
#include "editor/TextColumns.h"
#include "editor/Utf8.h"

namespace {

void ShowGlyphs(std::string& text, bool lineEnd) {
  std::replace(text.begin(), text.end(), ' ', kVisibleSpace);
  if (lineEnd) text.push_back(kLineEndMark);
}

}  // namespace

void TAdvancedEditor::Paint(const platform::Rect& clip) {
  if (UpdateCount > 0 || !window_ || !RowBitmap) return;
  ShowCaret(false);
  // The clip rectangle in text-area coordinates (shifted by the gutter).
  platform::Rect r{clip.left - gutterWidth_, clip.top, clip.right - gutterWidth_, clip.bottom};
  if (fullRepaint_) r = {0, 0, Client->TextWidth(), Client->TextHeight()};
  // Columns one to either side (cells start 3 pixels into the shifted area);
  // rows exactly those the rectangle touches, so that the strip uncovered by
  // a one-row scroll paints one row.
  const int c0 = r.left / CharWidth, c1 = r.right / CharWidth + 1;
  const int r0 = r.top / CharHeight, r1 = (r.bottom - 1) / CharHeight;
  // A clip narrower than the text area leaves the rest of each row as it was.
  const TRowPaint how = r.left <= 0 && r.right >= Client->TextWidth() ? TRowPaint::Whole : TRowPaint::Clipped;
  for (int row = r0; row <= r1; ++row) PaintRow(TopRow + row, LeftCol + c0 - 1, LeftCol + c1, how);
  ShowCaret(true);
  GutterPaint();
  fullRepaint_ = false;
}

void TAdvancedEditor::PaintRow(int row, int firstCol, int lastCol, TRowPaint how) {
  if (!window_ || !RowBitmap) return;
  if (row < TopRow || row > TopRow + VisibleRows || UpdateCount > 0) return;
  // Painting inside a transaction: the highlighter hears what changed so far.
  if (tx_.HeardByHighlighter < tx_.Changes.size()) HearHighlighter();
  const int startCol = std::max(firstCol, LeftCol);
  const int rightLimit = LeftCol + VisibleCols + 1;
  if (lastCol < 0 || lastCol > rightLimit) lastCol = rightLimit;
  const int endCol = std::min(lastCol, ColumnCapacity - 1);
  const int textLeft = Client->TextLeft();
  platform::Canvas& bitmap = *RowBitmap;

  // Bring the line's colours up to date (the highlighter sees the line with
  // its line-end mark) and mark the row's selected characters, the mark's
  // place included.
  const bool exists = RowExists(row);
  int line = 0, rowOffset = 0;
  lineEndSelected_ = false;
  std::string shownRow;
  rowBracketMarks_[0] = rowBracketMarks_[1] = static_cast<std::size_t>(-1);
  if (exists) {
    Lines->RowToLine(0, row, rowOffset, line);
    rowBracketMarks_[0] = BracketMarkIn(line, 0);
    rowBracketMarks_[1] = BracketMarkIn(line, 1);
    shownRow.assign(Lines->RowView(row));
    const int rowLength = static_cast<int>(shownRow.size());
    preparedLine_.assign(Lines->LineView(line));
    preparedLine_.push_back(kLineEndMark);
    PrepareLine(line, row, rowOffset, rowLength + 1, 0, static_cast<int>(preparedLine_.size()), preparedLine_);
    const int markIndex = rowOffset + rowLength;
    if (markIndex < selFlagsLength_ && selFlagsLength_ > 1)
      lineEndSelected_ = selFlags_[static_cast<std::size_t>(markIndex)] != 0;
  }

  // How far the row's pixels may differ from the background, now and after
  // its last paint: a changed row is copied only that far.
  const bool lineEndMark = showSpecialChars_ && row != LastRow();
  const int wholeCells = VisibleCols + 2;
  int shownCells = 0;
  if (lineEndSelected_) {
    shownCells = wholeCells;
  } else if (exists) {
    const int columns = Utf8() ? textcol::Columns(TTextEncoding::Utf8, shownRow) : static_cast<int>(shownRow.size());
    // One cell more than the text: a glyph may reach into the next cell.
    shownCells = std::clamp(columns + (lineEndMark ? 1 : 0) - LeftCol + 1, 0, wholeCells);
  }
  paintedRows_.Use(
      {TopRow, LeftCol, textLeft, Client->TextWidth(), CharWidth, CharHeight, color_, ShowMargin, showSpecialChars_},
      VisibleRows + 1);
  const int slot = row - TopRow;
  const int last = paintedRows_.Last(slot);
  const bool lastKnown = last != TPaintedRows::kUnknown;
  const int reach = how == TRowPaint::Changed && lastKnown ? std::max(last, shownCells) : wholeCells;
  // A clipped paint may leave the old row beyond its clip.
  paintedRows_.Record(slot, how != TRowPaint::Clipped ? shownCells : lastKnown ? std::max(last, shownCells) : last);
  const bool whole = reach == wholeCells;
  const int textRight = textLeft + Client->TextWidth();
  const int fillRight = whole ? textRight : std::min(textRight, CellRect(reach, 0).left);

  bitmap.FillRect({textLeft, 0, fillRight, CharHeight}, lineEndSelected_ ? SelColor : color_);

  if (exists && Utf8() && utf8::FindNonAscii(shownRow, 0) < shownRow.size()) {
    PaintUtf8Runs(bitmap, line, rowOffset, shownRow, lineEndMark, startCol, endCol);
  } else if (exists) {
    // The row as shown: visible spaces and line-end marks.
    if (showSpecialChars_) ShowGlyphs(shownRow, lineEndMark);
    const int rowLength = static_cast<int>(shownRow.size());
    const int drawEnd = std::min(endCol, rowLength);

    const TLineAttrs& attrs = Lines->Attrs(line);
    auto shownAttr = [&](int col) { return ShownAttr(attrs, static_cast<std::size_t>(rowOffset + col)); };
    const std::string_view shown(shownRow);
    int col = startCol;
    while (col < drawEnd && rowOffset + col < selFlagsLength_) {
      const TCharAttr a = shownAttr(col);
      int end = col + 1;
      while (end < drawEnd && rowOffset + end < selFlagsLength_ && shownAttr(end) == a) ++end;
      const int x = CellRect(col - LeftCol, 0).left;
      if (a.BgColor != color_) bitmap.FillRect({x, 0, x + (end - col) * CharWidth, CharHeight}, a.BgColor);
      bitmap.DrawText(x, 0, shown.substr(static_cast<std::size_t>(col), static_cast<std::size_t>(end - col)), CharWidth,
                      a.FgColor, a.BgColor, a.Style);
      col = end;
    }
  }

  if (ShowMargin && LeftCol < WrapColumn && WrapColumn < RightCol + 3) {
    const int x = CellRect(WrapColumn - LeftCol, 0).left;
    bitmap.DrawLine(x, 0, x, CharHeight - 1, marginColor_);
  }

  const int copyRight = whole ? textLeft + wholeCells * CharWidth : fillRight;
  window_->CopyToWindow(textLeft, (row - TopRow) * CharHeight, bitmap, {textLeft, 0, copyRight, CharHeight});
}

TCharAttr TAdvancedEditor::ShownAttr(const TLineAttrs& attrs, std::size_t i) const {
  TCharAttr a = i < attrs.size() ? attrs[i] : TCharAttr{EditorFont.color, color_, EditorFont.style, 0};
  if (selFlags_[i]) {
    a.FgColor = SelTextColor;
    a.BgColor = SelColor;
  } else if (i == rowBracketMarks_[0] || i == rowBracketMarks_[1]) {
    a.BgColor = BracketColor;
  }
  return a;
}

void TAdvancedEditor::PaintUtf8Runs(platform::Canvas& bitmap, int line, int rowOffset, std::string_view row,
                                    bool lineEnd, int startCol, int endCol) {
  constexpr TTextEncoding kUtf8 = TTextEncoding::Utf8;
  const TLineAttrs& attrs = Lines->Attrs(line);
  // The attribute of the character at `pos` of the row: its first byte's.
  auto shownAttr = [&](int pos) { return ShownAttr(attrs, static_cast<std::size_t>(rowOffset + pos)); };
  const int rowLength = static_cast<int>(row.size());
  const int shownEnd = rowLength + (lineEnd ? 1 : 0);  // the mark stands at the row's end
  auto shows = [&](int pos, int col) { return pos < shownEnd && col < endCol && rowOffset + pos < selFlagsLength_; };
  // From the character covering startCol: a wide one may begin a column before it.
  int pos = textcol::PositionOf(kUtf8, row, startCol);
  int col = textcol::ColumnOf(kUtf8, row, pos);
  while (shows(pos, col)) {
    const TCharAttr a = shownAttr(pos);
    const int runCol = col;
    paintRun_.clear();
    do {
      if (pos == rowLength) {
        paintRun_ += kLineEndMarkUtf8;
        ++pos;
        ++col;
        break;
      }
      int columns = 1;
      const auto next = static_cast<int>(textcol::ClusterAt(row, static_cast<std::size_t>(pos), columns));
      const std::string_view ch = row.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(next - pos));
      if (showSpecialChars_ && ch == " ")
        paintRun_ += kVisibleSpaceUtf8;
      else
        paintRun_ += ch;
      col += columns;
      pos = next;
    } while (shows(pos, col) && shownAttr(pos) == a);
    const int x = CellRect(runCol - LeftCol, 0).left;
    if (a.BgColor != color_) bitmap.FillRect({x, 0, x + (col - runCol) * CharWidth, CharHeight}, a.BgColor);
    bitmap.DrawUtf8Text(x, 0, paintRun_, CharWidth, a.FgColor, a.BgColor, a.Style);
  }
}

void TAdvancedEditor::PrepareLine(int line, int row, int rowOffset, int rowLength, int firstCol, int lastCol,
                                  std::string_view text) {
  MarkSelection(row, rowOffset, rowLength, static_cast<int>(text.size()));
  if (!ColoursCurrent(line)) HighlightLine(line, firstCol, lastCol, text);
}

void TAdvancedEditor::MarkSelection(int row, int rowOffset, int rowLength, int textLength) {
  // Only the flags of the row marked last are cleared: a row of a long
  // wrapped line costs its own length, not the line's.
  selFlagsLength_ = textLength + 1;
  if (selFlags_.size() < static_cast<std::size_t>(selFlagsLength_))
    selFlags_.resize(static_cast<std::size_t>(selFlagsLength_));
  const std::size_t clearEnd = std::min(selMarkedEnd_, selFlags_.size());
  if (selMarkedBegin_ < clearEnd) std::fill(selFlags_.begin() + selMarkedBegin_, selFlags_.begin() + clearEnd, 0);
  selMarkedBegin_ = selMarkedEnd_ = 0;
  if (!SelAvail) return;
  // Columns from..to of the row, as line indices; a range reaching past
  // the flags is left unmarked.
  auto mark = [&](int from, int to) {
    const int a = rowOffset + from, b = rowOffset + to;
    if (a < 0 || a > b || a >= selFlagsLength_ || b >= selFlagsLength_) return;
    std::fill(selFlags_.begin() + a, selFlags_.begin() + b + 1, 1);
    selMarkedBegin_ = static_cast<std::size_t>(a);
    selMarkedEnd_ = static_cast<std::size_t>(b) + 1;
  };
  if (SelStartY == row && SelEndY == row) {
    mark(SelStartX, std::min(rowLength - 1, SelEndX - 1));
  } else if (SelStartY == row) {
    mark(SelStartX, rowLength - 1);
  } else if (SelStartY < row && row < SelEndY) {
    mark(0, rowLength - 1);
  } else if (SelEndY == row) {
    mark(0, std::min(rowLength - 1, SelEndX - 1));
  }
}

bool TAdvancedEditor::ColoursCurrent(int line) {
  return !Lines->Dirty(line) && Lines->ColourKey(line) == LineColourKey(line);
}

TColourKey TAdvancedEditor::LineColourKey(int) { return {}; }

void TAdvancedEditor::HighlightLine(int line, int firstCol, int lastCol, std::string_view text) {
  Lines->SetColourKey(line, LineColourKey(line));
  TLineAttrs& attrs = Lines->Attrs(line);
  attrs.assign(static_cast<std::size_t>(text.size()) + 1, TCharAttr{EditorFont.color, color_, EditorFont.style, 0});
  BeforeHighlight(line, firstCol, lastCol);
  if (!text.empty() && OnHighlight) OnHighlight(*this, text, line, selFlags_, attrs);
  AfterHighlight(line, firstCol, lastCol);
  Lines->SetDirty(line, false);
}

void TAdvancedEditor::BeforeHighlight(int, int, int) {}

void TAdvancedEditor::AfterHighlight(int, int, int) {}

void TAdvancedEditor::RepaintRowRange(int from, int to) {
  for (int r = std::max(from, TopRow - 1); r <= std::min(to, BottomRow + 1); ++r)
    PaintRow(r, 0, -1, TRowPaint::Changed);
}

void TAdvancedEditor::RepaintRows(int fromRow) { RepaintRowRange(fromRow - 1, BottomRow + 1); }

int TAdvancedEditor::RepaintLineRows(int row) {
  int line = 0, k = 0;
  Lines->RowToParagraph(row, line, k);
  if (line < 0) return row;
  const int first = Lines->FirstRow(line);
  const int last = first + std::max(Lines->RowCount(line), 1) - 1;
  const int from = std::max(first, TopRow - 1), to = std::min(last, BottomRow + 1);
  for (int r = from; r <= to; ++r) PaintRow(r, 0, -1, TRowPaint::Changed);
  // The line's last row, or the bottom of the view when the line reaches below it.
  return to;
}

void TAdvancedEditor::RepaintStaleColours(int firstLine) {
  if (!window_ || !RowExists(TopRow)) return;
  int line = 0, k = 0;
  Lines->RowToParagraph(TopRow, line, k);
  line = std::max(line, firstLine);
  // The first row of each line from the one before: one look-up, not one per line.
  for (int first = Lines->FirstRow(line); line < Lines->Count(); first += Lines->RowCount(line), ++line) {
    if (first > BottomRow + 1) break;
    // A line whose text changed was painted by the change itself.
    if (!Lines->Dirty(line) && !ColoursCurrent(line)) RepaintLineRows(first);
  }
}

void TAdvancedEditor::RepaintSelectionRows() {
  RepaintRowRange(std::min(oldSelStartY_, SelStartY), std::max(oldSelEndY_, SelEndY));
}

void TAdvancedEditor::GutterPaint() {
  if (!window_ || !Gutter->GutterBitmap || UpdateCount > 0) return;
  platform::Canvas& g = *Gutter->GutterBitmap;
  const int w = g.Width(), h = g.Height();
  const platform::Rect all{0, 0, w, h};
  if (gutterWidth_ < 1) {
    g.FillRect(all, color_);
  } else {
    g.FillRect(all, gutterColor_);
    g.DrawLine(w - 2, 0, w - 2, h - 1, color_);
    g.DrawLine(w - 1, 0, w - 1, h - 1, 0x808080);
    g.SetFont(Gutter->GutterFont);
    if (OnGutterPaint) OnGutterPaint(*this, g);
  }
  window_->CopyToWindow(0, 0, g, all);
}
