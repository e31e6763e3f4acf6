#pragma once

// TCellTable: the characters the byte cells of a document's text stand for.
//
// The editing core keeps one byte per character. Nearly every document is
// Windows-1252 text: each byte is its own character, and the table is the
// code page. A UTF-8 document is kept in byte cells too: each of its
// characters outside ASCII takes one of the cells 0x80..0xFF, a character of
// Windows-1252 its own byte while that is free, so that what the scanners and
// the case tables know of a byte still holds. The line-end mark and the
// visible space (kLineEndMark, kVisibleSpace) keep their own characters.
//
// Cells are taken as characters enter the text (loading, typing, pasting,
// case conversion) and are not given back while the document is open, so
// that undo can bring back any text. A character that finds no free cell is
// refused; it is never written as another character.

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "editor/AEAtoms.h"
#include "editor/TextEncoding.h"

// The character byte `b` stands for in Windows-1252; the five bytes the code
// page leaves unassigned stand for the C1 control characters of their number.
char32_t Windows1252Char(unsigned char b);
// The byte of `ch` in Windows-1252; -1 when the code page has none.
int Windows1252Byte(char32_t ch);

class TCellTable {
 public:
  static constexpr int kNoCell = -1;

  // Windows-1252.
  TCellTable();

  // A UTF-8 document: when the `size` bytes at `data` (a whole file) are
  // UTF-8 with at least one sequence of more than one byte and their
  // characters outside ASCII fit in the cells, they are turned into the cells
  // of the table that comes back, in place (a cell never takes more room than
  // the UTF-8 form of its character), and `size` becomes the number of cells.
  // A byte-order mark at the start is taken off (ByteOrderMark). Otherwise
  // none comes back and the bytes stay as they were.
  static std::optional<TCellTable> FromUtf8(char* data, std::size_t& size);
  // The same for a text held elsewhere, which stays as it is.
  static std::optional<TCellTable> ForUtf8Text(std::string_view bytes);

  TTextEncoding Encoding() const { return encoding_; }
  bool Utf8() const { return encoding_ == TTextEncoding::Utf8; }
  // The file began with a byte-order mark, which goes before the text again
  // when it is written.
  bool ByteOrderMark() const { return byteOrderMark_; }
  // The character cell `cell` shows.
  char32_t Char(unsigned char cell) const { return chars_[cell]; }
  // Changes whenever a cell takes another character or the table is replaced
  // by another document's.
  std::uint64_t Serial() const { return serial_; }

  // The cell of `ch`. In a UTF-8 document a character new to it takes a free
  // cell; kNoCell when none is free or `ch` cannot be written in UTF-8. In
  // Windows-1252 a character outside the code page becomes '?'.
  int Take(char32_t ch);
  // The cells of `chars`, or none of them: when the characters new to a
  // UTF-8 document do not all find a free cell, no cell is taken and false
  // comes back with `refused` set to the first one left without a cell.
  bool TakeAll(std::u32string_view chars, std::string& cells, char32_t& refused);
  // The cell of `ch` without taking one; kNoCell when it has none.
  int Find(char32_t ch) const;
  // The cell of `ch` or of one of its case forms, without taking one.
  int FindNoCase(char32_t ch) const;

  // The same cell for every cell whose character is equal without regard to
  // case: what the search compares.
  unsigned char Fold(unsigned char cell) const { return fold_[cell]; }
  // `text` in upper case, lower case or with every letter's case swapped
  // (upper-case letters turn lower, others upper). In a UTF-8 document the
  // case forms new to it take cells; when they do not all find one, false
  // comes back as from TakeAll and `text` stays as it was.
  bool ConvertCase(std::string& text, TCaseMode mode, char32_t& refused);

  // Appends the UTF-8 form of `cells` to `out`.
  void AppendUtf8(std::string_view cells, std::string& out) const;

  // The table as bytes, for a file that keeps a document's cells (its
  // recovery journal), and the table back from them; none comes back from
  // bytes that are not such a table.
  std::string ToBytes() const;
  static std::optional<TCellTable> FromBytes(std::string_view bytes);

 private:
  // Gives `ch` the first free cell in the order of preference: false when there is none.
  bool TakeFreeCell(char32_t ch);
  // Cells a character new to the document can still take.
  std::size_t FreeCells() const;
  // Recomputes what follows from the cells' characters.
  void CellsChanged();

  TTextEncoding encoding_ = TTextEncoding::Windows1252;
  bool byteOrderMark_ = false;
  std::array<char32_t, 256> chars_{};
  std::array<unsigned char, 256> fold_{};
  // UTF-8: the cells holding a character of the document (ASCII always), and
  // the cell of every character the cells 0x80..0xFF show.
  std::bitset<256> taken_;
  std::unordered_map<char32_t, unsigned char> cellOf_;
  std::array<std::array<char, 4>, 256> utf8_{};
  std::array<std::uint8_t, 256> utf8Length_{};
  std::uint64_t serial_ = 0;
};
