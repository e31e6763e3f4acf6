#include "editor/CaseMap.h"

#include <array>

namespace casemap {
namespace {

struct Tables {
  std::array<unsigned char, 256> upper{}, lower{};
  Tables() {
    for (int c = 0; c < 256; ++c) upper[c] = lower[c] = static_cast<unsigned char>(c);
    auto pair = [this](int up, int low) {
      upper[low] = static_cast<unsigned char>(up);
      lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    // Latin-1 letters: À..Þ and à..þ, without × and ÷.
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) pair(c, c + 32);
    pair(0x8A, 0x9A);  // Š š
    pair(0x8C, 0x9C);  // Œ œ
    pair(0x8E, 0x9E);  // Ž ž
    pair(0x9F, 0xFF);  // Ÿ ÿ
  }
};

const Tables& Table() {
  static const Tables tables;
  return tables;
}

}  // namespace

char ToUpper(char c) { return static_cast<char>(Table().upper[static_cast<unsigned char>(c)]); }
char ToLower(char c) { return static_cast<char>(Table().lower[static_cast<unsigned char>(c)]); }

std::string ToUpper(std::string s) {
  for (char& c : s) c = ToUpper(c);
  return s;
}

std::string ToLower(std::string s) {
  for (char& c : s) c = ToLower(c);
  return s;
}

}  // namespace casemap
