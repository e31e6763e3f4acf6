#pragma once

// Line comments: giving lines a language's line comment, or taking it away.

#include <string>
#include <string_view>
#include <vector>

namespace comments {

// The lines with the comment toggled. When every line that is not blank
// starts with `open` (and ends with `close`, when there is one) past its
// indent, each loses them with one blank beside each; otherwise every line
// that is not blank gets `open` and a blank at the least indent of those
// lines (and a blank and `close` at its end). Blank lines stay as they are.
std::vector<std::string> Toggled(const std::vector<std::string>& lines, std::string_view open, std::string_view close);

}  // namespace comments
