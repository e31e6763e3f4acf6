// TAdvancedEditor: construction, options, notifications, geometry and the
// owner side of the line store.

#include "editor/AdvEdit.h"

#include <algorithm>
#include <cmath>

#include "editor/AdvCompletion.h"
#include "editor/TextScan.h"

// ---------------------------------------------------------------- geometry

int TEditorClient::TextLeft() const { return Editor.GutterWidth() + 2; }

int TEditorClient::TextWidth() const { return std::max(0, Editor.ClientWidth() - TextLeft()); }

int TEditorClient::TextHeight() const { return Editor.ClientHeight(); }

platform::Rect TEditorClient::CellRect(int c, int r) const {
  int left = TextLeft() + c * Editor.CharWidth + 1;
  int top = r * Editor.CharHeight;
  return {left, top, left + Editor.CharWidth, top + Editor.CharHeight};
}

platform::Point TEditorClient::PixelToText(int x, int y) const {
  // Nearest column, an exact half going to the even neighbour.
  long col = std::lrint(static_cast<double>(x - TextLeft()) / Editor.CharWidth);
  int row = y / Editor.CharHeight;
  col = std::max(0L, col) + Editor.LeftCol;
  row = std::max(0, row) + Editor.TopRow;
  col = std::min<long>(col, Editor.RightCol);
  row = std::min(row, Editor.LastRow());
  return {static_cast<int>(col), row};
}

// ---------------------------------------------------------------- life

TAdvancedEditor::TAdvancedEditor() {
  Lines = std::make_unique<TAdvLines>(this);
  Keyboard = std::make_unique<TKeyboard>();
  UndoBuffer = std::make_unique<TUndoBuffer>(this);
  HorzBar = std::make_unique<TAdvEditScrollBar>();
  VertBar = std::make_unique<TAdvEditScrollBar>();
  VertBar->Kind = 1;
  auto report = [this](TAdvEditScrollBar& bar, int action, int& position) { ScrollBarChanged(bar, action, position); };
  HorzBar->OnScroll = report;
  VertBar->OnScroll = report;
  Client = std::make_unique<TEditorClient>(*this);
  Gutter = std::make_unique<TGutter>(*this);
  Keyboard->LoadDefaults();
  Completion = std::make_unique<TCompletion>(*this);
  RecalcMetrics(true, false);
}

TAdvancedEditor::~TAdvancedEditor() {
  destroying_ = true;
  if (window_) window_->StopTimer(kScrollTimer);
  if (window_) window_->StopTimer(kCompletionTimer);
}

void TAdvancedEditor::AttachWindow(platform::EditorWindow* window) {
  window_ = window;
  RowBitmap.reset();
  Gutter->GutterBitmap.reset();
  HorzBar->Handle = nullptr;
  VertBar->Handle = nullptr;
  if (!window_) return;
  RowBitmap = window_->CreateCanvas(1, 1);
  Gutter->GutterBitmap = window_->CreateCanvas(1, 1);
  SetScrollBars(scrollBars_);
  fullRepaint_ = true;
  RecalcMetrics(true, true);
}

int TAdvancedEditor::ClientWidth() const { return window_ ? window_->ClientSize().x : boundsWidth_; }

int TAdvancedEditor::ClientHeight() const { return window_ ? window_->ClientSize().y : boundsHeight_; }

void TAdvancedEditor::SetBounds(int width, int height) {
  boundsWidth_ = width;
  boundsHeight_ = height;
  Resize();
}

bool TAdvancedEditor::Focused() const { return window_ && window_->HasFocus(); }

// ---------------------------------------------------------------- options

void TAdvancedEditor::SetWordWrap(bool on) {
  if (wordWrap_ == on) return;
  wordWrap_ = on;
  Lines->RewrapAll();
  ClearUndo();
}

void TAdvancedEditor::SetShowSpecialChars(bool on) {
  if (showSpecialChars_ == on) return;
  showSpecialChars_ = on;
  Invalidate();
}

void TAdvancedEditor::SetGutterWidth(int width) {
  if (gutterWidth_ == width) return;
  gutterWidth_ = width;
  RecalcMetrics(true, true);
  Invalidate();
}

void TAdvancedEditor::SetGutterColor(TColor color) {
  if (gutterColor_ == color) return;
  gutterColor_ = color;
  GutterPaint();
}

void TAdvancedEditor::SetMarginColor(TColor color) {
  if (marginColor_ == color) return;
  marginColor_ = color;
  Invalidate();
}

void TAdvancedEditor::SetBorderStyle(int style) {
  if (borderStyle_ == style) return;
  borderStyle_ = style;
  fullRepaint_ = true;
  Invalidate();
}

void TAdvancedEditor::SetScrollBars(int which) {
  scrollBars_ = which;
  if (!window_) return;
  bool horizontal = which == 1 || which == 3;
  bool vertical = which == 2 || which == 3;
  window_->ShowScrollBars(horizontal, vertical);
  HorzBar->Handle = horizontal ? window_ : nullptr;
  VertBar->Handle = vertical ? window_ : nullptr;
  HorzRange = VertRange = -1;
  RecalcMetrics(false, false);
}

void TAdvancedEditor::SetColor(TColor color) {
  if (color_ == color) return;
  color_ = color;
  MarkAllDirty();
}

void TAdvancedEditor::SetEditorFont(const platform::FontSpec& font) {
  EditorFont = font;
  FontChanged();
}

// ---------------------------------------------------------------- notifications

void TAdvancedEditor::BeginUpdate() { ++UpdateCount; }

void TAdvancedEditor::EndUpdate() {
  if (UpdateCount == 0) return;
  if (--UpdateCount > 0) return;
  fullRepaint_ = true;
  RecalcMetrics(false, true);
  if (OnStatusChange && !destroying_) OnStatusChange(*this);
  Invalidate();
}

void TAdvancedEditor::Invalidate() {
  if (UpdateCount > 0 || !window_) return;
  window_->InvalidateAll();
}

void TAdvancedEditor::ChangeNotification() {
  Modified = true;
  // Lines below a change whose colours follow from it are painted again.
  if (UpdateCount == 0 && colourCheckFrom_ != INT32_MAX) {
    RepaintStaleColours(colourCheckFrom_);
    colourCheckFrom_ = INT32_MAX;
  }
  if (OnChange) OnChange(*this);
  if (OnStatusChange && !destroying_) OnStatusChange(*this);
}

void TAdvancedEditor::LinesChanged(const TLinesChange& change) {
  if (change.LongestLine > ColumnCapacity) ColumnCapacity = change.LongestLine + 1;
  if (!change.RowsOnly && (change.LinesRemoved > 0 || change.LinesInserted > 0)) {
    colourCheckFrom_ = std::min(colourCheckFrom_, change.FirstLine);
    TextChanged(change);
  }
  if (change.Notice == TLinesNotice::None || UpdateCount > 0) return;
  if (change.Notice == TLinesNotice::Assigned) ClearUndo();
  SelAvail = false;
  RecalcMetrics(false, true);
  if (window_ && window_->Showing()) Invalidate();
  if (change.Notice == TLinesNotice::Assigned) ResetCaret();
}

void TAdvancedEditor::TextChanged(const TLinesChange&) {}

void TAdvancedEditor::UpdateScrollRange(TAdvEditScrollBar& bar, int n, int v, int& cache) {
  if (n == cache) return;
  cache = std::max(n, 1);
  if (v < n) {
    bar.SetValue(TAdvEditScrollBar::kMax, n - 1);
    bar.SetValue(TAdvEditScrollBar::kMin, 0);
  } else {
    bar.SetValue(TAdvEditScrollBar::kMin, 0);
    bar.SetValue(TAdvEditScrollBar::kMax, 0);
  }
  // A view too small for one row still steps by nothing rather than by 65535.
  bar.LargeChange = static_cast<std::uint16_t>(std::max(v - 1, 0));
  bar.SetValue(TAdvEditScrollBar::kPageSize, v);
}

void TAdvancedEditor::RecomputeView() {
  RightCol = LeftCol + VisibleCols - 1;
  BottomRow = TopRow + VisibleRows - 1;
}

void TAdvancedEditor::RecalcMetrics(bool fontChanged, bool repaintGutter) {
  if (fontChanged && RowBitmap) {
    platform::FontSpec measured = EditorFont;
    RowBitmap->SetFont(measured);
    platform::Point cell = RowBitmap->MeasureGlyph(
        'W', MeasureBold ? static_cast<std::uint8_t>(platform::fontstyle::Bold | platform::fontstyle::Italic) : 0);
    CharWidth = std::max(1, cell.x);
    CharHeight = std::max(1, cell.y);
    RowBitmap->Resize(std::max(1, ClientWidth()), CharHeight);
    if (Gutter->GutterBitmap) Gutter->GutterBitmap->Resize(gutterWidth_ + 2, std::max(1, ClientHeight()));
  }
  VisibleCols = Client->TextWidth() / CharWidth;
  VisibleRows = ClientHeight() / CharHeight;
  RecomputeView();
  HorzRange = VertRange = -1;
  UpdateScrollRange(*VertBar, Lines->GetRowCount(), VisibleRows, VertRange);
  UpdateScrollRange(*HorzBar, wordWrap_ ? WrapColumn : ColumnCapacity, VisibleCols, HorzRange);
  if (repaintGutter) GutterPaint();
}

void TAdvancedEditor::FontChanged() {
  RecalcMetrics(true, true);
  MarkAllDirty();
}

void TAdvancedEditor::Resize() {
  RecalcMetrics(true, true);
  Invalidate();
}

void TAdvancedEditor::MarkAllDirty() {
  Lines->MarkAllDirty();
  Invalidate();
}

// ---------------------------------------------------------------- the edit path

std::string TAdvancedEditor::ExpandTabs(std::string_view text) const { return ::ExpandTabs(text, TabWidth); }

void TAdvancedEditor::ResetCaret() {
  CaretX = CaretY = -1;
  MoveCaret(0, 0);
}

void TAdvancedEditor::Edit(TUndoKind kind, int x, int y, std::int64_t offset, std::int64_t length,
                           std::string_view text) {
  std::string removed = Lines->ReplaceText(offset, length, text);
  if (x < 0) {
    const platform::Point p = OffsetToPos(offset);
    x = p.x;
    y = p.y;
  }
  TUndoRecord r;
  r.Kind = kind;
  r.X = x;
  r.Y = y;
  r.Offset = offset;
  switch (kind) {
    case TUndoKind::Insert:
    case TUndoKind::ReLine:
    case TUndoKind::InsertTab:
      r.Text = text;
      break;
    case TUndoKind::Overwrite:
    case TUndoKind::Replace:
      r.Text = std::move(removed);
      r.NewText = text;
      break;
    case TUndoKind::DeleteSelected:
      r.Sel = Selection();
      [[fallthrough]];
    default:
      r.Text = std::move(removed);
      break;
  }
  UndoBuffer->AddRecord(std::move(r));
}

void TAdvancedEditor::IndentLines(int first, int last, int columns) {
  const std::string blanks(static_cast<std::size_t>(std::max(columns, 0)), ' ');
  for (int i = first; i <= last; ++i) Lines->ReplaceText(Lines->LineStartOffset(i), 0, blanks);
  TUndoRecord r;
  r.Kind = TUndoKind::Indent;
  r.FirstLine = first;
  r.LastLine = last;
  r.Count = columns;
  UndoBuffer->AddRecord(std::move(r));
}

int TAdvancedEditor::UnindentLine(int line, int most) {
  std::string_view text = Lines->LineView(line);
  int n = 0;
  while (n < most && n < static_cast<int>(text.size()) && text[static_cast<std::size_t>(n)] == ' ') ++n;
  Lines->ReplaceText(Lines->LineStartOffset(line), n, "");
  TUndoRecord r;
  r.Kind = TUndoKind::Unindent;
  r.FirstLine = line;
  r.Count = n;
  UndoBuffer->AddRecord(std::move(r));
  return n;
}

void TAdvancedEditor::Record(TUndoKind kind, int x, int y) {
  TUndoRecord r;
  r.Kind = kind;
  r.X = x;
  r.Y = y;
  if (kind == TUndoKind::Select || kind == TUndoKind::Unselect) r.Sel = Selection();
  UndoBuffer->AddRecord(std::move(r));
}

bool TAdvancedEditor::PadToCaret() {
  // Where the caret will stand in the padded text: its line and the column in
  // that line (a row below the text becomes a new line of its own).
  int line = 0, column = CaretX;
  const int rows = Lines->GetRowCount();
  if (CaretY >= 0 && CaretY < rows)
    Lines->RowToLine(CaretX, CaretY, column, line);
  else
    line = Lines->Count() + std::max(CaretY - rows, 0);
  bool padded = false;
  // Lines below the text: a break after the last line for each (an empty
  // store gets its first line without one).
  while (CaretY >= Lines->GetRowCount()) {
    if (Lines->Count() == 0) {
      Lines->ReplaceText(0, 0, "\r\n");
      continue;
    }
    const int lastRow = LastRow();
    const int last = Lines->Count() - 1;
    Edit(TUndoKind::ReLine, RowLength(lastRow), lastRow, Lines->LineStartOffset(last) + Lines->LineLength(last), 0,
         "\r\n");
    padded = true;
  }
  // Blanks up to the caret's column.
  const int length = CaretY >= 0 ? RowLength(CaretY) : 0;
  if (CaretY >= 0 && CaretX > length) {
    Edit(TUndoKind::ReLine, length, CaretY, PosToOffset(length, CaretY), 0,
         std::string(static_cast<std::size_t>(CaretX - length), ' '));
    padded = true;
  }
  if (!padded || !WordWrap() || CaretY < 0) return padded;
  // The padded line may wrap differently: the caret keeps its place in the text.
  int atColumn = -1, atLine = -1;
  if (RowExists(CaretY) && CaretX <= RowLength(CaretY)) Lines->RowToLine(CaretX, CaretY, atColumn, atLine);
  if (atLine != line || atColumn != column) {
    int x = 0, y = 0;
    Lines->LineToRow(line, column, y, x);
    MoveCaret(x, y);
  }
  return true;
}

// ---------------------------------------------------------------- flat offsets

std::int64_t TAdvancedEditor::PosToOffset(int column, int row) const {
  if (row < 0) return -1;
  if (row >= Lines->GetRowCount()) return Lines->TextLength();
  int line = 0, k = 0;
  Lines->RowToParagraph(row, line, k);
  int lineColumn = 0, ignored = 0;
  Lines->RowToLine(0, row, lineColumn, ignored);
  int length = RowLength(row);
  return Lines->LineStartOffset(line) + lineColumn + std::clamp(column, 0, length);
}

platform::Point TAdvancedEditor::OffsetToPos(std::int64_t offset) const {
  int count = Lines->Count();
  if (count == 0) return {0, 0};
  auto endOfText = [&] {
    int last = LastRow();
    return platform::Point{RowLength(last), last};
  };
  offset = std::max<std::int64_t>(offset, 0);
  std::int64_t lineStart = 0;
  int line = Lines->LineAtOffset(offset, &lineStart);
  if (line >= count) return endOfText();
  std::int64_t column = offset - lineStart;
  if (column > Lines->LineLength(line)) {
    // Inside the line break: the start of the next line.
    if (line + 1 >= count) return endOfText();
    ++line;
    column = 0;
  }
  platform::Point p;
  Lines->LineToRow(line, static_cast<int>(column), p.y, p.x);
  return p;
}

// ---------------------------------------------------------------- undo groups

void TAdvancedEditor::BeginUndoGroup() {
  ++GroupDepth;
  Record(TUndoKind::BeginCompound);
}

void TAdvancedEditor::EndUndoGroup() {
  Record(TUndoKind::EndCompound);
  --GroupDepth;
}

void TAdvancedEditor::ClearUndo() { UndoBuffer->Clear(); }
