#pragma once

// Prefix sums over a sequence of values with point updates, both in O(log n).

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
    tree_.assign(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
      tree_[i + 1] += static_cast<std::int64_t>(value(i));
      std::size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
      if (parent < tree_.size()) tree_[parent] += tree_[i + 1];
    }
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
  std::vector<std::int64_t> tree_{0};
};
