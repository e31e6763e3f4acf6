// TAdvLines: the string-list interface, whole-text assignment and the edit
// of a flat range, each ending in one announced change.

#include "editor/AdvLines.h"

#include <algorithm>
#include <cstring>

#include "editor/FileIO.h"
#include "editor/LargeBuffer.h"
#include "editor/TextScan.h"

TAdvLines::TAdvLines(TAdvLinesOwner* editor) : Editor(editor) {}

TAdvLines::~TAdvLines() = default;

// ---------------------------------------------------------------- the owner

void TAdvLines::Announce(TLinesChange change) {
  change.LongestLine = longestEntered_;
  longestEntered_ = 0;
  if (Editor) Editor->LinesChanged(change);
}

void TAdvLines::Changed() {
  if (quiet_ > 0) return;
  TLinesChange c;
  c.FirstLine = count_;
  c.FirstRow = static_cast<int>(totalRows_);
  c.Notice = Notice();
  Announce(c);
}

std::string TAdvLines::ExpandTabs(std::string_view text) const {
  return ::ExpandTabs(text, Editor ? Editor->GetTabWidth() : 0);
}

// ---------------------------------------------------------------- capacity

int TAdvLines::GrowCapacity(int capacity) const {
  return capacity + (capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4);
}

void TAdvLines::FitCapacity() {
  while (capacity_ < count_) capacity_ = GrowCapacity(capacity_);
}

void TAdvLines::SetCapacity(int capacity) {
  if (capacity < count_) throw EStringListError(capacity);
  capacity_ = capacity;
}

// ---------------------------------------------------------------- string list

std::string TAdvLines::Get(int index) const { return std::string(LineView(index)); }

std::string_view TAdvLines::LineView(int index) const {
  if (index < 0 || index >= count_) return {};
  return View(Rec(index));
}

int TAdvLines::LineLength(int index) const {
  if (index < 0 || index >= count_) return 0;
  return static_cast<int>(Rec(index).length);
}

void TAdvLines::PutLine(int index, std::string_view text, TLinesNotice notice) {
  CheckIndex(index);
  SpliceRecords(index, 1, OneLine(text), notice);
}

void TAdvLines::Put(int index, std::string_view text) {
  Changing();
  PutLine(index, text, Notice());
}

void TAdvLines::Insert(int index, std::string_view text) {
  if (index < 0 || index > count_) throw EStringListError(index);
  // Every run of CR and LF characters ends one line; the lines are tab-expanded.
  std::size_t pos = 0;
  do {
    std::size_t brk = FindLineBreak(text, pos);
    std::string_view piece = text.substr(pos, brk - pos);
    Changing();
    if (count_ == capacity_) capacity_ = GrowCapacity(capacity_);
    SpliceRecords(index, 0, OneLine(piece.find('\t') != std::string_view::npos ? ExpandTabs(piece) : piece), Notice());
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
  SpliceRecords(index, 1, {}, Notice());
}

void TAdvLines::Clear() {
  // The whole-text assignment of nothing: the one route that rebuilds the store.
  if (count_ == 0) return;
  AssignWholeText(TTextBuffer(), Notice(), false);
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

// ---------------------------------------------------------------- whole text

void TAdvLines::AssignWholeText(TTextBuffer&& text, TLinesNotice notice, bool keepAsRead, TChangeSpan span,
                                LoadSplit* split) {
  // Clear, then every line of the text, as one change. An edit that
  // rebuilds the text keeps the bytes as read of the lines it leaves as they
  // were (the others go with the change); any other assignment starts
  // without them. Those are found in the text with its TABs expanded; else
  // the split finds the TABs (and the bytes above 0x7F) on its way.
  const bool carry = keepAsRead && asReadLines_ > 0;
  bool tabs = false;
  if (carry) {
    tabs = text.View().find('\t') != std::string_view::npos;
    if (tabs) text = TTextBuffer(ExpandTabs(text.View()));
  }
  TLinesChange change;
  TKeptAsRead kept;
  if (carry) CarryAsReadWhole(text.View(), span, kept, change.AsReadRemoved);
  asReadLines_ = 0;
  const int oldCount = count_;
  const int oldRows = static_cast<int>(totalRows_);
  {
    QuietScope quiet(*this);
    BeginUpdate();
    if (count_ > 0) {
      blocks_.clear();
      extras_.clear();
      freeExtras_.clear();
      attrQueue_.clear();
      attrQueueHead_ = attrHolders_ = idleExtras_ = 0;
      borrowedBytes_ = rawLines_ = 0;
      count_ = 0;
      totalRows_ = 0;
      capacity_ = 0;
      RebuildTrees();
    }
    far_.clear();
    freeFar_.clear();
    chunks_.clear();
    chunkBytes_ = 0;
    base_ = "";
    mainSize_ = 0;
    mainChunk_ = nullptr;
    lastRegion_ = {};
    std::vector<Block> fresh;
    SplitFinds finds;
    finds.stopAtTab = true;
    // The text is the main chunk: its lines are offsets into it, and so are
    // those of the regions later written into its room.
    auto takeMain = [&](TTextBuffer&& bytes) {
      const std::string_view main = AddChunk(std::move(bytes));
      mainChunk_ = chunks_.back().get();
      base_ = mainChunk_->Data();
      mainSize_ = static_cast<std::ptrdiff_t>(main.size());
      // A file's lines may have been found while it was read.
      if (!TakeLoadSplit(split, main, fresh, finds) && !main.empty()) fresh = SplitIntoBlocks(main, false, &finds);
      split = nullptr;
      return main;
    };
    if (text.Size() > 0 || text.Room() > 0) {
      const std::string_view main = takeMain(std::move(text));
      if (finds.tab) {
        TTextBuffer expanded(ExpandTabs(main));
        chunks_.clear();
        chunkBytes_ = 0;
        finds.tab = false;
        tabs = true;
        takeMain(std::move(expanded));
      }
    }
    tabsExpanded_ = tabs;
    if (!keepAsRead) assignedHighBytes_ = finds.high;
    for (const Block& b : fresh) {
      count_ += static_cast<int>(b.lines.size());
      totalRows_ += b.rows;
      borrowedBytes_ += b.chars - 2 * static_cast<std::int64_t>(b.lines.size());
    }
    if (!kept.empty()) {
      for (auto& k : kept)
        if (k.first < 0) k.first += count_;
      std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      auto next = kept.begin();
      int line = 0;
      for (Block& b : fresh)
        for (Record& r : b.lines) {
          while (next != kept.end() && next->first < line) ++next;
          if (next != kept.end() && next->first == line) {
            EnsureExtra(r).asRead = std::move(next->second);
            ++asReadLines_;
          }
          ++line;
        }
    }
    blocks_ = std::move(fresh);
    RebuildTrees();
    FitCapacity();
    EndUpdate();
  }
  change.LinesRemoved = oldCount;
  change.LinesInserted = count_;
  change.RowsRemoved = oldRows;
  change.RowsInserted = static_cast<int>(totalRows_);
  change.Notice = notice;
  Announce(std::move(change));
}

void TAdvLines::SetTextStr(std::string text) { SetTextStr(TTextBuffer(std::move(text))); }

void TAdvLines::SetTextStr(TTextBuffer text) {
  AssignWholeText(std::move(text), quiet_ > 0 ? TLinesNotice::None : TLinesNotice::Assigned, false);
}

void TAdvLines::SetTextStr(TReadText text) {
  AssignWholeText(std::move(text.Bytes), quiet_ > 0 ? TLinesNotice::None : TLinesNotice::Assigned, false, {},
                  text.split_.get());
}

void TAdvLines::SetTextQuiet(std::string text) {
  AssignWholeText(TTextBuffer(std::move(text)), TLinesNotice::None, true);
}

void TAdvLines::LoadFromFile(const std::string& fileName) {
  {
    QuietScope quiet(*this);
    SetTextStr(ReadText(fileName));
  }
  Changed();
}

void TAdvLines::SaveToFile(const std::string& fileName, const std::function<bool()>& unchanged) const {
  WriteFileSafely(
      fileName,
      [this](TFileWriter& out) {
        for (const Block& b : blocks_) {
          for (const Record& r : b.lines) {
            out.Write(View(r));
            out.Write("\r\n");
          }
        }
      },
      unchanged);
}

// ---------------------------------------------------------------- rows as text

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
  const Record& r = Rec(line);
  std::string_view whole = View(r);
  std::string_view before = whole.substr(0, k == 0 ? 0 : RowStarts(r)[k - 1]);
  std::string_view rowText = RowText(r, k);
  std::string_view after = whole.substr(before.size() + rowText.size());
  std::string joined;
  joined.reserve(before.size() + text.size() + after.size());
  joined.append(before).append(text).append(after);
  // The row entered the store before its line did.
  longestEntered_ = std::max(longestEntered_, static_cast<int>(text.size()));
  PutLine(line, joined, Notice());
}

void TAdvLines::PutQuiet(int index, std::string_view text) {
  QuietScope quiet(*this);
  Put(index, text);
}

void TAdvLines::PutRowQuiet(int row, std::string_view text) {
  QuietScope quiet(*this);
  PutRow(row, text);
}

// ---------------------------------------------------------------- the edit of a range

std::string TAdvLines::ReplaceText(std::int64_t offset, std::int64_t deleteLength, std::string_view insert) {
  std::int64_t total = TextLength();
  offset = std::clamp<std::int64_t>(offset, 0, total);
  deleteLength = std::clamp<std::int64_t>(deleteLength, 0, total - offset);
  std::string removed = TextRange(offset, deleteLength);
  if (!RecordsEqualWholeRebuild()) {
    // Some line holds characters a rebuild would change: rebuild for real.
    std::string text = GetTextStr();
    text.replace(static_cast<std::size_t>(offset), static_cast<std::size_t>(deleteLength), insert);
    AssignWholeText(TTextBuffer(std::move(text)), TLinesNotice::None, true, {offset, offset + deleteLength});
    return removed;
  }
  QuietScope quiet(*this);
  std::string expanded;
  if (insert.find('\t') != std::string_view::npos) {
    expanded = ExpandTabs(insert);
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
  const std::string head = TextRange(regionStart, offset - regionStart);
  const std::string tail = TextRange(end, regionEnd - end);
  // A region that no longer ends in a line break joins the next line, and
  // then ends in CR LF.
  const char back = !tail.empty() ? tail.back() : !insert.empty() ? insert.back() : head.empty() ? '\n' : head.back();
  const bool joins = back != '\r' && back != '\n' && last + 1 < count_;
  if (joins) ++last;
  const std::size_t size = head.size() + insert.size() + tail.size() + (joins ? LineView(last).size() + 2 : 0);
  auto pieces = [&](auto&& put) {
    put(head);
    put(insert);
    put(tail);
    if (joins) {
      put(LineView(last));
      put("\r\n");
    }
  };
  std::vector<Block> records;
  if (size <= kSmallRegion) {
    std::string region;
    pieces([&](std::string_view s) { region.append(s); });
    records = SplitIntoBlocks(region, true);
  } else if (char* room = MainRoom(size)) {
    pieces([&](std::string_view s) {
      if (!s.empty()) std::memcpy(room, s.data(), s.size());
      room += s.size();
    });
    records = SplitIntoBlocks(TakeMainRoom(size), false);
  } else {
    // Room for the whole region at once: a large insert is not moved while it grows.
    std::string region;
    ReserveLarge(region, size);
    pieces([&](std::string_view s) { region.append(s); });
    records = SplitIntoBlocks(AddChunk(std::move(region)), false);
  }
  SpliceRecords(first, last - first + 1, std::move(records), TLinesNotice::None, {offset, end});
  capacity_ = 0;
  FitCapacity();
  return removed;
}
