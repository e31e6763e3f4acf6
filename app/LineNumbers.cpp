#include "app/LineNumbers.h"

#include <algorithm>
#include <string>

namespace linenumbers {

namespace {

int Digits(int n) {
  int digits = 1;
  for (; n >= 10; n /= 10) ++digits;
  return digits;
}

// The width of a digit in the gutter font; 0 without a gutter bitmap.
int DigitWidth(TAdvancedEditor& editor) {
  platform::Canvas* gutter = editor.Gutter->GutterBitmap.get();
  if (!gutter) return 0;
  gutter->SetFont(editor.Gutter->GutterFont);
  return std::max(1, gutter->MeasureGlyph('0', editor.Gutter->GutterFont.style).x);
}

}  // namespace

int GutterWidthFor(int lineCount, int digitWidth, int narrowest) {
  return std::max(narrowest, kPadLeft + Digits(std::max(1, lineCount)) * digitWidth + kPadRight);
}

void Paint(TAdvancedEditor& editor, platform::Canvas& gutter) {
  const platform::FontSpec& font = editor.Gutter->GutterFont;
  const platform::Point digit = gutter.MeasureGlyph('0', font.style);
  const int right = editor.GutterWidth() - kPadRight;
  const int rows = editor.Lines->GetRowCount();
  const int top = (editor.CharHeight - digit.y) / 2;
  for (int r = 0; r <= editor.VisibleRows; ++r) {
    const int row = editor.TopRow + r;
    if (row < 0 || row >= rows) break;
    int line = 0, rowInLine = 0;
    editor.Lines->RowToParagraph(row, line, rowInLine);
    if (rowInLine != 0) continue;
    const std::string number = std::to_string(line + 1);
    const int x = right - static_cast<int>(number.size()) * digit.x;
    gutter.DrawText(x, r * editor.CharHeight + top, number, digit.x, font.color, editor.GutterColor(), font.style);
  }
}

void Show(TAdvancedEditor& editor, bool on, int narrowest) {
  if (on) {
    editor.OnGutterPaint = Paint;
    Refresh(editor, narrowest);
  } else {
    editor.OnGutterPaint = nullptr;
    editor.SetGutterWidth(narrowest);
    editor.GutterPaint();
  }
}

void Refresh(TAdvancedEditor& editor, int narrowest) {
  if (!editor.OnGutterPaint) return;
  const int digitWidth = DigitWidth(editor);
  if (digitWidth == 0) return;
  const int width = GutterWidthFor(editor.Lines->Count(), digitWidth, narrowest);
  if (width != editor.GutterWidth()) {
    editor.SetGutterWidth(width);  // paints the gutter again
  } else {
    editor.GutterPaint();
  }
}

}  // namespace linenumbers
