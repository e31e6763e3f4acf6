#include "editor/TextSearch.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cctype>
#include <climits>

#include "editor/AdvLines.h"
#include "editor/LargeBuffer.h"
#include "editor/TextEncoding.h"
#include "editor/Utf8.h"

namespace {

constexpr std::size_t kChunkBytes = 1 << 20;   // text converted and matched at a time
constexpr std::size_t kJitStackMax = 4 << 20;  // the JIT's stack may grow this far
constexpr std::size_t kNoLimit = SIZE_MAX;

std::string ErrorText(int code) {
  PCRE2_UCHAR buffer[256];
  if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) return "unknown error " + std::to_string(code);
  return reinterpret_cast<const char*>(buffer);
}

// The end of the text: the last line's end (flat offsets count a CR LF after it too).
std::int64_t TextEnd(const TAdvLines& lines) { return lines.Count() == 0 ? 0 : lines.TextLength() - 2; }

int Utf8Length(unsigned char lead) { return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

}  // namespace

struct TTextSearch::Code {
  pcre2_code* code = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* stack = nullptr;
  pcre2_match_data* data = nullptr;
  bool jit = false;  // compiled by the JIT: matched through its own entry
  ~Code() {
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(stack);
    pcre2_code_free(code);
  }
};

// Lines [first, end) as UTF-8, each but the text's last followed by CR LF.
// The bytes of a UTF-8 document are that already; of a Windows-1252 one,
// the lines outside ASCII are converted.
struct TTextSearch::Chunk {
  int first = 0, end = 0;
  std::int64_t flat = 0;  // flat offset of line `first`
  bool last = false;      // reaches the end of the text
  bool identity = true;   // UTF-8 or every line ASCII: utf8 holds the text's bytes themselves
  std::string utf8;
  std::string bytes;                  // the bytes, when not identity
  std::vector<std::uint32_t> at8;     // per line: its start in utf8
  std::vector<std::uint32_t> atByte;  // per line: its start in bytes, when not identity

  // From line `firstLine` until `endLine` or until `target` bytes are held.
  void Build(const TAdvLines& lines, TTextEncoding encoding, int firstLine, int endLine, std::size_t target) {
    first = end = firstLine;
    flat = lines.LineStartOffset(firstLine);
    identity = true;
    last = false;
    utf8.clear();
    bytes.clear();
    at8.clear();
    atByte.clear();
    const int count = lines.Count();
    lines.ForEachLineView(firstLine, std::min(endLine, count), [&](std::string_view line) {
      const bool ascii = encoding == TTextEncoding::Utf8 || utf8::FindNonAscii(line, 0) == line.size();
      if (!ascii && identity) {
        identity = false;
        bytes = utf8;
        atByte = at8;
      }
      at8.push_back(static_cast<std::uint32_t>(utf8.size()));
      if (identity) {
        utf8.append(line);
      } else {
        atByte.push_back(static_cast<std::uint32_t>(bytes.size()));
        bytes.append(line);
        AppendWindows1252AsUtf8(line, utf8);
      }
      if (++end == count) {
        last = true;
      } else {
        utf8.append("\r\n");
        if (!identity) bytes.append("\r\n");
      }
      return utf8.size() < target;
    });
  }
  std::int64_t FlatEnd() const { return flat + static_cast<std::int64_t>(identity ? utf8.size() : bytes.size()); }
  // Flat offset of UTF-8 offset u.
  std::int64_t ToFlat(std::size_t u) const {
    if (identity) return flat + static_cast<std::int64_t>(u);
    const std::size_t k = static_cast<std::size_t>(std::upper_bound(at8.begin(), at8.end(), u) - at8.begin()) - 1;
    std::int64_t n = 0;
    for (std::size_t i = at8[k]; i < u; ++i) n += (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80;
    return flat + atByte[k] + n;
  }
  // UTF-8 offset of flat offset f (inside the chunk).
  std::size_t FromFlat(std::int64_t f) const {
    const std::int64_t c = std::clamp<std::int64_t>(f - flat, 0, FlatEnd() - flat);
    if (identity) return static_cast<std::size_t>(c);
    const auto cell = static_cast<std::uint32_t>(c);
    const std::size_t k =
        static_cast<std::size_t>(std::upper_bound(atByte.begin(), atByte.end(), cell) - atByte.begin()) - 1;
    std::size_t u = at8[k];
    for (std::uint32_t i = atByte[k]; i < cell && u < utf8.size(); ++i)
      u += static_cast<std::size_t>(Utf8Length(static_cast<unsigned char>(utf8[u])));
    return u;
  }
  // The document bytes of UTF-8 range [u0, u1).
  std::string_view BytesOf(std::size_t u0, std::size_t u1) const {
    if (identity) return std::string_view(utf8).substr(u0, u1 - u0);
    const auto c0 = static_cast<std::size_t>(ToFlat(u0) - flat), c1 = static_cast<std::size_t>(ToFlat(u1) - flat);
    return std::string_view(bytes).substr(c0, c1 - c0);
  }
};

// A replacement: literal bytes and groups, in order.
struct TTextSearch::Template {
  struct Part {
    std::string bytes;
    int group = -1;  // -1: the bytes
  };
  std::vector<Part> parts;
};

TTextSearch::TTextSearch(std::string_view pattern, const TSearchOptions& options)
    : code_(std::make_unique<Code>()), regex_(options.Regex) {
  std::string source;
  if (options.Regex) {
    source = pattern;
  } else {
    // Every ASCII character but letters and digits stands for itself after a backslash.
    for (char c : pattern) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '\0') {
        source += "\\x{0}";
        continue;
      }
      if (u < 0x80 && !std::isalnum(u)) source += '\\';
      source += c;
    }
  }
  if (options.WholeWords) source = "(?<!\\w)(?:" + source + ")(?!\\w)";
  // A UTF-8 document's bytes are matched as they are: a byte that is not
  // UTF-8 there matches nothing rather than being read past.
  std::uint32_t flags = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_UCP | PCRE2_MULTILINE;
  if (!options.MatchCase) flags |= PCRE2_CASELESS;
  pcre2_compile_context* compile = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(compile, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE at = 0;
  code_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()), source.size(), flags, &error, &at, compile);
  pcre2_compile_context_free(compile);
  if (!code_->code) {
    if (!options.Regex && !options.WholeWords) throw ESearchError("Cannot search for this text: " + ErrorText(error));
    throw ESearchError("Regular expression: " + ErrorText(error) + " at character " + std::to_string(at + 1));
  }
  // Without the JIT (a machine it does not support) the interpreter matches.
  code_->jit = pcre2_jit_compile(code_->code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0;
  code_->context = pcre2_match_context_create(nullptr);
  code_->stack = pcre2_jit_stack_create(32 * 1024, kJitStackMax, nullptr);
  if (code_->stack) pcre2_jit_stack_assign(code_->context, nullptr, code_->stack);
  code_->data = pcre2_match_data_create_from_pattern(code_->code, nullptr);
}

TTextSearch::~TTextSearch() = default;

namespace {

// One match over a chunk's UTF-8 up to `length`, from `start`. The JIT's
// entry skips the checks of the arguments; an anchored match, which the JIT
// cannot do at match time, runs interpreted.
int Match(pcre2_code* code, bool jit, pcre2_match_data* data, pcre2_match_context* context, std::string_view text,
          std::size_t length, std::size_t start, std::uint32_t options) {
  const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  const int rc = jit && !(options & PCRE2_ANCHORED)
                     ? pcre2_jit_match(code, subject, length, start, options, data, context)
                     : pcre2_match(code, subject, length, start, options | PCRE2_NO_UTF_CHECK, data, context);
  if (rc < 0 && rc != PCRE2_ERROR_NOMATCH && rc != PCRE2_ERROR_PARTIAL)
    throw ESearchError("The search stopped: " + ErrorText(rc));
  // A partial match of nothing at the very end: what may start there starts
  // the next chunk, where it is looked for.
  if (rc == PCRE2_ERROR_PARTIAL && pcre2_get_ovector_pointer(data)[0] >= length) return PCRE2_ERROR_NOMATCH;
  return rc;
}

}  // namespace

bool TTextSearch::Locate(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t to,
                         std::uint32_t options, Chunk& ch, TTextMatch& match) const {
  if (lines.Count() == 0) return false;
  to = std::min(to, TextEnd(lines));
  from = std::max<std::int64_t>(from, 0);
  if (from > to) return false;
  std::size_t target = kChunkBytes;
  ch.Build(lines, encoding, std::min(lines.LineAtOffset(from, nullptr), lines.Count() - 1), INT_MAX, target);
  std::int64_t at = from;
  for (;;) {
    const bool cut = ch.FlatEnd() < to;  // the chunk ends before the range
    const std::size_t length = cut ? ch.utf8.size() : ch.FromFlat(to);
    const int rc = Match(code_->code, code_->jit, code_->data, code_->context, ch.utf8, length, ch.FromFlat(at),
                         options | (cut ? PCRE2_PARTIAL_HARD : 0));
    if (rc == PCRE2_ERROR_PARTIAL) {
      target *= 2;
      ch.Build(lines, encoding, ch.first, INT_MAX, target);
      continue;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (!cut || (options & PCRE2_ANCHORED)) return false;
      at = ch.FlatEnd();
      options &= ~static_cast<std::uint32_t>(PCRE2_NOTEMPTY_ATSTART);
      target = kChunkBytes;
      ch.Build(lines, encoding, ch.end, INT_MAX, target);
      continue;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(code_->data);
    match.Offset = ch.ToFlat(ov[0]);
    match.Length = ch.ToFlat(std::max(ov[0], ov[1])) - match.Offset;
    return true;
  }
}

bool TTextSearch::FindForward(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t to,
                              bool notEmptyAtFrom, TTextMatch& match) const {
  Chunk ch;
  return Locate(lines, encoding, from, to, notEmptyAtFrom ? PCRE2_NOTEMPTY_ATSTART : 0, ch, match);
}

bool TTextSearch::FindBackward(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t before,
                               TTextMatch& match) const {
  if (lines.Count() == 0) return false;
  from = std::max<std::int64_t>(from, 0);
  before = std::min(before, TextEnd(lines) + 1);
  if (before <= from) return false;
  const int firstAllowed = lines.LineAtOffset(from, nullptr);
  int endLine = std::min(lines.LineAtOffset(before - 1, nullptr), lines.Count() - 1) + 1;
  std::int64_t limit = before;  // matches start before it
  Chunk ch;
  while (endLine > firstAllowed) {
    const std::int64_t endFlat = lines.LineStartOffset(endLine - 1) + lines.LineLength(endLine - 1);
    const int firstLine = std::clamp(
        lines.LineAtOffset(std::max<std::int64_t>(endFlat - static_cast<std::int64_t>(kChunkBytes), 0), nullptr),
        firstAllowed, endLine - 1);
    int builtEnd = endLine;
    ch.Build(lines, encoding, firstLine, builtEnd, kNoLimit);
    bool found = false;
    std::int64_t at = std::max(from, ch.flat);
    bool notEmpty = false;
    for (;;) {
      const bool cut = !ch.last;
      const int rc = Match(code_->code, code_->jit, code_->data, code_->context, ch.utf8, ch.utf8.size(),
                           ch.FromFlat(at), (notEmpty ? PCRE2_NOTEMPTY_ATSTART : 0) | (cut ? PCRE2_PARTIAL_HARD : 0));
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(code_->data);
      if (rc == PCRE2_ERROR_NOMATCH) break;
      if (rc == PCRE2_ERROR_PARTIAL) {
        if (ch.ToFlat(ov[0]) >= limit) break;
        // A match that may run on past the chunk: the same lines and more, from where it stood.
        builtEnd = std::min(lines.Count(), builtEnd + (builtEnd - firstLine) + 64);
        ch.Build(lines, encoding, firstLine, builtEnd, kNoLimit);
        continue;
      }
      const std::int64_t s = ch.ToFlat(ov[0]), e = ch.ToFlat(std::max(ov[0], ov[1]));
      if (s >= limit) break;
      match.Offset = s;
      match.Length = e - s;
      found = true;
      at = e;
      notEmpty = s == e;
      if (at >= ch.FlatEnd() && !notEmpty) break;
    }
    if (found) return true;
    limit = ch.flat;
    endLine = firstLine;
  }
  return false;
}

bool TTextSearch::MatchesAt(const TAdvLines& lines, TTextEncoding encoding, std::int64_t offset,
                            std::int64_t length) const {
  Chunk ch;
  TTextMatch m;
  return Locate(lines, encoding, offset, TextEnd(lines), PCRE2_ANCHORED, ch, m) && m.Offset == offset &&
         m.Length == length;
}

bool TTextSearch::FindInText(std::string_view text, std::size_t from, bool notEmptyAtFrom, TTextMatch& match) const {
  if (from > text.size()) return false;
  const int rc = Match(code_->code, code_->jit, code_->data, code_->context, text, text.size(), from,
                       notEmptyAtFrom ? PCRE2_NOTEMPTY_ATSTART : 0);
  if (rc < 0) return false;
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(code_->data);
  match.Offset = static_cast<std::int64_t>(ov[0]);
  match.Length = static_cast<std::int64_t>(std::max(ov[0], ov[1]) - ov[0]);
  return true;
}

TTextSearch::Template TTextSearch::Parse(std::string_view r, const TToText& toText) const {
  Template t;
  if (!regex_) {
    t.parts.push_back({toText(r), -1});
    return t;
  }
  std::uint32_t groups = 0;
  pcre2_pattern_info(code_->code, PCRE2_INFO_CAPTURECOUNT, &groups);
  std::string literal;
  auto group = [&](int n) {
    if (n < 0 || static_cast<std::uint32_t>(n) > groups)
      throw ESearchError("The replacement names group " + std::to_string(n) + ", which the pattern does not have");
    if (!literal.empty()) t.parts.push_back({toText(literal), -1});
    literal.clear();
    t.parts.push_back({{}, n});
  };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 0; i < r.size(); ++i) {
    const char c = r[i];
    const char d = i + 1 < r.size() ? r[i + 1] : '\0';
    if (c == '$' && d == '$') {
      literal += '$';
      ++i;
    } else if (c == '$' && digit(d)) {
      int n = d - '0';
      ++i;
      if (i + 1 < r.size() && digit(r[i + 1]) && n * 10 + (r[i + 1] - '0') <= static_cast<int>(groups)) {
        n = n * 10 + (r[i + 1] - '0');
        ++i;
      }
      group(n);
    } else if (c == '$' && d == '{') {
      const std::size_t close = r.find('}', i + 2);
      if (close == std::string_view::npos) throw ESearchError("The replacement has \"${\" without \"}\"");
      const std::string name(r.substr(i + 2, close - i - 2));
      if (!name.empty() && std::all_of(name.begin(), name.end(), digit)) {
        group(name.size() > 6 ? INT_MAX : std::stoi(name));
      } else {
        const int n = pcre2_substring_number_from_name(code_->code, reinterpret_cast<PCRE2_SPTR>(name.c_str()));
        if (n < 0) throw ESearchError("The pattern has no group named \"" + name + "\"");
        group(n);
      }
      i = close;
    } else if (c == '\\' && digit(d)) {
      group(d - '0');
      ++i;
    } else if (c == '\\' && (d == '\\' || d == '$')) {
      literal += d;
      ++i;
    } else {
      literal += c;
    }
  }
  if (!literal.empty()) t.parts.push_back({toText(literal), -1});
  return t;
}

namespace {

// Appends the replacement of the match whose groups the ovector holds.
template <typename Chunk, typename Template>
void Expand(const Template& t, const Chunk& ch, const PCRE2_SIZE* ov, int groups, std::string& out) {
  for (const auto& part : t.parts) {
    if (part.group < 0) {
      out += part.bytes;
    } else if (part.group < groups && ov[2 * part.group] != PCRE2_UNSET) {
      out += ch.BytesOf(ov[2 * part.group], ov[2 * part.group + 1]);
    }
  }
}

}  // namespace

std::string TTextSearch::Replacement(const TAdvLines& lines, TTextEncoding encoding, const TTextMatch& match,
                                     std::string_view replacement, const TToText& toText) const {
  const Template t = Parse(replacement, toText);
  Chunk ch;
  TTextMatch m;
  if (!Locate(lines, encoding, match.Offset, TextEnd(lines), PCRE2_ANCHORED, ch, m)) return {};
  std::string out;
  Expand(t, ch, pcre2_get_ovector_pointer(code_->data), static_cast<int>(pcre2_get_ovector_count(code_->data)), out);
  return out;
}

TReplaced TTextSearch::ReplaceAll(const TAdvLines& lines, TTextEncoding encoding, std::int64_t from, std::int64_t to,
                                  std::string_view replacement, const TToText& toText) const {
  TReplaced r;
  const Template t = Parse(replacement, toText);
  if (lines.Count() == 0) return r;
  to = std::min(to, TextEnd(lines));
  from = std::max<std::int64_t>(from, 0);
  if (from > to) return r;
  const int groups = static_cast<int>(pcre2_get_ovector_count(code_->data));
  Chunk ch;
  std::size_t target = kChunkBytes;
  ch.Build(lines, encoding, std::min(lines.LineAtOffset(from, nullptr), lines.Count() - 1), INT_MAX, target);
  std::int64_t at = from;
  bool notEmpty = false;
  std::int64_t copied = 0;      // the bytes up to here are in r.Text (after the first match)
  std::size_t lastSize = 0;     // r.Text's size at the last match's end
  std::int64_t lastEnd = from;  // the last match's end
  for (;;) {
    const bool cut = ch.FlatEnd() < to;
    const std::size_t length = cut ? ch.utf8.size() : ch.FromFlat(to);
    const int rc = Match(code_->code, code_->jit, code_->data, code_->context, ch.utf8, length, ch.FromFlat(at),
                         (notEmpty ? PCRE2_NOTEMPTY_ATSTART : 0) | (cut ? PCRE2_PARTIAL_HARD : 0));
    if (rc == PCRE2_ERROR_PARTIAL) {
      target *= 2;
      ch.Build(lines, encoding, ch.first, INT_MAX, target);
      continue;
    }
    if (rc == PCRE2_ERROR_NOMATCH) {
      if (!cut) break;
      if (r.Count > 0) {
        r.Text += ch.BytesOf(ch.FromFlat(copied), ch.utf8.size());
        copied = ch.FlatEnd();
      }
      at = ch.FlatEnd();
      notEmpty = false;
      target = kChunkBytes;
      ch.Build(lines, encoding, ch.end, INT_MAX, target);
      continue;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(code_->data);
    const std::size_t e8 = std::max(ov[0], ov[1]);
    const std::int64_t s = ch.ToFlat(ov[0]), e = ch.ToFlat(e8);
    if (r.Count == 0) {
      r.Offset = s;
      // Room for the text to grow without moving: pages not written cost nothing.
      ReserveLarge(r.Text, static_cast<std::size_t>(to - s) * 2 + 4096);
    } else {
      r.Text += ch.BytesOf(ch.FromFlat(copied), ov[0]);
    }
    Expand(t, ch, ov, std::min(groups, rc), r.Text);
    ++r.Count;
    copied = lastEnd = e;
    lastSize = r.Text.size();
    at = e;
    notEmpty = s == e;
  }
  r.Text.resize(lastSize);
  r.Length = r.Count > 0 ? lastEnd - r.Offset : 0;
  return r;
}
