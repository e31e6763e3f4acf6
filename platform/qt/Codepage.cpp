#include "platform/qt/Codepage.h"

#include <array>

namespace codepage {
namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 control
// characters of the same number, so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char16_t ToUnicode(unsigned char b) {
  return (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : static_cast<char16_t>(b);
}

QString ToQString(std::string_view bytes) {
  QString out;
  out.resize(static_cast<qsizetype>(bytes.size()));
  QChar* d = out.data();
  for (std::size_t i = 0; i < bytes.size(); ++i) d[i] = QChar(ToUnicode(static_cast<unsigned char>(bytes[i])));
  return out;
}

std::string FromQString(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (QChar c : text) {
    char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    char byte = '?';
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
      if (kHigh[i] == u) {
        byte = static_cast<char>(0x80 + i);
        break;
      }
    }
    out.push_back(byte);
  }
  return out;
}

}  // namespace codepage
