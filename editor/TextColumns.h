#pragma once

// Where a document's characters stand on the column grid.
//
// Positions in the text are byte positions. In Windows-1252 every byte is a
// character one column wide, so position and column are the same number. In
// UTF-8 a character outside ASCII is the bytes of its sequence and takes the
// columns its width gives: two for East Asian wide and fullwidth characters
// and most emoji, none for a combining mark, one otherwise. A character
// steps together with the zero-width characters that follow it (combining
// marks stay with their base), so a position never stands inside one.
// Beyond the end of a text every column is a blank of one byte. Bytes that
// are not UTF-8 count as characters one column wide.

#include <cstddef>
#include <string_view>

#include "editor/TextEncoding.h"

namespace textcol {

// The columns `ch` takes: 0, 1 or 2.
int CharColumns(char32_t ch);

// The position after the character at `pos` (with its combining marks);
// pos + 1 at or beyond the end.
int NextChar(TTextEncoding enc, std::string_view text, int pos);
// The start of the character before `pos`; pos - 1 beyond the end, 0 at 0.
int PrevChar(TTextEncoding enc, std::string_view text, int pos);
// `pos` itself when it starts a character, else the start of the
// character it lies in.
int CharStart(TTextEncoding enc, std::string_view text, int pos);
// The column position `pos` stands at.
int ColumnOf(TTextEncoding enc, std::string_view text, int pos);
// The position of the character covering `column` (the start of a wide
// character for either of its columns); beyond the end, one byte a column.
int PositionOf(TTextEncoding enc, std::string_view text, int column);
// The same, but a column in the right half of a wide character gives the
// position after it (where a click there puts the caret).
int NearestPosition(TTextEncoding enc, std::string_view text, int column);
// The columns of the whole text.
inline int Columns(TTextEncoding enc, std::string_view text) {
  return ColumnOf(enc, text, static_cast<int>(text.size()));
}

}  // namespace textcol
