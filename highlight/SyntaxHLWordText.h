#pragma once

// The text of the word a scanner is collecting, kept without allocating.

#include <cstddef>
#include <string_view>

namespace hl {

// Words longer than the buffer can still be collected but are never found in
// a list (no list holds such a word).
class TWordText {
 public:
  static constexpr std::size_t kCapacity = 96;
  void Clear() { length_ = 0; }
  void Append(char c) {
    if (length_ < kCapacity) buffer_[length_] = c;
    ++length_;
  }
  bool Fits() const { return length_ <= kCapacity; }
  // The collected text; only meaningful when Fits().
  std::string_view View() const { return {buffer_, length_ <= kCapacity ? length_ : 0}; }

 private:
  char buffer_[kCapacity];
  std::size_t length_ = 0;
};

}  // namespace hl
