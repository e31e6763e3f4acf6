#pragma once

// TCHighLight: C and C++ sources. Strings, "//" and "/* */" comments, "#"
// runs (preprocessor words), numbers and the words of "CppWrd".

#include <cstdint>
#include <string_view>

#include "highlight/SyntaxHLStateHighLight.h"
#include "highlight/SyntaxHLWords.h"

// The one flag the C family carries from line to line.
struct TCLineState {
  std::uint8_t InBlockComment = 0;
  bool operator==(const TCLineState&) const = default;
};

class TCHighLight : public TStateHighLight<TCLineState> {
 public:
  explicit TCHighLight(TAdvLines& lines);
  bool IsKeyword(std::string_view word) const { return Keywords.Contains(word); }

 protected:
  void ScanLine(std::string_view text, TCLineState& state) override;
  void AdvanceState(std::string_view text, TCLineState& state) override;

  const TWordList& Keywords;  // shared by every highlighter of the language
};
