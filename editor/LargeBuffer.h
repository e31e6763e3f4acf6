#pragma once

// Room for a large text in a string. Writing a fresh buffer of a hundred
// megabytes costs a page fault every 4 KB, which on some machines (virtual
// ones above all) takes longer than the copy itself; a buffer this large is
// asked to be backed by huge pages where the system offers them on request
// (transparent huge pages in "madvise" mode).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// The size of a huge page, and the size from which a buffer asks for them.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBuffer = 4 * kHugePage;

// The room a document's text is given to grow into: address space that
// costs memory only where a paste writes it. A paste that finds no room left
// goes into memory of its own.
inline std::size_t TextRoom(std::size_t size) {
  return std::clamp(size / 4, std::size_t{16} << 20, std::size_t{512} << 20);
}

// At least `bytes` of memory aligned to a huge page and asked to be backed by
// huge pages, or null; given back with std::free.
inline void* AllocateHugePages(std::size_t bytes) {
  const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* data = std::aligned_alloc(kHugePage, whole);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (data) madvise(data, whole, MADV_HUGEPAGE);
#endif
  return data;
}

inline void ReserveLarge(std::string& s, std::size_t n) {
  s.reserve(n);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (n < kLargeBuffer) return;
  const auto at = reinterpret_cast<std::uintptr_t>(s.data());
  const std::uintptr_t begin = (at + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (at + s.capacity()) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}
