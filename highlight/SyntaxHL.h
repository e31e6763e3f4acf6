#pragma once

// The highlighter base: the contract of the editor's OnHighlight event, the
// token classes and their colours, the cache of per-line end states, the
// character classes every scanner shares, and the keyword lists compiled into
// the program.
//
// A highlighter is a character-level state machine. What must survive a line
// break (an open block comment, a PHP block, ...) is its state record; the
// state at the end of every line is cached, so a line is coloured from its
// predecessor's end state alone.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "editor/AEAtoms.h"
#include "editor/AdvLines.h"

// The resources compiled into the highlight library, by name; an empty view
// with a null data pointer when there is no such resource.
std::string_view HighlightResource(std::string_view name);

// Token class of one character. The C, Java, Pascal and XML highlighters use
// the values up to ccFunc; ccAttr and ccAttrVal belong to the PHP highlighter.
enum TCharCtx : std::uint8_t {
  ccSpace,    // plain text, letters and digits outside other tokens
  ccSym,      // any other character outside other tokens
  ccVar,      // variables, "#" runs, HTML attribute names
  ccCmt,      // comments
  ccNum,      // numbers
  ccStr,      // string and character literals, quoted attribute values
  ccKey,      // listed words, PHP open/close tags, HTML tags
  ccFunc,     // never produced
  ccAttr,     // never produced
  ccAttrVal,  // unquoted HTML attribute values
};

inline constexpr int kCharCtxCount = 10;

// The fixed text colour of every token class (0x00BBGGRR).
inline constexpr TColor kCharCtxColors[kCharCtxCount] = {
    0x000000,  // ccSpace   black
    0x008000,  // ccSym     green
    0x800080,  // ccVar     purple
    0x808080,  // ccCmt     gray
    0x000080,  // ccNum     maroon
    0x800000,  // ccStr     navy
    0x808000,  // ccKey     teal
    0x000000,  // ccFunc    black
    0x800080,  // ccAttr    purple
    0x800000,  // ccAttrVal navy
};

constexpr TColor CharCtxColor(TCharCtx c) { return kCharCtxColors[c]; }

// ---- character classes (single bytes of the code page, no multi-byte handling) ----
namespace hl {

enum : std::uint8_t {
  kWord = 1,         // A-Z a-z 0-9 _
  kLetter = 2,       // A-Z a-z _
  kDigit = 4,        // 0-9
  kNumberStart = 8,  // a digit after one of these begins a number
  kNumberPart = 16,  // continues a number: digits . A-F a-f x
  kCssNumber = 32,   // continues a CSS number: the above and % p t
  kPasCharRun = 64,  // continues a Pascal "#" constant: digits # $ A-F a-f
};

struct TCharTable {
  std::uint8_t flags[256];
  char upper[256];
};

constexpr TCharTable MakeCharTable() {
  TCharTable t{};
  for (int c = 0; c < 256; ++c) {
    bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z', digit = c >= '0' && c <= '9';
    bool hex = (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    std::uint8_t f = 0;
    if (upper || lower || digit || c == '_') f |= kWord;
    if (upper || lower || c == '_') f |= kLetter;
    if (digit) f |= kDigit;
    if (digit || hex || c == '.' || c == 'x') f |= kNumberPart | kCssNumber;
    if (c == '%' || c == 'p' || c == 't') f |= kCssNumber;
    if (digit || hex || c == '#' || c == '$') f |= kPasCharRun;
    t.flags[c] = f;
    t.upper[c] = static_cast<char>(lower ? c - 32 : c);
  }
  for (char c : std::string_view(" %(*+,-/:<=>[^{")) t.flags[static_cast<unsigned char>(c)] |= kNumberStart;
  return t;
}

inline constexpr TCharTable kChars = MakeCharTable();

inline bool Has(char c, std::uint8_t flag) {
  return (kChars.flags[static_cast<unsigned char>(c)] & flag) != 0;
}
inline bool IsWord(char c) { return Has(c, kWord); }
inline bool IsLetter(char c) { return Has(c, kLetter); }
inline bool IsDigit(char c) { return Has(c, kDigit); }
inline bool IsNumberStart(char c) { return Has(c, kNumberStart); }
inline bool IsNumberPart(char c) { return Has(c, kNumberPart); }
inline char Upper(char c) { return kChars.upper[static_cast<unsigned char>(c)]; }

// ASCII letters compared without regard to case.
bool EqualNoCase(std::string_view a, std::string_view b);

// Text of a word being collected. Words longer than the buffer can still be
// collected but are never found in a list (no list holds such a word).
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

// A missing resource: the word list a highlighter needs is not in the program.
class EResNotFound : public std::runtime_error {
 public:
  explicit EResNotFound(std::string_view name)
      : std::runtime_error("Resource " + std::string(name) + " not found") {}
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

// The interface the source editor binds to the editor's OnHighlight event.
class TSyntaxHighLight {
 public:
  virtual ~TSyntaxHighLight() = default;
  // Colours one line: writes FgColor of Attrs[0 .. LineText.size() - 1].
  virtual void HighlightLine(TAdvancedEditor& Sender, std::string_view LineText, int LineIndex,
                             const TSelAttrs& SelFlags, TLineAttrs& Attrs) = 0;
  // Forgets every cached line state.
  virtual void ResetStates() = 0;
  // Lines first .. first + removed - 1 were replaced by `inserted` lines: the
  // cached states from line `first` on are no longer trusted.
  virtual void LinesChanged(int first, int removed, int inserted) = 0;
  // The state colouring line `line` starts from, as bytes: equal keys give
  // equal colours of equal text.
  virtual TColourKey StartKey(int line) = 0;
};

// The end-of-line states of the lines a highlighter has reached. Each block
// of 65,536 lines keeps every distinct state once and a 16-bit number per
// line, so the cache costs two bytes per line reached and grows without
// copying what it holds.
template <class TState>
class TStateStore {
 public:
  // The lines that have a state: 0 .. Size() - 1.
  std::size_t Size() const { return size_; }
  const TState& Get(std::size_t line) const {
    const Block& b = blocks_[line >> kShift];
    return b.palette[b.index[line & kMask]];
  }
  // Sets the state of a line that has one, or of the line right after them.
  void Set(std::size_t line, const TState& state) {
    if (line == size_) {
      if ((line >> kShift) == blocks_.size()) blocks_.emplace_back();
      ++size_;
    }
    Block& b = blocks_[line >> kShift];
    const std::size_t at = line & kMask;
    const std::size_t used = std::min(size_ - (line & ~kMask), kMask + 1);
    b.index[at] = b.Number(state, used, at);
  }

 private:
  static constexpr std::size_t kShift = 16, kMask = (std::size_t{1} << kShift) - 1;
  struct Block {
    std::unique_ptr<std::uint16_t[]> index = std::make_unique_for_overwrite<std::uint16_t[]>(kMask + 1);
    std::vector<TState> palette;
    std::vector<std::uint32_t> numbers;  // open addressing over the palette: number + 1, 0 = free
    std::uint16_t last = 0;

    static std::size_t Hash(const TState& s) {
      unsigned char bytes[sizeof(TState)];
      std::memcpy(bytes, &s, sizeof bytes);
      std::size_t h = 14695981039346656037ull;
      for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
      return h;
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
      if (!palette.empty() && palette[last] == s) return last;
      if (!numbers.empty()) {
        for (std::size_t i = Hash(s) & (numbers.size() - 1); numbers[i] != 0; i = (i + 1) & (numbers.size() - 1))
          if (palette[numbers[i] - 1u] == s) return last = static_cast<std::uint16_t>(numbers[i] - 1u);
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
      return last = static_cast<std::uint16_t>(palette.size() - 1);
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
      last = 0;
      Rehash();
    }
  };
  std::vector<Block> blocks_;
  std::size_t size_ = 0;
};

// The line-state cache shared by every highlighter; TState is the scanner's
// state record (one-byte fields, compared as a whole).
//
// States[i] is the state at the end of line i; the states of the lines below
// ValidLine are trusted. Colouring line n first brings the cache up to line n
// (scanning only the lines from ValidLine on), then scans line n from the end
// state of line n - 1. When the state reached differs from the cached one the
// line was edited in a way that matters to the lines below: ValidLine drops to
// that line, and they are rescanned the next time a later line is coloured.
template <class TState>
class TStateHighLight : public TSyntaxHighLight {
 public:
  void HighlightLine(TAdvancedEditor& Sender, std::string_view LineText, int LineIndex,
                     const TSelAttrs& SelFlags, TLineAttrs& Attrs) override;
  void ResetStates() override { ValidLine = -1; }
  void LinesChanged(int first, int removed, int inserted) override;
  TColourKey StartKey(int line) override;

  // Lines scanned so far, for colouring or for the cache.
  std::int64_t ScanCount() const { return scanCount_; }

 protected:
  TStateHighLight(TAdvLines& lines, bool swallowScanErrors)
      : Lines(&lines), swallowScanErrors_(swallowScanErrors) {}

  // Sets Classes to one class per character of `text` and advances `state` over it.
  virtual void ScanLine(std::string_view text, TState& state) = 0;
  // Advances `state` over `text` exactly as ScanLine does, without classes.
  // It changes nothing of the highlighter: it may run on two threads at once.
  virtual void AdvanceState(std::string_view text, TState& state) = 0;

  // Brings States up to date for every line below n.
  void UpdateStates(int n);
  void ApplyColors(std::string_view text, TLineAttrs& Attrs) const;

  TStateStore<TState> States;
  TAdvLines* Lines;
  int ValidLine = -1;
  std::vector<TCharCtx> Classes;
  TState StartState{};

 private:
  void ColourLine(std::string_view text, TState& state, TLineAttrs& Attrs);
  void Advance(std::string_view text, TState& state);
  // A scan that reaches line `line` in the state the cache still holds for
  // it, past a change that kept the number of lines: the cache below was
  // right all along. True when ValidLine moved on.
  bool Resumed(int line, const TState& state);
  void UpdateStatesOnTwoCores(int from, int n, TState state);
  // A stretch of this many lines to bring up to date is scanned on two cores.
  static constexpr int kTwoCoreLines = 1 << 20;

  bool swallowScanErrors_;
  std::int64_t scanCount_ = 0;
  // After a change that kept the number of lines, the states cached for the
  // lines from resumeFrom_ to resumeUntil_ - 1 hold again once the scan
  // meets one of them; resumeUntil_ 0 = no such change.
  int resumeFrom_ = 0, resumeUntil_ = 0;
};

template <class TState>
void TStateHighLight<TState>::HighlightLine(TAdvancedEditor&, std::string_view LineText, int LineIndex,
                                            const TSelAttrs&, TLineAttrs& Attrs) {
  if (LineIndex < 0) {
    // Not a line of the store: colour it as a first line, leave the cache alone.
    TState state = StartState;
    ColourLine(LineText, state, Attrs);
    return;
  }
  if (ValidLine < LineIndex) UpdateStates(LineIndex);
  TState state = LineIndex == 0 ? StartState : States.Get(static_cast<std::size_t>(LineIndex) - 1);
  ColourLine(LineText, state, Attrs);
  if (Resumed(LineIndex, state)) return;
  const auto index = static_cast<std::size_t>(LineIndex);
  if (index >= States.Size() || !(state == States.Get(index))) ValidLine = std::min(ValidLine, LineIndex);
}

template <class TState>
TColourKey TStateHighLight<TState>::StartKey(int line) {
  static_assert(sizeof(TState) <= sizeof(TColourKey::Bytes));
  if (line > 0 && ValidLine < line) UpdateStates(line);
  const TState& state = line <= 0 ? StartState : States.Get(static_cast<std::size_t>(line) - 1);
  TColourKey key;
  std::memcpy(key.Bytes.data(), &state, sizeof(TState));
  return key;
}

template <class TState>
void TStateHighLight<TState>::ColourLine(std::string_view text, TState& state, TLineAttrs& Attrs) {
  ++scanCount_;
  if (!swallowScanErrors_) {
    ScanLine(text, state);
    ApplyColors(text, Attrs);
    return;
  }
  try {
    ScanLine(text, state);
    ApplyColors(text, Attrs);
  } catch (...) {
    // The line keeps the colours written so far.
  }
}

template <class TState>
void TStateHighLight<TState>::LinesChanged(int first, int removed, int inserted) {
  // The same line changed again before any scan went past it: its cached
  // state is still the one the lines below were scanned from.
  const bool sameLine = resumeUntil_ > 0 && first == resumeFrom_ && removed == 1 && inserted == 1 && ValidLine <= first;
  if (removed == inserted && inserted > 0 && ValidLine > first + inserted && (resumeUntil_ == 0 || sameLine)) {
    // The end state of the last changed line decides: the same as before, and
    // the lines below keep theirs.
    resumeFrom_ = first + inserted - 1;
    resumeUntil_ = sameLine ? resumeUntil_ : ValidLine;
  } else {
    resumeUntil_ = 0;
  }
  ValidLine = std::min(ValidLine, first);
}

template <class TState>
bool TStateHighLight<TState>::Resumed(int line, const TState& state) {
  if (resumeUntil_ == 0 || line < resumeFrom_) return false;
  if (line >= resumeUntil_ || static_cast<std::size_t>(line) >= States.Size()) {
    resumeUntil_ = 0;  // passed: the states below are scanned anew
    return false;
  }
  if (!(state == States.Get(static_cast<std::size_t>(line)))) return false;
  ValidLine = std::max(ValidLine, resumeUntil_);
  resumeUntil_ = 0;
  return true;
}

template <class TState>
void TStateHighLight<TState>::Advance(std::string_view text, TState& state) {
  if (!swallowScanErrors_) {
    AdvanceState(text, state);
    return;
  }
  try {
    AdvanceState(text, state);
  } catch (...) {
  }
}

template <class TState>
void TStateHighLight<TState>::UpdateStates(int n) {
  const int from = std::max(ValidLine, 0);
  TState state = ValidLine <= 0 ? StartState : States.Get(static_cast<std::size_t>(ValidLine) - 1);
  if (resumeUntil_ == 0 && n - from >= kTwoCoreLines && n <= Lines->Count()) {
    UpdateStatesOnTwoCores(from, n, state);
    ValidLine = n;
    return;
  }
  int i = from;
  bool resumed = false;
  Lines->ForEachLineView(from, std::min(n, Lines->Count()), [&](std::string_view text) {
    Advance(text, state);
    resumed = Resumed(i, state);  // before the cached state is overwritten
    if (!resumed) States.Set(static_cast<std::size_t>(i), state);
    ++i;
    return !resumed;
  });
  scanCount_ += i - from;
  if (resumed) {
    if (ValidLine < n) UpdateStates(n);  // the cache held less than asked for
    return;
  }
  for (; i < n; ++i) {  // lines below the last one are empty
    Advance({}, state);
    States.Set(static_cast<std::size_t>(i), state);
    ++scanCount_;
  }
  ValidLine = n;
}

// The second half is scanned at the same time from a guessed start state.
// Once the first half's true state reaches the state the guess gave for the
// same line, every later state is the same as well: those are taken over.
// The result is that of one scan from the top.
template <class TState>
void TStateHighLight<TState>::UpdateStatesOnTwoCores(int from, int n, TState state) {
  const int middle = from + (n - from) / 2;
  TStateStore<TState> guessed;  // line middle + k at k
  std::thread other([&, guess = state]() mutable {
    std::size_t k = 0;
    Lines->ForEachLineView(middle, n, [&](std::string_view text) {
      Advance(text, guess);
      guessed.Set(k++, guess);
      return true;
    });
  });
  int i = from;
  Lines->ForEachLineView(from, middle, [&](std::string_view text) {
    Advance(text, state);
    States.Set(static_cast<std::size_t>(i++), state);
    return true;
  });
  other.join();
  Lines->ForEachLineView(middle, n, [&](std::string_view text) {
    Advance(text, state);
    States.Set(static_cast<std::size_t>(i), state);
    return !(state == guessed.Get(static_cast<std::size_t>(i++ - middle)));
  });
  scanCount_ += (i - from) + (n - middle);
  for (; i < n; ++i) States.Set(static_cast<std::size_t>(i), guessed.Get(static_cast<std::size_t>(i - middle)));
}

template <class TState>
void TStateHighLight<TState>::ApplyColors(std::string_view text, TLineAttrs& Attrs) const {
  std::size_t n = std::min({text.size(), Classes.size(), Attrs.size()});
  for (std::size_t i = 0; i < n; ++i) Attrs[i].FgColor = kCharCtxColors[Classes[i]];
}
