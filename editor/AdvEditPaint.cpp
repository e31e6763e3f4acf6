// TAdvancedEditor: painting rows into the row bitmap, the gutter and the caret.

#include <algorithm>

#include "editor/AdvEdit.h"

void TAdvancedEditor::Paint(const platform::Rect&) {}

void TAdvancedEditor::PaintRow(int, int, int) {}

void TAdvancedEditor::PrepareLine(int line, int row, int rowOffset, int rowLength, int firstCol, int lastCol,
                                  std::string_view text) {
  (void)row;
  (void)firstCol;
  (void)lastCol;
  const int length = static_cast<int>(text.size()) + 1;
  if (SelFlagsLength != length) {
    SelFlags.resize(static_cast<std::size_t>(length));
    SelFlagsLength = length;
  }
  std::fill(SelFlags.begin(), SelFlags.end(), 0);
  (void)rowOffset;
  (void)rowLength;
  if (!Lines->Dirty(line)) return;
  TLineAttrs& attrs = Lines->Attrs(line);
  attrs.assign(static_cast<std::size_t>(SelFlagsLength), TCharAttr{EditorFont.color, Color(), EditorFont.style, 0});
  BeforeHighlight(line, firstCol, lastCol);
  if (!text.empty() && OnHighlight) OnHighlight(*this, text, line, SelFlags, attrs);
  AfterHighlight(line, firstCol, lastCol);
  Lines->SetDirty(line, false);
}

void TAdvancedEditor::BeforeHighlight(int, int, int) {}

void TAdvancedEditor::AfterHighlight(int, int, int) {}

void TAdvancedEditor::RepaintRowRange(int from, int to) {
  for (int r = std::max(from, TopRow - 1); r <= std::min(to, BottomRow + 1); ++r) PaintRow(r, 0, -1);
}

void TAdvancedEditor::RepaintRows(int fromRow) { RepaintRowRange(fromRow - 1, BottomRow + 1); }

int TAdvancedEditor::RepaintLineRows(int row) {
  int line = 0, k = 0;
  Lines->RowToParagraph(row, line, k);
  if (line < 0) return row;
  int first = Lines->FirstRow(line);
  int last = first + Lines->RowCount(line) - 1;
  int from = std::max(first, TopRow - 1), to = std::min(last, BottomRow + 1);
  for (int r = from; r <= to; ++r) PaintRow(r, 0, -1);
  return std::max(to, from);
}

void TAdvancedEditor::RepaintSelectionRows() {
  RepaintRowRange(std::min(OldSelStartY, SelStartY), std::max(OldSelEndY, SelEndY));
}

void TAdvancedEditor::GutterPaint() {}
