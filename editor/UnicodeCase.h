#pragma once

// Upper and lower case of Unicode characters: the simple mappings (one
// character to one character) of the Unicode data, independent of the
// machine's locale. A character without a mapping maps to itself.

namespace unicase {

char32_t ToUpper(char32_t ch);
char32_t ToLower(char32_t ch);

}  // namespace unicase
