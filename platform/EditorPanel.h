#pragma once

// The panel of the main window that holds one window per open document,
// stacked so that only the current one is visible.

#include "platform/Canvas.h"

class TAdvancedEditor;

namespace platform {

class EditorWindow;

class EditorPanel {
 public:
  virtual ~EditorPanel() = default;

  // A new, hidden window filling the panel, showing `editor`; the panel owns
  // it until RemoveWindow.
  virtual EditorWindow* AddWindow(TAdvancedEditor& editor) = 0;
  virtual void RemoveWindow(EditorWindow* window) = 0;
  // Shows the window (in front of the others) or hides it.
  virtual void ShowWindow(EditorWindow* window, bool visible) = 0;
  // Whether the main window itself is on screen.
  virtual bool MainWindowVisible() const = 0;
  // Gets the faces of `font` ready before any window draws with it, so that
  // the first document neither waits for them nor for the system's fonts.
  virtual void PrepareFont(const FontSpec& font) { (void)font; }
};

}  // namespace platform
