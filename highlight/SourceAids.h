#pragma once

// The aids a source editor gives beyond colouring, from what its highlighter
// knows of the text: which brackets are code, the language's line comment at
// a line, and the words word completion offers.

#include <string>
#include <string_view>
#include <vector>

#include "highlight/source_editor.h"

namespace aids {

// The line comment of a language: `open` alone, or `open` ... `close`.
struct TLineComment {
  std::string_view open, close;
};

// Lets the bracket search of `editor` skip the brackets its highlighter
// colours as strings or comments (whatever highlighter it has at the time).
void AttachCodeMask(TSourceEditor& editor);

// The line comment at line `line`: "//" in PHP code, C, C++, Java,
// JavaScript and Pascal; "/* */" in CSS; "<!-- -->" in HTML text and XML;
// none for a document without a highlighter.
TLineComment LineCommentAt(TSourceEditor& editor, int line);

// Toggles the line comment of the selected lines (or the caret's line) in
// the language of the first of them.
void ToggleComment(TSourceEditor& editor);

// The words completion offers at the caret, each once, in ascending byte
// order: the identifiers of the text around the caret (at most `bytes` of
// it; the word being typed is left out when it stands nowhere else) and,
// in a PHP document, the words of the PHP word list.
std::vector<std::string> CompletionWords(TSourceEditor& editor, std::int64_t bytes = 512 * 1024);

// Switches word completion on or off; while on, its identifiers are made
// anew from CompletionWords each time the list is about to open.
void SetCompletion(TSourceEditor& editor, bool on);

}  // namespace aids
