#pragma once

// TCompletion: the word-completion engine of one editor. It offers
// identifiers and templates for the word at the caret in a pop-up list, and
// keeps the auto-change word pairs that typing uses.

#include <cstdint>
#include <string>
#include <vector>

class TAdvancedEditor;

struct TAutoChangeWord {
  std::string Word;         // lower-cased
  std::string Replacement;
};

class TCompletion {
 public:
  explicit TCompletion(TAdvancedEditor& editor) : Editor(editor) {}

  TAdvancedEditor& Editor;
  bool Enabled = false;
  std::string Separator = "=";
  bool Active = false;  // the pop-up is shown

  // Pairs sorted by word length, shortest first.
  std::vector<TAutoChangeWord> AutoChangePairs;

  // The engine's word characters: backspace, '_', digits, ASCII letters and
  // the Cyrillic letters of the Windows-1251 code page.
  static bool IsWordChar(char c);
  void KeyTyped(char c);
  // A key while the pop-up is shown; true = consumed.
  bool HandleKeyDown(std::uint16_t key);
  void CloseList(bool accept);
  void StopTimer() {}
  void Complete(int mode);
  // Sets the auto-change entries ("word=replacement") and rebuilds the pairs.
  void SetAutoChange(const std::vector<std::string>& entries);
};
