#pragma once

// TPHPHighLight: web documents. HTML text with PHP blocks, JavaScript inside
// script elements and CSS inside the HTML comment of a style element; one
// character-level scanner over an HTML base state with three embedded
// sub-scanners.

#include <cstdint>
#include <string_view>

#include "highlight/SyntaxHLStateHighLight.h"
#include "highlight/SyntaxHLWords.h"

// What the PHP highlighter carries from one line to the next.
struct TPHPLineState {
  std::uint8_t InBlockComment = 0;  // inside a PHP /* ... */ comment
  std::uint8_t InPHP = 0;           // inside a PHP block
  std::uint8_t InHTMLComment = 0;   // inside <!-- ... -->
  std::uint8_t InTag = 0;           // inside an HTML tag, after its name
  std::uint8_t ExpectAttrName = 0;  // reading an attribute name (until "=")
  std::uint8_t InAttrString = 0;    // inside a quoted attribute value
  std::uint8_t TagIsScript = 0;     // the last known tag was an opening SCRIPT tag
  std::uint8_t TagIsStyle = 0;      // the last known tag was an opening STYLE tag
  std::uint8_t InScript = 0;        // inside the body of a script element
  std::uint8_t InScriptWord = 0;    // a JavaScript or CSS word is being collected
  // The quote character of an attribute value still open at the end of the
  // line (0 when none), so that the same quote closes it on a later line.
  std::uint8_t AttrQuote = 0;
  bool operator==(const TPHPLineState&) const = default;
};

class TPHPHighLight : public TStateHighLight<TPHPLineState> {
 public:
  explicit TPHPHighLight(TAdvLines& lines);

  // Colours line 0 as the content of a style sheet (".CSS" files).
  void StartInStyleSheet();
  // Colours line 0 as the body of a script element (".JS" files).
  void StartInScript();

  // The four lists, parsed once per process and shared by every PHP highlighter.
  struct TWordLists {
    const TWordList &PHPWords, &HTMLTagWords, &JSWords, &CSSWords;
  };
  static const TWordLists& SharedWords();

  bool IsKeyword(std::string_view word) const { return Words.PHPWords.Contains(word); }

 protected:
  void ScanLine(std::string_view text, TPHPLineState& state) override;
  void AdvanceState(std::string_view text, TPHPLineState& state) override;

 private:
  const TWordLists& Words;
};
