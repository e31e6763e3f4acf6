#include "highlight/SourceAids.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <unordered_map>

#include "editor/AdvCompletion.h"
#include "highlight/HiLiC.h"
#include "highlight/HiLiJava.h"
#include "highlight/HiLiPAS.h"
#include "highlight/HiLiPHP.h"
#include "highlight/HiLiXML.h"
#include "highlight/SyntaxHLWords.h"

namespace aids {
namespace {

bool IdentStart(char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IdentChar(char c) { return IdentStart(c) || (c >= '0' && c <= '9'); }

// Calls fn(word, start) for every identifier of `text`.
template <typename Fn>
void ForEachIdentifier(std::string_view text, Fn&& fn) {
  for (std::size_t i = 0; i < text.size();) {
    if (!IdentChar(text[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < text.size() && IdentChar(text[i])) ++i;
    // A run that begins with a digit is a number (or a part of one).
    if (IdentStart(text[start]) && i - start >= 2) fn(text.substr(start, i - start), start);
  }
}

// The PHP word list's identifiers in their own case, sorted, each once.
const std::vector<std::string>& PHPWords() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> out;
    ForEachIdentifier(HighlightResource("PHPWrd"), [&](std::string_view w, std::size_t) { out.emplace_back(w); });
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }();
  return words;
}

TPHPLineState PHPStateAt(TSyntaxHighLight& h, int line) {
  const TColourKey key = h.StartKey(line);
  TPHPLineState state;
  static_assert(sizeof(state) <= sizeof(key.Bytes));
  std::memcpy(&state, key.Bytes.data(), sizeof(state));
  return state;
}

}  // namespace

void AttachCodeMask(TSourceEditor& editor) {
  editor.BracketCodeMask = [&editor, classes = std::vector<TCharCtx>()](int line,
                                                                        std::vector<std::uint8_t>& notCode) mutable {
    notCode.clear();
    if (!editor.Highlighter || !editor.OnHighlight) return;
    const auto length = static_cast<std::size_t>(editor.Lines->LineLength(line));
    if (editor.ColoursCurrent(line) && editor.Lines->Attrs(line).size() > length) {
      // Painted and still as painted: the colours tell the classes (only
      // comments are gray, only strings and attribute values navy).
      const TLineAttrs& attrs = editor.Lines->Attrs(line);
      notCode.resize(length);
      for (std::size_t i = 0; i < length; ++i)
        notCode[i] = attrs[i].FgColor == CharCtxColor(ccCmt) || attrs[i].FgColor == CharCtxColor(ccStr);
      return;
    }
    editor.Highlighter->LineClasses(line, classes);
    notCode.resize(classes.size());
    for (std::size_t i = 0; i < classes.size(); ++i)
      notCode[i] = classes[i] == ccCmt || classes[i] == ccStr || classes[i] == ccAttrVal;
  };
}

TLineComment LineCommentAt(TSourceEditor& editor, int line) {
  TSyntaxHighLight* h = editor.Highlighter.get();
  if (!h) return {};
  if (dynamic_cast<TXMLHighLight*>(h)) return {"<!--", "-->"};
  if (!dynamic_cast<TPHPHighLight*>(h)) return {"//", ""};  // C, Java, Pascal
  const TPHPLineState s = PHPStateAt(*h, line);
  if (s.InPHP) return {"//", ""};
  if (s.TagIsStyle && !s.InTag) return {"/*", "*/"};
  if (s.InScript) return {"//", ""};
  return {"<!--", "-->"};
}

void ToggleComment(TSourceEditor& editor) {
  int lineX = 0, line = 0;
  if (!editor.RowExists(editor.SelAvail ? editor.SelStartY : editor.CaretY)) return;
  if (editor.SelAvail) {
    editor.Lines->RowToLine(editor.SelStartX, editor.SelStartY, lineX, line);
  } else {
    editor.Lines->RowToLine(editor.CaretX, editor.CaretY, lineX, line);
  }
  const TLineComment c = LineCommentAt(editor, line);
  if (c.open.empty()) {
    if (editor.Window()) editor.Window()->Beep();
    return;
  }
  editor.ToggleLineComment(c.open, c.close);
}

std::vector<std::string> CompletionWords(TSourceEditor& editor, std::int64_t bytes) {
  TAdvLines& lines = *editor.Lines;
  int caretX = 0, caretLine = 0;
  if (editor.RowExists(editor.CaretY)) lines.RowToLine(editor.CaretX, editor.CaretY, caretX, caretLine);
  caretLine = std::clamp(caretLine, 0, std::max(0, lines.Count() - 1));
  // The lines around the caret, half the bytes above it and half below.
  int first = caretLine, last = caretLine;
  std::int64_t above = bytes / 2, below = bytes - above;
  while (first > 0 && above > 0) above -= lines.LineLength(--first) + 2;
  while (last + 1 < lines.Count() && below > 0) below -= lines.LineLength(++last) + 2;
  std::unordered_map<std::string_view, int> seen;
  std::string_view typed;  // the word the caret stands in or after
  int line = first;
  lines.ForEachLineView(first, last + 1, [&](std::string_view text) {
    ForEachIdentifier(text, [&](std::string_view w, std::size_t start) {
      ++seen[w];
      if (line == caretLine && static_cast<int>(start) <= caretX && caretX <= static_cast<int>(start + w.size()))
        typed = w;
    });
    ++line;
    return true;
  });
  if (!typed.empty() && seen[typed] == 1) seen.erase(typed);
  std::vector<std::string> words;
  words.reserve(seen.size());
  for (const auto& [w, n] : seen) words.emplace_back(w);
  std::sort(words.begin(), words.end());
  if (!dynamic_cast<TPHPHighLight*>(editor.Highlighter.get())) return words;
  std::vector<std::string> all;
  all.reserve(words.size() + PHPWords().size());
  std::set_union(words.begin(), words.end(), PHPWords().begin(), PHPWords().end(), std::back_inserter(all));
  return all;
}

void SetCompletion(TSourceEditor& editor, bool on) {
  editor.Completion->Enabled = on;
  if (!on) {
    editor.Completion->CloseList(false);
    editor.OnIdentifierCompletion = nullptr;
    editor.Completion->Identifiers.clear();
    return;
  }
  editor.OnIdentifierCompletion = [&editor](TAdvancedEditor&, bool&) {
    // Refreshing the open list keeps the words it opened with.
    if (editor.Completion->Active) return;
    std::vector<std::string>& ids = editor.Completion->Identifiers;
    ids.clear();
    for (std::string& w : CompletionWords(editor)) ids.push_back(w + editor.Completion->Separator + w);
  };
}

}  // namespace aids
