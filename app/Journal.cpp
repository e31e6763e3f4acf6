#include "app/Journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

#include "editor/AdvLines.h"
#include "editor/LineFormat.h"
#include "editor/Utf8.h"

static_assert(std::endian::native == std::endian::little, "journal numbers are written little-endian");

namespace {

// ---------------------------------------------------------------- checksum

// CRC-32C (Castagnoli), eight bytes a step.
constexpr std::uint32_t kCrcPolynomial = 0x82F63B78u;

using TCrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr TCrcTables MakeCrcTables() {
  TCrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kCrcPolynomial & (0u - (c & 1u)));
    t[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i)
    for (std::size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  return t;
}

constexpr TCrcTables kCrc = MakeCrcTables();

std::uint32_t Crc32c(std::uint32_t crc, std::string_view data) {
  crc = ~crc;
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t n = data.size();
  for (; n >= 8; n -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    const auto lo = static_cast<std::uint32_t>(word) ^ crc;
    const auto hi = static_cast<std::uint32_t>(word >> 32);
    crc = kCrc[7][lo & 0xFF] ^ kCrc[6][(lo >> 8) & 0xFF] ^ kCrc[5][(lo >> 16) & 0xFF] ^ kCrc[4][lo >> 24] ^
          kCrc[3][hi & 0xFF] ^ kCrc[2][(hi >> 8) & 0xFF] ^ kCrc[1][(hi >> 16) & 0xFF] ^ kCrc[0][hi >> 24];
  }
  for (; n > 0; --n) crc = (crc >> 8) ^ kCrc[0][(crc ^ *p++) & 0xFF];
  return ~crc;
}

// The checksum of a record covers its length, its kind and its payload.
std::uint32_t RecordChecksum(std::uint32_t length, TJournalRecordKind kind, std::string_view payload) {
  char head[5];
  std::memcpy(head, &length, 4);
  head[4] = static_cast<char>(kind);
  return Crc32c(Crc32c(0, {head, 5}), payload);
}

// ---------------------------------------------------------------- numbers

constexpr std::string_view kHeaderMagic = "QVJ1";
constexpr std::string_view kBaseMagic = "QVB1";

// Unsigned LEB128: seven bits a byte, low first.
char* PutVarint(char* p, std::uint64_t v) {
  while (v >= 0x80) {
    *p++ = static_cast<char>(v | 0x80);
    v >>= 7;
  }
  *p++ = static_cast<char>(v);
  return p;
}

void AppendVarint(std::string& out, std::uint64_t v) {
  char buffer[10];
  out.append(buffer, PutVarint(buffer, v));
}

void AppendBytes(std::string& out, std::string_view bytes) {
  AppendVarint(out, bytes.size());
  out.append(bytes);
}

// Reads a payload front to back; a read past its end or a malformed
// number makes it bad and returns zeros from then on.
class TPayloadReader {
 public:
  explicit TPayloadReader(std::string_view data) : rest_(data) {}
  bool Good() const { return good_; }
  bool AtEnd() const { return rest_.empty(); }
  std::uint64_t Varint() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (rest_.empty()) break;
      const auto byte = static_cast<unsigned char>(rest_.front());
      rest_.remove_prefix(1);
      v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return v;
    }
    good_ = false;
    rest_ = {};
    return 0;
  }
  // A number that must fit an int (line numbers and counts).
  int Count() {
    std::uint64_t v = Varint();
    if (v > static_cast<std::uint64_t>(INT32_MAX)) Fail();
    return good_ ? static_cast<int>(v) : 0;
  }
  std::string_view Bytes(std::uint64_t n) {
    if (n > rest_.size()) {
      Fail();
      return {};
    }
    std::string_view out = rest_.substr(0, static_cast<std::size_t>(n));
    rest_.remove_prefix(static_cast<std::size_t>(n));
    return out;
  }
  std::string_view Text() { return Bytes(Varint()); }

 private:
  void Fail() {
    good_ = false;
    rest_ = {};
  }
  std::string_view rest_;
  bool good_ = true;
};

bool HasRawChars(std::string_view line) { return line.find_first_of("\t\r\n") != std::string_view::npos; }

// The widest TAB a document is read with: a wider one in a journal is damage
// (the text would grow by that much for every TAB).
constexpr int kMostTabWidth = 64;

// ---------------------------------------------------------------- reading records

bool ParseHeader(std::string_view payload, TJournalHeader& header) {
  TPayloadReader r(payload);
  if (r.Bytes(kHeaderMagic.size()) != kHeaderMagic) return false;
  header.Session = r.Varint();
  header.Order = r.Varint();
  header.FileName = std::string(r.Text());
  const std::uint64_t state = r.Varint();
  header.Stamp.State = static_cast<TFileStamp::TState>(std::min<std::uint64_t>(state, 2));
  header.Stamp.Device = r.Varint();
  header.Stamp.Inode = r.Varint();
  header.Stamp.Size = static_cast<std::int64_t>(r.Varint());
  header.Stamp.ModifiedSeconds = static_cast<std::int64_t>(r.Varint());
  header.Stamp.ModifiedNanoseconds = static_cast<std::int64_t>(r.Varint());
  return r.Good();
}

bool ParseBaseRecord(std::string_view payload, TJournalBase& base) {
  TPayloadReader r(payload);
  if (r.Bytes(kBaseMagic.size()) != kBaseMagic) return false;
  base.Copy = std::string(r.Text());
  base.Source = std::string(r.Text());
  base.Size = r.Varint();
  const std::uint64_t checksum = r.Varint();
  base.TabWidth = r.Count();
  const std::uint64_t flags = r.Varint();
  base.Checksum = static_cast<std::uint32_t>(checksum);
  base.KeepFormat = flags & 1u;
  if (base.TabWidth > kMostTabWidth) return false;
  // A copy is named in the folder: no way out of it.
  const bool plainName = base.Copy.find('/') == std::string::npos && base.Copy != "." && base.Copy != "..";
  return r.Good() && r.AtEnd() && checksum <= UINT32_MAX && flags <= 1u && plainName &&
         base.Size < static_cast<std::uint64_t>(kMaxFileSize);
}

bool ParseChange(std::string_view payload, TJournalChange& change) {
  TPayloadReader r(payload);
  change.First = r.Count();
  change.Removed = r.Count();
  const int inserted = r.Count();
  // Every line takes a byte at least: a count beyond the payload is damage.
  if (!r.Good() || static_cast<std::size_t>(inserted) > payload.size()) return false;
  change.Lines.reserve(static_cast<std::size_t>(inserted));
  for (int i = 0; i < inserted && r.Good(); ++i) change.Lines.push_back(r.Text());
  return r.Good() && r.AtEnd();
}

// A format record: the format, and when `lines` is given, the bytes as
// read it names given to those lines. False when it is damaged.
bool ParseFormat(std::string_view payload, TFileFormat& format, TAdvLines* lines) {
  TPayloadReader r(payload);
  const std::uint64_t flags = r.Varint();
  const std::uint64_t end = r.Varint();
  const int tabWidth = r.Count();
  const int first = r.Count();
  const int count = r.Count();
  const int kept = r.Count();
  // The lines named lie in [first, first + count), each named once at most:
  // anything else is damage, found before any sum is made of the numbers.
  if (!r.Good() || end < static_cast<std::uint64_t>(TLineEnd::CrLf) || end > static_cast<std::uint64_t>(TLineEnd::Cr) ||
      tabWidth > kMostTabWidth || count > INT32_MAX - first || kept > count)
    return false;
  format.Kept = true;
  format.TabIndent = flags & 1u;
  format.FinalBreak = flags & 2u;
  format.Foreign = flags & 4u;
  format.LineEnd = static_cast<TLineEnd>(end);
  format.TabWidth = tabWidth;
  // The lines named carry these bytes as read, the others of the range none.
  int next = first;
  auto clearUpTo = [&](int end) {
    for (end = std::min(end, lines ? lines->Count() : 0); next < end; ++next) lines->DropAsRead(next);
  };
  for (int i = 0; i < kept && r.Good(); ++i) {
    const int offset = r.Count();
    if (offset >= count) return false;
    const int line = first + offset;
    const std::uint64_t how = r.Varint();
    TLineAsRead asRead;
    asRead.End = static_cast<TLineEnd>(how & 3u);
    asRead.HasText = how & 4u;
    if (asRead.HasText) asRead.Text = std::string(r.Text());
    if (!r.Good() || how > 7u) return false;
    if (!lines || line < next || line >= lines->Count()) continue;
    clearUpTo(line);
    lines->SetAsRead(line, std::move(asRead));
    next = line + 1;
  }
  if (lines) clearUpTo(first + count);
  return r.Good() && r.AtEnd();
}

// The snapshot's lines joined with CR LF, as the store's whole-text
// assignment takes them; `rawAsEmpty` leaves out the text of lines that
// assignment would change (TAB, CR, LF), to be put back line by line.
TTextBuffer JoinSnapshot(std::string_view payload, bool rawAsEmpty, int& count,
                         std::vector<std::pair<int, std::string_view>>* raw) {
  TPayloadReader r(payload);
  count = r.Count();
  // Every line costs at least one byte of payload: more lines than that is damage.
  if (!r.Good() || static_cast<std::size_t>(count) > payload.size())
    throw EJournalError("The journal's snapshot is damaged");
  // Every line gains two bytes of line end.
  TTextBuffer joined(payload.size() + 2 * static_cast<std::size_t>(count) + 1);
  char* p = joined.Data();
  for (int i = 0; i < count && r.Good(); ++i) {
    std::string_view line = r.Text();
    if (rawAsEmpty && HasRawChars(line)) {
      raw->emplace_back(i, line);
    } else {
      std::memcpy(p, line.data(), line.size());
      p += line.size();
    }
    *p++ = '\r';
    *p++ = '\n';
  }
  if (!r.Good() || !r.AtEnd()) throw EJournalError("The journal's snapshot is damaged");
  joined.Shrink(static_cast<std::size_t>(p - joined.Data()));
  return joined;
}

// The snapshot holds the lines it counts, and nothing else.
bool SnapshotIsWhole(std::string_view payload) {
  TPayloadReader r(payload);
  const int count = r.Count();
  if (!r.Good() || static_cast<std::size_t>(count) > payload.size()) return false;
  for (int i = 0; i < count && r.Good(); ++i) r.Text();
  return r.Good() && r.AtEnd();
}

// The bytes of a file that are to be a base's: read whole, then checked
// against its size and checksum. Nothing when they are not those bytes.
std::optional<TTextBuffer> ReadBaseBytes(const std::string& file, const TJournalBase& base, bool* ascii) {
  try {
    TTextBuffer bytes = ReadFileBuffer(file, ascii);
    if (bytes.Size() != base.Size || JournalChecksum(0, bytes.View()) != base.Checksum) return std::nullopt;
    return bytes;
  } catch (const EFileError&) {
    return std::nullopt;
  }
}

// Streams a file through the checksum without keeping it: true when it has
// the base's size and checksum.
bool FileHoldsBase(const std::string& file, const TJournalBase& base) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool holds = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) == base.Size;
  std::uint32_t crc = 0;
  std::uint64_t total = 0;
  std::string buffer(std::size_t{1} << 20, '\0');
  while (holds) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) holds = false;
    if (n <= 0) break;
    crc = JournalChecksum(crc, {buffer.data(), static_cast<std::size_t>(n)});
    total += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  return holds && total == base.Size && crc == base.Checksum;
}

// ---------------------------------------------------------------- journals kept in cells

// The flags of an encoding record (and of a table of cells).
constexpr std::uint64_t kUtf8Flag = 1, kMarkFlag = 2;

bool ParseEncoding(std::string_view payload, TTextEncoding& encoding, bool& mark) {
  TPayloadReader r(payload);
  const std::uint64_t flags = r.Varint();
  if (!r.Good() || !r.AtEnd() || flags > (kUtf8Flag | kMarkFlag)) return false;
  encoding = flags & kUtf8Flag ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
  mark = (flags & kMarkFlag) && encoding == TTextEncoding::Utf8;
  return true;
}

// The characters of the byte cells a journal of an earlier version kept a
// UTF-8 document in: one byte of flags (1: UTF-8, 2: byte-order mark), then
// for each cell 0x80..0xFF the character it was taken for plus one (0: a
// free cell) in four bytes, low first. A table of one byte 0 is Windows-1252.
struct TOldCells {
  bool Utf8 = false;
  bool Mark = false;
  std::array<char32_t, 128> Chars{};  // of cells 0x80..0xFF

  static std::optional<TOldCells> Parse(std::string_view bytes) {
    TOldCells t;
    if (bytes.size() == 1 && bytes[0] == 0) return t;
    if (bytes.size() != 1 + 4 * 128 || (bytes[0] & ~3) != 0 || (bytes[0] & 1) == 0) return std::nullopt;
    t.Utf8 = true;
    t.Mark = (bytes[0] & 2) != 0;
    for (std::size_t c = 0; c < 128; ++c) {
      std::uint32_t v = 0;
      for (std::size_t k = 0; k < 4; ++k)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1 + 4 * c + k])) << (8 * k);
      // A free cell shows its Windows-1252 character.
      const char32_t ch = v == 0 ? Windows1252Char(static_cast<unsigned char>(0x80 + c)) : v - 1;
      if (v != 0 && (ch < 0x80 || !utf8::Encodable(ch))) return std::nullopt;
      t.Chars[c] = ch;
    }
    return t;
  }

  std::string ToUtf8(std::string_view cells) const {
    std::string out;
    out.reserve(cells.size() + cells.size() / 2);
    for (char c : cells) {
      const auto cell = static_cast<unsigned char>(c);
      if (cell < 0x80) {
        out.push_back(c);
        continue;
      }
      char form[4];
      out.append(form, static_cast<std::size_t>(utf8::Encode(Chars[cell - 0x80], form)));
    }
    return out;
  }
};

// A snapshot payload with every line's cells as UTF-8.
std::string SnapshotToUtf8(std::string_view payload, const TOldCells& cells) {
  TPayloadReader r(payload);
  const int count = r.Count();
  std::string out;
  AppendVarint(out, static_cast<std::uint64_t>(count));
  for (int i = 0; i < count && r.Good(); ++i) AppendBytes(out, cells.ToUtf8(r.Text()));
  return out;
}

// A format payload with the cells of its bytes as read as UTF-8; empty when it is damaged.
std::string FormatToUtf8(std::string_view payload, const TOldCells& cells) {
  TPayloadReader r(payload);
  std::string out;
  for (int i = 0; i < 5; ++i) AppendVarint(out, r.Varint());  // flags, line end, tab width, first, count
  const int kept = r.Count();
  AppendVarint(out, static_cast<std::uint64_t>(kept));
  for (int i = 0; i < kept && r.Good(); ++i) {
    AppendVarint(out, r.Varint());
    const std::uint64_t how = r.Varint();
    AppendVarint(out, how);
    if (how & 4u) AppendBytes(out, cells.ToUtf8(r.Text()));
  }
  return r.Good() && r.AtEnd() ? out : std::string();
}

}  // namespace

std::uint32_t JournalChecksum(std::uint32_t crc, std::string_view data) { return Crc32c(crc, data); }

std::size_t PutJournalVarint(char* out, std::uint64_t v) { return static_cast<std::size_t>(PutVarint(out, v) - out); }

// ---------------------------------------------------------------- building records

std::string BasePayload(const TJournalBase& base) {
  std::string out(kBaseMagic);
  AppendBytes(out, base.Copy);
  AppendBytes(out, base.Source);
  AppendVarint(out, base.Size);
  AppendVarint(out, base.Checksum);
  AppendVarint(out, static_cast<std::uint64_t>(std::max(base.TabWidth, 0)));
  AppendVarint(out, base.KeepFormat ? 1u : 0u);
  return out;
}

bool ParseBase(std::string_view payload, TJournalBase& base) { return ParseBaseRecord(payload, base); }

std::string EncodingPayload(TTextEncoding encoding, bool byteOrderMark) {
  std::string out;
  const bool utf8 = encoding == TTextEncoding::Utf8;
  AppendVarint(out, (utf8 ? kUtf8Flag : 0) | (utf8 && byteOrderMark ? kMarkFlag : 0));
  return out;
}

std::string HeaderPayload(const TJournalHeader& header) {
  std::string out(kHeaderMagic);
  AppendVarint(out, header.Session);
  AppendVarint(out, header.Order);
  AppendBytes(out, header.FileName);
  AppendVarint(out, static_cast<std::uint64_t>(header.Stamp.State));
  AppendVarint(out, header.Stamp.Device);
  AppendVarint(out, header.Stamp.Inode);
  AppendVarint(out, static_cast<std::uint64_t>(header.Stamp.Size));
  AppendVarint(out, static_cast<std::uint64_t>(header.Stamp.ModifiedSeconds));
  AppendVarint(out, static_cast<std::uint64_t>(header.Stamp.ModifiedNanoseconds));
  return out;
}

std::string SnapshotPayload(const TAdvLines& lines) {
  const int count = lines.Count();
  // Line bytes, and at most five bytes of length a line.
  const auto bound = static_cast<std::size_t>(lines.TextLength()) + 3 * static_cast<std::size_t>(count) + 10;
  std::string out;
  out.resize(bound);
  char* p = PutVarint(out.data(), static_cast<std::uint64_t>(count));
  for (int i = 0; i < count; ++i) {
    std::string_view line = lines.LineView(i);
    p = PutVarint(p, line.size());
    std::memcpy(p, line.data(), line.size());
    p += line.size();
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return out;
}

std::string ChangePayload(const TAdvLines& lines, int first, int removed, int from, int inserted) {
  std::string out;
  AppendVarint(out, static_cast<std::uint64_t>(first));
  AppendVarint(out, static_cast<std::uint64_t>(removed));
  AppendVarint(out, static_cast<std::uint64_t>(inserted));
  for (int i = 0; i < inserted; ++i) AppendBytes(out, lines.LineView(from + i));
  return out;
}

std::string FormatPayload(const TFileFormat& format, const TAdvLines& lines, int first, int count, int at) {
  std::string out;
  const unsigned flags = (format.TabIndent ? 1u : 0u) | (format.FinalBreak ? 2u : 0u) | (format.Foreign ? 4u : 0u);
  AppendVarint(out, flags);
  AppendVarint(out, static_cast<std::uint64_t>(format.LineEnd));
  AppendVarint(out, static_cast<std::uint64_t>(std::max(format.TabWidth, 0)));
  AppendVarint(out, static_cast<std::uint64_t>(at < 0 ? first : at));
  AppendVarint(out, static_cast<std::uint64_t>(count));
  std::string entries;
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const TLineAsRead* asRead = lines.AsRead(first + i);
    if (!asRead) continue;
    ++kept;
    AppendVarint(entries, static_cast<std::uint64_t>(i));
    AppendVarint(entries, static_cast<std::uint64_t>(asRead->End) | (asRead->HasText ? 4u : 0u));
    if (asRead->HasText) AppendBytes(entries, asRead->Text);
  }
  AppendVarint(out, static_cast<std::uint64_t>(kept));
  out += entries;
  return out;
}

std::string JournalFrame(TJournalRecordKind kind, std::string_view payload) {
  if (payload.size() > UINT32_MAX) throw EJournalError("A journal record is too large");
  const auto length = static_cast<std::uint32_t>(payload.size());
  const std::uint32_t checksum = RecordChecksum(length, kind, payload);
  std::string frame(kJournalFrameSize, '\0');
  std::memcpy(frame.data(), &length, 4);
  std::memcpy(frame.data() + 4, &checksum, 4);
  frame[8] = static_cast<char>(kind);
  return frame;
}

void AppendJournalRecord(std::string& out, TJournalRecordKind kind, std::string_view payload) {
  out.append(JournalFrame(kind, payload));
  out.append(payload);
}

// ---------------------------------------------------------------- reading

namespace {

// A whole record (its checksum holds) whose content does not make sense:
// no tear, but a journal that cannot be trusted.
[[noreturn]] void Damaged(const char* record) {
  throw EJournalError(std::string("A ") + record + " record of the journal is damaged");
}

}  // namespace

std::size_t ReadJournalHeader(std::string_view head, TJournalHeader& header) {
  if (head.size() < kJournalFrameSize) return 0;
  std::uint32_t length, checksum;
  std::memcpy(&length, head.data(), 4);
  std::memcpy(&checksum, head.data() + 4, 4);
  const auto kind = static_cast<TJournalRecordKind>(head[8]);
  if (kind != TJournalRecordKind::Header || length > kMaxJournalHeader || length > head.size() - kJournalFrameSize)
    return 0;
  const std::string_view payload = head.substr(kJournalFrameSize, length);
  TJournalHeader read;
  if (RecordChecksum(length, kind, payload) != checksum || !ParseHeader(payload, read)) return 0;
  header = std::move(read);
  return kJournalFrameSize + length;
}

TJournalContent ParseJournal(TTextBuffer bytes) {
  TJournalContent journal;
  journal.Bytes = std::move(bytes);
  const std::string_view all = journal.Bytes.View();
  bool haveHeader = false, haveSnapshot = false;
  std::string_view cells;  // the last cells record's payload: a journal kept in cells
  std::size_t at = 0;
  while (all.size() - at >= kJournalFrameSize) {
    std::uint32_t length, checksum;
    std::memcpy(&length, all.data() + at, 4);
    std::memcpy(&checksum, all.data() + at + 4, 4);
    const auto kind = static_cast<TJournalRecordKind>(all[at + 8]);
    if (length > all.size() - at - kJournalFrameSize) break;  // torn: its end never reached the disk
    const std::string_view payload = all.substr(at + kJournalFrameSize, length);
    if (RecordChecksum(length, kind, payload) != checksum) break;
    if (!haveHeader) {
      if (kind != TJournalRecordKind::Header || !ParseHeader(payload, journal.Header)) break;
      haveHeader = true;
    } else if (!haveSnapshot) {
      if (kind == TJournalRecordKind::Base) {
        TJournalBase base;
        if (!ParseBaseRecord(payload, base)) Damaged("base");
        journal.Base = std::move(base);
      } else if (kind == TJournalRecordKind::Snapshot) {
        journal.Snapshot = payload;
      } else {
        break;
      }
      haveSnapshot = true;
      journal.BodyStart = at + kJournalFrameSize + length;
    } else if (kind == TJournalRecordKind::Encoding) {
      if (!ParseEncoding(payload, journal.Encoding, journal.ByteOrderMark)) Damaged("encoding");
      if (journal.Changes.empty()) journal.BaseByteOrderMark = journal.ByteOrderMark;
    } else if (kind == TJournalRecordKind::Cells) {
      cells = payload;
      if (journal.Changes.empty()) journal.BaseByteOrderMark = !payload.empty() && (payload[0] & 3) == 3;
    } else if (kind == TJournalRecordKind::Format) {
      TFileFormat format;
      if (!ParseFormat(payload, format, nullptr)) Damaged("format");
      journal.Formats.emplace_back(journal.Changes.size(), payload);
    } else {
      TJournalChange change;
      if (kind != TJournalRecordKind::Change) break;  // of a later version: what came before counts
      if (!ParseChange(payload, change)) Damaged("change");
      journal.Changes.push_back(std::move(change));
    }
    at += kJournalFrameSize + length;
    journal.WholeBytes = at;
  }
  if (!haveSnapshot) throw EJournalError("The journal holds no whole snapshot of a document");
  if (!journal.Base && !SnapshotIsWhole(journal.Snapshot)) throw EJournalError("The journal's snapshot is damaged");
  if (!cells.empty()) {
    const std::optional<TOldCells> table = TOldCells::Parse(cells);
    if (!table) throw EJournalError("The journal's table of characters is damaged");
    journal.Encoding = table->Utf8 ? TTextEncoding::Utf8 : TTextEncoding::Windows1252;
    journal.ByteOrderMark = table->Mark;
    journal.InCells = table->Utf8;
    if (table->Utf8) {
      // The lines' cells as the UTF-8 they stand for; the base is UTF-8 already.
      auto keep = [&journal](std::string text) -> std::string_view {
        return journal.Converted.emplace_back(std::move(text));
      };
      if (!journal.Base) journal.Snapshot = keep(SnapshotToUtf8(journal.Snapshot, *table));
      for (TJournalChange& change : journal.Changes)
        for (std::string_view& line : change.Lines) line = keep(table->ToUtf8(line));
      for (auto& [changes, payload] : journal.Formats) payload = keep(FormatToUtf8(payload, *table));
    }
  }
  return journal;
}

void FindBase(TJournalContent& journal, const std::string& folder) {
  const TJournalBase& base = *journal.Base;
  journal.BaseFile.clear();
  if (!base.Copy.empty() && FileHoldsBase(folder + "/" + base.Copy, base))
    journal.BaseFile = folder + "/" + base.Copy;
  else if (!base.Source.empty() && FileHoldsBase(base.Source, base))
    journal.BaseFile = base.Source;
  else
    throw EJournalError("The text its changes apply to is lost: its copy " +
                        std::string(base.Copy.empty() ? "was never made" : "is damaged or gone") + " and \"" +
                        base.Source + "\" was changed since");
}

namespace {

// The base's text into the store, as the document read it (it has no lines
// with TAB, CR or LF).
void ReadBaseText(const TJournalContent& journal, TAdvLines& lines) {
  const TJournalBase& base = *journal.Base;
  bool ascii = false;
  std::optional<TTextBuffer> bytes =
      journal.BaseFile.empty() ? std::nullopt : ReadBaseBytes(journal.BaseFile, base, &ascii);
  if (!bytes) throw EJournalError("The text the journal's changes apply to was changed since it was found");
  // As a document reads a file: its byte-order mark apart, its format, then the lines.
  if (journal.BaseByteOrderMark && bytes->View().starts_with(kByteOrderMark)) bytes->DropFront(kByteOrderMark.size());
  std::vector<std::pair<int, TLineAsRead>> asRead;
  if (base.KeepFormat) ReadFileFormat(bytes->View(), base.TabWidth, asRead);
  lines.SetTextStr(std::move(*bytes));
  for (auto& [line, kept] : asRead) lines.SetAsRead(line, std::move(kept));
}

void RestoreSnapshot(const TJournalContent& journal, TAdvLines& lines, int& count, bool& raw) {
  TTextBuffer joined = JoinSnapshot(journal.Snapshot, false, count, nullptr);
  // Lines with TAB, CR or LF come only from a put of a single line; the
  // whole-text assignment would change them. Without them (the rule) one
  // assignment gives the lines exactly: a CR or LF would have made more.
  raw = joined.View().find('\t') != std::string_view::npos;
  if (!raw) {
    lines.SetTextStr(std::move(joined));
    raw = lines.Count() != count;
  }
  if (raw) {
    std::vector<std::pair<int, std::string_view>> rawLines;
    lines.SetTextStr(JoinSnapshot(journal.Snapshot, true, count, &rawLines));
    for (const auto& [index, text] : rawLines) lines.PutQuiet(index, text);
    raw = !rawLines.empty();
  }
}

// The changes, each with the bytes as read that the format records before it give.
void ReplayChanges(const TJournalContent& journal, TAdvLines& lines, bool raw) {
  // The bytes as read of the lines the records before each format record left.
  std::size_t format = 0;
  auto applyFormats = [&](std::size_t changes) {
    for (TFileFormat ignored; format < journal.Formats.size() && journal.Formats[format].first <= changes; ++format)
      ParseFormat(journal.Formats[format].second, ignored, &lines);
  };
  applyFormats(0);
  std::string text;
  std::size_t applied = 0;
  for (const TJournalChange& change : journal.Changes) {
    applyFormats(applied);
    const int now = lines.Count();
    if (change.First > now || change.Removed > now - change.First) break;  // does not fit: damage
    const int inserted = static_cast<int>(change.Lines.size());
    if (inserted > INT32_MAX - (now - change.Removed)) break;
    ++applied;
    if (change.Removed == 0 && inserted == 0) continue;
    raw = raw || std::any_of(change.Lines.begin(), change.Lines.end(), HasRawChars);
    if (!raw) {
      // One splice of whole lines: every line given ends in CR LF.
      text.clear();
      for (std::string_view line : change.Lines) text.append(line).append("\r\n");
      const std::int64_t from = lines.LineStartOffset(change.First);
      lines.ReplaceText(from, lines.LineStartOffset(change.First + change.Removed) - from, text);
    } else {
      // Once the store holds such a line, its splices rebuild the whole text:
      // line by line from here on.
      for (int i = 0; i < change.Removed; ++i) lines.Delete(change.First);
      for (int i = 0; i < inserted; ++i) {
        lines.Insert(change.First + i, "");
        lines.PutQuiet(change.First + i, change.Lines[static_cast<std::size_t>(i)]);
      }
    }
  }
  applyFormats(applied);
  journal.Replayed = applied == journal.Changes.size();
  lines.Changed();
}

}  // namespace

void RestoreText(const TJournalContent& journal, TAdvLines& lines) {
  int count = 0;
  bool raw = false;
  if (journal.Base) {
    ReadBaseText(journal, lines);
  } else {
    RestoreSnapshot(journal, lines, count, raw);
  }
  ReplayChanges(journal, lines, raw);
}

void RestoreDocument(const TJournalContent& journal, TSourceEditor& document) {
  TFileFormat format;
  if (!journal.Formats.empty()) ParseFormat(journal.Formats.back().second, format, nullptr);
  // The base is read as it was: with TABs of its width.
  const int tabWidth = journal.Base ? journal.Base->TabWidth : document.TabWidth;
  document.Restore(journal.Header.FileName, journal.Encoding, journal.ByteOrderMark, format, journal.Header.Stamp,
                   tabWidth, [&journal](TAdvLines& lines) { RestoreText(journal, lines); });
}
