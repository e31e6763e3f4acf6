#pragma once

// TPASHighLight: Pascal sources. "{ }", "(* *)" and "//" comments, strings in
// single quotes, "#" character constants, numbers and the words of "PasWrd".

#include <cstdint>
#include <string_view>

#include "highlight/SyntaxHLStateHighLight.h"
#include "highlight/SyntaxHLWords.h"

// The two comment kinds that run across lines.
struct TPasLineState {
  std::uint8_t InBraceComment = 0;  // inside { ... }
  std::uint8_t InParenComment = 0;  // inside (* ... *)
  bool operator==(const TPasLineState&) const = default;
};

class TPASHighLight : public TStateHighLight<TPasLineState> {
 public:
  explicit TPASHighLight(TAdvLines& lines);
  bool IsKeyword(std::string_view word) const { return Keywords.Contains(word); }

 protected:
  void ScanLine(std::string_view text, TPasLineState& state) override;
  void AdvanceState(std::string_view text, TPasLineState& state) override;

  const TWordList& Keywords;  // shared by every highlighter of the language
};
