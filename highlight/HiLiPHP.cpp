#include "highlight/HiLiPHP.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

#include "highlight/SyntaxHLChars.h"
#include "highlight/SyntaxHLFind.h"
#include "highlight/SyntaxHLWordText.h"

namespace {

using hl::EqualNoCase;
using hl::FindAny;
using hl::IsDigit;
using hl::IsLetter;
using hl::IsNumberStart;
using hl::IsWord;
using hl::TStops;

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The bytes a run of characters that cannot change the state ends at.
// PHP code: strings, comments and "?>" begin at these.
const TStops<5> kPhpCodeStops({'"', '\'', '/', '#', '?'});
const TStops<2> kDoubleQuoteStops({'"', '\\'}), kSingleQuoteStops({'\'', '\\'});
const TStops<1> kSlashStops({'/'});
// HTML text, HTML comments, JavaScript line comments: tags, openers, "-->", "</script>".
const TStops<2> kAngleStops({'<', '>'});
// Inside a tag: the end of an attribute name, of an unquoted value.
const TStops<3> kAttrNameStops({'=', '<', '>'});
const TStops<5> kAttrValueStops({' ', '"', '\'', '<', '>'});
const TStops<5> kScriptCodeBreaks({'"', '\'', '/', '<', '>'});
// JavaScript and CSS code between words and numbers: words, numbers, strings,
// comments and the ends of the element or the comment begin at these.
constexpr hl::TByteSet kScriptCodeStops("\"'/<>_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
constexpr hl::TByteSet kCssCodeStops("#<>_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

// Where a character inside a tag, after its name, leaves the attributes:
// reading a name (until "="), an unquoted value (until " ") or a quoted one.
struct TAttrState {
  bool name, quoted;
  char quote;
};

// The attribute rule for `c` inside a tag (a ">" has ended it before);
// returns the class of `c`, or none where "=" ends a name: it keeps its class.
inline std::optional<TCharCtx> AttrStep(TAttrState& a, char c) {
  if (a.name) {
    if (c != '=') return ccVar;
    a.name = false;
    return std::nullopt;
  }
  if (a.quoted) {
    if (c == a.quote) a.quoted = false;
    return ccStr;
  }
  if (c == ' ') a.name = true;
  if (!IsQuote(c)) return ccAttrVal;
  a.quote = c;
  a.quoted = true;
  return ccStr;
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

// One line of a web document: an HTML base with PHP blocks, JavaScript in
// script elements and CSS in the HTML comment of a style element, taken a
// character at a time. With Colour it writes one class per character to
// `classes` and looks the words up; without, it only advances the state, and
// before the first character and after every one it passes over the run of
// characters ahead that cannot change the state (Pass), to the next one that
// may: the rules that decide the state are the same in both.
//
// The state record is changed where it stands, a field at a time: a record
// put together in registers and stored byte by byte would be read back whole
// (compared, hashed) before those stores are done.
template <bool Colour>
class TPHPScanner {
 public:
  TPHPScanner(const TPHPHighLight::TWordLists& words, std::string_view text, TCharCtx* classes, TPHPLineState& state)
      : w_(words), text_(text), cls_(classes), s_(state), n_(text.size()), attrQuote_(static_cast<char>(state.AttrQuote)) {}

  void Run() {
    pos_ = Colour ? 0 : Pass(0);
    for (; pos_ < n_; ++pos_) {
      Shift(text_[pos_]);
      if constexpr (Colour) {
        const unsigned char u = static_cast<unsigned char>(Cur());
        Set(u < 32 || Cur() == kVisibleSpace || Cur() == kLineEndMark || IsWord(Cur()) ? ccSpace : ccSym);
      }
      if (s_.InPHP)
        PhpMode();
      else
        HtmlMode();
      if constexpr (!Colour) pos_ = Pass(pos_ + 1) - 1;
    }
    const std::uint8_t open = s_.InAttrString ? static_cast<std::uint8_t>(attrQuote_) : 0;
    if (s_.AttrQuote != open) s_.AttrQuote = open;
  }

 private:
  char Cur() const { return static_cast<char>(recent_); }
  char Prev() const { return static_cast<char>(recent_ >> 8); }
  char Prev2() const { return static_cast<char>(recent_ >> 16); }
  void Shift(char c) { recent_ = (recent_ << 8) | static_cast<unsigned char>(c); }
  // The current character, the end of a two-character delimiter, counts as
  // the letter 'x' in the next one: one character never serves two delimiters.
  void Neutralise() { recent_ = (recent_ & ~0xFFu) | static_cast<unsigned char>('x'); }
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
    if constexpr (Colour)
      for (std::size_t i = from; i < to && i < n_; ++i) cls_[i] = c;
  }
  void PaintBack(std::size_t count, TCharCtx c) { Paint(pos_ + 1 - count, pos_ + 1, c); }

  // ---- HTML ----
  void HtmlMode() {
    if ((Cur() | 0x20) == 'p' && (Prev() | 0x20) == 'h' && LastIs("<?php")) {
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
      Neutralise();
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
  }

  // Text, tag ends and attributes, outside a tag name.
  void Markup() {
    if (Cur() == '<') {
      collecting_ = true;
      wordStart_ = pos_;
    }
    if (Cur() == '>') {
      Set(ccKey);
      s_.InTag = 0;
      if (s_.TagIsScript) s_.InScript = 1;
    }
    if (!s_.InTag) return;
    TAttrState a = Attrs();
    if (const auto c = AttrStep(a, Cur())) Set(*c);
    SetAttrs(a);
  }

  TAttrState Attrs() const { return {s_.ExpectAttrName != 0, s_.InAttrString != 0, attrQuote_}; }
  void SetAttrs(const TAttrState& a) {
    if (s_.ExpectAttrName != a.name) s_.ExpectAttrName = a.name;
    if (s_.InAttrString != a.quoted) s_.InAttrString = a.quoted;
    attrQuote_ = a.quote;
  }

  // A tag name that began at "<": "<", an optional "/" and the name; the
  // line's last character ends it. A known tag is coloured and sets the
  // script and style flags.
  void TagName() {
    std::size_t end = pos_;  // one past the name
    const bool nameChar = IsWord(Cur());
    if (Last() && nameChar)
      ++end;
    else if (nameChar || Cur() == '/')
      return;
    s_.InTag = 1;
    s_.ExpectAttrName = 1;
    collecting_ = false;
    std::string_view name = end - wordStart_ <= hl::TWordText::kCapacity ? text_.substr(wordStart_, end - wordStart_) : "";
    if (Cur() == '>') {
      s_.InTag = 0;
      ++end;
    }
    const bool closing = name.size() >= 2 && name[1] == '/';
    if (!name.empty() && name.front() == '<') name.remove_prefix(1);
    if (!name.empty() && name.front() == '/') name.remove_prefix(1);
    const bool isScript = name.size() == 6 && EqualNoCase(name, "SCRIPT");
    const bool isStyle = name.size() == 5 && EqualNoCase(name, "STYLE");
    // Without colours a known tag matters only where it changes the script
    // and style flags: a script or style tag, or any tag while one is set.
    if (!Colour && !(s_.TagIsScript || s_.TagIsStyle || isScript || isStyle)) return;
    if (!w_.HTMLTagWords.Contains(name)) return;
    if (closing) {
      s_.TagIsScript = 0;
      s_.TagIsStyle = 0;
    } else {
      s_.TagIsScript = isScript;
      if (Cur() == '>' && isScript) s_.InScript = 1;
      s_.TagIsStyle = isStyle;
    }
    Paint(wordStart_, end, ccKey);
  }

  // ---- PHP ----
  void PhpMode() {
    // A word ends at the first character that is not a word character, also
    // when a string, comment or variable begins there.
    if (Colour && collecting_ && !IsWord(Cur())) EndPhpWord(pos_);
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
        Neutralise();
        s_.InBlockComment = 0;
      }
      return;
    }
    if ((Prev() == '/' && Cur() == '/') || Cur() == '#') {
      PaintBack(Cur() == '#' ? 1 : 2, ccCmt);
      phpLineComment_ = true;
      return;
    }
    if (Prev() == '/' && Cur() == '*') {
      Neutralise();
      PaintBack(2, ccCmt);
      s_.InBlockComment = 1;
      return;
    }
    if (Prev() == '?' && Cur() == '>') {
      s_.InPHP = 0;
      PaintBack(2, ccKey);
      return;
    }
    // Variables, numbers and words only colour; the number rule runs without
    // colours as well, for the flag it shares with JavaScript and CSS.
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
    if (Number() || !Colour) return;
    if (!collecting_ && IsWord(Cur())) {
      collecting_ = true;
      wordStart_ = pos_;
    }
    if (collecting_ && Last()) EndPhpWord(pos_ + 1);
  }

  // The PHP word from wordStart_ to `end`: its characters follow one another.
  void EndPhpWord(std::size_t end) {
    if (w_.PHPWords.Contains(text_.substr(wordStart_, end - wordStart_))) Paint(wordStart_, end, ccKey);
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
  // A CSS word may go on over a number inside it ("a-1b"): only the
  // characters the word rule takes make its text.
  void ScriptWord(const TWordList& list, bool css) {
    if (!s_.InScriptWord && IsLetter(Cur())) {
      s_.InScriptWord = 1;
      scriptWord_.Clear();
      wordStart_ = pos_;
    }
    if (!s_.InScriptWord) return;
    const bool part = IsWord(Cur()) || (css && Cur() == '-');
    if (Colour && part) scriptWord_.Append(Cur());
    if (Last() && part)
      EndScriptWord(pos_ + 1, list);
    else if (!part)
      EndScriptWord(pos_, list);
  }

  void EndScriptWord(std::size_t end, const TWordList& list) {
    if constexpr (Colour)
      if (scriptWord_.Fits() && list.Contains(scriptWord_.View())) Paint(wordStart_, end, ccKey);
    s_.InScriptWord = 0;
  }

  // ---- passing over what cannot change the state (without colours) ----

  // Passes over the characters from `from` on that cannot change the state;
  // returns the position of the next one that may (n_ when none does).
  [[gnu::always_inline]] std::size_t Pass(std::size_t from) {
    if (from >= n_) return n_;
    const char cur = Cur();
    const std::size_t q = Stop(text_.data(), from);
    if (q > from) {
      // The characters passed over become the previous ones.
      const char before = q >= from + 2 ? text_[q - 2] : cur;
      recent_ = static_cast<std::uint32_t>(static_cast<unsigned char>(before)) << 8 |
                static_cast<unsigned char>(text_[q - 1]);
    }
    return q;
  }

  // The first position from `q` on that the character rules must take.
  [[gnu::always_inline]] std::size_t Stop(const char* p, std::size_t q) {
    if (s_.InPHP) {
      if (phpLineComment_) return n_;
      if (phpString_) return escape_ ? q : FindAny(p, q, n_, quote_ == '"' ? kDoubleQuoteStops : kSingleQuoteStops);
      if (s_.InBlockComment) return FindAny(p, q, n_, kSlashStops);
      // A "/" or "?" may begin a pair with the next character.
      return Cur() == '/' || Cur() == '?' ? q : FindAny(p, q, n_, kPhpCodeStops);
    }
    if (collecting_) {
      // Name characters, but the line's last, which ends the name.
      while (q + 1 < n_ && (IsWord(p[q]) || p[q] == '/')) ++q;
      return q;
    }
    if (q > 0 && NearOpener(p, q - 1)) return q;
    if (s_.InHTMLComment) {
      if (s_.InScript) return q;
      if (!s_.TagIsStyle || s_.InTag) return FindAny(p, q, n_, kAngleStops);
      return CodeStop(p, q, hl::kCssNumber, kCssCodeStops, true);
    }
    if (s_.InScript) {
      if (jsString_) return escape_ ? q : FindAny(p, q, n_, TStops<3>({quote_, '\\', '<'}));
      if (jsLineComment_) return FindAny(p, q, n_, kAngleStops);
      return ScriptCodeStop(p, q);
    }
    if (!s_.InTag) return FindAny(p, q, n_, kAngleStops);
    // Inside a tag, with no "<" near, the attribute rule alone takes the
    // characters up to the next "<" or ">"; a quoted value is passed to its quote.
    TAttrState a = Attrs();
    for (; q < n_; ++q) {
      if (a.quoted && !a.name) {
        q = FindAny(p, q, n_, TStops<3>({a.quote, '<', '>'}));
        if (q == n_) break;
      }
      if (p[q] == '<' || p[q] == '>') break;
      AttrStep(a, p[q]);
    }
    SetAttrs(a);
    return q;
  }

  // JavaScript code. Up to the next byte that may begin a string, a comment,
  // an opener or the element's end, only the word and number flags change,
  // and what that byte leads to clears them (no JavaScript word outlasts its
  // line): both are dropped. Where no such byte follows, the line's last
  // word or number is left to the rules.
  std::size_t ScriptCodeStop(const char* p, std::size_t q) {
    if (q >= plainTo_) {
      std::size_t b = FindAny(p, q, n_, kScriptCodeBreaks);
      if (b == n_) {
        while (b > q && (IsWord(p[b - 1]) || p[b - 1] == '.')) --b;
        plainTo_ = n_;
      }
      if (b > q) {
        if (s_.InScriptWord) s_.InScriptWord = 0;
        number_ = false;
        return b;
      }
    }
    return CodeStop(p, q, hl::kNumberPart, kScriptCodeStops, false);
  }

  // JavaScript or CSS code: a number's characters, the letters (and for CSS
  // "-") of a word but the line's last, or the characters between words and
  // numbers.
  std::size_t CodeStop(const char* p, std::size_t q, std::uint8_t numberPart, const hl::TByteSet& codeStops,
                       bool css) const {
    if (s_.InScriptWord && number_) return q;
    if (number_) {
      while (q < n_ && hl::Has(p[q], numberPart)) ++q;
    } else if (!s_.InScriptWord) {
      while (q < n_ && !codeStops(p[q])) ++q;
    } else {
      while (q + 1 < n_ && (IsLetter(p[q]) || (css && p[q] == '-'))) ++q;
    }
    return q;
  }

  const TPHPHighLight::TWordLists& w_;
  std::string_view text_;
  TCharCtx* cls_;
  TPHPLineState& s_;
  std::size_t n_;
  std::size_t pos_ = 0;
  // The last three characters, the current one in the low byte. One word,
  // written whole: the pairs the scanner compares are read from what was
  // just stored, never pieced together from separate byte stores.
  std::uint32_t recent_ = ' ';
  // A tag name (HTML) or a PHP word being collected; one flag for both.
  bool collecting_ = false;
  std::size_t wordStart_ = 0;  // of the tag name, PHP, JavaScript or CSS word
  // The text of a JavaScript or CSS word, kept for colouring only.
  struct TNoText {
    void Clear() {}
    void Append(char) {}
  };
  [[no_unique_address]] std::conditional_t<Colour, hl::TWordText, TNoText> scriptWord_;
  bool phpLineComment_ = false, phpString_ = false, phpVariable_ = false;
  bool jsString_ = false, jsLineComment_ = false;
  char quote_ = 0;
  bool escape_ = false;
  bool number_ = false;
  char attrQuote_;
  // From here on no JavaScript string, comment or element end follows in the
  // line: the code is passed over by character classes alone.
  std::size_t plainTo_ = 0;
};

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
  TPHPScanner<true>(Words, text, Classes.data(), state).Run();
}

void TPHPHighLight::AdvanceState(std::string_view text, TPHPLineState& state) {
  TPHPScanner<false>(Words, text, nullptr, state).Run();
}
