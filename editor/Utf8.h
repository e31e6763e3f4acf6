#pragma once

// UTF-8 at the byte level: finding bytes outside ASCII at memory speed, and
// decoding and encoding single characters. Decoding is strict: overlong
// forms, surrogates (U+D800..U+DFFF), characters above U+10FFFF and cut-off
// sequences are not UTF-8.

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace utf8 {

// Index of the first byte at or after `pos` with its high bit set, or
// text.size() when there is none.
inline std::size_t FindNonAscii(std::string_view text, std::size_t pos) {
  const char* p = text.data();
  const std::size_t n = text.size();
#if defined(__SSE2__)
  auto load = [p](std::size_t at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)); };
  while (pos + 64 <= n) {
    const __m128i any =
        _mm_or_si128(_mm_or_si128(load(pos), load(pos + 16)), _mm_or_si128(load(pos + 32), load(pos + 48)));
    if (_mm_movemask_epi8(any) != 0) break;
    pos += 64;
  }
  while (pos + 16 <= n) {
    const int mask = _mm_movemask_epi8(load(pos));
    if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    pos += 16;
  }
#endif
  for (; pos < n; ++pos)
    if (static_cast<unsigned char>(p[pos]) >= 0x80) return pos;
  return n;
}

// The character of the sequence starting at `pos` and its length in bytes
// (1 to 4); 0 when the bytes there are not UTF-8.
inline int Decode(std::string_view text, std::size_t pos, char32_t& ch) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const std::size_t left = text.size() - pos;
  const unsigned b0 = p[0];
  if (b0 < 0x80) {
    ch = b0;
    return 1;
  }
  auto tail = [p](int i) { return (p[i] & 0xC0) == 0x80; };
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (left < 2 || !tail(1)) return 0;
    ch = ((b0 & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (left < 3 || !tail(1) || !tail(2)) return 0;
    if ((b0 == 0xE0 && p[1] < 0xA0) || (b0 == 0xED && p[1] >= 0xA0)) return 0;  // overlong, surrogate
    ch = ((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (left < 4 || !tail(1) || !tail(2) || !tail(3)) return 0;
    if ((b0 == 0xF0 && p[1] < 0x90) || (b0 == 0xF4 && p[1] >= 0x90)) return 0;  // overlong, above U+10FFFF
    ch = ((b0 & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    return 4;
  }
  return 0;
}

// Whether all of `text` is UTF-8 by the rules of Decode, in one pass at
// about the speed of memory over ASCII; `multiByte` tells whether it holds
// a sequence of more than one byte.
inline bool Valid(std::string_view text, bool& multiByte) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = FindNonAscii(text, 0);
  multiByte = i < n;
  auto tail = [p](std::size_t at) { return (p[at] & 0xC0) == 0x80; };
  while (i < n) {
    const unsigned b0 = p[i];
    if (b0 < 0x80) {
      // A short run of ASCII between characters outside it: a byte at a
      // time; a longer one a block at a time.
      const std::size_t end = i + 16 < n ? i + 16 : n;
      while (i < end && p[i] < 0x80) ++i;
      if (i == end) i = FindNonAscii(text, i);
      continue;
    }
    if (b0 < 0xC2) return false;  // a continuation byte, or an overlong form of two bytes
    if (b0 < 0xE0) {
      if (i + 1 >= n || !tail(i + 1)) return false;
      i += 2;
    } else if (b0 < 0xF0) {
      if (i + 2 >= n || !tail(i + 1) || !tail(i + 2)) return false;
      if ((b0 == 0xE0 && p[i + 1] < 0xA0) || (b0 == 0xED && p[i + 1] >= 0xA0)) return false;
      i += 3;
    } else if (b0 < 0xF5) {
      if (i + 3 >= n || !tail(i + 1) || !tail(i + 2) || !tail(i + 3)) return false;
      if ((b0 == 0xF0 && p[i + 1] < 0x90) || (b0 == 0xF4 && p[i + 1] >= 0x90)) return false;
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

// Whether `ch` can be written as UTF-8: not a surrogate, not above U+10FFFF.
inline bool Encodable(char32_t ch) { return ch < 0xD800 || (ch >= 0xE000 && ch <= 0x10FFFF); }

// Writes the UTF-8 form of an encodable `ch` to `out` (room for 4 bytes)
// and returns its length.
inline int Encode(char32_t ch, char* out) {
  auto byte = [](char32_t v) { return static_cast<char>(static_cast<unsigned char>(v)); };
  if (ch < 0x80) {
    out[0] = byte(ch);
    return 1;
  }
  if (ch < 0x800) {
    out[0] = byte(0xC0 | (ch >> 6));
    out[1] = byte(0x80 | (ch & 0x3F));
    return 2;
  }
  if (ch < 0x10000) {
    out[0] = byte(0xE0 | (ch >> 12));
    out[1] = byte(0x80 | ((ch >> 6) & 0x3F));
    out[2] = byte(0x80 | (ch & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (ch >> 18));
  out[1] = byte(0x80 | ((ch >> 12) & 0x3F));
  out[2] = byte(0x80 | ((ch >> 6) & 0x3F));
  out[3] = byte(0x80 | (ch & 0x3F));
  return 4;
}

}  // namespace utf8
