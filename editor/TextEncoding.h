#pragma once

// How a document's bytes are characters, and the conversions between the
// two encodings a document can have and the UTF-8 of the world outside.

#include <cstdint>
#include <string>
#include <string_view>

// Windows-1252: every byte is one character. UTF-8: a character is the one
// to four bytes of its sequence.
enum class TTextEncoding : std::uint8_t { Windows1252, Utf8 };

// What marks the start of a file as UTF-8.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The character byte `b` stands for in Windows-1252; the five bytes the code
// page leaves unassigned stand for the C1 control characters of their number.
char32_t Windows1252Char(unsigned char b);
// The byte of `ch` in Windows-1252; -1 when the code page has none.
int Windows1252Byte(char32_t ch);

// Appends Windows-1252 `bytes` as UTF-8 to `out`.
void AppendWindows1252AsUtf8(std::string_view bytes, std::string& out);
// UTF-8 `text` (an invalid byte counts as the character of its own number)
// as Windows-1252. A character the code page has no byte for becomes '?';
// the first such is told in `unmappable` (left alone when there is none).
std::string Windows1252FromUtf8(std::string_view text, char32_t* unmappable = nullptr);

// How the bytes of a whole file are a document's text. A file that is UTF-8
// (strictly: no overlong form, surrogate, character above U+10FFFF or cut
// sequence) and either begins with a byte-order mark or holds a sequence of
// more than one byte is UTF-8; its mark is no part of the text. Any other
// file is Windows-1252, every byte as it is. `ascii`: every byte is known to
// be below 0x80 already.
struct TFileEncoding {
  TTextEncoding Encoding = TTextEncoding::Windows1252;
  bool ByteOrderMark = false;  // the text is the bytes after the mark
};
TFileEncoding FileEncodingOf(std::string_view bytes, bool ascii = false);

// Text in the case `mode` asks for (0 upper, 1 lower, 2 every letter's case
// swapped). Windows-1252 through the code page's case table; UTF-8 decoded,
// converted through the Unicode case table and encoded again, so its length
// may change (bytes that are not UTF-8 stay as they are).
std::string ConvertTextCase(TTextEncoding encoding, std::string text, int mode);
