#include "editor/AdvLines.h"

#include <algorithm>
#include <cstring>

#include "editor/FileIO.h"
#include "editor/TextScan.h"

namespace {

constexpr std::size_t kBlockTarget = 256;  // lines per block when blocks are built
constexpr std::size_t kBlockMax = 512;     // a block this full is split in two
constexpr std::size_t kBlockMergeBelow = 64;
constexpr std::size_t kMaxAttrLines = 16384;     // lines that keep their colour records
constexpr std::size_t kSmallRegion = 256;        // edited text this short is owned per line
constexpr std::int64_t kCompactSlack = 64 << 20;  // unused chunk bytes tolerated

bool HasRawChars(std::string_view s) {
  return s.find_first_of("\t\r\n") != std::string_view::npos;
}

// Keeps the owner's update counter raised for a scope.
class OwnerUpdateGuard {
 public:
  explicit OwnerUpdateGuard(TAdvLinesOwner* owner) : owner_(owner) {
    if (owner_) ++owner_->UpdateCounter();
  }
  ~OwnerUpdateGuard() {
    if (owner_) --owner_->UpdateCounter();
  }
  OwnerUpdateGuard(const OwnerUpdateGuard&) = delete;
  OwnerUpdateGuard& operator=(const OwnerUpdateGuard&) = delete;

 private:
  TAdvLinesOwner* owner_;
};

}  // namespace

// ---------------------------------------------------------------- helpers

struct TAdvLines::Extra {
  std::string text;  // the line's bytes when it owns them
  bool owned = false;
  std::vector<std::uint32_t> rowStarts;  // start of rows 1.. of a wrapped line
  TLineAttrs attrs;
  std::uint64_t attrSerial = 0;  // its entry in the attribute queue, 0 = none
  bool Unused() const { return !owned && rowStarts.empty() && attrs.empty(); }
};

// Prefix sums over the blocks with point updates.
class TAdvLines::Fenwick {
 public:
  void Build(const std::vector<std::int64_t>& values) {
    tree_.assign(values.size() + 1, 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
      tree_[i + 1] += values[i];
      std::size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
      if (parent < tree_.size()) tree_[parent] += tree_[i + 1];
    }
  }
  void Add(std::size_t i, std::int64_t delta) {
    for (++i; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
  }
  // Sum of the values before index i.
  std::int64_t Prefix(std::size_t i) const {
    std::int64_t s = 0;
    for (; i > 0; i -= i & (~i + 1)) s += tree_[i];
    return s;
  }
  // The index whose range holds position `target` (0-based), and the sum before it.
  // Returns the number of values when the target lies beyond all of them.
  std::size_t Find(std::int64_t target, std::int64_t& before) const {
    std::size_t pos = 0;
    std::size_t step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    before = 0;
    for (; step > 0; step /= 2) {
      std::size_t next = pos + step;
      if (next < tree_.size() && before + tree_[next] <= target) {
        pos = next;
        before += tree_[next];
      }
    }
    return pos;
  }

 private:
  std::vector<std::int64_t> tree_{0};
};

// ---------------------------------------------------------------- life

TAdvLines::TAdvLines(TAdvLinesOwner* editor)
    : Editor(editor),
      lineTree_(std::make_unique<Fenwick>()),
      charTree_(std::make_unique<Fenwick>()),
      rowTree_(std::make_unique<Fenwick>()) {}

TAdvLines::~TAdvLines() = default;

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
  std::size_t b = lineTree_->Find(line, before);
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

TAdvLines::Extra* TAdvLines::ExtraOf(const Record& r) const {
  return r.extra ? extras_[r.extra - 1].get() : nullptr;
}

TAdvLines::Extra& TAdvLines::EnsureExtra(Record& r) {
  if (r.extra) return *extras_[r.extra - 1];
  if (!freeExtras_.empty()) {
    r.extra = freeExtras_.back();
    freeExtras_.pop_back();
    extras_[r.extra - 1] = std::make_unique<Extra>();
  } else {
    extras_.push_back(std::make_unique<Extra>());
    r.extra = static_cast<std::uint32_t>(extras_.size());
  }
  return *extras_[r.extra - 1];
}

void TAdvLines::ReleaseExtra(Record& r) {
  if (!r.extra) return;
  Extra& e = *extras_[r.extra - 1];
  if (e.attrSerial != 0) --attrHolders_;
  extras_[r.extra - 1].reset();
  freeExtras_.push_back(r.extra);
  r.extra = 0;
}

void TAdvLines::ReleaseIfUnused(Record& r) {
  if (Extra* e = ExtraOf(r); e && e->Unused()) ReleaseExtra(r);
}

void TAdvLines::SetRecordText(Record& r, std::string_view text) {
  Extra* e = ExtraOf(r);
  if (!e || !e->owned) borrowedBytes_ -= r.length;
  if (r.raw) --rawLines_;
  Extra& x = EnsureExtra(r);
  x.text.assign(text.data(), text.size());
  x.owned = true;
  r.data = x.text.data();
  r.length = static_cast<std::uint32_t>(text.size());
  r.raw = HasRawChars(text) ? 1 : 0;
  if (r.raw) ++rawLines_;
}

void TAdvLines::DropAttrs(Record& r) {
  Extra* e = ExtraOf(r);
  if (!e || e->attrSerial == 0) return;
  TLineAttrs().swap(e->attrs);
  e->attrSerial = 0;
  --attrHolders_;
}

bool TAdvLines::Wrapping() const { return Editor && Editor->GetWordWrap(); }

std::uint32_t TAdvLines::Wrap(std::string_view text, std::vector<std::uint32_t>* starts) const {
  if (starts) starts->clear();
  if (!Wrapping()) return 1;
  const std::size_t w = static_cast<std::size_t>(std::max(1, Editor->GetWrapColumn()));
  std::uint32_t rows = 1;
  std::size_t pos = 0;
  while (text.size() - pos > w) {
    // The row keeps everything up to its last space at position >= 2 among its
    // first w characters; without one it is cut hard after w characters.
    std::size_t next = pos + w;
    for (std::size_t i = pos + w - 1; i > pos; --i) {
      if (text[i] == ' ') {
        next = i + 1;
        break;
      }
    }
    if (starts) starts->push_back(static_cast<std::uint32_t>(next));
    ++rows;
    pos = next;
  }
  return rows;
}

void TAdvLines::Rewrap(Record& r) {
  r.clean = 0;
  DropAttrs(r);
  std::string_view text = View(r);
  if (!Wrapping() || text.size() <= static_cast<std::size_t>(Editor->GetWrapColumn())) {
    if (Extra* e = ExtraOf(r)) std::vector<std::uint32_t>().swap(e->rowStarts);
    r.rows = 1;
  } else {
    r.rows = Wrap(text, &EnsureExtra(r).rowStarts);
  }
  ReleaseIfUnused(r);
}

std::string_view TAdvLines::RowText(const Record& r, int k) const {
  std::string_view text = View(r);
  if (r.rows == 1) return k == 0 ? text : std::string_view();
  if (k < 0 || k >= static_cast<int>(r.rows)) return {};
  const auto& starts = ExtraOf(r)->rowStarts;
  std::size_t s = k == 0 ? 0 : starts[k - 1];
  std::size_t e = k + 1 == static_cast<int>(r.rows) ? text.size() : starts[k];
  return text.substr(s, e - s);
}

// ---------------------------------------------------------------- trees and blocks

void TAdvLines::Block::Sum() {
  chars = rows = 0;
  for (const Record& r : lines) {
    chars += r.length + 2;
    rows += r.rows;
  }
}

void TAdvLines::RebuildTrees() {
  std::vector<std::int64_t> lines(blocks_.size()), chars(blocks_.size()), rows(blocks_.size());
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    lines[b] = static_cast<std::int64_t>(blocks_[b].lines.size());
    chars[b] = blocks_[b].chars;
    rows[b] = blocks_[b].rows;
  }
  lineTree_->Build(lines);
  charTree_->Build(chars);
  rowTree_->Build(rows);
  InvalidateCursor();
}

void TAdvLines::UpdateTrees(std::size_t block, std::int64_t dLines, std::int64_t dChars,
                            std::int64_t dRows) {
  blocks_[block].chars += dChars;
  blocks_[block].rows += dRows;
  if (dLines) lineTree_->Add(block, dLines);
  if (dChars) charTree_->Add(block, dChars);
  if (dRows) rowTree_->Add(block, dRows);
}

void TAdvLines::InsertRecord(int index, Record r) {
  bool firstBlock = blocks_.empty();
  if (firstBlock) blocks_.emplace_back();
  Location loc = index == count_ ? Location{blocks_.size() - 1, blocks_.back().lines.size()} : Locate(index);
  auto& lines = blocks_[loc.block].lines;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.index), r);
  ++count_;
  totalRows_ += r.rows;
  if (lines.size() >= kBlockMax) {
    Block tail;
    tail.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(lines.size() / 2), lines.end());
    lines.resize(lines.size() / 2);
    blocks_[loc.block].Sum();
    tail.Sum();
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(loc.block) + 1, std::move(tail));
    RebuildTrees();
  } else if (firstBlock) {
    blocks_[0].Sum();
    RebuildTrees();
  } else {
    UpdateTrees(loc.block, 1, r.length + 2, r.rows);
    InvalidateCursor();
  }
}

void TAdvLines::SpliceRecords(int first, int deleteCount, std::vector<Block>&& fresh) {
  // Release what the deleted lines held.
  for (int i = 0; i < deleteCount; ++i) {
    Record& r = Rec(first + i);
    Extra* e = ExtraOf(r);
    if (!e || !e->owned) borrowedBytes_ -= r.length;
    if (r.raw) --rawLines_;
    totalRows_ -= r.rows;
    ReleaseExtra(r);
  }
  std::int64_t added = 0;
  for (const Block& b : fresh) {
    for (const Record& r : b.lines) {
      Extra* e = ExtraOf(r);
      if (!e || !e->owned) borrowedBytes_ += r.length;
      if (r.raw) ++rawLines_;
      totalRows_ += r.rows;
    }
    added += static_cast<std::int64_t>(b.lines.size());
  }
  count_ += static_cast<int>(added) - deleteCount;

  // The replaced records run from [sb, si] to before [eb, ei].
  std::size_t sb = 0, si = 0, eb = 0, ei = 0;
  if (blocks_.empty()) {
    blocks_.emplace_back();
  } else {
    int oldCount = count_ - static_cast<int>(added) + deleteCount;
    Location s = first == oldCount ? Location{blocks_.size() - 1, blocks_.back().lines.size()} : Locate(first);
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
  fresh.front().lines.insert(fresh.front().lines.begin(), head.begin(),
                             head.begin() + static_cast<std::ptrdiff_t>(si));
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
  for (Block& b : rebuilt) b.Sum();
  auto from = blocks_.begin() + static_cast<std::ptrdiff_t>(sb);
  auto to = blocks_.begin() + static_cast<std::ptrdiff_t>(eb) + 1;
  if (static_cast<std::size_t>(to - from) == rebuilt.size()) {
    std::move(rebuilt.begin(), rebuilt.end(), from);
  } else {
    blocks_.erase(from, to);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(sb), std::make_move_iterator(rebuilt.begin()),
                   std::make_move_iterator(rebuilt.end()));
  }
  RebuildTrees();
  MaybeCompact();
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

void TAdvLines::MaybeCompact() {
  if (chunkBytes_ - borrowedBytes_ <= std::max<std::int64_t>(kCompactSlack, borrowedBytes_)) return;
  // Copy every borrowed line into one new chunk and free the old ones.
  auto fresh = std::make_unique<TTextBuffer>(static_cast<std::size_t>(borrowedBytes_));
  char* out = fresh->Data();
  for (Block& b : blocks_) {
    for (Record& r : b.lines) {
      Extra* e = ExtraOf(r);
      if (e && e->owned) continue;
      if (r.length) std::memcpy(out, r.data, r.length);
      r.data = out;
      out += r.length;
    }
  }
  chunks_.clear();
  chunkBytes_ = static_cast<std::int64_t>(fresh->Size());
  chunks_.push_back(std::move(fresh));
}

// ---------------------------------------------------------------- splitting

std::vector<TAdvLines::Block> TAdvLines::SplitIntoBlocks(std::string_view text, bool owned) {
  std::vector<Block> out;
  std::size_t longest = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (out.empty() || out.back().lines.size() == kBlockTarget) {
      out.emplace_back();
      out.back().lines.reserve(std::min<std::size_t>(kBlockTarget, text.size() / 16 + 1));
    }
    Record r;
    r.data = line.data();
    r.length = static_cast<std::uint32_t>(line.size());
    if (owned) {
      Extra& e = EnsureExtra(r);
      e.text.assign(line);
      e.owned = true;
      r.data = e.text.data();
    }
    longest = std::max(longest, line.size());
    out.back().lines.push_back(r);
  });
  GrowColumnCapacityFor(longest);
  if (Wrapping()) {
    const auto w = static_cast<std::uint32_t>(Editor->GetWrapColumn());
    for (Block& b : out)
      for (Record& r : b.lines)
        if (r.length > w) r.rows = Wrap(View(r), &EnsureExtra(r).rowStarts);
  }
  return out;
}

void TAdvLines::AssignWholeText(TTextBuffer&& text) {
  // The generic assignment: clear, then add every line, inside the list's update bracket.
  BeginUpdate();
  Clear();
  if (Editor && text.View().find('\t') != std::string_view::npos) text = TTextBuffer(Editor->ExpandTabs(text.View()));
  if (text.Size() > 0) {
    SpliceRecords(0, 0, SplitIntoBlocks(AddChunk(std::move(text)), false));
    while (capacity_ < count_) capacity_ = GrowCapacity(capacity_);
  }
  EndUpdate();
}

// ---------------------------------------------------------------- string list

int TAdvLines::GrowCapacity(int capacity) const {
  return capacity + (capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4);
}

void TAdvLines::GrowColumnCapacityFor(std::size_t length) {
  if (Editor && static_cast<std::int64_t>(length) > Editor->GetColumnCapacity())
    Editor->GrowColumnCapacity(static_cast<int>(length));
}

void TAdvLines::SetCapacity(int capacity) {
  if (capacity < count_) throw EStringListError(capacity);
  capacity_ = capacity;
}

std::string TAdvLines::Get(int index) const { return std::string(LineView(index)); }

std::string_view TAdvLines::LineView(int index) const {
  if (index < 0 || index >= count_) return {};
  return View(Rec(index));
}

int TAdvLines::LineLength(int index) const {
  if (index < 0 || index >= count_) return 0;
  return static_cast<int>(Rec(index).length);
}

void TAdvLines::Put(int index, std::string_view text) {
  CheckIndex(index);
  GrowColumnCapacityFor(text.size());
  Changing();
  Location loc = Locate(index);
  Record& r = blocks_[loc.block].lines[loc.index];
  std::int64_t oldLength = r.length, oldRows = r.rows;
  SetRecordText(r, text);
  Rewrap(r);
  totalRows_ += static_cast<std::int64_t>(r.rows) - oldRows;
  UpdateTrees(loc.block, 0, static_cast<std::int64_t>(r.length) - oldLength,
              static_cast<std::int64_t>(r.rows) - oldRows);
  MaybeCompact();
  Changed();
}

void TAdvLines::InsertOneLine(int index, std::string_view text) {
  Changing();
  if (count_ == capacity_) capacity_ = GrowCapacity(capacity_);
  Record r;
  InsertRecord(index, r);  // an empty row first, as a new record starts
  Location loc = Locate(index);
  Record& rec = blocks_[loc.block].lines[loc.index];
  GrowColumnCapacityFor(text.size());
  if (!text.empty()) SetRecordText(rec, text);
  Rewrap(rec);
  totalRows_ += static_cast<std::int64_t>(rec.rows) - 1;
  UpdateTrees(loc.block, 0, rec.length, static_cast<std::int64_t>(rec.rows) - 1);
  Changed();
}

void TAdvLines::Insert(int index, std::string_view text) {
  if (index < 0 || index > count_) throw EStringListError(index);
  // Every run of CR and LF characters ends one line; the lines are tab-expanded.
  std::size_t pos = 0;
  do {
    std::size_t brk = FindLineBreak(text, pos);
    std::string_view piece = text.substr(pos, brk - pos);
    if (piece.find('\t') != std::string_view::npos && Editor) {
      InsertOneLine(index, Editor->ExpandTabs(piece));
    } else {
      InsertOneLine(index, piece);
    }
    ++index;
    pos = brk;
    while (pos < text.size() && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
  } while (pos < text.size());
}

int TAdvLines::Add(std::string_view text) {
  int first = count_;
  Insert(count_, text);
  return first;
}

void TAdvLines::Delete(int index) {
  CheckIndex(index);
  Changing();
  Location loc = Locate(index);
  auto& lines = blocks_[loc.block].lines;
  Record& r = lines[loc.index];
  Extra* e = ExtraOf(r);
  if (!e || !e->owned) borrowedBytes_ -= r.length;
  if (r.raw) --rawLines_;
  totalRows_ -= r.rows;
  std::int64_t dChars = -static_cast<std::int64_t>(r.length) - 2, dRows = -static_cast<std::int64_t>(r.rows);
  ReleaseExtra(r);
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(loc.index));
  --count_;
  std::size_t b = loc.block;
  bool structural = false;
  if (lines.empty()) {
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
    structural = true;
  } else if (lines.size() < kBlockMergeBelow && b + 1 < blocks_.size() &&
             lines.size() + blocks_[b + 1].lines.size() < kBlockMax) {
    auto& next = blocks_[b + 1].lines;
    lines.insert(lines.end(), next.begin(), next.end());
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1);
    blocks_[b].Sum();
    structural = true;
  }
  if (structural) {
    RebuildTrees();
  } else {
    UpdateTrees(b, -1, dChars, dRows);
    InvalidateCursor();
  }
  MaybeCompact();
  Changed();
}

void TAdvLines::Clear() {
  if (count_ == 0) return;
  Changing();
  blocks_.clear();
  extras_.clear();
  freeExtras_.clear();
  chunks_.clear();
  attrQueue_.clear();
  attrQueueHead_ = 0;
  attrHolders_ = 0;
  idleExtras_ = 0;
  chunkBytes_ = borrowedBytes_ = rawLines_ = 0;
  count_ = 0;
  totalRows_ = 0;
  capacity_ = 0;
  RebuildTrees();
  Changed();
}

void TAdvLines::BeginUpdate() {
  if (listUpdateCount_++ == 0) SetUpdateState(true);
}

void TAdvLines::EndUpdate() {
  if (listUpdateCount_ == 0) return;
  if (--listUpdateCount_ == 0) SetUpdateState(false);
}

void TAdvLines::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

void TAdvLines::Changed() {
  if (Editor && Editor->UpdateCounter() == 0) Editor->LinesChanged();
}

void TAdvLines::SetTextStr(std::string text) { SetTextStr(TTextBuffer(std::move(text))); }

void TAdvLines::SetTextStr(TTextBuffer text) {
  {
    OwnerUpdateGuard guard(Editor);
    AssignWholeText(std::move(text));
  }
  if (Editor && Editor->UpdateCounter() == 0) {
    Editor->ClearUndo();
    Editor->LinesChanged();
    Editor->ResetCaret();
  }
}

void TAdvLines::SetTextQuiet(std::string text) {
  OwnerUpdateGuard guard(Editor);
  AssignWholeText(TTextBuffer(std::move(text)));
}

std::int64_t TAdvLines::TextLength() const { return charTree_->Prefix(blocks_.size()); }

std::string TAdvLines::GetTextStr() const { return TextRange(0, TextLength()); }

std::string TAdvLines::TextRange(std::int64_t offset, std::int64_t length) const {
  std::int64_t total = TextLength();
  offset = std::clamp<std::int64_t>(offset, 0, total);
  length = std::clamp<std::int64_t>(length, 0, total - offset);
  std::string out;
  if (length == 0) return out;
  out.resize(static_cast<std::size_t>(length));
  char* dst = out.data();
  std::int64_t need = length;
  // Find the block and line holding `offset`.
  std::int64_t before = 0;
  std::size_t b = charTree_->Find(offset, before);
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
      for (std::int64_t k = from; k < static_cast<std::int64_t>(r.length) + 2 && need > 0; ) {
        if (k < r.length) {
          std::int64_t n = std::min<std::int64_t>(r.length - k, need);
          std::memcpy(dst, r.data + k, static_cast<std::size_t>(n));
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

void TAdvLines::LoadFromFile(const std::string& fileName) {
  {
    OwnerUpdateGuard guard(Editor);
    SetTextStr(ReadFileBuffer(fileName));
  }
  Changed();
}

void TAdvLines::SaveToFile(const std::string& fileName) const {
  WriteFileSafely(fileName, [this](TFileWriter& out) {
    for (const Block& b : blocks_) {
      for (const Record& r : b.lines) {
        out.Write(View(r));
        out.Write("\r\n");
      }
    }
  });
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
    std::size_t b = rowTree_->Find(row, before);
    std::int64_t firstLine = lineTree_->Prefix(b);
    const auto& lines = blocks_[b].lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (row < before + lines[i].rows) {
        line = static_cast<int>(firstLine + static_cast<std::int64_t>(i));
        rowInLine = static_cast<int>(row - before);
        return;
      }
      before += lines[i].rows;
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
  offset = k == 0 ? 0 : static_cast<int>(ExtraOf(r)->rowStarts[k - 1]);
}

void TAdvLines::RowToLine(int column, int row, int& lineColumn, int& line) const {
  if (row < 0 || row >= totalRows_) throw EStringListError(row);
  int k;
  RowToParagraph(row, line, k);
  if (line < 0) throw EStringListError(row);
  const Record& r = Rec(line);
  lineColumn = column + (k == 0 ? 0 : static_cast<int>(ExtraOf(r)->rowStarts[k - 1]));
}

void TAdvLines::LineToRow(int line, int lineColumn, int& row, int& rowColumn) const {
  row = rowColumn = 0;
  if (count_ == 0) return;
  line = std::max(line, 0);
  if (line >= count_) {
    row = static_cast<int>(totalRows_) - 1;
    rowColumn = static_cast<int>(RowText(Rec(count_ - 1), static_cast<int>(Rec(count_ - 1).rows) - 1).size());
    return;
  }
  int first = FirstRow(line);
  std::int64_t sum = 0;
  for (int l = line; l < count_; ++l) {
    const Record& r = Rec(l);
    for (int k = 0; k < static_cast<int>(r.rows); ++k) {
      std::int64_t len = static_cast<std::int64_t>(RowText(r, k).size());
      if (sum + len >= lineColumn) {
        row = first + k;
        rowColumn = static_cast<int>(lineColumn - sum);
        return;
      }
      sum += len;
    }
    first += static_cast<int>(r.rows);
  }
  // Beyond the text: the end of its last row.
  const Record& last = Rec(count_ - 1);
  row = static_cast<int>(totalRows_) - 1;
  rowColumn = static_cast<int>(RowText(last, static_cast<int>(last.rows) - 1).size());
}

std::int64_t TAdvLines::LineStartOffset(int line) const {
  if (line <= 0) return 0;
  if (line >= count_) return TextLength();
  Location loc = Locate(line);
  std::int64_t s = charTree_->Prefix(loc.block);
  const auto& lines = blocks_[loc.block].lines;
  for (std::size_t i = 0; i < loc.index; ++i) s += lines[i].length + 2;
  return s;
}

int TAdvLines::FirstRow(int line) const {
  if (line <= 0 || count_ == 0) return 0;
  if (line >= count_) return static_cast<int>(totalRows_);
  Location loc = Locate(line);
  std::int64_t s = rowTree_->Prefix(loc.block);
  const auto& lines = blocks_[loc.block].lines;
  for (std::size_t i = 0; i < loc.index; ++i) s += lines[i].rows;
  return static_cast<int>(s);
}

int TAdvLines::RowCount(int line) const {
  if (line < 0 || line >= count_) return 0;
  return static_cast<int>(Rec(line).rows);
}

std::string_view TAdvLines::RowOfLine(int line, int rowInLine) const {
  if (line < 0 || line >= count_) return {};
  return RowText(Rec(line), rowInLine);
}

void TAdvLines::PutRow(int row, std::string_view text) {
  if (!Wrapping()) {
    Put(row, text);
    return;
  }
  if (row < 0 || row >= totalRows_) throw EStringListError(row);
  int line, k;
  RowToParagraph(row, line, k);
  if (line < 0) throw EStringListError(row);
  Changing();
  GrowColumnCapacityFor(text.size());
  const Record& r = Rec(line);
  std::string_view whole = View(r);
  std::string_view before = whole.substr(0, k == 0 ? 0 : ExtraOf(r)->rowStarts[k - 1]);
  std::string_view rowText = RowText(r, k);
  std::string_view after = whole.substr(before.size() + rowText.size());
  std::string joined;
  joined.reserve(before.size() + text.size() + after.size());
  joined.append(before).append(text).append(after);
  {
    OwnerUpdateGuard guard(Editor);
    Put(line, joined);
  }
  Changed();
}

void TAdvLines::PutQuiet(int index, std::string_view text) {
  OwnerUpdateGuard guard(Editor);
  Put(index, text);
}

void TAdvLines::PutRowQuiet(int row, std::string_view text) {
  OwnerUpdateGuard guard(Editor);
  PutRow(row, text);
}

void TAdvLines::RewrapAll() {
  for (Block& b : blocks_) {
    for (Record& r : b.lines) {
      totalRows_ -= r.rows;
      Rewrap(r);
      totalRows_ += r.rows;
    }
    b.Sum();
  }
  RebuildTrees();
  Changed();
}

void TAdvLines::PadToCaret() {
  if (!Editor) return;
  OwnerUpdateGuard guard(Editor);
  platform::Point caret = Editor->GetCaret();
  while (caret.y >= totalRows_) {
    bool wasEmpty = count_ == 0;
    int lastRow = static_cast<int>(totalRows_) - 1;
    int endX = wasEmpty ? 0 : static_cast<int>(RowView(lastRow).size());
    Add("");
    if (!wasEmpty) Editor->RecordReLine(endX, lastRow, "\r\n");
  }
  std::string_view row = RowView(caret.y);
  if (caret.x > static_cast<int>(row.size())) {
    std::string spaces(static_cast<std::size_t>(caret.x) - row.size(), ' ');
    Editor->RecordReLine(static_cast<int>(row.size()), caret.y, spaces);
    std::string padded(row);
    padded += spaces;
    PutRow(caret.y, padded);
  }
}

// ---------------------------------------------------------------- whole-text edits

void TAdvLines::ReplaceText(std::int64_t offset, std::int64_t deleteLength, std::string_view insert) {
  std::int64_t total = TextLength();
  offset = std::clamp<std::int64_t>(offset, 0, total);
  deleteLength = std::clamp<std::int64_t>(deleteLength, 0, total - offset);
  if (!RecordsEqualWholeRebuild()) {
    // Some line holds characters a rebuild would change: rebuild for real.
    std::string text = GetTextStr();
    text.replace(static_cast<std::size_t>(offset), static_cast<std::size_t>(deleteLength), insert);
    SetTextQuiet(std::move(text));
    return;
  }
  OwnerUpdateGuard guard(Editor);
  std::string expanded;
  if (insert.find('\t') != std::string_view::npos && Editor) {
    expanded = Editor->ExpandTabs(insert);
    insert = expanded;
  }
  // The lines touched: from the one holding `offset` to the one holding the
  // last deleted character. Every other line ends in CR LF and splits alone.
  std::int64_t regionStart = 0;
  int first = LineAtOffset(offset, &regionStart);
  std::int64_t end = offset + deleteLength;
  int last = deleteLength > 0 ? LineAtOffset(end - 1, nullptr) : std::min(first, count_ - 1);
  std::int64_t regionEnd = LineStartOffset(last + 1);
  if (last < first) regionEnd = regionStart;
  std::string region = TextRange(regionStart, offset - regionStart);
  region.append(insert);
  region.append(TextRange(end, regionEnd - end));
  // A region that no longer ends in a line break joins the next line.
  while (!region.empty() && region.back() != '\r' && region.back() != '\n' && last + 1 < count_) {
    ++last;
    region.append(LineView(last));
    region.append("\r\n");
  }
  std::vector<Block> records = region.size() <= kSmallRegion ? SplitIntoBlocks(region, true)
                                                             : SplitIntoBlocks(AddChunk(std::move(region)), false);
  SpliceRecords(first, last - first + 1, std::move(records));
  capacity_ = 0;
  while (capacity_ < count_) capacity_ = GrowCapacity(capacity_);
  MarkAllDirty();
}

int TAdvLines::LineAtOffset(std::int64_t offset, std::int64_t* lineStart) const {
  std::int64_t total = TextLength();
  if (offset >= total) {
    if (lineStart) *lineStart = total;
    return count_;
  }
  offset = std::max<std::int64_t>(offset, 0);
  std::int64_t before = 0;
  std::size_t b = charTree_->Find(offset, before);
  int line = static_cast<int>(lineTree_->Prefix(b));
  for (const Record& r : blocks_[b].lines) {
    if (offset < before + r.length + 2) break;
    before += r.length + 2;
    ++line;
  }
  if (lineStart) *lineStart = before;
  return line;
}

// ---------------------------------------------------------------- records

TParagraph TAdvLines::Paragraph(int line) const {
  TParagraph p;
  if (line < 0 || line >= count_) return p;
  const Record& r = Rec(line);
  p.Dirty = Dirty(line);
  p.FirstRow = FirstRow(line);
  p.RowCount = static_cast<int>(r.rows);
  for (int k = 0; k < p.RowCount; ++k) p.Rows.emplace_back(RowText(r, k));
  if (Extra* e = ExtraOf(r)) p.Attrs = e->attrs;
  return p;
}

bool TAdvLines::Dirty(int line) const {
  if (line < 0 || line >= count_) return false;
  const Record& r = Rec(line);
  Extra* e = ExtraOf(r);
  return r.clean != generation_ || !e || e->attrs.empty();
}

void TAdvLines::SetDirty(int line, bool dirty) {
  CheckIndex(line);
  Rec(line).clean = dirty ? 0 : generation_;
}

void TAdvLines::MarkAllDirty() {
  if (++generation_ == 0) {
    for (Block& b : blocks_)
      for (Record& r : b.lines) r.clean = 0;
    generation_ = 1;
  }
}

TLineAttrs& TAdvLines::Attrs(int line) {
  CheckIndex(line);
  Record& r = Rec(line);
  Extra& e = EnsureExtra(r);
  if (e.attrSerial == 0) {
    e.attrSerial = nextSerial_++;
    attrQueue_.emplace_back(r.extra, e.attrSerial);
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
