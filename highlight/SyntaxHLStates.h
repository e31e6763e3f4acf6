#pragma once

// The cache of per-line end states: the state a scanner is in at the end of
// every line it has reached.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "highlight/SyntaxHLIndexPool.h"

// The end-of-line states of the lines a highlighter has reached. Each block
// of 65,536 lines keeps every distinct state once and a 16-bit number per
// line, so the cache costs two bytes per line reached and grows without
// copying what it holds.
template <class TState>
class TStateStore {
 public:
  // A store that is expected to grow large takes every block's numbers from
  // the pool of huge pages; any other takes all but the first block's there.
  explicit TStateStore(bool large = false) : large_(large) {}

  // The lines that have a state: 0 .. Size() - 1.
  std::size_t Size() const { return size_; }
  const TState& Get(std::size_t line) const {
    const Block& b = blocks_[line >> kShift];
    return b.palette[b.index[line & kMask]];
  }
  // Lines per block: a store's blocks hold the lines from a multiple of this on.
  static constexpr std::size_t kBlockLines = std::size_t{1} << 16;

  // Sets lines `line` .. shift + other.Size() - 1 to the states of `other`'s
  // lines line - shift .. other.Size() - 1, taking `other`'s blocks over
  // whole where they fall on this store's blocks (shift a multiple of
  // kBlockLines) and replace all the lines of one; `line` is at most Size().
  void SetFrom(std::size_t line, TStateStore&& other, std::size_t shift) {
    const std::size_t end = shift + other.size_;
    while (line < end) {
      // A block of `other` that covers a whole block here, or the rest of this store.
      if ((line & kMask) == 0 && (shift & kMask) == 0 && (line + kBlockLines <= end || end >= size_)) {
        Block& taken = other.blocks_[(line - shift) >> kShift];
        if ((line >> kShift) == blocks_.size())
          blocks_.push_back(std::move(taken));
        else
          blocks_[line >> kShift] = std::move(taken);
        line = std::min(line + kBlockLines, end);
        size_ = std::max(size_, line);
        continue;
      }
      Set(line, other.Get(line - shift));
      ++line;
    }
    other.blocks_.clear();
    other.size_ = 0;
  }

  // Sets the state of a line that has one, or of the line right after them.
  void Set(std::size_t line, const TState& state) {
    if (line < size_ || (line & kMask) != 0) {
      Block& b = blocks_[line >> kShift];
      // Neighbouring lines mostly end in one of the few states seen last.
      for (std::size_t k = 0; k < b.seenCount; ++k)
        if (Block::Same(b.palette[b.seen[k]], state)) {
          if (line == size_) ++size_;
          b.index[line & kMask] = b.Front(k);
          return;
        }
    }
    SetLookedUp(line, state);
  }

 private:
  static constexpr std::size_t kShift = 16, kMask = kBlockLines - 1;
  static_assert(kBlockLines == std::size_t{1} << kShift);

  // Set, for a state not among those seen last.
  __attribute__((noinline)) void SetLookedUp(std::size_t line, const TState& state) {
    if (line == size_) {
      if ((line >> kShift) == blocks_.size()) blocks_.emplace_back(large_ || !blocks_.empty());
      ++size_;
    }
    Block& b = blocks_[line >> kShift];
    const std::size_t at = line & kMask;
    const std::size_t used = std::min(size_ - (line & ~kMask), kMask + 1);
    b.index[at] = b.Number(state, used, at);
  }
  // Gives a block's numbers back where they came from.
  struct IndexFree {
    bool pooled = false;
    void operator()(std::uint16_t* p) const noexcept {
      if (pooled)
        hl::GiveIndexPiece(p);
      else
        delete[] p;
    }
  };
  static_assert((kMask + 1) * sizeof(std::uint16_t) == hl::kIndexPieceBytes);

  struct Block {
    explicit Block(bool pooled)
        : index(pooled ? static_cast<std::uint16_t*>(hl::TakeIndexPiece()) : new std::uint16_t[kMask + 1],
                IndexFree{pooled}) {}
    std::unique_ptr<std::uint16_t[], IndexFree> index;
    std::vector<TState> palette;
    std::vector<std::uint32_t> numbers;  // open addressing over the palette: number + 1, 0 = free
    // The numbers of the last states set, the latest first.
    static constexpr std::size_t kSeen = 8;
    std::uint16_t seen[kSeen] = {};
    std::uint8_t seenCount = 0;

    // Puts seen[k] in front, where the next line looks first; returns it.
    std::uint16_t Front(std::size_t k) {
      std::swap(seen[0], seen[k]);
      return seen[0];
    }

    // Records of one-byte fields are equal exactly when their bytes are.
    static bool Same(const TState& a, const TState& b) {
      if constexpr (std::has_unique_object_representations_v<TState> && sizeof(TState) > 8 && sizeof(TState) <= 16) {
        // Two words that overlap in the middle, compared without a branch between them.
        std::uint64_t a0, a1, b0, b1;
        std::memcpy(&a0, &a, 8);
        std::memcpy(&b0, &b, 8);
        std::memcpy(&a1, reinterpret_cast<const char*>(&a) + sizeof(TState) - 8, 8);
        std::memcpy(&b1, reinterpret_cast<const char*>(&b) + sizeof(TState) - 8, 8);
        return ((a0 ^ b0) | (a1 ^ b1)) == 0;
      } else if constexpr (std::has_unique_object_representations_v<TState>)
        return std::memcmp(&a, &b, sizeof(TState)) == 0;
      else
        return a == b;
    }
    static std::size_t Hash(const TState& s) {
      std::uint64_t words[(sizeof(TState) + 7) / 8] = {};
      std::memcpy(words, &s, sizeof(TState));
      std::uint64_t h = 0x9E3779B97F4A7C15ull;
      for (std::uint64_t w : words) h = (h ^ w) * 0xFF51AFD7ED558CCDull;
      return static_cast<std::size_t>(h ^ (h >> 32));
    }
    void Rehash() {
      std::size_t n = 16;
      while (n < 2 * palette.size() + 2) n *= 2;
      numbers.assign(n, 0);
      for (std::size_t i = 0; i < palette.size(); ++i) {
        std::size_t at = Hash(palette[i]) & (n - 1);
        while (numbers[at] != 0) at = (at + 1) & (n - 1);
        numbers[at] = static_cast<std::uint32_t>(i + 1);
      }
    }
    // The number of a state in the palette, for line `at` of the `used` lines.
    std::uint16_t Number(const TState& s, std::size_t used, std::size_t at) {
      if (!numbers.empty()) {
        for (std::size_t i = Hash(s) & (numbers.size() - 1); numbers[i] != 0; i = (i + 1) & (numbers.size() - 1))
          if (Same(palette[numbers[i] - 1u], s)) return Seen(static_cast<std::uint16_t>(numbers[i] - 1u));
      }
      if (palette.size() > kMask) Compact(used, at);
      palette.push_back(s);
      if (2 * palette.size() + 2 > numbers.size()) {
        Rehash();
      } else {
        std::size_t i = Hash(s) & (numbers.size() - 1);
        while (numbers[i] != 0) i = (i + 1) & (numbers.size() - 1);
        numbers[i] = static_cast<std::uint32_t>(palette.size());
      }
      return Seen(static_cast<std::uint16_t>(palette.size() - 1));
    }
    std::uint16_t Seen(std::uint16_t n) {
      if (seenCount < kSeen) ++seenCount;
      for (std::size_t k = seenCount - 1u; k > 0; --k) seen[k] = seen[k - 1];
      return seen[0] = n;
    }
    // Drops the states no line holds any longer (left by rescans); line `at` gets a new one.
    void Compact(std::size_t used, std::size_t at) {
      std::vector<TState> kept;
      std::vector<int> renumber(palette.size(), -1);
      for (std::size_t i = 0; i < used; ++i) {
        if (i == at) continue;
        std::uint16_t& n = index[i];
        if (renumber[n] < 0) {
          renumber[n] = static_cast<int>(kept.size());
          kept.push_back(palette[n]);
        }
        n = static_cast<std::uint16_t>(renumber[n]);
      }
      palette = std::move(kept);
      seenCount = 0;
      Rehash();
    }
  };
  std::vector<Block> blocks_;
  std::size_t size_ = 0;
  bool large_;
};
