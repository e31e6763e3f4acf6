#pragma once

// Line numbers in a document editor's gutter. They are drawn by the gutter
// paint hook alone: the editor's own painting stays as it is. The gutter is
// as wide as the document look makes it, wider when the largest number
// needs more room; with word wrap a number stands on its line's first row.

#include "editor/AdvEdit.h"

namespace linenumbers {

// Blank pixels left of a number and between it and the gutter's edge.
constexpr int kPadLeft = 2, kPadRight = 4;

// The gutter width that holds `lineCount` in digits `digitWidth` pixels
// wide, never less than `narrowest`.
int GutterWidthFor(int lineCount, int digitWidth, int narrowest);

// The gutter paint hook: the numbers of the lines that begin in view.
void Paint(TAdvancedEditor& editor, platform::Canvas& gutter);

// Shows or hides the numbers of an editor whose gutter is `narrowest` wide
// without them.
void Show(TAdvancedEditor& editor, bool on, int narrowest);

// After the text or the view changed: the gutter widens or narrows to the
// number of lines, and the numbers are drawn again.
void Refresh(TAdvancedEditor& editor, int narrowest);

}  // namespace linenumbers
