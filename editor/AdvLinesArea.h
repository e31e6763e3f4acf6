#pragma once

// Room for the line records of one large split, taken in a few large pieces
// instead of one allocation per block. Thousands of small arrays written for
// the first time each fault in fresh 4 KB pages, one trap per page; the
// pages of a piece are mapped ahead of use in runs of 256 KB, one call
// for each run. Huge pages would be quicker still, but half of the last one
// would be held for nothing.
//
// The area hands out memory while the split that made it runs (Close ends
// that); each array taken from it is given back to it, not to the heap. The
// area lives as long as an allocator refers to it, so its memory goes with
// the last block that was built in it.

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "editor/LargeBuffer.h"

class TRecordArea {
 public:
  explicit TRecordArea(std::size_t pieceBytes) : pieceBytes_((pieceBytes + kHugePage - 1) / kHugePage * kHugePage) {}
  ~TRecordArea() {
    for (const Piece& p : pieces_) std::free(p.begin);
  }
  TRecordArea(const TRecordArea&) = delete;
  TRecordArea& operator=(const TRecordArea&) = delete;

  // `bytes` from the current piece (a new one when it is full), or null once closed.
  void* Take(std::size_t bytes) {
    if (closed_) return nullptr;
    bytes = (bytes + kAlign - 1) / kAlign * kAlign;
    if (pieces_.empty() || pieces_.back().size - used_ < bytes) {
      const std::size_t size = std::max(pieceBytes_, (bytes + kHugePage - 1) / kHugePage * kHugePage);
      char* begin = static_cast<char*>(std::aligned_alloc(kHugePage, size));
      if (!begin) return nullptr;
      pieces_.push_back({begin, size});
      used_ = mapped_ = 0;
    }
    const Piece& piece = pieces_.back();
    void* at = piece.begin + used_;
    used_ += bytes;
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    if (used_ > mapped_ && mapAhead_) {
      std::size_t to = std::min(piece.size, (used_ + kMapAhead - 1) / kMapAhead * kMapAhead);
      // A whole huge page where at least two more are still to be taken:
      // one fault for 2 MB instead of 512. Near the end small pages again,
      // so that no huge page is held half empty.
      if (mapped_ % kHugePage == 0 && expected_ >= 2 * kHugePage && mapped_ + kHugePage <= piece.size) {
        to = std::max(to, mapped_ + kHugePage);
        ::madvise(piece.begin + mapped_, kHugePage, MADV_HUGEPAGE);
      }
      // Where the kernel cannot, the pages fault in one at a time as usual.
      if (::madvise(piece.begin + mapped_, to - mapped_, MADV_POPULATE_WRITE) != 0) mapAhead_ = false;
      mapped_ = to;
    }
#endif
    return at;
  }
  // How many bytes its user still expects to take.
  void Expect(std::size_t bytes) { expected_ = bytes; }
  bool Holds(const void* p) const {
    for (const Piece& piece : pieces_)
      if (p >= piece.begin && p < piece.begin + piece.size) return true;
    return false;
  }
  // No more memory is handed out: the pages no array took go back, those
  // mapped ahead of use and any the piece held when the heap gave it (a
  // piece the heap used before comes with its pages in memory).
  void Close() {
    if (closed_) return;
    closed_ = true;
#if defined(__linux__)
    if (pieces_.empty()) return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t from = (used_ + page - 1) / page * page;
    const Piece& piece = pieces_.back();
    if (piece.size > from) ::madvise(piece.begin + from, piece.size - from, MADV_DONTNEED);
#endif
  }

 private:
  static constexpr std::size_t kAlign = 16;
  static constexpr std::size_t kMapAhead = std::size_t{256} << 10;
  struct Piece {
    char* begin;
    std::size_t size;
  };
  std::size_t pieceBytes_;
  std::vector<Piece> pieces_;
  std::size_t used_ = 0;
  std::size_t mapped_ = 0;  // bytes of the current piece already mapped
  std::size_t expected_ = 0;
  bool mapAhead_ = true;
  bool closed_ = false;
};

// The allocator of a block's records: from its area while that is open, else
// from the heap. Memory always travels with the allocator it came from.
template <typename T>
class TAreaAllocator {
 public:
  using value_type = T;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;

  TAreaAllocator() = default;
  explicit TAreaAllocator(std::shared_ptr<TRecordArea> area) : area_(std::move(area)) {}
  template <typename U>
  TAreaAllocator(const TAreaAllocator<U>& other) : area_(other.Area()) {}

  T* allocate(std::size_t n) {
    if (area_)
      if (void* p = area_->Take(n * sizeof(T))) return static_cast<T*>(p);
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, std::size_t n) {
    if (area_ && area_->Holds(p)) return;
    std::allocator<T>().deallocate(p, n);
  }
  const std::shared_ptr<TRecordArea>& Area() const { return area_; }
  friend bool operator==(const TAreaAllocator& a, const TAreaAllocator& b) { return a.area_ == b.area_; }

 private:
  std::shared_ptr<TRecordArea> area_;
};
