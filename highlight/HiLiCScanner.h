#pragma once

// The scanner of the C family (C, Java, XML), one line at a time. Java differs
// from C in two points: "#" begins a line comment, and "$" (not "#") begins a
// purple run over the following word characters.

#include <cstddef>
#include <string_view>

#include "highlight/HiLiC.h"
#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLWordText.h"
#include "highlight/SyntaxHLWords.h"

namespace hl {

enum class TCDialect { C, Java };

// Advances `state` over `text`; with Colour, also writes one class per
// character to `classes`. Without it the rules that cannot change the state
// (prefix runs, numbers, words) are skipped.
template <TCDialect Dialect, bool Colour>
void ScanCLine(std::string_view text, TCLineState& state, TCharCtx* classes, const TWordList& keywords) {
  constexpr bool kJava = Dialect == TCDialect::Java;
  constexpr char kPrefix = kJava ? '$' : '#';
  const std::size_t n = text.size();
  auto set = [&](std::size_t i, TCharCtx c) {
    if constexpr (Colour) classes[i] = c;
  };
  bool block = state.InBlockComment != 0;
  bool lineComment = false, inString = false, escape = false, prefixRun = false, number = false;
  bool collecting = false;
  char cur = ' ', prev = ' ', quote = 0;
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
    // when a string, comment or run begins there.
    if (collecting && !IsWord(cur)) endWord(pos);
    if (inString) {
      if (escape)
        escape = false;
      else if (cur == '\\')
        escape = true;
      else if (cur == quote)
        inString = false;
      set(pos, ccStr);
      continue;
    }
    if ((cur == '"' || cur == '\'') && !lineComment && !block) {
      quote = cur;
      inString = true;
      set(pos, ccStr);
      continue;
    }
    if (lineComment) {
      if constexpr (!Colour) break;
      set(pos, ccCmt);
      continue;
    }
    if (block) {
      set(pos, ccCmt);
      if (prev == '*' && cur == '/') {
        block = false;
        cur = 'x';
      }
      continue;
    }
    if (prev == '/' && cur == '/') {
      set(pos - 1, ccCmt);
      set(pos, ccCmt);
      lineComment = true;
      continue;
    }
    if (kJava && cur == '#') {
      set(pos, ccCmt);
      lineComment = true;
      continue;
    }
    if (prev == '/' && cur == '*') {
      set(pos - 1, ccCmt);
      set(pos, ccCmt);
      block = true;
      cur = 'x';
      continue;
    }
    if constexpr (!Colour) continue;
    if (prefixRun) {
      if (IsWord(cur)) {
        set(pos, ccVar);
        continue;
      }
      prefixRun = false;
    } else if (cur == kPrefix) {
      prefixRun = true;
      set(pos, ccVar);
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
  state.InBlockComment = block ? 1 : 0;
}

}  // namespace hl
