#include "highlight/HiLiPHP.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLWordText.h"

namespace {

using hl::EqualNoCase;
using hl::IsDigit;
using hl::IsLetter;
using hl::IsNumberStart;
using hl::IsWord;

bool IsQuote(char c) { return c == '"' || c == '\''; }

// One line of a web document, coloured: one class per character.
class TPHPScanner {
 public:
  TPHPScanner(const TPHPHighLight::TWordLists& words, std::string_view text, TCharCtx* classes,
              const TPHPLineState& state)
      : w_(words),
        text_(text),
        cls_(classes),
        s_(state),
        n_(text.size()),
        attrQuote_(static_cast<char>(state.AttrQuote)) {}

  TPHPLineState Run() {
    for (pos_ = 0; pos_ < n_; ++pos_) {
      Shift(text_[pos_]);
      unsigned char u = static_cast<unsigned char>(Cur());
      Set(u < 32 || Cur() == kVisibleSpace || Cur() == kLineEndMark || IsWord(Cur()) ? ccSpace : ccSym);
      if (s_.InPHP)
        PhpMode();
      else
        HtmlMode();
    }
    s_.AttrQuote = s_.InAttrString ? static_cast<std::uint8_t>(attrQuote_) : 0;
    return s_;
  }

 private:
  char Cur() const { return static_cast<char>(recent_); }
  char Prev() const { return static_cast<char>(recent_ >> 8); }
  char Prev2() const { return static_cast<char>(recent_ >> 16); }
  void Shift(char c) { recent_ = (recent_ << 8) | static_cast<unsigned char>(c); }
  void SetCur(char c) { recent_ = (recent_ & ~0xFFu) | static_cast<unsigned char>(c); }
  bool Last() const { return pos_ + 1 == n_; }
  // The n characters of the text ending at the current position, compared without case.
  bool LastIs(std::string_view what) const {
    return pos_ + 1 >= what.size() && EqualNoCase(text_.substr(pos_ + 1 - what.size(), what.size()), what);
  }
  void Set(TCharCtx c) { cls_[pos_] = c; }
  // Classes of the positions from..to-1 (to is clamped to the line).
  void Paint(std::size_t from, std::size_t to, TCharCtx c) {
    if (to > n_) to = n_;
    for (std::size_t i = from; i < to; ++i) cls_[i] = c;
  }
  void PaintBack(std::size_t count, TCharCtx c) { Paint(pos_ + 1 - count, pos_ + 1, c); }

  // ---- HTML ----
  void HtmlMode() {
    if (hl::Upper(Prev()) == 'H' && hl::Upper(Cur()) == 'P' && LastIs("<?php")) {
      s_.InPHP = 1;
      PaintBack(5, ccKey);
      collecting_ = false;
      return;
    }
    if (Prev() == '<' && Cur() == '?') {
      collecting_ = false;
      // "<?php" is opened at its last letter; the "<" of it does not begin a tag.
      if (pos_ + 4 <= n_ && EqualNoCase(text_.substr(pos_, 4), "?php")) return;
      s_.InPHP = 1;
      PaintBack(2, ccKey);
      return;
    }
    if (static_cast<unsigned char>(Cur()) >= 0xC0) Set(ccSpace);
    if (s_.InHTMLComment) {
      Set(ccCmt);
      if (Prev2() == '-' && Prev() == '-' && Cur() == '>') s_.InHTMLComment = 0;
      if (s_.TagIsStyle && !s_.InTag && Css()) return;
      if (s_.InScript) Script();
      return;
    }
    if (Prev2() == '!' && Prev() == '-' && Cur() == '-' && LastIs("<!--")) {
      s_.InHTMLComment = 1;
      PaintBack(4, ccCmt);
      SetCur('x');
      s_.InTag = 0;
      return;
    }
    if (s_.InScript) {
      Script();
      return;
    }
    if (!collecting_)
      Markup();
    else
      TagName();
    if (collecting_) word_.Append(Cur());
  }

  // Text, tag ends and attributes, outside a tag name.
  void Markup() {
    if (Cur() == '<') {
      collecting_ = true;
      word_.Clear();
      wordStart_ = pos_;
    }
    if (Cur() == '>') {
      Set(ccKey);
      s_.InTag = 0;
      if (s_.TagIsScript) s_.InScript = 1;
    }
    if (!s_.InTag) return;
    if (s_.ExpectAttrName) {
      if (Cur() == '=') s_.ExpectAttrName = 0;
      if (s_.ExpectAttrName) Set(ccVar);
    } else if (!s_.InAttrString) {
      Set(ccAttrVal);
      if (Cur() == ' ') s_.ExpectAttrName = 1;
      if (IsQuote(Cur())) {
        attrQuote_ = Cur();
        s_.InAttrString = 1;
        Set(ccStr);
      }
    } else {
      Set(ccStr);
      if (Cur() == attrQuote_) s_.InAttrString = 0;
    }
  }

  // A tag name that began at "<": "<", an optional "/" and the name.
  void TagName() {
    std::size_t end = pos_;  // one past the name
    bool nameChar = IsWord(Cur());
    if (Last() && nameChar) {
      word_.Append(Cur());
      nameChar = false;
      ++end;
    }
    if (nameChar || Cur() == '/') return;
    s_.InTag = 1;
    s_.ExpectAttrName = 1;
    if (Cur() == '>') {
      s_.InTag = 0;
      ++end;
    }
    std::string_view name = word_.Fits() ? word_.View() : std::string_view();
    bool closing = name.size() >= 2 && name[1] == '/';
    if (!name.empty() && name.front() == '<') name.remove_prefix(1);
    if (!name.empty() && name.front() == '/') name.remove_prefix(1);
    if (!name.empty() && name.back() == '>') name.remove_suffix(1);
    if (w_.HTMLTagWords.Contains(name)) {
      if (closing) {
        s_.TagIsScript = 0;
        s_.TagIsStyle = 0;
      } else {
        s_.TagIsScript = EqualNoCase(name, "SCRIPT");
        if (Cur() == '>' && s_.TagIsScript) s_.InScript = 1;
        s_.TagIsStyle = EqualNoCase(name, "STYLE");
      }
      Paint(wordStart_, end, ccKey);
    }
    collecting_ = false;
  }

  // ---- PHP ----
  void PhpMode() {
    // A word ends at the first character that is not a word character, also
    // when a string, comment or variable begins there.
    if (collecting_ && !IsWord(Cur())) EndPhpWord(pos_);
    if (phpString_) {
      if (escape_)
        escape_ = false;
      else if (Cur() == '\\')
        escape_ = true;
      else if (Cur() == quote_)
        phpString_ = false;
      Set(ccStr);
      return;
    }
    if (IsQuote(Cur()) && !phpLineComment_ && !s_.InBlockComment) {
      quote_ = Cur();
      phpString_ = true;
      Set(ccStr);
      return;
    }
    if (phpLineComment_) {
      Set(ccCmt);
      return;
    }
    if (s_.InBlockComment) {
      Set(ccCmt);
      if (Prev() == '*' && Cur() == '/') {
        SetCur('x');
        s_.InBlockComment = 0;
      }
      return;
    }
    if (Prev() == '/' && Cur() == '/') {
      PaintBack(2, ccCmt);
      phpLineComment_ = true;
      return;
    }
    if (Cur() == '#') {
      Set(ccCmt);
      phpLineComment_ = true;
      return;
    }
    if (Prev() == '/' && Cur() == '*') {
      SetCur('x');
      PaintBack(2, ccCmt);
      s_.InBlockComment = 1;
      return;
    }
    if (Prev() == '?' && Cur() == '>') {
      s_.InPHP = 0;
      PaintBack(2, ccKey);
      return;
    }
    // Variables, numbers and words only colour.
    if (!phpVariable_ && Cur() == '$') {
      Set(ccVar);
      phpVariable_ = true;
      return;
    }
    if (phpVariable_) {
      if (IsWord(Cur())) {
        Set(ccVar);
        return;
      }
      phpVariable_ = false;
    }
    if (Number()) return;
    if (!collecting_ && IsWord(Cur())) {
      collecting_ = true;
      wordStart_ = pos_;
      word_.Clear();
    }
    if (collecting_) {
      word_.Append(Cur());
      if (Last()) EndPhpWord(pos_ + 1);
    }
  }

  void EndPhpWord(std::size_t end) {
    if (word_.Fits() && w_.PHPWords.Contains(word_.View())) Paint(wordStart_, end, ccKey);
    collecting_ = false;
  }

  // The number rule shared by PHP and JavaScript; true when it took the character.
  bool Number() {
    if (!number_) {
      if (IsDigit(Cur()) && IsNumberStart(Prev())) {
        number_ = true;
        Set(ccNum);
        return true;
      }
      return false;
    }
    if (hl::IsNumberPart(Cur())) {
      Set(ccNum);
      return true;
    }
    number_ = false;
    return false;
  }

  // ---- JavaScript and CSS ----
  void Script() {
    Set(IsWord(Cur()) ? ccSpace : ccSym);
    if (s_.InScriptWord && !IsWord(Cur())) EndScriptWord(pos_, w_.JSWords);
    if (!jsString_) {
      if (IsQuote(Cur()) && !jsLineComment_) {
        quote_ = Cur();
        jsString_ = true;
        Set(ccStr);
        return;
      }
    } else {
      if (escape_)
        escape_ = false;
      else if (Cur() == '\\')
        escape_ = true;
      else if (Cur() == quote_)
        jsString_ = false;
      Set(ccStr);
      return;
    }
    if (Cur() == '>' && LastIs("</SCRIPT>")) {
      s_.InScript = 0;
      PaintBack(9, ccKey);
      return;
    }
    if (jsLineComment_) {
      Set(ccCmt);
      return;
    }
    if (Prev() == '/' && Cur() == '/') {
      jsLineComment_ = true;
      PaintBack(2, ccCmt);
      return;
    }
    if (Number()) return;
    ScriptWord(w_.JSWords, false);
  }

  // True when it took the character.
  bool Css() {
    Set(IsWord(Cur()) ? ccSpace : ccSym);
    if (s_.InScriptWord && !IsWord(Cur()) && Cur() != '-') EndScriptWord(pos_, w_.CSSWords);
    if (Cur() == '>' && LastIs("</STYLE>")) {
      s_.TagIsStyle = 0;
      PaintBack(8, ccKey);
      return true;
    }
    if (!number_) {
      if ((IsDigit(Cur()) || Cur() == '#') && IsNumberStart(Prev())) {
        number_ = true;
        Set(ccNum);
        return true;
      }
    } else {
      if (hl::Has(Cur(), hl::kCssNumber)) {
        Set(ccNum);
        return true;
      }
      number_ = false;
    }
    ScriptWord(w_.CSSWords, true);
    return false;
  }

  // A JavaScript or CSS word starts at a letter; CSS words also run over "-".
  void ScriptWord(const TWordList& list, bool css) {
    if (!s_.InScriptWord && IsLetter(Cur())) {
      s_.InScriptWord = 1;
      scriptWord_.Clear();
      wordStart_ = pos_;
    }
    if (!s_.InScriptWord) return;
    bool part = IsWord(Cur()) || (css && Cur() == '-');
    if (Last() && part) {
      scriptWord_.Append(Cur());
      EndScriptWord(pos_ + 1, list);
      return;
    }
    if (!part) {
      EndScriptWord(pos_, list);
      return;
    }
    scriptWord_.Append(Cur());
  }

  void EndScriptWord(std::size_t end, const TWordList& list) {
    if (scriptWord_.Fits() && list.Contains(scriptWord_.View())) Paint(wordStart_, end, ccKey);
    s_.InScriptWord = 0;
  }

  const TPHPHighLight::TWordLists& w_;
  std::string_view text_;
  TCharCtx* cls_;
  TPHPLineState s_;
  std::size_t n_;
  std::size_t pos_ = 0;
  // The last three characters, the current one in the low byte. One word,
  // written whole: the pairs the scanner compares are read from what was
  // just stored, never pieced together from separate byte stores.
  std::uint32_t recent_ = ' ';
  // A tag name (HTML) or a PHP word being collected; one flag for both.
  bool collecting_ = false;
  std::size_t wordStart_ = 0;  // shared with the JavaScript and CSS words
  hl::TWordText word_, scriptWord_;
  bool phpLineComment_ = false, phpString_ = false, phpVariable_ = false;
  bool jsString_ = false, jsLineComment_ = false;
  char quote_ = 0;
  bool escape_ = false;
  bool number_ = false;
  char attrQuote_;
};

// ---- the end state alone ----

// Sets of bytes, for passing over the characters that cannot change the state.
struct TByteSet {
  bool has[256] = {};
  constexpr explicit TByteSet(std::string_view chars) {
    for (char c : chars) has[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return has[static_cast<unsigned char>(c)]; }
};

// A few bytes to stop at, looked for 16 bytes at a time: the bytes and, made
// once, a vector of each.
template <std::size_t K>
struct TStops {
  std::array<char, K> chars;
#if defined(__SSE2__)
  __m128i want[K];
#endif
  explicit TStops(const std::array<char, K>& c) : chars(c) {
#if defined(__SSE2__)
    for (std::size_t k = 0; k < K; ++k) want[k] = _mm_set1_epi8(c[k]);
#endif
  }
};

// PHP code: strings, comments and "?>" begin at these.
const TStops<5> kPhpCodeStops({'"', '\'', '/', '#', '?'});
const TStops<1> kSlashStops({'/'});
// HTML text, HTML comments, JavaScript line comments: tags, openers, "-->", "</script>".
const TStops<2> kAngleStops({'<', '>'});
const TStops<5> kScriptCodeBreaks({'"', '\'', '/', '<', '>'});
// JavaScript and CSS code between words and numbers: words, numbers, strings,
// comments and the ends of the element or the comment begin at these.
constexpr TByteSet kScriptCodeStops("\"'/<>_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
constexpr TByteSet kCssCodeStops("#<>_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

#if defined(__SSE2__)
template <std::size_t K>
__attribute__((no_sanitize("address"))) inline unsigned StopMask(const char* at, const TStops<K>& stops) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i hit = _mm_cmpeq_epi8(b, stops.want[0]);
  for (std::size_t k = 1; k < K; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(b, stops.want[k]));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}
#endif

// The first position of p[from .. n - 1] that holds one of `stops`; n when
// none does. The last piece of a line is read 16 bytes wide as well where
// those bytes lie in the same memory page (bytes past the line are never
// looked at).
template <std::size_t K>
__attribute__((no_sanitize("address"))) inline std::size_t FindAny(const char* p, std::size_t from, std::size_t n,
                                                                   const TStops<K>& stops) {
#if defined(__SSE2__)
  for (; from + 16 <= n; from += 16)
    if (const unsigned mask = StopMask(p + from, stops)) return from + static_cast<std::size_t>(__builtin_ctz(mask));
  if (from < n && (reinterpret_cast<std::uintptr_t>(p + from) & 4095) <= 4096 - 16) {
    const unsigned mask = StopMask(p + from, stops) & ((1u << (n - from)) - 1);
    return mask != 0 ? from + static_cast<std::size_t>(__builtin_ctz(mask)) : n;
  }
#endif
  for (; from < n; ++from)
    for (char c : stops.chars)
      if (p[from] == c) return from;
  return n;
}

// The n characters of the text ending at `pos`, compared without case.
inline bool EndsWith(const char* p, std::size_t pos, std::string_view what) {
  return pos + 1 >= what.size() && EqualNoCase({p + pos + 1 - what.size(), what.size()}, what);
}

// A "<" at or up to three characters before `pos`: the characters ahead may
// complete "<?php" or "<!--".
inline bool NearOpener(const char* p, std::size_t pos) {
  if (pos < 3) {
    for (std::size_t k = 0; k <= pos; ++k)
      if (p[k] == '<') return true;
    return false;
  }
  std::uint32_t four;
  std::memcpy(&four, p + pos - 3, 4);
  const std::uint32_t x = four ^ 0x3C3C3C3Cu;  // a zero byte where "<" is
  return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
}

// The line-local part of the scan: what a line starts afresh.
struct TLineLocals {
  // The last two characters seen, the last one in the low byte.
  std::uint32_t recent = ' ';
  bool phpLineComment = false, phpString = false, escape = false;
  char quote = 0;
  bool tagName = false;  // between a "<" and the end of the tag name after it
  std::size_t nameStart = 0;
  char attrQuote = 0;   // the quote of the attribute value open
  bool number = false;  // a JavaScript or CSS number goes on
  bool jsString = false, jsLineComment = false;
  char Last() const { return static_cast<char>(recent); }
  void See(char c) { recent = (recent << 8) | static_cast<unsigned char>(c); }
  // The characters from .. to - 1 were passed over without changing the state.
  void Passed(const char* p, std::size_t from, std::size_t to) {
    if (to == from + 1)
      See(p[from]);
    else if (to > from)
      recent = static_cast<std::uint32_t>(static_cast<unsigned char>(p[to - 2])) << 8 |
               static_cast<unsigned char>(p[to - 1]);
  }
};

// Advances over PHP code from `pos` until the block ends ("?>", the position
// after it is returned) or the line does (n). Strings are passed to their
// closing quote or a backslash, block comments to their next "/", code to the
// next byte that may begin a string, a comment or "?>"; a "/" or "?" is
// followed by one step on the next character, which may complete the pair.
std::size_t PassPHP(const char* p, std::size_t pos, std::size_t n, TPHPLineState& s, TLineLocals& l) {
  while (pos < n) {
    if (l.phpLineComment) return n;
    if (l.phpString) {
      if (l.escape) {
        l.escape = false;
        l.See(p[pos++]);
        continue;
      }
      const std::size_t q = FindAny(p, pos, n, TStops<2>({l.quote, '\\'}));
      if (q == n) return n;
      l.Passed(p, pos, q);
      l.See(p[q]);
      if (p[q] == '\\')
        l.escape = true;
      else
        l.phpString = false;
      pos = q + 1;
      continue;
    }
    if (s.InBlockComment) {
      const std::size_t q = FindAny(p, pos, n, kSlashStops);
      if (q == n) return n;
      const char prev = q > pos ? p[q - 1] : l.Last();
      l.Passed(p, pos, q);
      pos = q + 1;
      if (prev == '*') {
        l.See('x');
        s.InBlockComment = 0;
      } else {
        l.See('/');
      }
      continue;
    }
    const char last = l.Last();
    const std::size_t q = last == '/' || last == '?' ? pos : FindAny(p, pos, n, kPhpCodeStops);
    if (q == n) return n;
    const char prev = q > pos ? p[q - 1] : last, cur = p[q];
    l.Passed(p, pos, q);
    l.See(cur);
    pos = q + 1;
    if (IsQuote(cur)) {
      l.quote = cur;
      l.phpString = true;
    } else if ((prev == '/' && cur == '/') || cur == '#') {
      l.phpLineComment = true;
    } else if (prev == '/' && cur == '*') {
      l.recent = (l.recent & ~0xFFu) | static_cast<unsigned char>('x');
      s.InBlockComment = 1;
    } else if (prev == '?' && cur == '>') {
      s.InPHP = 0;
      return pos;
    }
  }
  return n;
}

// The end of a tag name at p[end] (the character after the name, or its last
// character at the end of the line): the tag's attributes follow, and a known
// tag sets the script and style flags. The name began at the "<" at `start`.
void EndTagName(const TWordList& tags, std::string_view text, std::size_t start, std::size_t end, TPHPLineState& s) {
  const char cur = text[end];
  const std::size_t nameEnd = IsWord(cur) ? end + 1 : end;
  s.InTag = cur != '>';
  s.ExpectAttrName = 1;
  std::string_view name = nameEnd - start <= hl::TWordText::kCapacity ? text.substr(start, nameEnd - start) : "";
  const bool closing = name.size() >= 2 && name[1] == '/';
  if (!name.empty() && name.front() == '<') name.remove_prefix(1);
  if (!name.empty() && name.front() == '/') name.remove_prefix(1);
  if (!name.empty() && name.back() == '>') name.remove_suffix(1);
  // A known tag matters only where it changes the script and style
  // flags: a script or style tag, or any tag while one is set.
  const bool isScript = name.size() == 6 && EqualNoCase(name, "SCRIPT");
  const bool isStyle = name.size() == 5 && EqualNoCase(name, "STYLE");
  if ((s.TagIsScript || s.TagIsStyle || isScript || isStyle) && tags.Contains(name)) {
    if (closing) {
      s.TagIsScript = 0;
      s.TagIsStyle = 0;
    } else {
      s.TagIsScript = isScript;
      if (cur == '>' && isScript) s.InScript = 1;
      s.TagIsStyle = isStyle;
    }
  }
}

// Attribute names, "=", values and quotes inside a tag from `q` up to the
// next "<" or ">" (returned) or the end of the line (n), taken one after
// another as the markup rule takes them: names and the places between values
// a byte at a time (they are short), quoted values up to their quote.
std::size_t PassAttributes(const char* p, std::size_t q, std::size_t n, TPHPLineState& s, char& attrQuote) {
  bool name = s.ExpectAttrName, quoted = s.InAttrString;
  char quote = attrQuote;
  for (; q < n; ++q) {
    // An attribute name comes first, also after a quote left open.
    if (quoted && !name) {
      q = FindAny(p, q, n, TStops<3>({quote, '<', '>'}));
      if (q == n || p[q] != quote) break;
      quoted = false;
      continue;
    }
    const char c = p[q];
    if (c == '<' || c == '>') break;
    if (name) {
      name = c != '=';
    } else if (c == ' ') {
      name = true;
    } else if (IsQuote(c)) {
      quote = c;
      quoted = true;
    }
  }
  if (s.ExpectAttrName != name) s.ExpectAttrName = name;
  if (s.InAttrString != quoted) s.InAttrString = quoted;
  attrQuote = quote;
  return q;
}

// Advances over HTML text and tags from `pos` (no "<" among the three
// characters before it) until the line ends (n) or something begins that
// the character steps take: a script body, or a "<" before "?" or "!"
// (returned: the position to step from next).
std::size_t PassMarkup(const TWordList& tags, std::string_view text, std::size_t pos, TPHPLineState& s,
                       TLineLocals& l) {
  const char* const p = text.data();
  const std::size_t n = text.size();
  while (pos < n) {
    const std::size_t q = s.InTag ? PassAttributes(p, pos, n, s, l.attrQuote) : FindAny(p, pos, n, kAngleStops);
    if (q == n) return n;
    if (p[q] == '>') {
      l.Passed(p, pos, q);
      l.See('>');
      pos = q + 1;
      s.InTag = 0;
      if (s.TagIsScript) {
        s.InScript = 1;
        return pos;
      }
      continue;
    }
    // A "<": a tag name follows, but for the openers the steps take.
    if (q + 1 == n) return n;
    if (p[q + 1] == '?' || p[q + 1] == '!') {
      l.Passed(p, pos, q);
      return q;
    }
    // "<", an optional "/" and the name; the line's last character ends it.
    std::size_t end = q + 1;
    while (end < n && ((IsWord(p[end]) && end + 1 < n) || p[end] == '/')) ++end;
    if (end == n) return n;
    EndTagName(tags, text, q, end, s);
    l.Passed(p, pos, end);
    l.See(p[end]);
    pos = end + 1;
    // A "<" that ends a name may begin an opener with the characters after it.
    if (s.InScript || p[end] == '<') return pos;
  }
  return n;
}

// A "<" at `q` that "?" or "!" follows: it may begin an opener, which the
// character steps take.
inline bool OpenerAt(const char* p, std::size_t q, std::size_t n) {
  return q + 1 < n && (p[q + 1] == '?' || p[q + 1] == '!');
}

// Advances over the body of a script element from `pos` (no "<" among the
// three characters before it): strings to their quote, a backslash or a "<",
// line comments to the next "<" or ">", code a character at a time through
// the word and number rules. Returns where the element ends (the position
// after "</script>"), an opener may begin (its "<"), or the line does (n).
std::size_t PassScript(const char* p, std::size_t pos, std::size_t n, TPHPLineState& s, TLineLocals& l) {
  std::size_t plainTo = 0;  // p[pos .. plainTo - 1] holds none of kScriptCodeBreaks
  while (pos < n) {
    if (l.jsString || l.jsLineComment) {
      if (l.escape) {
        // An escaped "<" still begins an opener.
        l.escape = false;
        l.See(p[pos]);
        if (p[pos++] == '<' && OpenerAt(p, pos - 1, n)) return pos;
        continue;
      }
      const std::size_t q =
          l.jsString ? FindAny(p, pos, n, TStops<3>({l.quote, '\\', '<'})) : FindAny(p, pos, n, kAngleStops);
      if (q == n) return n;
      l.Passed(p, pos, q);
      const char cur = p[q];
      if (cur == '<' && OpenerAt(p, q, n)) return q;
      l.See(cur);
      pos = q + 1;
      if (!l.jsString) {
        if (cur == '>' && EndsWith(p, q, "</SCRIPT>")) {
          s.InScript = 0;
          return pos;
        }
      } else if (cur == '\\') {
        l.escape = true;
      } else if (cur == l.quote) {
        l.jsString = false;
      }
      continue;
    }
    // Code. Up to the next byte that may begin a string, a comment, an
    // opener or the element's end, only the word and number flags change,
    // and what that byte leads to clears them: both are dropped. Where no
    // such byte follows, they are known after the last byte that ends a
    // word and a number; the characters after it are stepped.
    if (pos >= plainTo) {
      std::size_t q = FindAny(p, pos, n, kScriptCodeBreaks);
      if (q == n) {
        while (q > pos && (IsWord(p[q - 1]) || p[q - 1] == '.')) --q;
        plainTo = n;
      }
      if (q > pos) {
        if (s.InScriptWord) s.InScriptWord = 0;
        l.number = false;
        l.Passed(p, pos, q);
        pos = q;
        if (pos == n) return n;
      }
    }
    const char cur = p[pos], prev = l.Last();
    if (cur == '<' && OpenerAt(p, pos, n)) return pos;
    l.See(cur);
    ++pos;
    if (s.InScriptWord && !IsWord(cur)) s.InScriptWord = 0;
    if (IsQuote(cur)) {
      l.quote = cur;
      l.jsString = true;
      continue;
    }
    if (cur == '>' && EndsWith(p, pos - 1, "</SCRIPT>")) {
      s.InScript = 0;
      return pos;
    }
    if (prev == '/' && cur == '/') {
      l.jsLineComment = true;
      continue;
    }
    if (!l.number) {
      if (hl::IsDigit(cur) && IsNumberStart(prev)) {
        l.number = true;
        continue;
      }
    } else if (hl::IsNumberPart(cur)) {
      continue;
    } else {
      l.number = false;
    }
    if (!s.InScriptWord && IsLetter(cur)) s.InScriptWord = 1;
    if (s.InScriptWord && (pos == n || !IsWord(cur))) s.InScriptWord = 0;
  }
  return n;
}

// Advances `s` over one line exactly as TPHPScanner does, without the classes
// and the word lookups that only colour (PHP, JavaScript and CSS words). One
// loop with the line's own state in locals; after each character that may
// change the state it passes over the run of characters that cannot, to the
// next one that may. The record is changed where it stands, a field at a
// time: a record put together in registers and stored byte by byte would be
// read back whole (compared, hashed) before those stores are done.
void AdvancePHPLine(const TWordList& tags, std::string_view text, TPHPLineState& s) {
  const char* const p = text.data();
  const std::size_t n = text.size();
  TLineLocals l;
  // The last three characters, the current one in the low byte.
  std::uint32_t& recent = l.recent;
  const auto setCur = [&recent](char c) { recent = (recent & ~0xFFu) | static_cast<unsigned char>(c); };
  bool& tagName = l.tagName;
  std::size_t& nameStart = l.nameStart;
  bool& jsString = l.jsString;
  bool& jsLineComment = l.jsLineComment;
  bool& escape = l.escape;
  bool& number = l.number;
  char& quote = l.quote;
  char& attrQuote = l.attrQuote;
  attrQuote = static_cast<char>(s.AttrQuote);

  for (std::size_t pos = 0; pos < n; ++pos) {
    if (s.InPHP) {
      pos = PassPHP(p, pos, n, s, l);
      if (pos >= n) break;
    } else if (!s.InHTMLComment && !s.InScript && !tagName && (pos == 0 || !NearOpener(p, pos - 1))) {
      pos = PassMarkup(tags, text, pos, s, l);
      if (pos >= n) break;
    } else if (s.InScript && !s.InHTMLComment && (pos == 0 || !NearOpener(p, pos - 1))) {
      pos = PassScript(p, pos, n, s, l);
      if (pos >= n) break;
    }
    recent = (recent << 8) | static_cast<unsigned char>(p[pos]);
    const char cur = static_cast<char>(recent), prev = static_cast<char>(recent >> 8),
               prev2 = static_cast<char>(recent >> 16);
    const bool last = pos + 1 == n;
    // The number rule shared by JavaScript and CSS; true when it took the character.
    const auto numberTakes = [&](std::uint8_t part, bool hash) {
      if (!number) {
        if ((hl::IsDigit(cur) || (hash && cur == '#')) && IsNumberStart(prev)) return number = true;
        return false;
      }
      if (hl::Has(cur, part)) return true;
      return number = false;
    };
    // A JavaScript or CSS word starts at a letter and ends after its last
    // character; CSS words also run over "-".
    const auto scriptWord = [&](bool css) {
      if (!s.InScriptWord && IsLetter(cur)) s.InScriptWord = 1;
      if (s.InScriptWord && (last || !(IsWord(cur) || (css && cur == '-')))) s.InScriptWord = 0;
    };
    const auto script = [&] {
      if (s.InScriptWord && !IsWord(cur)) s.InScriptWord = 0;
      if (jsString) {
        if (escape)
          escape = false;
        else if (cur == '\\')
          escape = true;
        else if (cur == quote)
          jsString = false;
      } else if (IsQuote(cur) && !jsLineComment) {
        quote = cur;
        jsString = true;
      } else if (cur == '>' && EndsWith(p, pos, "</SCRIPT>")) {
        s.InScript = 0;
      } else if (jsLineComment) {
      } else if (prev == '/' && cur == '/') {
        jsLineComment = true;
      } else if (!numberTakes(hl::kNumberPart, false)) {
        scriptWord(false);
      }
    };
    // True when it took the character.
    const auto css = [&] {
      if (s.InScriptWord && !IsWord(cur) && cur != '-') s.InScriptWord = 0;
      if (cur == '>' && EndsWith(p, pos, "</STYLE>")) {
        s.TagIsStyle = 0;
        return true;
      }
      if (numberTakes(hl::kCssNumber, true)) return true;
      scriptWord(true);
      return false;
    };

    if (hl::Upper(prev) == 'H' && hl::Upper(cur) == 'P' && EndsWith(p, pos, "<?php")) {
      s.InPHP = 1;
      tagName = false;
    } else if (prev == '<' && cur == '?') {
      tagName = false;
      // "<?php" is opened at its last letter; the "<" of it does not begin a tag.
      if (!(pos + 4 <= n && EqualNoCase(text.substr(pos, 4), "?php"))) s.InPHP = 1;
    } else if (s.InHTMLComment) {
      if (prev2 == '-' && prev == '-' && cur == '>') s.InHTMLComment = 0;
      if (!(s.TagIsStyle && !s.InTag && css()) && s.InScript) script();
    } else if (prev2 == '!' && prev == '-' && cur == '-' && EndsWith(p, pos, "<!--")) {
      s.InHTMLComment = 1;
      setCur('x');
      s.InTag = 0;
    } else if (s.InScript) {
      script();
    } else if (!tagName) {
      // Text, tag ends and attributes.
      if (cur == '<') {
        tagName = true;
        nameStart = pos;
      }
      if (cur == '>') {
        s.InTag = 0;
        if (s.TagIsScript) s.InScript = 1;
      }
      if (!s.InTag) {
      } else if (s.ExpectAttrName) {
        if (cur == '=') s.ExpectAttrName = 0;
      } else if (!s.InAttrString) {
        if (cur == ' ') s.ExpectAttrName = 1;
        if (IsQuote(cur)) {
          attrQuote = cur;
          s.InAttrString = 1;
        }
      } else if (cur == attrQuote) {
        s.InAttrString = 0;
      }
    } else if ((IsWord(cur) && !last) || cur == '/') {
      // The tag name goes on: "<", an optional "/" and the name.
    } else {
      EndTagName(tags, text, nameStart, pos, s);
      tagName = false;
    }

    // The run of characters ahead that leaves the state as it is.
    const std::size_t from = pos + 1;
    if (from >= n) break;
    const char now = static_cast<char>(recent);
    std::size_t q = from;
    if (s.InPHP) {
      // The next round passes over the PHP code.
    } else if (tagName) {
      // Name characters, but the line's last, which ends the name.
      while (q + 1 < n && (IsWord(p[q]) || p[q] == '/')) ++q;
    } else if (NearOpener(p, pos)) {
    } else if (s.InHTMLComment) {
      if (s.InScript) {
      } else if (!s.TagIsStyle || s.InTag) {
        q = FindAny(p, from, n, kAngleStops);
      } else if (s.InScriptWord && number) {
      } else if (number) {
        while (q < n && hl::Has(p[q], hl::kCssNumber)) ++q;
      } else if (!s.InScriptWord) {
        while (q < n && !kCssCodeStops(p[q])) ++q;
      } else {
        while (q + 1 < n && (IsLetter(p[q]) || p[q] == '-')) ++q;
      }
    } else if (s.InScript) {
      if (jsString) {
        if (!escape) q = FindAny(p, from, n, TStops<3>({quote, '\\', '<'}));
      } else if (jsLineComment) {
        q = FindAny(p, from, n, kAngleStops);
      } else if (s.InScriptWord && number) {
      } else if (number) {
        while (q < n && hl::IsNumberPart(p[q])) ++q;
      } else if (!s.InScriptWord) {
        while (q < n && !kScriptCodeStops(p[q])) ++q;
      } else {
        while (q + 1 < n && IsLetter(p[q])) ++q;
      }
    } else if (!s.InTag) {
      q = FindAny(p, from, n, kAngleStops);
    } else {
      // None of the attribute characters can complete an opener: no "<" is near.
      q = PassAttributes(p, q, n, s, attrQuote);
    }
    if (q <= from) continue;
    // The characters passed over become the previous ones.
    const char before = q - 2 > pos ? p[q - 2] : now;
    recent = static_cast<std::uint32_t>(static_cast<unsigned char>(before)) << 8 | static_cast<unsigned char>(p[q - 1]);
    pos = q - 1;
  }
  const std::uint8_t open = s.InAttrString ? static_cast<std::uint8_t>(attrQuote) : 0;
  if (s.AttrQuote != open) s.AttrQuote = open;
}

}  // namespace

const TPHPHighLight::TWordLists& TPHPHighLight::SharedWords() {
  static const TWordLists words{SharedWordList("PHPWrd"), SharedWordList("HTMLTags"), SharedWordList("JSWrd"),
                                SharedWordList("CSSWrd")};
  return words;
}

TPHPHighLight::TPHPHighLight(TAdvLines& lines) : TStateHighLight(lines, true), Words(SharedWords()) {
  StartState.ExpectAttrName = 1;
}

void TPHPHighLight::StartInStyleSheet() {
  StartState.InHTMLComment = 1;
  StartState.TagIsStyle = 1;
}

void TPHPHighLight::StartInScript() { StartState.InScript = 1; }

void TPHPHighLight::ScanLine(std::string_view text, TPHPLineState& state) {
  Classes.resize(text.size());
  state = TPHPScanner(Words, text, Classes.data(), state).Run();
}

void TPHPHighLight::AdvanceState(std::string_view text, TPHPLineState& state) {
  AdvancePHPLine(Words.HTMLTagWords, text, state);
}
