#include "qt/Codepage.h"

namespace codepage {

char16_t ToUnicode(unsigned char b) { return static_cast<char16_t>(Windows1252Char(b)); }

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
    const int byte = Windows1252Byte(c.unicode());
    out.push_back(byte >= 0 ? static_cast<char>(byte) : '?');
  }
  return out;
}

QString ToQString(std::string_view cells, const TCellTable& table) {
  if (!table.Utf8()) return ToQString(cells);
  std::u32string chars(cells.size(), U'\0');
  for (std::size_t i = 0; i < cells.size(); ++i) chars[i] = table.Char(static_cast<unsigned char>(cells[i]));
  return QString::fromUcs4(chars.data(), static_cast<qsizetype>(chars.size()));
}

bool ToCells(const QString& text, TCellTable& table, std::string& cells, char32_t& refused) {
  if (!table.Utf8()) {
    cells = FromQString(text);
    return true;
  }
  return table.TakeAll(text.toStdU32String(), cells, refused);
}

std::string SearchCells(const QString& text, const TCellTable& table) {
  if (!table.Utf8()) return FromQString(text);
  std::string out;
  for (char32_t ch : text.toStdU32String()) {
    const int cell = table.FindNoCase(ch);
    if (cell == TCellTable::kNoCell) return {};
    out.push_back(static_cast<char>(cell));
  }
  return out;
}

}  // namespace codepage
