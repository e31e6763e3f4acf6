#pragma once

// The escaped text form of the settings file, the recent-files list and the
// registry file: TAB, line breaks and the backslash written as two-character
// sequences, so that any value stays on one line.

#include <optional>
#include <string>
#include <string_view>

std::string EscapeText(std::string_view text);

// The inverse of EscapeText. Lenient, for files a user may have edited by
// hand: a lone trailing backslash stays, an unknown sequence gives its second
// character.
std::string UnescapeText(std::string_view text);

// The inverse of EscapeText for files only the program writes: nothing when
// the text holds a sequence EscapeText never writes.
std::optional<std::string> UnescapeTextStrictly(std::string_view text);
