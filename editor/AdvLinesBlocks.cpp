// TAdvLines: the storage of the records. Blocks of line records with prefix
// sums over them, the side records, the chunks that loaded and inserted text
// lives in, the one splice every change goes through, and the colour records.

#include <algorithm>
#include <cstring>
#include <thread>

#include "editor/AdvLines.h"
#include "editor/LargeBuffer.h"
#include "editor/TextScan.h"
#include "editor/Utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool HasRawChars(std::string_view s) { return s.find_first_of("\t\r\n") != std::string_view::npos; }

}  // namespace

// ---------------------------------------------------------------- location

TAdvLines::Location TAdvLines::Locate(int line) const {
  if (cursorBlock_ < blocks_.size()) {
    int first = cursorFirstLine_;
    int size = static_cast<int>(blocks_[cursorBlock_].lines.size());
    if (line >= first && line < first + size) return {cursorBlock_, static_cast<std::size_t>(line - first)};
    if (line >= first + size && cursorBlock_ + 1 < blocks_.size()) {
      int nextSize = static_cast<int>(blocks_[cursorBlock_ + 1].lines.size());
      if (line < first + size + nextSize) {
        ++cursorBlock_;
        cursorFirstLine_ = first + size;
        return {cursorBlock_, static_cast<std::size_t>(line - cursorFirstLine_)};
      }
    }
  }
  std::int64_t before = 0;
  std::size_t b = lineTree_.Find(line, before);
  cursorBlock_ = b;
  cursorFirstLine_ = static_cast<int>(before);
  return {b, static_cast<std::size_t>(line - before)};
}

const TAdvLines::Record& TAdvLines::Rec(int line) const {
  Location loc = Locate(line);
  return blocks_[loc.block].lines[loc.index];
}

TAdvLines::Record& TAdvLines::Rec(int line) {
  Location loc = Locate(line);
  return blocks_[loc.block].lines[loc.index];
}

void TAdvLines::CheckIndex(int index) const {
  if (index < 0 || index >= count_) throw EStringListError(index);
}

// ---------------------------------------------------------------- side records

// ---------------------------------------------------------------- far entries

void TAdvLines::MakeFar(Record& r) {
  if (r.far) return;
  const Far entry{base_ + r.at, 0, {}};
  if (!freeFar_.empty()) {
    r.at = freeFar_.back();
    freeFar_.pop_back();
    far_[r.at] = entry;
  } else {
    r.at = static_cast<std::uint32_t>(far_.size());
    far_.push_back(entry);
  }
  r.far = 1;
}

void TAdvLines::ReleaseFar(Record& r) {
  if (!r.far) return;
  far_[r.at] = Far{};
  freeFar_.push_back(r.at);
  r.at = 0;
  r.far = 0;
}

void TAdvLines::SetData(Record& r, const char* data) {
  if ((!r.far || (far_[r.at].extra == 0 && far_[r.at].rowStarts.empty())) && InMain(data)) {
    ReleaseFar(r);
    r.at = static_cast<std::uint32_t>(data - base_);
    return;
  }
  MakeFar(r);
  far_[r.at].data = data;
}

TAdvLines::Extra& TAdvLines::EnsureExtra(Record& r) {
  MakeFar(r);
  Far& f = far_[r.at];
  if (f.extra) return *extras_[f.extra - 1];
  if (!freeExtras_.empty()) {
    f.extra = freeExtras_.back();
    freeExtras_.pop_back();
    extras_[f.extra - 1] = std::make_unique<Extra>();
  } else {
    extras_.push_back(std::make_unique<Extra>());
    f.extra = static_cast<std::uint32_t>(extras_.size());
  }
  return *extras_[f.extra - 1];
}

// The side record goes; so does the far entry, where the line's bytes are in
// the main chunk.
void TAdvLines::ReleaseExtra(Record& r) {
  const std::uint32_t x = ExtraIndex(r);
  if (!x) return;
  Extra& e = *extras_[x - 1];
  if (e.attrSerial != 0) --attrHolders_;
  extras_[x - 1].reset();
  freeExtras_.push_back(x);
  far_[r.at].extra = 0;
  SetData(r, far_[r.at].data);
}

void TAdvLines::ReleaseIfUnused(Record& r) {
  if (!r.far) return;
  if (Extra* e = ExtraOf(r)) {
    if (e->Unused()) ReleaseExtra(r);
  } else {
    SetData(r, far_[r.at].data);
  }
}

void TAdvLines::SetRecordText(Record& r, std::string_view text) {
  Extra* e = ExtraOf(r);
  if (!e || !e->owned) borrowedBytes_ -= r.length;
  if (e && e->raw) --rawLines_;
  Extra& x = EnsureExtra(r);
  x.text.assign(text.data(), text.size());
  x.owned = true;
  far_[r.at].data = x.text.data();
  r.length = static_cast<std::uint32_t>(text.size());
  x.raw = HasRawChars(text);
  if (x.raw) ++rawLines_;
}

void TAdvLines::DropAttrs(Record& r) {
  Extra* e = ExtraOf(r);
  if (!e || e->attrSerial == 0) return;
  TLineAttrs().swap(e->attrs);
  e->attrSerial = 0;
  --attrHolders_;
}

// ---------------------------------------------------------------- trees and blocks

void TAdvLines::SumBlock(Block& b) const {
  b.chars = b.rows = 0;
  for (const Record& r : b.lines) {
    b.chars += r.length + 2;
    b.rows += RowsOf(r);
  }
}

void TAdvLines::RebuildTrees(std::size_t from) {
  const std::size_t n = blocks_.size();
  lineTree_.Rebuild(from, n, [this](std::size_t b) { return blocks_[b].lines.size(); });
  charTree_.Rebuild(from, n, [this](std::size_t b) { return blocks_[b].chars; });
  rowTree_.Rebuild(from, n, [this](std::size_t b) { return blocks_[b].rows; });
  InvalidateCursor();
}

void TAdvLines::UpdateTrees(std::size_t block, std::int64_t dLines, std::int64_t dChars, std::int64_t dRows) {
  blocks_[block].chars += dChars;
  blocks_[block].rows += dRows;
  if (dLines) lineTree_.Add(block, dLines);
  if (dChars) charTree_.Add(block, dChars);
  if (dRows) rowTree_.Add(block, dRows);
}

// ---------------------------------------------------------------- the splice

void TAdvLines::SpliceRecords(int first, int deleteCount, std::vector<Block>&& fresh, TLinesNotice notice,
                              TChangeSpan span) {
  TLinesChange change;
  change.FirstLine = first;
  change.LinesRemoved = deleteCount;
  change.FirstRow = FirstRow(first);
  change.Notice = notice;
  if (asReadLines_ > 0) CarryAsRead(first, deleteCount, fresh, change.AsReadRemoved, span);
  // Release what the deleted lines held.
  std::int64_t removedChars = 0;
  const bool region = lastRegion_.to > lastRegion_.from;
  for (int i = 0; i < deleteCount; ++i) {
    Record& r = Rec(first + i);
    Extra* e = ExtraOf(r);
    if (!e || !e->owned) borrowedBytes_ -= r.length;
    if (region && InLastRegion(DataOf(r))) --lastRegion_.lines;
    if (e && e->raw) --rawLines_;
    change.RowsRemoved += RowsOf(r);
    removedChars += r.length + 2;
    ReleaseExtra(r);
    ReleaseFar(r);
  }
  for (const Block& b : fresh) {
    for (const Record& r : b.lines) {
      Extra* e = ExtraOf(r);
      if (!e || !e->owned) borrowedBytes_ += r.length;
      if (region && InLastRegion(DataOf(r))) ++lastRegion_.lines;
      if (e && e->raw) ++rawLines_;
      change.RowsInserted += RowsOf(r);
    }
    change.LinesInserted += static_cast<int>(b.lines.size());
  }
  if (!SpliceInBlock(first, deleteCount, removedChars, change.RowsRemoved, fresh))
    SpliceBlocks(first, deleteCount, std::move(fresh));
  count_ += change.LinesInserted - deleteCount;
  totalRows_ += change.RowsInserted - change.RowsRemoved;
  if (region) GiveBackLastRegion();
  MaybeCompact();
  Announce(std::move(change));
}

// The common small change: the lines replaced lie in one block, which keeps a
// sound size; only that block's sums change.
bool TAdvLines::SpliceInBlock(int first, int deleteCount, std::int64_t removedChars, std::int64_t removedRows,
                              std::vector<Block>& fresh) {
  if (blocks_.empty() || fresh.size() > 1) return false;
  const Location s = first == count_ ? Location{blocks_.size() - 1, blocks_.back().lines.size()} : Locate(first);
  if (deleteCount > 0 && Locate(first + deleteCount - 1).block != s.block) return false;
  auto& lines = blocks_[s.block].lines;
  const std::size_t added = fresh.empty() ? 0 : fresh.front().lines.size();
  const std::size_t size = lines.size() - static_cast<std::size_t>(deleteCount) + added;
  if (size == 0 || size >= kBlockMax) return false;
  std::int64_t dChars = -removedChars, dRows = -removedRows;
  const auto from = lines.begin() + static_cast<std::ptrdiff_t>(s.index);
  if (added > 0) {
    const Block& b = fresh.front();
    dChars += b.chars;
    dRows += b.rows;
    if (static_cast<std::size_t>(deleteCount) == added) {
      std::copy(b.lines.begin(), b.lines.end(), from);
    } else {
      lines.erase(from, from + deleteCount);
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(s.index), b.lines.begin(), b.lines.end());
    }
  } else {
    lines.erase(from, from + deleteCount);
  }
  UpdateTrees(s.block, static_cast<std::int64_t>(added) - deleteCount, dChars, dRows);
  InvalidateCursor();
  return true;
}

void TAdvLines::SpliceBlocks(int first, int deleteCount, std::vector<Block>&& fresh) {
  // The replaced records run from [sb, si] to before [eb, ei].
  std::size_t sb = 0, si = 0, eb = 0, ei = 0;
  if (blocks_.empty()) {
    blocks_.emplace_back();
  } else {
    Location s = first == count_ ? Location{blocks_.size() - 1, blocks_.back().lines.size()} : Locate(first);
    sb = s.block;
    si = s.index;
    eb = sb;
    ei = si;
    if (deleteCount > 0) {
      Location e = Locate(first + deleteCount - 1);
      eb = e.block;
      ei = e.index + 1;
    }
  }
  // The kept head of the first block and tail of the last join the new blocks.
  if (fresh.empty()) fresh.emplace_back();
  auto& head = blocks_[sb].lines;
  auto& tail = blocks_[eb].lines;
  fresh.back().lines.insert(fresh.back().lines.end(), tail.begin() + static_cast<std::ptrdiff_t>(ei), tail.end());
  fresh.front().lines.insert(fresh.front().lines.begin(), head.begin(), head.begin() + static_cast<std::ptrdiff_t>(si));
  std::vector<Block> rebuilt;
  rebuilt.reserve(fresh.size() + 2);
  for (Block& b : fresh) {
    if (b.lines.empty()) continue;
    if (b.lines.size() < kBlockMax) {
      rebuilt.push_back(std::move(b));
    } else {
      for (std::size_t i = 0; i < b.lines.size(); i += kBlockTarget) {
        std::size_t n = std::min(kBlockTarget, b.lines.size() - i);
        rebuilt.emplace_back();
        rebuilt.back().lines.assign(b.lines.begin() + static_cast<std::ptrdiff_t>(i),
                                    b.lines.begin() + static_cast<std::ptrdiff_t>(i + n));
      }
    }
  }
  for (Block& b : rebuilt) SumBlock(b);
  // The blocks after the replaced ones move once, and only when the count changes.
  const auto replaced = static_cast<std::ptrdiff_t>(eb + 1 - sb);
  const auto fresher = static_cast<std::ptrdiff_t>(rebuilt.size());
  const auto kept = std::min(replaced, fresher);
  auto from = blocks_.begin() + static_cast<std::ptrdiff_t>(sb);
  std::move(rebuilt.begin(), rebuilt.begin() + kept, from);
  if (fresher > replaced)
    blocks_.insert(from + kept, std::make_move_iterator(rebuilt.begin() + kept),
                   std::make_move_iterator(rebuilt.end()));
  else if (fresher < replaced)
    blocks_.erase(from + kept, from + replaced);
  RebuildTrees(sb);
}

// ---------------------------------------------------------------- bytes as read

void TAdvLines::CarryAsRead(int first, int deleteCount, std::vector<Block>& fresh, TLinesAsRead& removed,
                            TChangeSpan span) {
  std::vector<Record*> in;
  for (Block& b : fresh)
    for (Record& r : b.lines) in.push_back(&r);
  const int inserted = static_cast<int>(in.size());
  // The lines the splice brings back as they were, after the change at its
  // end or before it at its start (a line break typed at the start or the end
  // of a line), keep their bytes. An empty line at the change is one after
  // it: its line break follows what was inserted.
  auto same = [&](int i, int j) { return View(Rec(first + i)) == View(*in[j]); };
  auto before = [&](int i) { return LineStartOffset(first + i) + Rec(first + i).length <= span.Start; };
  auto after = [&](int i) { return LineStartOffset(first + i) >= span.End; };
  int head = 0, tail = 0;
  while (tail < deleteCount && tail < inserted && same(deleteCount - 1 - tail, inserted - 1 - tail) &&
         after(deleteCount - 1 - tail))
    ++tail;
  while (head < deleteCount - tail && head < inserted - tail && same(head, head) && before(head)) ++head;
  for (int i = 0; i < deleteCount; ++i) {
    Extra* e = ExtraOf(Rec(first + i));
    if (!e || !e->asRead) continue;
    if (i < head || i >= deleteCount - tail) {
      EnsureExtra(*in[i < head ? i : inserted - (deleteCount - i)]).asRead = std::move(e->asRead);
    } else {
      removed.emplace_back(first + i, std::move(*e->asRead));
      e->asRead.reset();
      --asReadLines_;
    }
  }
}

void TAdvLines::CarryAsReadWhole(std::string_view text, TChangeSpan span, TKeptAsRead& kept, TLinesAsRead& removed) {
  // The bytes the old text (every line and CR LF) shares with the new one at
  // its start and, apart from those, at its end; none of the change's.
  const std::string old = GetTextStr();
  const std::size_t n = std::min(old.size(), text.size());
  std::size_t prefix = 0, suffix = 0;
  const auto start = static_cast<std::size_t>(std::clamp<std::int64_t>(span.Start, 0, static_cast<std::int64_t>(n)));
  const auto end =
      static_cast<std::size_t>(std::clamp<std::int64_t>(span.End, 0, static_cast<std::int64_t>(old.size())));
  while (prefix < start && old[prefix] == text[prefix]) ++prefix;
  while (suffix < std::min(n - prefix, old.size() - end) &&
         old[old.size() - 1 - suffix] == text[text.size() - 1 - suffix])
    ++suffix;
  auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  // A line keeps its index below the first raw line (which the rebuild may
  // cut again), and its distance from the end above the last.
  int firstRaw = count_, lastRaw = -1, line = 0;
  for (const Block& b : blocks_)
    for (const Record& r : b.lines) {
      if (RawOf(r)) {
        firstRaw = std::min(firstRaw, line);
        lastRaw = line;
      }
      ++line;
    }
  std::size_t at = 0;
  line = 0;
  for (Block& b : blocks_)
    for (Record& r : b.lines) {
      const std::size_t textEnd = at + r.length;
      if (Extra* e = ExtraOf(r); e && e->asRead) {
        const std::size_t moved = at + text.size() - old.size();  // its start in `text`, when in the suffix
        // As a splice, an empty line at the change is one after it, never before.
        if (line > lastRaw && at >= old.size() - suffix && (moved == 0 || isBreak(text[moved - 1]))) {
          kept.emplace_back(line - count_, std::move(e->asRead));
        } else if (line < firstRaw && textEnd <= prefix &&
                   (r.length > 0 || static_cast<std::int64_t>(at) < span.Start) &&
                   (textEnd == text.size() || isBreak(text[textEnd]))) {
          kept.emplace_back(line, std::move(e->asRead));
        } else {
          removed.emplace_back(line, std::move(*e->asRead));
          e->asRead.reset();
        }
      }
      at = textEnd + 2;
      ++line;
    }
}

void TAdvLines::SetAsRead(int line, TLineAsRead asRead) {
  CheckIndex(line);
  Extra& e = EnsureExtra(Rec(line));
  if (!e.asRead) ++asReadLines_;
  e.asRead = std::make_unique<TLineAsRead>(std::move(asRead));
}

const TLineAsRead* TAdvLines::AsRead(int line) const {
  if (line < 0 || line >= count_) return nullptr;
  const Extra* e = ExtraOf(Rec(line));
  return e ? e->asRead.get() : nullptr;
}

void TAdvLines::DropAsRead(int line) {
  CheckIndex(line);
  Record& r = Rec(line);
  Extra* e = ExtraOf(r);
  if (!e || !e->asRead) return;
  e->asRead.reset();
  --asReadLines_;
  ReleaseIfUnused(r);
}

void TAdvLines::DropAsRead() {
  if (asReadLines_ > 0) {
    for (Block& b : blocks_)
      for (Record& r : b.lines)
        if (Extra* e = ExtraOf(r); e && e->asRead) {
          e->asRead.reset();
          ReleaseIfUnused(r);
        }
  }
  asReadLines_ = 0;
}

// ---------------------------------------------------------------- chunks

std::string_view TAdvLines::AddChunk(std::string&& bytes) {
  chunkBytes_ += static_cast<std::int64_t>(bytes.size());
  chunks_.push_back(std::make_unique<TTextBuffer>(std::move(bytes)));
  return chunks_.back()->View();
}

std::string_view TAdvLines::AddChunk(TTextBuffer&& bytes) {
  chunkBytes_ += static_cast<std::int64_t>(bytes.Size());
  chunks_.push_back(std::make_unique<TTextBuffer>(std::move(bytes)));
  return chunks_.back()->View();
}

char* TAdvLines::MainRoom(std::size_t size) {
  // Offsets in the main chunk are 32-bit.
  if (!mainChunk_ || mainChunk_->Room() < size || mainChunk_->Size() + size > UINT32_MAX) return nullptr;
  return mainChunk_->Data() + mainChunk_->Size();
}

std::string_view TAdvLines::TakeMainRoom(std::size_t size) {
  const std::string_view taken(mainChunk_->Data() + mainChunk_->Size(), size);
  lastRegion_ = {mainSize_, mainSize_ + static_cast<std::ptrdiff_t>(size), 0};
  mainChunk_->Grow(size);
  mainSize_ = static_cast<std::ptrdiff_t>(mainChunk_->Size());
  chunkBytes_ += static_cast<std::int64_t>(size);
  return taken;
}

void TAdvLines::GiveBackLastRegion() {
  if (lastRegion_.lines > 0 || lastRegion_.to != mainSize_ || lastRegion_.to == lastRegion_.from) return;
  chunkBytes_ -= lastRegion_.to - lastRegion_.from;
  mainChunk_->Shrink(static_cast<std::size_t>(lastRegion_.from));
  mainSize_ = lastRegion_.from;
  lastRegion_ = {};
}

void TAdvLines::MaybeCompact() {
  if (chunkBytes_ - borrowedBytes_ <= std::max<std::int64_t>(kCompactSlack, borrowedBytes_)) return;
  // Copy every borrowed line into one new chunk and free the old ones.
  const auto bytes = static_cast<std::size_t>(borrowedBytes_);
  auto fresh = std::make_unique<TTextBuffer>(bytes, TextRoom(bytes));
  char* out = fresh->Data();
  // The new chunk becomes the main one: its lines are offsets again.
  const char* oldBase = base_;
  base_ = fresh->Data();
  mainSize_ = static_cast<std::ptrdiff_t>(fresh->Size());
  for (Block& b : blocks_) {
    for (Record& r : b.lines) {
      Extra* e = ExtraOf(r);
      if (e && e->owned) continue;
      const char* from = r.far ? far_[r.at].data : oldBase + r.at;
      if (r.length) std::memcpy(out, from, r.length);
      SetData(r, out);
      out += r.length;
    }
  }
  chunks_.clear();
  chunkBytes_ = static_cast<std::int64_t>(fresh->Size());
  mainChunk_ = fresh.get();
  lastRegion_ = {};
  chunks_.push_back(std::move(fresh));
}

// ---------------------------------------------------------------- splitting

void TAdvLines::Splitter::Flush() {
  if (pending == 0) return;
  if (area && start > begin && end > start) {
    // As many records again as the bytes still to come held so far.
    const double more = static_cast<double>(lineCount) * sizeof(Record) * static_cast<double>(end - start) /
                        static_cast<double>(start - begin);
    area->Expect(static_cast<std::size_t>(std::min(more, 1e15)));
  }
  Block& b = out.emplace_back();
  b.lines = RecordVector(TAreaAllocator<Record>(area));
  b.lines.reserve(kBlockTarget);
  b.lines.assign(block, block + pending);
  b.chars = pendingChars;
  b.rows = pendingRows;
  if (pendingToCut) blocksToCut.push_back(static_cast<std::uint32_t>(out.size() - 1));
  pending = 0;
  pendingChars = pendingRows = 0;
  pendingToCut = false;
}

void TAdvLines::Splitter::CutLong(std::size_t from, std::size_t length) {
  // Cut while its bytes are in the cache; a byte above 0x7F may be part of
  // a character of several: the store cuts it once it knows the encoding.
  const std::string_view text(base + from, length);
  if (utf8::FindNonAscii(text, 0) < length) {
    pendingToCut = true;
    return;
  }
  const auto first = static_cast<std::uint32_t>(rowStarts.size());
  const std::uint32_t rows = WrapBytes(text, std::max<std::uint32_t>(wrapAt, 1), false, &rowStarts);
  if (rows > 1) {
    longLines.push_back({lineCount, first});
    pendingRows += rows - 1;
  }
}

inline void TAdvLines::Splitter::Emit(std::size_t from, std::size_t to) {
  const std::size_t length = to - from;
  block[pending++] = MainRecord(static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(length));
  pendingChars += static_cast<std::int64_t>(length) + 2;
  ++pendingRows;
  longest = std::max(longest, length);
  if (length > wrapAt) [[unlikely]]
    CutLong(from, length);
  ++lineCount;
  if (pending == kBlockTarget) [[unlikely]]
    Flush();
}

void TAdvLines::Splitter::Feed(std::size_t from, std::size_t to) {
  const char* p = base;
  auto highIn = [p](std::size_t a, std::size_t b) {
    return utf8::FindNonAscii(std::string_view(p + a, b - a), 0) < b - a;
  };
  if (stopped) {
    high = high || highIn(from, to);
    return;
  }
  // A TAB ends the split (a text with TABs is split again once they are
  // expanded), and so does the other part's TAB; the bytes above 0x7F are
  // still looked for.
  auto stop = [&](std::size_t at) {
    finds->tab = true;
    stopped = true;
    high = high || highIn(at, to);
  };
  // Every CR and LF ends a line, except an LF right after a CR: the CR
  // already ended it. The breaks of 64 bytes are found at once.
  std::size_t pos = from;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i tab = _mm_set1_epi8('\t');
  __m128i highBits = _mm_setzero_si128();
  for (; pos + 64 <= to; pos += 64) {
    std::uint64_t crs = 0, lfs = 0;
    __m128i tabs = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos + 16 * k));
      crs |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, cr)))} << (16 * k);
      lfs |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, lf)))} << (16 * k);
      tabs = _mm_or_si128(tabs, _mm_cmpeq_epi8(c, tab));
      highBits = _mm_or_si128(highBits, c);
    }
    if (finds->stopAtTab && (_mm_movemask_epi8(tabs) != 0 ||
                             (pos % (std::size_t{1} << 16) == 0 && finds->tab.load(std::memory_order_relaxed)))) {
      high = high || _mm_movemask_epi8(highBits) != 0;
      stop(pos);
      return;
    }
    // The LFs that follow a CR (the one before these 64 bytes included).
    const std::uint64_t skipped = lfs & (crs << 1 | std::uint64_t{afterCR});
    std::uint64_t breaks = (crs | lfs) & ~skipped;
    if (skipped & 1) start = pos + 1;
    for (; breaks != 0; breaks &= breaks - 1) {
      const auto bit = static_cast<unsigned>(__builtin_ctzll(breaks));
      Emit(start, pos + bit);
      start = pos + bit + 1 + ((skipped >> bit >> 1) & 1);
    }
    afterCR = (crs >> 63) != 0;
  }
  high = high || _mm_movemask_epi8(highBits) != 0;
#endif
  for (; pos < to; ++pos) {
    const char c = p[pos];
    if (c == '\r' || c == '\n') {
      if (c == '\r' || !afterCR) Emit(start, pos);
      start = pos + 1;
    } else if (c == '\t' && finds->stopAtTab) {
      stop(pos);
      return;
    }
    afterCR = c == '\r';
    high = high || static_cast<unsigned char>(c) > 0x7F;
  }
}

void TAdvLines::Splitter::Finish(std::size_t end) {
  if (!stopped && start < end) Emit(start, end);
  if (!stopped) Flush();
  start = end;
  if (high) finds->high = true;
}

std::uint32_t TAdvLines::WrapAt() const {
  return Wrapping() ? static_cast<std::uint32_t>(std::max(0, Editor->GetWrapColumn())) : UINT32_MAX;
}

std::vector<TAdvLines::Block> TAdvLines::JoinSplit(Splitter* parts, int count, SplitFinds& finds) {
  std::vector<Block> out;
  if (finds.tab) return out;
  std::size_t blocks = 0, longest = 0;
  for (int k = 0; k < count; ++k) {
    blocks += parts[k].out.size();
    longest = std::max(longest, parts[k].longest);
    if (parts[k].area) parts[k].area->Close();
  }
  out = std::move(parts[0].out);
  if (count > 1) {
    // With room for the blocks later pastes add: a list of blocks that
    // outgrows its memory moves into fresh pages, all of it.
    if (out.capacity() < blocks + blocks / 8) out.reserve(blocks + blocks / 8);
    for (int k = 1; k < count; ++k)
      out.insert(out.end(), std::make_move_iterator(parts[k].out.begin()), std::make_move_iterator(parts[k].out.end()));
  }
  longestEntered_ = std::max(longestEntered_, static_cast<int>(std::min<std::size_t>(longest, INT32_MAX)));
  // Only lines longer than the wrap column may need rows; a UTF-8 line
  // longer than w bytes may still fit in w columns: only a line cut into
  // rows gets a side record for them. A part's blocks are full but its last.
  std::vector<std::uint32_t> starts;
  std::size_t firstBlock = 0;
  for (int k = 0; k < count; ++k) {
    const Splitter& part = parts[k];
    const std::size_t n = part.longLines.size();
    auto recordOf = [&](std::uint32_t line) -> Record& {
      return out[firstBlock + line / kBlockTarget].lines[line % kBlockTarget];
    };
    for (std::size_t i = 0; i < n; ++i) {
      // The records lie far apart: the next ones are asked for ahead.
      if (i + 8 < n) __builtin_prefetch(&recordOf(part.longLines[i + 8].line), 1);
      const auto [line, first] = part.longLines[i];
      Record& r = recordOf(line);
      const std::size_t end = i + 1 < n ? part.longLines[i + 1].firstStart : part.rowStarts.size();
      MakeFar(r);
      far_[r.at].rowStarts.assign(part.rowStarts.begin() + first, part.rowStarts.begin() + end);
    }
    // The lines left to the store: their rows as the encoding cuts them.
    for (const std::uint32_t block : part.blocksToCut) {
      Block& b = out[firstBlock + block];
      for (Record& r : b.lines) {
        if (r.length <= part.wrapAt || (r.far && !far_[r.at].rowStarts.empty())) continue;
        const std::uint32_t rows = Wrap(View(r), &starts);
        if (rows <= 1) continue;
        MakeFar(r);
        far_[r.at].rowStarts.swap(starts);
        b.rows += rows - 1;
      }
    }
    firstBlock += (part.lineCount + kBlockTarget - 1) / kBlockTarget;
  }
  for (int k = 0; k < count; ++k) {
    std::vector<Splitter::LongLine>().swap(parts[k].longLines);
    std::vector<std::uint32_t>().swap(parts[k].rowStarts);
    std::vector<std::uint32_t>().swap(parts[k].blocksToCut);
  }
  return out;
}

std::vector<TAdvLines::Block> TAdvLines::SplitIntoBlocks(std::string_view text, bool owned, SplitFinds* found) {
  std::vector<Block> out;
  if (!owned) {
    SplitFinds own;
    SplitFinds& finds = found ? *found : own;
    // Lines of the main chunk are offsets into it; those of any other text
    // are offsets from its start first, and far lines in the end.
    const bool inMain = InMain(text.data()) && InMain(text.data() + text.size());
    const char* base = inMain ? base_ : text.data();
    const std::size_t from = static_cast<std::size_t>(text.data() - base), to = from + text.size();
    // A large text is split in two halves at a line break, the second on the
    // other core; the records are the same as from one pass.
    std::size_t middle = text.size() >= kParallelSplit ? FindLineBreak(text, text.size() / 2) : text.size();
    if (middle < text.size())
      middle += text[middle] == '\r' && middle + 1 < text.size() && text[middle + 1] == '\n' ? 2 : 1;
    middle += from;
    // The records of a large text are written to areas of their own, one
    // for each core.
    std::shared_ptr<TRecordArea> area, areaSecond;
    if (text.size() >= kAreaSplit) {
      const std::size_t piece = std::clamp<std::size_t>(text.size() / 2, kAreaSplit, std::size_t{64} << 20);
      area = std::make_shared<TRecordArea>(piece);
      if (middle < to) areaSecond = std::make_shared<TRecordArea>(piece);
    }
    Splitter parts[2] = {{base, area, &finds, WrapAt()}, {base, areaSecond, &finds, WrapAt()}};
    parts[0].StartAt(from, false);
    parts[1].StartAt(middle, false);
    parts[0].end = middle;
    parts[1].end = to;
    std::thread other;
    auto second = [&] {
      parts[1].Feed(middle, to);
      parts[1].Finish(to);
    };
    if (middle < to) other = std::thread(second);
    parts[0].Feed(from, middle);
    parts[0].Finish(middle);
    if (other.joinable()) other.join();
    if (!inMain && !finds.tab)
      for (Splitter& part : parts)
        for (Block& b : part.out)
          for (Record& r : b.lines) {
            const char* data = base + r.at;
            MakeFar(r);
            far_[r.at].data = data;
          }
    return JoinSplit(parts, middle < to ? 2 : 1, finds);
  }
  std::size_t longest = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (out.empty() || out.back().lines.size() == kBlockTarget) {
      out.emplace_back();
      out.back().lines.reserve(std::min<std::size_t>(kBlockTarget, text.size() / 16 + 1));
    }
    Record r;
    r.length = static_cast<std::uint32_t>(line.size());
    Extra& e = EnsureExtra(r);
    e.text.assign(line);
    e.owned = true;
    far_[r.at].data = e.text.data();
    longest = std::max(longest, line.size());
    out.back().lines.push_back(r);
  });
  for (Block& b : out) SumBlock(b);
  longestEntered_ = std::max(longestEntered_, static_cast<int>(std::min<std::size_t>(longest, INT32_MAX)));
  if (Wrapping() && longest > static_cast<std::size_t>(Editor->GetWrapColumn())) {
    const auto w = static_cast<std::uint32_t>(Editor->GetWrapColumn());
    std::vector<std::uint32_t> starts;
    for (Block& b : out) {
      for (Record& r : b.lines) {
        if (r.length <= w) continue;
        const std::uint32_t rows = Wrap(View(r), &starts);
        if (rows <= 1) continue;
        MakeFar(r);
        far_[r.at].rowStarts.swap(starts);
        b.rows += rows - 1;
      }
    }
  }
  return out;
}

// ---------------------------------------------------------------- split while read

// The lines of a file found while it is read in two parts: the first part's
// lines run up to the first line break at or after the middle, where the
// second part's first line begins. The bytes the second part reads before
// that break are split by the first part at the end.
class TAdvLines::LoadSplit final : public TReadPieces {
 public:
  explicit LoadSplit(std::uint32_t wrapAt) : wrapAt_(wrapAt) { finds_.stopAtTab = true; }
  std::size_t From() const override { return kParallelSplit; }
  void Start(const char* data, std::size_t size, std::size_t second) override {
    data_ = data;
    size_ = size;
    second_ = middle_ = second;
    seeking_ = true;
    const std::size_t piece = std::clamp<std::size_t>(size / 2, kAreaSplit, std::size_t{64} << 20);
    for (Splitter& part : parts_) part = Splitter(data, std::make_shared<TRecordArea>(piece), &finds_, wrapAt_);
    parts_[0].end = second;
    parts_[1].end = size;
  }
  void Piece(int part, std::size_t from, std::size_t to) override {
    if (part == 0) {
      parts_[0].Feed(from, to);
      return;
    }
    if (seeking_) {
      const std::size_t at = FindLineBreak(std::string_view(data_, to), from);
      if (at >= to) return;
      middle_ = at + 1;
      seeking_ = false;
      parts_[1].StartAt(middle_, data_[at] == '\r');
      from = middle_;
    }
    parts_[1].Feed(from, to);
  }
  bool Finish() override {
    if (seeking_) middle_ = size_;
    parts_[0].Feed(second_, middle_);
    parts_[0].Finish(middle_);
    parts_[1].StartAt(std::max(middle_, size_), false);
    parts_[1].Finish(size_);
    done_ = true;
    return !parts_[0].high && !parts_[1].high;
  }
  void Drop() override {
    for (Splitter& part : parts_) part = Splitter();
    finds_.tab = false;
    finds_.high = false;
  }
  // Whether these are the lines of `text`, cut for `wrapAt`.
  bool Of(std::string_view text, std::uint32_t wrapAt) const {
    return done_ && text.data() == data_ && text.size() == size_ && wrapAt == wrapAt_;
  }
  bool Done() const { return done_; }
  Splitter* Parts() { return parts_; }
  SplitFinds& Finds() { return finds_; }

 private:
  const std::uint32_t wrapAt_;
  SplitFinds finds_;
  Splitter parts_[2];
  const char* data_ = nullptr;
  std::size_t size_ = 0, second_ = 0, middle_ = 0;
  bool seeking_ = true;  // the second part's first break is still to be found
  bool done_ = false;
};

bool TAdvLines::TakeLoadSplit(LoadSplit* split, std::string_view text, std::vector<Block>& out, SplitFinds& finds) {
  if (!split || !split->Of(text, WrapAt())) return false;
  out = JoinSplit(split->Parts(), 2, split->Finds());
  finds.tab = split->Finds().tab.load();
  finds.high = split->Finds().high.load();
  return true;
}

TAdvLines::TReadText::TReadText() = default;
TAdvLines::TReadText::TReadText(TReadText&&) noexcept = default;
TAdvLines::TReadText& TAdvLines::TReadText::operator=(TReadText&&) noexcept = default;
TAdvLines::TReadText::~TReadText() = default;
bool TAdvLines::TReadText::LinesFound() const { return split_ && split_->Done(); }

TAdvLines::TReadText TAdvLines::ReadText(const std::string& fileName, bool* ascii, struct stat* opened) const {
  TReadText read;
  read.split_ = std::make_unique<LoadSplit>(WrapAt());
  read.Bytes = ReadFileBuffer(fileName, ascii, true, read.split_.get(), opened);
  return read;
}

std::vector<TAdvLines::Block> TAdvLines::OneLine(std::string_view text) {
  std::vector<Block> out(1);
  Record r;
  if (!text.empty()) {
    r.length = 0;
    SetRecordText(r, text);
    // SetRecordText counted the line as taken from the store; the splice counts it again.
    if (RawOf(r)) --rawLines_;
  }
  Rewrap(r);
  out.front().lines.push_back(r);
  SumBlock(out.front());
  longestEntered_ = std::max(longestEntered_, static_cast<int>(std::min<std::size_t>(text.size(), INT32_MAX)));
  return out;
}

// ---------------------------------------------------------------- colour records

TParagraph TAdvLines::Paragraph(int line) const {
  TParagraph p;
  if (line < 0 || line >= count_) return p;
  const Record& r = Rec(line);
  p.Dirty = Dirty(line);
  p.FirstRow = FirstRow(line);
  p.RowCount = RowsOf(r);
  for (int k = 0; k < p.RowCount; ++k) p.Rows.emplace_back(RowText(r, k));
  if (Extra* e = ExtraOf(r)) p.Attrs = e->attrs;
  return p;
}

bool TAdvLines::Dirty(int line) const {
  if (line < 0 || line >= count_) return false;
  const Record& r = Rec(line);
  Extra* e = ExtraOf(r);
  return !e || e->clean != generation_ || e->attrs.empty();
}

void TAdvLines::SetDirty(int line, bool dirty) {
  CheckIndex(line);
  EnsureExtra(Rec(line)).clean = dirty ? 0 : generation_;
}

void TAdvLines::MarkAllDirty() {
  if (++generation_ == 0) {
    for (Block& b : blocks_)
      for (Record& r : b.lines)
        if (Extra* e = ExtraOf(r)) e->clean = 0;
    generation_ = 1;
  }
}

TColourKey TAdvLines::ColourKey(int line) const {
  if (line < 0 || line >= count_) return {};
  const Extra* e = ExtraOf(Rec(line));
  return e ? e->colourKey : TColourKey{};
}

void TAdvLines::SetColourKey(int line, const TColourKey& key) {
  CheckIndex(line);
  EnsureExtra(Rec(line)).colourKey = key;
}

TLineAttrs& TAdvLines::Attrs(int line) {
  CheckIndex(line);
  Record& r = Rec(line);
  Extra& e = EnsureExtra(r);
  if (e.attrSerial == 0) {
    e.attrSerial = nextSerial_++;
    attrQueue_.emplace_back(ExtraIndex(r), e.attrSerial);
    ++attrHolders_;
    // Drop the colours of the lines prepared longest ago.
    while (attrHolders_ > kMaxAttrLines && attrQueueHead_ < attrQueue_.size()) {
      auto [index, serial] = attrQueue_[attrQueueHead_++];
      Extra* old = extras_[index - 1].get();
      if (old && old->attrSerial == serial && old != &e) {
        TLineAttrs().swap(old->attrs);
        old->attrSerial = 0;
        --attrHolders_;
        ++idleExtras_;
      }
    }
    // Side records left holding nothing are detached from their lines now and then.
    if (idleExtras_ > kMaxAttrLines) {
      for (Block& b : blocks_)
        for (Record& rec : b.lines)
          if (&rec != &r) ReleaseIfUnused(rec);
      idleExtras_ = 0;
    }
    if (attrQueueHead_ > attrQueue_.size() / 2) {
      attrQueue_.erase(attrQueue_.begin(), attrQueue_.begin() + static_cast<std::ptrdiff_t>(attrQueueHead_));
      attrQueueHead_ = 0;
    }
  }
  return e.attrs;
}
