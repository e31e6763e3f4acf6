#include "editor/CellTable.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "editor/CaseMap.h"
#include "editor/UnicodeCase.h"
#include "editor/Utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 control
// characters of the same number, so that every byte survives a round trip.
constexpr std::array<char32_t, 32> kHigh1252 = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr unsigned char kUnassigned[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

// The order in which a character new to a UTF-8 document looks for a free
// cell. Letters first try the cells the completion's word rule counts as
// letters (0xC0..0xFF, 0xA8, 0xB8), other characters first the bytes
// Windows-1252 leaves unassigned and the rarer symbols. The line-end mark and
// the visible space are in neither list.
using TCellOrder = std::array<unsigned char, 126>;

constexpr TCellOrder MakeOrder(bool letters) {
  TCellOrder order{};
  std::size_t n = 0;
  auto add = [&](int b) {
    if (b == static_cast<unsigned char>(kLineEndMark) || b == static_cast<unsigned char>(kVisibleSpace)) return;
    for (std::size_t i = 0; i < n; ++i)
      if (order[i] == b) return;
    order[n++] = static_cast<unsigned char>(b);
  };
  if (letters) {
    for (int b = 0xC0; b <= 0xFF; ++b) add(b);
    add(0xA8);
    add(0xB8);
  }
  for (unsigned char b : kUnassigned) add(b);
  for (int b = 0xA1; b <= 0xBF; ++b) add(b);
  for (int b = 0x80; b <= 0x9F; ++b) add(b);
  add(0xA0);
  for (int b = 0xC0; b <= 0xFF; ++b) add(b);
  return order;
}

constexpr TCellOrder kLetterOrder = MakeOrder(true);
constexpr TCellOrder kOtherOrder = MakeOrder(false);

std::uint64_t NextSerial() {
  static std::atomic<std::uint64_t> serial{0};
  return ++serial;
}

bool IsLetter(char32_t ch) { return unicase::ToUpper(ch) != ch || unicase::ToLower(ch) != ch; }

// The first cell in the order of preference of `ch` that is not taken; -1
// when every one is.
int FirstFreeCell(const std::bitset<256>& taken, char32_t ch) {
  for (unsigned char b : IsLetter(ch) ? kLetterOrder : kOtherOrder)
    if (!taken.test(b)) return b;
  return -1;
}

// The cells the characters outside ASCII of a text take as they occur while
// it is read: a Windows-1252 character its own byte while that is free, any
// other the first free cell in its order of preference. A Windows-1252
// character that finds its byte taken goes elsewhere for now (Moved): the
// table made from all the characters at the end may put them in other cells.
class TCellsMet {
 public:
  // The cell of `ch`, taken the first time it occurs; -1 when none is free.
  int CellOf(char32_t ch) {
    if (ch < 0x800) return small_[ch] != 0 ? small_[ch] : Take(ch);
    std::size_t slot = (ch * 2654435761u) >> 23 & (kSlots - 1);
    for (; large_[slot].ch != 0; slot = (slot + 1) & (kSlots - 1))
      if (large_[slot].ch == ch) return large_[slot].cell;
    return Take(ch);
  }
  // The cell of a character below U+0800 met before; 0 when it was not.
  unsigned SmallCell(unsigned ch) const { return small_[ch]; }
  // The characters met, in order.
  const std::vector<char32_t>& Chars() const { return chars_; }
  const std::array<char32_t, 256>& CharOfCell() const { return charOf_; }
  bool Moved() const { return moved_; }

 private:
  static constexpr std::size_t kSlots = 512;  // for at most 128 characters
  int Take(char32_t ch) {
    const int own = Windows1252Byte(ch);
    int cell = own >= 0 && !taken_.test(static_cast<std::size_t>(own)) ? own : FirstFreeCell(taken_, ch);
    if (cell < 0) return -1;
    moved_ |= own >= 0 && cell != own;
    taken_.set(static_cast<std::size_t>(cell));
    charOf_[static_cast<std::size_t>(cell)] = ch;
    chars_.push_back(ch);
    if (ch < 0x800) {
      small_[ch] = static_cast<std::uint8_t>(cell);
    } else {
      std::size_t slot = (ch * 2654435761u) >> 23 & (kSlots - 1);
      while (large_[slot].ch != 0) slot = (slot + 1) & (kSlots - 1);
      large_[slot] = {ch, static_cast<std::uint8_t>(cell)};
    }
    return cell;
  }
  struct Slot {
    char32_t ch = 0;
    std::uint8_t cell = 0;
  };
  std::array<std::uint8_t, 0x800> small_{};  // 0 = not met
  std::array<Slot, kSlots> large_{};
  std::bitset<256> taken_;
  std::array<char32_t, 256> charOf_{};
  std::vector<char32_t> chars_;
  bool moved_ = false;
};

// Puts back the bytes of a text whose first `cells` bytes were turned into
// cells standing for `charOf` from the bytes before `bytes` (all of them,
// or all but a byte-order mark).
void RestoreBytes(char* data, std::size_t cells, std::size_t bytes, const std::array<char32_t, 256>& charOf) {
  // Back to front: cells [0, i) came from bytes [0, j), and j >= i.
  std::size_t i = cells, j = bytes;
  while (i > 0 && i != j) {
    const auto c = static_cast<unsigned char>(data[--i]);
    if (c < 0x80) {
      data[--j] = static_cast<char>(c);
    } else {
      char form[4];
      const int length = utf8::Encode(charOf[c], form);
      j -= static_cast<std::size_t>(length);
      std::memcpy(data + j, form, static_cast<std::size_t>(length));
    }
  }
}

}  // namespace

char32_t Windows1252Char(unsigned char b) { return (b >= 0x80 && b < 0xA0) ? kHigh1252[b - 0x80] : b; }

int Windows1252Byte(char32_t ch) {
  if (ch < 0x80 || (ch >= 0xA0 && ch < 0x100)) return static_cast<int>(ch);
  for (std::size_t i = 0; i < kHigh1252.size(); ++i)
    if (kHigh1252[i] == ch) return static_cast<int>(0x80 + i);
  return -1;
}

TCellTable::TCellTable() {
  for (int b = 0; b < 256; ++b) {
    chars_[b] = Windows1252Char(static_cast<unsigned char>(b));
    fold_[b] = static_cast<unsigned char>(casemap::ToUpper(static_cast<char>(b)));
    utf8Length_[b] = static_cast<std::uint8_t>(utf8::Encode(chars_[b], utf8_[b].data()));
  }
}

std::optional<TCellTable> TCellTable::FromUtf8(char* data, std::size_t& size) {
  // One pass checks the text and writes in place of every character outside
  // ASCII the cell it takes as it is met. Unless a Windows-1252 character
  // had to go elsewhere, these are the table's cells already.
  const std::size_t n = size;
  const std::string_view text(data, n);
  // A byte-order mark is no character of the text: it is written again
  // before the text when the document is saved.
  const bool mark = text.starts_with(kByteOrderMark);
  std::size_t read = mark ? kByteOrderMark.size() : utf8::FindNonAscii(text, 0);
  if (read == n && !mark) return std::nullopt;
  std::size_t write = mark ? 0 : read;
  TCellsMet met;
  auto giveBack = [&](std::size_t cells, std::size_t bytes) {
    RestoreBytes(data, cells, bytes, met.CharOfCell());
    if (mark) std::memcpy(data, kByteOrderMark.data(), kByteOrderMark.size());
  };
  while (read < n) {
    // The ASCII up to the next character outside it moves down as it is.
#if defined(__SSE2__)
    // A block at a time once the text has shrunk by a block: a store of 16
    // bytes then never reaches what is still to be read.
    if (read - write >= 16 && read + 16 <= n) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + read));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(data + write), block);
      const int mask = _mm_movemask_epi8(block);
      if (mask == 0) {
        read += 16;
        write += 16;
        continue;
      }
      const auto ascii = static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
      read += ascii;
      write += ascii;
    } else
#endif
    {
      // A byte at a time, and a long run with one move.
      const std::size_t end = std::min(read + 16, n);
      while (read < end && static_cast<unsigned char>(data[read]) < 0x80) data[write++] = data[read++];
      if (read == end) {
        const std::size_t next = utf8::FindNonAscii(text, read);
        std::memmove(data + write, data + read, next - read);
        write += next - read;
        read = next;
      }
      if (read == n) break;
    }
    // Two bytes, the most frequent form, met before: one look in the table.
    const auto b0 = static_cast<unsigned char>(data[read]);
    if (b0 >= 0xC2 && b0 <= 0xDF && read + 1 < n) {
      const auto b1 = static_cast<unsigned char>(data[read + 1]);
      const unsigned seen = met.SmallCell(((b0 & 0x1Fu) << 6) | (b1 & 0x3Fu));
      if ((b1 & 0xC0) == 0x80 && seen != 0) {
        data[write++] = static_cast<char>(seen);
        read += 2;
        continue;
      }
    }
    char32_t ch = 0;
    const int length = utf8::Decode(text, read, ch);
    const int cell = length > 0 ? met.CellOf(ch) : -1;
    if (cell < 0) {
      giveBack(write, read);
      return std::nullopt;
    }
    data[write++] = static_cast<char>(cell);
    read += static_cast<std::size_t>(length);
  }

  TCellTable t;
  t.encoding_ = TTextEncoding::Utf8;
  t.byteOrderMark_ = mark;
  for (int b = 0; b < 0x80; ++b) t.taken_.set(static_cast<std::size_t>(b));
  for (int b = 0x80; b < 0x100; ++b) t.cellOf_.emplace(t.chars_[b], static_cast<unsigned char>(b));
  // Characters of Windows-1252 at their own bytes first, then the others.
  for (char32_t ch : met.Chars())
    if (int b = Windows1252Byte(ch); b >= 0) t.taken_.set(static_cast<std::size_t>(b));
  for (char32_t ch : met.Chars()) {
    if (Windows1252Byte(ch) < 0 && !t.TakeFreeCell(ch)) {
      giveBack(write, n);
      return std::nullopt;
    }
  }
  t.CellsChanged();
  if (met.Moved()) {
    std::array<char, 256> cell;
    for (int b = 0; b < 256; ++b) cell[static_cast<std::size_t>(b)] = static_cast<char>(b);
    for (char32_t ch : met.Chars())
      cell[static_cast<unsigned char>(met.CellOf(ch))] = static_cast<char>(t.cellOf_.at(ch));
    for (std::size_t i = 0; i < write; ++i) data[i] = cell[static_cast<unsigned char>(data[i])];
  }
  size = write;
  return t;
}

std::optional<TCellTable> TCellTable::ForUtf8Text(std::string_view bytes) {
  std::string copy(bytes);
  std::size_t size = copy.size();
  return FromUtf8(copy.data(), size);
}

bool TCellTable::TakeFreeCell(char32_t ch) {
  const int free = FirstFreeCell(taken_, ch);
  if (free < 0) return false;
  const auto b = static_cast<unsigned char>(free);
  cellOf_.erase(chars_[b]);
  chars_[b] = ch;
  cellOf_.emplace(ch, b);
  taken_.set(b);
  return true;
}

void TCellTable::CellsChanged() {
  std::unordered_map<char32_t, unsigned char> firstOfCase;
  for (int b = 0; b < 256; ++b) {
    fold_[b] = firstOfCase.emplace(unicase::ToUpper(chars_[b]), static_cast<unsigned char>(b)).first->second;
    utf8Length_[b] = static_cast<std::uint8_t>(utf8::Encode(chars_[b], utf8_[b].data()));
  }
  serial_ = NextSerial();
}

int TCellTable::Find(char32_t ch) const {
  if (!Utf8()) return Windows1252Byte(ch);
  if (ch < 0x80) return static_cast<int>(ch);
  auto it = cellOf_.find(ch);
  return it == cellOf_.end() ? kNoCell : it->second;
}

int TCellTable::FindNoCase(char32_t ch) const {
  for (char32_t form : {ch, unicase::ToUpper(ch), unicase::ToLower(ch)})
    if (int cell = Find(form); cell != kNoCell) return cell;
  return kNoCell;
}

int TCellTable::Take(char32_t ch) {
  if (!Utf8()) {
    const int b = Windows1252Byte(ch);
    return b >= 0 ? b : '?';
  }
  if (ch < 0x80) return static_cast<int>(ch);
  if (!utf8::Encodable(ch)) return kNoCell;
  if (auto it = cellOf_.find(ch); it != cellOf_.end()) {
    taken_.set(it->second);
    return it->second;
  }
  if (!TakeFreeCell(ch)) return kNoCell;
  CellsChanged();
  return cellOf_.at(ch);
}

std::size_t TCellTable::FreeCells() const {
  std::size_t n = 0;
  for (unsigned char b : kOtherOrder) n += !taken_.test(b);
  return n;
}

bool TCellTable::TakeAll(std::u32string_view chars, std::string& cells, char32_t& refused) {
  // The characters new to the document, each once, up to one more than fits.
  std::vector<char32_t> fresh;
  const std::size_t free = Utf8() ? FreeCells() : 0;
  for (char32_t ch : chars) {
    if (!Utf8() || Find(ch) != kNoCell || std::find(fresh.begin(), fresh.end(), ch) != fresh.end()) continue;
    if (!utf8::Encodable(ch) || fresh.size() == free) {
      refused = ch;
      return false;
    }
    fresh.push_back(ch);
  }
  std::string out;
  out.reserve(chars.size());
  for (char32_t ch : chars) out.push_back(static_cast<char>(Take(ch)));
  cells = std::move(out);
  return true;
}

bool TCellTable::ConvertCase(std::string& text, TCaseMode mode, char32_t& refused) {
  if (!Utf8()) {
    switch (mode) {
      case cmUpper:
        text = casemap::ToUpper(std::move(text));
        break;
      case cmLower:
        text = casemap::ToLower(std::move(text));
        break;
      case cmToggle:
        for (char& c : text) {
          char up = casemap::ToUpper(c);
          c = up != c ? up : casemap::ToLower(c);
        }
        break;
    }
    return true;
  }
  // The cells of the text, each once, and the characters they become.
  std::bitset<256> met;
  std::string from;
  std::u32string to;
  for (char c : text) {
    const auto cell = static_cast<unsigned char>(c);
    if (met.test(cell)) continue;
    met.set(cell);
    const char32_t ch = chars_[cell];
    const char32_t up = unicase::ToUpper(ch);
    from.push_back(c);
    to.push_back(mode == cmLower || (mode == cmToggle && up == ch) ? unicase::ToLower(ch) : up);
  }
  std::string cells;
  if (!TakeAll(to, cells, refused)) return false;
  std::array<char, 256> converted{};
  for (std::size_t i = 0; i < from.size(); ++i) converted[static_cast<unsigned char>(from[i])] = cells[i];
  for (char& c : text) c = converted[static_cast<unsigned char>(c)];
  return true;
}

void TCellTable::AppendUtf8(std::string_view cells, std::string& out) const {
  std::size_t pos = 0;
  while (pos < cells.size()) {
    const std::size_t high = utf8::FindNonAscii(cells, pos);
    out.append(cells.substr(pos, high - pos));
    pos = high;
    for (; pos < cells.size() && static_cast<unsigned char>(cells[pos]) >= 0x80; ++pos) {
      const auto cell = static_cast<unsigned char>(cells[pos]);
      out.append(utf8_[cell].data(), utf8Length_[cell]);
    }
  }
}

// One byte of flags (1: UTF-8, 2: byte-order mark), then for each cell
// 0x80..0xFF the character it was taken for plus one, 0 when it is free, in
// four bytes of little-endian order.
std::string TCellTable::ToBytes() const {
  std::string out(1, static_cast<char>((Utf8() ? 1 : 0) | (byteOrderMark_ ? 2 : 0)));
  if (!Utf8()) return out;
  for (int b = 0x80; b < 0x100; ++b) {
    const std::uint32_t v = taken_.test(static_cast<std::size_t>(b)) ? static_cast<std::uint32_t>(chars_[b]) + 1 : 0;
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>(v >> (8 * k) & 0xFF));
  }
  return out;
}

std::optional<TCellTable> TCellTable::FromBytes(std::string_view bytes) {
  TCellTable t;
  if (bytes.size() == 1 && bytes[0] == 0) return t;
  if (bytes.size() != 1 + 4 * 0x80 || (bytes[0] & ~3) != 0 || (bytes[0] & 1) == 0) return std::nullopt;
  t.encoding_ = TTextEncoding::Utf8;
  t.byteOrderMark_ = (bytes[0] & 2) != 0;
  for (int b = 0; b < 0x80; ++b) t.taken_.set(static_cast<std::size_t>(b));
  for (int b = 0x80; b < 0x100; ++b) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k)
      v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1 + 4 * (b - 0x80) + k])) << (8 * k);
    if (v == 0) continue;
    const char32_t ch = v - 1;
    if (ch < 0x80 || !utf8::Encodable(ch)) return std::nullopt;
    t.chars_[b] = ch;
    t.taken_.set(static_cast<std::size_t>(b));
  }
  // A character in two cells is no table this program wrote.
  for (int b = 0x80; b < 0x100; ++b) {
    if (!t.cellOf_.emplace(t.chars_[b], static_cast<unsigned char>(b)).second) return std::nullopt;
  }
  t.CellsChanged();
  return t;
}
