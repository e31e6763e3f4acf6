#pragma once

// TAdvancedEditor: the editing control without its window. It holds the text
// (line store), caret, selection, view, key table, undo history, completion
// engine and painter, receives input as calls from the window host, and talks
// back through platform::EditorWindow. With no window attached it still edits
// (the edit manager's spare editor, tests).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "editor/AEAtoms.h"
#include "editor/AEKeys.h"
#include "editor/AESB.h"
#include "editor/AdvLines.h"
#include "editor/AdvUndo.h"
#include "platform/Canvas.h"
#include "platform/EditorWindow.h"

class TCompletion;

// Errors of the editor with their message texts.
class EAdvEditError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A silent abort: ends a command early; the dispatcher swallows it.
class EComplete : public std::exception {
 public:
  const char* what() const noexcept override { return ""; }
};

struct TBookmark {
  int X = 0;
  int Y = 0;
  bool IsSet = false;
};

// Geometry of the text area and its cells.
class TEditorClient {
 public:
  explicit TEditorClient(TAdvancedEditor& editor) : Editor(editor) {}
  int TextLeft() const;
  int TextWidth() const;
  int TextHeight() const;
  // Cell of column offset c, row offset r (relative to LeftCol / TopRow).
  platform::Rect CellRect(int c, int r) const;
  // Text position (column, row) under a pixel.
  platform::Point PixelToText(int x, int y) const;
  TAdvancedEditor& Editor;
};

// The gutter left of the text: its font and bitmap.
class TGutter {
 public:
  explicit TGutter(TAdvancedEditor& editor) : Editor(editor) {}
  TAdvancedEditor& Editor;
  platform::FontSpec GutterFont{"MS Sans Serif", 8, 0, platform::syscolor::WindowText};
  std::unique_ptr<platform::Canvas> GutterBitmap;
};

// What a command works on while it runs (see ExecuteCommand).
struct TCommandFrame {
  std::uint16_t Command = 0;
  int X = 0, Y = 0;       // working caret position
  bool CaretOnly = true;  // nothing but the caret moved: the final placement records it
};

class TAdvancedEditor : public TAdvLinesOwner {
 public:
  TAdvancedEditor();
  ~TAdvancedEditor() override;
  TAdvancedEditor(const TAdvancedEditor&) = delete;
  TAdvancedEditor& operator=(const TAdvancedEditor&) = delete;

  // ---- owned objects, in creation order ----
  std::unique_ptr<TAdvLines> Lines;
  std::unique_ptr<TKeyboard> Keyboard;
  std::unique_ptr<TUndoBuffer> UndoBuffer;
  std::unique_ptr<platform::Canvas> RowBitmap;
  platform::FontSpec EditorFont{"Courier New", 10, 0, 0};
  std::unique_ptr<TAdvEditScrollBar> HorzBar, VertBar;
  std::unique_ptr<TEditorClient> Client;
  std::unique_ptr<TGutter> Gutter;
  std::unique_ptr<TCompletion> Completion;

  // ---- the window ----
  // Attaches the window host (not owned); nullptr detaches. Creates the bitmaps and scroll bars.
  void AttachWindow(platform::EditorWindow* window);
  platform::EditorWindow* Window() const { return window_; }
  int ClientWidth() const;
  int ClientHeight() const;
  // Size used while no window is attached.
  void SetBounds(int width, int height);
  bool Focused() const;

  // ---- state (read freely; change through the operations) ----
  int CaretX = 0, CaretY = 0;
  int CaretLineX = 0, CaretLine = 0;
  int LeftCol = 0, TopRow = 0, RightCol = 0, BottomRow = 0;
  int VisibleCols = 0, VisibleRows = 0;
  int CharWidth = 1, CharHeight = 1;
  int HorzRange = 1, VertRange = 1;
  int UpdateCount = 0;
  bool SelAvail = false;
  std::uint8_t SelMode = 0;
  int SelStartX = 0, SelStartY = 0, SelEndX = 0, SelEndY = 0;
  int SelAnchorX = 0, SelAnchorY = 0;
  int OldSelStartX = 0, OldSelStartY = 0, OldSelEndX = 0, OldSelEndY = 0;
  std::array<TBookmark, 10> Bookmarks{};
  bool Modified = false;
  bool Recording = false;
  std::string MacroKeys, Macro;
  int GroupDepth = 0;
  bool KeyHandled = false, ChordPending = false;
  std::uint16_t ChordKey = 0;
  TShiftState ChordShift = 0;
  bool MouseDownFlag = false, Dragged = false, SkipNextMouseDown = false;
  int MouseX = 0, MouseY = 0, MouseCol = 0, MouseRow = 0;
  std::string HoverText;
  std::uint8_t HoverTag = 0;
  bool FullRepaint = true;
  TSelAttrs SelFlags;
  int SelFlagsLength = 0;
  std::vector<std::uint8_t> TabStopMarks;  // scratch map of the tab and unindent computations

  // ---- options ----
  bool InsertMode = true;
  bool ReadOnly = false;
  static constexpr int WrapColumn = 80;
  bool ShowMargin = true;
  int TabWidth = 4;
  int BlockIndent = 4;
  bool GroupUndo = true;
  bool AutoIndent = true;
  bool SmartIndent = true;
  int IndentColumn = 0;
  bool SmartTabs = true;
  bool BackspaceUnindents = true;
  bool CaretBeyondEOL = true;
  bool CaretBeyondEOF = false;
  bool HomeToColumn0 = true;
  bool WantTabs = true;
  bool MeasureBold = true;
  int ColumnCapacity = 512;
  TColor SelColor = platform::syscolor::Highlight;
  TColor SelTextColor = platform::syscolor::HighlightText;

  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool on);
  bool ShowSpecialChars() const { return showSpecialChars_; }
  void SetShowSpecialChars(bool on);
  int GutterWidth() const { return gutterWidth_; }
  void SetGutterWidth(int width);
  TColor GutterColor() const { return gutterColor_; }
  void SetGutterColor(TColor color);
  TColor MarginColor() const { return marginColor_; }
  void SetMarginColor(TColor color);
  int BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(int style);
  int ScrollBars() const { return scrollBars_; }
  void SetScrollBars(int which);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  void SetEditorFont(const platform::FontSpec& font);

  // ---- hooks (each optional) ----
  using TNotifyEvent = std::function<void(TAdvancedEditor&)>;
  TNotifyEvent OnChange, OnStatusChange, OnSelectionChange, OnScroll;
  std::function<void(TAdvancedEditor&, bool canPaste)> OnClipboardChange;
  THighlightEvent OnHighlight;
  std::function<void(TAdvancedEditor&, int)> OnDblClickHook;
  std::function<void(TAdvancedEditor&, const std::string& token, std::uint8_t tag)> OnTokenClick;
  std::function<void(TAdvancedEditor&, std::uint8_t tag, platform::Cursor& cursor)> OnTokenHover;
  std::function<void(TAdvancedEditor&, platform::Canvas&)> OnGutterPaint;
  std::function<void(TAdvancedEditor&, std::string& text)> OnBeforeInsert;
  std::function<void(TAdvancedEditor&, int mode, std::string& result, const std::string& text)> OnCaseChange;
  std::function<void(TAdvancedEditor&, const std::string& line, std::string& newLine)> OnNewLine;
  std::function<void(TAdvancedEditor&, const std::string& first, std::string& second)> OnJoinLines;
  std::function<void(TAdvancedEditor&, const std::string& selection)> OnSelectionCommand;
  std::function<bool(TAdvancedEditor&, std::string& text)> OnInsertCommand;
  std::function<void(TAdvancedEditor&, int index, std::string& text)> OnUserInsert;
  std::function<void(TAdvancedEditor&, int index, const std::string& selection, std::string& result)>
      OnUserTransform;
  std::function<void(TAdvancedEditor&, bool&handled)> OnIdentifierCompletion, OnTemplateCompletion;
  std::function<void(TAdvancedEditor&, const std::string& word, std::string& result, const std::string& text)>
      OnAdjustCompletion;
  std::function<void(TAdvancedEditor&, platform::Canvas&, int index, const platform::Rect& rect, bool selected)>
      OnCompletionDrawItem;
  std::function<void(TAdvancedEditor&, int index, int& height)> OnCompletionMeasureItem;

  // What the completion engine calls; each runs the hook when it is assigned.
  virtual void IdentifierCompletion(bool& handled);
  virtual void TemplateCompletion(bool& handled);
  // The text a completion inserts for the typed word (without the hook: `text`).
  virtual std::string AdjustCompletion(const std::string& word, const std::string& text);

  // ---- coordinates and flat offsets ----
  platform::Rect CellRect(int c, int r) const { return Client->CellRect(c, r); }
  platform::Point PixelToText(int x, int y) const { return Client->PixelToText(x, y); }
  // Offset in the text with CR LF after every line; -1 for a negative row.
  std::int64_t PosToOffset(int column, int row) const;
  platform::Point OffsetToPos(std::int64_t offset) const;
  int LastRow() const { return Lines->GetRowCount() - 1; }
  bool RowExists(int row) const { return row >= 0 && row < Lines->GetRowCount(); }
  int RowLength(int row) const { return static_cast<int>(Lines->RowView(row).size()); }

  // ---- caret and view ----
  void MoveCaret(int x, int y);
  void MoveCaretUndoable(int x, int y);
  void ScrollTo(int col, int row);
  void SetScrollPos(bool vertical, int pos);
  void CenterRow(int row);
  void ShowCaret(bool on);
  void ScrollBarChanged(TAdvEditScrollBar& bar, int action, int& position);
  // The caret's line position from CaretX / CaretY.
  void RefreshCaretLine();

  // ---- selection and text at the caret ----
  void ExtendSelection(int x, int y);
  void Unselect();
  std::string GetSelText() const;
  int SelLength() const { return static_cast<int>(GetSelText().size()); }
  int GetSelStart() const;
  void SetSelStart(int value);
  void SetSelLength(int length);
  void SetSelAvail(bool on);
  void SetSelText(const std::string& text);
  void InsertText(std::string text);
  void InsertTextAtCaret(const std::string& text);
  void DeleteSelection();
  // Adds the lines and blanks that make the caret's position exist (recorded
  // for undo). When the padded line wraps differently, the caret moves to the
  // same place in the padded text. True when the text changed.
  bool PadToCaret();
  TSelectionState Selection() const { return {SelMode, SelStartX, SelStartY, SelEndX, SelEndY}; }
  void RestoreSelection(const TSelectionState& s);

  // Word at 1-based position p of `text`: its 1-based start and the position after its end.
  static bool IsWordDelimiter(char c);
  static void WordAt(std::string_view text, int p, int& start, int& end);

  // ---- bookmarks ----
  void ToggleBookmark(int n);
  void GotoBookmark(int n);

  // ---- update counter and notifications ----
  void BeginUpdate();
  void EndUpdate();
  void Invalidate();
  virtual void ChangeNotification();
  void RecalcMetrics(bool fontChanged, bool repaintGutter);
  void FontChanged();
  void Resize();
  virtual void MarkAllDirty();

  // ---- undo ----
  template <typename Record, typename... Args>
  void AddUndo(Args&&... args) {
    UndoBuffer->AddRecord(std::make_unique<Record>(*this, std::forward<Args>(args)...));
  }
  void BeginUndoGroup();
  void EndUndoGroup();
  void ClearUndo() override;

  // ---- commands ----
  virtual void ExecuteCommand(std::uint16_t command);
  void PostCommand(std::uint16_t command);
  // The window host runs a posted command.
  void PostedCommand(std::uint16_t command) { ExecuteCommand(command); }
  void SelectAll() { ExecuteCommand(cmdSelectAll); }
  void Undo() { ExecuteCommand(cmdUndo); }
  void Copy();
  void Cut();
  void Paste();
  std::string ConvertCase(const std::string& text, int mode);

  // ---- input from the window host ----
  void KeyDown(std::uint16_t& key, TShiftState shift);
  void KeyPress(char ch);
  void MouseDown(int button, TShiftState shift, int x, int y);
  void MouseMove(TShiftState shift, int x, int y, bool leftButtonDown);
  void MouseUp(int button, TShiftState shift, int x, int y);
  void DblClick();
  void WheelScroll(int delta, int linesPerNotch = 3);
  void FocusIn();
  void FocusOut();
  void TimerTick(int id);
  void ContextMenuAt(int x, int y);
  void ClipboardChanged();
  // The platform's cut, copy and paste requests (cmdCut, cmdCopy, cmdPaste), run later.
  void ClipboardRequest(std::uint16_t command);
  void HorzScroll(int action, int trackPosition) { HorzBar->HandleScroll(action, trackPosition); }
  void VertScroll(int action, int trackPosition) { VertBar->HandleScroll(action, trackPosition); }
  // Whether a key goes to the editor rather than to focus movement.
  bool WantsKey(std::uint16_t key) const { return key != vk::Tab || WantTabs; }

  // ---- painting (platform paint request and row repaints) ----
  void Paint(const platform::Rect& clip);
  void PaintRow(int row, int firstCol, int lastCol);
  virtual void PrepareLine(int line, int row, int rowOffset, int rowLength, int firstCol, int lastCol,
                           std::string_view text);
  // The selection flags of one row (SelFlags, indexed by line column) and the
  // colours of its line; PrepareLine does both.
  void MarkSelection(int row, int rowOffset, int rowLength, int textLength);
  void HighlightLine(int line, int firstCol, int lastCol, std::string_view text);
  virtual void BeforeHighlight(int line, int firstCol, int lastCol);
  virtual void AfterHighlight(int line, int firstCol, int lastCol);
  void RepaintRows(int fromRow);
  int RepaintLineRows(int row);
  void RepaintSelectionRows();
  void GutterPaint();

  // The token under a text position: the run of equal tags around it.
  void TokenAt(int column, int row, std::string& text, std::uint8_t& tag);

  // ---- TAdvLinesOwner ----
  bool GetWordWrap() const override { return wordWrap_; }
  int GetWrapColumn() const override { return WrapColumn; }
  int& UpdateCounter() override { return UpdateCount; }
  int GetColumnCapacity() const override { return ColumnCapacity; }
  void GrowColumnCapacity(int length) override;
  std::string ExpandTabs(std::string_view text) const override;
  void LinesChanged() override;
  void ResetCaret() override;
  platform::Point GetCaret() const override { return {CaretX, CaretY}; }
  void RecordReLine(int x, int y, const std::string& text) override;

  // Timer ids of the window host.
  static constexpr int kScrollTimer = 1;
  static constexpr int kCompletionTimer = 2;
  // Mouse buttons.
  static constexpr int kLeftButton = 1, kRightButton = 2, kMiddleButton = 4;

 protected:
  // Command groups; each returns normally or throws EComplete to end early.
  void RunCommand(TCommandFrame& f);
  void CaretCommand(TCommandFrame& f);
  void WordLeftCommand(TCommandFrame& f, bool select);
  void WordRightCommand(TCommandFrame& f, bool select);
  void SelectWordCommand(TCommandFrame& f);
  void PageCommand(TCommandFrame& f);
  void HomeEndCommand(TCommandFrame& f);
  void ScrollCommand(TCommandFrame& f);
  void RunAll(std::initializer_list<std::uint16_t> commands);
  void PlayMacro();
  void EventCommand(TCommandFrame& f);
  int SmartHomeColumn(int x, int y) const;

  // Text-changing commands and typing.
  void TypeChar(TCommandFrame& f, char ch);
  void LineBreak(TCommandFrame& f);
  // Backspace and Delete on a selection delete it; true when there was one.
  bool DeleteSelectionFor(TCommandFrame& f);
  void DeleteLeft(TCommandFrame& f);
  void DeleteRight(TCommandFrame& f);
  void JoinLines(TCommandFrame& f, int first);
  void TabCommand(TCommandFrame& f, bool back);
  void IndentCommand(TCommandFrame& f, bool indent);
  void CaseCommand(TCommandFrame& f, int mode);
  void DeleteLineCommand(TCommandFrame& f);
  void DeleteWordRightCommand(TCommandFrame& f);
  void DeleteWordLeftCommand(TCommandFrame& f);
  void RefreshAfterEdit(int line, int oldRowCount, int fromRow);
  bool PointerOutside() const;
  void AutoScrollTick();
  void FinishAt(TCommandFrame& f, int line, int lineColumn);

 public:
  int NextTabStop(int column) const;
  int SmartTabStop(int column, int row);
  int IndentOfTextAbove(int row);
  int UnindentTarget(int column, int row);

 private:
  void UpdateScrollRange(TAdvEditScrollBar& bar, int n, int v, int& cache);
  void RecomputeView();
  void PlaceSystemCaret();
  void RepaintRowRange(int from, int to);

  platform::EditorWindow* window_ = nullptr;
  int boundsWidth_ = 250, boundsHeight_ = 150;
  bool wordWrap_ = true;
  bool showSpecialChars_ = false;
  int gutterWidth_ = 0;
  TColor gutterColor_ = platform::syscolor::ButtonFace;
  TColor marginColor_ = 0xC0C0C0;
  int borderStyle_ = 1;
  int scrollBars_ = 3;
  TColor color_ = platform::syscolor::Window;
  bool caretShown_ = false;
  bool destroying_ = false;
  bool lineEndSelected_ = false;
  bool padded_ = false;
  std::size_t selMarkedBegin_ = 0, selMarkedEnd_ = 0;  // SelFlags set to 1 by the last MarkSelection  //
                                                       // RecordReLine ran since PadToCaret began
};
