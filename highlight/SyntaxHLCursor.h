#pragma once

// The cursor the C, Java and Pascal scanners walk a line with, in the manner
// of a lexer's style context: the current character and the one before it,
// the class of every character, and the rules each scanner ends with (a run
// a character starts, a number, a word looked up in the keyword list).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "editor/AEAtoms.h"
#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLTokens.h"
#include "highlight/SyntaxHLWordText.h"
#include "highlight/SyntaxHLWords.h"

namespace hl {

// With Colour the cursor writes one class per character to `classes`; without
// it the classes and the words are left out, and `classes` may be null.
template <bool Colour>
class TScanCursor {
 public:
  TScanCursor(std::string_view text, TCharCtx* classes, const TWordList& keywords)
      : text_(text), classes_(classes), keywords_(keywords) {}

  // Moves to the next character; false past the end of the line. The current
  // character becomes the previous one (before the first one stands a
  // space). The new one is classed ccSpace when it is a word character or a
  // display mark, else ccSym, and a word being collected ends before it when
  // it is no word character.
  bool Forward() {
    if (next_ >= text_.size()) return false;
    pos_ = next_++;
    prev_ = cur_;
    cur_ = text_[pos_];
    Set(IsWord(cur_) || cur_ == kVisibleSpace || cur_ == kLineEndMark ? ccSpace : ccSym);
    if (collecting_ && !IsWord(cur_)) EndWord(pos_);
    return true;
  }

  std::size_t Pos() const { return pos_; }
  char Cur() const { return cur_; }
  char Prev() const { return prev_; }
  // The previous and the current character are the pair `first` `second`.
  bool Match(char first, char second) const { return prev_ == first && cur_ == second; }
  // The current character, the end of a two-character delimiter, counts as
  // the letter 'x' in the next pair: one character never serves two delimiters.
  void Neutralise() { cur_ = 'x'; }

  void Set(TCharCtx c) {
    if constexpr (Colour) classes_[pos_] = c;
  }
  // The previous and the current character, a two-character delimiter.
  void SetPair(TCharCtx c) {
    if constexpr (Colour) classes_[pos_ - 1] = classes_[pos_] = c;
  }
  // Classes the characters from `from` to the end of the line, and moves
  // past the end.
  void SetToLineEnd(std::size_t from, TCharCtx c) {
    if constexpr (Colour)
      for (std::size_t i = from; i < text_.size(); ++i) classes_[i] = c;
    next_ = text_.size();
  }

  // A run of class `c` that a character for which `starts` holds begins, and
  // the characters with the flag `continuing` continue; `on` says whether the
  // run is open. The character that ends a run does not begin another one.
  // True when the current character belongs to the run.
  bool Run(bool& on, std::uint8_t continuing, bool starts, TCharCtx c) {
    if (on && !Has(cur_, continuing)) {
      on = false;
      return false;
    }
    if (!on && !starts) return false;
    on = true;
    Set(c);
    return true;
  }
  // A number: a digit after a character of the number-start set begins one.
  bool Number(bool& on) { return Run(on, kNumberPart, IsDigit(cur_) && IsNumberStart(prev_), ccNum); }

  // A word character starts or continues the word being collected. A word
  // ends before the first character that is no word character, or at the end
  // of the line (Finish); a word of the keyword list is classed ccKey.
  void Word() {
    if (!IsWord(cur_)) return;
    if (!collecting_) {
      collecting_ = true;
      wordStart_ = pos_;
      word_.Clear();
    }
    word_.Append(cur_);
  }
  void Finish() {
    if (collecting_) EndWord(text_.size());
  }

 private:
  void EndWord(std::size_t end) {
    if constexpr (Colour)
      if (word_.Fits() && keywords_.Contains(word_.View()))
        for (std::size_t i = wordStart_; i < end; ++i) classes_[i] = ccKey;
    collecting_ = false;
  }

  std::string_view text_;
  TCharCtx* classes_;
  const TWordList& keywords_;
  std::size_t pos_ = 0, next_ = 0;
  char cur_ = ' ', prev_ = ' ';
  bool collecting_ = false;
  std::size_t wordStart_ = 0;
  TWordText word_;
};

}  // namespace hl
