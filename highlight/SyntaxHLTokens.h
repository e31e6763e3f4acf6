#pragma once

// The token classes a scanner gives the characters of a line, and the fixed
// text colour of each.

#include <cstdint>

#include "editor/AEAtoms.h"

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
