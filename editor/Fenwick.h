#pragma once

// Prefix sums over a sequence of values with point updates, both in O(log n).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class TFenwick {
 public:
  void Build(const std::vector<std::int64_t>& values) {
    Build(values.size(), [&values](std::size_t i) { return values[i]; });
  }
  // The same from `value(i)` for i in 0 .. n - 1, with no list of the values.
  template <typename Fn>
  void Build(std::size_t n, Fn&& value) {
    Rebuild(0, n, value);
  }
  // The same after the values from index `from` on changed and now end at
  // n; those before it are as they were. Costs O(n - from + log n).
  template <typename Fn>
  void Rebuild(std::size_t from, std::size_t n, Fn&& value) {
    from = std::min({from, n, tree_.size() - 1});
    // Room to grow: a tree that outgrows its memory moves into fresh pages.
    if (tree_.capacity() < n + 1) tree_.reserve(n + 1 + n / 8);
    tree_.resize(n + 1);
    for (std::size_t i = from + 1; i <= n; ++i) tree_[i] = static_cast<std::int64_t>(value(i - 1));
    // The nodes that end at or before `from` and whose parents lie after it
    // are those a prefix sum up to `from` reads; then each later node adds
    // itself to its parent, children first.
    for (std::size_t i = from; i > 0; i -= Low(i))
      if (i + Low(i) <= n) tree_[i + Low(i)] += tree_[i];
    for (std::size_t i = from + 1; i <= n; ++i)
      if (i + Low(i) <= n) tree_[i + Low(i)] += tree_[i];
  }
  void Add(std::size_t i, std::int64_t delta) {
    for (++i; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
  }
  // Sum of the values before index i.
  std::int64_t Prefix(std::size_t i) const {
    std::int64_t s = 0;
    for (; i > 0; i -= i & (~i + 1)) s += tree_[i];
    return s;
  }
  // The index whose range holds position `target` (0-based), and the sum
  // before it; the number of values when the target lies beyond all of them.
  std::size_t Find(std::int64_t target, std::int64_t& before) const {
    std::size_t pos = 0;
    std::size_t step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    before = 0;
    for (; step > 0; step /= 2) {
      std::size_t next = pos + step;
      if (next < tree_.size() && before + tree_[next] <= target) {
        pos = next;
        before += tree_[next];
      }
    }
    return pos;
  }

 private:
  static std::size_t Low(std::size_t i) { return i & (~i + 1); }
  std::vector<std::int64_t> tree_{0};
};
