#pragma once

// The highlighter interface: what the source editor calls to colour a line
// and to tell of changes, with the token classes the colours come from.
//
// A highlighter is a character-level state machine. What must survive a line
// break (an open block comment, a PHP block, ...) is its state record; the
// state at the end of every line is cached, so a line is coloured from its
// predecessor's end state alone. The parts live beside this header:
//   SyntaxHLTokens.h         token classes and their colours
//   SyntaxHLChars.h          the character classes every scanner shares
//   SyntaxHLWordText.h       the text of a word being collected
//   SyntaxHLFind.h           finding the next byte of a small set, 16 at a time
//   SyntaxHLWords.h          the compiled-in keyword lists
//   SyntaxHLStates.h         the cache of per-line end states
//   SyntaxHLTwoCores.h       bringing a long stretch of states up to date on two cores
//   SyntaxHLStateHighLight.h the highlighter over that cache, for a scanner
//   SyntaxHLCursor.h         the cursor of the C, Java and Pascal scanners

#include <string_view>
#include <vector>

#include "editor/AEAtoms.h"
#include "highlight/SyntaxHLTokens.h"

// The interface the source editor binds to the editor's OnHighlight event.
class TSyntaxHighLight {
 public:
  virtual ~TSyntaxHighLight() = default;
  // Colours one line: writes FgColor of Attrs[0 .. LineText.size() - 1].
  virtual void HighlightLine(std::string_view LineText, int LineIndex, const TSelAttrs& SelFlags,
                             TLineAttrs& Attrs) = 0;
  // Forgets every cached line state.
  virtual void ResetStates() = 0;
  // Lines first .. first + removed - 1 were replaced by `inserted` lines: the
  // cached states from line `first` on are no longer trusted.
  virtual void LinesChanged(int first, int removed, int inserted) = 0;
  // The state colouring line `line` starts from, as bytes: equal keys give
  // equal colours of equal text.
  virtual TColourKey StartKey(int line) = 0;
  // The token class of every byte of line `line` of the store (none from a
  // highlighter that cannot tell); the cached states stay as they are.
  virtual void LineClasses(int /*line*/, std::vector<TCharCtx>& classes) { classes.clear(); }
};
