#pragma once

// An editor attached to a fake window (800 x 480 pixels, 8 x 16 cells: a view
// of 99 columns and 30 rows), with helpers to type and press keys.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/AdvEdit.h"
#include "tests/support/FakeEditorWindow.h"
#include "tests/support/FakeLinesOwner.h"

class EditorTest : public ::testing::Test {
 protected:
  EditorTest() {
    editor.AttachWindow(&window);
    editor.SetWordWrap(false);
  }

  void SetText(const std::string& text) { editor.Lines->SetTextStr(text); }
  std::vector<std::string> Text() const { return LinesOf(*editor.Lines); }
  void Caret(int x, int y) { editor.MoveCaret(x, y); }
  platform::Point CaretPos() const { return {editor.CaretX, editor.CaretY}; }

  void Type(const std::string& chars) {
    for (char c : chars) editor.KeyPress(c);
  }
  void Press(std::uint16_t key, TShiftState shift = shift::None) {
    std::uint16_t k = key;
    editor.KeyDown(k, shift);
    // A bound key swallows its character; an unbound one lets it through.
    if (key == vk::Return) editor.KeyPress('\r');
    if (key == vk::Back) editor.KeyPress('\b');
    if (key == vk::Tab) editor.KeyPress('\t');
  }
  void Run(std::uint16_t command, int times = 1) {
    for (int i = 0; i < times; ++i) editor.ExecuteCommand(command);
  }
  void RunPosted() {
    while (!window.posted.empty()) {
      std::uint16_t c = window.posted.front();
      window.posted.pop_front();
      editor.PostedCommand(c);
    }
  }
  std::string Selected() const { return editor.GetSelText(); }

  FakeEditorWindow window;
  TAdvancedEditor editor;
};

inline std::ostream& operator<<(std::ostream& os, const platform::Point& p) {
  return os << "(" << p.x << ", " << p.y << ")";
}
