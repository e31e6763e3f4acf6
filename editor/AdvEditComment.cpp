// TAdvancedEditor: toggling the line comment of the selected lines.

#include "editor/AdvEditComment.h"

#include <algorithm>

#include "editor/AdvEdit.h"

namespace comments {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::size_t IndentOf(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && Blank(line[i])) ++i;
  return i;
}

std::size_t TrimmedEnd(std::string_view line) {
  std::size_t end = line.size();
  while (end > 0 && Blank(line[end - 1])) --end;
  return end;
}

bool Commented(std::string_view line, std::string_view open, std::string_view close) {
  const std::size_t indent = IndentOf(line), end = TrimmedEnd(line);
  const std::string_view body = line.substr(indent, end - indent);
  return body.size() >= open.size() + close.size() && body.starts_with(open) && body.ends_with(close);
}

std::string Uncommented(std::string_view line, std::string_view open, std::string_view close) {
  const std::size_t indent = IndentOf(line), end = TrimmedEnd(line);
  std::size_t from = indent + open.size(), to = end - close.size();
  if (from < to && line[from] == ' ') ++from;
  if (!close.empty() && to > from && line[to - 1] == ' ') --to;
  std::string out(line.substr(0, indent));
  out += line.substr(from, to - from);
  out += line.substr(end);
  return out;
}

}  // namespace

std::vector<std::string> Toggled(const std::vector<std::string>& lines, std::string_view open, std::string_view close) {
  std::vector<std::string> out = lines;
  bool any = false, all = true;
  std::size_t least = std::string::npos;
  for (const std::string& line : lines) {
    const std::size_t indent = IndentOf(line);
    if (indent == line.size()) continue;
    any = true;
    least = std::min(least, indent);
    all = all && Commented(line, open, close);
  }
  if (!any || open.empty()) return out;
  for (std::string& line : out) {
    if (IndentOf(line) == line.size()) continue;
    if (all) {
      line = Uncommented(line, open, close);
      continue;
    }
    line.insert(least, std::string(open) + " ");
    if (!close.empty()) line.insert(TrimmedEnd(line), " " + std::string(close));
  }
  return out;
}

}  // namespace comments

void TAdvancedEditor::ToggleLineComment(std::string_view open, std::string_view close) {
  if (ReadOnly || open.empty() || !RowExists(CaretY) || (SelAvail && (!RowExists(SelStartY) || !RowExists(SelEndY))))
    return;
  int caretLineX = 0, caretLine = 0;
  Lines->RowToLine(CaretX, CaretY, caretLineX, caretLine);
  int first = caretLine, last = caretLine;
  const bool selected = SelAvail;
  if (selected) {
    int x = 0;
    Lines->RowToLine(SelStartX, SelStartY, x, first);
    Lines->RowToLine(SelEndX, SelEndY, x, last);
    // A selection that ends at the start of a line leaves that line out.
    if (x == 0 && last > first) --last;
  }
  last = std::min(last, Lines->Count() - 1);
  if (first < 0 || first > last) return;
  std::vector<std::string> was;
  for (int i = first; i <= last; ++i) was.emplace_back(Lines->LineView(i));
  const std::vector<std::string> now = comments::Toggled(was, open, close);
  if (now == was) return;
  std::string text;
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += now[i];
  }
  const std::int64_t offset = Lines->LineStartOffset(first);
  const auto newLength = static_cast<std::int64_t>(text.size());
  // The caret keeps its place in the text of its line.
  int caretX = caretLineX;
  if (caretLine >= first && caretLine <= last) {
    const std::string& before = was[static_cast<std::size_t>(caretLine - first)];
    const std::string& after = now[static_cast<std::size_t>(caretLine - first)];
    const int shift = static_cast<int>(after.size()) - static_cast<int>(before.size());
    // Where the line changed first: a caret before it stays, one after it moves with the text.
    const auto differ = static_cast<int>(
        std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin());
    if (caretLineX > differ) caretX = std::max(differ, caretLineX + shift);
  }
  {
    TEditScope edit(*this);
    BeginUndoGroup();
    struct TCloser {
      TAdvancedEditor& e;
      ~TCloser() { e.EndUndoGroup(); }
    } closer{*this};
    EditTaking(TUndoKind::Replace, CaretX, CaretY, offset, Lines->LineStartOffset(last) + Lines->LineLength(last) - offset,
               std::move(text));
    if (selected) {
      // The lines stay selected, whole.
      SetSelLength(0);
      SetSelStart(static_cast<int>(offset + 1));
      SetSelLength(static_cast<int>(newLength));
    } else {
      int row = 0, rowColumn = 0;
      Lines->LineToRow(caretLine, caretX, row, rowColumn);
      MoveCaret(rowColumn, row);
    }
  }
  UpdateBracketMarks();
}
