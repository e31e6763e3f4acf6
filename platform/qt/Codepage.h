#pragma once

// The one place where document bytes meet Unicode: bytes are Windows-1252.

#include <QString>
#include <string>
#include <string_view>

namespace codepage {

// The Unicode character shown for byte `b`.
char16_t ToUnicode(unsigned char b);
QString ToQString(std::string_view bytes);
// Characters without a byte of their own become '?'.
std::string FromQString(const QString& text);

}  // namespace codepage
