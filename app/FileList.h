#pragma once

// TFileList: the files under a folder for "Go to file", listed in the
// background as TFileWalk sees them (git's ignore rules, no special files,
// no link loops), and filtered by a fuzzy match of what the user types.
//
// The match: the query's letters in the path in the same order, ASCII case
// ignored (see FuzzyScore). The best matches come first; a filter is one pass
// over the paths, cheap enough for every keystroke.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// How well `path` matches `query`, or -1 when the query's letters are not
// all in the path in order. Each letter found scores, more where it starts
// a word (after '/', '_', '-', '.', a space, or a capital after a small
// letter) or else follows the letter before it, a little more in the
// query's own case, and the last letter more where it ends a word; every
// letter skipped between two found costs. Letters all found in
// the file's name (after the last '/') score more than the same letters
// spread over the folders, and more again from the name's start. The letters
// are found where the match ends earliest and, from there, starts latest.
int FuzzyScore(std::string_view path, std::string_view query);

class TFileList {
 public:
  TFileList() = default;
  ~TFileList();  // cancels and waits
  TFileList(const TFileList&) = delete;
  TFileList& operator=(const TFileList&) = delete;

  // Lists `folder` in the background, after cancelling a listing under way.
  void Start(const std::string& folder);
  void Cancel();
  void Wait();
  // Whether the list is complete; Files and Filter see it only then.
  bool Ready() const { return ready_; }

  // The paths, relative to the folder, in the walk's order.
  const std::vector<std::string>& Files() const;
  // Indexes into Files of at most `max` paths that match `query`, best
  // first; equal scores put the shorter path first, then byte order. An
  // empty query gives the first `max` files. Called from one thread at a time.
  std::vector<std::size_t> Filter(std::string_view query, std::size_t max = 100) const;

  // Called on the listing thread once the list is ready. Set it before Start.
  std::function<void()> OnReady;

 private:
  std::vector<std::string> files_;
  std::vector<std::string> lower_;  // the paths in small letters, for a quick first look
  // The last query and every file it matched: a query that goes on from it
  // (the next keystroke) looks at those only.
  mutable std::string lastQuery_;
  mutable std::vector<std::size_t> lastHits_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
