#pragma once

// TCompletion: the word-completion engine of one editor. It offers
// identifiers (mode 0) and templates (mode 1) for the word at the caret in a
// pop-up list, inserts the chosen entry, and keeps the auto-change word pairs
// that typing uses.
//
// Entries are fields joined by Separator: an identifier is "name=description",
// a template "name=description=body", an auto-change entry "word=replacement".
// In a template body CRLF stands for a line break (the following line is
// indented to the word's column) and CaretChar marks where the caret goes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/TextEncoding.h"
#include "platform/CompletionList.h"
#include "platform/EditorWindow.h"

// What the completion engine reaches of its editor.
class TCompletionHost {
 public:
  virtual ~TCompletionHost() = default;
  virtual bool ReadOnly() const = 0;
  virtual bool TextEmpty() const = 0;
  // The text of the caret's row (empty when there is none) and the caret's column in it.
  virtual std::string_view CaretRowText() const = 0;
  virtual int CaretColumn() const = 0;
  // How the text's bytes are characters (the word rule depends on it).
  virtual TTextEncoding Encoding() const = 0;
  // The editor's case conversion to lower case.
  virtual std::string LowerCase(const std::string& text) = 0;
  // A list of the mode is about to be offered, refreshed or used.
  virtual void CompletionOffered(std::uint8_t mode, bool& handled) = 0;
  // The text a completion inserts for the typed word.
  virtual std::string AdjustCompletion(const std::string& word, const std::string& text) = 0;
  // The editor's hooks for drawing and measuring the list's items (empty when unassigned).
  virtual platform::CompletionList::DrawItemEvent DrawItemHook() = 0;
  virtual platform::CompletionList::MeasureItemEvent MeasureItemHook() = 0;
  // The cell of the caret's column on the row below the caret, in window
  // coordinates; the editor's row height and width.
  virtual platform::Rect CellBelowCaret() const = 0;
  virtual int RowHeight() const = 0;
  virtual int Width() const = 0;
  virtual platform::EditorWindow* Window() const = 0;
  virtual void StartCompletionTimer(int ms) = 0;
  virtual void StopCompletionTimer() = 0;
  // Inserting an entry: Begin pads the text to the caret inside one
  // transaction and update bracket, which End closes.
  virtual void BeginInsert() = 0;
  virtual void EndInsert() = 0;
  // The caret's flat offset, and its line's start offset and text.
  virtual std::int64_t CaretOffset() const = 0;
  virtual std::int64_t CaretLineStart() const = 0;
  virtual std::string_view CaretLineText() const = 0;
  virtual platform::Point OffsetToPos(std::int64_t offset) const = 0;
  virtual std::string ExpandTabs(std::string_view text) const = 0;
  // Replaces `length` characters at flat `offset` by `text` (recorded as a
  // replacement for undo) and puts the caret at flat `caret`.
  virtual void Replace(std::int64_t offset, std::int64_t length, const std::string& text, std::int64_t caret) = 0;
};

struct TAutoChangeWord {
  std::string Word;  // lower-cased
  std::string Replacement;
};

class TCompletion {
 public:
  using TListFactory = std::function<std::unique_ptr<platform::CompletionList>()>;
  // Makes the pop-up lists; the window layer sets it once at start-up, tests
  // set a fake. While it is empty no list can be shown.
  static inline TListFactory ListFactory;

  explicit TCompletion(TCompletionHost& editor);
  ~TCompletion();
  TCompletion(const TCompletion&) = delete;
  TCompletion& operator=(const TCompletion&) = delete;

  // ---- properties ----
  int DropDownCount = 6;    // most items visible at once
  int DropDownWidth = 300;  // pixels; 0 = the editor's width plus the border
  bool Enabled = false;     // typing starts the auto-popup timer
  std::string Separator = "=";
  std::vector<std::string> Identifiers;
  std::vector<std::string> Templates;
  int ItemHeight = 13;
  unsigned Interval = 800;  // auto-popup delay, ms
  platform::ListBoxStyle ListBoxStyle = platform::ListBoxStyle::Standard;
  char CaretChar = '|';
  std::string CRLF = "/n";
  const std::vector<std::string>& AutoChange() const { return autoChange_; }
  // Replaces the auto-change entries and rebuilds the pairs.
  void SetAutoChange(const std::vector<std::string>& entries);

  // ---- state ----
  TCompletionHost& Editor;
  // Pairs sorted by word length, shortest first.
  std::vector<TAutoChangeWord> AutoChangePairs;
  std::vector<std::string> Candidates;  // the entries offered
  int SavedIndex = -1;                  // the selected candidate while the list is hidden
  std::uint8_t Mode = 0;                // 0 identifiers, 1 templates
  std::uint8_t TimerMode = 0;           // what the auto-popup timer shows
  bool Active = false;                  // the pop-up is shown

  // The system border the list's placement allows for.
  static constexpr int kBorderWidth = 1, kBorderHeight = 1;

  // The engine's word characters: backspace, '_', digits, ASCII letters and
  // the Cyrillic letters of the Windows-1251 code page.
  static bool IsWordChar(char c);
  // In a UTF-8 document every byte above 0x7F belongs to a word.
  static bool IsWordChar(char c, TTextEncoding encoding) {
    return encoding == TTextEncoding::Utf8 ? static_cast<unsigned char>(c) >= 0x80 || IsWordChar(c) : IsWordChar(c);
  }

  // Field n (from 0) of an entry; empty beyond the last separator.
  std::string Field(std::string_view entry, int n) const;
  // The word at the caret column of the caret row, and the same without blanks around it.
  std::string WordBeforeCaret() const;
  static std::string Trimmed(std::string_view text);
  // Case-insensitive through the editor's case conversion.
  bool StartsWith(const std::string& candidate, const std::string& word) const;
  bool SameWord(const std::string& a, const std::string& b) const;

  void BuildCandidates();
  // Selects the first candidate starting with the word; true when its name is the word itself.
  bool SelectBestMatch();
  // The selected candidate: the list's while it is shown, else SavedIndex.
  int SelectedIndex() const;

  void ShowList(std::uint8_t mode, bool forced);
  // Commands 402 (mode 0) and 403 (mode 1).
  void Complete(int mode);
  // A typed character: a non-word character before it is inserted, a word character after.
  void KeyTyped(char c);
  // A key while the pop-up is shown; true = consumed.
  bool HandleKeyDown(std::uint16_t key);
  void CloseList(bool accept);
  // Replaces the word at the caret by `text` as the current Mode shapes it.
  void InsertCompletion(const std::string& text);
  void RebuildAutoChange();

  void StartTimer();
  void StopTimer();
  void TimerTick();

  // The pop-up, once it has been made.
  platform::CompletionList* ListBox() const { return listBox_.get(); }

 private:
  platform::CompletionList* EnsureListBox();
  void SetSelectedIndex(int index);
  const std::vector<std::string>& SourceList() const { return Mode == 0 ? Identifiers : Templates; }
  bool CallModeHook(std::uint8_t mode, bool handled);

  std::unique_ptr<platform::CompletionList> listBox_;
  std::vector<std::string> autoChange_;
};
