#include "highlight/HiLiPAS.h"

#include "highlight/SyntaxHLCursor.h"

namespace {

using namespace hl;

// One line; without Colour only the rules that can change the state run.
template <bool Colour>
void ScanPasLine(std::string_view text, TPasLineState& state, TCharCtx* classes, const TWordList& keywords) {
  TScanCursor<Colour> sc(text, classes, keywords);
  bool brace = state.InBraceComment != 0, paren = state.InParenComment != 0;
  bool inString = false, charRun = false, number = false;

  while (sc.Forward()) {
    const char c = sc.Cur();
    // A string ends at the next quote; a doubled quote ends it and starts the next.
    if (inString) {
      if (c == '\'') inString = false;
      sc.Set(ccStr);
      continue;
    }
    if (c == '\'' && !brace && !paren) {
      inString = true;
      sc.Set(ccStr);
      continue;
    }
    if (paren) {
      sc.Set(ccCmt);
      if (sc.Match('*', ')')) {
        paren = false;
        sc.Neutralise();
      }
      continue;
    }
    if (brace) {
      sc.Set(ccCmt);
      if (c == '}') brace = false;
      continue;
    }
    if (sc.Match('/', '/')) {
      sc.SetToLineEnd(sc.Pos() - 1, ccCmt);
      continue;
    }
    if (sc.Match('(', '*')) {
      sc.SetPair(ccCmt);
      paren = true;
      sc.Neutralise();
      continue;
    }
    if (c == '{') {
      sc.Set(ccCmt);
      brace = true;
      continue;
    }
    if constexpr (!Colour) continue;
    // Character constants: #13, #$0D, #13#10.
    if (sc.Run(charRun, kPasCharRun, c == '#', ccStr)) continue;
    if (sc.Number(number)) continue;
    sc.Word();
  }
  sc.Finish();
  state.InBraceComment = brace ? 1 : 0;
  state.InParenComment = paren ? 1 : 0;
}

}  // namespace

TPASHighLight::TPASHighLight(TAdvLines& lines) : TStateHighLight(lines, false), Keywords(SharedWordList("PasWrd")) {}

void TPASHighLight::ScanLine(std::string_view text, TPasLineState& state) {
  Classes.resize(text.size());
  ScanPasLine<true>(text, state, Classes.data(), Keywords);
}

void TPASHighLight::AdvanceState(std::string_view text, TPasLineState& state) {
  ScanPasLine<false>(text, state, nullptr, Keywords);
}
