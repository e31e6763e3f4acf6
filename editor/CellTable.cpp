#include "editor/CellTable.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "editor/CaseMap.h"
#include "editor/UnicodeCase.h"
#include "editor/Utf8.h"

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes map to the C1 control
// characters of the same number, so that every byte survives a round trip.
constexpr std::array<char32_t, 32> kHigh1252 = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr unsigned char kUnassigned[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

constexpr bool IsUnassigned(int b) {
  for (unsigned char u : kUnassigned)
    if (u == b) return true;
  return false;
}

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

// The characters outside ASCII of a text, each once, in the order they first
// occur; stops early once there are more than `most`.
class TDistinctChars {
 public:
  // False when the character makes more than `most`.
  bool Add(char32_t ch, std::size_t most) {
    if (ch < 0x800) {
      if (small_[ch]) return true;
      small_[ch] = true;
    } else {
      // Open addressing; 512 slots for at most 129 characters.
      std::size_t slot = (ch * 2654435761u) >> 23 & 511;
      while (large_[slot] != 0) {
        if (large_[slot] == ch) return true;
        slot = (slot + 1) & 511;
      }
      large_[slot] = ch;
    }
    list_.push_back(ch);
    return list_.size() <= most;
  }
  const std::vector<char32_t>& List() const { return list_; }

 private:
  std::bitset<0x800> small_;
  std::array<char32_t, 512> large_{};
  std::vector<char32_t> list_;
};

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

std::optional<TCellTable> TCellTable::ForUtf8Text(std::string_view bytes) {
  std::size_t pos = utf8::FindNonAscii(bytes, 0);
  if (pos == bytes.size()) return std::nullopt;
  TDistinctChars distinct;
  while (pos < bytes.size()) {
    char32_t ch;
    const int length = utf8::Decode(bytes, pos, ch);
    if (length == 0 || !distinct.Add(ch, 128)) return std::nullopt;
    pos += static_cast<std::size_t>(length);
    if (pos < bytes.size() && static_cast<unsigned char>(bytes[pos]) < 0x80) pos = utf8::FindNonAscii(bytes, pos);
  }

  TCellTable t;
  t.encoding_ = TTextEncoding::Utf8;
  for (int b = 0; b < 0x80; ++b) t.taken_.set(static_cast<std::size_t>(b));
  for (int b = 0x80; b < 0x100; ++b) t.cellOf_.emplace(t.chars_[b], static_cast<unsigned char>(b));
  // Characters of Windows-1252 at their own bytes first, then the others.
  for (char32_t ch : distinct.List())
    if (int b = Windows1252Byte(ch); b >= 0) t.taken_.set(static_cast<std::size_t>(b));
  for (char32_t ch : distinct.List())
    if (Windows1252Byte(ch) < 0 && !t.TakeFreeCell(ch)) return std::nullopt;
  t.CellsChanged();
  return t;
}

bool TCellTable::TakeFreeCell(char32_t ch) {
  for (unsigned char b : IsLetter(ch) ? kLetterOrder : kOtherOrder) {
    if (taken_.test(b)) continue;
    cellOf_.erase(chars_[b]);
    chars_[b] = ch;
    cellOf_.emplace(ch, b);
    taken_.set(b);
    return true;
  }
  return false;
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

std::size_t TCellTable::ToCells(char* data, std::size_t size) const {
  const std::string_view text(data, size);
  std::array<unsigned char, 0x800> below800{};
  for (const auto& [ch, cell] : cellOf_)
    if (ch < 0x800) below800[ch] = cell;
  std::size_t read = utf8::FindNonAscii(text, 0), write = read;
  while (read < size) {
    char32_t ch = 0;
    const int length = utf8::Decode(text, read, ch);
    if (length == 0) break;  // not what ForUtf8Text accepted
    data[write++] = static_cast<char>(ch < 0x800 ? below800[ch] : cellOf_.at(ch));
    read += static_cast<std::size_t>(length);
    // The run of ASCII that follows moves down as it is.
    const std::size_t next = utf8::FindNonAscii(text, read);
    std::memmove(data + write, data + read, next - read);
    write += next - read;
    read = next;
  }
  return write;
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
