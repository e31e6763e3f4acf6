#pragma once

// The one place where document text meets Unicode. Bytes are Windows-1252
// unless a document's cell table (TCellTable) says what its cells stand for.

#include <QString>
#include <string>
#include <string_view>

#include "editor/CellTable.h"

namespace codepage {

// The Unicode character shown for byte `b` in Windows-1252.
char16_t ToUnicode(unsigned char b);
QString ToQString(std::string_view bytes);
// Characters without a byte of their own become '?'.
std::string FromQString(const QString& text);

// Through a document's cells. In a UTF-8 document characters new to it take
// cells; when they do not all find one, none is taken and false comes back
// with `refused` set (TCellTable::TakeAll). In Windows-1252 the same as
// FromQString.
QString ToQString(std::string_view cells, const TCellTable& table);
bool ToCells(const QString& text, TCellTable& table, std::string& cells, char32_t& refused);
// A text to search for, in the cells of a document that it may be found in:
// a character may stand for any cell of its case forms, and no cell is
// taken. Empty when one of the characters has no cell (the document cannot
// hold the text).
std::string SearchCells(const QString& text, const TCellTable& table);

}  // namespace codepage
