#pragma once

// Upper and lower case of the single-byte code page (Windows-1252), independent of the
// machine's locale.

#include <string>

namespace casemap {

char ToUpper(char c);
char ToLower(char c);
std::string ToUpper(std::string s);
std::string ToLower(std::string s);

}  // namespace casemap
