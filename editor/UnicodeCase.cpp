#include "editor/UnicodeCase.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace unicase {
namespace {

// Every `step`-th character from `first` to `last` maps to itself + `delta`.
struct TCaseRun {
  char32_t first, last;
  std::int32_t delta;
  std::uint32_t step;
};

#include "editor/UnicodeCaseTable.inc"

template <std::size_t N>
char32_t Map(const TCaseRun (&runs)[N], char32_t ch) {
  const TCaseRun* end = std::end(runs);
  const TCaseRun* run =
      std::upper_bound(std::begin(runs), end, ch, [](char32_t c, const TCaseRun& r) { return c < r.first; });
  if (run == std::begin(runs)) return ch;
  --run;
  if (ch > run->last || (ch - run->first) % run->step != 0) return ch;
  return static_cast<char32_t>(static_cast<std::int32_t>(ch) + run->delta);
}

}  // namespace

char32_t ToUpper(char32_t ch) {
  if (ch < 0x80) return ch >= 'a' && ch <= 'z' ? ch - 32 : ch;
  return Map(kToUpper, ch);
}

char32_t ToLower(char32_t ch) {
  if (ch < 0x80) return ch >= 'A' && ch <= 'Z' ? ch + 32 : ch;
  return Map(kToLower, ch);
}

}  // namespace unicase
