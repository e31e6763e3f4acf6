#pragma once

// The escaped text form of the settings file and the registry file: TAB, line
// breaks and the backslash written as two-character sequences, so that any
// value stays on one line.

#include <string>
#include <string_view>

std::string EscapeText(std::string_view text);
// The inverse of EscapeText; a lone trailing backslash stays, an unknown
// sequence gives its second character.
std::string UnescapeText(std::string_view text);
