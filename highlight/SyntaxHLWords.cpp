#include "highlight/SyntaxHLWords.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "highlight/SyntaxHLChars.h"

// The lookups of the embedded word lists, one per list.
std::string_view PHPWrdResource(std::string_view name);
std::string_view HTMLTagsResource(std::string_view name);
std::string_view JSWrdResource(std::string_view name);
std::string_view CSSWrdResource(std::string_view name);
std::string_view PasWrdResource(std::string_view name);
std::string_view JavaWrdResource(std::string_view name);
std::string_view CppWrdResource(std::string_view name);

std::string_view HighlightResource(std::string_view name) {
  for (auto lookup : {PHPWrdResource, HTMLTagsResource, JSWrdResource, CSSWrdResource, PasWrdResource, JavaWrdResource,
                      CppWrdResource}) {
    std::string_view data = lookup(name);
    if (data.data() != nullptr) return data;
  }
  return {};
}

namespace {

// FNV-1a over the upper-cased bytes, so that a word hashes alike in any case.
std::uint32_t HashNoCase(std::string_view word) {
  std::uint32_t h = 2166136261u;
  for (char c : word) {
    h ^= static_cast<unsigned char>(hl::Upper(c));
    h *= 16777619u;
  }
  return h;
}

}  // namespace

std::string_view TWordList::WordAt(std::uint32_t index) const {
  std::uint32_t start = starts_[index];
  std::uint32_t end = index + 1 < starts_.size() ? starts_[index + 1] : static_cast<std::uint32_t>(text_.size());
  return std::string_view(text_).substr(start, end - start);
}

bool TWordList::Insert(std::string_view upperWord) {
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = HashNoCase(upperWord) & mask;; i = (i + 1) & mask) {
    if (slots_[i] == 0) {
      starts_.push_back(static_cast<std::uint32_t>(text_.size()));
      text_.append(upperWord);
      slots_[i] = static_cast<std::uint32_t>(starts_.size());
      maxLength_ = std::max(maxLength_, upperWord.size());
      return true;
    }
    if (WordAt(slots_[i] - 1) == upperWord) return false;
  }
}

void TWordList::Assign(std::string_view text) {
  text_.clear();
  starts_.clear();
  maxLength_ = 0;
  auto separator = [](char c) { return c == '\r' || c == '\n' || c == ' '; };
  std::size_t words = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!separator(text[i]) && (i + 1 == text.size() || separator(text[i + 1]))) ++words;
  // At most half of the slots are used.
  std::size_t slots = 16;
  while (slots < 2 * words) slots *= 2;
  slots_.assign(slots, 0);

  std::string word;
  auto flush = [&] {
    if (!word.empty()) Insert(word);
    word.clear();
  };
  for (char c : text) {
    if (separator(c))
      flush();
    else
      word.push_back(hl::Upper(c));
  }
  flush();
}

bool TWordList::Contains(std::string_view word) const {
  if (word.empty() || word.size() > maxLength_) return false;
  std::size_t mask = slots_.size() - 1;
  for (std::size_t i = HashNoCase(word) & mask;; i = (i + 1) & mask) {
    std::uint32_t slot = slots_[i];
    if (slot == 0) return false;
    if (hl::EqualNoCase(WordAt(slot - 1), word)) return true;
  }
}

std::vector<std::string> TWordList::Words() const {
  std::vector<std::string> words;
  for (std::uint32_t i = 0; i < starts_.size(); ++i) words.emplace_back(WordAt(i));
  std::sort(words.begin(), words.end());
  return words;
}

void LoadWordList(TWordList& list, std::string_view resourceName) {
  std::string_view data = HighlightResource(resourceName);
  if (data.data() == nullptr) throw EResNotFound(resourceName);
  list.Assign(data);
}

const TWordList& SharedWordList(std::string_view resourceName) {
  static std::mutex guard;
  static std::map<std::string, std::unique_ptr<const TWordList>, std::less<>> lists;
  std::lock_guard lock(guard);
  auto at = lists.find(resourceName);
  if (at == lists.end()) {
    auto list = std::make_unique<TWordList>();
    LoadWordList(*list, resourceName);
    at = lists.emplace(std::string(resourceName), std::move(list)).first;
  }
  return *at->second;
}
