#pragma once

// The scanner of the C family (C, Java, XML), one line at a time. Java differs
// from C in two points: "#" begins a line comment, and "$" (not "#") begins a
// purple run over the following word characters.

#include <string_view>

#include "highlight/HiLiC.h"
#include "highlight/SyntaxHLCursor.h"
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
  TScanCursor<Colour> sc(text, classes, keywords);
  bool block = state.InBlockComment != 0;
  bool inString = false, escape = false, prefixRun = false, number = false;
  char quote = 0;

  while (sc.Forward()) {
    const char c = sc.Cur();
    if (inString) {
      if (escape)
        escape = false;
      else if (c == '\\')
        escape = true;
      else if (c == quote)
        inString = false;
      sc.Set(ccStr);
      continue;
    }
    if ((c == '"' || c == '\'') && !block) {
      quote = c;
      inString = true;
      sc.Set(ccStr);
      continue;
    }
    if (block) {
      sc.Set(ccCmt);
      if (sc.Match('*', '/')) {
        block = false;
        sc.Neutralise();
      }
      continue;
    }
    if (sc.Match('/', '/')) {
      sc.SetToLineEnd(sc.Pos() - 1, ccCmt);
      continue;
    }
    if (kJava && c == '#') {
      sc.SetToLineEnd(sc.Pos(), ccCmt);
      continue;
    }
    if (sc.Match('/', '*')) {
      sc.SetPair(ccCmt);
      block = true;
      sc.Neutralise();
      continue;
    }
    if constexpr (!Colour) continue;
    if (sc.Run(prefixRun, kWord, c == kPrefix, ccVar)) continue;
    if (sc.Number(number)) continue;
    sc.Word();
  }
  sc.Finish();
  state.InBlockComment = block ? 1 : 0;
}

}  // namespace hl
