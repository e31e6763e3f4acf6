// TAdvLines: the storage of the records. Blocks of line records with prefix
// sums over them, the side records, the chunks that loaded and inserted text
// lives in, the one splice every change goes through, and the colour records.

#include <algorithm>
#include <cstring>
#include <thread>

#include "editor/AdvLines.h"
#include "editor/LargeBuffer.h"
#include "editor/TextScan.h"

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

void TAdvLines::SplitBorrowed(std::string_view text, const char* base, const std::shared_ptr<TRecordArea>& area,
                              std::vector<Block>& out, std::size_t& longest, SplitFinds& finds) {
  Block* b = nullptr;
  std::size_t most = longest;
  auto emit = [&](std::size_t from, std::size_t to) {
    if (!b || b->lines.size() == kBlockTarget) {
      b = &out.emplace_back();
      b->lines = RecordVector(TAreaAllocator<Record>(area));
      b->lines.reserve(kBlockTarget);
    }
    const std::size_t length = to - from;
    b->lines.push_back(
        MainRecord(static_cast<std::uint32_t>(text.data() + from - base), static_cast<std::uint32_t>(length)));
    b->chars += static_cast<std::int64_t>(length) + 2;
    ++b->rows;
    most = std::max(most, length);
  };
  // Every CR and LF ends a line, except an LF right after a CR: the CR
  // already ended it. The breaks of 64 bytes are found at once.
  const char* p = text.data();
  const std::size_t n = text.size();
  std::size_t start = 0;
  auto atBreak = [&](std::size_t at) {
    if (p[at] == '\n' && at > 0 && p[at - 1] == '\r') {
      start = at + 1;
      return;
    }
    emit(start, at);
    start = at + 1;
  };
  // The same pass looks for bytes above 0x7F, and for a TAB, which ends it:
  // a text with TABs is split again once they are expanded. The other half's
  // TAB ends it too.
  std::size_t pos = 0;
  bool high = false;
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i tab = _mm_set1_epi8('\t');
  __m128i highBits = _mm_setzero_si128();
  for (; pos + 64 <= n; pos += 64) {
    std::uint64_t mask = 0;
    __m128i tabs = _mm_setzero_si128();
    for (int k = 0; k < 4; ++k) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos + 16 * k));
      const auto bits =
          static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(c, cr), _mm_cmpeq_epi8(c, lf))));
      mask |= std::uint64_t{bits} << (16 * k);
      tabs = _mm_or_si128(tabs, _mm_cmpeq_epi8(c, tab));
      highBits = _mm_or_si128(highBits, c);
    }
    if (finds.stopAtTab && (_mm_movemask_epi8(tabs) != 0 ||
                            (pos % (std::size_t{1} << 16) == 0 && finds.tab.load(std::memory_order_relaxed)))) {
      finds.tab = true;
      return;
    }
    for (; mask != 0; mask &= mask - 1) atBreak(pos + static_cast<std::size_t>(__builtin_ctzll(mask)));
  }
  high = _mm_movemask_epi8(highBits) != 0;
#endif
  for (; pos < n; ++pos) {
    if (p[pos] == '\r' || p[pos] == '\n') atBreak(pos);
    if (p[pos] == '\t' && finds.stopAtTab) {
      finds.tab = true;
      return;
    }
    high |= static_cast<unsigned char>(p[pos]) > 0x7F;
  }
  if (start < n) emit(start, n);
  longest = most;
  if (high) finds.high = true;
}

std::vector<TAdvLines::Block> TAdvLines::SplitIntoBlocks(std::string_view text, bool owned, SplitFinds* found) {
  std::vector<Block> out;
  std::size_t longest = 0;
  if (!owned) {
    SplitFinds own;
    SplitFinds& finds = found ? *found : own;
    // Lines of the main chunk are offsets into it; those of any other text
    // are offsets from its start first, and far lines in the end.
    const bool inMain = InMain(text.data()) && InMain(text.data() + text.size());
    const char* base = inMain ? base_ : text.data();
    // A large text is split in two halves at a line break, the second on the
    // other core; the records are the same as from one pass.
    std::size_t middle = text.size() >= kParallelSplit ? FindLineBreak(text, text.size() / 2) : text.size();
    if (middle < text.size())
      middle += text[middle] == '\r' && middle + 1 < text.size() && text[middle + 1] == '\n' ? 2 : 1;
    // The records of a large text are written to areas of their own, one
    // for each core.
    std::shared_ptr<TRecordArea> area, areaSecond;
    if (text.size() >= kAreaSplit) {
      const std::size_t piece = std::clamp<std::size_t>(text.size() / 2, kAreaSplit, std::size_t{64} << 20);
      area = std::make_shared<TRecordArea>(piece);
      if (middle < text.size()) areaSecond = std::make_shared<TRecordArea>(piece);
    }
    std::vector<Block> second;
    std::size_t longestSecond = 0;
    std::thread other;
    if (middle < text.size())
      other = std::thread([&] { SplitBorrowed(text.substr(middle), base, areaSecond, second, longestSecond, finds); });
    SplitBorrowed(text.substr(0, middle), base, area, out, longest, finds);
    if (area) area->Close();
    if (other.joinable()) {
      other.join();
      if (areaSecond) areaSecond->Close();
      // With room for the blocks later pastes add: a list of blocks that
      // outgrows its memory moves into fresh pages, all of it.
      const std::size_t blocks = out.size() + second.size();
      if (out.capacity() < blocks + blocks / 8) out.reserve(blocks + blocks / 8);
      out.insert(out.end(), std::make_move_iterator(second.begin()), std::make_move_iterator(second.end()));
      longest = std::max(longest, longestSecond);
    }
    if (finds.tab) return {};
    if (!inMain)
      for (Block& b : out)
        for (Record& r : b.lines) {
          const char* data = base + r.at;
          MakeFar(r);
          far_[r.at].data = data;
        }
  } else {
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
  }
  longestEntered_ = std::max(longestEntered_, static_cast<int>(std::min<std::size_t>(longest, INT32_MAX)));
  if (Wrapping() && longest > static_cast<std::size_t>(Editor->GetWrapColumn())) {
    const auto w = static_cast<std::uint32_t>(Editor->GetWrapColumn());
    // A UTF-8 line longer than w bytes may still fit in w columns: only a
    // line cut into rows gets a side record for them.
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
