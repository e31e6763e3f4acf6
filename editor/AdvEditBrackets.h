#pragma once

// Matching brackets: the partner of a bracket, found over the lines of the
// text while skipping the brackets that are no code (those inside strings
// and comments, as the document's highlighter tells), within a bound of
// bytes so that a partner far away never stalls a key.

#include <cstdint>
#include <functional>
#include <vector>

class TAdvLines;

// Which bytes of line `line` are no code (inside a string or a comment):
// notCode[i] != 0. An empty answer means the whole line is code.
using TCodeMask = std::function<void(int line, std::vector<std::uint8_t>& notCode)>;

// A byte position in a line.
struct TTextSpot {
  int Line = -1;
  int Pos = -1;
  bool Valid() const { return Line >= 0; }
  bool operator==(const TTextSpot&) const = default;
};

namespace brackets {

// The bytes a search looks at before it gives up: about 3,000 lines of code.
constexpr std::int64_t kSearchBytes = 128 * 1024;

// Whether `c` is one of ( ) [ ] { }.
bool IsBracket(char c);

// The partner of the bracket at `at`; none when `at` holds no bracket that is
// code, when the brackets do not pair up, or when more than `budget` bytes
// (counting two for every line end) would have to be read.
TTextSpot Partner(const TAdvLines& lines, const TCodeMask& mask, TTextSpot at, std::int64_t budget = kSearchBytes);

// The bracket a caret at byte `pos` of line `line` stands at: the one after
// it, else the one before it; none when neither is a bracket that is code.
TTextSpot AtCaret(const TAdvLines& lines, const TCodeMask& mask, int line, int pos);

// AtCaret and its Partner, asking the mask of the caret's line once; both
// none when the bracket has no partner.
struct TPair {
  TTextSpot At, Partner;
};
TPair PairAtCaret(const TAdvLines& lines, const TCodeMask& mask, int line, int pos,
                  std::int64_t budget = kSearchBytes);

}  // namespace brackets
