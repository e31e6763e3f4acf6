#pragma once

// Colouring documents in tests: every character's colour as one letter.
//
//   .  black   (plain text)        s  green  (symbols)
//   v  purple  (variables, names)  c  gray   (comments)
//   n  maroon  (numbers)           q  navy   (strings, attribute values)
//   k  teal    (keywords, tags)    ?  anything else (a colour no class has)

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/AdvLines.h"
#include "highlight/SyntaxHL.h"
#include "tests/support/FakeLinesOwner.h"

namespace hltest {

// The default text colour the painter fills in; no token class has it.
inline constexpr TColor kDefaultFg = 0x123456;

char Letter(TColor c);

// Colours `text` as line `index` of the highlighter's document.
std::string Colours(TSyntaxHighLight& h, std::string_view text, int index);

// A document and one highlighter on it.
struct Doc {
  FakeLinesOwner owner;
  TAdvLines lines{&owner};
  std::unique_ptr<TSyntaxHighLight> hl;

  // Paints every line in order, as the painter does after a change marks
  // every line for recolouring.
  std::vector<std::string> PaintAll();
  std::string Paint(int index) { return Colours(*hl, lines.LineView(index), index); }
};

enum class Kind { PHP, PHPStyleSheet, PHPScript, C, Java, Pascal, XML };

std::unique_ptr<TSyntaxHighLight> Make(Kind kind, TAdvLines& lines);

// A document of these lines coloured by a new highlighter of `kind`.
std::unique_ptr<Doc> MakeDoc(Kind kind, const std::vector<std::string>& lines);

// One table row: a document and the colours of its lines.
struct Case {
  std::vector<std::string> lines;
  std::vector<std::string> colours;
};

// Checks every row of `cases`, each in a new document.
void ExpectColours(Kind kind, const std::vector<Case>& cases);

}  // namespace hltest
