#include "editor/TextColumns.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "editor/Utf8.h"

namespace {

struct TWidthRange {
  char32_t first, last;
  std::uint8_t columns;
};

constexpr TWidthRange kWidths[] = {
#include "editor/CharWidthTable.inc"
};

// The character at `pos` (a byte that is not UTF-8 as itself) and its length.
int DecodeAt(std::string_view text, std::size_t pos, char32_t& ch) {
  const int n = utf8::Decode(text, pos, ch);
  if (n > 0) return n;
  ch = static_cast<unsigned char>(text[pos]);
  return 1;
}

bool Utf8Text(TTextEncoding enc, std::string_view text) {
  return enc == TTextEncoding::Utf8 && utf8::FindNonAscii(text, 0) < text.size();
}

// Zero-width characters at `pos`: the end of the combining run.
std::size_t SkipZeroWidth(std::string_view text, std::size_t pos) {
  while (pos < text.size() && static_cast<unsigned char>(text[pos]) >= 0x80) {
    char32_t ch = 0;
    const int n = DecodeAt(text, pos, ch);
    if (textcol::CharColumns(ch) != 0) break;
    pos += static_cast<std::size_t>(n);
  }
  return pos;
}

// Calls fn(start, end, columns) for the characters of `text` in order while
// it returns true; runs of ASCII go one byte at a time without decoding.
template <typename Fn>
void ForEachChar(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      const std::size_t end = SkipZeroWidth(text, pos + 1);
      if (!fn(pos, end, 1)) return;
      pos = end;
      continue;
    }
    char32_t ch = 0;
    const std::size_t n = static_cast<std::size_t>(DecodeAt(text, pos, ch));
    const std::size_t end = SkipZeroWidth(text, pos + n);
    if (!fn(pos, end, textcol::CharColumns(ch))) return;
    pos = end;
  }
}

}  // namespace

namespace textcol {

int CharColumns(char32_t ch) {
  if (ch < 0x300) return 1;
  if (ch >= 0x4E00 && ch <= 0x9FFF) return 2;  // CJK unified ideographs, the most met
  const auto* end = std::end(kWidths);
  const auto* it =
      std::upper_bound(std::begin(kWidths), end, ch, [](char32_t c, const TWidthRange& r) { return c < r.first; });
  if (it == std::begin(kWidths)) return 1;
  --it;
  return ch <= it->last ? it->columns : 1;
}

int NextChar(TTextEncoding enc, std::string_view text, int pos) {
  if (pos < 0) return 0;
  const auto p = static_cast<std::size_t>(pos);
  if (enc != TTextEncoding::Utf8 || p >= text.size()) return pos + 1;
  char32_t ch = 0;
  const int n = static_cast<unsigned char>(text[p]) < 0x80 ? 1 : DecodeAt(text, p, ch);
  return static_cast<int>(SkipZeroWidth(text, p + static_cast<std::size_t>(n)));
}

int PrevChar(TTextEncoding enc, std::string_view text, int pos) {
  if (pos <= 0) return 0;
  if (enc != TTextEncoding::Utf8 || static_cast<std::size_t>(pos) > text.size()) return pos - 1;
  return CharStart(enc, text, pos - 1);
}

int CharStart(TTextEncoding enc, std::string_view text, int pos) {
  if (pos <= 0 || enc != TTextEncoding::Utf8 || static_cast<std::size_t>(pos) >= text.size()) return std::max(pos, 0);
  // Back to the start of a character that is not zero-width; then forward
  // over whole characters to the one holding `pos`.
  std::size_t from = static_cast<std::size_t>(pos);
  for (;;) {
    while (from > 0 && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) --from;
    if (from == 0) break;
    char32_t ch = 0;
    if (static_cast<unsigned char>(text[from]) < 0x80 || (DecodeAt(text, from, ch), CharColumns(ch) != 0)) break;
    --from;
  }
  int start = static_cast<int>(from);
  for (int p = start; p <= pos;) {
    start = p;
    p = NextChar(enc, text, p);
  }
  return start;
}

int ColumnOf(TTextEncoding enc, std::string_view text, int pos) {
  if (pos <= 0) return std::max(pos, 0);
  const auto size = static_cast<int>(text.size());
  if (!Utf8Text(enc, text)) return pos;
  const std::string_view head = text.substr(0, static_cast<std::size_t>(std::min(pos, size)));
  int column = 0;
  ForEachChar(head, [&](std::size_t, std::size_t, int columns) {
    column += columns;
    return true;
  });
  return column + std::max(pos - size, 0);
}

int PositionOf(TTextEncoding enc, std::string_view text, int column) {
  if (column <= 0) return 0;
  if (!Utf8Text(enc, text)) return column;
  int at = 0, found = -1;
  std::size_t end = 0;
  ForEachChar(text, [&](std::size_t start, std::size_t next, int columns) {
    if (column < at + columns) {
      found = static_cast<int>(start);
      return false;
    }
    at += columns;
    end = next;
    return true;
  });
  if (found >= 0) return found;
  return static_cast<int>(end) + (column - at);
}

int NearestPosition(TTextEncoding enc, std::string_view text, int column) {
  const int pos = PositionOf(enc, text, column);
  if (enc != TTextEncoding::Utf8 || static_cast<std::size_t>(pos) >= text.size()) return pos;
  const int startColumn = ColumnOf(enc, text, pos);
  const int next = NextChar(enc, text, pos);
  const int width = ColumnOf(enc, text, next) - startColumn;
  return width > 1 && column - startColumn >= width / 2 ? next : pos;
}

}  // namespace textcol
