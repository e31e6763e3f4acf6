// TAdvLines: rows and offsets. Cutting lines into rows at the wrap column,
// mapping rows to lines and back, and flat offsets into the text with CR LF
// after every line.

#include <algorithm>
#include <cstring>

#include "editor/AdvLines.h"
#include "editor/LargeBuffer.h"
#include "editor/TextColumns.h"
#include "editor/Utf8.h"

// ---------------------------------------------------------------- wrapping

bool TAdvLines::Wrapping() const { return Editor && Editor->GetWordWrap(); }

namespace {

// The most columns a UTF-8 text can take: only characters of three or four
// bytes are ever two columns wide.
std::size_t MostColumns(std::string_view text) {
  std::size_t continuation = 0, wide = 0;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    continuation += (b & 0xC0) == 0x80;
    wide += b >= 0xE0;
  }
  return text.size() - continuation + wide;
}

// Where a row from `pos` that can hold the text up to `fit` ends: after its
// last space past the row's first character, else at `hard`.
std::size_t RowEnd(std::string_view text, std::size_t pos, std::size_t fit, std::size_t hard) {
  for (std::size_t i = fit; i-- > pos + 1;)
    if (text[i] == ' ') return i + 1;
  return hard;
}

// Where the rows of a UTF-8 line that is longer than `w` columns start: the
// rule of the bytes below with clusters and their columns in place of bytes,
// so that no row ends inside a cluster (a space with a mark on it is no
// space to cut after).
void WrapColumns(std::string_view text, std::size_t w, std::uint32_t& rows, std::vector<std::uint32_t>* starts) {
  const std::size_t n = text.size();
  std::size_t pos = 0;
  for (;;) {
    // The clusters that fit in the row's first w columns, and the end of
    // the last lone space among them past the row's first cluster.
    std::size_t fit = pos, columns = 0, next = pos, afterSpace = 0;
    while (fit < n) {
      int width = 1;
      next = textcol::ClusterAt(text, fit, width);
      if (columns + static_cast<std::size_t>(width) > w) break;
      columns += static_cast<std::size_t>(width);
      if (fit > pos && next == fit + 1 && text[fit] == ' ') afterSpace = next;
      fit = next;
    }
    if (fit >= n) return;
    next = afterSpace != 0 ? afterSpace : fit > pos ? fit : next;
    if (starts) starts->push_back(static_cast<std::uint32_t>(next));
    ++rows;
    pos = next;
  }
}

}  // namespace

std::uint32_t TAdvLines::Wrap(std::string_view text, std::vector<std::uint32_t>* starts) const {
  if (starts) starts->clear();
  if (!Wrapping()) return 1;
  return WrapBytes(text, static_cast<std::size_t>(std::max(1, Editor->GetWrapColumn())),
                   Editor->GetEncoding() == TTextEncoding::Utf8, starts);
}

std::uint32_t TAdvLines::WrapBytes(std::string_view text, std::size_t w, bool utf8,
                                   std::vector<std::uint32_t>* starts) {
  std::uint32_t rows = 1;
  if (text.size() > w && utf8 && utf8::FindNonAscii(text, 0) < text.size()) {
    // A character is never more columns than bytes: a line of at most w
    // bytes needs no look; nor does one whose most columns (two for every
    // character of three or four bytes, one for any other) fit.
    if (MostColumns(text) > w) WrapColumns(text, w, rows, starts);
    return rows;
  }
  std::size_t pos = 0;
  while (text.size() - pos > w) {
    // The row keeps everything up to its last space at position >= 2 among its
    // first w characters; without one it is cut hard after w characters.
    const std::size_t next = RowEnd(text, pos, pos + w, pos + w);
    if (starts) starts->push_back(static_cast<std::uint32_t>(next));
    ++rows;
    pos = next;
  }
  return rows;
}

void TAdvLines::Rewrap(Record& r) {
  if (Extra* e = ExtraOf(r)) e->clean = 0;
  DropAttrs(r);
  std::string_view text = View(r);
  if (!Wrapping() || text.size() <= static_cast<std::size_t>(Editor->GetWrapColumn())) {
    if (r.far) std::vector<std::uint32_t>().swap(far_[r.at].rowStarts);
  } else {
    MakeFar(r);
    Wrap(text, &far_[r.at].rowStarts);
  }
  ReleaseIfUnused(r);
}

std::string_view TAdvLines::RowText(const Record& r, int k) const {
  std::string_view text = View(r);
  const int rows = RowsOf(r);
  if (rows == 1) return k == 0 ? text : std::string_view();
  if (k < 0 || k >= rows) return {};
  const auto& starts = RowStarts(r);
  std::size_t s = k == 0 ? 0 : starts[k - 1];
  std::size_t e = k + 1 == rows ? text.size() : starts[k];
  return text.substr(s, e - s);
}

void TAdvLines::RewrapAll() {
  TLinesChange change;
  change.LinesRemoved = change.LinesInserted = count_;
  change.RowsRemoved = static_cast<int>(totalRows_);
  for (Block& b : blocks_) {
    for (Record& r : b.lines) {
      totalRows_ -= RowsOf(r);
      Rewrap(r);
      totalRows_ += RowsOf(r);
    }
    SumBlock(b);
  }
  RebuildTrees();
  change.RowsInserted = static_cast<int>(totalRows_);
  change.RowsOnly = true;
  change.Notice = Notice();
  Announce(change);
}

void TAdvLines::RewrapForEncoding() {
  if (!Wrapping() || count_ == 0) return;
  const auto w = static_cast<std::uint32_t>(std::max(1, Editor->GetWrapColumn()));
  TLinesChange change;
  change.LinesRemoved = change.LinesInserted = count_;
  change.RowsRemoved = static_cast<int>(totalRows_);
  for (Block& b : blocks_) {
    bool touched = false;
    for (Record& r : b.lines) {
      if (r.length <= w || utf8::FindNonAscii(View(r), 0) >= r.length) continue;
      totalRows_ -= RowsOf(r);
      Rewrap(r);
      totalRows_ += RowsOf(r);
      touched = true;
    }
    if (touched) SumBlock(b);
  }
  RebuildTrees();
  change.RowsInserted = static_cast<int>(totalRows_);
  change.RowsOnly = true;
  change.Notice = TLinesNotice::None;
  Announce(change);
}

// ---------------------------------------------------------------- rows

std::string TAdvLines::GetRow(int row) const { return std::string(RowView(row)); }

std::string_view TAdvLines::RowView(int row) const {
  if (!Wrapping() || totalRows_ == count_) return LineView(row);
  int line, k;
  RowToParagraph(row, line, k);
  if (line < 0) return {};
  return RowText(Rec(line), k);
}

void TAdvLines::RowToParagraph(int row, int& line, int& rowInLine) const {
  if (Wrapping() && totalRows_ != count_) {
    line = rowInLine = -1;
    if (row < 0 || row >= totalRows_) return;
    std::int64_t before = 0;
    std::size_t b = rowTree_.Find(row, before);
    std::int64_t firstLine = lineTree_.Prefix(b);
    const auto& lines = blocks_[b].lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int rows = RowsOf(lines[i]);
      if (row < before + rows) {
        line = static_cast<int>(firstLine + static_cast<std::int64_t>(i));
        rowInLine = static_cast<int>(row - before);
        return;
      }
      before += rows;
    }
    return;
  }
  line = std::min(row, count_ - 1);
  rowInLine = 0;
}

void TAdvLines::GetRowInfo(int row, int& line, std::string& lineText, int& offset) const {
  if (row < 0 || row >= totalRows_) throw EStringListError(row);
  int k;
  RowToParagraph(row, line, k);
  if (line < 0) throw EStringListError(row);
  const Record& r = Rec(line);
  lineText.assign(View(r));
  offset = k == 0 ? 0 : static_cast<int>(RowStarts(r)[k - 1]);
}

void TAdvLines::RowToLine(int column, int row, int& lineColumn, int& line) const {
  if (row < 0 || row >= totalRows_) throw EStringListError(row);
  int k;
  RowToParagraph(row, line, k);
  if (line < 0) throw EStringListError(row);
  const Record& r = Rec(line);
  lineColumn = column + (k == 0 ? 0 : static_cast<int>(RowStarts(r)[k - 1]));
}

void TAdvLines::LineToRow(int line, int lineColumn, int& row, int& rowColumn) const {
  row = rowColumn = 0;
  if (count_ == 0) return;
  line = std::max(line, 0);
  if (line >= count_) {
    row = static_cast<int>(totalRows_) - 1;
    rowColumn = static_cast<int>(RowText(Rec(count_ - 1), RowsOf(Rec(count_ - 1)) - 1).size());
    return;
  }
  int first = FirstRow(line);
  std::int64_t sum = 0;
  for (int l = line; l < count_; ++l) {
    const Record& r = Rec(l);
    for (int k = 0, rows = RowsOf(r); k < rows; ++k) {
      std::int64_t len = static_cast<std::int64_t>(RowText(r, k).size());
      if (sum + len >= lineColumn) {
        row = first + k;
        rowColumn = static_cast<int>(lineColumn - sum);
        return;
      }
      sum += len;
    }
    first += RowsOf(r);
  }
  // Beyond the text: the end of its last row.
  const Record& last = Rec(count_ - 1);
  row = static_cast<int>(totalRows_) - 1;
  rowColumn = static_cast<int>(RowText(last, RowsOf(last) - 1).size());
}

std::int64_t TAdvLines::LineStartOffset(int line) const {
  if (line <= 0) return 0;
  if (line >= count_) return TextLength();
  Location loc = Locate(line);
  std::int64_t s = charTree_.Prefix(loc.block);
  const auto& lines = blocks_[loc.block].lines;
  for (std::size_t i = 0; i < loc.index; ++i) s += lines[i].length + 2;
  return s;
}

int TAdvLines::FirstRow(int line) const {
  if (line <= 0 || count_ == 0) return 0;
  if (line >= count_) return static_cast<int>(totalRows_);
  Location loc = Locate(line);
  std::int64_t s = rowTree_.Prefix(loc.block);
  const auto& lines = blocks_[loc.block].lines;
  for (std::size_t i = 0; i < loc.index; ++i) s += RowsOf(lines[i]);
  return static_cast<int>(s);
}

int TAdvLines::RowCount(int line) const {
  if (line < 0 || line >= count_) return 0;
  return RowsOf(Rec(line));
}

std::string_view TAdvLines::RowOfLine(int line, int rowInLine) const {
  if (line < 0 || line >= count_) return {};
  return RowText(Rec(line), rowInLine);
}

// ---------------------------------------------------------------- flat offsets

std::int64_t TAdvLines::TextLength() const { return charTree_.Prefix(blocks_.size()); }

std::string TAdvLines::GetTextStr() const { return TextRange(0, TextLength()); }

std::string TAdvLines::TextRange(std::int64_t offset, std::int64_t length) const {
  std::int64_t total = TextLength();
  offset = std::clamp<std::int64_t>(offset, 0, total);
  length = std::clamp<std::int64_t>(length, 0, total - offset);
  std::string out;
  if (length == 0) return out;
  ReserveLarge(out, static_cast<std::size_t>(length));
  out.resize(static_cast<std::size_t>(length));
  char* dst = out.data();
  std::int64_t need = length;
  // Find the block and line holding `offset`.
  std::int64_t before = 0;
  std::size_t b = charTree_.Find(offset, before);
  std::size_t i = 0;
  std::int64_t pos = before;
  for (; b < blocks_.size() && need > 0; ++b, i = 0) {
    const auto& lines = blocks_[b].lines;
    for (; i < lines.size() && need > 0; ++i) {
      const Record& r = lines[i];
      std::int64_t lineEnd = pos + r.length + 2;
      if (lineEnd <= offset) {
        pos = lineEnd;
        continue;
      }
      std::int64_t from = std::max<std::int64_t>(offset, pos) - pos;  // within "text\r\n"
      for (std::int64_t k = from; k < static_cast<std::int64_t>(r.length) + 2 && need > 0;) {
        if (k < r.length) {
          std::int64_t n = std::min<std::int64_t>(r.length - k, need);
          std::memcpy(dst, DataOf(r) + k, static_cast<std::size_t>(n));
          dst += n;
          need -= n;
          k += n;
        } else {
          *dst++ = k == r.length ? '\r' : '\n';
          --need;
          ++k;
        }
      }
      pos = lineEnd;
    }
  }
  return out;
}

int TAdvLines::LineAtOffset(std::int64_t offset, std::int64_t* lineStart) const {
  std::int64_t total = TextLength();
  if (offset >= total) {
    if (lineStart) *lineStart = total;
    return count_;
  }
  offset = std::max<std::int64_t>(offset, 0);
  std::int64_t before = 0;
  std::size_t b = charTree_.Find(offset, before);
  int line = static_cast<int>(lineTree_.Prefix(b));
  for (const Record& r : blocks_[b].lines) {
    if (offset < before + r.length + 2) break;
    before += r.length + 2;
    ++line;
  }
  if (lineStart) *lineStart = before;
  return line;
}
