#pragma once

// TJavaHighLight: Java sources. The C scanner with "#" line comments and "$"
// variables, and the words of "JavaWrd".

#include <string_view>

#include "highlight/HiLiC.h"
#include "highlight/SyntaxHLStateHighLight.h"
#include "highlight/SyntaxHLWords.h"

class TJavaHighLight : public TStateHighLight<TCLineState> {
 public:
  explicit TJavaHighLight(TAdvLines& lines);
  bool IsKeyword(std::string_view word) const { return Keywords.Contains(word); }

 protected:
  void ScanLine(std::string_view text, TCLineState& state) override;
  void AdvanceState(std::string_view text, TCLineState& state) override;

  const TWordList& Keywords;  // shared by every highlighter of the language
};
