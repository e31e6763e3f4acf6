#include "app/FileList.h"

#include <algorithm>
#include <cstring>

#include "app/FileWalk.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool Upper(char c) { return c >= 'A' && c <= 'Z'; }
bool Small(char c) { return c >= 'a' && c <= 'z'; }

bool WordStart(std::string_view s, std::size_t i) {
  if (i == 0) return true;
  const char p = s[i - 1];
  return p == '/' || p == '_' || p == '-' || p == '.' || p == ' ' || (Small(p) && Upper(s[i]));
}

bool WordEnd(std::string_view s, std::size_t i) {
  if (i + 1 >= s.size()) return true;
  const char n = s[i + 1];
  return n == '/' || n == '_' || n == '-' || n == '.' || n == ' ' || (Small(s[i]) && Upper(n));
}

// The score of the letters of `query` in `text` (its part from `from` on),
// or -1. The match ends earliest; from its end, each letter is taken at its
// latest place, so the match is short.
int ScoreIn(std::string_view text, std::size_t from, std::string_view query) {
  std::size_t q = 0, i = from;
  for (; i < text.size() && q < query.size(); ++i)
    if (Lower(text[i]) == Lower(query[q])) ++q;
  if (q < query.size()) return -1;
  std::size_t end = i;  // one past the last letter found
  int score = 0;
  std::size_t next = end;  // where the letter after this one was found
  for (std::size_t k = query.size(); k-- > 0;) {
    std::size_t at = next - 1;
    while (Lower(text[at]) != Lower(query[k])) --at;
    score += 16;
    if (WordStart(text, at)) score += 10;
    if (text[at] == query[k]) score += 1;
    if (k + 1 == query.size() && WordEnd(text, at)) score += 5;
    if (k + 1 < query.size()) {
      // The next letter scores for following this one, unless it starts a word anyway.
      if (next != at + 1)
        score -= static_cast<int>(std::min<std::size_t>(next - at - 1, 8));
      else if (!WordStart(text, next))
        score += 8;
    }
    next = at;
  }
  return score;
}

}  // namespace

int FuzzyScore(std::string_view path, std::string_view query) {
  if (query.empty()) return 0;
  const std::size_t slash = path.rfind('/');
  const std::size_t name = slash == std::string_view::npos ? 0 : slash + 1;
  const int inName = ScoreIn(path, name, query);
  if (inName >= 0) return inName + 32 + (Lower(path[name]) == Lower(query[0]) ? 16 : 0);
  return ScoreIn(path, 0, query);
}

TFileList::~TFileList() {
  Cancel();
  Wait();
}

void TFileList::Start(const std::string& folder) {
  Cancel();
  Wait();
  files_.clear();
  ready_ = false;
  stop_ = false;
  thread_ = std::thread([this, folder] {
    TFileWalk walk(folder);
    std::vector<std::string> files;
    walk.Run(
        [&files](std::string_view path, bool) {
          files.emplace_back(path);
          return true;
        },
        stop_, false);
    if (walk.InRepository()) {
      // git's rules for the files, asked on every core.
      std::vector<char> ignored(files.size());
      const std::size_t n = std::max(1u, std::thread::hardware_concurrency());
      auto check = [&](std::size_t part, TFileWalk& rules) {
        for (std::size_t i = part; i < files.size() && !stop_; i += n) ignored[i] = rules.IgnoredFile(files[i]);
      };
      std::vector<std::thread> helpers;
      for (std::size_t part = 1; part < n; ++part)
        helpers.emplace_back([&, part] {
          TFileWalk rules(folder);
          check(part, rules);
        });
      check(0, walk);
      for (auto& h : helpers) h.join();
      std::size_t kept = 0;
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (ignored[i]) continue;
        if (kept != i) files[kept] = std::move(files[i]);
        ++kept;
      }
      files.resize(kept);
    }
    if (stop_) return;
    lower_.clear();
    lower_.reserve(files.size());
    for (const std::string& f : files) {
      std::string& l = lower_.emplace_back(f);
      for (char& c : l) c = Lower(c);
    }
    lastQuery_.clear();
    lastHits_.clear();
    files_ = std::move(files);
    ready_ = true;
    if (OnReady) OnReady();
  });
}

void TFileList::Cancel() { stop_ = true; }

void TFileList::Wait() {
  if (thread_.joinable()) thread_.join();
}

const std::vector<std::string>& TFileList::Files() const {
  static const std::vector<std::string> none;
  return ready_ ? files_ : none;
}

std::vector<std::size_t> TFileList::Filter(std::string_view query, std::size_t max) const {
  std::vector<std::size_t> out;
  if (!ready_) return out;
  if (query.empty()) {
    for (std::size_t i = 0; i < files_.size() && i < max; ++i) out.push_back(i);
    return out;
  }
  struct Hit {
    int score;
    std::size_t index;
  };
  std::string lowerQuery(query);
  for (char& c : lowerQuery) c = Lower(c);
  const bool narrower = !lastQuery_.empty() && lowerQuery.starts_with(lastQuery_);
  std::vector<std::size_t> matched;
  std::vector<Hit> hits;
  auto consider = [&](std::size_t i) {
    // The letters in order at all, found a memchr at a time, before the scoring.
    const std::string& l = lower_[i];
    const char* p = l.data();
    const char* end = p + l.size();
    for (char c : lowerQuery) {
      p = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
      if (!p) return;
      ++p;
    }
    matched.push_back(i);
    hits.push_back({FuzzyScore(files_[i], query), i});
  };
  if (narrower) {
    for (std::size_t i : lastHits_) consider(i);
  } else {
    for (std::size_t i = 0; i < files_.size(); ++i) consider(i);
  }
  lastQuery_ = lowerQuery;
  lastHits_ = std::move(matched);
  auto better = [this](const Hit& a, const Hit& b) {
    if (a.score != b.score) return a.score > b.score;
    const std::string &pa = files_[a.index], &pb = files_[b.index];
    if (pa.size() != pb.size()) return pa.size() < pb.size();
    return pa < pb;
  };
  const std::size_t n = std::min(max, hits.size());
  std::partial_sort(hits.begin(), hits.begin() + static_cast<std::ptrdiff_t>(n), hits.end(), better);
  for (std::size_t i = 0; i < n; ++i) out.push_back(hits[i].index);
  return out;
}
