// TAdvDocument: finding a text in the lines without regard to case.

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "editor/AdvDocument.h"
#include "editor/AdvLines.h"
#include "editor/CaseMap.h"
#include "editor/UnicodeCase.h"
#include "editor/Utf8.h"

namespace {

// The code page's characters folded by case: bytes equal without regard to
// case fold to the same byte.
struct TFoldTable {
  unsigned char fold[256];
  TFoldTable() {
    for (int b = 0; b < 256; ++b) fold[b] = static_cast<unsigned char>(casemap::ToUpper(static_cast<char>(b)));
  }
};
const TFoldTable kFold;

// Case-insensitive search of a needle in `hay`. Candidate starts are found
// with memchr for each of the bytes in `firsts` (those a match may start
// with); each next position is searched again only after it has been
// passed. `rest` compares the text from a candidate start with the needle
// and gives the length of the match, 0 when there is none.
template <typename Rest>
std::size_t FindFrom(std::string_view hay, const std::vector<char>& firsts, std::size_t shortest, Rest&& rest,
                     std::size_t& length) {
  if (shortest == 0 || shortest > hay.size()) return std::string_view::npos;
  const std::size_t last = hay.size() - shortest;
  constexpr std::size_t kMost = 8;
  const std::size_t count = std::min(firsts.size(), kMost);
  std::size_t next[kMost];
  bool searched[kMost] = {};
  auto find = [&](std::size_t k, std::size_t from) {
    const void* p = std::memchr(hay.data() + from, firsts[k], last - from + 1);
    next[k] = p ? static_cast<std::size_t>(static_cast<const char*>(p) - hay.data()) : std::string_view::npos;
    searched[k] = true;
  };
  for (std::size_t i = 0; i <= last;) {
    std::size_t start = std::string_view::npos;
    for (std::size_t k = 0; k < count; ++k) {
      if (!searched[k] || (next[k] != std::string_view::npos && next[k] < i)) find(k, i);
      start = std::min(start, next[k]);
    }
    if (start == std::string_view::npos) return start;
    length = rest(start);
    if (length > 0) return start;
    i = start + 1;
  }
  return std::string_view::npos;
}

// The UTF-8 character at `pos` (a byte that is not UTF-8 as the character
// of its number) and its length.
int CharAt(std::string_view text, std::size_t pos, char32_t& ch) {
  const int n = utf8::Decode(text, pos, ch);
  if (n > 0) return n;
  ch = static_cast<unsigned char>(text[pos]);
  return 1;
}

}  // namespace

std::int64_t TAdvDocument::FindText(const std::string& text, int from, std::size_t& length) const {
  // A Windows-1252 needle compared byte by byte through the code page's
  // fold; a UTF-8 one character by character through the Unicode case table.
  std::vector<char> firsts;
  std::string folded;        // Windows-1252: the needle folded
  std::u32string upper;      // UTF-8: the needle's characters in upper case
  std::size_t shortest = 0;  // the fewest bytes a match can have
  const bool utf8 = Utf8();
  if (!utf8) {
    for (char c : text) folded.push_back(static_cast<char>(kFold.fold[static_cast<unsigned char>(c)]));
    for (int c = 0; c < 256 && !folded.empty(); ++c)
      if (kFold.fold[c] == static_cast<unsigned char>(folded[0])) firsts.push_back(static_cast<char>(c));
    shortest = folded.size();
  } else {
    for (std::size_t i = 0; i < text.size();) {
      char32_t ch = 0;
      i += static_cast<std::size_t>(CharAt(text, i, ch));
      upper.push_back(unicase::ToUpper(ch));
    }
    // A match starts with the first byte of one of the first character's case forms.
    if (!upper.empty()) {
      const char32_t first = upper[0], lower = unicase::ToLower(first);
      for (char32_t form : {first, lower, unicase::ToUpper(lower), unicase::ToLower(lower)}) {
        char bytes[4];
        if (!utf8::Encodable(form)) continue;
        utf8::Encode(form, bytes);
        if (std::find(firsts.begin(), firsts.end(), bytes[0]) == firsts.end()) firsts.push_back(bytes[0]);
      }
    }
    shortest = upper.size();
  }
  const int count = lines_.Count();
  for (int i = std::max(0, from); i < count && shortest > 0; ++i) {
    const std::string_view hay = lines_.LineView(i);
    std::size_t p = std::string_view::npos;
    if (!utf8) {
      p = FindFrom(
          hay, firsts, shortest,
          [&](std::size_t start) -> std::size_t {
            std::size_t k = 1;
            while (k < folded.size() &&
                   kFold.fold[static_cast<unsigned char>(hay[start + k])] == static_cast<unsigned char>(folded[k]))
              ++k;
            return k == folded.size() ? k : 0;
          },
          length);
    } else {
      p = FindFrom(
          hay, firsts, shortest,
          [&](std::size_t start) -> std::size_t {
            // A match starts at a character's start.
            if (start > 0 && (static_cast<unsigned char>(hay[start]) & 0xC0) == 0x80) return 0;
            std::size_t at = start;
            for (char32_t want : upper) {
              if (at >= hay.size()) return 0;
              char32_t ch = 0;
              at += static_cast<std::size_t>(CharAt(hay, at, ch));
              if (unicase::ToUpper(ch) != want) return 0;
            }
            return at - start;
          },
          length);
    }
    if (p != std::string_view::npos) return lines_.LineStartOffset(i) + static_cast<std::int64_t>(p);
  }
  return -1;
}
