#pragma once

// Where a document's characters stand on the column grid.
//
// Positions in the text are byte positions. In Windows-1252 every byte is a
// character one column wide, so position and column are the same number. In
// UTF-8 a character is what a reader takes for one: an extended grapheme
// cluster of UAX #29 (a letter with its combining marks, a Hangul syllable of
// jamo, an Indic conjunct, a flag, an emoji with its modifiers and joined
// emoji), with the breaks and widths of utf8proc. A cluster takes the columns
// of its code points (two for East Asian wide and fullwidth characters and
// most emoji, none for a mark), two when it is an emoji sequence, and never
// fewer than one. A position never stands inside a cluster. Beyond the end of
// a text every column is a blank of one byte. Bytes that are not UTF-8 are
// clusters of their own, one column wide. Text is one line, without line
// breaks: ASCII is one cluster a byte.

#include <cstddef>
#include <string_view>

#include "editor/TextEncoding.h"

namespace textcol {

// The columns `ch` takes alone: 0, 1 or 2.
int CharColumns(char32_t ch);

// The cluster of UTF-8 text that starts at `pos` (< utf8.size(), a cluster
// boundary): where it ends, and the columns it takes.
std::size_t ClusterAt(std::string_view utf8, std::size_t pos, int& columns);
// The position after the cluster starting at `pos` (a cluster boundary);
// pos + 1 at or beyond the end.
int NextChar(TTextEncoding enc, std::string_view text, int pos);
// The start of the cluster before `pos`; pos - 1 beyond the end, 0 at 0.
int PrevChar(TTextEncoding enc, std::string_view text, int pos);
// `pos` itself when it starts a cluster, else the start of the cluster it
// lies in.
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
