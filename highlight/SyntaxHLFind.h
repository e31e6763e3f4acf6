#pragma once

// Finding the next byte of a small set in a line, 16 bytes at a time where
// the processor can: how a scanner passes over the characters that cannot
// change its state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hl {

// A set of bytes looked up one at a time.
struct TByteSet {
  bool has[256] = {};
  constexpr explicit TByteSet(std::string_view chars) {
    for (char c : chars) has[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return has[static_cast<unsigned char>(c)]; }
};

// A few bytes to stop at, looked for 16 bytes at a time: the bytes and, made
// once, a vector of each.
template <std::size_t K>
struct TStops {
  std::array<char, K> chars;
#if defined(__SSE2__)
  __m128i want[K];
#endif
  explicit TStops(const std::array<char, K>& c) : chars(c) {
#if defined(__SSE2__)
    for (std::size_t k = 0; k < K; ++k) want[k] = _mm_set1_epi8(c[k]);
#endif
  }
};

#if defined(__SSE2__)
template <std::size_t K>
__attribute__((no_sanitize("address"))) inline unsigned StopMask(const char* at, const TStops<K>& stops) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i hit = _mm_cmpeq_epi8(b, stops.want[0]);
  for (std::size_t k = 1; k < K; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(b, stops.want[k]));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#endif

// The first position of p[from .. n - 1] that holds one of `stops`; n when
// none does. The last piece of a line is read 16 bytes wide as well where
// those bytes lie in the same memory page (bytes past the line are never
// looked at).
template <std::size_t K>
__attribute__((no_sanitize("address"))) inline std::size_t FindAny(const char* p, std::size_t from, std::size_t n,
                                                                   const TStops<K>& stops) {
#if defined(__SSE2__)
  for (; from + 16 <= n; from += 16)
    if (const unsigned mask = StopMask(p + from, stops)) return from + static_cast<std::size_t>(__builtin_ctz(mask));
  if (from < n && (reinterpret_cast<std::uintptr_t>(p + from) & 4095) <= 4096 - 16) {
    const unsigned mask = StopMask(p + from, stops) & ((1u << (n - from)) - 1);
    return mask != 0 ? from + static_cast<std::size_t>(__builtin_ctz(mask)) : n;
  }
#endif
  for (; from < n; ++from)
    for (char c : stops.chars)
      if (p[from] == c) return from;
  return n;
}

}  // namespace hl
