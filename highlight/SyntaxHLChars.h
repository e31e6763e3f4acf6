#pragma once

// The character classes every scanner shares: single bytes of the code page,
// no multi-byte handling.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hl {

enum : std::uint8_t {
  kWord = 1,         // A-Z a-z 0-9 _
  kLetter = 2,       // A-Z a-z _
  kDigit = 4,        // 0-9
  kNumberStart = 8,  // a digit after one of these begins a number
  kNumberPart = 16,  // continues a number: digits . A-F a-f x
  kCssNumber = 32,   // continues a CSS number: the above and % p t
  kPasCharRun = 64,  // continues a Pascal "#" constant: digits # $ A-F a-f
};

struct TCharTable {
  std::uint8_t flags[256];
  char upper[256];
};

constexpr TCharTable MakeCharTable() {
  TCharTable t{};
  for (int c = 0; c < 256; ++c) {
    bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z', digit = c >= '0' && c <= '9';
    bool hex = (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    std::uint8_t f = 0;
    if (upper || lower || digit || c == '_') f |= kWord;
    if (upper || lower || c == '_') f |= kLetter;
    if (digit) f |= kDigit;
    if (digit || hex || c == '.' || c == 'x') f |= kNumberPart | kCssNumber;
    if (c == '%' || c == 'p' || c == 't') f |= kCssNumber;
    if (digit || hex || c == '#' || c == '$') f |= kPasCharRun;
    t.flags[c] = f;
    t.upper[c] = static_cast<char>(lower ? c - 32 : c);
  }
  for (char c : std::string_view(" %(*+,-/:<=>[^{")) t.flags[static_cast<unsigned char>(c)] |= kNumberStart;
  return t;
}

inline constexpr TCharTable kChars = MakeCharTable();

inline bool Has(char c, std::uint8_t flag) { return (kChars.flags[static_cast<unsigned char>(c)] & flag) != 0; }
inline bool IsWord(char c) { return Has(c, kWord); }
inline bool IsLetter(char c) { return Has(c, kLetter); }
inline bool IsDigit(char c) { return Has(c, kDigit); }
inline bool IsNumberStart(char c) { return Has(c, kNumberStart); }
inline bool IsNumberPart(char c) { return Has(c, kNumberPart); }
inline char Upper(char c) { return kChars.upper[static_cast<unsigned char>(c)]; }

// ASCII letters compared without regard to case.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

}  // namespace hl
