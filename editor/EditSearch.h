#pragma once

// The searches an editor runs for its window: find the next or previous
// match from the caret (wrapping round the text), replace the selected
// match, replace every match as one undo step, and go to a line. Patterns
// and replacements are UTF-8, as the user typed them (TTextSearch).

#include <cstdint>
#include <string>
#include <string_view>

#include "editor/TextSearch.h"

class TAdvancedEditor;

struct TFindOutcome {
  bool Found = false;
  bool Wrapped = false;  // found only after going round the end (or the start) of the text
  bool Refused = false;  // Replace: the replacement holds a character the document cannot hold
};

// Selects the next match after the selection (or the caret), or with
// `backwards` the last one before it; a match at the caret counts. With
// `wrap` the search goes on from the other end of the text. A match out of
// view is brought to the middle of it.
TFindOutcome FindAgain(TAdvancedEditor& e, const TTextSearch& search, bool backwards, bool wrap);

// A replacement holding a character a Windows-1252 document has no byte for
// is made as typing makes such a character: the document becomes UTF-8 with
// it (the same undo step) when it can (CanPromoteToUtf8); else nothing is
// replaced and the character is refused (RefuseChar).

// When the selection is a match, replaces it (one undo step); then finds
// the next match as FindAgain. True when something was replaced; when it
// was refused, nothing more is done and `next` tells Refused.
bool ReplaceSelectedMatch(TAdvancedEditor& e, const TTextSearch& search, std::string_view replacement, bool backwards,
                          bool wrap, TFindOutcome& next);

// Replaces every match in the text, or in the selection, as one undo step;
// the number replaced (0 changes nothing; kReplaceRefused when refused). The
// caret ends after the last replacement; a selection replaced in is selected again.
constexpr std::int64_t kReplaceRefused = -1;
std::int64_t ReplaceAllMatches(TAdvancedEditor& e, const TTextSearch& search, std::string_view replacement,
                               bool inSelection);

// Puts the caret at the start of line `line` (from 1), or at its column
// `column` (from 1, 0 = none), bringing it to the middle of the view when
// it is out of view. Lines and columns past the end go to the last.
void GoToLine(TAdvancedEditor& e, int line, int column = 0);

// Parses "line" or "line:column" (blanks around allowed); false for anything else.
bool ParseLineColumn(std::string_view text, int& line, int& column);
