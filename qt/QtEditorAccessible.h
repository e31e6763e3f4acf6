#pragma once

// The editing area as screen readers see it: Qt's accessible text and
// editable-text interfaces over the editor's line store.
//
// Offsets are Qt's: QString indices (UTF-16 code units) across the whole
// document, one "\n" between lines (the line break of this desktop). The
// text is never copied whole: a Windows-1252 line has one unit per byte, so
// the start of line L is the store's flat offset (which counts CR LF) less L,
// in O(log lines); a UTF-8 document keeps the units of each block of lines,
// counted once when first asked and again only for the blocks an edit touched,
// so the start of a line costs one sum over the blocks before it and a walk
// of the lines before it in its own block.

#include <QAccessibleWidget>
#include <QString>
#include <cstdint>
#include <vector>

class TAdvancedEditor;

namespace platform {

class QtEditorWindow;

// Lines, offsets and the state readers were last told, of one editor.
class QtEditorText {
 public:
  explicit QtEditorText(const TAdvancedEditor& editor) : editor_(editor) {}

  int LineCount() const;
  QString LineText(int line) const;
  int LineUnits(int line) const;
  // The offset of the start of `line` (LineCount(): the end of the text).
  std::int64_t LineStart(int line);
  std::int64_t CharacterCount();
  // The line holding `offset` and its start.
  int LineAt(std::int64_t offset, std::int64_t* start);
  // Offsets of a position of the editor's rows (caret, selection ends), and
  // the 1-based flat byte offset the editor's selection calls take.
  std::int64_t OffsetOfRowPos(int x, int row);
  int FlatOfOffset(std::int64_t offset);
  std::int64_t CaretOffset();
  // Start and end of the selection; equal when there is none.
  void Selection(std::int64_t& start, std::int64_t& end);
  // What is counted from `line` on no longer holds.
  void Forget(int line);
  QString Text(std::int64_t start, std::int64_t end);

  // What readers were last told.
  struct Told {
    bool valid = false;
    int lines = 0, caretLine = 0;
    QString caretLineText;
    std::int64_t caret = 0, selStart = 0, selEnd = 0;
  } told;

 private:
  static constexpr int kBlock = 1024;
  bool Utf8() const;
  void CheckStamp();

  const TAdvancedEditor& editor_;
  std::vector<std::int64_t> blockUnits_;  // units of a block's lines, breaks included
  std::size_t validBlocks_ = 0;
  int stampLines_ = -1;
  std::int64_t stampLength_ = -1;
};

class QtEditorAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
 public:
  explicit QtEditorAccessible(QtEditorWindow* window);
  // Makes the editing area known to Qt's accessibility (once per program).
  static void Install();

  QString text(QAccessible::Text t) const override;
  void* interface_cast(QAccessible::InterfaceType t) override;

  // QAccessibleTextInterface
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int startOffset, int endOffset) override;
  void removeSelection(int selectionIndex) override;
  void setSelection(int selectionIndex, int startOffset, int endOffset) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int startOffset, int endOffset) const override;
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                           int* endOffset) const override;
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                          int* endOffset) const override;
  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset, int* endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int startIndex, int endIndex) override;
  QString attributes(int offset, int* startOffset, int* endOffset) const override;
  // QAccessibleEditableTextInterface
  void deleteText(int startOffset, int endOffset) override;
  void insertText(int offset, const QString& text) override;
  void replaceText(int startOffset, int endOffset, const QString& text) override;

 private:
  QtEditorWindow* Window() const;
  QtEditorText& Text() const;
};

}  // namespace platform
