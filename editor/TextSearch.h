#pragma once

// TTextSearch: a pattern compiled by PCRE2 (with its JIT) and run over the
// text of a line store as the user sees it.
//
// The store keeps the document's bytes: UTF-8, or Windows-1252. The search
// reads the text in chunks of whole lines, each line followed by CR LF as in
// flat offsets; a UTF-8 document's chunk is matched as its bytes are, a
// Windows-1252 one's converted to UTF-8 (a chunk of ASCII lines copied as it
// is), and the match runs in UTF mode, so that "é" or "\w" mean the
// characters on the screen. Matches come back as flat offsets of the
// document's bytes. A match that runs past the end of a chunk is seen as a
// partial match and the chunk is extended, so no match is lost at a chunk's
// edge.
//
// Patterns: PCRE2 syntax with ^ and $ at line ends (CR LF); a plain text is
// taken literally; whole words put the match between characters that are no
// letters, digits or underscores. Replacements: $n, ${n}, ${name} and \n put
// in a group's text, $$ and \\ a single $ or \; a plain search's replacement
// is taken literally.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "editor/TextEncoding.h"

class TAdvLines;

struct TSearchOptions {
  bool MatchCase = false;
  bool WholeWords = false;
  bool Regex = false;
};

// A pattern or replacement PCRE2 refuses, or a match that failed (too complex).
class ESearchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A match: flat offset and length in bytes.
struct TTextMatch {
  std::int64_t Offset = -1;
  std::int64_t Length = 0;
  std::int64_t End() const { return Offset + Length; }
};

// What Replace All made of a range: the bytes from the first match's start to
// the last match's end (Offset, Length) are to become Text.
struct TReplaced {
  std::int64_t Offset = 0, Length = 0;
  std::string Text;
  std::int64_t Count = 0;
};

class TTextSearch {
 public:
  // `pattern` in UTF-8. Throws ESearchError with PCRE2's message.
  TTextSearch(std::string_view pattern, const TSearchOptions& options);
  ~TTextSearch();
  TTextSearch(const TTextSearch&) = delete;
  TTextSearch& operator=(const TTextSearch&) = delete;

  // The first match that starts at or after `from` and ends at or before
  // `to` (both flat offsets; `to` past the text means its end). An empty
  // match at `from` is passed over when `notEmptyAtFrom`.
  bool FindForward(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t to,
                   bool notEmptyAtFrom, TTextMatch& match) const;
  // The last match that starts at or after `from` and before `before`.
  bool FindBackward(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t before,
                    TTextMatch& match) const;
  // Whether the bytes [offset, offset + length) are exactly a match.
  bool MatchesAt(const TAdvLines& lines, TTextEncoding encoding, std::int64_t offset, std::int64_t length) const;
  // The first match at or after `from` in UTF-8 `text` that is in no line
  // store (a file's bytes, its lines ended by LF or CR LF): offsets in `text`.
  // A match may run past a line's end only as far as the pattern says.
  bool FindInText(std::string_view text, std::size_t from, bool notEmptyAtFrom, TTextMatch& match) const;

  // The replacement of a match: `replacement` in UTF-8, its literal parts
  // turned into the document's bytes by `toText` (which may throw). Throws
  // ESearchError for a group the pattern does not have.
  using TToText = std::function<std::string(std::string_view utf8)>;
  std::string Replacement(const TAdvLines& lines, TTextEncoding encoding, const TTextMatch& match,
                          std::string_view replacement, const TToText& toText) const;
  // Every match in [from, to), each replaced.
  TReplaced ReplaceAll(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t to,
                       std::string_view replacement, const TToText& toText) const;

 private:
  struct Code;
  struct Chunk;
  struct Template;
  Template Parse(std::string_view replacement, const TToText& toText) const;
  // The first match in [from, to) with PCRE2's `options` (at `from` only
  // when anchored), read in `ch`, whose groups the match data then holds.
  bool Locate(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t to, std::uint32_t options,
              Chunk& ch, TTextMatch& match) const;

  std::unique_ptr<Code> code_;
  bool regex_ = false;
};
