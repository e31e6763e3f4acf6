#include "qt/QtEditorAccessible.h"

#include <QTextBoundaryFinder>
#include <algorithm>

#include "editor/AdvEdit.h"
#include "qt/Codepage.h"
#include "qt/QtEditorWindow.h"

namespace platform {

// ---- QtEditorText ----

bool QtEditorText::Utf8() const { return editor_.Utf8(); }

int QtEditorText::LineCount() const { return editor_.Lines->Count(); }

QString QtEditorText::LineText(int line) const {
  return codepage::ToQString(editor_.Lines->LineView(line),
                             Utf8() ? TTextEncoding::Utf8 : TTextEncoding::Windows1252);
}

int QtEditorText::LineUnits(int line) const {
  if (!Utf8()) return editor_.Lines->LineLength(line);
  const std::string_view bytes = editor_.Lines->LineView(line);
  // ASCII lines, the usual case, without decoding.
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return static_cast<int>(bytes.size());
  return static_cast<int>(LineText(line).size());
}

void QtEditorText::Forget(int line) {
  validBlocks_ = std::min(validBlocks_, static_cast<std::size_t>(std::max(line, 0) / kBlock));
  stampLines_ = editor_.Lines->Count();
  stampLength_ = editor_.Lines->TextLength();
}

void QtEditorText::CheckStamp() {
  // A change nobody announced (a window not shown): count again.
  if (stampLines_ != editor_.Lines->Count() || stampLength_ != editor_.Lines->TextLength()) Forget(0);
}

std::int64_t QtEditorText::LineStart(int line) {
  const TAdvLines& lines = *editor_.Lines;
  line = std::clamp(line, 0, lines.Count());
  if (!Utf8()) return lines.LineStartOffset(line) - line;
  CheckStamp();
  const std::size_t block = static_cast<std::size_t>(line / kBlock);
  if (blockUnits_.size() < block + 1) blockUnits_.resize(block + 1);
  for (; validBlocks_ < block; ++validBlocks_) {
    std::int64_t units = 0;
    const int first = static_cast<int>(validBlocks_) * kBlock;
    for (int l = first; l < first + kBlock; ++l) units += LineUnits(l) + 1;
    blockUnits_[validBlocks_] = units;
  }
  std::int64_t start = 0;
  for (std::size_t b = 0; b < block; ++b) start += blockUnits_[b];
  for (int l = static_cast<int>(block) * kBlock; l < line; ++l) start += LineUnits(l) + 1;
  return start;
}

std::int64_t QtEditorText::CharacterCount() {
  const int count = LineCount();
  return count == 0 ? 0 : LineStart(count - 1) + LineUnits(count - 1);
}

int QtEditorText::LineAt(std::int64_t offset, std::int64_t* start) {
  // The last line whose start is at or before the offset: in a UTF-8
  // document the block first, then the lines of that block.
  int lo = 0, hi = std::max(LineCount() - 1, 0);
  if (Utf8() && hi >= kBlock) {
    const int blocks = hi / kBlock;
    LineStart(blocks * kBlock);  // every block before the last counted
    std::int64_t at = 0;
    int block = 0;
    while (block < blocks && at + blockUnits_[static_cast<std::size_t>(block)] <= offset)
      at += blockUnits_[static_cast<std::size_t>(block++)];
    int line = block * kBlock;
    const int last = std::min(line + kBlock, LineCount()) - 1;
    while (line < last && at + LineUnits(line) + 1 <= offset) at += LineUnits(line++) + 1;
    *start = at;
    return line;
  }
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (LineStart(mid) <= offset)
      lo = mid;
    else
      hi = mid - 1;
  }
  *start = LineStart(lo);
  return lo;
}

std::int64_t QtEditorText::OffsetOfRowPos(int x, int row) {
  const TAdvLines& lines = *editor_.Lines;
  if (lines.Count() == 0) return 0;
  int column = 0, line = 0;
  row = std::clamp(row, 0, std::max(lines.GetRowCount() - 1, 0));
  lines.RowToLine(std::max(x, 0), row, column, line);
  line = std::clamp(line, 0, lines.Count() - 1);
  const std::string_view bytes = lines.LineView(line);
  column = std::clamp(column, 0, static_cast<int>(bytes.size()));
  const std::int64_t units =
      Utf8() ? codepage::ToQString(bytes.substr(0, column), TTextEncoding::Utf8).size() : column;
  return LineStart(line) + units;
}

int QtEditorText::FlatOfOffset(std::int64_t offset) {
  std::int64_t start = 0;
  const int line = LineAt(std::clamp<std::int64_t>(offset, 0, CharacterCount()), &start);
  const int units = static_cast<int>(std::clamp<std::int64_t>(offset - start, 0, LineUnits(line)));
  int column = units;
  if (Utf8()) {
    // The shortest prefix of the line's bytes that decodes to `units` units.
    const std::string_view bytes = editor_.Lines->LineView(line);
    int lo = 0, hi = static_cast<int>(bytes.size());
    while (lo < hi) {
      const int mid = (lo + hi) / 2;
      if (codepage::ToQString(bytes.substr(0, mid), TTextEncoding::Utf8).size() < units)
        lo = mid + 1;
      else
        hi = mid;
    }
    column = lo;
  }
  return static_cast<int>(editor_.Lines->LineStartOffset(line) + column) + 1;
}

std::int64_t QtEditorText::CaretOffset() { return OffsetOfRowPos(editor_.CaretX, editor_.CaretY); }

void QtEditorText::Selection(std::int64_t& start, std::int64_t& end) {
  if (!editor_.SelAvail) {
    start = end = CaretOffset();
    return;
  }
  start = OffsetOfRowPos(editor_.SelStartX, editor_.SelStartY);
  end = OffsetOfRowPos(editor_.SelEndX, editor_.SelEndY);
  if (end < start) std::swap(start, end);
}

QString QtEditorText::Text(std::int64_t start, std::int64_t end) {
  const std::int64_t count = CharacterCount();
  if (end < 0 || end > count) end = count;
  start = std::clamp<std::int64_t>(start, 0, end);
  QString result;
  std::int64_t lineStart = 0;
  for (int line = LineAt(start, &lineStart); line < LineCount() && lineStart < end; ++line) {
    const QString text = LineText(line);
    const std::int64_t from = std::max<std::int64_t>(start - lineStart, 0);
    const std::int64_t to = std::min<std::int64_t>(end - lineStart, text.size());
    if (to > from) result += text.mid(from, to - from);
    if (end > lineStart + text.size() && line + 1 < LineCount()) result += QLatin1Char('\n');
    lineStart += text.size() + 1;
  }
  return result;
}

// ---- QtEditorAccessible ----

namespace {

QAccessibleInterface* Factory(const QString&, QObject* object) {
  if (auto* window = dynamic_cast<QtEditorWindow*>(object)) return new QtEditorAccessible(window);
  return nullptr;
}

QTextBoundaryFinder::BoundaryType FinderType(QAccessible::TextBoundaryType type) {
  switch (type) {
    case QAccessible::WordBoundary:
      return QTextBoundaryFinder::Word;
    case QAccessible::SentenceBoundary:
      return QTextBoundaryFinder::Sentence;
    default:
      return QTextBoundaryFinder::Grapheme;
  }
}

}  // namespace

QtEditorAccessible::QtEditorAccessible(QtEditorWindow* window)
    : QAccessibleWidget(window, QAccessible::EditableText) {}

void QtEditorAccessible::Install() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

QtEditorWindow* QtEditorAccessible::Window() const { return static_cast<QtEditorWindow*>(widget()); }
QtEditorText& QtEditorAccessible::Text() const { return Window()->AccessibleText(); }

QString QtEditorAccessible::text(QAccessible::Text t) const {
  if (t == QAccessible::Name) {
    const QString name = widget()->accessibleName();
    return name.isEmpty() ? widget()->windowTitle() : name;
  }
  return QAccessibleWidget::text(t);
}

void* QtEditorAccessible::interface_cast(QAccessible::InterfaceType t) {
  if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
  if (t == QAccessible::EditableTextInterface && !Window()->Editor().ReadOnly)
    return static_cast<QAccessibleEditableTextInterface*>(this);
  return QAccessibleWidget::interface_cast(t);
}

void QtEditorAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
  std::int64_t start = 0, end = 0;
  Text().Selection(start, end);
  if (selectionIndex != 0 || start == end) start = end = 0;
  *startOffset = static_cast<int>(start);
  *endOffset = static_cast<int>(end);
}

int QtEditorAccessible::selectionCount() const { return Window()->Editor().SelAvail ? 1 : 0; }

void QtEditorAccessible::addSelection(int startOffset, int endOffset) { setSelection(0, startOffset, endOffset); }

void QtEditorAccessible::removeSelection(int selectionIndex) {
  if (selectionIndex == 0) Window()->Run([&](TAdvancedEditor& e) { e.Unselect(); });
}

void QtEditorAccessible::setSelection(int, int startOffset, int endOffset) {
  QtEditorText& text = Text();
  const int start = text.FlatOfOffset(std::min(startOffset, endOffset));
  const int end = text.FlatOfOffset(std::max(startOffset, endOffset));
  Window()->Run([&](TAdvancedEditor& e) {
    e.SetSelStart(start);
    e.SetSelLength(end - start);
  });
}

int QtEditorAccessible::cursorPosition() const { return static_cast<int>(Text().CaretOffset()); }

void QtEditorAccessible::setCursorPosition(int position) {
  const int flat = Text().FlatOfOffset(position);
  Window()->Run([&](TAdvancedEditor& e) {
    const Point p = e.OffsetToPos(flat - 1);
    e.Unselect();
    e.MoveCaret(p.x, p.y);
  });
}

QString QtEditorAccessible::text(int startOffset, int endOffset) const { return Text().Text(startOffset, endOffset); }

QString QtEditorAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                                         int* endOffset) const {
  QtEditorText& text = Text();
  *startOffset = *endOffset = -1;
  const std::int64_t count = text.CharacterCount();
  if (offset < 0 || offset > count) return {};
  std::int64_t lineStart = 0;
  const int line = text.LineAt(offset, &lineStart);
  const QString lineText = text.LineText(line);
  const int at = static_cast<int>(offset - lineStart);
  int from = 0, to = static_cast<int>(lineText.size());
  if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary || type == QAccessible::NoBoundary) {
    // The whole line with its break (the whole text is never handed out at once).
    if (line + 1 < text.LineCount()) ++to;
  } else if (at >= lineText.size()) {
    // The line break, or the end of the text.
    from = at;
    to = line + 1 < text.LineCount() ? at + 1 : at;
  } else {
    QTextBoundaryFinder finder(FinderType(type), lineText);
    finder.setPosition(at);
    from = finder.isAtBoundary() ? at : static_cast<int>(std::max<qsizetype>(finder.toPreviousBoundary(), 0));
    finder.setPosition(at);
    const qsizetype next = finder.toNextBoundary();
    to = next < 0 ? static_cast<int>(lineText.size()) : static_cast<int>(next);
  }
  *startOffset = static_cast<int>(lineStart + from);
  *endOffset = static_cast<int>(lineStart + to);
  return to <= lineText.size() ? lineText.mid(from, to - from) : lineText.mid(from) + QLatin1Char('\n');
}

QString QtEditorAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                                             int* endOffset) const {
  int start = 0, end = 0;
  textAtOffset(offset, type, &start, &end);
  *startOffset = *endOffset = -1;
  if (start <= 0) return {};
  return textAtOffset(start - 1, type, startOffset, endOffset);
}

QString QtEditorAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                                            int* endOffset) const {
  int start = 0, end = 0;
  textAtOffset(offset, type, &start, &end);
  *startOffset = *endOffset = -1;
  if (end < 0 || end >= Text().CharacterCount() || end == start) return {};
  return textAtOffset(end, type, startOffset, endOffset);
}

int QtEditorAccessible::characterCount() const { return static_cast<int>(Text().CharacterCount()); }

QRect QtEditorAccessible::characterRect(int offset) const {
  const TAdvancedEditor& e = Window()->Editor();
  const Point p = e.OffsetToPos(Text().FlatOfOffset(offset) - 1);
  const Rect r = e.CellRect(e.ColumnAt(p.y, p.x), p.y);
  const QPoint topLeft = Window()->viewport()->mapToGlobal(QPoint(r.left, r.top));
  return QRect(topLeft, QSize(r.Width(), r.Height()));
}

int QtEditorAccessible::offsetAtPoint(const QPoint& point) const {
  const TAdvancedEditor& e = Window()->Editor();
  const QPoint local = Window()->viewport()->mapFromGlobal(point);
  const Point p = e.PixelToPosition(local.x(), local.y());
  return static_cast<int>(Text().OffsetOfRowPos(p.x, p.y));
}

void QtEditorAccessible::scrollToSubstring(int startIndex, int) { setCursorPosition(startIndex); }

QString QtEditorAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = offset;
  return QString();
}

void QtEditorAccessible::deleteText(int startOffset, int endOffset) { replaceText(startOffset, endOffset, QString()); }

void QtEditorAccessible::insertText(int offset, const QString& text) { replaceText(offset, offset, text); }

void QtEditorAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
  if (Window()->Editor().ReadOnly) return;
  QtEditorText& t = Text();
  const int start = t.FlatOfOffset(std::min(startOffset, endOffset));
  const int end = t.FlatOfOffset(std::max(startOffset, endOffset));
  QString lines = text;
  lines.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  Window()->Run([&](TAdvancedEditor& e) {
    const std::string bytes =
        codepage::FromQString(lines, e.Utf8() ? TTextEncoding::Utf8 : TTextEncoding::Windows1252);
    e.SetSelStart(start);
    e.SetSelLength(end - start);
    e.SetSelText(bytes);
  });
}

}  // namespace platform
