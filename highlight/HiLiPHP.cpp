#include "highlight/HiLiPHP.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

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

// Sets of bytes, for skipping over the characters that cannot change the state.
struct TByteSet {
  bool has[256] = {};
  constexpr explicit TByteSet(std::string_view chars) {
    for (char c : chars) has[static_cast<unsigned char>(c)] = true;
  }
  bool operator()(char c) const { return has[static_cast<unsigned char>(c)]; }
};

// Up to six bytes to stop at, looked for 16 bytes at a time.
struct TAnyOf {
  char c[6];
  constexpr TAnyOf(std::initializer_list<char> chars) : c{} {
    std::size_t i = 0;
    for (char ch : chars) c[i++] = ch;
    for (; i < 6; ++i) c[i] = c[0];  // repeats change nothing
  }
  bool operator()(char ch) const {
    return ch == c[0] || ch == c[1] || ch == c[2] || ch == c[3] || ch == c[4] || ch == c[5];
  }
};

// PHP code: strings, comments and "?>" begin at these.
constexpr TAnyOf kPhpCodeStops{'"', '\'', '/', '#', '?'};
// HTML text, HTML comments, JavaScript line comments: tags, openers, "-->", "</script>".
constexpr TAnyOf kAngleStops{'<', '>'};
constexpr TAnyOf kAttrNameStops{'<', '>', '='};
constexpr TAnyOf kAttrValueStops{'<', '>', ' ', '"', '\''};
// JavaScript and CSS code between words and numbers: words, numbers, strings,
// comments and the ends of the element or the comment begin at these.
constexpr TByteSet kScriptCodeStops("\"'/<>_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
constexpr TByteSet kCssCodeStops("#<>_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

// One line of a web document. Colour = false advances the state only: it
// leaves out the classes and the word lookups that do not change the state
// (PHP, JavaScript and CSS words), and nothing else.
template <bool Colour>
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
      if constexpr (!Colour) Skip();
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
  void Set(TCharCtx c) {
    if constexpr (Colour) cls_[pos_] = c;
  }
  // Classes of the positions from..to-1 (to is clamped to the line).
  void Paint(std::size_t from, std::size_t to, TCharCtx c) {
    if constexpr (Colour) {
      if (to > n_) to = n_;
      for (std::size_t i = from; i < to; ++i) cls_[i] = c;
    }
  }
  void PaintBack(std::size_t count, TCharCtx c) { Paint(pos_ + 1 - count, pos_ + 1, c); }

  // ---- skipping (state-only scan) ----

  // Moves to just before the next position that may change the state.
  void Skip() {
    std::size_t from = pos_ + 1, q;
    if (from >= n_) return;
    if (s_.InPHP) {
      if (phpLineComment_)
        q = n_;
      else if (phpString_)
        q = escape_ ? from : FindAny(from, {quote_, '\\'});
      else if (s_.InBlockComment)
        q = FindAny(from, {'/'});
      else if (Cur() == '/' || Cur() == '?')
        return;  // the next character may complete a pair
      else
        q = FindAny(from, kPhpCodeStops);
    } else {
      if (collecting_ || NearOpener()) return;
      if (s_.InHTMLComment) {
        if (s_.InScript) return;
        q = s_.TagIsStyle && !s_.InTag ? SkipCode(from, kCssCodeStops, hl::kCssNumber, true)
                                       : FindAny(from, kAngleStops);
      } else if (s_.InScript) {
        if (jsString_)
          q = escape_ ? from : FindAny(from, {quote_, '\\', '<'});
        else if (jsLineComment_)
          q = FindAny(from, kAngleStops);
        else
          q = SkipCode(from, kScriptCodeStops, hl::kNumberPart, false);
      } else if (!s_.InTag) {
        q = FindAny(from, kAngleStops);
      } else if (s_.ExpectAttrName) {
        q = FindAny(from, kAttrNameStops);
      } else if (!s_.InAttrString) {
        q = FindAny(from, kAttrValueStops);
      } else {
        q = FindAny(from, {attrQuote_, '<', '>'});
      }
    }
    if (q <= from) return;
    // The skipped characters are unchanged text: they become the previous ones.
    const char before = q - 2 > pos_ ? text_[q - 2] : Cur();
    recent_ = (recent_ & 0xFF0000u) | static_cast<std::uint32_t>(static_cast<unsigned char>(before)) << 8 |
              static_cast<unsigned char>(text_[q - 1]);
    pos_ = q - 1;
  }

  // Script or style sheet code outside strings and comments: the characters
  // that leave the state as it is. Between words and numbers, every one but
  // the stops; inside a number, the number's; inside a word, letters (and "-"
  // in a style sheet) but the line's last, which ends the word.
  std::size_t SkipCode(std::size_t from, const TByteSet& stops, std::uint8_t numberPart, bool css) const {
    if (s_.InScriptWord && number_) return from;
    if (number_) return Find(from, [numberPart](char c) { return !hl::Has(c, numberPart); });
    if (!s_.InScriptWord) return Find(from, stops);
    std::size_t q = from;
    while (q + 1 < n_ && (IsLetter(text_[q]) || (css && text_[q] == '-'))) ++q;
    return q;
  }

  // The first position from `from` on that holds one of `stops`; n_ when none does.
  // The last piece of a line is read 16 bytes wide as well where those bytes
  // lie in the same memory page (bytes past the line are never looked at).
  __attribute__((no_sanitize("address"))) std::size_t FindAny(std::size_t from, const TAnyOf& stops) const {
    const char* p = text_.data();
#if defined(__SSE2__)
    const __m128i c0 = _mm_set1_epi8(stops.c[0]), c1 = _mm_set1_epi8(stops.c[1]), c2 = _mm_set1_epi8(stops.c[2]),
                  c3 = _mm_set1_epi8(stops.c[3]), c4 = _mm_set1_epi8(stops.c[4]), c5 = _mm_set1_epi8(stops.c[5]);
    for (; from < n_; from += 16) {
      const char* at = p + from;
      const bool whole = from + 16 <= n_;
      if (!whole && (reinterpret_cast<std::uintptr_t>(at) & 4095) > 4096 - 16) break;
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, c0), _mm_cmpeq_epi8(b, c1)),
                                                    _mm_or_si128(_mm_cmpeq_epi8(b, c2), _mm_cmpeq_epi8(b, c3))),
                                       _mm_or_si128(_mm_cmpeq_epi8(b, c4), _mm_cmpeq_epi8(b, c5)));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (!whole) mask &= (1u << (n_ - from)) - 1;
      if (mask != 0) return from + static_cast<std::size_t>(__builtin_ctz(mask));
      if (!whole) return n_;
    }
#endif
    while (from < n_ && !stops(p[from])) ++from;
    return from;
  }

  template <class Stop>
  std::size_t Find(std::size_t from, const Stop& stop) const {
    while (from < n_ && !stop(text_[from])) ++from;
    return from;
  }

  // A "<" at or up to three characters before the current position: the
  // characters ahead may complete "<?php" or "<!--".
  bool NearOpener() const {
    if (pos_ < 3) return text_.substr(0, pos_ + 1).find('<') != std::string_view::npos;
    std::uint32_t four;
    std::memcpy(&four, text_.data() + pos_ - 3, 4);
    const std::uint32_t x = four ^ 0x3C3C3C3Cu;  // a zero byte where "<" is
    return ((x - 0x01010101u) & ~x & 0x80808080u) != 0;
  }

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
    // Without colours a known tag matters only where it changes the script
    // and style flags: a script or style tag, or any tag while one is set.
    const bool matters =
        Colour || s_.TagIsScript || s_.TagIsStyle || EqualNoCase(name, "SCRIPT") || EqualNoCase(name, "STYLE");
    if (matters && w_.HTMLTagWords.Contains(name)) {
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
    if constexpr (!Colour) return;
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
    if constexpr (Colour)
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
      if constexpr (Colour) scriptWord_.Append(Cur());
      EndScriptWord(pos_ + 1, list);
      return;
    }
    if (!part) {
      EndScriptWord(pos_, list);
      return;
    }
    if constexpr (Colour) scriptWord_.Append(Cur());
  }

  void EndScriptWord(std::size_t end, const TWordList& list) {
    if constexpr (Colour)
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

}  // namespace

TPHPHighLight::TPHPHighLight(TAdvLines& lines) : TStateHighLight(lines, true) {
  LoadWordList(Words.PHPWords, "PHPWrd");
  LoadWordList(Words.HTMLTagWords, "HTMLTags");
  LoadWordList(Words.JSWords, "JSWrd");
  LoadWordList(Words.CSSWords, "CSSWrd");
  StartState.ExpectAttrName = 1;
}

void TPHPHighLight::StartInStyleSheet() {
  StartState.InHTMLComment = 1;
  StartState.TagIsStyle = 1;
}

void TPHPHighLight::StartInScript() { StartState.InScript = 1; }

void TPHPHighLight::ScanLine(std::string_view text, TPHPLineState& state) {
  Classes.resize(text.size());
  state = TPHPScanner<true>(Words, text, Classes.data(), state).Run();
}

void TPHPHighLight::AdvanceState(std::string_view text, TPHPLineState& state) {
  state = TPHPScanner<false>(Words, text, nullptr, state).Run();
}
