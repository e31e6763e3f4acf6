#pragma once

// Fast scans over single-byte text.

#include <cstddef>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Index of the first CR or LF at or after `pos`, or text.size() when there is none.
inline std::size_t FindLineBreak(std::string_view text, std::size_t pos) {
  const char* p = text.data();
  std::size_t n = text.size();
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  while (pos + 16 <= n) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
    int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    pos += 16;
  }
#endif
  for (; pos < n; ++pos)
    if (p[pos] == '\r' || p[pos] == '\n') return pos;
  return n;
}

// Calls fn(line) for every line of `text` split by the whole-text rules: CR LF,
// a lone CR and a lone LF each end a line; a break at the very end does not
// start an empty last line; an empty text has no lines.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  const std::size_t n = text.size();
  while (pos < n) {
    std::size_t brk = FindLineBreak(text, pos);
    fn(text.substr(pos, brk - pos));
    if (brk >= n) break;
    pos = brk + ((text[brk] == '\r' && brk + 1 < n && text[brk + 1] == '\n') ? 2 : 1);
  }
}

// The text with every TAB replaced by `tabWidth` spaces (none for a width of
// 0 or less), whatever the TAB's column.
inline std::string ExpandTabs(std::string_view text, int tabWidth) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\t') {
      if (tabWidth > 0) out.append(static_cast<std::size_t>(tabWidth), ' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// The word delimiters: NUL, LF, CR, space and % ( ) * + , - . / : ; < = > [ \ ] { }.
inline bool IsWordDelimiter(char c) {
  switch (c) {
    case '\0':
    case '\n':
    case '\r':
    case ' ':
    case '%':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case ';':
    case '<':
    case '=':
    case '>':
    case '[':
    case '\\':
    case ']':
    case '{':
    case '}':
      return true;
    default:
      return false;
  }
}

// The word at 1-based position p of `text`: its 1-based start and the
// position after its end (start >= end when the rule finds no run).
inline void WordAt(std::string_view s, int p, int& start, int& end) {
  // Position 0 (before the text) counts as a delimiter.
  auto at = [&](int i) {
    return i >= 1 && i <= static_cast<int>(s.size()) ? s[static_cast<std::size_t>(i - 1)] : '\0';
  };
  auto delimiter = [&](int i) { return i < 1 || i > static_cast<int>(s.size()) || IsWordDelimiter(at(i)); };
  start = p;
  if (delimiter(p)) start = delimiter(p - 1) ? p + 1 : p - 1;
  while (!delimiter(start)) --start;
  ++start;
  end = p;
  while (!delimiter(end)) ++end;
}
