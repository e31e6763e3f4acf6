// TAdvancedEditor: construction, options, notifications, geometry and the
// owner side of the line store.

#include "editor/AdvEdit.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "editor/AdvCompletion.h"
#include "editor/TextColumns.h"
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

// ---------------------------------------------------------------- positions and columns

int TAdvancedEditor::NextPos(int row, int x) const {
  if (!Utf8()) return x + 1;
  return textcol::NextChar(encoding_, RowExists(row) ? Lines->RowView(row) : std::string_view(), x);
}

int TAdvancedEditor::PrevPos(int row, int x) const {
  if (!Utf8()) return std::max(x - 1, 0);
  return textcol::PrevChar(encoding_, RowExists(row) ? Lines->RowView(row) : std::string_view(), x);
}

int TAdvancedEditor::SnapPos(int row, int x) const {
  if (!Utf8() || !RowExists(row)) return x;
  return textcol::CharStart(encoding_, Lines->RowView(row), x);
}

int TAdvancedEditor::SnapForward(int row, int x) const {
  const int start = SnapPos(row, x);
  return start == x ? x : NextPos(row, start);
}

int TAdvancedEditor::ColumnAt(int row, int x) const {
  if (!Utf8() || !RowExists(row)) return x;
  return textcol::ColumnOf(encoding_, Lines->RowView(row), x);
}

int TAdvancedEditor::PosAtColumn(int row, int column) const {
  if (!Utf8() || !RowExists(row)) return column;
  return textcol::PositionOf(encoding_, Lines->RowView(row), column);
}

platform::Point TAdvancedEditor::PixelToPosition(int x, int y) const {
  platform::Point p = PixelToText(x, y);
  if (!Utf8() || !RowExists(p.y)) return p;
  const std::string_view text = Lines->RowView(p.y);
  // The character under the pointer; a wide one is left or right of its middle.
  const int offset = x - Client->TextLeft();
  const int cell = std::max(0, offset) / CharWidth + LeftCol;
  const int under = textcol::PositionOf(encoding_, text, cell);
  const int next = textcol::NextChar(encoding_, text, under);
  const int startColumn = textcol::ColumnOf(encoding_, text, under);
  int pos = 0;
  if (textcol::ColumnOf(encoding_, text, next) - startColumn > 1) {
    pos = offset - (startColumn - LeftCol) * CharWidth >= CharWidth ? next : under;
  } else {
    pos = textcol::PositionOf(encoding_, text, p.x);  // the nearest column boundary
  }
  if (textcol::ColumnOf(encoding_, text, pos) > RightCol) pos = textcol::PositionOf(encoding_, text, RightCol);
  return {pos, p.y};
}

// ---------------------------------------------------------------- what the undo history reaches

namespace {

class TEditorUndoSide final : public TUndoTarget {
 public:
  explicit TEditorUndoSide(TAdvancedEditor& editor) : e_(editor) {}
  bool GroupUndo() const override { return e_.GroupUndo; }
  void HistoryChanged() override {
    if (e_.OnStatusChange) e_.OnStatusChange(e_);
  }
  std::string Splice(std::int64_t offset, std::int64_t length, std::string_view text) override {
    return e_.Splice(offset, length, text);
  }
  void RestoreAsRead(const TLinesAsRead& lines) override {
    // Only to a line that has the text those bytes were read as: a save
    // never writes other text than the line's.
    for (const auto& [line, asRead] : lines) {
      if (line < 0 || line >= e_.Lines->Count()) continue;
      if (asRead.HasText && ::ExpandTabs(asRead.Text, e_.FileFormat.TabWidth) != e_.Lines->LineView(line)) continue;
      e_.Lines->SetAsRead(line, asRead);
    }
  }
  platform::Point OffsetToPos(std::int64_t offset) const override { return e_.OffsetToPos(offset); }
  void MoveCaret(int x, int y) override { e_.MoveCaret(x, y); }
  void RestoreSelection(const TSelectionState& s, int anchorX, int anchorY) override {
    e_.RestoreSelection(s, anchorX, anchorY);
  }
  void SetSelAvail(bool on) override { e_.SetSelAvail(on); }
  void RepaintSelection() override { e_.RepaintSelectionOnCommit(); }
  int LineCount() const override { return e_.Lines->Count(); }
  std::int64_t LineStartOffset(int line) const override { return e_.Lines->LineStartOffset(line); }
  int LineLength(int line) const override { return e_.Lines->LineLength(line); }
  void BeginLinesUpdate() override { e_.Lines->BeginUpdate(); }
  void EndLinesUpdate() override { e_.Lines->EndUpdate(); }
  TCaretState CaretState() const override {
    return {e_.CaretX, e_.CaretY, e_.SelAvail, e_.Selection(), e_.SelAnchorX, e_.SelAnchorY};
  }
  void RestoreCaretState(const TCaretState& s) override {
    e_.RestoreSelection(s.Sel, s.AnchorX, s.AnchorY);
    e_.SetSelAvail(s.SelAvail);
    e_.MoveCaret(s.CaretX, s.CaretY);
    e_.RepaintSelectionOnCommit();
  }
  void SetEncoding(TTextEncoding encoding) override { e_.SetEncoding(encoding); }

 private:
  TAdvancedEditor& e_;
};

// What the completion engine reaches of the editor.
class TEditorCompletionSide final : public TCompletionHost {
 public:
  explicit TEditorCompletionSide(TAdvancedEditor& editor) : e_(editor) {}
  bool ReadOnly() const override { return e_.ReadOnly; }
  bool TextEmpty() const override { return e_.Lines->Count() == 0; }
  std::string_view CaretRowText() const override {
    return e_.RowExists(e_.CaretY) ? e_.Lines->RowView(e_.CaretY) : std::string_view();
  }
  int CaretColumn() const override { return e_.CaretX; }
  TTextEncoding Encoding() const override { return e_.Encoding(); }
  std::string LowerCase(const std::string& text) override { return e_.ConvertCase(text, cmLower); }
  void CompletionOffered(std::uint8_t mode, bool& handled) override {
    if (mode == 0) {
      e_.IdentifierCompletion(handled);
    } else {
      e_.TemplateCompletion(handled);
    }
  }
  std::string AdjustCompletion(const std::string& word, const std::string& text) override {
    return e_.AdjustCompletion(word, text);
  }
  platform::CompletionList::DrawItemEvent DrawItemHook() override {
    if (!e_.OnCompletionDrawItem) return nullptr;
    return [this](platform::Canvas& canvas, int index, const platform::Rect& rect, bool selected) {
      e_.OnCompletionDrawItem(e_, canvas, index, rect, selected);
    };
  }
  platform::CompletionList::MeasureItemEvent MeasureItemHook() override {
    if (!e_.OnCompletionMeasureItem) return nullptr;
    return [this](int index, int& height) { e_.OnCompletionMeasureItem(e_, index, height); };
  }
  platform::Rect CellBelowCaret() const override {
    return e_.CellRect(e_.CaretColumn() - e_.LeftCol, e_.CaretY - e_.TopRow + 1);
  }
  int RowHeight() const override { return e_.CharHeight; }
  int Width() const override { return e_.ClientWidth(); }
  platform::EditorWindow* Window() const override { return e_.Window(); }
  void StartCompletionTimer(int ms) override {
    if (platform::EditorWindow* w = e_.Window()) w->StartTimer(TAdvancedEditor::kCompletionTimer, ms);
  }
  void StopCompletionTimer() override {
    if (platform::EditorWindow* w = e_.Window()) w->StopTimer(TAdvancedEditor::kCompletionTimer);
  }
  void BeginInsert() override {
    e_.ShowCaret(false);
    e_.BeginUpdate();
    e_.BeginEdit();
    e_.PadToCaret();
    e_.RefreshCaretLine();
  }
  void EndInsert() override {
    struct Rest {
      TAdvancedEditor& e;
      ~Rest() noexcept(false) {
        struct Caret {
          TAdvancedEditor& e;
          ~Caret() { e.ShowCaret(true); }
        } caret{e};
        e.EndUpdate();
      }
    } rest{e_};
    e_.EndEdit();
  }
  std::int64_t CaretOffset() const override { return e_.PosToOffset(e_.CaretX, e_.CaretY); }
  std::int64_t CaretLineStart() const override { return e_.Lines->LineStartOffset(e_.CaretLine); }
  std::string_view CaretLineText() const override { return e_.Lines->LineView(e_.CaretLine); }
  platform::Point OffsetToPos(std::int64_t offset) const override { return e_.OffsetToPos(offset); }
  std::string ExpandTabs(std::string_view text) const override { return e_.ExpandTabs(text); }
  void Replace(std::int64_t offset, std::int64_t length, const std::string& text, std::int64_t caret) override {
    e_.Edit(TUndoKind::Replace, e_.CaretX, e_.CaretY, offset, length, text);
    const platform::Point p = e_.OffsetToPos(caret);
    e_.MoveCaret(p.x, p.y);
  }

 private:
  TAdvancedEditor& e_;
};

// The record the history keeps of a change.
TUndoRecord RecordOf(TTextChange& c) {
  auto at = [&](auto r) {
    r.X = c.X;
    r.Y = c.Y;
    return r;
  };
  auto inserted = [&](auto r) {
    r = at(r);
    r.Text = std::move(c.Inserted);
    r.Offset = c.Offset;
    return TUndoRecord(std::move(r));
  };
  auto removed = [&](auto r) {
    r = at(r);
    r.Text = std::move(c.Removed);
    r.Offset = c.Offset;
    return r;
  };
  switch (c.Kind) {
    case TUndoKind::Caret:
      return at(TCaretUndo{});
    case TUndoKind::Insert:
      return inserted(TInsertUndo{});
    case TUndoKind::ReLine:
      return inserted(TReLineUndo{});
    case TUndoKind::InsertTab:
      return inserted(TInsertTabUndo{});
    case TUndoKind::Delete:
      return removed(TDeleteUndo{});
    case TUndoKind::Backspace:
      return removed(TBackspaceUndo{});
    case TUndoKind::DeleteSelected: {
      TDeleteSelectedUndo r = removed(TDeleteSelectedUndo{});
      r.Sel = c.Sel;
      return r;
    }
    case TUndoKind::Overwrite: {
      TOverwriteUndo r = at(TOverwriteUndo{});
      r.OldText = std::move(c.Removed);
      r.NewText = std::move(c.Inserted);
      r.Offset = c.Offset;
      return r;
    }
    case TUndoKind::Replace: {
      TReplaceUndo r = at(TReplaceUndo{});
      r.Position = c.Offset + 1;
      r.EndPosition = r.Position + static_cast<std::int64_t>(c.Removed.size());
      r.OldText = std::move(c.Removed);
      r.NewText = std::move(c.Inserted);
      return r;
    }
    case TUndoKind::Select: {
      TSelectUndo r = at(TSelectUndo{});
      r.Sel = c.Sel;
      return r;
    }
    case TUndoKind::Unselect: {
      TUnselectUndo r = at(TUnselectUndo{});
      r.Sel = c.Sel;
      return r;
    }
    case TUndoKind::BeginCompound:
      return TBeginCompoundUndo{};
    case TUndoKind::EndCompound:
      return TEndCompoundUndo{};
    case TUndoKind::Indent:
      return TIndentUndo{c.FirstLine, c.LastLine, c.Count};
    case TUndoKind::Unindent:
      return TUnindentUndo{c.FirstLine, c.Count};
    case TUndoKind::Encoding:
      return TEncodingUndo{c.OldEncoding, c.NewEncoding};
  }
  return TCaretUndo{};
}

}  // namespace

// ---------------------------------------------------------------- life

TAdvancedEditor::TAdvancedEditor()
    : Lines(std::make_unique<TAdvLines>(this)),
      Document(std::make_unique<TAdvDocument>(*Lines, static_cast<TDocumentHost&>(*this))) {
  Keyboard = std::make_unique<TKeyboard>();
  UndoSide = std::make_unique<TEditorUndoSide>(*this);
  UndoBuffer = std::make_unique<TUndoBuffer>(UndoSide.get());
  HorzBar = std::make_unique<TAdvEditScrollBar>();
  VertBar = std::make_unique<TAdvEditScrollBar>();
  VertBar->Kind = 1;
  auto report = [this](TAdvEditScrollBar& bar, int action, int& position) { ScrollBarChanged(bar, action, position); };
  HorzBar->OnScroll = report;
  VertBar->OnScroll = report;
  Client = std::make_unique<TEditorClient>(*this);
  Gutter = std::make_unique<TGutter>(*this);
  Keyboard->LoadDefaults();
  CompletionSide = std::make_unique<TEditorCompletionSide>(*this);
  Completion = std::make_unique<TCompletion>(*CompletionSide);
  RecalcMetrics(true, false);
}

TAdvancedEditor::~TAdvancedEditor() {
  destroying_ = true;
  if (window_) window_->StopTimer(kScrollTimer);
  if (window_) window_->StopTimer(kCompletionTimer);
}

void TAdvancedEditor::AttachWindow(platform::EditorWindow* window) {
  // The window attached already: its bitmaps, bars and metrics stand.
  if (window && window == window_) return;
  window_ = window;
  RowBitmap.reset();
  Gutter->GutterBitmap.reset();
  HorzBar->Handle = nullptr;
  VertBar->Handle = nullptr;
  if (!window_) return;
  RowBitmap = window_->CreateCanvas(1, 1);
  Gutter->GutterBitmap = window_->CreateCanvas(1, 1);
  ShowScrollBars();
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

void TAdvancedEditor::SetEncoding(TTextEncoding encoding) { Document->SetEncoding(encoding); }

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
  ShowScrollBars();
  RecalcMetrics(false, false);
}

void TAdvancedEditor::ShowScrollBars() {
  bool horizontal = scrollBars_ == 1 || scrollBars_ == 3;
  bool vertical = scrollBars_ == 2 || scrollBars_ == 3;
  window_->ShowScrollBars(horizontal, vertical);
  HorzBar->Handle = horizontal ? window_ : nullptr;
  VertBar->Handle = vertical ? window_ : nullptr;
  HorzRange = VertRange = -1;
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
  // The notices held back by the bracket come before its one repaint.
  if (UpdateCount == 1 && tx_.Depth > 0 && Pending() && std::uncaught_exceptions() == 0) Commit();
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
  if (notificationsHeld_ > 0) {
    notificationPending_ = true;
    return;
  }
  NotifyWatchers();
}

void TAdvancedEditor::ReleaseNotifications() {
  if (notificationsHeld_ == 0 || --notificationsHeld_ > 0 || !notificationPending_) return;
  notificationPending_ = false;
  NotifyWatchers();
}

void TAdvancedEditor::NotifyWatchers() {
  // Lines below a change whose colours follow from it are painted again.
  if (UpdateCount == 0 && colourCheckFrom_ != INT32_MAX) {
    RepaintStaleColours(colourCheckFrom_);
    colourCheckFrom_ = INT32_MAX;
  }
  if (OnChange) OnChange(*this);
  if (OnStatusChange && !destroying_) OnStatusChange(*this);
}

void TAdvancedEditor::LinesChanged(const TLinesChange& change) {
  if (change.LongestLine > ColumnCapacity) {
    ColumnCapacity = change.LongestLine + 1;
    tx_.Metrics = true;
  }
  if (!change.RowsOnly && (change.LinesRemoved > 0 || change.LinesInserted > 0))
    colourCheckFrom_ = std::min(colourCheckFrom_, change.FirstLine);
  if (change.LinesRemoved > 0 || change.LinesInserted > 0 || change.RowsRemoved > 0 || change.RowsInserted > 0) {
    // A write of the store outside any transaction is one of its own.
    TEditScope scope(*this);
    TTextChange& c = tx_.Changes.emplace_back();
    c.Lines = change;
    c.Touched = true;
    // The store's own notification repaints the window.
    c.Noticed = change.Notice != TLinesNotice::None && UpdateCount == 0 && window_ && window_->Showing();
  }
  if (change.Notice == TLinesNotice::None || UpdateCount > 0) return;
  if (change.Notice == TLinesNotice::Assigned) ClearUndo();
  SelAvail = false;
  RecalcMetrics(false, true);
  if (window_ && window_->Showing()) {
    Invalidate();
    // The whole window is painted again: so are the rows changed so far.
    for (TTextChange& c : tx_.Changes) c.Noticed = true;
  }
  if (change.Notice == TLinesNotice::Assigned) ResetCaret();
}

void TAdvancedEditor::IdentifierCompletion(bool& handled) {
  if (OnIdentifierCompletion) OnIdentifierCompletion(*this, handled);
}

void TAdvancedEditor::TemplateCompletion(bool& handled) {
  if (OnTemplateCompletion) OnTemplateCompletion(*this, handled);
}

std::string TAdvancedEditor::AdjustCompletion(const std::string& word, const std::string& text) {
  std::string result = text;
  if (OnAdjustCompletion) OnAdjustCompletion(*this, word, result, text);
  return result;
}

void TAdvancedEditor::HighlighterHears(const TLinesChange&) {}

void TAdvancedEditor::JournalHears(const TLinesChange&) {}

// ---------------------------------------------------------------- the edit transaction

void TAdvancedEditor::EndEdit() {
  if (tx_.Depth == 1 && Pending()) {
    if (std::uncaught_exceptions() > 0) {
      // Leaving by an exception: the listeners still hear what changed, but
      // a listener's own failure does not replace the one under way.
      try {
        Commit();
      } catch (...) {
      }
    } else {
      try {
        Commit();
      } catch (...) {
        tx_.Depth = 0;
        throw;
      }
    }
  }
  if (tx_.Depth > 0) --tx_.Depth;
}

void TAdvancedEditor::Commit() {
  // Taken whole first: a listener may edit again, which is a transaction of its own.
  std::vector<TTextChange> changes;
  changes.swap(tx_.Changes);
  const std::size_t heard = tx_.HeardByHighlighter;
  const bool notify = tx_.Notify, wholeView = tx_.WholeView, selectionRows = tx_.SelectionRows, metrics = tx_.Metrics;
  tx_.HeardByHighlighter = 0;
  tx_.Notify = tx_.WholeView = tx_.SelectionRows = tx_.Metrics = false;
  const int depth = tx_.Depth;
  tx_.Depth = 0;
  struct Restore {
    TEditTransaction& t;
    int depth;
    ~Restore() { t.Depth = depth; }
  } restore{tx_, depth};

  // 1. The undo history. A record of a text change takes the bytes as read
  // of the lines its change took away (those of the store's splices since
  // the record before it).
  {
    TLinesAsRead taken;
    for (TTextChange& c : changes) {
      for (auto& line : c.Lines.AsReadRemoved) taken.push_back(std::move(line));
      if (!c.Undoable) continue;
      if (!ChangesText(c.Kind)) taken.clear();
      UndoBuffer->AddRecord(RecordOf(c), std::move(taken));
      taken.clear();
    }
  }
  // 2. The highlighter: what it did not hear while the command painted.
  for (std::size_t i = heard; i < changes.size(); ++i) {
    const TLinesChange& l = changes[i].Lines;
    if (changes[i].Touched && !l.RowsOnly && (l.LinesRemoved > 0 || l.LinesInserted > 0)) HighlighterHears(l);
  }
  // 3. The painter's changed rows.
  if (UpdateCount == 0 && !destroying_) {
    if (wholeView) {
      if (selectionRows) RepaintSelectionRows();
      RecalcMetrics(false, true);
      Invalidate();
    } else {
      int firstRow = INT32_MAX;
      bool moved = false;
      for (const TTextChange& c : changes) {
        if (!c.Touched || c.Noticed) continue;
        const TLinesChange& l = c.Lines;
        firstRow = std::min(firstRow, l.FirstRow);
        if (l.LinesRemoved != l.LinesInserted || l.RowsRemoved != l.RowsInserted) moved = true;
      }
      if (moved || metrics) RecalcMetrics(false, true);
      if (moved) {
        if (VertBar->Position != TopRow) VertBar->SetValue(TAdvEditScrollBar::kPosition, TopRow);
        RepaintRowRange(firstRow, BottomRow + 1);
      } else {
        for (const TTextChange& c : changes)
          if (c.Touched && !c.Noticed && c.Lines.RowsInserted > 0)
            RepaintRowRange(c.Lines.FirstRow, c.Lines.FirstRow + c.Lines.RowsInserted - 1);
      }
      if (selectionRows) RepaintSelectionRows();
    }
  }
  // 4. The journal.
  for (const TTextChange& c : changes) {
    const TLinesChange& l = c.Lines;
    if (c.Touched && !l.RowsOnly && (l.LinesRemoved > 0 || l.LinesInserted > 0)) JournalHears(l);
  }
  // 5. The document.
  if (notify) ChangeNotification();
}

void TAdvancedEditor::HearHighlighter() {
  for (; tx_.HeardByHighlighter < tx_.Changes.size(); ++tx_.HeardByHighlighter) {
    const TTextChange& c = tx_.Changes[tx_.HeardByHighlighter];
    const TLinesChange& l = c.Lines;
    if (c.Touched && !l.RowsOnly && (l.LinesRemoved > 0 || l.LinesInserted > 0)) HighlighterHears(l);
  }
}

void TAdvancedEditor::DropPendingRecords(int n) {
  for (auto it = tx_.Changes.rbegin(); it != tx_.Changes.rend() && n > 0; ++it) {
    if (!it->Undoable) continue;
    it->Undoable = false;
    --n;
  }
}

void TAdvancedEditor::UndoStep() { HistoryStep(false); }

void TAdvancedEditor::RedoStep() {
  if (UndoBuffer->RedoCount() > 0) HistoryStep(true);
}

void TAdvancedEditor::HistoryStep(bool redo) {
  // Records offered while the step is applied and heard are not kept.
  const bool was = UndoBuffer->Undoing;
  UndoBuffer->Undoing = true;
  struct Restore {
    TUndoBuffer& u;
    bool was;
    ~Restore() { u.Undoing = was; }
  } restore{*UndoBuffer, was};
  TEditScope scope(*this);
  if (redo) {
    UndoBuffer->Redo();
  } else {
    UndoBuffer->Undo();
  }
  if (UpdateCount == 0) {
    tx_.WholeView = true;
    tx_.Notify = true;
  }
  Commit();
}

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
  EditText(kind, x, y, offset, length, text, nullptr);
}

void TAdvancedEditor::EditText(TUndoKind kind, int x, int y, std::int64_t offset, std::int64_t length,
                               std::string_view text, std::string* owned) {
  TEditScope scope(*this);
  const std::size_t before = tx_.Changes.size();
  std::string removed = Lines->ReplaceText(offset, length, text);
  if (x < 0) {
    const platform::Point p = OffsetToPos(offset);
    x = p.x;
    y = p.y;
  }
  TTextChange& c = tx_.Changes.size() > before ? tx_.Changes.back() : tx_.Changes.emplace_back();
  c.Offset = offset;
  c.Removed = std::move(removed);
  if (owned) {
    c.Inserted = std::move(*owned);
  } else {
    c.Inserted = text;
  }
  c.Undoable = true;
  c.Kind = kind;
  c.X = x;
  c.Y = y;
  if (kind == TUndoKind::DeleteSelected) c.Sel = Selection();
  tx_.Notify = true;
}

std::string TAdvancedEditor::Splice(std::int64_t offset, std::int64_t length, std::string_view text) {
  TEditScope scope(*this);
  const std::size_t before = tx_.Changes.size();
  std::string removed = Lines->ReplaceText(offset, length, text);
  // Only the history keeps texts, and it keeps none of these.
  if (tx_.Changes.size() > before) tx_.Changes.back().Offset = offset;
  return removed;
}

void TAdvancedEditor::IndentLines(int first, int last, int columns) {
  TEditScope scope(*this);
  const std::string blanks(static_cast<std::size_t>(std::max(columns, 0)), ' ');
  for (int i = first; i <= last; ++i) Splice(Lines->LineStartOffset(i), 0, blanks);
  TTextChange& c = tx_.Changes.emplace_back();
  c.Undoable = true;
  c.Kind = TUndoKind::Indent;
  c.FirstLine = first;
  c.LastLine = last;
  c.Count = columns;
  tx_.Notify = true;
}

int TAdvancedEditor::UnindentLine(int line, int most) {
  TEditScope scope(*this);
  std::string_view text = Lines->LineView(line);
  int n = 0;
  while (n < most && n < static_cast<int>(text.size()) && text[static_cast<std::size_t>(n)] == ' ') ++n;
  Splice(Lines->LineStartOffset(line), n, "");
  TTextChange& c = tx_.Changes.emplace_back();
  c.Undoable = true;
  c.Kind = TUndoKind::Unindent;
  c.FirstLine = line;
  c.Count = n;
  tx_.Notify = true;
  return n;
}

void TAdvancedEditor::Record(TUndoKind kind, int x, int y) {
  TEditScope scope(*this);
  TTextChange& c = tx_.Changes.emplace_back();
  c.Undoable = true;
  c.Kind = kind;
  c.X = x;
  c.Y = y;
  if (kind == TUndoKind::Select || kind == TUndoKind::Unselect) c.Sel = Selection();
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
      Splice(0, 0, "\r\n");
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

void TAdvancedEditor::ClearUndo() {
  for (TTextChange& c : tx_.Changes) c.Undoable = false;
  UndoBuffer->Clear();
}
