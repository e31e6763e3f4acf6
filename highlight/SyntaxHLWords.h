#pragma once

// The keyword lists compiled into the program: the resources by name, and
// the list a highlighter looks its words up in.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The resources compiled into the highlight library, by name; an empty view
// with a null data pointer when there is no such resource.
std::string_view HighlightResource(std::string_view name);

// A missing resource: the word list a highlighter needs is not in the program.
class EResNotFound : public std::runtime_error {
 public:
  explicit EResNotFound(std::string_view name) : std::runtime_error("Resource " + std::string(name) + " not found") {}
};

// A keyword list: upper-cased words, duplicates ignored, looked up without
// regard to ASCII case through an open-addressing hash table.
class TWordList {
 public:
  // Replaces the words by those of `text`: CR, LF and space separate words,
  // every other byte belongs to one.
  void Assign(std::string_view text);
  bool Contains(std::string_view word) const;
  int Count() const { return static_cast<int>(starts_.size()); }
  std::size_t MaxLength() const { return maxLength_; }
  // The words in ascending byte order.
  std::vector<std::string> Words() const;

 private:
  std::string_view WordAt(std::uint32_t index) const;
  bool Insert(std::string_view upperWord);

  std::string text_;                   // the words, upper-cased, one after another
  std::vector<std::uint32_t> starts_;  // start of every word in text_; ends at the next start
  std::vector<std::uint32_t> slots_;   // hash table: word index + 1, 0 = free
  std::size_t maxLength_ = 0;
};

// Fills `list` from the compiled-in resource `resourceName`; throws
// EResNotFound when the program has no such resource.
void LoadWordList(TWordList& list, std::string_view resourceName);

// The list of the compiled-in resource `resourceName`, parsed on first use
// and shared, unchanged, by every highlighter of the process from then on
// (safe to ask from any thread). Throws EResNotFound as LoadWordList does.
const TWordList& SharedWordList(std::string_view resourceName);
