#pragma once

// How a document's bytes are characters.

#include <cstdint>
#include <string_view>

// Windows-1252: every byte is one character. UTF-8: a character is the one
// to four bytes of its sequence.
enum class TTextEncoding : std::uint8_t { Windows1252, Utf8 };

// What marks the start of a file as UTF-8.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
