#include "highlight/HiLiPAS.h"

#include <cstddef>

#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLWordText.h"

namespace {

using namespace hl;

// One line; without Colour only the rules that can change the state run.
template <bool Colour>
void ScanPasLine(std::string_view text, TPasLineState& state, TCharCtx* classes, const TWordList& keywords) {
  const std::size_t n = text.size();
  auto set = [&](std::size_t i, TCharCtx c) {
    if constexpr (Colour) classes[i] = c;
  };
  bool brace = state.InBraceComment != 0, paren = state.InParenComment != 0;
  bool lineComment = false, inString = false, charRun = false, number = false, collecting = false;
  char cur = ' ', prev = ' ';
  std::size_t wordStart = 0;
  TWordText word;
  auto endWord = [&](std::size_t end) {
    if constexpr (Colour)
      if (word.Fits() && keywords.Contains(word.View()))
        for (std::size_t i = wordStart; i < end; ++i) classes[i] = ccKey;
    collecting = false;
  };

  for (std::size_t pos = 0; pos < n; ++pos) {
    prev = cur;
    cur = text[pos];
    set(pos, IsWord(cur) || cur == kVisibleSpace || cur == kLineEndMark ? ccSpace : ccSym);
    // A word ends at the first character that is not a word character, also
    // when a string, comment or constant begins there.
    if (collecting && !IsWord(cur)) endWord(pos);
    // A string ends at the next quote; a doubled quote ends it and starts the next.
    if (inString) {
      if (cur == '\'') inString = false;
      set(pos, ccStr);
      continue;
    }
    if (cur == '\'' && !lineComment && !brace && !paren) {
      inString = true;
      set(pos, ccStr);
      continue;
    }
    if (lineComment) {
      if constexpr (!Colour) break;
      set(pos, ccCmt);
      continue;
    }
    if (paren) {
      set(pos, ccCmt);
      if (prev == '*' && cur == ')') {
        paren = false;
        cur = 'x';
      }
      continue;
    }
    if (brace) {
      set(pos, ccCmt);
      if (cur == '}') brace = false;
      continue;
    }
    if (prev == '/' && cur == '/') {
      set(pos - 1, ccCmt);
      set(pos, ccCmt);
      lineComment = true;
      continue;
    }
    if (prev == '(' && cur == '*') {
      set(pos - 1, ccCmt);
      set(pos, ccCmt);
      paren = true;
      cur = 'x';
      continue;
    }
    if (cur == '{') {
      set(pos, ccCmt);
      brace = true;
      continue;
    }
    if constexpr (!Colour) continue;
    // Character constants: #13, #$0D, #13#10.
    if (charRun) {
      if (Has(cur, kPasCharRun)) {
        set(pos, ccStr);
        continue;
      }
      charRun = false;
    } else if (cur == '#') {
      charRun = true;
      set(pos, ccStr);
      continue;
    }
    if (number) {
      if (IsNumberPart(cur)) {
        set(pos, ccNum);
        continue;
      }
      number = false;
    } else if (IsDigit(cur) && IsNumberStart(prev)) {
      number = true;
      set(pos, ccNum);
      continue;
    }
    if (!collecting && IsWord(cur)) {
      collecting = true;
      wordStart = pos;
      word.Clear();
    }
    if (collecting) {
      word.Append(cur);
      if (pos + 1 == n) endWord(n);
    }
  }
  state.InBraceComment = brace ? 1 : 0;
  state.InParenComment = paren ? 1 : 0;
}

}  // namespace

TPASHighLight::TPASHighLight(TAdvLines& lines) : TStateHighLight(lines, false) { LoadWordList(Keywords, "PasWrd"); }

void TPASHighLight::ScanLine(std::string_view text, TPasLineState& state) {
  Classes.resize(text.size());
  ScanPasLine<true>(text, state, Classes.data(), Keywords);
}

void TPASHighLight::AdvanceState(std::string_view text, TPasLineState& state) {
  ScanPasLine<false>(text, state, nullptr, Keywords);
}
