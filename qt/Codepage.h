#pragma once

// The one place where document text meets Qt's strings: Windows-1252 bytes
// through the code page, a UTF-8 document's bytes as the UTF-8 they are.

#include <QString>
#include <string>
#include <string_view>

#include "editor/TextEncoding.h"

namespace codepage {

// The Unicode character shown for byte `b` in Windows-1252.
char16_t ToUnicode(unsigned char b);
QString ToQString(std::string_view bytes);
// Characters without a byte of their own become '?'.
std::string FromQString(const QString& text);

// The same for a document of either encoding. A character a Windows-1252
// document has no byte for becomes '?', and the first such is told in
// `unmappable` (left alone when there is none).
QString ToQString(std::string_view bytes, TTextEncoding encoding);
std::string FromQString(const QString& text, TTextEncoding encoding, char32_t* unmappable = nullptr);

}  // namespace codepage
