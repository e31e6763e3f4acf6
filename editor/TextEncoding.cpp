#include "editor/TextEncoding.h"

#include <array>

#include "editor/CaseMap.h"
#include "editor/UnicodeCase.h"
#include "editor/Utf8.h"

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 control
// characters of the same number, so that every byte survives a round trip.
constexpr std::array<char32_t, 32> kHigh1252 = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char32_t Windows1252Char(unsigned char b) { return (b >= 0x80 && b < 0xA0) ? kHigh1252[b - 0x80] : b; }

int Windows1252Byte(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch < 0x100)) return static_cast<int>(ch);
  for (std::size_t i = 0; i < kHigh1252.size(); ++i)
    if (kHigh1252[i] == ch) return static_cast<int>(0x80 + i);
  return -1;
}

void AppendWindows1252AsUtf8(std::string_view bytes, std::string& out) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t high = utf8::FindNonAscii(bytes, pos);
    out.append(bytes.substr(pos, high - pos));
    for (pos = high; pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) >= 0x80; ++pos) {
      char form[4];
      out.append(form,
                 static_cast<std::size_t>(utf8::Encode(Windows1252Char(static_cast<unsigned char>(bytes[pos])), form)));
    }
  }
}

std::string Windows1252FromUtf8(std::string_view text, char32_t* unmappable) {
  std::string out;
  out.reserve(text.size());
  bool told = false;
  for (std::size_t i = 0; i < text.size();) {
    char32_t ch = 0;
    const int n = utf8::Decode(text, i, ch);
    if (n == 0) ch = static_cast<unsigned char>(text[i]);
    i += static_cast<std::size_t>(n > 0 ? n : 1);
    const int byte = Windows1252Byte(ch);
    if (byte < 0 && !told && unmappable) {
      *unmappable = ch;
      told = true;
    }
    out.push_back(byte >= 0 ? static_cast<char>(byte) : '?');
  }
  return out;
}

TFileEncoding FileEncodingOf(std::string_view bytes, bool ascii) {
  TFileEncoding e;
  if (ascii) return e;
  const bool mark = bytes.starts_with(kByteOrderMark);
  if (mark) bytes.remove_prefix(kByteOrderMark.size());
  bool multiByte = false;
  if (utf8::Valid(bytes, multiByte) && (mark || multiByte)) {
    e.Encoding = TTextEncoding::Utf8;
    e.ByteOrderMark = mark;
  }
  return e;
}

std::string ConvertTextCase(TTextEncoding encoding, std::string text, int mode) {
  if (encoding != TTextEncoding::Utf8) {
    if (mode == 0) return casemap::ToUpper(std::move(text));
    if (mode == 1) return casemap::ToLower(std::move(text));
    for (char& c : text) {
      const char up = casemap::ToUpper(c);
      c = up != c ? up : casemap::ToLower(c);
    }
    return text;
  }
  auto convert = [mode](char32_t ch) {
    const char32_t up = unicase::ToUpper(ch);
    return mode == 0 || (mode == 2 && up != ch) ? up : unicase::ToLower(ch);
  };
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(convert(b)));
      ++i;
      continue;
    }
    char32_t ch = 0;
    const int n = utf8::Decode(text, i, ch);
    if (n == 0) {
      out.push_back(text[i++]);
      continue;
    }
    char form[4];
    out.append(form, static_cast<std::size_t>(utf8::Encode(convert(ch), form)));
    i += static_cast<std::size_t>(n);
  }
  return out;
}
