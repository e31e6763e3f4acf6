#pragma once

// TXMLHighLight: XML files, coloured by the C scanner with the words of
// "CppWrd". Markup itself (tags, "<!--" comments, entities) is not recognised:
// quoted values are strings, "//" and "/*" open comments wherever they stand
// outside quotes, "#" begins a purple run.

#include <string_view>

#include "highlight/HiLiC.h"
#include "highlight/SyntaxHLStateHighLight.h"
#include "highlight/SyntaxHLWords.h"

class TXMLHighLight : public TStateHighLight<TCLineState> {
 public:
  explicit TXMLHighLight(TAdvLines& lines);
  bool IsKeyword(std::string_view word) const { return Keywords.Contains(word); }

 protected:
  void ScanLine(std::string_view text, TCLineState& state) override;
  void AdvanceState(std::string_view text, TCLineState& state) override;

  const TWordList& Keywords;  // shared by every highlighter of the language
};
