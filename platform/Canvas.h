#pragma once

// A surface the editor paints on: the row bitmap, the gutter bitmap, or a window.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Geometry.h"

namespace platform {

struct FontSpec {
  std::string name = "Courier New";
  int size = 10;  // points
  std::uint8_t style = 0;  // fontstyle bits
  Color color = 0;
  bool operator==(const FontSpec&) const = default;
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Resizes an off-screen canvas; the content is undefined afterwards.
  virtual void Resize(int width, int height) = 0;

  virtual void SetFont(const FontSpec& font) = 0;
  // Cell size of the glyph `ch` in the current font with the given style bits.
  virtual Point MeasureGlyph(char ch, std::uint8_t style) = 0;

  virtual void FillRect(const Rect& r, Color color) = 0;
  // Draws single-byte text starting at (x, y) (top-left of the cell), every
  // character advancing by `advance` pixels, over a background of `bg`.
  virtual void DrawText(int x, int y, std::string_view bytes, int advance, Color fg, Color bg,
                        std::uint8_t style) = 0;
  // Draws UTF-8 text in cells starting at (x, y), over a background of `bg`:
  // each character in the cells of its columns (`advance` pixels a column),
  // a wide character centred in two, a combining mark over the character
  // before it, nothing drawn outside the cells. A byte that is not UTF-8 is
  // drawn as U+FFFD in one cell.
  virtual void DrawUtf8Text(int x, int y, std::string_view utf8, int advance, Color fg, Color bg,
                            std::uint8_t style) = 0;
  // A one-pixel line from (x1, y1) to (x2, y2), both ends included.
  virtual void DrawLine(int x1, int y1, int x2, int y2, Color color) = 0;
};

}  // namespace platform
