#pragma once

// A table of entries kept in pages of a fixed size. Growing it never moves
// the entries already there: adding a few to a large table costs only their
// own memory, where a vector would copy all of it into fresh pages.

#include <cstddef>
#include <memory>
#include <vector>

template <typename T, std::size_t kPage = 4096>
class TPagedTable {
 public:
  T& operator[](std::size_t i) { return pages_[i / kPage][i % kPage]; }
  const T& operator[](std::size_t i) const { return pages_[i / kPage][i % kPage]; }
  std::size_t size() const { return size_; }
  void push_back(T entry) {
    if (size_ == pages_.size() * kPage) pages_.push_back(std::make_unique<T[]>(kPage));
    (*this)[size_++] = std::move(entry);
  }
  void clear() {
    pages_.clear();
    size_ = 0;
  }

 private:
  std::vector<std::unique_ptr<T[]>> pages_;
  std::size_t size_ = 0;
};
