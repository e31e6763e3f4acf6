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

std::string FromQString(const QString& text) { return FromQString(text, TTextEncoding::Windows1252); }

QString ToQString(std::string_view bytes, TTextEncoding encoding) {
  if (encoding != TTextEncoding::Utf8) return ToQString(bytes);
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FromQString(const QString& text, TTextEncoding encoding, char32_t* unmappable) {
  if (encoding == TTextEncoding::Utf8) return text.toUtf8().toStdString();
  // One byte for each UTF-16 unit, as the code page conversion always made
  // it: a character beyond U+FFFF becomes "??".
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  bool told = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    const int byte = Windows1252Byte(c.unicode());
    if (byte < 0 && !told && unmappable) {
      const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
      *unmappable = pair ? QChar::surrogateToUcs4(c, text[i + 1]) : c.unicode();
      told = true;
    }
    out.push_back(byte >= 0 ? static_cast<char>(byte) : '?');
  }
  return out;
}

}  // namespace codepage
