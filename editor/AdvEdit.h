#pragma once

// TAdvancedEditor: the editing control without its window. It holds the text
// (line store) and its document (the file, encoding and format: AdvDocument.h),
// caret, selection, view, key table, undo history, completion engine and
// painter, receives input as calls from the window host, and talks back
// through platform::EditorWindow. With no window attached it still edits (the
// edit manager's spare editor, tests).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/AEAtoms.h"
#include "editor/AEKeys.h"
#include "editor/AESB.h"
#include "editor/AdvDocument.h"
#include "editor/AdvEditBrackets.h"
#include "editor/AdvEditErrors.h"
#include "editor/AdvLines.h"
#include "editor/AdvUndo.h"
#include "editor/PaintedRows.h"
#include "editor/TextEncoding.h"
#include "platform/Canvas.h"
#include "platform/EditorWindow.h"

class TCompletion;
class TCompletionHost;

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

// One change of the text as the edit transaction collects it, in the order
// made: the flat offset and the text removed and inserted (texts only for what
// the history records), the lines and rows the store's splice touched, and how the
// undo history records it (a record without text change is a caret move, a
// selection change or a group mark).
struct TTextChange {
  std::int64_t Offset = -1;  // -1: a store write not made at a flat offset
  std::string Removed, Inserted;
  TLinesChange Lines;
  bool Touched = false;  // the store announced a change of lines or rows
  bool Noticed = false;  // the store's own notification repaints it
  // The undo record to make of it: Kind, the position it is about, the
  // selection before a selection change; Indent / Unindent use the lines.
  bool Undoable = false;
  TUndoKind Kind = TUndoKind::Caret;
  int X = 0, Y = 0;
  TSelectionState Sel;
  int FirstLine = 0, LastLine = 0, Count = 0;
  TTextEncoding OldEncoding = TTextEncoding::Windows1252, NewEncoding = TTextEncoding::Windows1252;
};

// What one command (or other entry point) changed, heard by the listeners
// when the outermost transaction ends or an update bracket inside it closes.
struct TEditTransaction {
  int Depth = 0;
  std::vector<TTextChange> Changes;
  std::size_t HeardByHighlighter = 0;  // changes the highlighter already heard (painting during the command)
  bool Notify = false;                 // the editor changed the text: the document hears of it
  bool WholeView = false;              // repaint everything (undo): metrics, then the whole window
  bool SelectionRows = false;          // the rows of the selection as it was are painted again
  bool Metrics = false;                // the column capacity grew: the scroll ranges follow
};

// What a command works on while it runs (see ExecuteCommand).
struct TCommandFrame {
  std::uint16_t Command = 0;
  int X = 0, Y = 0;        // working caret position
  bool CaretOnly = true;   // nothing but the caret moved: the final placement records it
  char TypedWordChar = 0;  // a word character typed (its first byte): the completion engine hears it after the change
};

class TAdvancedEditor : public TAdvLinesOwner, private TDocumentHost {
 public:
  TAdvancedEditor();
  ~TAdvancedEditor() override;
  TAdvancedEditor(const TAdvancedEditor&) = delete;
  TAdvancedEditor& operator=(const TAdvancedEditor&) = delete;

  // ---- owned objects, in creation order ----
  std::unique_ptr<TAdvLines> Lines;
  // The text as a file: its name, stamp, encoding and format, load and save.
  std::unique_ptr<TAdvDocument> Document;
  std::unique_ptr<TKeyboard> Keyboard;
  // What the undo history reaches of the editor (made before the history).
  std::unique_ptr<TUndoTarget> UndoSide;
  std::unique_ptr<TUndoBuffer> UndoBuffer;
  std::unique_ptr<platform::Canvas> RowBitmap;
  platform::FontSpec EditorFont{"Courier New", 10, 0, 0};
  std::unique_ptr<TAdvEditScrollBar> HorzBar, VertBar;
  std::unique_ptr<TEditorClient> Client;
  std::unique_ptr<TGutter> Gutter;
  // What the completion engine reaches of the editor (made before the engine).
  std::unique_ptr<TCompletionHost> CompletionSide;
  std::unique_ptr<TCompletion> Completion;

  // ---- the window ----
  // Attaches the window host (not owned); nullptr detaches. Creates the
  // bitmaps and scroll bars; attaching the window attached does nothing.
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
  std::array<TBookmark, 10> Bookmarks{};
  bool Modified = false;
  bool Recording = false;
  std::string MacroKeys, Macro;
  int GroupDepth = 0;
  // The token under the pointer at the last context-menu request.
  std::string HoverText;
  std::uint8_t HoverTag = 0;
  // The first key of a two-key binding was pressed and waits for the second.
  bool ChordPending() const { return chordPending_; }

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
  // The selection's background and text colours, used from the next paint on.
  void SetSelColors(TColor background, TColor text) {
    SelColor = background;
    SelTextColor = text;
  }
  // Files are read keeping their format, and a document read so is written
  // in it: the lines not edited as they were read (FileFormat).
  bool KeepFileFormat() const { return Document->KeepFileFormat(); }
  void SetKeepFileFormat(bool on) { Document->SetKeepFileFormat(on); }

  // How the text's bytes are characters. In a UTF-8 document a character
  // outside ASCII is the bytes of its sequence, and every position the editor
  // keeps stands at the start of a character.
  TTextEncoding Encoding() const { return encoding_; }
  bool Utf8() const { return encoding_ == TTextEncoding::Utf8; }
  // Sets how the bytes are read; with word wrap on the lines that hold bytes
  // above 0x7F are cut into rows again (rows end at columns, not bytes).
  void SetEncoding(TTextEncoding encoding);
  // A UTF-8 document's file began with a byte-order mark: no part of the
  // text, written before it again when the document is saved.
  bool ByteOrderMark() const { return Document->ByteOrderMark(); }
  void SetByteOrderMark(bool on) { Document->SetByteOrderMark(on); }

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
  std::function<void(TAdvancedEditor&, TCaseMode mode, std::string& result, const std::string& text)> OnCaseChange;
  // A character was refused: the document has no way to hold it (a
  // Windows-1252 document that cannot become UTF-8 has no byte for it).
  std::function<void(TAdvancedEditor&, char32_t ch)> OnCharRefused;
  std::function<void(TAdvancedEditor&, const std::string& line, std::string& newLine)> OnNewLine;
  std::function<void(TAdvancedEditor&, const std::string& first, std::string& second)> OnJoinLines;
  std::function<void(TAdvancedEditor&, const std::string& selection)> OnSelectionCommand;
  std::function<bool(TAdvancedEditor&, std::string& text)> OnInsertCommand;
  std::function<void(TAdvancedEditor&, int index, std::string& text)> OnUserInsert;
  std::function<void(TAdvancedEditor&, int index, const std::string& selection, std::string& result)> OnUserTransform;
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
  // Positions in a row (beyond its end one byte a blank) and the display
  // columns they stand at; in Windows-1252 each is the identity.
  int NextPos(int row, int x) const;
  int PrevPos(int row, int x) const;
  // x itself at the start of a character; inside one, its start
  // (SnapForward: the position after it).
  int SnapPos(int row, int x) const;
  int SnapForward(int row, int x) const;
  int ColumnAt(int row, int x) const;
  // The position of the character covering `column` (PositionOf).
  int PosAtColumn(int row, int column) const;
  // The caret's display column (the status bar shows it).
  int CaretColumn() const { return ColumnAt(CaretY, CaretX); }
  // The text position (byte position in its row, row) under a pixel: a
  // pointer on the right half of a character stands after it.
  platform::Point PixelToPosition(int x, int y) const;

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
  // Inserts `text` at the caret; the history takes the text over.
  void InsertTextAtCaret(std::string text);
  void DeleteSelection();
  // Adds the lines and blanks that make the caret's position exist (recorded
  // for undo). When the padded line wraps differently, the caret moves to the
  // same place in the padded text. True when the text changed.
  bool PadToCaret();
  TSelectionState Selection() const { return {SelMode, SelStartX, SelStartY, SelEndX, SelEndY}; }
  // Restores a selection and the end that anchors its further extension.
  void RestoreSelection(const TSelectionState& s, int anchorX, int anchorY);

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
  // While held, what a change tells its watchers (the colour check of the
  // lines below it, OnChange, OnStatusChange) waits for the last release,
  // which tells it once; Modified is set at once. The window holds it while
  // a key's rows are handed to the screen.
  void HoldNotifications() { ++notificationsHeld_; }
  void ReleaseNotifications();
  void RecalcMetrics(bool fontChanged, bool repaintGutter);
  void FontChanged();
  void Resize();
  virtual void MarkAllDirty();

  // ---- the edit path and undo ----
  // Every change of the text the editor makes: replaces `length` characters
  // at flat `offset` by `text`, recorded for undo as `kind` at the row
  // position (x, y) (DeleteSelected: with the selection). A negative x takes
  // the position of `offset` in the changed text (where Backspace leaves the caret).
  void Edit(TUndoKind kind, int x, int y, std::int64_t offset, std::int64_t length, std::string_view text);
  // The same, taking over the text: no copy of it is made for the history.
  void EditTaking(TUndoKind kind, int x, int y, std::int64_t offset, std::int64_t length, std::string&& text) {
    EditText(kind, x, y, offset, length, text, &text);
  }
  // The one write of the text at a flat offset, without an undo record of
  // its own (undo applying a record, block indent): the characters removed.
  std::string Splice(std::int64_t offset, std::int64_t length, std::string_view text);
  // Block indent: `columns` blanks before every line from `first` to `last`.
  void IndentLines(int first, int last, int columns);
  // Block unindent of one line: up to `most` of its leading blanks removed; the count removed.
  int UnindentLine(int line, int most);
  // Records what needs no text change: a caret move from (x, y), a selection
  // change (with the selection as it is now) or the mark of a group.
  void Record(TUndoKind kind, int x = 0, int y = 0);
  // The edit transaction: Begin/End nest; when the outermost ends (or an
  // update bracket inside it closes) the listeners hear the changes in this
  // order: undo history, highlighter, the painter's changed rows, journal,
  // document (ChangeNotification).
  void BeginEdit() { ++tx_.Depth; }
  void EndEdit();
  // Opens a transaction for a scope.
  class TEditScope {
   public:
    explicit TEditScope(TAdvancedEditor& e) : e_(e) { e_.BeginEdit(); }
    ~TEditScope() noexcept(false) { e_.EndEdit(); }
    TEditScope(const TEditScope&) = delete;
    TEditScope& operator=(const TEditScope&) = delete;

   private:
    TAdvancedEditor& e_;
  };
  // The rows of the selection as it was are painted when the transaction ends.
  void RepaintSelectionOnCommit() { tx_.SelectionRows = true; }
  // Removes the last `n` undo records the open transaction holds.
  void DropPendingRecords(int n);
  // Takes back one undo step as a transaction of its own (cmdUndo).
  void UndoStep();
  // Takes back the last undo step the same way (cmdRedo); nothing when
  // nothing was undone since the last change.
  void RedoStep();
  void BeginUndoGroup();
  void EndUndoGroup();
  void ClearUndo();

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
  // What a paste inserts into a Windows-1252 document when the clipboard's
  // text (`utf8`) holds a character the code page has no byte for (`ch`):
  // the UTF-8 text once the document became UTF-8 to hold it (one undo step
  // with the paste), or none when it cannot (refused: RefuseChar).
  std::optional<std::string> PasteNeedingUtf8(const std::string& utf8, char32_t ch);
  std::string ConvertCase(const std::string& text, TCaseMode mode);
  // The built-in case conversion of ConvertCase: the code page's case table
  // in Windows-1252, the Unicode one in UTF-8 (the length may change).
  std::string CaseConverted(std::string text, TCaseMode mode);
  // Tells of a character the document cannot hold: a beep and OnCharRefused.
  void RefuseChar(char32_t ch);

  // ---- the document file (the document's reading and writing) ----
  // Reads a file into the text with its encoding; throws EFileError, the text stays then.
  void LoadText(const std::string& fileName) { Document->ReadText(fileName); }
  // Writes the text in its encoding and format; throws EFileError, the file
  // stays as it was then. `unchanged` as for WriteFileSafely.
  void SaveText(const std::string& fileName, const std::function<bool()>& unchanged = nullptr) const {
    Document->WriteText(fileName, unchanged);
  }
  // After the text was written (TAdvDocument::TextWritten).
  void TextSaved() { Document->TextWritten(); }
  // Whether the next save writes line ends or TABs other than the file had.
  bool SaveRewritesFormat() const { return Document->SaveRewritesFormat(); }

  // ---- input from the window host ----
  void KeyDown(std::uint16_t& key, TShiftState shift);
  void KeyPress(char ch);
  // Types one character (cmdTypeCharacter): in a UTF-8 document its UTF-8
  // bytes, in a Windows-1252 document its byte; a character Windows-1252 has
  // no byte for makes the document UTF-8 when it can (CanPromoteToUtf8),
  // else it is refused (RefuseChar). As KeyPress, after a key the key table
  // bound it types nothing.
  void TypeCharacter(char32_t ch);
  // Whether a Windows-1252 document can become UTF-8: every byte above 0x7F
  // in it was typed since its text was last assigned from outside (a file
  // read, SetTextStr, a recovery).
  bool CanPromoteToUtf8() const;
  // Makes a Windows-1252 document UTF-8: every byte above 0x7F becomes the
  // UTF-8 form of its character, recorded for undo with the change of
  // encoding (undo gives back the bytes and the encoding). Call it inside
  // the undo group of the edit that needs it, before that edit.
  void PromoteToUtf8();
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
  // How a row's paint reaches the window: all of its strip (Whole), all of it
  // through a clip that may leave part of it as it was (Clipped), or only as
  // far as its old or new text reaches (Changed).
  enum class TRowPaint : std::uint8_t { Whole, Clipped, Changed };
  void PaintRow(int row, int firstCol, int lastCol, TRowPaint how = TRowPaint::Whole);
  virtual void PrepareLine(int line, int row, int rowOffset, int rowLength, int firstCol, int lastCol,
                           std::string_view text);
  virtual void BeforeHighlight(int line, int firstCol, int lastCol);
  virtual void AfterHighlight(int line, int firstCol, int lastCol);
  void RepaintRows(int fromRow);
  int RepaintLineRows(int row);
  void RepaintSelectionRows();
  void GutterPaint();
  // The next Paint covers the whole text area, whatever its clip.
  void RepaintAll() { fullRepaint_ = true; }
  // Whether the colours kept for a line still hold: its text is unchanged and
  // they were computed from what LineColourKey gives now.
  bool ColoursCurrent(int line);
  // What a line's colours depend on besides its text; a highlighter with
  // state across lines gives its state at the line's start.
  virtual TColourKey LineColourKey(int line);

  // The token under a text position: the run of equal tags around it.
  void TokenAt(int column, int row, std::string& text, std::uint8_t& tag);

  // The text with every TAB replaced by TabWidth spaces.
  std::string ExpandTabs(std::string_view text) const;

  // ---- TAdvLinesOwner ----
  bool GetWordWrap() const override { return wordWrap_; }
  int GetWrapColumn() const override { return WrapColumn; }
  TTextEncoding GetEncoding() const override { return encoding_; }
  int GetTabWidth() const override { return TabWidth; }
  // Keeps the caret line, the colours and the repaint in step with a change
  // of the text, and runs the lines-changed notification the change asks for.
  void LinesChanged(const TLinesChange& change) override;

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
  // The ends of a word WordAt found in row `row` (1-based, start may pass
  // end) moved out to whole characters.
  void SnapWord(int row, int& start, int& end) const;

  // Text-changing commands and typing.
  // Types `typed`: one character's bytes.
  void TypeChar(TCommandFrame& f, std::string_view typed);
  // cmdTypeCharacter: typedChar_ in the document's encoding.
  void TypeCharacterCommand(TCommandFrame& f);
  // The column grid of a row for the tab computations: the row itself in
  // Windows-1252 or pure ASCII, else one byte a column (a blank for a blank).
  std::string_view ColumnGrid(std::string_view row, std::string& scratch) const;
  void LineBreak(TCommandFrame& f);
  // Backspace and Delete on a selection delete it; true when there was one.
  bool DeleteSelectionFor(TCommandFrame& f);
  void DeleteLeft(TCommandFrame& f);
  void DeleteRight(TCommandFrame& f);
  void JoinLines(TCommandFrame& f, int first);
  void TabCommand(TCommandFrame& f, bool back);
  void IndentCommand(TCommandFrame& f, bool indent);
  void CaseCommand(TCommandFrame& f, TCaseMode mode);
  void DeleteLineCommand(TCommandFrame& f);
  void DeleteWordRightCommand(TCommandFrame& f);
  void DeleteWordLeftCommand(TCommandFrame& f);
  bool PointerOutside() const;
  void AutoScrollTick();
  void FinishAt(TCommandFrame& f, int line, int lineColumn);

 public:
  int NextTabStop(int column) const;
  int SmartTabStop(int column, int row);
  int IndentOfTextAbove(int row);
  int UnindentTarget(int column, int row);

 protected:
  // The listeners of the transaction that a subclass extends: the
  // highlighter and the journal hear every change of lines (not of rows
  // alone), in the order made.
  virtual void HighlighterHears(const TLinesChange& change);
  virtual void JournalHears(const TLinesChange& change);

 private:
  void UpdateScrollRange(TAdvEditScrollBar& bar, int n, int v, int& cache);
  // Shows the window's scroll bars ScrollBars() names and gives them to the bar objects.
  void ShowScrollBars();
  // The selection flags of one row (indexed by line column) and the colours
  // of its line; PrepareLine does both.
  void MarkSelection(int row, int rowOffset, int rowLength, int textLength);
  // The attribute the character at line index `i` is drawn with: its
  // colours, or the selection's.
  TCharAttr ShownAttr(const TLineAttrs& attrs, std::size_t i) const;
  // Draws the row's characters from the one covering startCol to endCol,
  // with the line-end mark when `lineEnd`: a row of a UTF-8 document.
  void PaintUtf8Runs(platform::Canvas& bitmap, int line, int rowOffset, std::string_view row, bool lineEnd,
                     int startCol, int endCol);
  void HighlightLine(int line, int firstCol, int lastCol, std::string_view text);
  // Repaints the visible rows of the lines from `firstLine` on whose text is
  // unchanged but whose colours no longer hold.
  void RepaintStaleColours(int firstLine);
  // The part of ChangeNotification that a hold puts off.
  void NotifyWatchers();
  void ResetCaret();
  void RecomputeView();
  void PlaceSystemCaret();
  void RepaintRowRange(int from, int to);
  // The transaction's end: every listener hears what it holds.
  void Commit();
  void HearHighlighter();
  void HistoryStep(bool redo);
  void EditText(TUndoKind kind, int x, int y, std::int64_t offset, std::int64_t length, std::string_view text,
                std::string* owned);
  void PaintChangedRows();
  // TDocumentHost: a whole text read from a file is assigned with UpdateCount held.
  void HoldViewWhile(const std::function<void()>& assign) override;

  bool Pending() const {
    return tx_.Notify || tx_.WholeView || tx_.SelectionRows || tx_.Metrics || !tx_.Changes.empty();
  }

  TEditTransaction tx_;

  platform::EditorWindow* window_ = nullptr;
  int boundsWidth_ = 250, boundsHeight_ = 150;
  bool wordWrap_ = true;
  // The document's encoding, as the character stepping and painting read it.
  const TTextEncoding& encoding_ = Document->EncodingField();
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
  int colourCheckFrom_ = INT32_MAX;  // the first line changed since the colours were last checked
  int notificationsHeld_ = 0;
  bool notificationPending_ = false;  // a change came while the notifications were held

  // Scratch state of keys, mouse, painting and the tab computations.
  bool keyHandled_ = false, chordPending_ = false;
  char32_t typedChar_ = 0;  // the character cmdTypeCharacter types
  // The paste under way made the document UTF-8 (its undo group is open), or was refused.
  enum class TPasteEncoding : std::uint8_t { Kept, Promoted, Refused } pasteEncoding_ = TPasteEncoding::Kept;
  std::uint16_t chordKey_ = 0;
  TShiftState chordShift_ = 0;
  bool mouseDown_ = false, dragged_ = false, skipNextMouseDown_ = false;
  int mouseX_ = 0, mouseY_ = 0, mouseCol_ = 0, mouseRow_ = 0;
  bool fullRepaint_ = true;
  std::string preparedLine_;  // the line being painted, with its line-end mark
  TPaintedRows paintedRows_;  // how far each visible row's last paint reached
  TSelAttrs selFlags_;        // one flag per character of the line being painted
  int selFlagsLength_ = 0;
  std::string paintRun_;                               // the characters of a run being drawn, as shown
  std::size_t selMarkedBegin_ = 0, selMarkedEnd_ = 0;  // flags set to 1 by the last MarkSelection
  std::vector<std::uint8_t> tabStopMarks_;             // the tab and unindent computations' column map
  int oldSelStartX_ = 0, oldSelStartY_ = 0, oldSelEndX_ = 0, oldSelEndY_ = 0;  // rows to repaint

 public:
  // What the file looked like beyond its text when it was read (LoadText):
  // the document's, under the editor's name for it.
  TFileFormat& FileFormat = Document->FileFormat;

  // ---- matching brackets (AdvEditBrackets.cpp) ----
  // The bracket at the caret and its partner are drawn on BracketColor.
  bool BracketHighlight() const { return bracketHighlight_; }
  void SetBracketHighlight(bool on);
  TColor BracketColor = 0x80FFFF;
  // Which bytes are no code, for the bracket search (none: every byte is).
  TCodeMask BracketCodeMask;
  // Marks the bracket at the caret and its partner anew; the rows that gain
  // or lose a mark are painted again. Runs after every command.
  void UpdateBracketMarks();
  // Moves the caret to the partner of the bracket at the caret, keeping its
  // side of the bracket; false (and a beep) when there is none.
  bool GotoMatchingBracket();
  // The byte of line `line` that mark `which` (0: at the caret, 1: its
  // partner) stands on; -1 as size_t when it is on another line.
  std::size_t BracketMarkIn(int line, int which) const;

  // ---- line comments (AdvEditComment.cpp) ----
  // The lines of the selection (or the caret's line) get the line comment
  // `open` (... `close`) at their least indent, or lose it when every line
  // that is not blank has it: one change, one undo step.
  void ToggleLineComment(std::string_view open, std::string_view close);

 private:
  bool bracketHighlight_ = false;
  TTextSpot bracketMarks_[2];
  std::size_t rowBracketMarks_[2] = {static_cast<std::size_t>(-1), static_cast<std::size_t>(-1)};
};
