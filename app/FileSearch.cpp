#include "app/FileSearch.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "app/FileWalk.h"
#include "editor/Utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kBlock = 1 << 20;          // bytes read at a time
constexpr std::size_t kMaxLine = 4 << 20;        // a longer line is searched in pieces of this size
constexpr std::size_t kMaxQueuedPaths = 4096;    // paths walked, not yet searched
constexpr std::size_t kMaxQueuedLines = 10000;   // lines found, not yet taken
constexpr std::size_t kLinesPerPart = 1000;      // a large file's lines are handed out in parts
constexpr std::size_t kShownBefore = 100;        // of a long line, shown before its first match

// LF bytes in text[from, to).
std::int64_t CountLineEnds(std::string_view text, std::size_t from, std::size_t to) {
  std::int64_t n = 0;
  const char* p = text.data();
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  while (from + 16 <= to) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    n += __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))));
    from += 16;
  }
#endif
  for (; from < to; ++from) n += p[from] == '\n';
  return n;
}

bool Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Reads until `size` bytes are in `out` from `at` on, or the file ends. -1 on an error.
ssize_t ReadFull(int fd, char* out, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, out + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return got > 0 ? static_cast<ssize_t>(got) : -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// Whether a file is UTF-8 by FileEncodingOf's rule, read on from its first
// block in blocks; `first` holds the first block.
bool LargeFileIsUtf8(int fd, std::string_view first, std::string& scratch, bool& multiByte) {
  std::string carry;
  bool any = false;
  auto check = [&](std::string_view bytes, bool last) {
    // The tail that may be a sequence cut by the block's end waits for the next block.
    std::size_t cut = bytes.size();
    if (!last) {
      std::size_t k = bytes.size();
      for (int back = 0; back < 4 && k > 0; ++back) {
        --k;
        const auto b = static_cast<unsigned char>(bytes[k]);
        if (b < 0x80) break;
        if (b >= 0xC0) {
          cut = k;
          break;
        }
      }
    }
    bool mb = false;
    std::string joined;
    std::string_view part = bytes.substr(0, cut);
    if (!carry.empty()) {
      joined = carry;
      joined.append(part);
      part = joined;
    }
    if (!utf8::Valid(part, mb)) return false;
    any = any || mb;
    carry.assign(bytes.substr(cut));
    return true;
  };
  if (!check(first, false)) return false;
  scratch.resize(kBlock);
  for (;;) {
    const ssize_t n = ReadFull(fd, scratch.data(), scratch.size());
    if (n < 0) return false;
    const bool last = static_cast<std::size_t>(n) < scratch.size();
    if (!check(std::string_view(scratch.data(), static_cast<std::size_t>(n)), last)) return false;
    if (last) break;
  }
  if (!carry.empty()) return false;
  multiByte = any;
  return true;
}

std::vector<std::string> SplitFilters(std::string_view text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find_first_of(";,", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view f = text.substr(pos, end - pos);
    while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
    while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
    if (!f.empty()) out.emplace_back(f);
    pos = end + 1;
  }
  return out;
}

}  // namespace

struct TFileSearch::Run {
  std::string folder;
  std::vector<std::string> filters;
  std::function<void()> onReady;
  std::atomic<bool> stop{false};
  std::atomic<bool> finished{false};
  std::atomic<int> running{0};

  std::mutex pathsLock;
  std::condition_variable pathsChanged;
  std::deque<std::pair<std::string, bool>> paths;  // path, reached through a link
  bool walked = false;

  mutable std::mutex resultsLock;
  std::condition_variable room;
  std::deque<TFoundFile> results;
  std::size_t queuedLines = 0;

  std::atomic<std::int64_t> files{0}, filesMatched{0}, lines{0}, matches{0}, skipped{0};

  std::thread walker;
  std::vector<std::thread> workers;

  void Walk(TFileWalk& walk);
  void Work(std::unique_ptr<TTextSearch> search);
  bool Wanted(std::string_view path) const;
  void Hand(TFoundFile&& found);
  void Stop() {
    stop = true;
    { std::lock_guard<std::mutex> g(pathsLock); }
    pathsChanged.notify_all();
    { std::lock_guard<std::mutex> g(resultsLock); }
    room.notify_all();
  }
  void Join() {
    if (walker.joinable()) walker.join();
    for (auto& w : workers)
      if (w.joinable()) w.join();
  }
};

bool TFileSearch::Run::Wanted(std::string_view path) const {
  if (filters.empty()) return true;
  const std::size_t slash = path.rfind('/');
  const std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
  return std::any_of(filters.begin(), filters.end(),
                     [&](const std::string& f) { return fnmatch(f.c_str(), name.c_str(), 0) == 0; });
}

void TFileSearch::Run::Walk(TFileWalk& walk) {
  walk.Run(
      [this](std::string_view path, bool viaLink) {
        if (!Wanted(path)) return true;
        std::unique_lock<std::mutex> g(pathsLock);
        pathsChanged.wait(g, [this] { return stop || paths.size() < kMaxQueuedPaths; });
        if (stop) return false;
        paths.emplace_back(std::string(path), viaLink);
        if (paths.size() == 1) pathsChanged.notify_all();
        return true;
      },
      stop, false);
  {
    std::lock_guard<std::mutex> g(pathsLock);
    walked = true;
  }
  pathsChanged.notify_all();
}

void TFileSearch::Run::Hand(TFoundFile&& found) {
  bool wasEmpty = false;
  {
    std::unique_lock<std::mutex> g(resultsLock);
    room.wait(g, [this] { return stop || queuedLines < kMaxQueuedLines; });
    if (stop) return;
    wasEmpty = results.empty();
    queuedLines += found.Lines.size();
    results.push_back(std::move(found));
  }
  if (wasEmpty && onReady) onReady();
}

namespace {

// One searching thread's work on one file at a time, with buffers kept from
// file to file.
class TFileSearcher {
 public:
  TFileSearcher(const TTextSearch& search, const std::atomic<bool>& stop) : search_(search), stop_(stop) {}

  // Searches `fd`; calls `hand` with each part of the lines found. False
  // when the file was passed over (binary, not regular, unreadable).
  template <typename Hand>
  bool Search(int fd, TFoundFile& found, Hand&& hand);

 private:
  void SearchBlock(std::string_view bytes, bool lastBlock, TFoundFile& found);
  // Adds the line [lineStart, lineEnd) of `subject` with the matches in spans_.
  void FinishLine(std::string_view subject, std::size_t lineStart, std::size_t lineEnd, bool converted,
                  std::int64_t line, TFoundFile& found);

  const TTextSearch& search_;
  const std::atomic<bool>& stop_;
  std::string buf_, utf8_, scratch_;
  std::vector<std::pair<std::size_t, std::size_t>> spans_;  // the matches of the line being found
  std::int64_t line_ = 1;  // the number of the line the block starts with
};

template <typename Hand>
bool TFileSearcher::Search(int fd, TFoundFile& found, Hand&& hand) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (buf_.size() < kBlock) buf_.resize(kBlock);
  ssize_t got = ReadFull(fd, buf_.data(), kBlock);
  if (got < 0) return false;
  std::size_t have = static_cast<std::size_t>(got);
  bool eof = have < kBlock;
  if (std::memchr(buf_.data(), '\0', have)) return false;
  std::string_view first(buf_.data(), have);
  TFileEncoding enc;
  if (eof) {
    enc = FileEncodingOf(first);
  } else {
    const bool mark = first.starts_with(kByteOrderMark);
    bool multiByte = false;
    const std::string_view checked = mark ? first.substr(kByteOrderMark.size()) : first;
    if (LargeFileIsUtf8(fd, checked, scratch_, multiByte) && (mark || multiByte)) {
      enc.Encoding = TTextEncoding::Utf8;
      enc.ByteOrderMark = mark;
    }
    if (lseek(fd, static_cast<off_t>(have), SEEK_SET) < 0) return false;
  }
  found.Encoding = enc.Encoding;
  std::size_t start = enc.ByteOrderMark ? kByteOrderMark.size() : 0;
  line_ = 1;
  for (;;) {
    if (stop_.load(std::memory_order_relaxed)) return true;
    // Whole lines are searched; the last line of a block not the file's last waits for the next.
    std::size_t end = have;
    bool search = eof;
    if (!eof) {
      if (const void* lf = memrchr(buf_.data() + start, '\n', have - start)) {
        end = static_cast<std::size_t>(static_cast<const char*>(lf) - buf_.data()) + 1;
        search = true;
      } else if (buf_.size() < kMaxLine) {
        buf_.resize(std::min(buf_.size() * 2, kMaxLine));  // one line fills the buffer
      } else {
        search = true;  // a line too long to hold is searched in pieces
      }
    }
    if (search && end > start) {
      const std::string_view block(buf_.data() + start, end - start);
      SearchBlock(block, eof && end == have, found);
      line_ += CountLineEnds(block, 0, block.size());
      if (found.Lines.size() >= kLinesPerPart) {
        found.More = true;
        hand(found);
        found.Lines.clear();
      }
      start = end;
    }
    if (eof) break;
    // The rest goes to the front; more is read after it.
    std::memmove(buf_.data(), buf_.data() + start, have - start);
    have -= start;
    start = 0;
    got = ReadFull(fd, buf_.data() + have, buf_.size() - have);
    const std::size_t more = got > 0 ? static_cast<std::size_t>(got) : 0;
    eof = have + more < buf_.size();
    if (const void* nul = std::memchr(buf_.data() + have, '\0', more)) {
      // Binary from here on: the lines before the NUL's are searched, no more.
      const auto at = static_cast<std::size_t>(static_cast<const char*>(nul) - buf_.data());
      const void* lf = memrchr(buf_.data(), '\n', at);
      have = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - buf_.data()) + 1 : 0;
      eof = true;
    } else {
      have += more;
    }
  }
  found.More = false;
  hand(found);
  return true;
}

void TFileSearcher::SearchBlock(std::string_view bytes, bool lastBlock, TFoundFile& found) {
  std::string_view subject = bytes;
  const bool converted = found.Encoding != TTextEncoding::Utf8 && utf8::FindNonAscii(bytes, 0) < bytes.size();
  if (converted) {
    utf8_.clear();
    AppendWindows1252AsUtf8(bytes, utf8_);
    subject = utf8_;
  }
  std::size_t from = 0, counted = 0;
  bool notEmpty = false;
  std::int64_t line = line_;
  std::size_t lineStart = 0, lineEnd = 0;  // the line being found: its start, its LF
  spans_.clear();
  TTextMatch m;
  while (!stop_.load(std::memory_order_relaxed) && search_.FindInText(subject, from, notEmpty, m)) {
    const auto s = static_cast<std::size_t>(m.Offset);
    const auto e = static_cast<std::size_t>(m.End());
    // Where the subject ends after a LF (or a block does), no line starts.
    if (s == subject.size() && (!lastBlock || subject.empty() || subject.back() == '\n')) break;
    if (spans_.empty() || s > lineEnd) {
      if (!spans_.empty()) FinishLine(subject, lineStart, lineEnd, converted, line, found);
      spans_.clear();
      line += CountLineEnds(subject, counted, s);
      counted = s;
      const void* lf = std::memchr(subject.data() + s, '\n', subject.size() - s);
      lineEnd = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - subject.data()) : subject.size();
      const void* before = s > 0 ? memrchr(subject.data(), '\n', s) : nullptr;
      lineStart = before ? static_cast<std::size_t>(static_cast<const char*>(before) - subject.data()) + 1 : 0;
    }
    spans_.push_back({s, e});
    from = e;
    notEmpty = s == e;
  }
  if (!spans_.empty()) FinishLine(subject, lineStart, lineEnd, converted, line, found);
}

void TFileSearcher::FinishLine(std::string_view subject, std::size_t lineStart, std::size_t lineEnd, bool converted,
                               std::int64_t line, TFoundFile& found) {
  const std::size_t textEnd = lineEnd > lineStart && subject[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
  std::size_t ws = lineStart, we = textEnd;
  if (we - ws > TFoundLine::kMaxShownLine) {
    ws = std::max(lineStart, std::min(spans_.front().first, textEnd) - std::min(spans_.front().first - lineStart,
                                                                                  kShownBefore));
    while (ws > lineStart && Continuation(subject[ws])) --ws;
    we = std::min(textEnd, ws + TFoundLine::kMaxShownLine);
    while (we < textEnd && we > ws && Continuation(subject[we])) --we;
  }
  // Offsets in the file's line: a converted line's characters were one byte each.
  std::size_t at = lineStart, atFile = 0;
  auto fileOffset = [&](std::size_t p) {
    if (!converted) return static_cast<std::uint32_t>(p - lineStart);
    for (; at < p; ++at) atFile += !Continuation(subject[at]);
    return static_cast<std::uint32_t>(atFile);
  };
  TFoundLine& l = found.Lines.emplace_back();
  l.Line = line;
  l.Text.assign(subject.substr(ws, we - ws));
  l.TextAt = fileOffset(ws);
  std::size_t prevEnd = ws;
  for (const auto& [s0, e0] : spans_) {
    const std::size_t s = std::min(s0, textEnd), e = std::min(e0, textEnd);
    TFoundMatch fm;
    fm.Begin = static_cast<std::uint32_t>(std::clamp(s, ws, we) - ws);
    fm.End = static_cast<std::uint32_t>(std::clamp(e, ws, we) - ws);
    // Matches come in order; the file offsets are counted on from the last one.
    if (s < prevEnd) {
      at = lineStart;
      atFile = 0;
    }
    fm.FileBegin = fileOffset(s);
    fm.FileEnd = fileOffset(e);
    prevEnd = e;
    l.Matches.push_back(fm);
  }
}

}  // namespace

void TFileSearch::Run::Work(std::unique_ptr<TTextSearch> search) {
  TFileSearcher searcher(*search, stop);
  TFileWalk rules(folder);  // git's rules for the files this thread takes
  for (;;) {
    std::pair<std::string, bool> next;
    {
      std::unique_lock<std::mutex> g(pathsLock);
      pathsChanged.wait(g, [this] { return stop || !paths.empty() || walked; });
      if (stop || paths.empty()) break;
      next = std::move(paths.front());
      paths.pop_front();
      if (paths.size() == kMaxQueuedPaths - 1) pathsChanged.notify_all();
    }
    if (rules.IgnoredFile(next.first)) continue;
    const std::string full = folder + '/' + next.first;
    // O_NONBLOCK: a FIFO put where a file was walked does not hold the open.
    const int fd =
        open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (next.second ? 0 : O_NOFOLLOW));
    if (fd < 0) {
      ++skipped;
      continue;
    }
    TFoundFile found;
    found.Path = std::move(next.first);
    bool any = false;
    const bool read = searcher.Search(fd, found, [&](TFoundFile& part) {
      // A large file's last part goes out even when empty: it tells that the file is done.
      if (part.Lines.empty() && (part.More || !any)) return;
      if (!any) ++filesMatched;
      any = true;
      std::int64_t n = 0;
      for (const auto& l : part.Lines) n += static_cast<std::int64_t>(l.Matches.size());
      lines += static_cast<std::int64_t>(part.Lines.size());
      matches += n;
      TFoundFile copy;
      copy.Path = part.Path;
      copy.Encoding = part.Encoding;
      copy.More = part.More;
      copy.Lines = std::move(part.Lines);
      part.Lines.clear();
      Hand(std::move(copy));
    });
    close(fd);
    ++(read ? files : skipped);
  }
  if (--running == 0) {
    finished = true;
    if (onReady) onReady();
  }
}

TFileSearch::TFileSearch() = default;

TFileSearch::~TFileSearch() {
  if (run_) {
    run_->Stop();
    run_->Join();
  }
}

void TFileSearch::Start(const std::string& folder, std::string_view pattern, const TFileSearchOptions& options) {
  auto first = std::make_unique<TTextSearch>(pattern, options.Find);  // throws for a bad pattern
  if (run_) {
    run_->Stop();
    run_->Join();
  }
  run_ = std::make_unique<Run>();
  Run& r = *run_;
  r.folder = folder;
  while (r.folder.size() > 1 && r.folder.back() == '/') r.folder.pop_back();
  r.filters = SplitFilters(options.Filters);
  r.onReady = OnReady;
  const int threads =
      options.Threads > 0 ? options.Threads : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  r.running = threads;
  r.walker = std::thread([&r] {
    TFileWalk walk(r.folder);
    r.Walk(walk);
  });
  const std::string pat(pattern);
  for (int i = 0; i < threads; ++i) {
    std::unique_ptr<TTextSearch> search =
        i == 0 ? std::move(first) : std::make_unique<TTextSearch>(pat, options.Find);
    r.workers.emplace_back([&r, s = std::move(search)]() mutable { r.Work(std::move(s)); });
  }
}

void TFileSearch::Cancel() {
  if (run_) run_->Stop();
}

void TFileSearch::Wait() {
  if (run_) run_->Join();
}

bool TFileSearch::Finished() const { return !run_ || run_->finished; }

bool TFileSearch::Cancelled() const { return run_ && run_->stop; }

std::vector<TFoundFile> TFileSearch::Take(std::size_t maxLines) {
  std::vector<TFoundFile> out;
  if (!run_) return out;
  Run& r = *run_;
  {
    std::lock_guard<std::mutex> g(r.resultsLock);
    std::size_t n = 0;
    while (!r.results.empty() && (out.empty() || n < maxLines)) {
      n += r.results.front().Lines.size();
      r.queuedLines -= r.results.front().Lines.size();
      out.push_back(std::move(r.results.front()));
      r.results.pop_front();
    }
  }
  r.room.notify_all();
  return out;
}

TFileSearchCounts TFileSearch::Counts() const {
  TFileSearchCounts c;
  if (!run_) return c;
  c.Files = run_->files;
  c.FilesMatched = run_->filesMatched;
  c.Lines = run_->lines;
  c.Matches = run_->matches;
  c.Skipped = run_->skipped;
  return c;
}
