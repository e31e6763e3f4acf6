#include "editor/LineFormat.h"

#include "editor/TextScan.h"

namespace {

// Calls fn(line, end) for every line of `text` as ForEachLine splits it,
// with the line end that closed it (None for a last line without one).
template <typename Fn>
void ForEachLineAndEnd(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  const std::size_t n = text.size();
  while (pos < n) {
    const std::size_t brk = FindLineBreak(text, pos);
    if (brk >= n) {
      fn(text.substr(pos), TLineEnd::None);
      return;
    }
    TLineEnd end = TLineEnd::Lf;
    std::size_t next = brk + 1;
    if (text[brk] == '\r') {
      end = next < n && text[next] == '\n' ? TLineEnd::CrLf : TLineEnd::Cr;
      if (end == TLineEnd::CrLf) ++next;
    }
    fn(text.substr(pos, brk - pos), end);
    pos = next;
  }
}

// Whether the rule of `format` writes the tab-expanded form of `line` back
// as `line`: without TAB indentation a line without TABs; with it, a line
// whose leading blanks are TABs and then fewer blanks than a TAB makes, and
// which holds no TAB after them.
bool RuleGivesBack(std::string_view line, const TFileFormat& format) {
  if (!format.TabIndent || format.TabWidth <= 0) return line.find('\t') == std::string_view::npos;
  std::size_t i = 0;
  while (i < line.size() && line[i] == '\t') ++i;
  const std::size_t spaces = i;
  while (i < line.size() && line[i] == ' ') ++i;
  if (i - spaces >= static_cast<std::size_t>(format.TabWidth)) return false;
  return line.find('\t', i) == std::string_view::npos;
}

}  // namespace

std::string_view LineEndBytes(TLineEnd end) {
  switch (end) {
    case TLineEnd::Lf:
      return "\n";
    case TLineEnd::Cr:
      return "\r";
    case TLineEnd::None:
    case TLineEnd::CrLf:
      break;
  }
  return "\r\n";
}

TFileFormat ReadFileFormat(std::string_view bytes, int tabWidth, TLinesAsRead& asRead) {
  TFileFormat format;
  format.Kept = true;
  format.TabWidth = tabWidth;
  // The line end most lines have (CR LF on a tie, as the program writes
  // them), and whether more lines begin with a TAB than with two blanks.
  std::int64_t ends[4] = {};
  std::int64_t tabLines = 0, blankLines = 0;
  ForEachLineAndEnd(bytes, [&](std::string_view line, TLineEnd end) {
    ++ends[static_cast<int>(end)];
    if (!line.empty() && line.front() == '\t') ++tabLines;
    if (line.size() >= 2 && line[0] == ' ' && line[1] == ' ') ++blankLines;
  });
  const std::int64_t crlf = ends[static_cast<int>(TLineEnd::CrLf)], lf = ends[static_cast<int>(TLineEnd::Lf)],
                     cr = ends[static_cast<int>(TLineEnd::Cr)];
  format.LineEnd = crlf >= lf && crlf >= cr ? TLineEnd::CrLf : lf >= cr ? TLineEnd::Lf : TLineEnd::Cr;
  format.TabIndent = tabLines > 0 && tabLines >= blankLines;
  format.FinalBreak = ends[static_cast<int>(TLineEnd::None)] == 0;
  int index = 0;
  ForEachLineAndEnd(bytes, [&](std::string_view line, TLineEnd end) {
    TLineAsRead kept;
    kept.HasText = !RuleGivesBack(line, format);
    if (kept.HasText) kept.Text.assign(line);
    if (end != format.LineEnd) kept.End = end;
    if (kept.HasText || kept.End != TLineEnd::None) asRead.emplace_back(index, std::move(kept));
    ++index;
  });
  return format;
}
