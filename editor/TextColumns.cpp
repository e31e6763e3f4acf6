#include "editor/TextColumns.h"

#include <utf8proc.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>

#include "editor/Utf8.h"

namespace {

// One code point of UTF-8 text as the clusters see it: a byte that is not
// UTF-8 is a unit of its own that no rule joins to anything.
struct Unit {
  char32_t ch = 0;
  int length = 1;
  bool valid = false;
};

inline Unit UnitAt(std::string_view text, std::size_t pos) {
  const auto b = static_cast<unsigned char>(text[pos]);
  if (b < 0x80) return Unit{b, 1, true};
  char32_t ch = 0;
  const int n = utf8::Decode(text, pos, ch);
  return n > 0 ? Unit{ch, n, true} : Unit{b, 1, false};
}

// The start of the unit that ends at `pos` (pos > 0, a unit boundary).
std::size_t UnitStartBefore(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t q = pos - 1;
  while (q > 0 && pos - q < 4 && (p[q] & 0xC0) == 0x80) --q;
  char32_t ch = 0;
  return q < pos - 1 && static_cast<std::size_t>(utf8::Decode(text, q, ch)) == pos - q ? q : pos - 1;
}

// `pos` itself when no UTF-8 sequence covers it, else the sequence's start.
std::size_t UnitStart(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  if ((p[pos] & 0xC0) != 0x80) return pos;
  for (std::size_t q = pos; q > 0 && pos - q < 3;) {
    --q;
    if ((p[q] & 0xC0) == 0x80) continue;
    char32_t ch = 0;
    const int n = utf8::Decode(text, q, ch);
    return n > 0 && q + static_cast<std::size_t>(n) > pos ? q : pos;
  }
  return pos;
}

// Rule GB9c of UAX #29 (no break inside an Indic conjunct: consonant,
// virama, consonant), which utf8proc has from its version 2.9 on. Before
// that its tables are Unicode 15.0, which lacks the rule: the consonants
// and viramas of the six scripts it covers are listed here.
#if UTF8PROC_VERSION_MAJOR == 2 && UTF8PROC_VERSION_MINOR < 9
constexpr bool kOwnConjuncts = true;
#else
constexpr bool kOwnConjuncts = false;
#endif

enum class TConjunct : unsigned char { None, Consonant, Linker, Extend };

TConjunct ConjunctClass(char32_t ch, int boundclass) {
  if (!kOwnConjuncts || ch < 0x900 || ch > 0xD7F) {
    return kOwnConjuncts && (boundclass == UTF8PROC_BOUNDCLASS_ZWJ ||
                             (boundclass == UTF8PROC_BOUNDCLASS_EXTEND && ch != 0x200C))
               ? TConjunct::Extend
               : TConjunct::None;
  }
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kConsonants[] = {
      {0x0915, 0x0939}, {0x0958, 0x095F}, {0x0978, 0x097F}, {0x0995, 0x09A8}, {0x09AA, 0x09B0}, {0x09B2, 0x09B2},
      {0x09B6, 0x09B9}, {0x09DC, 0x09DD}, {0x09DF, 0x09DF}, {0x09F0, 0x09F1}, {0x0A95, 0x0AA8}, {0x0AAA, 0x0AB0},
      {0x0AB2, 0x0AB3}, {0x0AB5, 0x0AB9}, {0x0AF9, 0x0AF9}, {0x0B15, 0x0B28}, {0x0B2A, 0x0B30}, {0x0B32, 0x0B33},
      {0x0B35, 0x0B39}, {0x0B5C, 0x0B5D}, {0x0B5F, 0x0B5F}, {0x0B71, 0x0B71}, {0x0C15, 0x0C28}, {0x0C2A, 0x0C39},
      {0x0C58, 0x0C5A}, {0x0D15, 0x0D3A}};
  switch (ch) {
    case 0x094D: case 0x09CD: case 0x0ACD: case 0x0B4D: case 0x0C4D: case 0x0D4D:
      return TConjunct::Linker;
    default:
      break;
  }
  const auto* it = std::upper_bound(std::begin(kConsonants), std::end(kConsonants), ch,
                                    [](char32_t c, const Range& r) { return c < r.first; });
  if (it != std::begin(kConsonants) && ch <= std::prev(it)->last) return TConjunct::Consonant;
  return boundclass == UTF8PROC_BOUNDCLASS_EXTEND || boundclass == UTF8PROC_BOUNDCLASS_ZWJ ? TConjunct::Extend
                                                                                         : TConjunct::None;
}

// What the clusters need of a code point: its break class and its columns,
// from one look into utf8proc's tables (none for ASCII and the common CJK
// ideographs).
struct Props {
  int cls;
  int columns;
};

Props LookUp(char32_t ch) {
  const utf8proc_property_t* p = utf8proc_get_property(static_cast<utf8proc_int32_t>(ch));
  const int cls = p->boundclass;
  // The vowels and final consonants of conjoining Hangul join the leading
  // consonant's two columns.
  const int columns = ch < 0x300                                                    ? 1
                      : cls == UTF8PROC_BOUNDCLASS_V || cls == UTF8PROC_BOUNDCLASS_T ? 0
                                                                                     : static_cast<int>(p->charwidth);
  return {cls, columns};
}

inline Props PropsOf(char32_t ch) {
  if (ch < 0x80) return {ch < 0x20 || ch == 0x7F ? UTF8PROC_BOUNDCLASS_CONTROL : UTF8PROC_BOUNDCLASS_OTHER, 1};
  if (ch >= 0x4E00 && ch <= 0x9FFF) return {UTF8PROC_BOUNDCLASS_OTHER, 2};
  if (ch > 0xFFFF) return LookUp(ch);
  // The plane of most text, remembered as it is met: a byte a code point,
  // the class above the columns (0 for not yet looked up).
  static std::atomic<std::uint8_t> known[0x10000];
  std::uint8_t k = known[ch].load(std::memory_order_relaxed);
  if (k == 0) {
    const Props p = LookUp(ch);
    k = static_cast<std::uint8_t>(((p.cls + 1) << 2) | p.columns);
    known[ch].store(k, std::memory_order_relaxed);
  }
  return {(k >> 2) - 1, k & 3};
}

bool Emoji(int cls) {
  return cls == UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC || cls == UTF8PROC_BOUNDCLASS_REGIONAL_INDICATOR;
}

// Whether a mark or joiner of class `left` may join `right` into an Indic
// conjunct (rule GB9c: consonant, virama, consonant, in the scripts from
// Devanagari to Malayalam), whoever decides it.
bool MayJoinConjunct(int left, char32_t right) {
  return (left == UTF8PROC_BOUNDCLASS_EXTEND || left == UTF8PROC_BOUNDCLASS_ZWJ) && right >= 0x900 && right <= 0xDFF;
}

// Whether a code point `right` of class `rightClass` starts a cluster after
// one of class `left` by the plain rules alone: a control always does, and
// any other character of no special class unless it follows a prepended one
// or may be the end of a conjunct (the commonest case, settled without
// asking utf8proc).
bool PlainBreak(int left, int rightClass, char32_t right) {
  return rightClass == UTF8PROC_BOUNDCLASS_CONTROL ||
         (rightClass == UTF8PROC_BOUNDCLASS_OTHER && left != UTF8PROC_BOUNDCLASS_PREPEND &&
          !MayJoinConjunct(left, right));
}

// Whether a cluster starts at the boundary between units `a` and `b`
// whatever comes before `a`: the rules that look further back (emoji after
// a joiner, pairs of regional indicators, Indic conjuncts) only ever join.
bool SureBreak(const Unit& a, const Unit& b) {
  if (!a.valid || !b.valid) return true;
  const int classA = PropsOf(a.ch).cls, classB = PropsOf(b.ch).cls;
  if (PlainBreak(classA, classB, b.ch)) return true;
  if (!utf8proc_grapheme_break(static_cast<utf8proc_int32_t>(a.ch), static_cast<utf8proc_int32_t>(b.ch)))
    return false;
  if (classA == UTF8PROC_BOUNDCLASS_ZWJ && classB == UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC) return false;
  if (classA == UTF8PROC_BOUNDCLASS_REGIONAL_INDICATOR && classB == UTF8PROC_BOUNDCLASS_REGIONAL_INDICATOR)
    return false;
  return !MayJoinConjunct(classA, b.ch);
}

// The cluster of UTF-8 text that starts at `pos` (a cluster boundary) with
// the valid unit `first` of properties `lead`: where it ends, its columns in
// `columns`, and the unit at its end with its properties in `after` and
// `afterProps` when it was looked at (`after.length` 0 when not). The text is
// one line: it holds no line break, so CR and LF are taken as any other
// control character.
std::size_t ClusterFrom(std::string_view text, std::size_t pos, const Unit& first, const Props& lead, int& columns,
                        Unit& after, Props& afterProps) {
  const std::size_t n = text.size();
  std::size_t end = pos + static_cast<std::size_t>(first.length);
  after.length = 0;
  utf8proc_int32_t state = 0;
  TConjunct conjunct =
      ConjunctClass(first.ch, lead.cls) == TConjunct::Consonant ? TConjunct::Consonant : TConjunct::None;
  const bool emoji = Emoji(lead.cls);
  int sum = lead.columns, count = 1, prevClass = lead.cls;
  auto prev = static_cast<utf8proc_int32_t>(first.ch);
  while (end < n) {
    const Unit u = UnitAt(text, end);
    if (!u.valid) break;
    const Props next = PropsOf(u.ch);
    after = u;
    afterProps = next;
    if (PlainBreak(prevClass, next.cls, u.ch)) break;
    const TConjunct c = ConjunctClass(u.ch, next.cls);
    const auto ch = static_cast<utf8proc_int32_t>(u.ch);
    const bool joins =
        !utf8proc_grapheme_break_stateful(prev, ch, &state) || (c == TConjunct::Consonant && conjunct == TConjunct::Linker);
    if (!joins) break;
    if (c == TConjunct::Consonant)
      conjunct = TConjunct::Consonant;
    else if (c == TConjunct::Linker)
      conjunct = conjunct == TConjunct::None ? TConjunct::None : TConjunct::Linker;
    else if (c != TConjunct::Extend)
      conjunct = TConjunct::None;
    sum += next.columns;
    ++count;
    prev = ch;
    prevClass = next.cls;
    end += static_cast<std::size_t>(u.length);
    after.length = 0;
  }
  // An emoji sequence (a flag, a joined family, a skin tone) is one picture
  // two columns wide; any other cluster takes the columns of its characters,
  // and at least one, so that every cluster has a cell.
  columns = count > 1 && emoji ? 2 : std::max(sum, 1);
  return end;
}

// The same from `pos` alone.
std::size_t ClusterEnd(std::string_view text, std::size_t pos, int& columns) {
  const Unit first = UnitAt(text, pos);
  const std::size_t end = pos + static_cast<std::size_t>(first.length);
  if (!first.valid || (first.ch < 0x80 && (end == text.size() || static_cast<unsigned char>(text[end]) < 0x80))) {
    columns = 1;
    return end;
  }
  Unit after;
  Props afterProps{};
  return ClusterFrom(text, pos, first, PropsOf(first.ch), columns, after, afterProps);
}

bool Utf8Text(TTextEncoding enc, std::string_view text) {
  return enc == TTextEncoding::Utf8 && utf8::FindNonAscii(text, 0) < text.size();
}

// Calls fn(start, end, columns) for the clusters of `text` in order while it
// returns true; runs of ASCII go one byte at a time without decoding.
template <typename Fn>
void ForEachCluster(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  const std::size_t n = text.size();
  Unit unit;  // the unit at pos when its length is not 0
  Props props{};
  unit.length = 0;
  while (pos < n) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80 && (pos + 1 == n || static_cast<unsigned char>(text[pos + 1]) < 0x80)) {
      if (!fn(pos, pos + 1, 1)) return;
      ++pos;
      unit.length = 0;
      continue;
    }
    if (unit.length == 0) {
      unit = UnitAt(text, pos);
      if (unit.valid) props = PropsOf(unit.ch);
    }
    if (!unit.valid) {
      if (!fn(pos, pos + 1, 1)) return;
      ++pos;
      unit.length = 0;
      continue;
    }
    int columns = 1;
    Unit after;
    Props afterProps{};
    const std::size_t end = ClusterFrom(text, pos, unit, props, columns, after, afterProps);
    if (!fn(pos, end, columns)) return;
    unit = after;
    props = afterProps;
    pos = end;
  }
}

}  // namespace

namespace textcol {

int CharColumns(char32_t ch) { return PropsOf(ch).columns; }

std::size_t ClusterAt(std::string_view utf8, std::size_t pos, int& columns) {
  return ClusterEnd(utf8, pos, columns);
}

int NextChar(TTextEncoding enc, std::string_view text, int pos) {
  if (pos < 0) return 0;
  const auto p = static_cast<std::size_t>(pos);
  if (enc != TTextEncoding::Utf8 || p >= text.size()) return pos + 1;
  int columns = 1;
  return static_cast<int>(ClusterEnd(text, p, columns));
}

int PrevChar(TTextEncoding enc, std::string_view text, int pos) {
  if (pos <= 0) return 0;
  if (enc != TTextEncoding::Utf8 || static_cast<std::size_t>(pos) > text.size()) return pos - 1;
  return CharStart(enc, text, pos - 1);
}

int CharStart(TTextEncoding enc, std::string_view text, int pos) {
  if (pos <= 0 || enc != TTextEncoding::Utf8 || static_cast<std::size_t>(pos) >= text.size()) return std::max(pos, 0);
  const auto target = static_cast<std::size_t>(pos);
  // Back to a boundary that no context can take away; then forward over
  // whole clusters to the one holding `pos`.
  const std::size_t unit = UnitStart(text, target);
  std::size_t from = unit;
  while (from > 0) {
    const std::size_t before = UnitStartBefore(text, from);
    if (SureBreak(UnitAt(text, before), UnitAt(text, from))) break;
    from = before;
  }
  if (from == unit) return static_cast<int>(unit);  // a cluster starts with the unit holding `pos`
  for (;;) {
    int columns = 1;
    const std::size_t end = ClusterEnd(text, from, columns);
    if (end > target) return static_cast<int>(from);
    from = end;
  }
}

int ColumnOf(TTextEncoding enc, std::string_view text, int pos) {
  if (pos <= 0) return std::max(pos, 0);
  const auto size = static_cast<int>(text.size());
  if (!Utf8Text(enc, text)) return pos;
  const std::string_view head = text.substr(0, static_cast<std::size_t>(std::min(pos, size)));
  int column = 0;
  ForEachCluster(head, [&](std::size_t, std::size_t, int columns) {
    column += columns;
    return true;
  });
  return column + std::max(pos - size, 0);
}

int PositionOf(TTextEncoding enc, std::string_view text, int column) {
  if (column <= 0) return 0;
  if (!Utf8Text(enc, text)) return column;
  int at = 0, found = -1;
  std::size_t end = 0;
  ForEachCluster(text, [&](std::size_t start, std::size_t next, int columns) {
    if (column < at + columns) {
      found = static_cast<int>(start);
      return false;
    }
    at += columns;
    end = next;
    return true;
  });
  if (found >= 0) return found;
  return static_cast<int>(end) + (column - at);
}

int NearestPosition(TTextEncoding enc, std::string_view text, int column) {
  const int pos = PositionOf(enc, text, column);
  if (enc != TTextEncoding::Utf8 || static_cast<std::size_t>(pos) >= text.size()) return pos;
  const int startColumn = ColumnOf(enc, text, pos);
  const int next = NextChar(enc, text, pos);
  const int width = ColumnOf(enc, text, next) - startColumn;
  return width > 1 && column - startColumn >= width / 2 ? next : pos;
}

}  // namespace textcol
