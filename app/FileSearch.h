#pragma once

// TFileSearch: find in files. Searches the files of a folder (as TFileWalk
// lists them) for a pattern with the find dialog's options, matched by the
// find dialog's own TTextSearch, and hands the lines found out as they come.
//
// A file is read in blocks of whole lines, never whole when it is large. Its
// encoding is the editor's (FileEncodingOf): a UTF-8 file is matched as its
// bytes are, any other as Windows-1252 converted to UTF-8; a byte-order mark
// is no part of the first line. A file with a NUL byte in its first block is
// binary and passed over, as git and ripgrep do; a NUL in a later block ends
// the file's search there. A file the user cannot open is passed over; one
// that is no regular file once open (a FIFO put in its place) is not read.
// Lines end at LF (a CR before it is no part of the line's text); a match is
// reported on the line it starts on.
//
// One thread walks the folder and hands paths to a small pool that searches
// them in parallel; both queues between them and the caller are bounded, so a
// caller that does not take the results holds the search still rather than
// letting memory grow. Cancel stops it at once: every thread looks at the
// flag before each file and each block. A new Start cancels the search under
// way first.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/TextEncoding.h"
#include "editor/TextSearch.h"

struct TFileSearchOptions {
  TSearchOptions Find;  // match case, whole words, regular expression
  // File-name patterns such as "*.php;*.js" (';' or ',' between them, as
  // fnmatch reads each against the file's name); empty: every file.
  std::string Filters;
  int Threads = 0;  // searching threads; 0: one per core
};

// A match in a found line: bytes of the line's Text (UTF-8, to mark it),
// and bytes of the line as the file holds it (to select it in a document).
struct TFoundMatch {
  std::uint32_t Begin = 0, End = 0;
  std::uint32_t FileBegin = 0, FileEnd = 0;
};

struct TFoundLine {
  std::int64_t Line = 0;  // from 1
  // The line as UTF-8, without its line end. A line longer than
  // kMaxShownLine is shown from a little before its first match.
  std::string Text;
  std::uint32_t TextAt = 0;  // where Text starts in the file's line, in bytes
  std::vector<TFoundMatch> Matches;
  static constexpr std::size_t kMaxShownLine = 2000;
};

// Lines found in one file; a large file's lines may come in several parts,
// each but the last with More set.
struct TFoundFile {
  std::string Path;  // relative to the folder searched
  TTextEncoding Encoding = TTextEncoding::Windows1252;
  std::vector<TFoundLine> Lines;
  bool More = false;
};

struct TFileSearchCounts {
  std::int64_t Files = 0;         // files searched
  std::int64_t FilesMatched = 0;  // files with a match
  std::int64_t Lines = 0;         // lines with a match
  std::int64_t Matches = 0;
  std::int64_t Skipped = 0;  // binary, unreadable or not regular once open
};

class TFileSearch {
 public:
  TFileSearch();
  ~TFileSearch();  // cancels and waits
  TFileSearch(const TFileSearch&) = delete;
  TFileSearch& operator=(const TFileSearch&) = delete;

  // Starts searching `folder`, after cancelling the search under way and
  // dropping its results. Throws ESearchError for a pattern PCRE2 refuses.
  void Start(const std::string& folder, std::string_view pattern, const TFileSearchOptions& options);
  // Asks the search to stop; returns at once.
  void Cancel();
  // Waits until the search's threads have ended (finished or cancelled);
  // a search that is not cancelled ends only while its results are taken.
  void Wait();
  // Whether the last search has ended: everything was searched, or it was cancelled.
  bool Finished() const;
  bool Cancelled() const;

  // The results waiting, in the order found (at most about `maxLines`
  // lines); every line taken makes room for the search to go on.
  std::vector<TFoundFile> Take(std::size_t maxLines = 5000);
  TFileSearchCounts Counts() const;

  // Called on a search thread when results wait where none did, and once
  // when the search ends; a window posts itself a call to Take from it.
  // Set it before Start.
  std::function<void()> OnReady;

 private:
  struct Run;
  std::unique_ptr<Run> run_;
};
